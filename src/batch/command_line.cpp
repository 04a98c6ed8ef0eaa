#include "batch/command_line.h"

#include <algorithm>
#include <initializer_list>

#include "batch/strict_number.h"
#include "bus/decimal.h"
#include "bus/i2c_adapter.h"
#include "chip/kestrel_map.h"
#include "device/text_rules.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

namespace kestrel::batch {

namespace {

constexpr unsigned kEepromEnd = chip::kEepromEnd;
constexpr const char* kHelpHint = "Try 'kestrel-eval --help' for more information.";

// One argument of a command: a number of some kind, or a file.
struct Argument {
    enum Type { Number, File } type;
    NumberKind kind;
    bool optional;
};

constexpr Argument number(NumberKind kind, bool optional = false) {
    return {Argument::Number, kind, optional};
}
constexpr Argument kFileArgument{Argument::File, NumberKind::Data, false};
constexpr Argument kOptionalFile{Argument::File, NumberKind::Data, true};

enum Flag : unsigned {
    kOut = 1,
    kErase = 2,
    kVerify = 4,
    kWatch = 8,
    kOnly = 16,
    kChannels = 32,
    kRun = 64
};

struct CommandEntry {
    Command command;
    const char* name;
    std::vector<Argument> arguments;
    unsigned flags;
    const char* synopsis;  // after "kestrel-eval "
};

const std::vector<CommandEntry>& commandTable() {
    using K = NumberKind;
    static const std::vector<CommandEntry> table = {
        {Command::Read, "read", {number(K::Register)}, 0, "read REG"},
        {Command::Write, "write", {number(K::Register), number(K::Data)}, 0, "write REG DATA"},
        {Command::Dump, "dump", {}, 0, "dump"},
        {Command::Status,
         "status",
         {},
         kWatch,
         "status [--watch [--interval S] [--count N] [--csv]]"},
        {Command::Switch,
         "switch",
         {number(K::AddressByte), number(K::Data)},
         0,
         "switch ADDR DATA"},
        {Command::Detect, "detect", {}, 0, "detect"},
        {Command::BlockRead, "block-read", {number(K::BlockBase)}, 0, "block-read BASE"},
        {Command::EepromRead,
         "eeprom read",
         {number(K::EepromAddress), number(K::ByteCount, true)},
         kOut,
         "eeprom read BASE [COUNT] [--out FILE]"},
        {Command::EepromDump, "eeprom dump", {}, 0, "eeprom dump"},
        {Command::EepromWrite,
         "eeprom write",
         {number(K::BlockBase), kFileArgument},
         kErase | kVerify,
         "eeprom write BASE FILE [--erase] [--verify]"},
        {Command::EepromWriteByte,
         "eeprom write-byte",
         {number(K::EepromAddress), number(K::Data)},
         0,
         "eeprom write-byte ADDR DATA"},
        {Command::EepromErase, "eeprom erase", {number(K::PageBase)}, 0, "eeprom erase PAGE"},
        {Command::EepromZero, "eeprom zero", {number(K::PageBase)}, 0, "eeprom zero PAGE"},
        {Command::EepromBackup, "eeprom backup", {kFileArgument}, 0, "eeprom backup FILE"},
        {Command::EepromRestore,
         "eeprom restore",
         {kFileArgument},
         kVerify,
         "eeprom restore FILE [--verify]"},
        {Command::SnapshotSave, "snapshot save", {kFileArgument}, 0, "snapshot save FILE"},
        {Command::SnapshotDiff,
         "snapshot diff",
         {kFileArgument, kOptionalFile},
         0,
         "snapshot diff A [B]"},
        {Command::SnapshotApply,
         "snapshot apply",
         {kFileArgument},
         kVerify | kOnly,
         "snapshot apply FILE [--verify] [--registers-only|--eeprom-only]"},
        {Command::Decode,
         "decode",
         {kFileArgument},
         kChannels,
         "decode FILE [--scl NAME --sda NAME]"},
        {Command::Run,
         "run",
         {kFileArgument},
         kRun,
         "run SCRIPT [--junit FILE] [--csv FILE] [--dry-run [--from SNAPSHOT]]"},
    };
    return table;
}

enum class OptionId {
    Simulate,
    SimState,
    Trace,
    Slave,
    Json,
    NoBackup,
    Out,
    Erase,
    Verify,
    Watch,
    Interval,
    Count,
    Csv,
    I2c,
    RegistersOnly,
    EepromOnly,
    Scl,
    Sda,
    Junit,
    DryRun,
    From
};

struct OptionEntry {
    const char* name;
    OptionId id;
    bool takesValue;
};

constexpr OptionEntry kOptions[] = {
    {"--simulate", OptionId::Simulate, false},
    {"--sim-state", OptionId::SimState, true},
    {"--trace", OptionId::Trace, true},
    {"--i2c", OptionId::I2c, true},
    {"--slave", OptionId::Slave, true},
    {"--json", OptionId::Json, false},
    {"--no-backup", OptionId::NoBackup, false},
    {"--out", OptionId::Out, true},
    {"--erase", OptionId::Erase, false},
    {"--verify", OptionId::Verify, false},
    {"--watch", OptionId::Watch, false},
    {"--interval", OptionId::Interval, true},
    {"--count", OptionId::Count, true},
    {"--csv", OptionId::Csv, false},
    {"--registers-only", OptionId::RegistersOnly, false},
    {"--eeprom-only", OptionId::EepromOnly, false},
    {"--scl", OptionId::Scl, true},
    {"--sda", OptionId::Sda, true},
    {"--junit", OptionId::Junit, true},
    {"--dry-run", OptionId::DryRun, false},
    {"--from", OptionId::From, true},
};

// Whether the command is `run`, whose --csv names a file: the first word
// that is neither an option nor an option's value.
bool isRunCommand(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") return i + 1 < args.size() && args[i + 1] == "run";
        if (a == "-" || a.empty() || a[0] != '-') return a == "run";
        if (a.find('=') != std::string::npos) continue;
        for (const OptionEntry& o : kOptions)
            if (a == o.name && o.takesValue && i + 1 < args.size() &&
                args[i + 1].rfind("--", 0) != 0)
                ++i;
    }
    return false;
}

// A decimal number of seconds, 0.01 to 3600: "0.5", "2".
bool readSeconds(const std::string& text, double& seconds) {
    if (text.empty() || text.size() > 12) return false;
    bool point = false, digit = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digit = true;
        } else {
            return false;
        }
    }
    if (!digit) return false;
    seconds = decimal::parse(text).value_or(0);
    return seconds >= 0.01 && seconds <= 3600;
}

