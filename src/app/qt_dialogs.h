#pragma once

#include "widgets/dialogs.h"

namespace kestrel {

// Message boxes and file dialogs on screen.
class QtDialogs final : public Dialogs {
  public:
    Answer askYesNo(QWidget* parent, const QString& title, const QString& question) override;
    void inform(QWidget* parent, const QString& title, const QString& text) override;
    void message(QWidget* parent, const QString& title, const QString& text) override;
    void warn(QWidget* parent, const QString& title, const QString& text) override;
    QString openFileName(QWidget* parent, FileDialogState& state) override;
    QString saveFileName(QWidget* parent, FileDialogState& state) override;
};

}  // namespace kestrel
