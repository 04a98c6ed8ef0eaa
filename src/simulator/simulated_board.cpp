#include "simulator/simulated_board.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>

#include "bus/durable_file.h"
#include "simulator/state_file.h"

namespace kestrel::sim {

SimulatedBoard::SimulatedBoard(std::uint32_t seed) : kestrel_(seed) {
    // The analyser first, so it sees each clock edge before the slaves react.
    wire_.attach(log_);
    wire_.attach(kestrel_);
    wire_.attach(plover90_);
    wire_.attach(plover98_);
}

void SimulatedBoard::takeAccessTime() const {
    if (accessNs_ == 0) return;
    // A sleep cannot be this short: the access takes its time on the clock.
    const auto end = std::chrono::steady_clock::now() + std::chrono::nanoseconds(accessNs_);
    while (std::chrono::steady_clock::now() < end) {
    }
}

bool SimulatedBoard::accessWorks() {
    ++accesses_;
    if (failingAccess_ == 0 || accesses_ < failingAccess_) return true;
    if (fault_.empty()) fault_ = "LPT1 port error: simulated port: input/output error";
    return false;
}

void SimulatedBoard::Outport(std::uint16_t port, std::uint8_t value) {
    takeAccessTime();
    if (port != kBase) return;
    if (!open_) {
        ++outside_;
        return;
    }
    if (!accessWorks()) return;
    // Data bit 0 pulls SCL low, bit 1 pulls SDA low.
    wire_.drive((value & 1) == 0, (value & 2) == 0);
}

std::uint16_t SimulatedBoard::Inport(std::uint16_t port) {
    takeAccessTime();
    if (port != kBase + 1) return 0;
    if (!open_) {
        ++outside_;
        return 0;
    }
    if (!accessWorks()) return 0;
    return wire_.sda() ? 0 : kStatusSdaBit;
}

void SimulatedBoard::EnablePorts(std::int16_t, std::int16_t) {
    open_ = true;
}
void SimulatedBoard::DisablePorts(std::int16_t, std::int16_t) {
    open_ = false;
}

// File format, one item per line (numbers in hexadecimal digits only):
//   reg XX YY          register XX (00..2F) holds YY
//   ee XXXX YY YY ...  EEPROM bytes from address XXXX on (8000..81FF)
//   plover XX YY       switch byte YY of the PLOVER at XX (90 or 98)
//   fault NAME [XX]    a fault for tests: missing, corrupt-pec, sda-stuck-low,
//                      block-count XX, nack-byte XX, port-error-after N
//   option port-access-ns N   each port access takes N ns (decimal)
//   option NAME        a chip option: strict-ack, send-past-end, busy-time,
//                      clear-only-cells, count-moves-pec,
//                      eeprom-address-unacked, strict (all of those),
//                      busy-after-zero-write (busy-time after a 00h byte
//                      write too)
// Empty lines and lines starting with '#' are ignored. A register, an EEPROM
// byte or a switch byte is given once; the last line ends in a line end like
// every other (a file that ends inside a line was cut short).
namespace {

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t begin = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > begin) words.push_back(line.substr(begin, i - begin));
    }
    return words;
}

// Hexadecimal digits only (no sign, no prefix), at most `limit`.
bool parseHex(const std::string& word, unsigned limit, unsigned* value) {
    if (word.empty() || word.size() > 8) return false;
    unsigned v = 0;
    for (char c : word) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        v = v * 16 + static_cast<unsigned>(d);
    }
    if (v > limit) return false;
    *value = v;
    return true;
}

struct Fault {
    std::string name;
    unsigned argument = 0;
};

// Checks a fault's words; the canonical text goes into `text`.
bool parseFault(const std::vector<std::string>& words, Fault* fault, std::string* text) {
    if (words.empty()) return false;
    fault->name = words[0];
    if (words.size() == 1)
        return fault->name == "missing" || fault->name == "corrupt-pec" ||
               fault->name == "sda-stuck-low";
    if (words.size() != 2) return false;
    if (fault->name == "block-count") {
        if (!parseHex(words[1], 0xFF, &fault->argument)) return false;
    } else if (fault->name == "nack-byte") {
        if (!parseHex(words[1], 0xFF, &fault->argument) || fault->argument == 0) return false;
    } else if (fault->name == "port-error-after") {
        if (!parseHex(words[1], 0xFFFFFFFF, &fault->argument) || fault->argument == 0) return false;
    } else {
        return false;
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, " %02X", fault->argument);
    *text = fault->name + buf;
    return true;
}

