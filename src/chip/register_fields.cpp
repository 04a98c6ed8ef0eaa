#include "chip/register_fields.h"

namespace kestrel::chip {

namespace {

using Names = std::array<std::string_view, 8>;

constexpr Names kPlainBits = {"b7", "b6", "b5", "b4", "b3", "b2", "b1", "b0"};
constexpr Names kShareBits = {"b7", "b6", "b5", "b4", "b3", "b2", "b1", "n/a"};

// Sign and magnitude codes shared by the gain and offset fields.
std::vector<FieldSetting> signMagnitude(std::string_view m1, std::string_view m2,
                                        std::string_view m3, std::string_view p1,
                                        std::string_view p2, std::string_view p3) {
    return {{"000", m1}, {"001", m2}, {"010", m3}, {"100", p1}, {"101", p2}, {"110", p3}};
}

std::vector<FieldSetting> twoBitCodes(std::string_view c00, std::string_view c01,
                                      std::string_view c10, std::string_view c11) {
    return {{"00", c00}, {"01", c01}, {"10", c10}, {"11", c11}};
}

std::vector<RegisterFields> table() {
    return {
        {0x03, {"hys1", "hys0", "off1", "off0", "gatepen", "gateramp", "fg_deb", "fg_deb"}, {}},
        {0x04,
         {"lim4", "lim3", "lim2", "lim1", "lim0", "n/c", "shrok1", "shrok0"},
         {{"shareok threshold", 1, 0, twoBitCodes("5%", "10%", "15%", "20%")}}},
        {0x05, kShareBits, {}},
        {0x06, kShareBits, {}},
        {0x09, kPlainBits, {}},
        {0x0A, kPlainBits, {}},
        {0x0C, {"Thres3", "Thres2", "Thres1", "Thres0", "Hyst3", "Hyst2", "Hys1", "Hys0"}, {}},
        {0x10,
         {"pots1", "pots0", "capture1", "capture0", "ssrs1", "ssrs0", "add1", "trim_lock"},
         {{"soft start step", 3, 2, twoBitCodes("0ms", "4ms", "8ms", "16ms")},
          {"share bus capture", 5, 4, twoBitCodes("1%", "2%", "3%", "4%")},
          {"DCok off delay", 7, 6, twoBitCodes("2ms", "0ms", "1ms", "4ms")}}},
        {0x14, {"cm7", "cm6", "cm5", "cm4", "cm3", "cm2", "cm1", "cm0"}, {}},
        {0x15, {"off7", "off6", "off5", "off4", "off3", "off2", "off1", "off0"}, {}},
        {0x16,
         {"n/a", "n/a", "pol", "tol1", "tol0", "gain2", "gain1", "gain0"},
         {{"Resistor Divider Tolerances", 4, 3, {{"00", "0.25%"}, {"01", "0.5%"}, {"10", "1%"}}},
          {"Gain", 2, 0, signMagnitude("65x", "85x", "110x", "135x", "175x", "230x")}}},
        {0x17,
         {"mode", "chop", "ict gain", "gnd off", "n/a", "off2", "off1", "off0"},
         {{"Current Sense Mode", 7, 7, {{"0", "Current Sense"}, {"1", "Current Transformer"}}},
          {"chopper select", 6, 6, {{"1", "chopper"}, {"0", "continuous time"}}},
          {"Ict Gain", 5, 5, {{"0", "4.5x"}, {"1", "3.0x"}}},
          {"Offset trim", 2, 0, signMagnitude("-1x", "-2x", "-4x", "+1x", "+2x", "+4x")}}},
        {0x18, kPlainBits, {}},
        {0x19, kPlainBits, {}},
    };
}

}  // namespace

const std::vector<RegisterFields>& registerFields() {
    static const std::vector<RegisterFields> fields = table();
    return fields;
}

const RegisterFields* fieldsOf(int reg) {
    for (const RegisterFields& r : registerFields())
        if (r.reg == reg) return &r;
    return nullptr;
}

}  // namespace kestrel::chip
