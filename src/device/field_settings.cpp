#include "device/field_settings.h"

#include "chip/register_fields.h"

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
    const chip::RegisterFields* meaning = chip::fieldsOf(reg);
    if (meaning == nullptr) return settings;
    for (const chip::Field& field : meaning->fields) {
        const std::string bits = patternOf(value, field.highBit, field.lowBit);
        std::string setting = bits + "b";
        for (const chip::FieldSetting& s : field.settings)
            if (s.pattern == bits) setting = std::string(s.name);
        settings.push_back({std::string(field.name), setting, field.highBit, field.lowBit});
    }
    return settings;
}

std::string settingsText(int reg, int value) {
    std::string text;
    for (const Setting& s : settingsOf(reg, value)) text += "  " + s.field + ": " + s.setting;
    return text;
}

}  // namespace kestrel::fields
