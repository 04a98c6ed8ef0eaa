#pragma once

#include <array>

#include "chip/kestrel_map.h"

// The KESTREL's status registers as the windows name them: the live
// registers 00h..02h and their latched copies 2Ah..2Ch.
namespace kestrel::status {

inline constexpr std::array<int, 6> kRegisters = chip::kStatusRegisters;

// Bit names, bit 7 first; a latched register carries its live register's names.
inline constexpr std::array<std::array<const char*, 8>, 3> kBitNames = {{
    {"ovfault", "uvfault", "ocpto", "mfg1", "mfg2", "mfg3", "mfg4", "mfg5"},
    {"shareok", "orfetok", "reverseok", "vddok", "gndok", "intrefok", "extrefok", "vddov"},
    {"m_acsns_r", "m_pson_r", "m_penok_r", "m_psonok_r", "m_dcok_r", "ocpf", "pulseok", "fault"},
}};

// Position 0..5 of a status register in kRegisters, or -1.
constexpr int indexOf(int address) {
    for (int i = 0; i < static_cast<int>(kRegisters.size()); ++i)
        if (kRegisters[static_cast<std::size_t>(i)] == address) return i;
    return -1;
}

// The name of bit `bit` (0..7) of the register at position `index`.
constexpr const char* bitName(int index, int bit) {
    return kBitNames[static_cast<std::size_t>(index % 3)][static_cast<std::size_t>(7 - bit)];
}

}  // namespace kestrel::status
