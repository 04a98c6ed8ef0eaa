#pragma once

#include <functional>

#include "device/device.h"
#include "widgets/dialogs.h"

class QProgressBar;
class QWidget;

namespace kestrel {

// The whole EEPROM (8000h-81FFh) to a backup file and from one back, with
// the progress shown in the main window's status bar.
class EepromBackupActions {
  public:
    // `window` is the parent of the file dialogs and messages; `progress`
    // is shown during a run and hidden again; `notify` shows a message in
    // the status bar.
    EepromBackupActions(Device& device, Dialogs& dialogs, QWidget& window, QProgressBar& progress,
                        std::function<void(const QString&)> notify);

    // What the backup file dialog proposes, and remembers between uses.
    FileDialogState& fileDialog() { return fileDialog_; }

    void backUp();
    void restore();

  private:
    Device& device_;
    Dialogs& dialogs_;
    QWidget& window_;
    QProgressBar& progress_;
    std::function<void(const QString&)> notify_;
    FileDialogState fileDialog_;
};

}  // namespace kestrel
