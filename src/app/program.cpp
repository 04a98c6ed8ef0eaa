#include "app/program.h"

#include <QCoreApplication>

#include "app/qt_dialogs.h"
#include "app/qt_wait_hooks.h"
#include "app/windows.h"
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
    } else {
        PortStackOptions portOptions;
        portOptions.simulate = options_.simulate;
        portOptions.seed = options_.seed;
        portOptions.simStatePath = options_.simStatePath;
        portOptions.tracePath = options_.tracePath;
        portOptions.notice = [this](const std::string& text) {
            notice(QString::fromStdString(text));
        };
        ports_ = std::make_unique<PortStack>(portOptions);
        for (const std::string& problem : ports_->problems())
            problems_ << QString::fromStdString(problem);
        port_ = &ports_->port();
    }

    bus_ = std::make_unique<Bus>(*port_, globals_.LPTBase, globals_.PortEntry);
    bus_->setWaitHooks(options_.waitHooks ? *options_.waitHooks : qtWaitHooks());
    bus_->setNoticeSink([this](const std::string& text) { notice(QString::fromStdString(text)); });
    device_ = std::make_unique<Device>(globals_, *bus_, noDisplay_);
    device_->setPortDirectory(*port_);

    mainWindow_ = std::make_unique<MainWindow>(globals_, *device_, *dialogs_, windows_);
    device_->setDisplay(*mainWindow_);
    bus_->addObserver(mainWindow_.get());
    bus_->addObserver(&statusHistory_);
    mainWindow_->setQuitHandler([this] { quit(); });
    registerWindows(*this);
    for (const QString& text : std::as_const(pendingNotices_)) mainWindow_->notify(text);
    pendingNotices_.clear();
}

Program::~Program() {
    quit();
    bus_->removeObserver(mainWindow_.get());
    bus_->removeObserver(&statusHistory_);
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
    if (board() != nullptr) mainWindow_->setConnection(QStringLiteral("Simulated board"));
    fitOnScreen(mainWindow_.get());
    mainWindow_->show();
    for (const QString& problem : std::as_const(problems_)) mainWindow_->notify(problem);
}

void Program::quit() {
    if (quit_) return;
    quit_ = true;
    bus_->shutDown();
    windows_.closeAll();
    std::string error;
    if (ports_ && !ports_->finish(&error))
        dialogs_->warn(mainWindow_.get(), kProgramTitle, QString::fromStdString(error));
    if (mainWindow_ && mainWindow_->isVisible()) mainWindow_->close();
    QCoreApplication::quit();
}

}  // namespace kestrel
