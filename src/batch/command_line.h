#pragma once

#include <map>
#include <string>
#include <vector>

#include "connection/connection.h"

// The program's one command-line parser, for the windows and batch mode
// alike. Qt-free, so that it runs (and is tested) without a display: a
// command line it refuses never gets as far as starting the windows.
//
//   kestrel-eval [OPTION]... [COMMAND [ARG]...]
//
// Options may stand anywhere before "--" and take their value as the next
// word or after "=" (--trace=run.vcd). The commands and their options are
// one table (command_line.cpp): each command with its arguments and the
// options it takes, each option with whether it takes a value and what it
// sets; the help, the man page's option list and the bash completion are
// written from it. A FILE of "-" is standard input or
// standard output. Every number of a command is checked here, against the
// range of what it names, so a bad one is refused before the bus is touched.
namespace kestrel::batch {

// What the command line asks for.
enum class Mode {
    Gui,      // no command: open the windows
    Batch,    // run one command and exit
    Help,     // print the help text, exit 0
    Version,  // print the version, exit 0
    Error,    // a usage error: one line and a hint, exit 1
};

enum class Command {
    None,
    Read,
    Write,
    Dump,
    Status,
    Switch,
    Detect,
    BlockRead,
    EepromRead,
    EepromDump,
    EepromWrite,
    EepromWriteByte,
    EepromErase,
    EepromZero,
    EepromBackup,
    EepromRestore,
    SnapshotSave,
    SnapshotDiff,
    SnapshotApply,
    Decode,
    Run,               // a check script (the script runner takes it from here)
    ProductionRun,     // the production station (production_command.h)
    ProductionReport,  // its records
    Serve,             // the SCPI server (serve_command.h)
};

// Options that hold for the whole run.
struct Options {
    // How the chip is reached: --simulate, --sim-state, --trace, --i2c
    // (an adapter path, checked); the real hardware when none is given.
    ConnectionOptions connection = ConnectionOptions::realHardware();
    unsigned slave = 0xAE;  // the 8-bit address byte of the KESTREL
    bool json = false;
    bool noBackup = false;
};

struct Invocation {
    Mode mode = Mode::Gui;
    Options options;
    Command command = Command::None;
    std::string name;               // "read", "eeprom write", ...
    std::vector<unsigned> numbers;  // the command's numbers in order, checked
    std::string file;               // the command's FILE ("-": standard input or output)
    std::string secondFile;         // snapshot diff: B, empty for the board
    std::string out;                // --out FILE ("-": standard output)
    bool erase = false;
    bool verify = false;
    // snapshot apply: only the registers, or only the EEPROM.
    bool registersOnly = false;
    bool eepromOnly = false;
    // status --watch: a pass every `interval` seconds, `count` passes (0:
    // until interrupted), as text lines or CSV (--csv) or JSON lines (--json).
    bool watch = false;
    double interval = 1.0;
    unsigned long count = 0;
    bool csv = false;
    // decode: the capture's channel names for SCL and SDA (empty: guessed).
    std::string scl;
    std::string sda;
    // run SCRIPT: reports, and a dry run on a simulated copy of the board
    // (from the snapshot `from`, or one read from the board).
    std::string junit;
    std::string csvFile;
    bool dryRun = false;
    std::string from;
    // Options a command reads by name (production run and report): each
    // given option's value ("" for a flag).
    std::map<std::string, std::string> given;
    // serve: where to listen (ADDR:PORT), the peers taken, read-only, and
    // the folder file names from the network may name.
    std::string listen;
    std::vector<std::string> allow;
    bool readOnly = false;
    std::string files;
    std::string error;  // Mode::Error: what is wrong, in one line
    std::string hint;   // Mode::Error: the command's synopsis, or where the help is
};

// `args` without the program name.
Invocation parseCommandLine(const std::vector<std::string>& args);

// Whether a command changes EEPROM bytes (and so is preceded by a backup).
bool changesEeprom(Command command);
bool changesEeprom(const Invocation& inv);

// The help text (fits 80 columns) and the version line. With a command's
// words ("production", "eeprom write"), the usage and options of the
// commands they start.
std::string helpText();
std::string helpText(const std::string& command);
std::string versionText();

// Written from the same table as the parser: the bash completion script,
// and the general options as the man page's OPTIONS section (roff).
std::string bashCompletion();
std::string manOptions();

}  // namespace kestrel::batch
