#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "remote/scpi_parser.h"

// The server's SCPI commands as one table: each header in its long form
// with the short form in capitals ("REGister" is REG or REGISTER, in any
// case), optional nodes in brackets, its parameters with their ranges and
// what it does to the board. The parser's units are matched against it and
// checked here, before anything runs.
namespace kestrel::remote {

enum class CommandId {
    Idn,
    Reset,
    Clear,
    EventStatus,
    EventEnable,
    EventEnableQuery,
    RequestEnable,
    RequestEnableQuery,
    StatusByte,
    OperationComplete,
    OperationCompleteQuery,
    Wait,
    SelfTest,
    ErrorNext,
    ErrorCount,
    Version,
    LockRequest,
    LockRelease,
    RegisterQuery,
    Register,
    RegisterAll,
    FieldQuery,
    Field,
    ChipStatus,
    EepromDataQuery,
    EepromData,
    EepromErase,
    EraseAuto,
    EraseAutoQuery,
    EepromVerify,
    Switch,
    SnapshotData,
    SnapshotApply,
    ScriptRun,
    ScriptResult,
    BusMonitor,
};

enum class ParamType {
    Integer,  // a whole number in [low, high]
    Boolean,  // ON, OFF, 1, 0
    String,   // a quoted string
    Block,    // a definite-length block
};

struct ParamRow {
    ParamType type = ParamType::Integer;
    const char* name = "";  // as the README names it: "<reg>"
    std::int64_t low = 0, high = 0;
    std::int64_t multiple = 1;  // the value is a multiple of this (pages: 32)
};

// What a command is, beside its header and parameters.
enum Flag : unsigned {
    kBus = 1,            // runs on the bus as a job (one at a time, in arrival order)
    kWrites = 2,         // changes the board: refused by --read-only (-203)
    kChangesEeprom = 4,  // changes EEPROM bytes: the automatic backup comes first
};

struct CommandRow {
    CommandId id;
    const char* header;  // "REGister[:VALue]?", "*IDN?"
    std::vector<ParamRow> params;
    unsigned flags = 0;
    const char* what = "";  // one line, for the README's table
};

// Every command, in the order the README lists them.
const std::vector<CommandRow>& commandTree();

// A unit matched to its command, its parameters checked and converted.
struct Call {
    const CommandRow* row = nullptr;
    std::vector<std::int64_t> numbers;  // Integer and Boolean parameters, in order
    std::vector<std::string> texts;     // String and Block parameters, in order
    bool is(CommandId id) const { return row != nullptr && row->id == id; }
    unsigned flags() const { return row != nullptr ? row->flags : 0; }
};

struct Resolved {
    std::vector<Call> calls;
    std::optional<Error> error;  // the first fault; then nothing of the message runs
};

// Matches each unit of a parsed message to a command (a unit after ';'
// is looked for under the previous command's node first, then at the root,
// as SCPI's tree rules have it) and checks its parameters: -113 for a
// header the tree does not hold, -108/-109 for too many or too few
// parameters, -104 for one of the wrong type, -222 for a number outside
// its range.
Resolved resolve(const Message& message);

// The header's short form ("REG[:VAL]?"), for messages and the README.
std::string shortForm(const CommandRow& row);

}  // namespace kestrel::remote
