#include <gtest/gtest.h>

#include <regex>

#include "batch/batch_session.h"
#include "bus/counting_port.h"
#include "device/text_rules.h"
#include "script/run_script.h"
#include "support/batch_rig.h"
#include "support/python_csv.h"

namespace kestrel {
namespace {

// Runs `kestrel-eval run` in-process on the held simulated board, every port
// access counted, on the fake clock: the bus's EEPROM holds and the script's
// waits move it, and nothing takes real time.
class ScriptTest : public testing::BatchRig {
  protected:
    ScriptTest() : BatchRig("script") {}

    CountingPort counted{board};
    std::function<bool()> stop;

    script::Hooks hooks() {
        script::Hooks h;
        h.nowMs = [this] { return static_cast<double>(clock.now); };
        h.wallMs = [this] { return std::int64_t{now} * 1000 + clock.now; };
        h.sleep = [this](unsigned ms) {
            for (unsigned i = 0; i < ms; ++i) {
                if (stop && stop()) return false;
                ++clock.now;
            }
            return true;
        };
        h.stopRequested = [this] { return stop && stop(); };
        return h;
    }

    int runScript(const std::string& source, std::vector<std::string> options = {}) {
        std::vector<std::string> args = {"run", file("s.kes", source)};
        args.insert(args.end(), options.begin(), options.end());
        const batch::Invocation inv = batch::parseCommandLine(args);
        EXPECT_EQ(inv.mode, batch::Mode::Batch) << inv.error;
        batch::Environment env = environment();
        env.port = &counted;
        const script::Hooks h = hooks();
        return capture([&](std::ostream& o, std::ostream& e) {
            return script::runScript(inv, env, o, e, &h);
        });
    }
    int reg(int r) { return board.kestrel().reg(r); }
};

// Each word of the language on the board: the exit code, a line the run
// prints, and the register 10h it leaves.
TEST_F(ScriptTest, EachWordRunsOnTheSimulatedBoard) {
    struct Case {
        const char* script;
        int code;
        const char* printed;  // a part of standard output
        int reg10;            // -1: not checked
    };
    const Case cases[] = {
        {"write 10 5A\nread 10\n", 0, "5A\n", 0x5A},
        {"write 10 0x5A\nexpect 10 5Ah\n", 0, "2 passed", 0x5A},
        {"expect 1D 31 mask 0F\n", 0, "1 passed", -1},
        {"expect 1D 2F mask 0F\n", 5, "differing bits 1, 2 and 3 (0Eh)", -1},
        {"eeprom write-byte 8005 5A\nexpect-eeprom 8005 5A\n", 0, "2 passed", -1},
        {"expect-eeprom 8005 00\n", 5,
         "EEPROM 8005h: expected 00h, read 5Ah; differing bits 1, 3, 4 and 6 (5Ah)", -1},
        {"repeat 3\nwrite 10 $r\nend\n", 1, "", -1},  // no such name: refused
        {"write 10 00\nrepeat 3\nexpect 10 00\nend\n", 0, "4 passed", 0},
        {"for v in 1..7 step 3\nwrite 10 $v\nend\n", 0, "3 passed", 7},
        {"for a in 0..1\nfor b in 3..4\nwrite $b $a\nend\nend\nexpect 03 01\nexpect 04 01\n", 0,
         "6 passed", -1},
        {"log trim 10 1D\n", 0, "trim 10h=", -1},
        {"expect 1D 00\nwrite 10 11\n", 5, "on-error stop", 0},
        {"on-error continue\nexpect 1D 00\nwrite 10 11\n", 5, "1 passed, 1 failed", 0x11},
        {"on-error continue\non-error stop\nexpect 1D 00\nwrite 10 11\n", 5, "0 passed", 0},
        {"wait 250\n", 0, "1 passed", -1},
        {"write 10 04\npoll 10 04 timeout 100\n", 0, "2 passed", -1},
        {"write 10 00\npoll 10 04 mask 04 timeout 100 every 30\n", 5, "5 reads in 100 ms", -1},
        {"\xEF\xBB\xBFwrite 10 5A\n", 0, "1 passed", 0x5A},  // a byte order mark first
        {"write 09 00\nfor v in 9..9\nexpect $v 01\nend\n", 5, "s.kes:3: expect 09h 01:", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        board.kestrel().setReg(0x10, 0);
        EXPECT_EQ(runScript(c.script, {"--no-backup"}), c.code) << out << err;
        EXPECT_NE(out.find(c.printed), std::string::npos) << out;
        if (c.reg10 >= 0) {
            EXPECT_EQ(reg(0x10), c.reg10);
        }
    }
}

// A step the bus failed is an ERROR with exit 2, and a bus failure outranks
// a failed expectation; a chip that answers again passes.
TEST_F(ScriptTest, BusFailuresExitTwo) {
    struct Case {
        const char* script;
        int code;
        const char* printed;
    };
    const Case cases[] = {
        {"expect 1D 21\n", 2, "s.kes:1: expect 1D 21: No acknowledge from AEh"},
        {"on-error continue\nwrite 10 00\nexpect 1D 00\n", 2, "0 passed, 0 failed, 2 errors"},
        {"log l 1D\n", 2, "s.kes:1: log l 1D: No acknowledge"},
    };
    board.kestrel().setPresent(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(runScript(c.script), c.code);
        EXPECT_NE(out.find(c.printed), std::string::npos) << out;
    }
}

TEST_F(ScriptTest, WaitTakesItsTimeOnTheClock) {
    const std::uint32_t before = clock.now;
    EXPECT_EQ(runScript("wait 250\n"), 0);
    EXPECT_GE(clock.now - before, 250u);
    EXPECT_LT(clock.now - before, 260u);
}

// Every script error ends the run with exit 1 before a single port access,
// naming file:line:column and the word.
TEST_F(ScriptTest, ScriptErrorsAreFoundBeforeAnyTraffic) {
    struct Case {
        const char* script;
        const char* message;
    };
    const Case cases[] = {
        {"write 10 00\nfrobnicate 1\n", "s.kes:2:1: 'frobnicate': unknown command"},
        {"read 1G\n", "s.kes:1:6: '1G': register 1G: not a hex number"},
        {"  expect 10 5A mask 1FF\n", "s.kes:1:21: '1FF': data 1FF: out of range"},
        {"wait 1.5\n", "s.kes:1:6: '1.5': give decimal milliseconds"},
        {"repeat 3\nread 10\n", "s.kes:1:1: 'repeat': no 'end' closes this 'repeat'"},
        {"for r in 0..100\n  read $r\nend\n",
         "s.kes:2:8: '$r': register 0x100: out of range 00-FF (with $r = 100h)"},
        {"for p in 8000..8030 step 10\n  eeprom erase $p\nend\n", "s.kes:2:16: '$p': page 0x8010"},
        {"read $x\n", "s.kes:1:6: '$x': no enclosing 'for x'"},
        {"end\n", "s.kes:1:1: 'end': no 'repeat' or 'for' is open here"},
        {"repeat 2000000\nend\n", "s.kes:1:8: '2000000': give a decimal count"},
        {"for a in 0..FFF\nfor b in 0..FFF\nend\nend\n", "s.kes:2:1: 'for': these loops run more"},
        {"repeat 600000\nread 10\nread 10\nend\n", "s.kes:1:1: 'repeat': the script would"},
        {"for t in 3E8..3E8\nwait $t\nend\n", "s.kes:2:6: '$t': a loop variable's values are hex"},
        {"for t in 1..2\npoll 10 00 timeout $t\nend\n", "s.kes:2:20: '$t': a loop variable"},
        {"status --watch\n", "s.kes:1:8: '--watch': not an option of a script line"},
        {"read 10 --slave=A0\n", "s.kes:1:9: '--slave=A0'"},
        {"eeprom write 8000 missing.img\n", "s.kes:1:19: 'missing.img':"},
        {"poll 10 00 every 5\n", "s.kes:1:1: 'poll': usage: poll REG VALUE"},
        {"for 1x in 0..3\nend\n", "s.kes:1:5: '1x': a name is letters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(runScript(c.script), 1);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(counted.accesses(), 0u);
        EXPECT_EQ(board.kestrel().transactions(), 0u);
    }
}

// A failed expect exits 5, and a JUnit report names the differing bits and
// where the step is; the report replaces its file whole.
TEST_F(ScriptTest, FailedExpectationIsInTheJunitReport) {
    const std::string junit = (dir / "report.xml").string();
    const std::string csv = (dir / "log.csv").string();
    EXPECT_EQ(runScript("on-error continue\nlog st,\"a 1D\nexpect 1D 21\nexpect 1D 25\n",
                        {"--junit", junit, "--csv", csv}),
              5);
    const std::string xml = slurp(junit);
    EXPECT_NE(xml.find("line=\"4\""), std::string::npos) << xml;
    // The log as Python's csv module reads it, its time the fixed clock's
    // second and the fake milliseconds.
    const auto rows = testing::pythonCsvRows(csv);
    ASSERT_EQ(rows.size(), 2u) << slurp(csv);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"time", "label", "register", "value"}));
    ASSERT_EQ(rows[1].size(), 4u);
    EXPECT_TRUE(std::regex_match(rows[1][0], std::regex("2026-12-06T12:00:00\\.[0-9]{3}Z")));
    EXPECT_EQ(std::vector<std::string>(rows[1].begin() + 1, rows[1].end()),
              (std::vector<std::string>{"st,\"a", "1Dh", "21h"}));
}

// A script from standard input runs as one from a file; 'end' is no step
// (exactly a million reads fit); a stop between a loop's turns names the
// step that ran last, not the 'end'.
TEST_F(ScriptTest, StandardInputStepsAndAStopBetweenTurns) {
    input.str("expect 1D 00\n");
    const batch::Invocation inv = batch::parseCommandLine({"run", "-"});
    ASSERT_EQ(inv.mode, batch::Mode::Batch) << inv.error;
    const script::Hooks h = hooks();
    EXPECT_EQ(capture([&](std::ostream& o, std::ostream& e) {
                  return script::runScript(inv, environment(), o, e, &h);
              }),
              5)
        << out << err;
    EXPECT_NE(out.find("FAIL stdin:1: expect 1D 00:"), std::string::npos) << out;

    std::vector<script::ParseError> errors;
    const auto million =
        script::parseScript("repeat 1000\nrepeat 1000\nread 10\nend\nend\n", "m.kes", errors);
    ASSERT_TRUE(million) << (errors.empty() ? "" : errors[0].text);
    EXPECT_EQ(million->steps, 1000000u);

    stop = [this] { return reg(0x10) == 0x5A; };
    EXPECT_EQ(runScript("repeat 3\nwrite 10 5A\nend\n", {"--no-backup"}), 130) << out;
    EXPECT_NE(out.find("s.kes:2: stopped after this line"), std::string::npos) << out;
    stop = nullptr;
}

// The script, the state file and each report are different files, or the
// run is refused before any traffic and every file stays as it was.
TEST_F(ScriptTest, ReportsNeverReplaceTheScriptTheBoardOrEachOther) {
    const std::string script = file("ok.kes", "write 10 5A\n");
    std::filesystem::create_symlink(script, dir / "link.xml");
    const std::string boardState = file("board.txt", "");
    struct Case {
        std::vector<std::string> args;  // after "run ok.kes"
        const char* says;
    };
    const Case cases[] = {
        {{"--junit", script}, "--junit names the same file as the script"},
        {{"--csv", (dir / "." / "ok.kes").string()}, "--csv names the same file as the script"},
        {{"--junit", (dir / "link.xml").string()}, "--junit names the same file as the script"},
        {{"--junit", (dir / "r.out").string(), "--csv", (dir / "r.out").string()},
         "--csv names the same file as --junit"},
        {{"--simulate", "--sim-state", boardState, "--junit", boardState},
         "--junit names the same file as --sim-state"},
        {{"--junit", "-", "--csv", "-"}, "--junit and --csv would both go to standard output"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> args = {"run", script};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const batch::Invocation inv = batch::parseCommandLine(args);
        ASSERT_EQ(inv.mode, batch::Mode::Batch) << inv.error;
        batch::Environment env = environment();
        env.port = &counted;
        EXPECT_EQ(capture([&](std::ostream& o, std::ostream& e) {
                      return script::runScript(inv, env, o, e);
                  }),
                  1);
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(slurp(script), "write 10 5A\n");
        EXPECT_EQ(slurp(boardState), "");
        EXPECT_FALSE(std::filesystem::exists(dir / "r.out"));
        EXPECT_EQ(counted.accesses(), 0u);
    }
}

// The automatic backup is taken once per run, before the first EEPROM change.
TEST_F(ScriptTest, EepromChangesTakeOneBackupPerRun) {
    EXPECT_EQ(runScript("read 10\neeprom write-byte 8000 01\neeprom erase 8020\n"), 0) << err;
    EXPECT_EQ(backupFiles().size(), 1u);
    EXPECT_NE(err.find("EEPROM saved to"), std::string::npos);
    EXPECT_EQ(runScript("read 10\n"), 0);
    EXPECT_EQ(backupFiles().size(), 1u);
}

// A dry run from a snapshot file touches no board; it prints the
// transactions a real run on that board sends, in the monitor's words.
TEST_F(ScriptTest, DryRunSendsNothingAndPrintsTheRealRunsTransactions) {
    const std::string script =
        "write 10 3C\nexpect 10 3C\nexpect-eeprom 8001 77\neeprom write-byte 8002 12\n"
        "for r in 10..11\nlog l $r\nend\n";
    board.kestrel().setEeprom(0x8001, 0x77);
    // The snapshot, read from the held board.
    ASSERT_EQ(run({"snapshot", "save", (dir / "b.snap").string()}), 0) << err;
    const std::string boardBefore = board.stateText();

    ASSERT_EQ(runScript(script, {"--dry-run", "--from", (dir / "b.snap").string()}), 0) << err;
    EXPECT_EQ(counted.accesses(), 0u);
    std::vector<std::string> printed;
    std::istringstream lines(out);
    for (std::string l; std::getline(lines, l);)
        if (l.rfind("  > ", 0) == 0) printed.push_back(l.substr(4));

    // The transactions a real run on that board sends, in the monitor's words.
    EXPECT_EQ(printed, (std::vector<std::string>{
                           "Write Byte  AEh  10h  AE+ 10+ 3C+  ok",
                           "Read Byte  AEh  10h  AE+ 10+ Sr AF+ <3C+ <F6-  PEC F6 ok  ok",
                           "EEPROM Read  AEh  8001h  AE+ 80+ 01+ Sr AF+ <77+ <62-  PEC 62 ok  ok",
                           "EEPROM Write  AEh  8002h  AE+ 80+ 02+ 12+  ok",
                           "Read Byte  AEh  10h  AE+ 10+ Sr AF+ <3C+ <F6-  PEC F6 ok  ok",
                           "Read Byte  AEh  11h  AE+ 11+ Sr AF+ <00+ <29-  PEC 29 ok  ok"}));

    // Read from the board itself: reads only, and the board stays as it was.
    EXPECT_EQ(runScript(script, {"--dry-run"}), 0) << err;
    EXPECT_GT(counted.accesses(), 0u);
    EXPECT_EQ(board.stateText(), boardBefore);
}

// A second run on one session after the first has gone (as the window and the
// benchmark do) runs on the session's own device again.
TEST_F(ScriptTest, ASecondRunOnTheSameSessionAfterTheFirst) {
    std::vector<script::ParseError> errors;
    const auto parsed = script::parseScript("write 10 3C\nexpect 10 3C\n", "s.kes", errors);
    ASSERT_TRUE(parsed);
    std::ostringstream e;
    batch::Session s(batch::Options{}, environment(), e);
    for (int run = 0; run < 2; ++run) {
        script::Runner runner(*parsed, s, script::RunSettings{}, hooks());
        runner.runAll();
        EXPECT_EQ(runner.exitCode(), 0) << run;
    }
}

// Stop during a 16-page program: the run ends after the transaction under
// way, within 100 ms of the request, and the report says where.
TEST_F(ScriptTest, StopDuringAProgramEndsAfterACompleteTransaction) {
    std::string image;
    for (unsigned i = 0; i < 512; ++i)
        image += text::imageLine(0x8000 + i, (i * 7) & 0xFF) + "\r\n";
    file("full.img", image);
    std::uint32_t stopAt = 0;
    std::uint64_t transactionsAtStop = 0;
    for (const std::uint32_t after : {45u, 200u, 431u}) {
        SCOPED_TRACE(after);
        const std::uint32_t start = clock.now;
        stopAt = 0;
        stop = [&] {
            if (stopAt == 0 && clock.now - start >= after) {
                stopAt = clock.now;
                transactionsAtStop = board.kestrel().transactions();
            }
            return stopAt != 0;
        };
        const std::string junit = (dir / "stop.xml").string();
        EXPECT_EQ(runScript("eeprom restore full.img\n", {"--no-backup", "--junit", junit}), 130)
            << out << err;
        ASSERT_NE(stopAt, 0u);
        EXPECT_LE(clock.now - stopAt, 100u);
        // Nothing started after the request; the last transaction ended with its STOP.
        EXPECT_EQ(board.kestrel().transactions(), transactionsAtStop);
        EXPECT_TRUE(board.wire().scl() && board.wire().sda());
        const std::string xml = slurp(junit);
        EXPECT_NE(xml.find("type=\"stopped\""), std::string::npos) << xml;
        EXPECT_NE(xml.find("s.kes:1: stopped after the transaction Page Erase 8"),
                  std::string::npos)
            << xml;
        stop = nullptr;
    }
}

}  // namespace
}  // namespace kestrel