// "port-access-ns N" (decimal nanoseconds, at most a millisecond): how long
// each simulated port access takes; nothing for any other option.
std::optional<std::uint32_t> portAccessNs(const std::vector<std::string>& words) {
    if (words.size() != 2 || words[0] != "port-access-ns" || words[1].empty() ||
        words[1].size() > 7)
        return std::nullopt;
    std::uint32_t ns = 0;
    for (const char c : words[1]) {
        if (c < '0' || c > '9') return std::nullopt;
        ns = ns * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (ns > 1000000) return std::nullopt;
    return ns;
}

bool optionByName(const std::string& name, KestrelModel::Options* options) {
    if (name == "strict")
        *options = KestrelModel::Options::strict();
    else if (name == "strict-ack")
        options->strictAck = true;
    else if (name == "send-past-end")
        options->sendPastEnd = true;
    else if (name == "busy-time")
        options->busyTime = true;
    else if (name == "busy-after-zero-write")
        options->busyTime = options->busyAfterZeroWrite = true;
    else if (name == "clear-only-cells")
        options->clearOnlyCells = true;
    else if (name == "count-moves-pec")
        options->countMovesPec = true;
    else if (name == "eeprom-address-unacked")
        options->eepromAddressUnacked = true;
    else
        return false;
    return true;
}

}  // namespace

bool SimulatedBoard::applyFault(const std::string& fault) {
    Fault f;
    std::string text = fault;
    if (!parseFault(splitWords(fault), &f, &text)) return false;
    if (f.name == "missing")
        kestrel_.setPresent(false);
    else if (f.name == "corrupt-pec")
        kestrel_.setCorruptPec(true);
    else if (f.name == "sda-stuck-low")
        wire_.setSdaStuckLow(true);
    else if (f.name == "block-count")
        kestrel_.setBlockCount(static_cast<std::uint8_t>(f.argument));
    else if (f.name == "nack-byte")
        kestrel_.setNackByte(static_cast<int>(f.argument));
    else if (f.name == "port-error-after")
        failingAccess_ = f.argument;
    faults_.push_back(text);
    return true;
}

bool SimulatedBoard::applyOption(const std::string& option) {
    if (const auto ns = portAccessNs(splitWords(option))) {
        accessNs_ = *ns;
        return true;
    }
    KestrelModel::Options options = kestrel_.options();
    if (!optionByName(option, &options)) return false;
    kestrel_.setOptions(options);
    return true;
}

void SimulatedBoard::setStrict(bool strict) {
    kestrel_.setOptions(strict ? KestrelModel::Options::strict() : KestrelModel::Options{});
}

std::string SimulatedBoard::stateText() const {
    std::string out = "# kestrel-eval simulated board\n";
    char buf[16];
    for (int r = 0; r < KestrelModel::kRegisterSpace; ++r) {
        std::snprintf(buf, sizeof buf, "reg %X %X\n", r, kestrel_.reg(r));
        out += buf;
    }
    for (int a = 0; a < KestrelModel::kEepromSize; a += 16) {
        std::snprintf(buf, sizeof buf, "ee %X", KestrelModel::kEepromBase + a);
        out += buf;
        for (int i = 0; i < 16; ++i) {
            std::snprintf(buf, sizeof buf, " %X",
                          kestrel_.eeprom(KestrelModel::kEepromBase + a + i));
            out += buf;
        }
        out += '\n';
    }
    for (const PloverModel* p : {&plover90_, &plover98_}) {
        std::snprintf(buf, sizeof buf, "plover %X %X\n", p->address(), p->switches());
        out += buf;
    }
    for (const std::string& fault : faults_) out += "fault " + fault + '\n';
    const KestrelModel::Options& o = kestrel_.options();
    const std::pair<bool, const char*> options[] = {
        {o.strictAck, "strict-ack"},
        {o.sendPastEnd, "send-past-end"},
        {o.busyTime, "busy-time"},
        {o.busyAfterZeroWrite, "busy-after-zero-write"},
        {o.clearOnlyCells, "clear-only-cells"},
        {o.countMovesPec, "count-moves-pec"},
        {o.eepromAddressUnacked, "eeprom-address-unacked"}};
    for (const auto& [on, name] : options)
        if (on) out += std::string("option ") + name + '\n';
    if (accessNs_ != 0) out += "option port-access-ns " + std::to_string(accessNs_) + '\n';
    return out;
}