// A decimal count, 1 to 10000000.
bool readCount(const std::string& text, unsigned long& count) {
    if (text.empty() || text.size() > 8) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    count = std::stoul(text);
    return count >= 1 && count <= 10000000;
}

Invocation failure(Invocation inv, std::string error, std::string hint = kHelpHint) {
    inv.mode = Mode::Error;
    inv.error = std::move(error);
    inv.hint = std::move(hint);
    return inv;
}

std::string usageOf(const CommandEntry& entry) {
    return std::string("Usage: kestrel-eval ") + entry.synopsis;
}

const CommandEntry* findCommand(const std::string& name) {
    for (const CommandEntry& entry : commandTable())
        if (name == entry.name) return &entry;
    return nullptr;
}

}  // namespace

bool changesEeprom(Command command) {
    switch (command) {
        case Command::EepromWrite:
        case Command::EepromWriteByte:
        case Command::EepromErase:
        case Command::EepromZero:
        case Command::EepromRestore:
        case Command::SnapshotApply:
            return true;
        default:
            return false;
    }
}

bool changesEeprom(const Invocation& inv) {
    return changesEeprom(inv.command) && !inv.registersOnly;
}

Invocation parseCommandLine(const std::vector<std::string>& args) {
    Invocation inv;
    std::vector<std::string> words;
    bool slaveGiven = false;
    bool intervalGiven = false;
    bool optionsEnded = false;
    const bool runCommand = isRunCommand(args);
    // A script that asked for JSON gets its usage error as JSON too.
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--json") inv.options.json = true;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
            words.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "-h" || a == "--help" || a == "-?") {
            inv.mode = Mode::Help;
            return inv;
        }
        if (a == "-V" || a == "-v" || a == "--version") {
            inv.mode = Mode::Version;
            return inv;
        }
        const std::size_t equals = a.find('=');
        const std::string name = a.substr(0, equals);
        const auto option = std::find_if(
            std::begin(kOptions), std::end(kOptions),
            [&](const OptionEntry& o) { return a.rfind("--", 0) == 0 && name == o.name; });
        if (option == std::end(kOptions))
            return failure(inv, "unknown option '" + printable(a) + "'");
        std::string value;
        const bool takesValue = option->takesValue || (option->id == OptionId::Csv && runCommand);
        if (!takesValue) {
            if (equals != std::string::npos)
                return failure(
                    inv, "unknown option '" + printable(a) + "' (" + name + " takes no value)");
        } else if (equals != std::string::npos) {
            value = a.substr(equals + 1);
        } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
            value = args[++i];
        }
        if (takesValue && value.empty()) return failure(inv, "option '" + name + "' needs a value");
        switch (option->id) {
            case OptionId::Simulate:
                inv.options.connection.simulate = true;
                break;
            case OptionId::SimState:
                inv.options.connection.simStatePath = value;
                break;
            case OptionId::Trace:
                inv.options.connection.tracePath = value;
                break;
            case OptionId::I2c:
                inv.options.connection.i2cAdapter = i2cAdapterPath(value);
                if (inv.options.connection.i2cAdapter.empty())
                    return failure(inv, "--i2c '" + printable(value) +
                                            "': give an adapter number or /dev/i2c-N "
                                            "(i2cdetect -l lists them)");
                break;
            case OptionId::Slave: {
                std::string error;
                const auto slave = readNumber(value, NumberKind::AddressByte, error);
                if (!slave) return failure(inv, "--slave: " + error);
                inv.options.slave = *slave;
                slaveGiven = true;
                break;
            }
            case OptionId::Json:
                inv.options.json = true;
                break;
            case OptionId::NoBackup:
                inv.options.noBackup = true;
                break;
            case OptionId::Out:
                inv.out = value;
                break;
            case OptionId::Erase:
                inv.erase = true;
                break;
            case OptionId::Verify:
                inv.verify = true;
                break;
            case OptionId::Watch:
                inv.watch = true;
                break;
            case OptionId::Interval:
                if (!readSeconds(value, inv.interval))
                    return failure(inv, "--interval '" + printable(value) +
                                            "': give seconds from 0.01 to 3600, e.g. 0.5");
                intervalGiven = true;
                break;
            case OptionId::Count:
                if (!readCount(value, inv.count))
                    return failure(inv, "--count '" + printable(value) +
                                            "': give a decimal number of passes, 1 or more");
                break;
            case OptionId::Csv:
                if (runCommand)
                    inv.csvFile = value;
                else
                    inv.csv = true;
                break;
            case OptionId::Junit:
                inv.junit = value;
                break;
            case OptionId::DryRun:
                inv.dryRun = true;
                break;
            case OptionId::From:
                inv.from = value;
                break;
            case OptionId::RegistersOnly:
                inv.registersOnly = true;
                break;
            case OptionId::EepromOnly:
                inv.eepromOnly = true;
                break;
            case OptionId::Scl:
                inv.scl = value;
                break;
            case OptionId::Sda:
                inv.sda = value;
                break;
        }
    }

    for (const char* fileOption : {"--sim-state", "--trace"}) {
        const std::string& value = std::string(fileOption) == "--sim-state"
                                       ? inv.options.connection.simStatePath
                                       : inv.options.connection.tracePath;
        if (value == "-")
            return failure(inv,
                           std::string(fileOption) + " needs a file name; '-' is not one here");
    }
    if (!inv.options.connection.simStatePath.empty() && !inv.options.connection.simulate)
        return failure(inv, "--sim-state needs --simulate");

    if (words.empty()) {
        const char* batchOnly = inv.options.json       ? "--json"
                                : inv.options.noBackup ? "--no-backup"
                                : slaveGiven           ? "--slave"
                                : !inv.out.empty()     ? "--out"
                                : inv.erase            ? "--erase"
                                : inv.verify           ? "--verify"
                                : inv.watch            ? "--watch"
                                : inv.registersOnly    ? "--registers-only"
                                : inv.eepromOnly       ? "--eeprom-only"
                                : !inv.scl.empty()     ? "--scl"
                                : !inv.sda.empty()     ? "--sda"
                                : !inv.junit.empty()   ? "--junit"
                                : inv.dryRun           ? "--dry-run"
                                : !inv.from.empty()    ? "--from"
                                                       : nullptr;
        if (batchOnly != nullptr)
            return failure(inv, std::string(batchOnly) + " goes with a command");
        inv.mode = Mode::Gui;
        return inv;
    }

    std::string name = words[0];
    std::size_t nameWords = 1;
    if (name == "eeprom") {
        if (words.size() < 2)
            return failure(
                inv,
                "'eeprom' needs one of: read, dump, write, write-byte, erase, zero, backup, "
                "restore");
        name += " " + words[1];
        nameWords = 2;
    } else if (name == "snapshot") {
        if (words.size() < 2) return failure(inv, "'snapshot' needs one of: save, diff, apply");
        name += " " + words[1];
        nameWords = 2;
    }
    const CommandEntry* entry = findCommand(name);
    if (entry == nullptr) return failure(inv, "unknown command '" + printable(name) + "'");
    const std::string usage = usageOf(*entry);

    const std::size_t given = words.size() - nameWords;
    const std::size_t most = entry->arguments.size();
    const std::size_t least =
        static_cast<std::size_t>(std::count_if(entry->arguments.begin(), entry->arguments.end(),
                                               [](const Argument& a) { return !a.optional; }));
    if (given < least || given > most) {
        std::string count = least == most ? std::to_string(least)
                                          : std::to_string(least) + " or " + std::to_string(most);
        return failure(inv,
                       "'" + name + "' takes " + count + (most == 1 ? " argument" : " arguments") +
                           ", not " + std::to_string(given),
                       usage);
    }
    if (!inv.out.empty() && (entry->flags & kOut) == 0)
        return failure(inv, "--out goes with 'eeprom read'", usage);
    if (inv.erase && (entry->flags & kErase) == 0)
        return failure(inv, "--erase goes with 'eeprom write'", usage);
    if (inv.verify && (entry->flags & kVerify) == 0)
        return failure(
            inv, "--verify goes with 'eeprom write', 'eeprom restore' and 'snapshot apply'", usage);
    if ((inv.registersOnly || inv.eepromOnly) && (entry->flags & kOnly) == 0)
        return failure(inv, "--registers-only and --eeprom-only go with 'snapshot apply'", usage);
    if (inv.registersOnly && inv.eepromOnly)
        return failure(inv, "--registers-only and --eeprom-only: choose one", usage);
    if ((!inv.scl.empty() || !inv.sda.empty()) && (entry->flags & kChannels) == 0)
        return failure(inv, "--scl and --sda go with 'decode'", usage);
    if (entry->command == Command::Decode && words.size() > nameWords && words[nameWords] == "-")
        return failure(inv, "decode needs a capture file's name; '-' is not one here", usage);
    if (inv.watch && (entry->flags & kWatch) == 0)
        return failure(inv, "--watch goes with 'status'", usage);
    if (!inv.watch && (intervalGiven || inv.count != 0 || inv.csv))
        return failure(inv, "--interval, --count and --csv go with 'status --watch'", usage);
    if (inv.csv && inv.options.json) return failure(inv, "--csv and --json: choose one", usage);
    if ((!inv.junit.empty() || inv.dryRun || !inv.from.empty()) && (entry->flags & kRun) == 0)
        return failure(inv, "--junit, --dry-run and --from go with 'run'", usage);
    if (!inv.from.empty() && !inv.dryRun) return failure(inv, "--from goes with --dry-run", usage);
    if (entry->command == Command::Run && inv.options.json)
        return failure(inv, "'run' reports in its own words; --json does not go with it", usage);

    for (std::size_t k = 0; k < given; ++k) {
        const Argument& argument = entry->arguments[k];
        const std::string& word = words[nameWords + k];
        if (argument.type == Argument::File) {
            if (word.empty())
                return failure(inv, "FILE is an empty word; name a file or '-'", usage);
            if (inv.file.empty()) {
                inv.file = word;
            } else if (word == "-" && inv.file == "-") {
                return failure(inv, "only one FILE can be standard input", usage);
            } else {
                inv.secondFile = word;
            }
            continue;
        }
        std::string error;
        const auto value = readNumber(word, argument.kind, error);
        if (!value) return failure(inv, error, usage);
        inv.numbers.push_back(*value);
    }

    if (entry->command == Command::EepromRead) {
        if (inv.numbers.size() < 2) inv.numbers.push_back(chip::kEepromPageSize);
        if (inv.numbers[0] + inv.numbers[1] > kEepromEnd)
            return failure(inv,
                           "EEPROM address " + printable(words[nameWords]) + ": " +
                               text::suffixedHexText(inv.numbers[1]) +
                               " bytes from there run past 81FFh",
                           usage);
    }
    const bool fileToStdout =
        inv.out == "-" ||
        ((entry->command == Command::EepromBackup || entry->command == Command::SnapshotSave) &&
         inv.file == "-");
    if (inv.options.json && fileToStdout)
        return failure(inv, "--json and a file '-' would both write to standard output", usage);

    inv.mode = Mode::Batch;
    inv.command = entry->command;
    inv.name = entry->name;
    return inv;
}

