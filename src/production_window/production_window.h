#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/device.h"
#include "production/golden.h"
#include "production/records.h"
#include "production/station.h"
#include "jobs/bus_jobs.h"
#include "widgets/dialogs.h"
#include "widgets/job_progress.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;

namespace kestrel {

// Tools > Production: boards programmed one after another from a golden
// snapshot. A barcode scanner types the serial and its Enter starts the
// board, as the Program button does; the big PASS or FAIL and its reason
// are for the last board, the counters for this sitting, the table for
// every record in the database. The window scrolls when the screen is
// smaller than it.
class ProductionWindow final : public QWidget {
    Q_OBJECT
  public:
    // `backupFolder`: the program's backup folder, under which the station
    // keeps each board's EEPROM; `database`: where the records go unless the
    // user names another.
    ProductionWindow(BusJobs& jobs, Dialogs& dialogs, std::function<std::string()> backupFolder,
                     const std::string& database);
    ~ProductionWindow() override;

    // Chooses the golden snapshot through the file dialog, or loads `path`.
    void chooseGolden();
    bool loadGolden(const QString& path);
    // Programs the board whose serial is in the serial field.
    void startBoard();
    // Fills the table from the database; exports it as CSV (replacing the
    // file the user chose).
    void refreshReport();
    void exportReport();

    QString goldenText() const;
    QString resultText() const;
    QString countersText() const;
    // Counts, yield and the most frequent first failure of every record.
    QString summaryText() const;
    QTableWidget& report() { return *table_; }

  private:
    // Every record, or nothing when they cannot be read (`why` says why;
    // `missing`: there is no database yet).
    std::optional<std::vector<production::Attempt>> readRecords(std::string& why, bool& missing);
    void showResult(bool pass, const QString& text);
    void boardDone(const std::string& serial, const production::BoardResult& r);

    BusJobs& jobs_;
    JobProgress* progress_ = nullptr;
    Dialogs& dialogs_;
    std::function<std::string()> backupFolder_;
    FileDialogState goldenDialog_;
    FileDialogState csvDialog_;
    std::optional<production::Golden> golden_;
    int passed_ = 0;
    int failed_ = 0;

    QLabel* golden_label_;
    QLineEdit* serial_;
    QLineEdit* station_;
    QLineEdit* database_;
    QCheckBox* autoIncrement_;
    QSpinBox* step_;
    QCheckBox* writeSerial_;
    QLineEdit* serialAt_;
    QSpinBox* eraseLimit_;
    QCheckBox* allowRevision_;
    QLabel* result_;
    QLabel* reason_;
    QWidget* verdict_;
    QLabel* counters_;
    QLabel* summary_;
    QTableWidget* table_;
};

}  // namespace kestrel
