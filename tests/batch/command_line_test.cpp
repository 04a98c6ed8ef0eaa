// The one command-line parser: which runs open the windows, which run a
// command, and what each word turns into. No display needed.
#include "batch/command_line.h"

#include <gtest/gtest.h>

namespace kestrel::batch {
namespace {

TEST(CommandLineTest, WindowsOpenOnlyForACleanLineWithoutCommand) {
    Invocation inv = parseCommandLine({});
    EXPECT_EQ(inv.mode, Mode::Gui);
    inv = parseCommandLine({"--simulate", "--sim-state=board.txt", "--trace", "run.vcd"});
    ASSERT_EQ(inv.mode, Mode::Gui) << inv.error;
    EXPECT_TRUE(inv.options.connection.simulate);
    EXPECT_EQ(inv.options.connection.simStatePath, "board.txt");
    EXPECT_EQ(inv.options.connection.tracePath, "run.vcd");

    // Batch-only options, a missing value or a value where none belongs
    // never fall through to the windows.
    for (const std::vector<std::string>& line :
         std::vector<std::vector<std::string>>{{"--json"},
                                               {"--slave", "A0"},
                                               {"--no-backup"},
                                               {"--trace"},
                                               {"--trace", "--simulate"},
                                               {"--trace="},
                                               {"--simulate=1"},
                                               {"--sim-state", "-", "--simulate"},
                                               {"--sim-state=b.txt"},
                                               {"-s"}}) {
        const Invocation bad = parseCommandLine(line);
        EXPECT_EQ(bad.mode, Mode::Error) << ::testing::PrintToString(line);
        EXPECT_FALSE(bad.error.empty());
        EXPECT_EQ(bad.error.find('\n'), std::string::npos);
    }
    EXPECT_EQ(parseCommandLine({"read", "1D", "-h"}).mode, Mode::Help);
    EXPECT_EQ(parseCommandLine({"-V"}).mode, Mode::Version);
    EXPECT_EQ(parseCommandLine({"--version"}).mode, Mode::Version);
}

TEST(CommandLineTest, CommandsGetCheckedNumbersFilesAndFlags) {
    Invocation inv = parseCommandLine({"--slave=0xa0", "eeprom", "write", "81E0h", "-", "--erase"});
    ASSERT_EQ(inv.mode, Mode::Batch) << inv.error;
    EXPECT_EQ(inv.command, Command::EepromWrite);
    EXPECT_EQ(inv.options.slave, 0xA0u);
    EXPECT_EQ(inv.numbers, (std::vector<unsigned>{0x81E0}));
    EXPECT_EQ(inv.file, "-");
    EXPECT_TRUE(inv.erase);
    EXPECT_FALSE(inv.verify);
    EXPECT_TRUE(changesEeprom(inv.command));

    inv = parseCommandLine({"eeprom", "read", "8100", "--out", "-"});
    ASSERT_EQ(inv.mode, Mode::Batch) << inv.error;
    EXPECT_EQ(inv.numbers, (std::vector<unsigned>{0x8100, 0x20})) << "32 bytes unless told";
    EXPECT_EQ(inv.out, "-");
    EXPECT_FALSE(changesEeprom(inv.command));
    inv = parseCommandLine({"eeprom", "read", "81E0", "0x20"});
    EXPECT_EQ(inv.mode, Mode::Batch) << inv.error;
    EXPECT_EQ(parseCommandLine({"eeprom", "read", "81E1", "20"}).mode, Mode::Error);
    // Each range at its edges; an overlong number never wraps round to a small one.
    for (const auto& [line, ok] : std::vector<std::pair<std::vector<std::string>, bool>>{
             {{"eeprom", "write-byte", "81FF", "00"}, true},
             {{"eeprom", "write-byte", "8200", "00"}, false},
             {{"eeprom", "write-byte", "7FFF", "00"}, false},
             {{"read", "1000000000000001D"}, false},
             {{"read", "0x1000000000000001D"}, false},
             {{"eeprom", "write-byte", "10000000000008000", "00"}, false},
             // Options only where they mean something.
             {{"eeprom", "read", "8100", "--erase"}, false},
             {{"read", "00", "--watch"}, false},
             {{"status", "--count", "3"}, false},
             {{"status", "--watch", "--interval", "0"}, false},
             {{"status", "--watch", "--count", "x"}, false},
             {{"status", "--watch", "--csv", "--json"}, false},
             {{"snapshot"}, false},
             {{"snapshot", "apply", "a", "--registers-only", "--eeprom-only"}, false},
             {{"snapshot", "save", "a", "--registers-only"}, false},
             {{"snapshot", "diff", "-", "-"}, false},
             // 'run' takes --csv with a file name; its own options go with it only.
             {{"--simulate", "run", "s.kes", "--csv", "log.csv", "--junit=r.xml"}, true},
             {{"--slave", "A0", "run", "s.kes", "--dry-run", "--from", "b.snap"}, true},
             {{"status", "--watch", "--csv"}, true},
             {{"run", "s.kes", "--from", "b.snap"}, false},
             {{"read", "1D", "--junit", "r.xml"}, false},
             {{"run", "s.kes", "--json"}, false},
             {{"run"}, false},
             // One table: an option's value is known wherever it stands, so
             // run's --csv FILE goes before the command too.
             {{"--csv", "log.csv", "run", "s.kes"}, true},
             {{"--csv", "status", "--watch"}, true},
             {{"--junit", "r.xml", "--simulate", "run", "s.kes"}, true},
             {{"--csv", "run", "s.kes"}, false},
             {{"production", "run", "--golden", "g.snap", "--serial", "S-1", "--simulate"}, true},
             {{"--serial", "S-1", "production", "run", "--golden=g.snap"}, true},
             {{"production", "report", "--simulate"}, false},
             {{"production", "report", "--serial", "S-1"}, false},
             {{"production", "run", "--serial", "A", "--serial", "B"}, false},
             {{"serve", "--listen", "127.0.0.1:0", "--allow", "10.0.0.0/8", "--allow", "::1",
               "--read-only", "--no-backup", "--simulate"},
              true},
             {{"serve", "--json"}, false},
             {{"serve", "--listen", "a", "--listen", "b"}, false},
             {{"read", "1D", "--read-only"}, false},
             {{"--listen", "127.0.0.1:0"}, false}})
        EXPECT_EQ(parseCommandLine(line).mode, ok ? Mode::Batch : Mode::Error)
            << ::testing::PrintToString(line);
    EXPECT_EQ(parseCommandLine({"eeprom", "dump", "--json", "--out", "x"}).mode, Mode::Error);
    EXPECT_EQ(parseCommandLine({"eeprom", "backup", "-", "--json"}).mode, Mode::Error)
        << "JSON and the image would share standard output";

    // After "--" every word is an argument, even one that looks like an option.
    inv = parseCommandLine({"eeprom", "restore", "--verify", "--", "--odd.dat"});
    ASSERT_EQ(inv.mode, Mode::Batch) << inv.error;
    EXPECT_EQ(inv.file, "--odd.dat");
    EXPECT_TRUE(inv.verify);

    // A message quotes what was typed, on one line whatever it holds.
    inv = parseCommandLine({"rea\nd", "1D"});
    EXPECT_EQ(inv.error, "unknown command 'rea\\nd'");
    inv = parseCommandLine({"read", std::string("1\x7f") + std::string(50, 'D')});
    EXPECT_EQ(inv.error.find('\x7f'), std::string::npos) << inv.error;
    EXPECT_NE(inv.error.find("1\\x7FDDD"), std::string::npos) << inv.error;
    EXPECT_LT(inv.error.size(), 100u);

    EXPECT_EQ(parseCommandLine({"eeprom", "backup", ""}).mode, Mode::Error);

    inv = parseCommandLine({"eeprom"});
    EXPECT_EQ(inv.mode, Mode::Error);
    EXPECT_NE(inv.error.find("write-byte"), std::string::npos) << inv.error;
    inv = parseCommandLine({"write", "0E"});
    EXPECT_EQ(inv.hint, "Usage: kestrel-eval write REG DATA");

    inv = parseCommandLine({"--csv", "log.csv", "--simulate", "run", "s.kes", "--junit", "j.xml"});
    EXPECT_EQ(inv.csvFile, "log.csv");
    EXPECT_FALSE(inv.csv);
    inv = parseCommandLine({"--boards", "3", "production", "run", "--allow-revision"});
    ASSERT_EQ(inv.command, Command::ProductionRun) << inv.error;
    EXPECT_EQ(inv.given, (std::map<std::string, std::string>{{"--boards", "3"},
                                                             {"--allow-revision", ""}}));
    inv = parseCommandLine({"--since", "2026-01-01", "production", "run"});
    EXPECT_EQ(inv.error, "--since goes with 'production report'");
    // What the table says of an option it knows, in each place.
    EXPECT_EQ(parseCommandLine({"read", "1D", "--verify"}).error,
              "--verify goes with 'eeprom write', 'eeprom restore' and 'snapshot apply'");
    EXPECT_EQ(parseCommandLine({"read", "1D", "--scl", "A"}).error,
              "--scl and --sda go with 'decode'");
    EXPECT_EQ(parseCommandLine({"run", "s.kes", "--json"}).error, "--json does not go with 'run'");

    // The help, the man page's options and the bash completion come from the table.
    const std::string help = helpText();
    const std::string completion = bashCompletion();
    for (const char* option : {"--listen=ADDR:PORT", "--golden=FILE", "--dry-run", "--sim-state=FILE"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    EXPECT_NE(helpText("production").find("Usage: kestrel-eval production report"),
              std::string::npos);
    EXPECT_NE(manOptions().find(".BI \\-\\-i2c \" N\""), std::string::npos) << manOptions();
    EXPECT_NE(completion.find("\"serve \") options=\"--simulate"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::batch
