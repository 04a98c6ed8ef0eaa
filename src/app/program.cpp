#include "app/program.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>

#include "app/qt_dialogs.h"
#include "app/qt_wait_hooks.h"
#include "app/windows.h"
#include "files/backup_folder.h"
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

    ConnectionOptions connectionOptions = options_.connection;
    if (!connectionOptions.waitHooks) connectionOptions.waitHooks = qtWaitHooks();
    connectionOptions.notice = [this](const std::string& text) {
        notice(QString::fromStdString(text));
    };
    connection_ = std::make_unique<Connection>(connectionOptions);
    // The indicator follows the parallel port: it could not be opened, it
    // failed, it was opened again (Tools > Connection).
    connection_->setPortRetryHint("Tools > Connection > Parallel port tries again.");
    connection_->setPortStateSink([this] {
        if (mainWindow_)
            mainWindow_->setConnection(QString::fromStdString(connection_->description()));
    });
    for (const std::string& problem : connection_->problems())
        problems_ << QString::fromStdString(problem);
    if (!connection_->adapterFailure().empty())
        problems_ << QString::fromStdString(connection_->adapterFailure());

    mainWindow_ = std::make_unique<MainWindow>(globals(), device(), *dialogs_, windows_);
    device().executor().addObserver(mainWindow_.get());
    device().executor().addObserver(&statusHistory_);
    mainWindow_->setQuitHandler([this] { quit(); });
    registerWindows(*this);
    for (const QString& text : std::as_const(pendingNotices_)) mainWindow_->notify(text);
    pendingNotices_.clear();
}

Program::~Program() {
    quit();
    finishQuit();
    device().executor().removeObserver(mainWindow_.get());
    device().executor().removeObserver(&statusHistory_);
    mainWindow_.reset();
}

std::string Program::backupFolder() const {
    if (options_.backupFolder) return options_.backupFolder();
    return backup::folder([](const char* name) { return std::getenv(name); });
}

void Program::notice(const QString& text) {
    if (mainWindow_)
        mainWindow_->notify(text);
    else
        pendingNotices_ << text;
}

void Program::start() {
    mainWindow_->KESTREL_Form_Load();
    // The indicator names what the transactions go through, unless the
    // start-up found nothing (no LPT1) on the parallel port.
    if (connection_->adapter() != nullptr || board() != nullptr)
        mainWindow_->setConnection(QString::fromStdString(connection_->description()));
    fitOnScreen(mainWindow_.get());
    mainWindow_->show();
    for (const QString& problem : std::as_const(problems_)) mainWindow_->notify(problem);
}

void Program::quit() {
    if (quit_) return;
    quit_ = true;
    connection_->shutDown();
    finishWhenIdle();
}

void Program::finishWhenIdle() {
    // Quit (or a signal) handled during a transaction's wait: that
    // transaction runs to its end before the board and the trace are saved.
    if (connection_->executor().inTransaction()) {
        QTimer::singleShot(1, mainWindow_.get(), [this] { finishWhenIdle(); });
        return;
    }
    finishQuit();
}

void Program::finishQuit() {
    if (finished_) return;
    finished_ = true;
    windows_.closeAll();
    std::string error;
    if (!connection_->finish(&error))
        dialogs_->warn(mainWindow_.get(), kProgramTitle, QString::fromStdString(error));
    if (mainWindow_ && mainWindow_->isVisible()) mainWindow_->close();
    QCoreApplication::quit();
}

}  // namespace kestrel
