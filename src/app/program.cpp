#include "app/program.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <cstdlib>

#include "app/qt_dialogs.h"
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
    connectionOptions.notice = [this](const std::string& text) {
        notice(QString::fromStdString(text));
    };
    connection_ = std::make_unique<Connection>(connectionOptions);
    jobs_ = std::make_unique<BusJobs>(*connection_);
    remote_ = std::make_unique<remote::Server>(*jobs_);
    // The indicator follows the connection: the port could not be opened, it
    // failed, it was opened again (Tools > Connection). Told on the bus
    // owner's thread, where the connection's state may be read.
    connection_->setPortRetryHint("Tools > Connection > Parallel port tries again.");
    connection_->setPortStateSink([this] {
        const QString text = QString::fromStdString(connection_->description());
        QMetaObject::invokeMethod(
            jobs_.get(),
            [this, text] {
                if (mainWindow_) mainWindow_->setConnection(text);
            },
            Qt::QueuedConnection);
    });
    for (const std::string& problem : connection_->problems())
        problems_ << QString::fromStdString(problem);
    if (!connection_->adapterFailure().empty())
        problems_ << QString::fromStdString(connection_->adapterFailure());

    mainWindow_ = std::make_unique<MainWindow>(globals(), *jobs_, *dialogs_, windows_);
    jobs_->addObserver(mainWindow_.get());
    jobs_->addObserver(&statusHistory_);
    mainWindow_->setQuitHandler([this] { quit(); });
    registerWindows(*this);
    for (const QString& text : std::as_const(pendingNotices_)) mainWindow_->notify(text);
    pendingNotices_.clear();
}

Program::~Program() {
    quit();
    // No event loop runs any more: wait for the last job here, then close
    // what the event loop did not.
    connection_->owner().waitIdle();
    finishQuit(saveError_);
    windows_.deleteAll();
    jobs_->removeObserver(mainWindow_.get());
    jobs_->removeObserver(&statusHistory_);
    remote_.reset();
    jobs_.reset();
    mainWindow_.reset();
}

std::string Program::backupFolder() const {
    if (options_.backupFolder) return options_.backupFolder();
    return backup::folder([](const char* name) { return std::getenv(name); });
}

void Program::notice(const QString& text) {
    // The connection may speak from the bus owner's thread.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            jobs_ ? static_cast<QObject*>(jobs_.get()) : QCoreApplication::instance(),
            [this, text] { notice(text); }, Qt::QueuedConnection);
        return;
    }
    if (mainWindow_)
        mainWindow_->notify(text);
    else
        pendingNotices_ << text;
}

QThread* Program::thread() const {
    return QCoreApplication::instance() != nullptr ? QCoreApplication::instance()->thread()
                                                   : QThread::currentThread();
}

void Program::start() {
    mainWindow_->KESTREL_Form_Load();
    // The indicator names what the transactions go through, unless the
    // start-up found nothing (no LPT1) on the parallel port.
    jobs_->run(
        mainWindow_.get(),
        [this](JobControl& c) {
            Connection& connection = c.connection();
            if (connection.adapter() == nullptr && connection.board() == nullptr) return QString();
            return QString::fromStdString(connection.description());
        },
        [this](QString& text) {
            if (!text.isEmpty()) mainWindow_->setConnection(text);
        });
    fitOnScreen(mainWindow_.get());
    mainWindow_->show();
    for (const QString& problem : std::as_const(problems_)) mainWindow_->notify(problem);
}

void Program::quit() {
    if (quit_) return;
    quit_ = true;
    // Remote clients are told by their sockets closing.
    remote_->stop();
    // The job under way ends at its next transaction boundary and every job
    // still waiting is refused; their windows hear so before they close.
    jobs_->close(
        [this](JobControl& c) {
            std::string error;
            if (!c.connection().finish(&error)) saveError_ = error;
            // Nothing reaches the bus after this, from anywhere.
            c.connection().shutDown();
        },
        [this] { finishQuit(saveError_); });
}

void Program::finishQuit(const std::string& saveError) {
    if (finished_) return;
    finished_ = true;
    if (!saveError.empty())
        dialogs_->warn(mainWindow_.get(), kProgramTitle, QString::fromStdString(saveError));
    // Each window goes once no code of its own is running (a question it
    // asked, a dialog it opened).
    windows_.closeAll();
    if (mainWindow_ && mainWindow_->isVisible()) mainWindow_->close();
    QCoreApplication::quit();
}

}  // namespace kestrel
