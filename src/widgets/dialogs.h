#pragma once

#include <QString>

#include "widgets/program_info.h"

class QWidget;

namespace kestrel {

// What a file dialog proposes: its filter, its folder and the name chosen
// last (either direction), which it keeps between uses.
struct FileDialogState {
    QString filter;
    QString folder;
    QString fileName;
};

// Every question, message and file dialog the windows show goes through
// here, so that tests can answer them without a person.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // How a Yes/No question was answered: Escape or the close box cancel.
    enum class Answer { Yes, No, Cancel };
    // A question with Yes and No buttons.
    virtual Answer askYesNo(QWidget* parent, const QString& title, const QString& question) = 0;
    virtual void inform(QWidget* parent, const QString& title, const QString& text) = 0;
    // A plain message with an OK button and no icon.
    virtual void message(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void warn(QWidget* parent, const QString& title, const QString& text) = 0;
    // The chosen path, or an empty string when the user cancelled. Updates
    // `state.fileName` and `state.folder` with the choice.
    virtual QString openFileName(QWidget* parent, FileDialogState& state) = 0;
    virtual QString saveFileName(QWidget* parent, FileDialogState& state) = 0;
};

}  // namespace kestrel
