#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "device/device.h"
#include "files/snapshot.h"
#include "files/snapshot_board.h"
#include "files/snapshot_compare.h"
#include "jobs/bus_jobs.h"
#include "widgets/dialogs.h"
#include "widgets/job_progress.h"

class QLabel;
class QTableWidget;

namespace kestrel {

// "Snapshots" (Tools menu): save the board to a snapshot file, compare a
// file with the board or two files with each other, and apply a file to the
// board with read-back. The comparison shows as a table of every register,
// the EEPROM bytes that differ and a summary; rows that differ are
// highlighted.
class SnapshotWindow final : public QWidget {
    Q_OBJECT
  public:
    using Notify = std::function<void(const QString&)>;
    // `backupFolder` says where the automatic EEPROM backup goes before an
    // apply writes EEPROM pages (empty: there is no usable folder).
    SnapshotWindow(BusJobs& jobs, Dialogs& dialogs, Notify notify,
                   std::function<std::string()> backupFolder);

    // The buttons' work.
    void save();
    void compareWithFile();
    void compareFiles();
    void apply();

    // Compares `a` with the board's snapshot and shows the table.
    void compareWithBoard(const snapshot::Snapshot& a, const QString& aName);
    // Shows a comparison of A (`aName`) and B (`bName`).
    void showComparison(const snapshot::Comparison& c, const QString& aName, const QString& bName);

    QTableWidget& table() { return *table_; }
    QString summary() const;

  private:
    // Reads the board's snapshot and goes on with `then`; says why instead
    // when a read failed.
    void takeBoard(std::function<void(const snapshot::Snapshot&)> then);
    void applyTo(const snapshot::Snapshot& target, const QString& name,
                 const snapshot::Snapshot& board);
    void applied(const snapshot::Snapshot& target, const QString& name, const QString& savedTo,
                 const snapshot::ApplyResult& result,
                 const std::optional<snapshot::Snapshot>& after);
    // A snapshot file picked by the user; nothing when cancelled or refused.
    std::optional<snapshot::Snapshot> openSnapshot(QString& name);
    void say(const QString& text);
    // Saves the board's EEPROM as read in `board` as a new backup file;
    // false (with the reason told) when it could not be saved.
    bool backUp(const snapshot::Snapshot& board, QString& savedTo);

    BusJobs& jobs_;
    JobProgress* progress_ = nullptr;
    Dialogs& dialogs_;
    std::function<std::string()> backupFolder_;
    Notify notify_;
    FileDialogState fileDialog_;
    QLabel* heading_ = nullptr;
    QLabel* summary_ = nullptr;
    QTableWidget* table_ = nullptr;
};

}  // namespace kestrel
