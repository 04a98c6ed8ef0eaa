#pragma once

#include <functional>

#include "device/device.h"
#include "files/eeprom_backup.h"
#include "jobs/bus_jobs.h"
#include "widgets/dialogs.h"
#include "widgets/job_progress.h"

class QWidget;

namespace kestrel {

// The whole EEPROM (8000h-81FFh) to a backup file and from one back, with
// the progress shown in the main window's status bar.
class EepromBackupActions {
  public:
    // `window` is the parent of the file dialogs and messages; `progress`
    // is shown during a run (with its Stop) and hidden again; `notify`
    // shows a message in the status bar.
    EepromBackupActions(Dialogs& dialogs, QWidget& window, JobProgress& progress,
                        std::function<void(const QString&)> notify);

    // What the backup file dialog proposes, and remembers between uses.
    FileDialogState& fileDialog() { return fileDialog_; }

    void backUp();
    void restore();

  private:
    void restored(const QString& path, const eeprom::RestoreResult& result);

    Dialogs& dialogs_;
    QWidget& window_;
    JobProgress& progress_;
    std::function<void(const QString&)> notify_;
    FileDialogState fileDialog_;
};

}  // namespace kestrel
