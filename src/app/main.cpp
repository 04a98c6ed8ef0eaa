#include <QApplication>
#include <QCommandLineParser>

#include "app/app_icon.h"
#include "app/program.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrel-eval"));
    QApplication::setApplicationDisplayName(kestrel::kProgramTitle);
    QApplication::setApplicationVersion(QStringLiteral("2.0.0"));
    QApplication::setWindowIcon(kestrel::appIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Evaluation tool for the KESTREL power-supply controller on a parallel port."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run on the simulated board (LPT1 at 378h)."));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Record every bus line change to a VCD file."),
                                   QStringLiteral("FILE.vcd"));
    const QCommandLineOption simState(
        QStringLiteral("sim-state"),
        QStringLiteral("Load the simulated board from FILE and save it there on exit."),
        QStringLiteral("FILE"));
    parser.addOptions({simulate, trace, simState});
    parser.process(app);

    kestrel::ProgramOptions options;
    options.simulate = parser.isSet(simulate);
    options.tracePath = parser.value(trace).toStdString();
    options.simStatePath = parser.value(simState).toStdString();
    kestrel::Program program(std::move(options));
    program.start();
    return QApplication::exec();
}
