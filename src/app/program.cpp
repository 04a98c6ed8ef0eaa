#include "app/program.h"

#include <QCoreApplication>
#include <fstream>

#include "app/qt_dialogs.h"
#include "app/qt_wait_hooks.h"
#include "app/windows.h"
#include "bus/parallel_port.h"
#include "main_window/main_window.h"

namespace kestrel {

Program::Program(ProgramOptions options) : options_(std::move(options)) {
    if (options_.dialogs != nullptr) {
        dialogs_ = options_.dialogs;
    } else {
        ownDialogs_ = std::make_unique<QtDialogs>();
        dialogs_ = ownDialogs_.get();
    }

    systemInfo_ = options_.systemInfo != nullptr ? options_.systemInfo : &ownSystemInfo_;

    if (options_.port != nullptr) {
        port_ = options_.port;
    } else if (options_.simulate) {
        board_ = std::make_unique<sim::SimulatedBoard>(options_.seed);
        if (!options_.simStatePath.empty()) {
            std::string error;
            if (std::ifstream(options_.simStatePath).good() &&
                !board_->loadState(options_.simStatePath, &error))
                problems_ << QString::fromStdString("Simulated board state not loaded: " + error);
        }
        port_ = board_.get();
    } else {
        realPort_ = std::make_unique<ParallelPort>(
            [this](const std::string& text) { notice(QString::fromStdString(text)); });
        port_ = realPort_.get();
    }

    if (!options_.tracePath.empty()) {
        auto file = std::make_unique<std::ofstream>(options_.tracePath, std::ios::trunc);
        if (*file) {
            tracer_ = std::make_unique<RecordingPort>(*port_, false);
            tracer_->attachTrace(std::make_unique<VcdWriter>(std::move(file)));
            port_ = tracer_.get();
        } else {
            problems_ << QStringLiteral("Cannot write the trace file %1; no trace is recorded.")
                             .arg(QString::fromStdString(options_.tracePath));
        }
    }

    bus_ = std::make_unique<Bus>(*port_, globals_.LPTBase, globals_.PortEntry);
    bus_->setWaitHooks(options_.waitHooks ? *options_.waitHooks : qtWaitHooks());
    bus_->setNoticeSink([this](const std::string& text) { notice(QString::fromStdString(text)); });
    device_ = std::make_unique<Device>(globals_, *bus_, noDisplay_);

    mainWindow_ = std::make_unique<MainWindow>(globals_, *device_, *port_, *dialogs_, windows_);
    device_->setDisplay(*mainWindow_);
    bus_->addObserver(mainWindow_.get());
    mainWindow_->setQuitHandler([this] { quit(); });
    registerWindows(*this);
    for (const QString& text : std::as_const(pendingNotices_)) mainWindow_->notify(text);
    pendingNotices_.clear();
}

Program::~Program() {
    quit();
    bus_->removeObserver(mainWindow_.get());
    mainWindow_.reset();
}

void Program::notice(const QString& text) {
    if (mainWindow_)
        mainWindow_->notify(text);
    else
        pendingNotices_ << text;
}

void Program::start() {
    mainWindow_->KESTREL_Form_Load();
    mainWindow_->show();
    for (const QString& problem : std::as_const(problems_)) mainWindow_->notify(problem);
}

void Program::quit() {
    if (quit_) return;
    quit_ = true;
    bus_->shutDown();
    windows_.closeAll();
    if (board_ && !options_.simStatePath.empty()) {
        std::string error;
        if (!board_->saveState(options_.simStatePath, &error))
            dialogs_->warn(mainWindow_.get(), kProgramTitle,
                           QString::fromStdString("Simulated board state not saved: " + error));
    }
    if (tracer_ && tracer_->trace()) tracer_->trace()->flush();
    if (mainWindow_ && mainWindow_->isVisible()) mainWindow_->close();
    QCoreApplication::quit();
}

}  // namespace kestrel
