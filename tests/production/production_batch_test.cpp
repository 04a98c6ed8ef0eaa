#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/production_command.h"
#include "support/batch_rig.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

class ProductionBatch : public testing::BatchRig {
  protected:
    ProductionBatch() : BatchRig("production") {}
    int production(std::vector<std::string> args) {
        args.insert(args.begin(), "production");
        return capture([&](std::ostream& o, std::ostream& e) {
            return batch::runProduction(args, environment(), o, e);
        });
    }
    std::string golden() { return (dir / "golden.snap").string(); }
};

TEST_F(ProductionBatch, ExitCodesSayHowEachBoardEnded) {
    ASSERT_EQ(run({"snapshot", "save", golden()}), 0) << err;
    std::ofstream(dir / "not.snap") << "not a snapshot\n";
    struct Case {
        const char* state;  // added to a fresh board's
        std::vector<std::string> args;
        int code;
        std::string says;  // on standard output, or on standard error
    };
    const std::string notGolden = (dir / "not.snap").string();
    const std::vector<Case> cases = {
        {"", {"--serial", "SN1"}, 0, "PASS SN1  registers written: none, pages written: none"},
        {"",
         {"--serial", "SN2", "--serial-at", "8100", "--station", "L2"},
         0,
         "PASS SN2  registers written: none, pages written: 8100h"},
        {"fault corrupt-pec\n", {"--serial", "SN3"}, 2, "SN3: register 00h not read"},
        {"reg 1D 42\n", {"--serial", "SN4"}, 6, "revision (register 1Dh) reads 42h"},
        {"", {}, 1, "'production run' needs --serial"},
        {"", {"--serial", "a b"}, 1, "the serial holds a space"},
        {"", {"--serial", "SN5", "--serial-at", "81FE"}, 1, "run past 81FFh"},
        {"", {"--serial", "SN6", "--golden", notGolden}, 1, "not.snap line 1"},
        {"",
         {"--serial", "SN7", "--since", "2026-01-01"},
         1,
         "--since goes with 'production report'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "" : c.args.back());
        board.kestrel().setCorruptPec(false);  // a fault the state text does not undo
        ASSERT_TRUE(board.loadStateText(sim::SimulatedBoard().stateText(), nullptr));
        ASSERT_TRUE(board.loadStateText(c.state, nullptr));
        board.kestrel().setStatusActivity(false);
        std::vector<std::string> args = {"run", "--backups", (dir / "b").string()};
        if (std::find(c.args.begin(), c.args.end(), "--golden") == c.args.end())
            args.insert(args.end(), {"--golden", golden()});
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(production(args), c.code) << out << err;
        EXPECT_NE((out + err).find(c.says), std::string::npos) << out << err;
    }
    // Three boards recorded their attempt (pec and revision failed), each
    // under its own serial, in the default database.
    EXPECT_TRUE(fs::exists(dir / "data/kestrel-eval/production.sqlite"));
    ASSERT_EQ(production({"report"}), 0) << err;
    EXPECT_NE(out.find("attempts 4, passed 2, failed 2"), std::string::npos) << out;
    EXPECT_NE(out.find("L2  "), std::string::npos) << out;
    // The program's report is the same under a German locale (a decimal
    // comma) as under C.
    locale_t german = ::newlocale(LC_ALL_MASK, "de_DE.UTF-8", nullptr);
    ASSERT_NE(german, nullptr) << "no de_DE.UTF-8 locale: scripts/install-deps.sh makes it";
    ::freelocale(german);
    std::string reports[2];
    for (int k : {0, 1}) {
        const std::string command = std::string("LC_ALL=") + (k ? "de_DE.UTF-8" : "C") + " '" +
                                    KESTREL_EVAL_BINARY + "' production report --database '" +
                                    dataHome + "/kestrel-eval/production.sqlite'";
        FILE* p = ::popen(command.c_str(), "r");
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
            reports[k].append(buffer, n);
        EXPECT_EQ(::pclose(p), 0) << command;
    }
    EXPECT_NE(reports[0].find("pass rate 50.0%"), std::string::npos) << reports[0];
    EXPECT_EQ(reports[1], reports[0]);
    // The CSV goes to a new file, never over one.
    const std::string csv = (dir / "r.csv").string();
    std::ofstream(csv) << "keep\n";
    ASSERT_EQ(production({"report", "--csv", csv}), 0) << err;
    std::ifstream kept(csv);
    std::string first;
    std::getline(kept, first);
    EXPECT_EQ(first, "keep");
    EXPECT_NE(err.find("saved as " + (dir / "r-2.csv").string()), std::string::npos) << err;
    for (const char* since : {"yesterday", "2026-99-99", "2026-02-29", "2026-12-1", "2026-12-01x"})
        EXPECT_EQ(production({"report", "--since", since}), 1) << since;
    EXPECT_EQ(production({"report", "--since", "2024-02-29"}), 0) << err;

    // A board whose backup cannot be saved is written nothing and is no PASS.
    std::ofstream(dir / "not-a-folder") << "x";
    EXPECT_EQ(production({"run", "--golden", golden(), "--serial", "L9", "--backups",
                          (dir / "not-a-folder").string()}),
              1);
    EXPECT_EQ(out.substr(0, 9), "ERROR L9 ") << out;
}

TEST_F(ProductionBatch, BoardsInARowCountTheSerialOnAndStopAtTheEraseLimit) {
    ASSERT_EQ(run({"snapshot", "save", golden()}), 0) << err;
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(),
                    {"run", "--golden", golden(), "--backups", (dir / "b").string(), "--database",
                     (dir / "r.sqlite").string(), "--erase-limit", "1"});
        return more;
    };
    EXPECT_EQ(production(with({"--serial", "K-098", "--boards", "3", "--step", "2"})), 0) << err;
    EXPECT_EQ(out.substr(0, 9), "PASS K-09");
    EXPECT_NE(out.find("PASS K-100"), std::string::npos) << out;
    EXPECT_NE(out.find("PASS K-102"), std::string::npos) << out;
    for (const char* name : {"K-098.dat", "K-100.dat", "K-102.dat"})
        EXPECT_TRUE(fs::exists(dir / "b" / name)) << name;
    board.kestrel().setEeprom(0x8040, 0x11);
    EXPECT_EQ(production(with({"--serial", "K-098"})), 0) << err;
    board.kestrel().setEeprom(0x8040, 0x22);
    EXPECT_EQ(production(with({"--serial", "K-098"})), 6) << err;
    EXPECT_NE(err.find("page 8040h of K-098 has been erased 1 times, the limit is 1"),
              std::string::npos)
        << err;
    EXPECT_EQ(board.kestrel().eeprom(0x8040), 0x22) << "the refused page was not erased";
}

}  // namespace
}  // namespace kestrel
