// Many command-line runs on one state file at once: each waits for the one
// before it, so every change survives; a state file that does not load stops
// a run before the bus and is left as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/simulated_board.h"

extern char** environ;

namespace kestrel {
namespace {

namespace fs = std::filesystem;

pid_t spawn(const std::vector<std::string>& args, const std::string& errFile) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    const int r = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return r == 0 ? pid : -1;
}

int exitCode(pid_t pid) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Runs : ::testing::Test {
    fs::path dir;
    std::string state;
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kestrel_runs_XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        state = (dir / "board.txt").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> command(std::initializer_list<std::string> words) const {
        std::vector<std::string> args = {KESTREL_EVAL_BINARY, "--simulate", "--sim-state", state};
        args.insert(args.end(), words);
        return args;
    }
};

std::uint8_t pattern(int round, int page, int i) {
    return static_cast<std::uint8_t>(round * 31 + page * 7 + i);
}

TEST_F(Runs, SixRoundsOfTwentyParallelRunsLoseNothing) {
    for (int round = 0; round < 6; ++round) {
        std::vector<pid_t> pids;
        for (int page = 0; page < 15; ++page) {
            const unsigned base = 0x8000 + 0x20 * static_cast<unsigned>(page);
            const std::string image = (dir / ("p" + std::to_string(page) + ".dat")).string();
            std::ofstream out(image, std::ios::binary);
            char line[16];
            for (int i = 0; i < 32; ++i) {
                std::snprintf(line, sizeof line, "%04Xh: %02Xh\n", base + i,
                              pattern(round, page, i));
                out << line;
            }
            out.close();
            char baseText[8];
            std::snprintf(baseText, sizeof baseText, "%04X", base);
            pids.push_back(spawn(command({"eeprom", "write", baseText, image}),
                                 (dir / ("err" + std::to_string(page))).string()));
        }
        // The last page is zeroed and erased in turn; four registers change.
        pids.push_back(spawn(command({"eeprom", round % 2 == 0 ? "zero" : "erase", "81E0"}),
                             (dir / "err15").string()));
        for (int r = 0; r < 4; ++r) {
            char reg[4], value[4];
            std::snprintf(reg, sizeof reg, "%02X", 0x08 + r);
            std::snprintf(value, sizeof value, "%02X", round * 16 + r);
            pids.push_back(spawn(command({"write", reg, value}),
                                 (dir / ("err" + std::to_string(16 + r))).string()));
        }
        for (std::size_t i = 0; i < pids.size(); ++i)
            EXPECT_EQ(exitCode(pids[i]), 0) << "round " << round << " run " << i << ": "
                                            << slurp((dir / ("err" + std::to_string(i))).string());

        sim::SimulatedBoard board;
        std::string error;
        ASSERT_TRUE(board.loadState(state, &error)) << error;
        for (int page = 0; page < 15; ++page)
            for (int i = 0; i < 32; ++i)
                ASSERT_EQ(board.kestrel().eeprom(0x8000 + 0x20 * page + i), pattern(round, page, i))
                    << "round " << round << " page " << page << " byte " << i;
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(board.kestrel().eeprom(0x81E0 + i), round % 2 == 0 ? 0x00 : 0xFF)
                << "round " << round;
        for (int r = 0; r < 4; ++r)
            ASSERT_EQ(board.kestrel().reg(0x08 + r), round * 16 + r) << "round " << round;
    }
}

TEST_F(Runs, AStateFileThatDoesNotLoadStopsTheRunAndIsKept) {
    const std::string bad[] = {"reg 0E 00\nfault melted\n", "ee 80000000 1\n",
                               std::string("reg 0E \0\x01\x02", 10)};
    const std::string trace = (dir / "trace.vcd").string();
    for (const std::string& text : bad) {
        std::ofstream(state, std::ios::binary) << text;
        const std::string err = (dir / "err").string();
        auto args = command({"write", "0E", "00"});
        args.insert(args.begin() + 1, {"--trace", trace});
        EXPECT_EQ(exitCode(spawn(args, err)), 1) << text;
        EXPECT_NE(slurp(err).find("not loaded"), std::string::npos) << slurp(err);
        EXPECT_EQ(slurp(state), text) << "the file is left as it was";
        std::istringstream lines(slurp(trace));
        std::string line;
        while (std::getline(lines, line))
            EXPECT_TRUE(line.empty() || line[0] != '#' || line == "#0")
                << "no bus traffic: " << line;
    }
    fs::remove(state);
    fs::create_directory(state);
    EXPECT_EQ(exitCode(spawn(command({"read", "0E"}), (dir / "err").string())), 1)
        << "a folder is no state file";
}

}  // namespace
}  // namespace kestrel
