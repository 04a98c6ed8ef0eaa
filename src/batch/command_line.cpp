#include "batch/command_line.h"

#include <algorithm>
#include <initializer_list>
#include <sstream>
#include <type_traits>

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

// ---------------------------------------------------------------------------
// The options. Each row: its name, the name of its value (none for a flag),
// what it sets, and its help. Several rows may share a name when commands
// read it differently (--csv: a flag of status, a FILE of run).
//
// A new option is an Opt name, a row in optionTable() and that Opt in the
// list of each command of commandTable() it goes with (and in its synopsis);
// the parser, --help, the man page and the completion follow. An option a
// command reads by name (production's) sets `given`, no field of its own.

enum class Opt {
    Simulate,
    SimState,
    Trace,
    I2c,
    Slave,
    Json,
    NoBackup,
    Out,
    Erase,
    Verify,
    RegistersOnly,
    EepromOnly,
    Watch,
    Interval,
    Count,
    Csv,
    Scl,
    Sda,
    Junit,
    CsvFile,
    DryRun,
    From,
    Golden,
    Serial,
    SerialAt,
    Station,
    Database,
    EraseLimit,
    AllowRevision,
    Boards,
    Step,
    Backups,
    SameBoard,
    VerifyAll,
    Since,
    ReportCsv,
    Listen,
    Allow,
    ReadOnly,
    Files,
};

struct OptionRow;
// Takes the option's value ("" for a flag) into the invocation; empty, or
// what is wrong in one line.
using Setter = std::string (*)(Invocation&, const OptionRow&, const std::string& value);

struct OptionRow {
    Opt id;
    const char* name;
    const char* value;  // "FILE"; nullptr for a flag
    Setter set;
    const char* help;               // for --help, after the commands it goes with
    const char* group = nullptr;    // named together in "... go with": "--scl and --sda"
    const char* manText = nullptr;  // the man page's, for the general options
};

// What a row sets, for the rows that only store.
template <auto Member>
std::string store(Invocation& inv, const OptionRow&, const std::string& value) {
    if constexpr (std::is_same_v<std::remove_reference_t<decltype(inv.*Member)>, bool>)
        inv.*Member = true;
    else
        inv.*Member = value;
    return {};
}

// Production options are read by name; each may be given once.
std::string given(Invocation& inv, const OptionRow& o, const std::string& value) {
    if (inv.given.count(o.name) != 0) return std::string(o.name) + " given twice";
    inv.given[o.name] = value;
    return {};
}

std::string setI2c(Invocation& inv, const OptionRow&, const std::string& value) {
    inv.options.connection.i2cAdapter = i2cAdapterPath(value);
    if (inv.options.connection.i2cAdapter.empty())
        return "--i2c '" + printable(value) +
               "': give an adapter number or /dev/i2c-N (i2cdetect -l lists them)";
    return {};
}

std::string setSlave(Invocation& inv, const OptionRow&, const std::string& value) {
    std::string error;
    const auto slave = readNumber(value, NumberKind::AddressByte, error);
    if (!slave) return "--slave: " + error;
    inv.options.slave = *slave;
    return {};
}

std::string setInterval(Invocation& inv, const OptionRow&, const std::string& value) {
    if (!readSeconds(value, inv.interval))
        return "--interval '" + printable(value) + "': give seconds from 0.01 to 3600, e.g. 0.5";
    return {};
}

std::string setCount(Invocation& inv, const OptionRow&, const std::string& value) {
    if (!readCount(value, inv.count))
        return "--count '" + printable(value) + "': give a decimal number of passes, 1 or more";
    return {};
}

std::string addAllow(Invocation& inv, const OptionRow&, const std::string& value) {
    inv.allow.push_back(value);
    return {};
}

std::string setOnce(Invocation& inv, const OptionRow& o, const std::string& value) {
    std::string& field = o.id == Opt::Listen ? inv.listen : inv.files;
    if (!field.empty()) return std::string(o.name) + " given twice";
    field = value;
    return {};
}

std::string setSimulate(Invocation& inv, const OptionRow&, const std::string&) {
    inv.options.connection.simulate = true;
    return {};
}
std::string setSimState(Invocation& inv, const OptionRow&, const std::string& value) {
    inv.options.connection.simStatePath = value;
    return {};
}
std::string setTrace(Invocation& inv, const OptionRow&, const std::string& value) {
    inv.options.connection.tracePath = value;
    return {};
}
std::string setJson(Invocation& inv, const OptionRow&, const std::string&) {
    inv.options.json = true;
    return {};
}
std::string setNoBackup(Invocation& inv, const OptionRow&, const std::string&) {
    inv.options.noBackup = true;
    return {};
}

