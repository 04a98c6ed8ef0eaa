#pragma once

// The one way to build the whole program: shared state, the port (simulated
// board, real parallel port, or one a test supplies), the bus, the device
// transactions, the dialogs and every window. The executable, the GUI tests
// and the benchmarks all start the program through this class, so a test can
// run the complete program in-process on a simulated board, click controls by
// object name and read the board's bus log.

#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "about/system_info.h"
#include "bus/bus.h"
#include "connection/connection.h"
#include "device/device.h"
#include "device/globals.h"
#include "device/status_history.h"
#include "jobs/bus_jobs.h"
#include "remote/server.h"
#include "widgets/dialogs.h"
#include "widgets/window_registry.h"

namespace kestrel {

class MainWindow;

struct ProgramOptions {
    // How the chip is reached: the simulated board (the default), the real
    // parallel port or an I2C adapter, state file and trace.
    ConnectionOptions connection;
    // Where questions, messages and file dialogs go; nullptr for the screen.
    Dialogs* dialogs = nullptr;
    // How the status monitor pauses between groups (seconds, then what to
    // do); by default on a timer.
    std::function<void(double seconds, std::function<void()> then)> statusPause;
    // Where the About window finds a system information program; nullptr
    // for the machine's own.
    SystemInfo* systemInfo = nullptr;
    // Where automatic EEPROM backups go; by default the user's state folder
    // ($XDG_STATE_HOME/kestrel-eval/backups).
    std::function<std::string()> backupFolder;
};

class Program {
  public:
    explicit Program(ProgramOptions options);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Runs the main window's start-up (port discovery, PLOVER start position)
    // and shows it.
    void start();
    // Ends the program: the job under way stops at its next transaction
    // boundary, every queued job is refused, the simulated board is saved and
    // the trace ended on the bus owner's thread, and then every window
    // closes (each once no code of its own is running). Idempotent.
    void quit();
    bool hasQuit() const { return quit_; }
    // Everything quit() started has been done.
    bool finished() const { return finished_; }

    Globals& globals() { return connection_->globals(); }
    Connection& connection() { return *connection_; }
    Device& device() { return connection_->device(); }
    // Where the windows hand their bus work over.
    BusJobs& jobs() { return *jobs_; }
    // The SCPI server of Tools > Remote Control, on the windows' connection.
    remote::Server& remoteServer() { return *remote_; }
    MainWindow& mainWindow() { return *mainWindow_; }
    WindowRegistry& windows() { return windows_; }
    // Every status register read since start-up, for the status timeline.
    StatusHistory& statusHistory() { return statusHistory_; }
    Dialogs& dialogs() { return *dialogs_; }
    SystemInfo& systemInfo() { return *systemInfo_; }
    const ProgramOptions& options() const { return options_; }
    // Where automatic EEPROM backups go ("" when there is no usable folder).
    std::string backupFolder() const;
    // The simulated board, or nullptr on real ports.
    sim::SimulatedBoard* board() { return connection_->board(); }

  private:
    void notice(const QString& text);
    void finishQuit(const std::string& saveError);
    QThread* thread() const;

    ProgramOptions options_;
    std::unique_ptr<Dialogs> ownDialogs_;
    Dialogs* dialogs_ = nullptr;
    LinuxSystemInfo ownSystemInfo_;
    SystemInfo* systemInfo_ = nullptr;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<BusJobs> jobs_;
    std::unique_ptr<remote::Server> remote_;
    StatusHistory statusHistory_;
    WindowRegistry windows_;
    std::unique_ptr<MainWindow> mainWindow_;
    QStringList problems_;
    QStringList pendingNotices_;
    bool quit_ = false;
    bool finished_ = false;
    std::string saveError_;  // written by the last job, read after it
};

}  // namespace kestrel
