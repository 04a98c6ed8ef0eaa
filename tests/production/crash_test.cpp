#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "production/records.h"

// The batch station killed (SIGKILL) at random moments while it programs
// boards one after another: whatever the moment, the records hold whole rows
// only, and every board the station said it finished.
namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Runs the program with `args` to its end, or kills it after `killAfterMs`
// milliseconds unless it ended before; with `out`, its standard output goes
// there and its standard error nowhere.
int run(const std::vector<std::string>& args, const fs::path* out = nullptr, int killAfterMs = -1) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (out != nullptr) {
            dup2(::open(out->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            dup2(::open("/dev/null", O_WRONLY), 2);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(KESTREL_EVAL_BINARY));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(KESTREL_EVAL_BINARY, argv.data());
        _exit(127);
    }
    if (killAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CrashSafety, AKillAtAnyMomentLeavesWholeRowsAndEveryFinishedBoard) {
    // A folder of this process's own: another run of the suite may be under way.
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("production-crash-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string state = (dir / "board.txt").string();
    const std::string golden = (dir / "golden.snap").string();
    const std::string database = (dir / "records.sqlite").string();
    const std::vector<std::string> sim = {"--simulate", "--sim-state", state};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), sim.begin(), sim.end());
        return more;
    };
    ASSERT_EQ(run(with({"snapshot", "save", golden})), 0);
    // The board in the state file differs from golden in a register and a
    // page: the first board of every run is written to.
    ASSERT_EQ(run(with({"write", "16", "2C"})), 0);
    ASSERT_EQ(run(with({"--no-backup", "eeprom", "write-byte", "8105", "34"})), 0);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delay(20, 700);
    const std::regex line("(PASS|FAIL) (B-[0-9]{5})  .*");
    std::set<std::string> finished;
    std::vector<production::Attempt> rows;  // what the records hold after the last run
    int next = 0, runs = 0;
    const int kBoards = 200;
    while (next < kBoards && runs < 400) {
        ++runs;
        char serial[16];
        std::snprintf(serial, sizeof serial, "B-%05d", next);
        const fs::path out = dir / "out.txt";
        run(with({"production", "run", "--golden", golden, "--serial", serial, "--boards",
                  std::to_string(kBoards - next), "--database", database, "--backups",
                  (dir / "backups").string(), "--station", "crash"}),
            &out, delay(random));
        std::ifstream in(out);
        std::string text;
        int printed = 0;
        while (std::getline(in, text)) {
            std::smatch m;
            // A line cut by the kill is not a finished board.
            if (!std::regex_match(text, m, line)) continue;
            finished.insert(m[2]);
            ++printed;
        }
        next += printed;
        // The board in progress may have been recorded before its line was
        // printed: the next run starts after it.
        std::string error;
        auto records = production::Records::open(database, error);
        ASSERT_TRUE(records) << error;
        const auto now = records->attempts("", error);
        ASSERT_TRUE(now) << error;
        rows = *now;
        next = std::max(next, rows.empty() ? 0 : std::stoi(rows.back().serial.substr(2)) + 1);
    }
    ASSERT_GE(next, kBoards) << "the station did not get through the boards in " << runs << " runs";

    std::set<std::string> stored;
    const std::regex started("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z");
    for (const auto& a : rows) {
        SCOPED_TRACE(a.serial);
        EXPECT_TRUE(std::regex_match(a.started, started)) << a.started;
        EXPECT_EQ(a.goldenName, "golden.snap");
        EXPECT_FALSE(a.operatorName.empty());
        EXPECT_GE(a.durationMs, 0);
        EXPECT_TRUE(a.result == "PASS" ? a.firstFailure.empty() : !a.firstFailure.empty());
        stored.insert(a.serial);
    }
    for (const std::string& serial : finished)
        EXPECT_EQ(stored.count(serial), 1u) << serial << " was finished but is not recorded";
    EXPECT_GE(rows.size(), static_cast<std::size_t>(kBoards));
    EXPECT_GT(runs, 3) << "the kills should have come in the middle of the run";
    if (!HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrel
