#pragma once

#include <string>
#include <vector>

// The named settings of a register's option fields, as the register editors
// show them ("Gain: 175x"), decoded from a register value.
namespace kestrel::fields {

struct Setting {
    std::string field;    // the editor's frame caption: "Gain"
    std::string setting;  // the option's caption, or the bits when no option has them ("011b")
    int highBit = 0;
    int lowBit = 0;
};

// Every option field the editors know for `reg`, in the editors' order;
// empty for a register without named fields.
std::vector<Setting> settingsOf(int reg, int value);

// The settings as they follow a register's value in a line: two blanks
// before each "field: setting"; empty when the register has none.
std::string settingsText(int reg, int value);

}  // namespace kestrel::fields