const std::vector<OptionRow>& optionTable() {
    // clang-format off
    static const std::vector<OptionRow> table = {
        {Opt::Simulate, "--simulate", nullptr, setSimulate,
         "use the simulated board (LPT1 at 378h), not the port", nullptr,
         "Use the simulated evaluation board (LPT1 at 378h) instead of the parallel port."},
        {Opt::SimState, "--sim-state", "FILE", setSimState,
         "keep the simulated board in FILE between runs", nullptr,
         "Keep the simulated board's registers and EEPROM in \\fIFILE\\fR, so that successive "
         "runs see one board."},
        {Opt::Trace, "--trace", "FILE", setTrace, "record every bus line change as a VCD trace",
         nullptr,
         "Record every bus line change as a VCD trace for waveform viewers and protocol "
         "decoders."},
        {Opt::I2c, "--i2c", "N", setI2c,
         "reach the chip through the I2C adapter /dev/i2c-N (i2c-dev) instead of the parallel "
         "port; with --simulate, the simulated board behind an adapter",
         nullptr,
         "Reach the chip through the Linux I2C adapter \\fI/dev/i2c\\-N\\fR (i2c\\-dev) instead "
         "of the parallel port; \\fIN\\fR or the whole path. With \\fB\\-\\-simulate\\fR, the "
         "simulated board behind an adapter. See \\fBI2C ADAPTERS\\fR."},
        {Opt::Slave, "--slave", "ADDR", setSlave,
         "KESTREL address byte, 8-bit (default AE: 7-bit 57h)", nullptr,
         "KESTREL slave address for a command, as the 8-bit address byte (default AE, 7-bit "
         "57). \\fBdetect\\fR lists the address bytes that answer."},
        {Opt::Json, "--json", nullptr, setJson, "print the result as one JSON object", nullptr,
         "Print the command's result as one JSON object on standard output (see \\fBJSON\\fR). "
         "Problems still go to standard error as well."},
        {Opt::NoBackup, "--no-backup", nullptr, setNoBackup,
         "do not save the EEPROM before changing it", nullptr,
         "Do not save the EEPROM before a command changes it (see \\fBBACKUPS\\fR)."},
        {Opt::Out, "--out", "FILE", store<&Invocation::out>, "save an image file instead"},
        {Opt::Erase, "--erase", nullptr, store<&Invocation::erase>,
         "erase the block's pages first"},
        {Opt::Verify, "--verify", nullptr, store<&Invocation::verify>,
         "read back and compare"},
        {Opt::RegistersOnly, "--registers-only", nullptr, store<&Invocation::registersOnly>,
         "only the registers", "--registers-only and --eeprom-only"},
        {Opt::EepromOnly, "--eeprom-only", nullptr, store<&Invocation::eepromOnly>,
         "only the EEPROM", "--registers-only and --eeprom-only"},
        {Opt::Watch, "--watch", nullptr, store<&Invocation::watch>,
         "a line per pass, until interrupted"},
        {Opt::Interval, "--interval", "S", setInterval, "--watch: seconds between passes (1)"},
        {Opt::Count, "--count", "N", setCount, "--watch: stop after N passes"},
        {Opt::Csv, "--csv", nullptr, store<&Invocation::csv>, "--watch: CSV lines instead of text"},
        {Opt::Scl, "--scl", "NAME", store<&Invocation::scl>,
         "the capture's SCL channel (default: told by its name)", "--scl and --sda"},
        {Opt::Sda, "--sda", "NAME", store<&Invocation::sda>, "the capture's SDA channel",
         "--scl and --sda"},
        {Opt::Junit, "--junit", "FILE", store<&Invocation::junit>, "write a JUnit XML report"},
        {Opt::CsvFile, "--csv", "FILE", store<&Invocation::csvFile>,
         "write the script's log lines as CSV"},
        {Opt::DryRun, "--dry-run", nullptr, store<&Invocation::dryRun>,
         "on a simulated copy of the board, printing every transaction; nothing is written to "
         "the board"},
        {Opt::From, "--from", "SNAPSHOT", store<&Invocation::from>,
         "--dry-run: start the copy from SNAPSHOT, not from the board"},
        {Opt::Golden, "--golden", "FILE", given, "the golden snapshot"},
        {Opt::Serial, "--serial", "TEXT", given, "the board's serial"},
        {Opt::SerialAt, "--serial-at", "ADDR", given,
         "write the serial and a 00h at this EEPROM address"},
        {Opt::Station, "--station", "NAME", given, "the station's name (default: the host's)"},
        {Opt::Database, "--database", "URL", given,
         "the records: a file, sqlite:FILE or postgresql://host/db (default "
         "$XDG_DATA_HOME/kestrel-eval/production.sqlite)"},
        {Opt::EraseLimit, "--erase-limit", "N", given, "erases per page (10000)"},
        {Opt::AllowRevision, "--allow-revision", nullptr, given,
         "take a chip revision other than golden's"},
        {Opt::Boards, "--boards", "N", given,
         "N boards, the serial's digits counted on; waits for Enter (or, with --serial-at, a "
         "changed board) before each"},
        {Opt::Step, "--step", "N", given, "--boards: count the serial on by N"},
        {Opt::Backups, "--backups", "DIR", given, "where each board's EEPROM is saved"},
        {Opt::SameBoard, "--same-board", nullptr, given,
         "--boards: the same board N times, without waiting (for tests)"},
        {Opt::VerifyAll, "--verify-all", nullptr, given,
         "read every register and the whole EEPROM back, not only what was written"},
        {Opt::Since, "--since", "DATE", given, "attempts from DATE (2026-12-01) on"},
        {Opt::ReportCsv, "--csv", "FILE", given, "write one row per attempt to a new FILE"},
        {Opt::Listen, "--listen", "ADDR:PORT", setOnce,
         "where to listen (default 127.0.0.1:5025; port 0: a free one)"},
        {Opt::Allow, "--allow", "CIDR", addAllow,
         "the only peers taken (repeatable); needed when --listen is not loopback"},
        {Opt::ReadOnly, "--read-only", nullptr, store<&Invocation::readOnly>,
         "refuse every command that writes"},
        {Opt::Files, "--files", "DIR", setOnce, "scripts from the network may name files in DIR"},
    };
    // clang-format on
    return table;
}

// The row of `id`: rows may stand in any order (new ones anywhere).
const OptionRow& option(Opt id) {
    const auto& table = optionTable();
    return *std::find_if(table.begin(), table.end(),
                         [id](const OptionRow& o) { return o.id == id; });
}

// ---------------------------------------------------------------------------
// The commands: words, arguments, the options each takes, synopsis and help.

using Opts = std::vector<Opt>;
const Opts kConnection = {Opt::Simulate, Opt::SimState, Opt::Trace, Opt::I2c};
const Opts kGeneral = {Opt::Simulate, Opt::SimState, Opt::Trace,   Opt::I2c,
                       Opt::Slave,    Opt::Json,     Opt::NoBackup};

Opts with(Opts base, std::initializer_list<Opt> more) {
    base.insert(base.end(), more);
    return base;
}
Opts without(Opts base, Opt gone) {
    base.erase(std::remove(base.begin(), base.end(), gone), base.end());
    return base;
}

struct CommandEntry {
    Command command;
    const char* name;
    std::vector<Argument> arguments;
    Opts options;
    const char* synopsis;  // after "kestrel-eval "
    const char* help;      // for --help
};

const std::vector<CommandEntry>& commandTable() {
    using K = NumberKind;
    // clang-format off
    static const std::vector<CommandEntry> table = {
        {Command::Read, "read", {number(K::Register)}, kGeneral, "read REG",
         "print RAM register REG (00-FF)"},
        {Command::Write, "write", {number(K::Register), number(K::Data)}, kGeneral,
         "write REG DATA", "write RAM register REG"},
        {Command::Dump, "dump", {}, kGeneral, "dump",
         "registers 00-1D, then latched status 2A-2C"},
        {Command::Status, "status", {},
         with(kGeneral, {Opt::Watch, Opt::Interval, Opt::Count, Opt::Csv}),
         "status [--watch [--interval S] [--count N] [--csv]]",
         "status 00-02 and latched status 2A-2C"},
        {Command::Switch, "switch", {number(K::AddressByte), number(K::Data)}, kGeneral,
         "switch ADDR DATA", "set the PLOVER at address byte ADDR (90, 98)"},
        {Command::Detect, "detect", {}, kGeneral, "detect",
         "grid of the address bytes that acknowledge"},
        {Command::BlockRead, "block-read", {number(K::BlockBase)}, kGeneral, "block-read BASE",
         "one SMBus block read of 32 bytes (8000-81E0)"},
        {Command::EepromRead, "eeprom read",
         {number(K::EepromAddress), number(K::ByteCount, true)}, with(kGeneral, {Opt::Out}),
         "eeprom read BASE [COUNT] [--out FILE]", "COUNT bytes (default 20) as image lines"},
        {Command::EepromDump, "eeprom dump", {}, kGeneral, "eeprom dump",
         "all 512 bytes, 16 to a row, XX if unread"},
        {Command::EepromWrite, "eeprom write", {number(K::BlockBase), kFileArgument},
         with(kGeneral, {Opt::Erase, Opt::Verify}), "eeprom write BASE FILE [--erase] [--verify]",
         "program 32 bytes from an image file"},
        {Command::EepromWriteByte, "eeprom write-byte",
         {number(K::EepromAddress), number(K::Data)}, kGeneral, "eeprom write-byte ADDR DATA",
         "program one byte (8000-81FF)"},
        {Command::EepromErase, "eeprom erase", {number(K::PageBase)}, kGeneral,
         "eeprom erase PAGE", "erase one page of 32 bytes (8000, 8020 .. 81E0)"},
        {Command::EepromZero, "eeprom zero", {number(K::PageBase)}, kGeneral, "eeprom zero PAGE",
         "write 00 into the 32 bytes of one page"},
        {Command::EepromBackup, "eeprom backup", {kFileArgument}, kGeneral, "eeprom backup FILE",
         "save all 512 bytes as image lines"},
        {Command::EepromRestore, "eeprom restore", {kFileArgument}, with(kGeneral, {Opt::Verify}),
         "eeprom restore FILE [--verify]", "erase every page, write a backup's 512 bytes"},
        {Command::SnapshotSave, "snapshot save", {kFileArgument}, kGeneral, "snapshot save FILE",
         "save registers, status and EEPROM in one file"},
        {Command::SnapshotDiff, "snapshot diff", {kFileArgument, kOptionalFile}, kGeneral,
         "snapshot diff A [B]", "compare two snapshots, or A with the board"},
        {Command::SnapshotApply, "snapshot apply", {kFileArgument},
         with(kGeneral, {Opt::Verify, Opt::RegistersOnly, Opt::EepromOnly}),
         "snapshot apply FILE [--verify] [--registers-only|--eeprom-only]",
         "write what differs from a snapshot to the board"},
        {Command::Decode, "decode", {kFileArgument}, with(kGeneral, {Opt::Scl, Opt::Sda}),
         "decode FILE [--scl NAME --sda NAME]",
         "the transactions of a logic analyser's capture (VCD, sigrok .sr, Saleae CSV) as CSV "
         "rows"},
        {Command::Run, "run", {kFileArgument},
         with(without(kGeneral, Opt::Json), {Opt::Junit, Opt::CsvFile, Opt::DryRun, Opt::From}),
         "run SCRIPT [--junit FILE] [--csv FILE] [--dry-run [--from SNAPSHOT]]",
         "run a check script: the commands above one per line, with expect, poll, wait, "
         "repeat, for, log and on-error (see kestrel-eval(1))"},
        {Command::ProductionRun, "production run", {},
         with(with(kConnection, {Opt::Slave}),
              {Opt::Golden, Opt::Serial, Opt::SerialAt, Opt::Station, Opt::Database,
               Opt::EraseLimit, Opt::AllowRevision, Opt::Boards, Opt::Step, Opt::SameBoard,
               Opt::VerifyAll, Opt::Backups}),
         "production run --golden FILE --serial TEXT [--serial-at ADDR] [--station NAME] "
         "[--database URL] [--erase-limit N] [--allow-revision] [--boards N [--step N] "
         "[--same-board]] [--verify-all] [--backups DIR]",
         "program a board from a snapshot, record it"},
        {Command::ProductionReport, "production report", {},
         {Opt::Since, Opt::ReportCsv, Opt::Database},
         "production report [--since DATE] [--csv FILE] [--database URL]",
         "records: counts, yield, causes, history"},
        {Command::Serve, "serve", {},
         with(with(kConnection, {Opt::Slave, Opt::NoBackup}),
              {Opt::Listen, Opt::Allow, Opt::ReadOnly, Opt::Files}),
         "serve [--listen ADDR:PORT] [--allow CIDR]... [--read-only] [--files DIR]",
         "the board as an SCPI instrument over TCP (PyVISA: TCPIP0::HOST::5025::SOCKET) until "
         "SIGTERM or SIGINT"},
    };
    // clang-format on
    return table;
}

