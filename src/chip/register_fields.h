#pragma once

#include <array>
#include <string_view>
#include <vector>

// What the bits of the trim and configuration registers mean: each bit's
// name and the fields whose bit patterns have named settings ("Gain": 100b
// is 135x). The register editors show them and board snapshots name
// settings with them.
namespace kestrel::chip {

// One named setting of a field: the field's bits, highest first ("01").
struct FieldSetting {
    std::string_view pattern;
    std::string_view name;
};

// A run of adjacent bits with named settings.
struct Field {
    std::string_view name;  // "Gain"
    int highBit;
    int lowBit;
    std::vector<FieldSetting> settings;  // in the order the editors offer them
};

struct RegisterFields {
    int reg;
    std::array<std::string_view, 8> bitNames;  // bit 7 first
    std::vector<Field> fields;                  // in decode order
};

// Every register with bit names, ascending.
const std::vector<RegisterFields>& registerFields();
// The register's bit names and fields; nullptr for a register without them.
const RegisterFields* fieldsOf(int reg);

}  // namespace kestrel::chip
