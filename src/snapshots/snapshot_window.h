#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "device/device.h"
#include "files/snapshot.h"
#include "files/snapshot_compare.h"
#include "widgets/dialogs.h"

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
    SnapshotWindow(Device& device, Dialogs& dialogs, Notify notify,
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
    // The board's snapshot; nothing (with the reason shown) when a read failed.
    std::optional<snapshot::Snapshot> takeBoard();
    // A snapshot file picked by the user; nothing when cancelled or refused.
    std::optional<snapshot::Snapshot> openSnapshot(QString& name);
    void say(const QString& text);
    // Saves the board's EEPROM as read in `board` as a new backup file;
    // false (with the reason told) when it could not be saved.
    bool backUp(const snapshot::Snapshot& board, QString& savedTo);

    Device& device_;
    Dialogs& dialogs_;
    std::function<std::string()> backupFolder_;
    Notify notify_;
    FileDialogState fileDialog_;
    QLabel* heading_ = nullptr;
    QLabel* summary_ = nullptr;
    QTableWidget* table_ = nullptr;
};

}  // namespace kestrel
