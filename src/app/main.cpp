#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/app_icon.h"
#include "app/program.h"
#include "app/signal_quit.h"
#include "batch/batch.h"
#include "batch/command_line.h"
#include "batch/production_command.h"
#include "batch/serve_command.h"
#include "script/run_script.h"

int main(int argc, char* argv[]) {
    using kestrel::batch::Command;
    using kestrel::batch::Mode;
    const std::vector<std::string> args(argv + 1, argv + argc);
    // One parser decides: help, version, a usage error and batch commands
    // need no display, and a command line it refuses never opens a window.
    const kestrel::batch::Invocation inv = kestrel::batch::parseCommandLine(args);
    if (inv.mode == Mode::Batch) {
        switch (inv.command) {
            case Command::Run:
                return kestrel::script::runScript(inv, {}, std::cout, std::cerr);
            case Command::ProductionRun:
            case Command::ProductionReport:
                return kestrel::batch::runProduction(inv, {}, std::cout, std::cerr);
            case Command::Serve:
                return kestrel::batch::runServe(inv, {}, std::cout, std::cerr);
            default:
                break;
        }
    }
    if (inv.mode != Mode::Gui) return kestrel::batch::run(args, std::cout, std::cerr);

    // Qt sees only the program name: every option is ours and already read.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrel-eval"));
    QApplication::setApplicationVersion(kestrel::kProgramVersion);
    QApplication::setWindowIcon(kestrel::appIcon());

    kestrel::ProgramOptions options;
    options.connection = inv.options.connection;
    kestrel::Program program(std::move(options));
    // SIGTERM, SIGINT and SIGHUP end the windows as Quit does, from the
    // start-up on (taken in the event loop).
    kestrel::SignalQuit endBySignal([&program] { program.quit(); });
    program.start();
    if (program.hasQuit()) return 0;  // ended during the start-up; saved on the way out
    return QApplication::exec();
}
