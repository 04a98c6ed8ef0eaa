#pragma once

#include <QStringList>
#include <deque>

#include "widgets/dialogs.h"

namespace kestrel::testing {

// Answers the program's questions and file dialogs from a script and keeps
// every question and message it was shown.
class ScriptedDialogs final : public Dialogs {
  public:
    using Answer = Dialogs::Answer;
    std::deque<Answer> yesNoAnswers;  // empty: answer Yes
    std::deque<QString> fileNames;    // empty: cancel
    QStringList questions;
    QStringList messages;
    QStringList proposedFiles;  // folder/name each file dialog proposed

    Answer askYesNo(QWidget*, const QString& title, const QString& question) override {
        questions << title + "|" + question;
        if (yesNoAnswers.empty()) return Answer::Yes;
        const Answer answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    void inform(QWidget*, const QString& title, const QString& text) override {
        messages << title + "|" + text;
    }
    void message(QWidget*, const QString& title, const QString& text) override {
        messages << title + "|" + text;
    }
    void warn(QWidget*, const QString& title, const QString& text) override {
        messages << title + "|" + text;
    }
    QString openFileName(QWidget*, FileDialogState& state) override { return pick(state); }
    QString saveFileName(QWidget*, FileDialogState& state) override { return pick(state); }

  private:
    QString pick(FileDialogState& state) {
        proposedFiles << state.folder + "/" + state.fileName + "|" + state.filter;
        if (fileNames.empty()) return QString();
        const QString name = fileNames.front();
        fileNames.pop_front();
        state.fileName = name.section('/', -1);
        state.folder = name.section('/', 0, -2);
        return name;
    }
};

}  // namespace kestrel::testing
