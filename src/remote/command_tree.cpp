#include "remote/command_tree.h"

#include "chip/kestrel_map.h"
#include "remote/limits.h"

namespace kestrel::remote {

namespace {

using P = ParamType;

constexpr std::int64_t kFirst = chip::kEepromFirst;
constexpr std::int64_t kLast = chip::kEepromEnd - 1;
constexpr std::int64_t kPage = chip::kEepromPageSize;

const ParamRow kRegister{P::Integer, "<reg>", 0, 0xFF};
const ParamRow kByte{P::Integer, "<value>", 0, 0xFF};
const ParamRow kAddress{P::Integer, "<addr>", kFirst, kLast};
const ParamRow kCount{P::Integer, "<count>", 1, chip::kEepromSize};
const ParamRow kPageBase{P::Integer, "<page>", kFirst, kLast - kPage + 1, kPage};
const ParamRow kBlock{P::Block, "<block>", 0, 0};
const ParamRow kMask{P::Integer, "<mask>", 0, 0xFF};

std::vector<CommandRow> table() {
    // clang-format off
    return {
        {CommandId::Idn, "*IDN?", {}, kBus, "maker, port, chip ID and revision, version"},
        {CommandId::Reset, "*RST", {}, 0, "stops this client's jobs and drops its queued commands"},
        {CommandId::Clear, "*CLS", {}, 0, "clears the error queue and the event status"},
        {CommandId::EventStatus, "*ESR?", {}, 0, "the event status register, then cleared"},
        {CommandId::EventEnable, "*ESE", {kMask}, 0, "the event status enable mask"},
        {CommandId::EventEnableQuery, "*ESE?", {}, 0, "the event status enable mask"},
        {CommandId::RequestEnable, "*SRE", {kMask}, 0, "the service request enable mask"},
        {CommandId::RequestEnableQuery, "*SRE?", {}, 0, "the service request enable mask"},
        {CommandId::StatusByte, "*STB?", {}, 0, "the status byte"},
        {CommandId::OperationComplete, "*OPC", {}, 0,
         "sets OPC in the event status when all before it is done"},
        {CommandId::OperationCompleteQuery, "*OPC?", {}, 0, "1, once all before it is done"},
        {CommandId::Wait, "*WAI", {}, 0, "waits for all before it (commands run in order anyway)"},
        {CommandId::SelfTest, "*TST?", {}, kBus,
         "the port test: 0 SDA follows, 1 otherwise (the reason queued)"},
        {CommandId::ErrorNext, "SYSTem:ERRor[:NEXT]?", {}, 0,
         "the oldest error of this client: code,\"text\""},
        {CommandId::ErrorCount, "SYSTem:ERRor:COUNt?", {}, 0, "errors in this client's queue"},
        {CommandId::Version, "SYSTem:VERSion?", {}, 0, "1999.0"},
        {CommandId::LockRequest, "SYSTem:LOCK:REQuest?", {}, 0,
         "1 when this client now holds the bus, 0 when another does"},
        {CommandId::LockRelease, "SYSTem:LOCK:RELease", {}, 0, "gives the bus back"},
        {CommandId::RegisterQuery, "REGister[:VALue]?", {kRegister}, kBus,
         "reads a register (decimal)"},
        {CommandId::Register, "REGister[:VALue]", {kRegister, kByte}, kBus | kWrites,
         "writes a register"},
        {CommandId::RegisterAll, "REGister:ALL?", {}, kBus, "registers 00h-1Dh, 30 numbers"},
        {CommandId::FieldQuery, "REGister:FIELD?", {{P::String, "\"<field>\""}}, kBus,
         "a field's named setting, as the editors name it"},
        {CommandId::Field,
         "REGister:FIELD",
         {{P::String, "\"<field>\""}, {P::String, "\"<setting>\""}},
         kBus | kWrites,
         "sets a field by its setting's name (read, change, write, read back)"},
        {CommandId::ChipStatus, "STATus:CHIP?", {}, kBus,
         "status 00h-02h and the names of their bits that are set"},
        {CommandId::EepromDataQuery, "EEPROM:DATA?", {kAddress, kCount}, kBus,
         "EEPROM bytes as a block"},
        {CommandId::EepromData,
         "EEPROM:DATA",
         {kAddress, kBlock},
         kBus | kWrites | kChangesEeprom,
         "erases the block's pages and writes it (needs EEPROM:ERASe:AUTO ON; whole pages)"},
        {CommandId::EepromErase, "EEPROM:ERASe", {kPageBase}, kBus | kWrites | kChangesEeprom,
         "erases one page"},
        {CommandId::EraseAuto, "EEPROM:ERASe:AUTO", {{P::Boolean, "ON|OFF"}}, 0,
         "lets EEPROM:DATA erase what it writes (this client; OFF at connect and *RST)"},
        {CommandId::EraseAutoQuery, "EEPROM:ERASe:AUTO?", {}, 0, "1 or 0"},
        {CommandId::EepromVerify, "EEPROM:VERify?", {kAddress, kBlock}, kBus,
         "1 when the EEPROM holds the block, 0 otherwise (the first difference queued)"},
        {CommandId::Switch,
         "SWITch",
         {{P::Integer, "<address>", 0, 0xFE, 2}, kByte},
         kBus | kWrites,
         "sets the PLOVER switches at an address byte (144 = 90h, 152 = 98h)"},
        {CommandId::SnapshotData, "SNAPshot:DATA?", {}, kBus,
         "the board as a snapshot file, in a block"},
        {CommandId::SnapshotApply,
         "SNAPshot:APPLy",
         {kBlock},
         kBus | kWrites | kChangesEeprom,
         "writes what differs from a snapshot file and reads everything back"},
        {CommandId::ScriptRun, "SCRipt:RUN", {kBlock}, kBus,
         "runs a check script (its text in a block)"},
        {CommandId::ScriptResult, "SCRipt:RESult?", {}, 0,
         "the last script's steps, a line each, in a block"},
        {CommandId::BusMonitor,
         "BUS:MONitor?",
         {{P::Integer, "<n>", 1, static_cast<std::int64_t>(kMonitorRecords)}},
         0,
         "the last n transactions in the bus monitor's words, oldest first"},
    };
    // clang-format on
}

// One node of a header: its long and short form in capitals.
struct Node {
    std::string longForm, shortForm;
    bool optional = false;
};

struct Pattern {
    bool common = false;
    bool query = false;
    std::vector<Node> nodes;
};

Pattern patternOf(const std::string& header) {
    Pattern p;
    std::string h = header;
    if (!h.empty() && h.back() == '?') {
        p.query = true;
        h.pop_back();
    }
    if (!h.empty() && h[0] == '*') {
        p.common = true;
        h.erase(0, 1);
    }
    std::size_t i = 0;
    while (i < h.size()) {
        Node n;
        if (h[i] == '[') {
            n.optional = true;
            ++i;
        }
        if (i < h.size() && h[i] == ':') ++i;
        while (i < h.size() && h[i] != ':' && h[i] != '[' && h[i] != ']') {
            const char c = h[i++];
            const bool capital = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
            n.longForm.push_back(capital ? c : static_cast<char>(c - 'a' + 'A'));
            if (capital && n.shortForm.size() == n.longForm.size() - 1) n.shortForm.push_back(c);
        }
        if (i < h.size() && h[i] == ']') ++i;
        p.nodes.push_back(std::move(n));
    }
    return p;
}

const std::vector<Pattern>& patterns() {
    static const std::vector<Pattern> all = [] {
        std::vector<Pattern> v;
        for (const CommandRow& c : commandTree()) v.push_back(patternOf(c.header));
        return v;
    }();
    return all;
}

bool matches(const std::vector<Node>& nodes, std::size_t n, const std::vector<std::string>& words,
             std::size_t w) {
    if (n == nodes.size()) return w == words.size();
    const Node& node = nodes[n];
    if (w < words.size() && (words[w] == node.longForm || words[w] == node.shortForm) &&
        matches(nodes, n + 1, words, w + 1))
        return true;
    return node.optional && matches(nodes, n + 1, words, w);
}

const CommandRow* find(bool common, bool query, const std::vector<std::string>& words) {
    const auto& rows = commandTree();
    const auto& all = patterns();
    for (std::size_t k = 0; k < rows.size(); ++k)
        if (all[k].common == common && all[k].query == query && matches(all[k].nodes, 0, words, 0))
            return &rows[k];
    return nullptr;
}

std::string kindName(Parameter::Kind k) {
    switch (k) {
        case Parameter::Kind::Number:
            return "a number";
        case Parameter::Kind::Word:
            return "a word";
        case Parameter::Kind::String:
            return "a string";
        case Parameter::Kind::Block:
            return "a block";
    }
    return "?";
}

std::string typeName(ParamType t) {
    switch (t) {
        case ParamType::Integer:
            return "a whole number";
        case ParamType::Boolean:
            return "ON or OFF";
        case ParamType::String:
            return "a quoted string";
        case ParamType::Block:
            return "a block (#3512...)";
    }
    return "?";
}

std::optional<Error> checkParameter(const std::string& header, const ParamRow& row,
                                    const Parameter& p, Call& call) {
    const std::string where = header + " " + row.name + ": ";
    switch (row.type) {
        case ParamType::Integer: {
            if (p.kind != Parameter::Kind::Number)
                return Error{code::kDataType, where + kindName(p.kind) + ", not a number"};
            if (!p.integer)
                return Error{code::kOutOfRange, where + quoted(p.text) + " is not a whole number"};
            const std::int64_t v = *p.integer;
            if (v < row.low || v > row.high || v % row.multiple != 0)
                return Error{
                    code::kOutOfRange,
                    where + quoted(p.text) + " outside " + std::to_string(row.low) + ".." +
                        std::to_string(row.high) +
                        (row.multiple > 1 ? ", a multiple of " + std::to_string(row.multiple)
                                          : std::string())};
            call.numbers.push_back(v);
            return std::nullopt;
        }
        case ParamType::Boolean: {
            std::string t = p.text;
            if (p.kind == Parameter::Kind::Word && (t == "ON" || t == "OFF")) {
                call.numbers.push_back(t == "ON" ? 1 : 0);
                return std::nullopt;
            }
            if (p.kind == Parameter::Kind::Number && p.integer &&
                (*p.integer == 0 || *p.integer == 1)) {
                call.numbers.push_back(*p.integer);
                return std::nullopt;
            }
            return Error{p.kind == Parameter::Kind::Number ? code::kOutOfRange : code::kDataType,
                         where + quoted(p.text) + ": give ON, OFF, 1 or 0"};
        }
        case ParamType::String:
        case ParamType::Block: {
            const auto wanted =
                row.type == ParamType::String ? Parameter::Kind::String : Parameter::Kind::Block;
            if (p.kind != wanted)
                return Error{code::kDataType,
                             where + kindName(p.kind) + ", not " + typeName(row.type)};
            call.texts.push_back(p.text);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// What the ranges of single parameters cannot say.
std::optional<Error> checkTogether(const Call& c, const std::string& header) {
    if (c.is(CommandId::EepromDataQuery) && c.numbers[0] + c.numbers[1] > kLast + 1)
        return Error{code::kOutOfRange, header + ": " + std::to_string(c.numbers[1]) +
                                            " bytes from " + std::to_string(c.numbers[0]) +
                                            " run past the EEPROM's end (33279, 81FFh)"};
    if ((c.is(CommandId::EepromData) || c.is(CommandId::EepromVerify)) &&
        (c.texts[0].empty() ||
         c.numbers[0] + static_cast<std::int64_t>(c.texts[0].size()) > kLast + 1))
        return Error{c.texts[0].empty() ? code::kMissingParameter : code::kTooMuchData,
                     header + ": a block of " + std::to_string(c.texts[0].size()) + " bytes from " +
                         std::to_string(c.numbers[0]) +
                         (c.texts[0].empty() ? " holds nothing" : " runs past the EEPROM's end")};
    return std::nullopt;
}

}  // namespace

const std::vector<CommandRow>& commandTree() {
    static const std::vector<CommandRow> all = table();
    return all;
}

std::string shortForm(const CommandRow& row) {
    const Pattern p = patternOf(row.header);
    std::string s = p.common ? "*" : "";
    for (std::size_t k = 0; k < p.nodes.size(); ++k) {
        const Node& n = p.nodes[k];
        if (n.optional) s += "[";
        if (k > 0) s += ":";
        s += n.shortForm;
        if (n.optional) s += "]";
    }
    return s + (p.query ? "?" : "");
}

Resolved resolve(const Message& message) {
    Resolved r;
    if (message.error) {
        r.error = message.error;
        return r;
    }
    std::vector<std::string> path;  // the node the previous command left the next one under
    for (const Unit& u : message.units) {
        const CommandRow* row = nullptr;
        if (u.common) {
            row = find(true, u.query, u.mnemonics);
        } else {
            if (!u.absolute && !path.empty()) {
                std::vector<std::string> under = path;
                under.insert(under.end(), u.mnemonics.begin(), u.mnemonics.end());
                row = find(false, u.query, under);
                if (row != nullptr) {
                    under.pop_back();
                    path = std::move(under);
                }
            }
            if (row == nullptr) {
                row = find(false, u.query, u.mnemonics);
                path.assign(u.mnemonics.begin(), u.mnemonics.end() - 1);
            }
        }
        if (row == nullptr) {
            r.calls.clear();
            r.error = Error{code::kUndefinedHeader, quoted(u.header)};
            return r;
        }
        Call call;
        call.row = row;
        const std::string header = quoted(u.header);
        if (u.parameters.size() > row->params.size()) {
            r.calls.clear();
            r.error = Error{code::kParameterNotAllowed,
                            header + " takes " + std::to_string(row->params.size()) + " parameter" +
                                (row->params.size() == 1 ? "" : "s") + ", not " +
                                std::to_string(u.parameters.size())};
            return r;
        }
        if (u.parameters.size() < row->params.size()) {
            r.calls.clear();
            r.error = Error{code::kMissingParameter,
                            header + " needs " + row->params[u.parameters.size()].name};
            return r;
        }
        for (std::size_t k = 0; k < u.parameters.size(); ++k) {
            if (auto e = checkParameter(header, row->params[k], u.parameters[k], call)) {
                r.calls.clear();
                r.error = std::move(e);
                return r;
            }
        }
        if (auto e = checkTogether(call, header)) {
            r.calls.clear();
            r.error = std::move(e);
            return r;
        }
        r.calls.push_back(std::move(call));
    }
    return r;
}

}  // namespace kestrel::remote