// The words that start a command of two ("eeprom write").
bool isGroup(const std::string& word) {
    return word == "eeprom" || word == "snapshot" || word == "production";
}

bool startsCommand(const std::string& word) {
    for (const CommandEntry& entry : commandTable()) {
        const std::string name = entry.name;
        if (name == word || name.rfind(word + " ", 0) == 0) return true;
    }
    return false;
}

const CommandEntry* findCommand(const std::string& name) {
    for (const CommandEntry& entry : commandTable())
        if (name == entry.name) return &entry;
    return nullptr;
}

bool takes(const CommandEntry* entry, Opt id) {
    const Opts& list = entry != nullptr ? entry->options : kConnection;
    return std::find(list.begin(), list.end(), id) != list.end();
}

// "--out goes with 'eeprom read'", "--json does not go with 'run'".
std::string goesWith(const OptionRow& o, const CommandEntry* entry) {
    std::vector<std::string> where;
    for (const CommandEntry& c : commandTable())
        for (Opt id : c.options)
            if (std::string(option(id).name) == o.name &&
                std::find(where.begin(), where.end(), c.name) == where.end())
                where.push_back(c.name);
    if (entry == nullptr) return std::string(o.name) + " goes with a command";
    if (where.size() > 3) return std::string(o.name) + " does not go with '" + entry->name + "'";
    const std::string who = o.group != nullptr ? o.group : o.name;
    std::string list;
    for (std::size_t k = 0; k < where.size(); ++k)
        list += (k == 0 ? "" : k + 1 == where.size() ? " and " : ", ") + ("'" + where[k] + "'");
    return who + (o.group != nullptr ? " go with " : " goes with ") + list;
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

// An option as the command line gave it.
struct Given {
    std::string word;   // as written
    std::string name;   // before any '='
    std::string value;  // its value, when it has one
    bool hasValue = false;
    bool fromEquals = false;
};

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
    // A script that asked for JSON gets its usage error as JSON too.
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--json") inv.options.json = true;
    }

    // The words and the options, in one pass. An option takes the next word
    // as its value when every row of its name takes one; --csv, a flag of
    // status and a FILE of run, takes it unless it starts a command.
    std::vector<std::string> words;
    std::vector<Given> options;
    bool optionsEnded = false;
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
            // The help of the command named, if any.
            for (std::size_t k = i + 1; k < args.size(); ++k)
                if (!args[k].empty() && args[k][0] != '-') words.push_back(args[k]);
            if (!words.empty() && startsCommand(words[0]))
                inv.name = words[0] + (words.size() > 1 && isGroup(words[0]) &&
                                               findCommand(words[0] + " " + words[1]) != nullptr
                                           ? " " + words[1]
                                           : "");
            return inv;
        }
        if (a == "-V" || a == "-v" || a == "--version") {
            inv.mode = Mode::Version;
            return inv;
        }
        Given g;
        g.word = a;
        const std::size_t equals = a.find('=');
        g.name = a.substr(0, equals);
        bool any = false, allValue = true, someValue = false;
        for (const OptionRow& o : optionTable()) {
            if (a.rfind("--", 0) != 0 || g.name != o.name) continue;
            any = true;
            allValue = allValue && o.value != nullptr;
            someValue = someValue || o.value != nullptr;
        }
        if (!any) return failure(inv, "unknown option '" + printable(a) + "'");
        if (equals != std::string::npos) {
            g.value = a.substr(equals + 1);
            g.hasValue = g.fromEquals = true;
            if (!someValue)
                return failure(
                    inv, "unknown option '" + printable(a) + "' (" + g.name + " takes no value)");
        } else if (someValue && i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0 &&
                   (allValue || !startsCommand(args[i + 1]))) {
            g.value = args[++i];
            g.hasValue = true;
        }
        if (allValue && g.value.empty())
            return failure(inv, "option '" + g.name + "' needs a value");
        options.push_back(std::move(g));
    }

    // The command the words name.
    const CommandEntry* entry = nullptr;
    std::size_t nameWords = 0;
    if (!words.empty()) {
        std::string name = words[0];
        nameWords = 1;
        if (isGroup(name)) {
            if (words.size() < 2) {
                std::string subs;
                for (const CommandEntry& c : commandTable()) {
                    const std::string n = c.name;
                    if (n.rfind(name + " ", 0) == 0)
                        subs += (subs.empty() ? "" : ", ") + n.substr(name.size() + 1);
                }
                return failure(inv, "'" + name + "' needs one of: " + subs);
            }
            name += " " + words[1];
            nameWords = 2;
        }
        entry = findCommand(name);
        if (entry == nullptr) return failure(inv, "unknown command '" + printable(name) + "'");
    }
    const std::string usage = entry != nullptr ? usageOf(*entry) : kHelpHint;

    // Each option as the command reads it.
    for (const Given& g : options) {
        const OptionRow* row = nullptr;
        const OptionRow* elsewhere = nullptr;
        for (const OptionRow& o : optionTable()) {
            if (g.name != o.name) continue;
            if (takes(entry, o.id)) {
                row = &o;
                break;
            }
            if (elsewhere == nullptr) elsewhere = &o;
        }
        if (row == nullptr) return failure(inv, goesWith(*elsewhere, entry), usage);
        if (row->value != nullptr && (!g.hasValue || g.value.empty()))
            return failure(inv, "option '" + g.name + "' needs a value");
        if (row->value == nullptr && g.hasValue)
            return failure(
                inv,
                g.fromEquals
                    ? "unknown option '" + printable(g.word) + "' (" + g.name + " takes no value)"
                    : g.name + " takes no value here ('" + printable(g.value) + "')",
                usage);
        if (const std::string error = row->set(inv, *row, g.value); !error.empty())
            return failure(inv, error);
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

    if (entry == nullptr) {
        inv.mode = Mode::Gui;
        return inv;
    }

    const std::size_t given = words.size() - nameWords;
    const std::size_t most = entry->arguments.size();
    const std::size_t least =
        static_cast<std::size_t>(std::count_if(entry->arguments.begin(), entry->arguments.end(),
                                               [](const Argument& a) { return !a.optional; }));
    if (given < least || given > most) {
        std::string count = least == most ? std::to_string(least)
                                          : std::to_string(least) + " or " + std::to_string(most);
        return failure(inv,
                       "'" + std::string(entry->name) + "' takes " + count +
                           (most == 1 ? " argument" : " arguments") + ", not " +
                           std::to_string(given),
                       usage);
    }
    // What the table cannot say: options that go together or exclude each other.
    const bool intervalGiven = std::any_of(options.begin(), options.end(),
                                           [](const Given& g) { return g.name == "--interval"; });
    if (inv.registersOnly && inv.eepromOnly)
        return failure(inv, "--registers-only and --eeprom-only: choose one", usage);
    if (entry->command == Command::Decode && words.size() > nameWords && words[nameWords] == "-")
        return failure(inv, "decode needs a capture file's name; '-' is not one here", usage);
    if (entry->command == Command::Status && !inv.watch &&
        (intervalGiven || inv.count != 0 || inv.csv))
        return failure(inv, "--interval, --count and --csv go with 'status --watch'", usage);
    if (inv.csv && inv.options.json) return failure(inv, "--csv and --json: choose one", usage);
    if (!inv.from.empty() && !inv.dryRun) return failure(inv, "--from goes with --dry-run", usage);

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

namespace {

// `text` in lines of at most 80 columns: the first after `column` (padded
// to `indent`), the others indented by `indent`.
std::string wrapped(const std::string& column, const std::string& text, std::size_t indent) {
    std::string out = "  " + column;
    std::size_t width;
    if (out.size() + 1 >= indent) {
        out += "\n";
        out += std::string(indent, ' ');
        width = indent;
    } else {
        out += std::string(indent - out.size(), ' ');
        width = indent;
    }
    std::istringstream words(text);
    std::string word;
    bool first = true;
    while (words >> word) {
        if (!first && width + 1 + word.size() > 79) {
            out += "\n" + std::string(indent, ' ');
            width = indent;
            first = true;
        }
        if (!first) {
            out += ' ';
            ++width;
        }
        out += word;
        width += word.size();
        first = false;
    }
    return out + "\n";
}

std::string optionColumn(const OptionRow& o) {
    return std::string(o.name) + (o.value != nullptr ? std::string("=") + o.value : "");
}

// The commands an option goes with, as help names them.
std::string commandsOf(const OptionRow& o) {
    std::string list;
    for (const CommandEntry& c : commandTable())
        if (std::find(c.options.begin(), c.options.end(), o.id) != c.options.end())
            list += (list.empty() ? "" : ", ") + std::string(c.name);
    return list;
}

bool general(Opt id) {
    return std::find(kGeneral.begin(), kGeneral.end(), id) != kGeneral.end();
}

// "--slave" -> "\-\-slave", for roff.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

}  // namespace

std::string helpText() {
    std::string text =
        "Usage: kestrel-eval [OPTION]... [COMMAND [ARG]...]\n"
        "Evaluation tool for the KESTREL power-supply controller on a PC parallel port.\n"
        "Without a COMMAND the windows open; with one, it runs and the program exits.\n"
        "\nOptions:\n";
    for (const OptionRow& o : optionTable())
        if (general(o.id)) text += wrapped(optionColumn(o), o.help, 22);
    text += wrapped("-h, --help", "show this help (of a COMMAND, after it) and exit", 22);
    text += wrapped("-V, --version", "show the version and exit", 22);
    text += "\nCommands (numbers in hex, written 1D, 1Dh or 0x1D):\n";
    for (const CommandEntry& c : commandTable()) {
        std::string column = c.synopsis;
        // The synopsis up to its first option.
        const std::size_t options = column.find(" [--");
        if (options != std::string::npos) column.erase(options);
        if (c.command == Command::ProductionRun)
            column = "production run --golden FILE --serial TEXT";
        text += wrapped(column, c.help, 32);
    }
    text += "\nCommand options (kestrel-eval COMMAND --help lists a command's own):\n";
    for (const OptionRow& o : optionTable()) {
        if (general(o.id)) continue;
        text += wrapped(optionColumn(o), commandsOf(o) + ": " + o.help, 32);
    }
    text += R"(
FILE '-' is standard input or output. Before write, write-byte, erase, zero,
restore and snapshot apply the whole EEPROM is saved to
$XDG_STATE_HOME/kestrel-eval/backups (default
~/.local/state/kestrel-eval/backups) unless --no-backup is given.

Exit status: 0 success, 1 usage error or unusable file, 2 missing acknowledge,
PEC mismatch or failed verify (named on standard error), 3 no usable port,
4 snapshot diff found differences, 5 an expectation of a script failed,
6 production run refused a board, 130 run, production run or serve stopped by
Ctrl-C or SIGTERM.
See kestrel-eval(1) for examples.
)";
    return text;
}

std::string helpText(const std::string& command) {
    if (command.empty()) return helpText();
    std::string text;
    for (const CommandEntry& c : commandTable()) {
        const std::string name = c.name;
        if (name != command && name.rfind(command + " ", 0) != 0) continue;
        text += std::string("Usage: kestrel-eval ") + c.synopsis + "\n";
    }
    for (const CommandEntry& c : commandTable()) {
        const std::string name = c.name;
        if (name != command && name.rfind(command + " ", 0) != 0) continue;
        text += "\n" + wrapped(name + ":", c.help, name.size() + 4);
        for (Opt id : c.options) text += wrapped(optionColumn(option(id)), option(id).help, 26);
    }
    return text + "\nSee kestrel-eval(1).\n";
}

std::string manOptions() {
    std::string out;
    for (const OptionRow& o : optionTable()) {
        if (!general(o.id)) continue;
        out += ".TP\n";
        out += o.value != nullptr ? ".BI " + roff(o.name) + " \" " + o.value + "\"\n"
                                  : ".B " + roff(o.name) + "\n";
        out += std::string(o.manText != nullptr ? o.manText : o.help) + "\n";
    }
    out +=
        ".TP\n.BR \\-h \", \" \\-\\-help\nShow the options and commands; after a command, "
        "that command's usage and options.\n";
    out += ".TP\n.BR \\-V \", \" \\-\\-version\nShow the version.\n";
    return out;
}

std::string bashCompletion() {
    std::vector<std::string> firsts, valued, fileValued;
    std::string generalNames;
    for (const OptionRow& o : optionTable()) {
        if (general(o.id)) generalNames += std::string(o.name) + " ";
        if (o.value == nullptr) continue;
        if (std::find(valued.begin(), valued.end(), o.name) == valued.end())
            valued.push_back(o.name);
        const std::string v = o.value;
        if ((v == "FILE" || v == "DIR" || v == "SNAPSHOT") &&
            std::find(fileValued.begin(), fileValued.end(), o.name) == fileValued.end())
            fileValued.push_back(o.name);
    }
    std::map<std::string, std::string> groups;  // group word -> its commands
    for (const CommandEntry& c : commandTable()) {
        const std::string name = c.name;
        const std::string first = name.substr(0, name.find(' '));
        if (std::find(firsts.begin(), firsts.end(), first) == firsts.end()) firsts.push_back(first);
        if (isGroup(first))
            groups[first] += (groups[first].empty() ? "" : " ") + name.substr(first.size() + 1);
    }
    const auto join = [](const std::vector<std::string>& v, const char* sep) {
        std::string s;
        for (const std::string& w : v) s += (s.empty() ? "" : sep) + w;
        return s;
    };
    std::string pages;
    for (unsigned p = chip::kEepromFirst; p < chip::kEepromEnd; p += chip::kEepromPageSize)
        pages += (pages.empty() ? "" : " ") + text::addressText(p);

    std::string s =
        "# bash completion for kestrel-eval                               -*- shell-script -*-\n"
        "# Written by the build from the program's command-line table.\n\n"
        "_kestrel_eval()\n{\n"
        "    local cur prev words cword\n"
        "    if declare -F _init_completion >/dev/null 2>&1; then\n"
        "        _init_completion -s || return\n"
        "    else\n"
        "        cur=${COMP_WORDS[COMP_CWORD]}\n"
        "        prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "        words=(\"${COMP_WORDS[@]}\")\n"
        "        cword=$COMP_CWORD\n"
        "    fi\n\n";
    s += "    local options=\"" + generalNames + "--help --version\"\n";
    s += "    local commands=\"" + join(firsts, " ") + "\"\n";
    s += "    local pages=\"" + pages + "\"\n\n";
    s += "    case $prev in\n        " + join(fileValued, " | ") +
         ")\n            compopt -o filenames 2>/dev/null\n"
         "            COMPREPLY=($(compgen -f -- \"$cur\"))\n            return\n            ;;\n"
         "        --slave)\n            COMPREPLY=($(compgen -W \"AE A0\" -- \"$cur\"))\n"
         "            return\n            ;;\n"
         "        --i2c)\n            local nodes=(/dev/i2c-*)\n"
         "            [[ -e ${nodes[0]} ]] && COMPREPLY=($(compgen -W \"${nodes[*]}\" -- "
         "\"$cur\"))\n"
         "            return\n            ;;\n    esac\n\n";
    s += "    # The command words typed so far, options and their values left out.\n"
         "    local i command=\"\" sub=\"\" positional=0\n"
         "    for ((i = 1; i < cword; i++)); do\n"
         "        case ${words[i]} in\n"
         "            " +
         join(valued, " | ") +
         ") ((i++)) ;;\n"
         "            -*) ;;\n"
         "            *)\n"
         "                if [[ -z $command ]]; then\n"
         "                    command=${words[i]}\n"
         "                elif [[ (";
    std::vector<std::string> tests;
    for (const auto& [group, subs] : groups) tests.push_back("$command == " + group);
    s += join(tests, " || ") +
         ") && -z $sub ]]; then\n"
         "                    sub=${words[i]}\n"
         "                else\n"
         "                    ((positional++))\n"
         "                fi\n"
         "                ;;\n"
         "        esac\n"
         "    done\n\n";
    s += "    if [[ $cur == -* ]]; then\n"
         "        case \"$command $sub\" in\n";
    for (const CommandEntry& c : commandTable()) {
        std::string name = c.name;
        if (name.find(' ') == std::string::npos) name += ' ';
        std::string own;
        for (Opt id : c.options)
            if (own.find(std::string(option(id).name) + " ") == std::string::npos)
                own += std::string(option(id).name) + " ";
        s += "            \"" + name + "\") options=\"" + own + "--help\" ;;\n";
    }
    s += "        esac\n"
         "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "        return\n"
         "    fi\n\n"
         "    if [[ -z $command ]]; then\n"
         "        COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
         "        return\n"
         "    fi\n";
    for (const auto& [group, subs] : groups)
        s += "    if [[ $command == " + group +
             " && -z $sub ]]; then\n"
             "        COMPREPLY=($(compgen -W \"" +
             subs +
             "\" -- \"$cur\"))\n"
             "        return\n"
             "    fi\n";
    s += "    case \"$command $sub:$positional\" in\n";
    for (const CommandEntry& c : commandTable()) {
        std::string name = c.name;
        if (name.find(' ') == std::string::npos) name += ' ';
        for (std::size_t k = 0; k < c.arguments.size(); ++k) {
            const Argument& a = c.arguments[k];
            std::string reply;
            if (a.type == Argument::File)
                reply = "compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\"))";
            else if (a.kind == NumberKind::PageBase || a.kind == NumberKind::BlockBase)
                reply = "COMPREPLY=($(compgen -W \"$pages\" -- \"$cur\"))";
            else if (a.kind == NumberKind::AddressByte)
                reply = "COMPREPLY=($(compgen -W \"90 98\" -- \"$cur\"))";
            else
                continue;
            s += "        \"" + name + ":" + std::to_string(k) + "\") " + reply + " ;;\n";
        }
    }
    s += "    esac\n"
         "} &&\n"
         "    complete -F _kestrel_eval kestrel-eval\n";
    return s;
}

}  // namespace kestrel::batch
