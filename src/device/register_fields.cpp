#include "device/register_fields.h"

#include <algorithm>

#include "device/editor_tables.h"

namespace kestrel::fields {

namespace {

// The field's bits of `value`, highest first, as the option tables write them.
std::string patternOf(int value, int highBit, int lowBit) {
    std::string bits;
    for (int b = highBit; b >= lowBit; --b) bits += ((value >> b) & 1) != 0 ? '1' : '0';
    return bits;
}

}  // namespace

std::vector<Setting> settingsOf(int reg, int value) {
    std::vector<Setting> settings;
    for (const editors::EditorDef& editor : editors::allEditors()) {
        for (const editors::RegisterGroupDef& group : editor.groups) {
            if (group.reg != reg) continue;
            for (const editors::OptionGroupDef& option : group.optionGroups) {
                const std::string field(option.frameCaption);
                // A register shown by two editors is named once.
                if (std::any_of(settings.begin(), settings.end(),
                                [&](const Setting& s) { return s.field == field; }))
                    continue;
                const std::string bits = patternOf(value, option.highBit, option.lowBit);
                std::string setting = bits + "b";
                for (const editors::OptionDef& o : option.options)
                    if (o.pattern == bits) setting = std::string(o.caption);
                settings.push_back({field, setting, option.highBit, option.lowBit});
            }
        }
    }
    return settings;
}

std::string settingsText(int reg, int value) {
    std::string text;
    for (const Setting& s : settingsOf(reg, value)) text += "  " + s.field + ": " + s.setting;
    return text;
}

}  // namespace kestrel::fields
