// Window operations on the simulated board, driven as a user clicks them:
// the 30-register read-out and the 32-byte EEPROM block read.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include "app/program.h"
#include "main_window/main_window.h"

namespace {

// Nobody to answer questions in a benchmark: every dialog is cancelled.
class NoDialogs final : public kestrel::Dialogs {
public:
    bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
    void inform(QWidget*, const QString&, const QString&) override {}
    void warn(QWidget*, const QString&, const QString&) override {}
    QString openFileName(QWidget*, kestrel::FileDialogState&) override { return {}; }
    QString saveFileName(QWidget*, kestrel::FileDialogState&) override { return {}; }
};

void clickRepeatedly(benchmark::State& state, const char* button) {
    NoDialogs dialogs;
    kestrel::ProgramOptions options;
    options.dialogs = &dialogs;
    kestrel::Program program(std::move(options));
    program.start();
    auto* target = program.mainWindow().findChild<QAbstractButton*>(QLatin1String(button));
    for (auto _ : state) {
        QTest::mouseClick(target, Qt::LeftButton);
        program.board()->log().clear();
    }
}

void BM_WindowReadRam(benchmark::State& state) { clickRepeatedly(state, "ReadRAM"); }
BENCHMARK(BM_WindowReadRam)->Unit(benchmark::kMillisecond);

void BM_WindowEepromBlockRead(benchmark::State& state) { clickRepeatedly(state, "ReadEECMD"); }
BENCHMARK(BM_WindowEepromBlockRead)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
