#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/command_line.h"
#include "batch/snapshot_commands.h"

// A check script: the batch commands one per line, with expectations, waits,
// polls, loops and logging. The whole file is parsed and checked before
// anything is sent; a script that comes back from parseScript() without
// errors runs without a usage error.
//
//   # comment                      from '#' at the start of a word
//   read 1D / write 1D 21 / ...    any batch command, same words and numbers
//   expect REG VALUE [mask M]      read a register and compare the masked bits
//   expect-eeprom ADDR VALUE [mask M]
//   wait MS                        MS in decimal milliseconds (not a loop variable)
//   poll REG VALUE [mask M] timeout MS [every MS]
//   repeat N ... end               N in decimal
//   for NAME in A..B [step S] ... end    A, B, S in hex; $NAME inside
//   log LABEL REG...               register values with the time, for the CSV
//   on-error stop|continue
namespace kestrel::script {

// Loops may run at most this many steps in all: each line run that does
// something (a command, expect, wait, poll, log) counts one; 'repeat', 'for',
// 'end' and 'on-error' count none.
inline constexpr std::uint64_t kMaxSteps = 1000000;
// The longest wait, poll timeout or poll interval: one hour.
inline constexpr unsigned kMaxMilliseconds = 3600000;

enum class Op { Command, Expect, ExpectEeprom, Wait, Poll, Repeat, For, End, Log, OnError };

// A word of a line and where it starts (1-based column).
struct Word {
    std::string text;
    unsigned column = 1;
};

// A number of a line: fixed, or a loop variable's value.
struct Operand {
    std::uint32_t value = 0;
    int variable = -1;  // index into Script::variables, or -1
    unsigned column = 1;
};

struct Instruction {
    Op op = Op::Command;
    unsigned line = 0;
    std::vector<Word> words;  // as written, comment removed

    // Command: the invocation when no word is a variable (checked); with
    // variables it is parsed again from the words at each run. Input files
    // were read and checked once.
    std::optional<batch::Invocation> invocation;
    bool hasVariables = false;
    std::vector<int> wordVariables;  // per word: the variable it is, or -1
    std::vector<int> input;
    std::shared_ptr<batch::SnapshotInputs> snapshots;
    std::string scriptFolder;  // relative file names are taken from here

    // Expect, ExpectEeprom, Poll: the register (or EEPROM address), the
    // value and the mask; Poll: timeout and interval; Wait: `ms`.
    Operand address, value, mask{0xFF, -1, 1};
    Operand ms, every{10, -1, 1};
    // Repeat: the count; For: the variable and its range.
    std::uint64_t count = 0;
    int variable = -1;
    std::uint32_t from = 0, to = 0, step = 1;
    // Repeat, For: the index of its End; End: the index of its Repeat or For.
    std::size_t partner = 0;
    // Log
    std::string label;
    std::vector<Operand> registers;
    // OnError
    bool continueOnError = false;

    // The line as written, words joined by one space.
    std::string text() const;
};

struct Script {
    std::string file;  // as named to the user
    std::vector<Instruction> program;
    std::vector<std::string> variables;
    std::uint64_t steps = 0;     // steps a full run takes
    bool changesEeprom = false;  // some command changes EEPROM bytes
};

struct ParseError {
    std::string text;  // "trim.kes:3:7: 'repeet': unknown command 'repeet'"
};

// Parses and checks `source`; `file` names it in messages and its folder is
// where relative file names of the script's commands are found.
std::optional<Script> parseScript(const std::string& source, const std::string& file,
                                  std::vector<ParseError>& errors);
// Says whether a script may name a file (read or written): empty when it
// may, otherwise why not. Asked before the file is touched.
using FilePolicy = std::function<std::string(const std::string& path)>;
// The same for a script from elsewhere (the network), every file it names
// first put to `policy`.
std::optional<Script> parseScript(const std::string& source, const std::string& file,
                                  std::vector<ParseError>& errors, FilePolicy policy);

// Reads the file (a regular file of at most 1 MiB; "-": `standardInput`,
// named "stdin", its relative file names from the working folder) and
// parses it.
std::optional<Script> loadScript(const std::string& path, std::istream& standardInput,
                                 std::vector<ParseError>& errors);

// The words of a command line with the loop variables' present values put
// in, and the invocation they make (file names taken from the script's folder).
batch::Invocation commandInvocation(const Instruction& in,
                                    const std::vector<std::uint32_t>& values);

}  // namespace kestrel::script
