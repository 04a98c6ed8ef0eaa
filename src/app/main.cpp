#include <QApplication>
#include <QCommandLineParser>
#include <iostream>
#include <string>
#include <vector>

#include "app/app_icon.h"
#include "app/program.h"
#include "batch/batch.h"

namespace {

bool has(const std::vector<std::string>& args, std::initializer_list<const char*> names) {
    for (const std::string& a : args)
        for (const char* n : names)
            if (a == n) return true;
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Help, version and batch commands need no display.
    if (has(args, {"-h", "--help", "-?"})) {
        std::cout << kestrel::batch::usage();
        return 0;
    }
    if (has(args, {"-v", "--version"})) {
        std::cout << "kestrel-eval " << kestrel::kProgramVersion.toStdString() << '\n';
        return 0;
    }
    if (kestrel::batch::isBatchCommand(args))
        return kestrel::batch::run(args, std::cout, std::cerr);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrel-eval"));
    QApplication::setApplicationVersion(kestrel::kProgramVersion);
    QApplication::setWindowIcon(kestrel::appIcon());

    QCommandLineParser parser;
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run on the simulated board."));
    const QCommandLineOption trace(QStringLiteral("trace"), QStringLiteral("VCD trace file."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption simState(QStringLiteral("sim-state"),
                                      QStringLiteral("Simulated board file."),
                                      QStringLiteral("FILE"));
    parser.addOptions({simulate, trace, simState});
    if (!parser.parse(QApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        std::cerr << "kestrel-eval: "
                  << (parser.errorText().isEmpty() ? std::string("unknown command")
                                                   : parser.errorText().toStdString())
                  << "\n\n"
                  << kestrel::batch::usage();
        return kestrel::batch::kUsage;
    }

    kestrel::ProgramOptions options;
    options.simulate = parser.isSet(simulate);
    options.tracePath = parser.value(trace).toStdString();
    options.simStatePath = parser.value(simState).toStdString();
    kestrel::Program program(std::move(options));
    program.start();
    return QApplication::exec();
}
