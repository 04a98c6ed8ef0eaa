// Writes the chip map as a Python module for the sigrok decoder (chip.py):
// the register names, the address bytes, the EEPROM range and command bytes
// and the table of transaction kinds, so that the decoder and the program
// name things from one source.
#include <cstdio>
#include <string>
#include <string_view>

#include "chip/kestrel_map.h"
#include "chip/transaction_kinds.h"
#include "device/register_map.h"

namespace {

// A Python string literal.
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'') out += '\\';
        out += c;
    }
    return out + "'";
}

const char* slaveName(kestrel::chip::Slave s) {
    using kestrel::chip::Slave;
    return s == Slave::Kestrel  ? "kestrel"
           : s == Slave::Plover ? "plover"
           : s == Slave::Other  ? "other"
                                : "any";
}

const char* readName(kestrel::chip::ReadPhase r) {
    using kestrel::chip::ReadPhase;
    return r == ReadPhase::Bytes ? "bytes" : r == ReadPhase::Block ? "block" : "none";
}

const char* targetName(kestrel::chip::TargetFrom t) {
    using kestrel::chip::TargetFrom;
    switch (t) {
        case TargetFrom::Register:
            return "register";
        case TargetFrom::Eeprom:
            return "eeprom";
        case TargetFrom::ErasePage:
            return "erase-page";
        case TargetFrom::Pointer:
            return "pointer";
        default:
            return "none";
    }
}

std::string pattern(const kestrel::chip::BytePattern& p) {
    using kestrel::chip::BytePattern;
    char buf[32];
    switch (p.kind) {
        case BytePattern::Register:
            return "('register', None)";
        case BytePattern::EepromHigh:
            return "('eeprom-high', None)";
        case BytePattern::Exactly:
            std::snprintf(buf, sizeof buf, "('exactly', 0x%02X)", p.value);
            return buf;
        default:
            return "('any', None)";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.py\n", argv[0]);
        return 2;
    }
    FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    namespace c = kestrel::chip;
    std::fprintf(out, "# Generated from the program's chip map at build time; do not edit.\n\n");
    std::fprintf(out, "REGISTERS = {\n");
    for (std::size_t i = 0; i < kestrel::kRegisterMap.size(); ++i)
        std::fprintf(out, "    0x%02zX: %s,\n", i, quoted(kestrel::kRegisterMap[i].name).c_str());
    std::fprintf(out, "}\n\n");
    std::fprintf(out, "KESTREL_ADDRESS = 0x%02X\n", c::kBroadcastAddress);
    std::fprintf(out, "PLOVER_ADDRESSES = (0x%02X, 0x%02X)\n", c::kPloverAddress,
                 c::kSecondPloverAddress);
    std::fprintf(out, "EEPROM_ADDRESS_HIGH_MIN = 0x%02X\n", c::kEepromAddressHighMin);
    std::fprintf(out, "PAGE_ERASE = 0x%02X\n", c::kPageEraseCommand);
    std::fprintf(out, "ERASE_CONFIRM = 0x%02X\n", c::kEraseConfirm);
    std::fprintf(out, "BLOCK_READ = 0x%02X\n", c::kBlockReadCommand);
    std::fprintf(out, "BLOCK_COUNT = 0x%02X\n", c::kBlockReadCount);
    std::fprintf(out, "HOLD_MS = %d\n", c::kEepromHoldMs);
    std::fprintf(out, "ZERO_WRITE_HOLD_MS = %.17g\n", c::kZeroWriteHoldMs);
    std::fprintf(out, "MALFORMED = %s\n\n", quoted(c::kMalformed).c_str());
    // The kinds in order: a transaction is the first that fits.
    std::fprintf(out, "KINDS = (\n");
    for (const c::KindShape& k : c::kTransactionKinds) {
        std::string written;
        for (std::size_t i = 0; i < k.writeCount; ++i) written += pattern(k.written[i]) + ", ";
        std::fprintf(out,
                     "    {'name': %s, 'slave': '%s', 'written': (%s), 'read': '%s', "
                     "'read_count': %d, 'pec': %s, 'held': %s, 'target': '%s', "
                     "'sets_pointer': %s, 'text': %s},\n",
                     quoted(k.name).c_str(), slaveName(k.slave), written.c_str(), readName(k.read),
                     k.readCount, k.pec ? "True" : "False",
                     k.hold == c::Hold::Held ? "True" : "False", targetName(k.target),
                     k.setsPointer ? "True" : "False", quoted(k.text).c_str());
    }
    std::fprintf(out, ")\n");
    const bool ok = std::ferror(out) == 0;
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