bool SimulatedBoard::loadStateText(const std::string& text, std::string* error) {
    // Everything is checked before anything changes, so a bad file leaves the
    // board as it was.
    struct Change {
        enum class Kind { Reg, Ee, Plover, Fault, Option } kind;
        unsigned address = 0;
        std::vector<std::uint8_t> bytes;
        std::string text;
    };
    std::vector<Change> changes;
    auto fail = [error](int lineNo, const std::string& why) {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    // The line that set each register, EEPROM byte and switch byte.
    std::map<std::pair<char, unsigned>, int> given;
    auto once = [&](char kind, unsigned address, int lineNo, const std::string& what) {
        const auto [it, added] = given.try_emplace({kind, address}, lineNo);
        if (added) return true;
        return fail(lineNo,
                    what + " is given again (first on line " + std::to_string(it->second) + ")");
    };
    std::size_t pos = 0;
    int lineNo = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const bool ended = end != std::string::npos;
        if (!ended) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (char c : line) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t') || u >= 0x7F)
                return fail(lineNo, "not a state file (binary content)");
        }
        const std::vector<std::string> words = splitWords(line);
        if (words.empty() || words[0][0] == '#') continue;
        if (!ended) return fail(lineNo, "the file ends inside this line (no line end): cut short?");
        const std::string& kind = words[0];
        Change change{};
        if (kind == "reg") {
            unsigned v = 0;
            if (words.size() != 3 ||
                !parseHex(words[1], KestrelModel::kRegisterSpace - 1, &change.address) ||
                !parseHex(words[2], 0xFF, &v))
                return fail(lineNo, "expected 'reg XX YY' with a register from 00 to " +
                                        std::string("2F and a byte"));
            change.kind = Change::Kind::Reg;
            change.bytes.push_back(static_cast<std::uint8_t>(v));
            char name[16];
            std::snprintf(name, sizeof name, "register %02X", change.address);
            if (!once('r', change.address, lineNo, name)) return false;
        } else if (kind == "ee") {
            constexpr unsigned first = KestrelModel::kEepromBase;
            constexpr unsigned last = first + KestrelModel::kEepromSize - 1;
            if (words.size() < 3 || !parseHex(words[1], last, &change.address) ||
                change.address < first || change.address + (words.size() - 2) > last + 1)
                return fail(lineNo, "expected 'ee XXXX YY ...' inside 8000-81FF");
            for (std::size_t i = 2; i < words.size(); ++i) {
                unsigned v = 0;
                if (!parseHex(words[i], 0xFF, &v))
                    return fail(lineNo, "bad byte '" + words[i] + "'");
                const unsigned address = change.address + static_cast<unsigned>(i - 2);
                char name[24];
                std::snprintf(name, sizeof name, "EEPROM byte %04X", address);
                if (!once('e', address, lineNo, name)) return false;
                change.bytes.push_back(static_cast<std::uint8_t>(v));
            }
            change.kind = Change::Kind::Ee;
        } else if (kind == "plover") {
            unsigned v = 0;
            if (words.size() != 3 || !parseHex(words[1], 0xFF, &change.address) ||
                (change.address != plover90_.address() && change.address != plover98_.address()) ||
                !parseHex(words[2], 0xFF, &v))
                return fail(lineNo, "expected 'plover 90|98 YY'");
            if (!once('p', change.address, lineNo, "the switch byte of plover " + words[1]))
                return false;
            change.kind = Change::Kind::Plover;
            change.bytes.push_back(static_cast<std::uint8_t>(v));
        } else if (kind == "fault") {
            Fault f;
            const std::vector<std::string> rest(words.begin() + 1, words.end());
            for (const std::string& w : rest) change.text += (change.text.empty() ? "" : " ") + w;
            if (!parseFault(rest, &f, &change.text))
                return fail(lineNo, "unknown fault '" + line + "'");
            change.kind = Change::Kind::Fault;
        } else if (kind == "option" && words.size() == 3 && words[1] == "port-access-ns") {
            if (!portAccessNs({words.begin() + 1, words.end()}))
                return fail(lineNo, "expected 'option port-access-ns N', N from 0 to 1000000 (ns)");
            change.kind = Change::Kind::Option;
            change.text = words[1] + ' ' + words[2];
        } else if (kind == "option") {
            KestrelModel::Options scratch;
            if (words.size() != 2 || !optionByName(words[1], &scratch))
                return fail(lineNo, "unknown option '" + line + "'");
            change.kind = Change::Kind::Option;
            change.text = words[1];
        } else {
            return fail(lineNo, "not understood");
        }
        changes.push_back(std::move(change));
    }
    for (const Change& c : changes) {
        switch (c.kind) {
            case Change::Kind::Reg:
                kestrel_.setReg(static_cast<int>(c.address), c.bytes[0]);
                break;
            case Change::Kind::Ee:
                for (std::size_t i = 0; i < c.bytes.size(); ++i)
                    kestrel_.setEeprom(static_cast<int>(c.address + i), c.bytes[i]);
                break;
            case Change::Kind::Plover:
                for (PloverModel* p : {&plover90_, &plover98_})
                    if (p->address() == c.address) p->setSwitches(c.bytes[0]);
                break;
            case Change::Kind::Fault:
                applyFault(c.text);
                break;
            case Change::Kind::Option:
                applyOption(c.text);
                break;
        }
    }
    return true;
}

bool SimulatedBoard::loadState(const std::string& path, std::string* error) {
    std::string text;
    if (!readStateFile(path, &text, error, kMaxStateFileBytes)) return false;
    if (loadStateText(text, error)) return true;
    if (error) *error = path + ": " + *error;
    return false;
}

bool SimulatedBoard::saveState(const std::string& path, std::string* error) const {
    std::string why;
    if (durable::replaceFile(path, stateText(), why)) return true;
    if (error) *error = why;
    return false;
}

}  // namespace kestrel::sim
