#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_session.h"
#include "connection/connection.h"
#include "script/runner.h"
#include "script/script.h"
#include "jobs/bus_jobs.h"
#include "widgets/dialogs.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace kestrel {

namespace sim {
class SimulatedBoard;
}
class CodeEditor;

// "Scripts" (Tools menu): open and edit a check script, run it on the board
// or dry-run it on a simulated copy of the board, and stop it. Each step
// shows with PASS, FAIL or ERROR, its time and what it printed (the whole
// output in a pane below); a dry run lists every transaction it would send.
// The last run's JUnit and CSV reports can be saved. The script is checked
// whole before anything is sent, and a Stop ends the run after the
// transaction under way. Text that is not a file as opened or saved is
// "untitled", its file names taken from the working folder.
class ScriptsWindow final : public QWidget {
    Q_OBJECT
  public:
    // `backupFolder` says where the EEPROM backup goes before a run's first
    // EEPROM change (empty: there is no usable folder).
    ScriptsWindow(BusJobs& jobs, Dialogs& dialogs, std::function<std::string()> backupFolder);
    ~ScriptsWindow() override;

    // The buttons' work.
    void open();
    void save();
    void run() { start(false); }
    void dryRun() { start(true); }
    void stop();
    // The last run's reports: JUnit XML, and the CSV of its log lines.
    void saveJunit();
    void saveCsv();

    CodeEditor& editor() { return *editor_; }
    QTableWidget& steps() { return *steps_; }
    QPlainTextEdit& transactions() { return *transactions_; }
    QPlainTextEdit& output() { return *output_; }
    QProgressBar& progress() { return *progress_; }
    QString status() const;
    bool running() const { return job_ != 0; }
    // Where relative file names of the script are found, and its name in
    // messages, for the text now in the editor.
    void setScriptPath(const QString& path);
    // The name the editor's text runs under: its file's, or "untitled" for
    // text that was never saved or has changed since.
    QString scriptName() const;

  protected:
    // A window closed during a run stops it first and closes when it ends.
    void closeEvent(QCloseEvent* event) override;

  private:
    class TransactionList;
    // What a run hands back: its summary and notes.
    struct RunResult {
        std::string text;
        std::vector<std::string> notes;
        bool ran = false;
        std::uint64_t steps = 0;
        std::string junit;  // the reports, for Save
        std::string csv;
    };
    void start(bool dry);
    // The whole run, on the bus owner's thread: the window is reached only
    // through posts it receives while it exists.
    static RunResult runOnBoard(ScriptsWindow* window, BusJobs& jobs, JobControl& c,
                                const script::Script& script, batch::Options options,
                                script::RunSettings settings, bool dry);
    void finish(const RunResult& o);
    void addStep(const script::StepResult& r);
    void setRunning(bool on);
    void say(const QString& text);
    void saveReport(FileDialogState& dialog, const std::string& text, const QString& what);

    BusJobs& jobs_;
    Dialogs& dialogs_;
    std::function<std::string()> backupFolder_;
    FileDialogState fileDialog_;
    FileDialogState junitDialog_;
    FileDialogState csvDialog_;
    QString path_;
    QString savedText_;  // the text of path_ as opened or saved
    CodeEditor* editor_ = nullptr;
    QTableWidget* steps_ = nullptr;
    QPlainTextEdit* transactions_ = nullptr;
    QPlainTextEdit* output_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QPushButton* dryButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* saveJunitButton_ = nullptr;
    QPushButton* saveCsvButton_ = nullptr;
    std::string junit_, csv_;  // the last run's reports

    std::shared_ptr<const script::Script> script_;
    BusJobs::JobId job_ = 0;
    bool dry_ = false;
    bool closeWhenDone_ = false;
};

}  // namespace kestrel