std::string versionText() {
    return "kestrel-eval " KESTREL_VERSION "\n";
}

std::string helpText() {
    return R"(Usage: kestrel-eval [OPTION]... [COMMAND [ARG]...]
Evaluation tool for the KESTREL power-supply controller on a PC parallel port.
Without a COMMAND the windows open; with one, it runs and the program exits.

Options:
  --simulate          use the simulated board (LPT1 at 378h), not the port
  --sim-state=FILE    keep the simulated board in FILE between runs
  --trace=FILE        record every bus line change as a VCD trace
  --i2c=N             reach the chip through the I2C adapter /dev/i2c-N
                      (i2c-dev) instead of the parallel port; with
                      --simulate, the simulated board behind an adapter
  --slave=ADDR        KESTREL address byte, 8-bit (default AE: 7-bit 57h)
  --json              print the result as one JSON object
  --no-backup         do not save the EEPROM before changing it
  -h, --help          show this help and exit
  -V, --version       show the version and exit

Commands (numbers in hex, written 1D, 1Dh or 0x1D):
  read REG                      print RAM register REG (00-FF)
  write REG DATA                write RAM register REG
  dump                          registers 00-1D, then latched status 2A-2C
  status                        status 00-02 and latched status 2A-2C
  switch ADDR DATA              set the PLOVER at address byte ADDR (90, 98)
  detect                        grid of the address bytes that acknowledge
  block-read BASE               one SMBus block read of 32 bytes (8000-81E0)
  eeprom read BASE [COUNT]      COUNT bytes (default 20) as image lines
  eeprom dump                   all 512 bytes, 16 to a row, XX if unread
  eeprom write BASE FILE        program 32 bytes from an image file
  eeprom write-byte ADDR DATA   program one byte (8000-81FF)
  eeprom erase PAGE             erase one page of 32 bytes (8000, 8020 .. 81E0)
  eeprom zero PAGE              write 00 into the 32 bytes of one page
  eeprom backup FILE            save all 512 bytes as image lines
  eeprom restore FILE           erase every page, write a backup's 512 bytes
  snapshot save FILE            save registers, status and EEPROM in one file
  snapshot diff A [B]           compare two snapshots, or A with the board
  snapshot apply FILE           write what differs from a snapshot to the board
  decode FILE                   the transactions of a logic analyser's capture
                                (VCD, sigrok .sr, Saleae CSV) as CSV rows
  run SCRIPT                    run a check script: the commands above one per
                                line, with expect, poll, wait, repeat, for,
                                log and on-error (see kestrel-eval(1))
  production run --golden FILE --serial TEXT
                                program a board from a snapshot, record it
  production report             records: counts, yield, causes, history
Command options:
  --out=FILE                    eeprom read: save an image file instead
  --erase                       eeprom write: erase the block's pages first
  --verify                      eeprom write, restore, snapshot apply: read
                                back and compare
  --registers-only              snapshot apply: only the registers
  --eeprom-only                 snapshot apply: only the EEPROM
  --watch                       status: a line per pass, until interrupted
  --interval=S --count=N        status --watch: seconds between passes (1),
                                stop after N passes
  --csv                         status --watch: CSV lines instead of text
  --scl=NAME --sda=NAME         decode: the capture's SCL and SDA channels
                                (default: told by their names)
  --junit=FILE --csv=FILE       run: write a JUnit XML report, a CSV of the
                                script's log lines
  --dry-run [--from=SNAPSHOT]   run: on a simulated copy of the board (read
                                from it, or from SNAPSHOT), printing every
                                transaction; nothing is written to the board
Production options:
  --golden=FILE                 run: the snapshot every board is programmed to
  --serial=TEXT                 run: the (first) board's serial
  --serial-at=ADDR              run: write the serial and a 00 at ADDR
  --station=NAME                run: the station's name (default: host name)
  --database=URL                a file, sqlite:FILE or postgresql://host/db
                                (default $XDG_DATA_HOME/kestrel-eval/
                                production.sqlite)
  --erase-limit=N               run: erases per page at most (10000)
  --allow-revision              run: a chip of another revision too
  --boards=N [--step=N]         run: N boards, the serial counted on by N
                                (1); waits for Enter (or, with --serial-at,
                                a changed board) before each
  --same-board                  run: --boards on one board, without waiting
  --verify-all                  run: read everything back, not only what
                                was written
  --backups=DIR                 run: where each board's EEPROM is saved
  --since=DATE                  report: the attempts from DATE (2026-12-07)
  --csv=FILE                    report: one CSV row per attempt

FILE '-' is standard input or output. Before write, write-byte, erase, zero,
restore and snapshot apply the whole EEPROM is saved to
$XDG_STATE_HOME/kestrel-eval/backups (default
~/.local/state/kestrel-eval/backups) unless --no-backup is given.

Exit status: 0 success, 1 usage error or unusable file, 2 missing acknowledge,
PEC mismatch or failed verify (named on standard error), 3 no usable port,
4 snapshot diff found differences, 5 an expectation of a script failed,
6 production run refused a board, 130 a script run stopped by Ctrl-C or
SIGTERM.
See kestrel-eval(1) for examples.
)";
}

}  // namespace kestrel::batch
