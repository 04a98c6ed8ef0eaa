#include "batch/serve_command.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>

#include "batch/batch_session.h"
#include "batch/signal_stop.h"
#include "batch/strict_number.h"
#include "files/backup_folder.h"
#include "jobs/bus_jobs.h"
#include "remote/limits.h"
#include "remote/server.h"

namespace kestrel::batch {

namespace {

// How often the event loop looks for a signal.
constexpr int kSignalPollMs = 50;

int usage(const std::string& error, const Invocation& inv, std::ostream& err) {
    err << "kestrel-eval: " << error << '\n'
        << helpText(inv.name).substr(0, helpText(inv.name).find('\n')) << '\n';
    return kUsage;
}

}  // namespace

int runServe(const Invocation& inv, const Environment& environment, std::ostream& out,
             std::ostream& err) {
    // Before anything starts a thread: the signals are taken here only.
    SignalStop endBySignal;
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "kestrel-eval";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        app = std::make_unique<QCoreApplication>(argc, argv);

    remote::Listen listen;
    listen.port = static_cast<quint16>(remote::kDefaultPort);
    if (!inv.listen.empty())
        if (const QString e = remote::readListen(QString::fromStdString(inv.listen), listen);
            !e.isEmpty())
            return usage("--listen " + printable(inv.listen) + ": " + e.toStdString(), inv, err);
    for (const std::string& allow : inv.allow)
        if (const QString e = remote::readAllow(QString::fromStdString(allow), listen);
            !e.isEmpty())
            return usage("--allow: " + e.toStdString(), inv, err);
    if (const QString e = remote::listenProblem(listen); !e.isEmpty())
        return usage(e.toStdString(), inv, err);
    remote::ServerSettings& settings = listen.settings;
    settings.readOnly = inv.readOnly;
    settings.noBackup = inv.options.noBackup;
    settings.slave = inv.options.slave;
    if (!inv.files.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(inv.files, ec))
            return usage("--files " + printable(inv.files) + ": not a folder", inv, err);
        settings.filesDir = std::filesystem::canonical(inv.files, ec).string();
    }
    const auto getenv =
        environment.getenv
            ? environment.getenv
            : std::function<const char*(const char*)>([](const char* n) { return std::getenv(n); });
    settings.backupFolder = [getenv] { return backup::folder(getenv); };

    Session session(inv.options, environment, err);
    if (!session.ready()) return session.failureCode();
    int code = kStoppedBySignal;
    {
        BusJobs jobs(session.connection());
        remote::Server server(jobs);
        QObject::connect(&server, &remote::Server::event, &server, [&err](const QString& text) {
            err << "kestrel-eval: " << text.toStdString() << '\n';
            err.flush();
        });
        if (const QString e = server.start(listen); !e.isEmpty()) {
            err << "kestrel-eval: " << e.toStdString() << '\n';
            code = kUsage;
        } else {
            out << "listening on " << server.address().toStdString() << '\n';
            out.flush();
            // A signal: stop taking clients, stop the job under way at its
            // next transaction boundary, and end once every job has.
            QTimer poll;
            bool ending = false;
            QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
                if (!ending && endBySignal.requested()) {
                    ending = true;
                    server.stop();
                    jobs.stopAll();
                }
                if (ending && jobs.idle()) QCoreApplication::exit(0);
            });
            poll.start(kSignalPollMs);
            QCoreApplication::exec();
            err << "kestrel-eval: stopped by " << SignalStop::name(endBySignal.signal()) << " "
                << session.whereStopped() << '\n';
        }
    }
    if (!session.finish() && code != kStoppedBySignal) code = kUsage;
    return code;
}

}  // namespace kestrel::batch
