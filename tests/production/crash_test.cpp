#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "production/records.h"

// The batch station killed (SIGKILL, as a power cut) after each of its steps
// in turn, every bus transaction and every committed record counted: whatever
// the step, the records hold whole rows only (finished, or unfinished and
// naming the board), a board that was written to has its row, its erase
// count is never short, and every board the station said it finished is
// recorded so. The kill points are counted, not timed: a slow or loaded
// machine kills at the same points as a fast one.
namespace kestrel {
namespace {

namespace fs = std::filesystem;

struct Ended {
    bool killed = false;
    int code = -1;
};

// Runs the program with `args` to its end (or its kill), standard output and
// standard error into files; `environment` entries are added to its own.
Ended run(const std::vector<std::string>& args, const fs::path& out, const fs::path& err,
          const std::vector<std::string>& environment = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        for (const std::string& e : environment) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(KESTREL_EVAL_BINARY));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(KESTREL_EVAL_BINARY, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Ended e;
    e.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    e.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return e;
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CrashSafety, AKillAfterAnyStepLeavesWholeRowsAndNoBoardChangedWithoutOne) {
    // A folder of this process's own: another run of the suite may be under way.
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("production-crash-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path state = dir / "board.txt", differing = dir / "differing.txt";
    const std::string golden = (dir / "golden.snap").string();
    const fs::path out = dir / "out.txt", err = dir / "err.txt";
    auto sim = [&](std::vector<std::string> more) {
        more.insert(more.begin(), {"--simulate", "--sim-state", state.string()});
        return run(more, out, err);
    };
    ASSERT_EQ(sim({"snapshot", "save", golden}).code, 0) << slurp(err);
    // The board differs from golden in a register and a page: board 1 of each
    // run is written to (its row first, then completed); board 2, the same
    // board again, is equal and gets its row in one transaction.
    ASSERT_EQ(sim({"write", "16", "2C"}).code, 0);
    ASSERT_EQ(sim({"--no-backup", "eeprom", "write-byte", "8105", "34"}).code, 0);
    fs::copy_file(state, differing);

    const std::regex killedAt("kestrel-eval: killed after step ([0-9]+): (.*)\n");
    const std::regex started("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z");
    std::vector<std::string> steps;  // what each step was, as the kills said
    bool ranThrough = false;
    for (unsigned n = 1; n <= 1000 && !ranThrough; ++n) {
        SCOPED_TRACE("killed after step " + std::to_string(n));
        fs::copy_file(differing, state, fs::copy_options::overwrite_existing);
        const std::string database = (dir / ("r" + std::to_string(n) + ".sqlite")).string();
        const Ended e =
            run({"--simulate", "--sim-state", state.string(), "production", "run", "--golden",
                 golden, "--serial", "B-1", "--boards", "2", "--same-board", "--database", database,
                 "--backups", (dir / "backups").string(), "--station", "crash"},
                out, err, {"KESTREL_TEST_KILL_AFTER=" + std::to_string(n)});
        const std::string said = slurp(err);
        if (!e.killed) {
            ASSERT_EQ(e.code, 0) << said;
            ranThrough = true;
        } else {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(said, m, killedAt)) << said;
            ASSERT_EQ(m[1], std::to_string(n));
            steps.push_back(m[2]);
        }
        // Before the kill the board was written to (the run is the same up
        // to it every time): a register write, an erase or an EEPROM write.
        bool written = false, erased = false;
        for (const std::string& s : steps) {
            written = written || s.rfind("transaction Write Byte", 0) == 0 ||
                      s.rfind("transaction Page Erase", 0) == 0 ||
                      s.rfind("transaction EEPROM Write", 0) == 0;
            erased = erased || s.rfind("transaction Page Erase", 0) == 0;
        }
        std::vector<production::Attempt> rows;
        std::map<unsigned, long long> counts;
        if (fs::exists(database)) {
            std::string error;
            auto records =
                production::Records::open(database, error, production::Records::Mode::ReadOnly);
            if (records) {
                rows = records->attempts("", error).value_or(rows);
                counts = records->eraseCounts("B-1", error).value_or(counts);
            }
        }
        std::set<std::string> serials;
        for (const auto& a : rows) {
            SCOPED_TRACE(a.serial + " " + a.shownResult());
            EXPECT_TRUE(serials.insert(a.serial).second) << "one row per board";
            EXPECT_TRUE(std::regex_match(a.started, started)) << a.started;
            EXPECT_EQ(a.goldenName, "golden.snap");
            EXPECT_EQ(a.station, "crash");
            EXPECT_FALSE(a.operatorName.empty());
            EXPECT_GE(a.durationMs, 0);
            if (!a.finished) {
                // Only a board that is written to has a row before its end.
                EXPECT_EQ(a.serial, "B-1");
                EXPECT_EQ(a.registersWritten + a.pagesWritten, "");
                EXPECT_EQ(a.firstFailure.rfind("unfinished: ", 0), 0u) << a.firstFailure;
            } else {
                EXPECT_EQ(a.result, "PASS") << a.firstFailure;
                EXPECT_EQ(a.firstFailure, "");
                EXPECT_EQ(a.registersWritten, a.serial == "B-1" ? "16h" : "");
                EXPECT_EQ(a.pagesWritten, a.serial == "B-1" ? "8100h" : "");
            }
            // The page's count was raised with the row, before its erase.
            if (a.serial == "B-1") {
                EXPECT_EQ(counts[0x8100], 1);
            }
        }
        if (written) {
            EXPECT_EQ(serials.count("B-1"), 1u) << "B-1 was written to without a row";
        }
        if (erased) {
            EXPECT_EQ(counts[0x8100], 1) << "an erase that was not counted";
        }
        EXPECT_EQ(counts[0x8100], static_cast<long long>(serials.count("B-1")))
            << "an erase count raised without the board's row";
        // Every board the station called finished is recorded so.
        std::istringstream printed(slurp(out));
        for (std::string line; std::getline(printed, line);) {
            std::smatch m;
            if (!std::regex_match(line, m, std::regex("PASS (B-[12])  .*"))) continue;
            bool recorded = false;
            for (const auto& a : rows) recorded = recorded || (a.serial == m[1] && a.finished);
            EXPECT_TRUE(recorded) << m[1] << " was finished but is not recorded";
        }
        if (HasFailure()) break;
        fs::remove(database);
    }
    EXPECT_TRUE(ranThrough) << "the station never got through its two boards";
    EXPECT_GT(steps.size(), 100u) << "every transaction and record counted as a step";
    if (!HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrel
