#include "batch/batch.h"

#include <functional>
#include <map>
#include <ostream>
#include <sstream>

#include "batch/batch_commands.h"
#include "batch/batch_session.h"
#include "device/text_rules.h"

namespace kestrel::batch {

namespace {

struct Parsed {
    Options options;
    std::vector<std::string> words;  // the command and its arguments
    std::vector<std::string> flags;  // --out FILE, --erase, --verify
    std::string out;
    std::string error;
};

bool takesValue(const std::string& option) {
    return option == "--sim-state" || option == "--slave" || option == "--trace" ||
           option == "--out";
}

Parsed parse(const std::vector<std::string>& args) {
    Parsed p;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            p.words.push_back(a);
            continue;
        }
        std::string value;
        if (takesValue(a)) {
            if (i + 1 >= args.size()) {
                p.error = a + " needs a value";
                return p;
            }
            value = args[++i];
        }
        if (a == "--simulate")
            p.options.simulate = true;
        else if (a == "--sim-state")
            p.options.simState = value;
        else if (a == "--trace")
            p.options.trace = value;
        else if (a == "--slave")
            p.options.slave = text::hexValue(value) & 0xFF;
        else if (a == "--out")
            p.out = value;
        else if (a == "--erase" || a == "--verify")
            p.flags.push_back(a);
        else {
            p.error = "unknown option " + a;
            return p;
        }
    }
    if (!p.options.simState.empty() && !p.options.simulate)
        p.error = "--sim-state needs --simulate";
    return p;
}

// Command name -> required argument count and handler.
struct CommandSpec {
    std::size_t arguments;
    std::function<int(Session&, const Parsed&, std::ostream&, std::ostream&)> run;
};

const std::map<std::string, CommandSpec>& commands() {
    static const std::map<std::string, CommandSpec> table = {
        {"read",
         {1, [](Session& s, const Parsed& p, std::ostream& o,
                std::ostream&) { return readRegister(s, text::hexValue(p.words[1]), o); }}},
        {"write",
         {2,
          [](Session& s, const Parsed& p, std::ostream&, std::ostream&) {
              return writeRegister(s, text::hexValue(p.words[1]), text::hexValue(p.words[2]));
          }}},
        {"dump",
         {0, [](Session& s, const Parsed&, std::ostream& o,
                std::ostream&) { return dumpRegisters(s, o); }}},
        {"status",
         {0,
          [](Session& s, const Parsed&, std::ostream& o, std::ostream&) { return status(s, o); }}},
        {"switch",
         {2,
          [](Session& s, const Parsed& p, std::ostream&, std::ostream&) {
              return writeSwitch(s, text::hexValue(p.words[1]), text::hexValue(p.words[2]));
          }}},
        {"block-read",
         {1, [](Session& s, const Parsed& p, std::ostream& o,
                std::ostream&) { return blockReadCommand(s, text::hexValue(p.words[1]), o); }}},
        {"eeprom read",
         {1,
          [](Session& s, const Parsed& p, std::ostream& o, std::ostream& e) {
              return eepromRead(s, text::hexValue(p.words[2]), p.out, o, e);
          }}},
        {"eeprom dump",
         {0, [](Session& s, const Parsed&, std::ostream& o,
                std::ostream&) { return eepromDump(s, o); }}},
        {"eeprom write",
         {2,
          [](Session& s, const Parsed& p, std::ostream&, std::ostream& e) {
              const auto has = [&](const char* f) {
                  return std::find(p.flags.begin(), p.flags.end(), f) != p.flags.end();
              };
              return eepromWrite(s, text::hexValue(p.words[2]), p.words[3], has("--erase"),
                                 has("--verify"), e);
          }}},
        {"eeprom erase",
         {1, [](Session& s, const Parsed& p, std::ostream&,
                std::ostream&) { return eepromErase(s, text::hexValue(p.words[2])); }}},
        {"eeprom zero",
         {1, [](Session& s, const Parsed& p, std::ostream&,
                std::ostream&) { return eepromZero(s, text::hexValue(p.words[2])); }}},
    };
    return table;
}

// "eeprom read" for the two-word commands, the first word otherwise.
std::string commandName(const std::vector<std::string>& words) {
    if (words.empty()) return {};
    if (words[0] == "eeprom" && words.size() >= 2) return "eeprom " + words[1];
    return words[0];
}

}  // namespace

bool isBatchCommand(const std::vector<std::string>& args) {
    return !parse(args).words.empty();
}

std::string usage() {
    return R"(Usage: kestrel-eval [--simulate [--sim-state FILE]] [--slave AEh] [--trace FILE.vcd] [COMMAND ARGS]

Without a COMMAND the windows open. Numbers are hexadecimal without prefix, as in the windows.

Options:
  --simulate          use the simulated evaluation board (LPT1 at 378h) instead of the parallel port
  --sim-state FILE    keep the simulated board's registers and EEPROM in FILE between runs
  --slave ADDR        KESTREL slave address byte for a command (default AEh)
  --trace FILE.vcd    record every bus line change as a VCD trace
  -h, --help          show this help
  -v, --version       show the version

Commands:
  read REG                      print one RAM register           kestrel-eval read 1D
  write REG DATA                write one RAM register           kestrel-eval write 0E 04
  dump                          the 30 RAM registers with names, then the latched status registers
                                                                 kestrel-eval dump
  status                        status 00h-02h and latched 2Ah-2Ch    kestrel-eval status
  switch ADDR DATA              set a PLOVER's switches          kestrel-eval switch 90 06
  eeprom read BASE [--out FILE] 32 bytes as image lines          kestrel-eval eeprom read 8100 --out block.dat
  eeprom dump                   all 512 bytes, 16 to a row       kestrel-eval eeprom dump
  eeprom write BASE FILE [--erase] [--verify]
                                program 32 bytes from an image file
                                                                 kestrel-eval eeprom write 8100 block.dat --erase --verify
  eeprom erase PAGE             erase one 32-byte page           kestrel-eval eeprom erase 81E0
  eeprom zero PAGE              write 00h into one page          kestrel-eval eeprom zero 8020
  block-read BASE               SMBus block read of 32 bytes     kestrel-eval block-read 8100

Exit codes: 0 success, 1 usage error (or an image or state file that cannot be used),
            2 missing acknowledge, PEC or verify mismatch, 3 no usable port.
)";
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Parsed p = parse(args);
    const std::string name = commandName(p.words);
    const auto command = commands().find(name);
    std::string problem = p.error;
    if (problem.empty() && command == commands().end())
        problem = name.empty() ? "no command given" : "unknown command '" + name + "'";
    const std::size_t nameWords = name.rfind("eeprom ", 0) == 0 ? 2 : 1;
    if (problem.empty() && p.words.size() != nameWords + command->second.arguments)
        problem =
            "'" + name + "' takes " + std::to_string(command->second.arguments) + " argument(s)";
    if (problem.empty() && !p.out.empty() && name != "eeprom read")
        problem = "--out goes with 'eeprom read'";
    if (problem.empty() && !p.flags.empty() && name != "eeprom write")
        problem = p.flags[0] + " goes with 'eeprom write'";
    if (!problem.empty()) {
        err << "kestrel-eval: " << problem << "\n\n" << usage();
        return kUsage;
    }

    Session session(p.options, err);
    if (!session.ready()) return session.stateFileFailed() ? kUsage : kNoPort;
    int code = command->second.run(session, p, out, err);
    for (const std::string& fault : session.faults()) err << "kestrel-eval: " << fault << '\n';
    if (code == kOk && !session.faults().empty()) code = kBusFault;
    if (!session.finish() && code == kOk) code = kUsage;
    return code;
}

}  // namespace kestrel::batch
