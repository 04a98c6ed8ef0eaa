// Writes the chip map as a Python module for the sigrok decoder (chip.py):
// the register names, the address bytes, the EEPROM range and command bytes,
// so that the decoder and the program name things from one source.
#include <cstdio>
#include <string>
#include <string_view>

#include "chip/kestrel_map.h"
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
    const bool ok = std::ferror(out) == 0;
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
