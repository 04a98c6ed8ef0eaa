// The batch command line: the words of a command line, separated by NUL
// bytes. Whatever the words, the parser either refuses them in one line or
// hands on numbers inside the ranges of what they name; a command it accepts
// runs on a simulated board without faults and succeeds.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "batch/command_line.h"
#include "batch/strict_number.h"
#include "simulator/simulated_board.h"

namespace {

using kestrel::batch::Command;
using kestrel::batch::Invocation;
using kestrel::batch::Mode;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void checkRanges(const Invocation& inv) {
    const auto& n = inv.numbers;
    check(inv.options.slave <= 0xFE && (inv.options.slave & 1) == 0);
    switch (inv.command) {
        case Command::Read:
            check(n.size() == 1 && n[0] <= 0xFF);
            break;
        case Command::Write:
            check(n.size() == 2 && n[0] <= 0xFF && n[1] <= 0xFF);
            break;
        case Command::Switch:
            check(n.size() == 2 && n[0] <= 0xFE && (n[0] & 1) == 0 && n[1] <= 0xFF);
            break;
        case Command::BlockRead:
            check(n.size() == 1 && n[0] >= 0x8000 && n[0] <= 0x81E0);
            break;
        case Command::EepromRead:
            check(n.size() == 2 && n[0] >= 0x8000 && n[1] >= 1 && n[0] + n[1] <= 0x8200);
            break;
        case Command::EepromWrite:
            check(n.size() == 1 && n[0] >= 0x8000 && n[0] <= 0x81E0 && !inv.file.empty());
            break;
        case Command::EepromWriteByte:
            check(n.size() == 2 && n[0] >= 0x8000 && n[0] <= 0x81FF && n[1] <= 0xFF);
            break;
        case Command::EepromErase:
        case Command::EepromZero:
            check(n.size() == 1 && n[0] >= 0x8000 && n[0] <= 0x81E0 && n[0] % 0x20 == 0);
            break;
        case Command::None:
            check(false);
            break;
        default:
            check(n.empty());
    }
}

// Commands that need neither a file nor a backup, nor 30 ms waits.
bool runnableHere(const Invocation& inv) {
    switch (inv.command) {
        case Command::Read:
        case Command::Write:
        case Command::Dump:
        case Command::Status:
        case Command::Switch:
        case Command::Detect:
        case Command::BlockRead:
        case Command::EepromDump:
            return true;
        case Command::EepromRead:
            return inv.out.empty();
        default:
            return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size && words.size() < 16; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back() += static_cast<char>(data[i]);
    }
    for (const std::string& w : words) {
        // A number that reads strictly reads the same again in every spelling.
        const auto v = kestrel::batch::strictHex(w);
        if (v && *v < 0x100000000ull) {
            std::ostringstream hex;
            hex << std::hex << *v;
            check(kestrel::batch::strictHex(hex.str()) == v);
            check(kestrel::batch::strictHex("0x" + hex.str()) == v);
            check(kestrel::batch::strictHex(hex.str() + "h") == v);
        }
    }

    const Invocation inv = kestrel::batch::parseCommandLine(words);
    if (inv.mode == Mode::Error) {
        check(!inv.error.empty() && inv.error.find('\n') == std::string::npos);
        check(!inv.hint.empty());
        return 0;
    }
    if (inv.mode != Mode::Batch) return 0;
    checkRanges(inv);
    // Files and adapters of the machine stay out of reach.
    const kestrel::ConnectionOptions& c = inv.options.connection;
    if (!runnableHere(inv) || !c.simStatePath.empty() || !c.tracePath.empty() ||
        !c.i2cAdapter.empty())
        return 0;

    kestrel::sim::SimulatedBoard board;
    board.kestrel().setStatusActivity(false);
    kestrel::batch::Environment env;
    env.port = &board;
    std::ostringstream out, err;
    const int code = kestrel::batch::run(words, env, out, err);
    // A healthy board: a command for a chip that is there succeeds and says
    // nothing amiss; one for an address nobody answers fails with code 2, and
    // so does a read of a "register" from 80h up, which the chip takes as the
    // high byte of an EEPROM address.
    const bool answered =
        (inv.options.slave == 0xAE || inv.options.slave == 0xA0) &&
        (inv.command != Command::Switch || inv.numbers[0] == 0x90 || inv.numbers[0] == 0x98) &&
        (inv.command != Command::Read || inv.numbers[0] < 0x80);
    if (answered || inv.command == Command::Detect) {
        check(code == 0);
        check(err.str().empty());
    } else {
        check(code == 0 || code == 2);
    }
    return 0;
}
