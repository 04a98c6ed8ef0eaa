// The production station on the simulated board: port accesses and wall
// time per board for a board that already equals golden and for one whose
// single EEPROM page differs (records in SQLite, each board's backup saved);
// and the database's time per record, SQLite and PostgreSQL. PostgreSQL is
// measured when KESTREL_TEST_DATABASE names a server, as
// tests/production/with_postgres.sh does:
//   tests/production/with_postgres.sh build/bench/production_bench
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "counted_board.h"
#include "files/snapshot_board.h"
#include "production/records.h"
#include "production/station.h"

namespace {

using namespace kestrel;

struct Station {
    bench::CountedBoard rig;
    QTemporaryDir dir;
    std::unique_ptr<production::Records> records;
    production::Golden golden;
    production::StationSettings settings;
    int boards = 0;
    Station() {
        std::string error;
        records = production::Records::open(dir.filePath("r.sqlite").toStdString(), error);
        golden = {*snapshot::takeSnapshot(rig.device, 0).snapshot, "golden.snap",
                  std::string(64, '0')};
        settings.backupFolder = dir.filePath("backups").toStdString();
        settings.operatorName = "bench";
    }
};

void perBoard(benchmark::State& state, bool onePageDiffers) {
    Station s;
    std::uint64_t accesses = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (onePageDiffers) s.rig.board.kestrel().setEeprom(0x8105, 0x34);
        const std::uint64_t before = s.rig.port.accesses();
        const std::string serial = "B" + std::to_string(++s.boards);
        state.ResumeTiming();
        const auto r =
            production::programBoard(s.rig.device, s.golden, serial, s.settings, *s.records);
        if (r.verdict != production::Verdict::Pass ||
            r.pagesWritten.size() != (onePageDiffers ? 1u : 0u))
            state.SkipWithError(("board failed: " + r.cause).c_str());
        accesses += s.rig.port.accesses() - before;
    }
    state.counters["port_accesses"] =
        static_cast<double>(accesses) / static_cast<double>(state.iterations());
}

void BM_BoardAlreadyEqual(benchmark::State& state) {
    perBoard(state, false);
}
void BM_BoardOnePageDiffers(benchmark::State& state) {
    perBoard(state, true);
}
BENCHMARK(BM_BoardAlreadyEqual)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoardOnePageDiffers)->Unit(benchmark::kMillisecond);

void recordEach(benchmark::State& state, const std::string& where) {
    std::string error;
    auto records = production::Records::open(where, error);
    if (!records) {
        state.SkipWithError(error.c_str());
        return;
    }
    production::Attempt a;
    a.started = "2026-12-07T03:00:00.000Z";
    a.station = "bench";
    a.operatorName = "bench";
    a.goldenName = "golden.snap";
    a.goldenSha256 = std::string(64, '0');
    a.result = "PASS";
    a.pagesWritten = "8100h";
    int n = 0;
    for (auto _ : state) {
        a.serial = "R" + std::to_string(++n);
        if (!records->record(a, error)) state.SkipWithError(error.c_str());
    }
}

void BM_RecordSqlite(benchmark::State& state) {
    QTemporaryDir dir;
    recordEach(state, dir.filePath("r.sqlite").toStdString());
}
void BM_RecordPostgres(benchmark::State& state) {
    const char* server = std::getenv("KESTREL_TEST_DATABASE");
    if (server == nullptr || std::string(server).rfind("postgresql:", 0) != 0) {
        state.SkipWithError("no server: run through tests/production/with_postgres.sh");
        return;
    }
    recordEach(state, server);
}
BENCHMARK(BM_RecordSqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordPostgres)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // Qt SQL finds its drivers through it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
