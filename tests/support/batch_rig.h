#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "simulator/simulated_board.h"
#include "support/fake_clock.h"

namespace kestrel::testing {

// Runs the program's batch mode in-process, in a folder of its own, on a
// simulated board the test holds (or, with `run(args, false)`, on whatever
// the arguments name), with backups under the folder and a fixed clock.
class BatchRig : public ::testing::Test {
  protected:
    BatchRig() : BatchRig(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}
    explicit BatchRig(const std::string& name)
        : dir(std::filesystem::temp_directory_path() /
              ("kestrel_" + name + "_" + std::to_string(::getpid()))),
          stateHome((dir / "state").string()),
          backupFolder(stateHome + "/kestrel-eval/backups") {}

    std::filesystem::path dir;
    std::string stateHome;
    std::string backupFolder;
    std::string dataHome = (dir / "data").string();
    sim::SimulatedBoard board;
    PortAccess* port = nullptr;  // what the runs drive instead of the board when set
    FakeClock clock;
    std::istringstream input;
    std::time_t now = 1796558400;  // 2026-12-06 12:00:00 UTC
    std::string out, err;
    KernelCalls* kernel = nullptr;  // answers an adapter's calls instead of the default
    std::string state = (dir / "board.txt").string();  // the board of `runOnFile`
    std::string trace = (dir / "bus.vcd").string();

    void SetUp() override {
        std::filesystem::create_directories(dir);
        board.kestrel().setStatusActivity(false);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // `onHeldBoard`: the board above; otherwise the board or port the
    // arguments name (--simulate with a state file, or the real port).
    int run(const std::vector<std::string>& args, bool onHeldBoard = true) {
        return capture([&](std::ostream& o, std::ostream& e) {
            return batch::run(args, environment(onHeldBoard), o, e);
        });
    }
    batch::Environment environment(bool onHeldBoard = true) {
        batch::Environment env;
        if (onHeldBoard) env.port = port != nullptr ? port : &board;
        env.kernel = kernel;
        env.in = &input;
        env.waitHooks = clock.hooks();
        env.getenv = [this](const char* name) {
            const std::string n = name;
            return n == "XDG_STATE_HOME"  ? stateHome.c_str()
                   : n == "XDG_DATA_HOME" ? dataHome.c_str()
                                          : nullptr;
        };
        env.now = [this] { return now; };
        return env;
    }
    // Runs `body` with two streams that become `out` and `err`.
    template <typename Body>
    int capture(Body body) {
        std::ostringstream o, e;
        const int code = body(o, e);
        out = o.str();
        err = e.str();
        return code;
    }
    // On the simulated board kept in `state`; `traced`: the bus into `trace`.
    int runOnFile(std::vector<std::string> args, bool traced = false) {
        std::filesystem::remove(trace);
        if (traced) args.insert(args.begin(), {"--trace", trace});
        args.insert(args.begin(), {"--simulate", "--sim-state", state});
        return run(args, false);
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> v;
        std::istringstream in(out);
        for (std::string l; std::getline(in, l);) v.push_back(l);
        return v;
    }
    void addFault(const std::string& fault) {
        std::ofstream(state, std::ios::app) << "fault " << fault << '\n';
    }
    // Every EEPROM byte of the held board from its offset.
    void fill(std::uint8_t (*byte)(int)) {
        for (int a = 0; a < 512; ++a) board.kestrel().setEeprom(0x8000 + a, byte(a));
    }
    // `count` image lines of `value`, written out here, not by the code under test.
    static std::string image(unsigned first, unsigned count, unsigned value) {
        std::string text;
        char line[16];
        for (unsigned i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "%04Xh: %02Xh\r\n", first + i, value);
            text += line;
        }
        return text;
    }
    std::string file(const std::string& name, const std::string& content) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string slurp(const std::filesystem::path& path) {
        std::ifstream f(path, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::vector<std::filesystem::path> backupFiles() const {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::exists(backupFolder))
            for (const auto& e : std::filesystem::directory_iterator(backupFolder))
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }
};

}  // namespace kestrel::testing
