#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kestrel {

// The RAM registers 00h..1Dh with their names, each padded with the tab
// count that lines the read-out up in the main window's register list.
struct RegisterName {
    std::string_view name;
    int tabs;
};

inline constexpr std::array<RegisterName, 30> kRegisterMap = {{
    {"Status1", 4},
    {"Status2", 4},
    {"Status3", 4},
    {"Misc Cal Bits", 3},
    {"Current Sense CC", 3},
    {"Current Share Offset", 2},
    {"Current Share Slope", 2},
    {"EEPROM Lock", 3},
    {"Load OV Fine Trim", 3},
    {"Local OVP Trim", 3},
    {"Local UVP Trim", 3},
    {"OTP Trim", 4},
    {"ACSNS Trim", 3},
    {"Config 1", 4},
    {"Config 2", 4},
    {"Config 3", 4},
    {"Config 4", 4},
    {"Config 5", 4},
    {"Config 6", 4},
    {"Config 7", 4},
    {"Current Sense Divider Error Trim", 1},
    {"Current Sense Amplifier Offset Trim", 1},
    {"Current Sense Config 1", 2},
    {"Current Sense Config 2", 2},
    {"UV Clamp Trim", 3},
    {"Diff Sense Trim", 3},
    {"Sel CBD/SMBAlert 1", 2},
    {"Sel CBD/SMNAlert 2", 2},
    {"Manufacturer's ID", 3},
    {"Revision Register", 3},
}};

// Name and tabs of register i, as the register list shows it.
inline std::string registerListLine(std::size_t i) {
    return std::string(kRegisterMap.at(i).name) +
           std::string(static_cast<std::size_t>(kRegisterMap.at(i).tabs), '\t');
}

// One read-out line: the register's list line, then "1Dh: 21h  ".
std::string readoutLine(std::size_t reg, int value);

}  // namespace kestrel
