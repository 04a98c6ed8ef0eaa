// Window operations on the simulated board, driven as a user clicks them:
// the 30-register read-out and the 32-byte EEPROM block read.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "app/program.h"
#include "files/eeprom_backup.h"
#include "files/snapshot_board.h"
#include "main_window/main_window.h"
#include "status/status_window.h"
#include "status_timeline/timeline_view.h"

namespace {

// Nobody to answer questions in a benchmark: every dialog is cancelled.
class NoDialogs final : public kestrel::Dialogs {
  public:
    Answer askYesNo(QWidget*, const QString&, const QString&) override { return Answer::No; }
    void inform(QWidget*, const QString&, const QString&) override {}
    void message(QWidget*, const QString&, const QString&) override {}
    void warn(QWidget*, const QString&, const QString&) override {}
    QString openFileName(QWidget*, kestrel::FileDialogState&) override { return {}; }
    QString saveFileName(QWidget*, kestrel::FileDialogState&) override { return {}; }
};

std::unique_ptr<kestrel::Program> startProgram(NoDialogs& dialogs) {
    kestrel::ProgramOptions options;
    options.dialogs = &dialogs;
    options.statusPause = [](double, std::function<void()> then) { then(); };
    auto program = std::make_unique<kestrel::Program>(std::move(options));
    program->start();
    return program;
}

// Runs the event loop until every job the windows handed over has ended.
void waitForJobs(kestrel::Program& program) {
    if (program.jobs().idle()) return;
    QEventLoop loop;
    QObject::connect(&program.jobs(), &kestrel::BusJobs::idleChanged, &loop, [&loop](bool idle) {
        if (idle) loop.quit();
    });
    loop.exec();
}

// Clicks a button of `window` ("" for the main window) over and over, each
// time also handling the events the click left (the bus monitor's batch).
void clickRepeatedly(benchmark::State& state, const char* button, const char* window = "",
                     bool monitor = false) {
    NoDialogs dialogs;
    auto program = startProgram(dialogs);
    if (monitor) program->windows().show(QStringLiteral("frm_BusMonitor"), false);
    QWidget* root =
        *window ? program->windows().show(QLatin1String(window), false) : &program->mainWindow();
    auto* target = root->findChild<QAbstractButton*>(QLatin1String(button));
    for (auto _ : state) {
        QTest::mouseClick(target, Qt::LeftButton);
        waitForJobs(*program);
        program->board()->log().clear();
    }
}

void BM_WindowReadRam(benchmark::State& state) {
    clickRepeatedly(state, "ReadRAM");
}
BENCHMARK(BM_WindowReadRam)->Unit(benchmark::kMillisecond);

void BM_WindowEepromBlockRead(benchmark::State& state) {
    clickRepeatedly(state, "ReadEECMD");
}
BENCHMARK(BM_WindowEepromBlockRead)->Unit(benchmark::kMillisecond);

// The EEPROM window's whole read: 512 byte reads, lists and progress bar drawn.
void BM_WindowWholeEepromRead(benchmark::State& state) {
    clickRepeatedly(state, "Read_EEPROM_Page", "frm_EEPROM");
}
BENCHMARK(BM_WindowWholeEepromRead)->Unit(benchmark::kMillisecond);

// The same with the bus monitor open: every transaction listed, lines kept.
void BM_WindowWholeEepromReadMonitored(benchmark::State& state) {
    clickRepeatedly(state, "Read_EEPROM_Page", "frm_EEPROM", true);
}
BENCHMARK(BM_WindowWholeEepromReadMonitored)->Unit(benchmark::kMillisecond);

// Status polling with a poll delay of 0, through the window's 10 ms timer for
// ten seconds: passes per second and how much the process grew meanwhile.
long residentKb() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

void BM_StatusPollingTenSeconds(benchmark::State& state) {
    NoDialogs dialogs;
    auto program = startProgram(dialogs);
    QWidget* status = program->windows().show(QStringLiteral("frm_Status"), true);
    status->findChild<QLineEdit*>(QStringLiteral("poll_delay"))->setText(QStringLiteral("0"));
    const auto* chip = &program->board()->kestrel();
    for (auto _ : state) {
        QTest::mouseClick(status->findChild<QAbstractButton*>(QStringLiteral("poll")),
                          Qt::LeftButton);
        QTest::qWait(8000);  // warm up: the bus log reaches its steady size
        const long before = residentKb();
        const auto reads = chip->transactions();
        QTest::qWait(10000);
        state.counters["passes_per_s"] =
            static_cast<double>(chip->transactions() - reads) / 6.0 / 10.0;
        state.counters["rss_growth_kb"] = static_cast<double>(residentKb() - before);
        QTest::mouseClick(status->findChild<QAbstractButton*>(QStringLiteral("exit")),
                          Qt::LeftButton);
    }
}
BENCHMARK(BM_StatusPollingTenSeconds)->Iterations(1)->Unit(benchmark::kSecond);

// Status polling with a poll delay of 3 s: how long a click on Stop waits
// before it acts, posted at a random moment of the pass (mostly inside a
// pause). The pauses run on timers, so the click never waits for one.
void BM_StatusStopLatencyDuringPolling(benchmark::State& state) {
    NoDialogs dialogs;
    kestrel::ProgramOptions options;
    options.dialogs = &dialogs;  // the window's own timer pauses
    kestrel::Program program(std::move(options));
    program.start();
    auto* status = qobject_cast<kestrel::StatusWindow*>(
        program.windows().show(QStringLiteral("frm_Status"), false));
    status->findChild<QLineEdit*>(QStringLiteral("poll_delay"))->setText(QStringLiteral("3"));
    auto* poll = status->findChild<QAbstractButton*>(QStringLiteral("poll"));
    qint64 worst = 0;
    int round = 0;
    for (auto _ : state) {
        QTest::mouseClick(poll, Qt::LeftButton);  // start
        QTest::qWait(20 + 37 * (round++ % 5));
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(0, poll, [poll] { QTest::mouseClick(poll, Qt::LeftButton); });
        while (status->polling() && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        worst = std::max(worst, clock.elapsed());
    }
    state.counters["worst_click_ms"] = static_cast<double>(worst);
}
BENCHMARK(BM_StatusStopLatencyDuringPolling)->Iterations(10)->Unit(benchmark::kMillisecond);

// Answers every question Yes and every file dialog with `file`.
class YesDialogs final : public kestrel::Dialogs {
  public:
    QString file;
    Answer askYesNo(QWidget*, const QString&, const QString&) override { return Answer::Yes; }
    void inform(QWidget*, const QString&, const QString&) override {}
    void message(QWidget*, const QString&, const QString&) override {}
    void warn(QWidget*, const QString&, const QString&) override {}
    QString openFileName(QWidget*, kestrel::FileDialogState&) override { return file; }
    QString saveFileName(QWidget*, kestrel::FileDialogState&) override { return file; }
};

// How late a 1 ms timer on the window thread fires while a job runs: what a
// user feels as the windows' answer to a click, a key or a repaint.
class Lateness {
  public:
    Lateness() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            lateMs_.push_back(static_cast<double>(now - last_) / 1e6 - 1.0);
            last_ = now;
        });
    }
    void start() {
        lateMs_.clear();
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double percentile(double p) {
        if (lateMs_.empty()) return 0;
        std::sort(lateMs_.begin(), lateMs_.end());
        return lateMs_[static_cast<std::size_t>(p * static_cast<double>(lateMs_.size() - 1))];
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<double> lateMs_;
};

// Each port access takes 1.5 us, as on real hardware. Three long jobs: the
// EEPROM window's whole read (512 byte reads), a 16-page restore and a
// production board whose golden image differs in every page. For each: the
// window thread's lateness (p99) while it runs, and how long a Stop takes to
// end it (from the click to the job's end).
void BM_WindowThreadDuringLongJobs(benchmark::State& state) {
    YesDialogs dialogs;
    kestrel::ProgramOptions options;
    options.dialogs = &dialogs;
    kestrel::Program program(std::move(options));
    program.start();
    waitForJobs(program);
    program.board()->kestrel().setStatusActivity(false);
    QTemporaryDir dir;
    dialogs.file = dir.filePath(QStringLiteral("backup.dat"));
    program.mainWindow().BackupEEPROM_Click();
    waitForJobs(program);
    auto golden = kestrel::snapshot::takeSnapshot(program.device(), 1'800'000'000).snapshot;
    std::string error;
    program.board()->setPortAccessNs(1500);

    QWidget* eeprom = program.windows().show(QStringLiteral("frm_EEPROM"), false);
    auto* viewAll = eeprom->findChild<QAbstractButton*>(QStringLiteral("Read_EEPROM_Page"));
    QWidget* station = program.windows().show(QStringLiteral("frm_Production"), false);
    station->findChild<QLineEdit*>(QStringLiteral("database"))
        ->setText(dir.filePath(QStringLiteral("records.sqlite")));
    const std::vector<std::pair<const char*, std::function<void()>>> jobs = {
        {"view_eeprom", [&] { QTest::mouseClick(viewAll, Qt::LeftButton); }},
        {"restore", [&] { program.mainWindow().RestoreEEPROM_Click(); }},
        {"production_board", [&] {
             for (std::uint8_t& b : golden->eeprom) b = static_cast<std::uint8_t>(b + 1);
             const QString path = dir.filePath(QStringLiteral("golden.snap"));
             kestrel::snapshot::saveSnapshot(path.toStdString(), *golden, error);
             dialogs.file = path;
             QTest::mouseClick(station->findChild<QAbstractButton*>(QStringLiteral("chooseGolden")),
                               Qt::LeftButton);
             auto* serial = station->findChild<QLineEdit*>(QStringLiteral("serial"));
             serial->setText(QStringLiteral("B-0001"));
             QTest::keyClick(serial, Qt::Key_Return);
             dialogs.file = dir.filePath(QStringLiteral("backup.dat"));
         }}};
    Lateness late;
    for (auto _ : state) {
        for (const auto& [name, startJob] : jobs) {
            late.start();
            QElapsedTimer took;
            took.start();
            startJob();
            waitForJobs(program);
            late.stop();
            state.counters[std::string(name) + "_ms"] = static_cast<double>(took.elapsed());
            state.counters[std::string(name) + "_p99_late_ms"] = late.percentile(0.99);
            state.counters[std::string(name) + "_max_late_ms"] = late.percentile(1.0);
            // The same job once more, stopped a little way in.
            startJob();
            QTest::qWait(40);
            QElapsedTimer stop;
            stop.start();
            program.jobs().stopAll();
            waitForJobs(program);
            state.counters[std::string(name) + "_stop_ms"] = static_cast<double>(stop.elapsed());
        }
    }
}
BENCHMARK(BM_WindowThreadDuringLongJobs)->Iterations(1)->Unit(benchmark::kMillisecond);

// The status timeline with an hour of samples at 100 reads a second for each
// of the six registers: the memory it takes, and one full redraw of a
// 1200 x 700 window showing the whole hour.
void BM_TimelineHourRedraw(benchmark::State& state) {
    const long before = residentKb();
    kestrel::StatusHistory history;
    std::uint32_t seed = 1;
    for (std::uint32_t ms = 0; ms < 3600u * 1000u; ms += 10)
        for (int reg = 0; reg < 6; ++reg) {
            seed = seed * 1103515245u + 12345u;
            history.add(
                reg, {ms, static_cast<std::uint8_t>((seed >> 16) & 0x81), (seed >> 8) % 997 != 0});
        }
    state.counters["memory_mb"] = static_cast<double>(residentKb() - before) / 1024.0;
    kestrel::TimelineView view(history);
    view.resize(1200, 700);
    view.setSpan(3600u * 1000u, 3600u * 1000u);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_TimelineHourRedraw)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
