#include "device/editor_tables.h"

namespace kestrel::editors {

namespace {

using Names = std::array<std::string_view, 8>;

constexpr Names kPlainBits = {"b7", "b6", "b5", "b4", "b3", "b2", "b1", "b0"};
constexpr Names kLabels1to8 = {"Label1", "Label2", "Label3", "Label4",
                               "Label5", "Label6", "Label7", "Label8"};
constexpr Names kLabels11to18 = {"Label11", "Label12", "Label13", "Label14",
                                 "Label15", "Label16", "Label17", "Label18"};
constexpr Names kLabels21to28 = {"Label21", "Label22", "Label23", "Label24",
                                 "Label25", "Label26", "Label27", "Label28"};

// Sign and magnitude codes shared by the gain and offset fields.
std::vector<OptionDef> signMagnitude(std::string_view m1, std::string_view m2, std::string_view m3,
                                     std::string_view p1, std::string_view p2,
                                     std::string_view p3) {
    return {{.pattern = "000", .caption = m1}, {.pattern = "001", .caption = m2},
            {.pattern = "010", .caption = m3}, {.pattern = "100", .caption = p1},
            {.pattern = "101", .caption = p2}, {.pattern = "110", .caption = p3}};
}

std::vector<OptionDef> twoBitCodes(std::string_view c00, std::string_view c01, std::string_view c10,
                                   std::string_view c11) {
    return {{.pattern = "00", .caption = c00},
            {.pattern = "01", .caption = c01},
            {.pattern = "10", .caption = c10},
            {.pattern = "11", .caption = c11}};
}

EditorDef acSense() {
    return {.windowName = "frm_acsns",
            .title = "ACsense, pulseok",
            .heading = "ACsense and Pulseok",
            .hint = true,
            .exitName = "exit",
            .exitCaption = "exit",
            .groups = {{.reg = 0x0C,
                        .frameName = "acsense",
                        .frameCaption = "ACSense Trim (0Ch)",
                        .readName = "read0C",
                        .readCaption = "Read ACSNS Trim",
                        .bitsName = "reg0c",
                        .hexName = "reg0Ch",
                        .bitNames = {"Thres3", "Thres2", "Thres1", "Thres0", "Hyst3", "Hyst2",
                                     "Hys1", "Hys0"},
                        .bitNameObjects = kLabels1to8,
                        .rowsOfFour = true}},
            .loadOrder = {0},
            .menuName = "mnuACSNS",
            .menuCaption = "ACsense"};
}

EditorDef currentSense() {
    const RegisterGroupDef trim1{
        .reg = 0x14,
        .frameName = "isense1",
        .frameCaption = "Current Sense Trim1 (14h)",
        .readName = "read14",
        .readCaption = "Read Current Sense Trim1 (14h)",
        .bitsName = "reg14",
        .hexName = "reg14h",
        .bitNames = {"cm7", "cm6", "cm5", "cm4", "cm3", "cm2", "cm1", "cm0"},
        .bitNameObjects = kLabels1to8,
        .staggerNames = true};
    const RegisterGroupDef trim2{
        .reg = 0x15,
        .frameName = "isense2",
        .frameCaption = "Current Sense Trim2 (15h)",
        .readName = "read15",
        .readCaption = "Read Current Sense Trim2 (15h)",
        .bitsName = "reg15",
        .hexName = "reg15h",
        .bitNames = {"off7", "off6", "off5", "off4", "off3", "off2", "off1", "off0"},
        .bitNameObjects = kLabels11to18,
        .staggerNames = true};
    const RegisterGroupDef trim3{
        .reg = 0x16,
        .frameName = "Frame1",
        .frameCaption = "Current Sense Trim3 (16h)",
        .readName = "read16",
        .readCaption = "Read Current Sense Trim3 (16h)",
        .bitsName = "reg16",
        .hexName = "reg16h",
        .bitNames = {"n/a", "n/a", "pol", "tol1", "tol0", "gain2", "gain1", "gain0"},
        .bitNameObjects = {"Label27", "Label26", "Label25", "Label24", "Label23", "Label22",
                           "Label21", "Label20"},
        .optionGroups = {{.frameName = "Frame2",
                          .frameCaption = "Resistor Divider Tolerances",
                          .optionName = "Option1",
                          .highBit = 4,
                          .lowBit = 3,
                          .options = {{.pattern = "00", .caption = "0.25%"},
                                      {.pattern = "01", .caption = "0.5%"},
                                      {.pattern = "10", .caption = "1%"}},
                          .row = 0,
                          .column = 1,
                          .buttonColumns = 1},
                         {.frameName = "Frame3",
                          .frameCaption = "Gain",
                          .optionName = "Option2",
                          .highBit = 2,
                          .lowBit = 0,
                          .options = signMagnitude("65x", "85x", "110x", "135x", "175x", "230x"),
                          .row = 0,
                          .column = 0,
                          .buttonColumns = 2}},
        .staggerNames = true};
    const RegisterGroupDef trim4{
        .reg = 0x17,
        .frameName = "Frame4",
        .frameCaption = "Current Sense Trim4 (17h)",
        .readName = "read17",
        .readCaption = "Read Current Sense Trim4 (17h)",
        .bitsName = "reg17",
        .hexName = "reg17h",
        .bitNames = {"mode", "chop", "ict gain", "gnd off", "n/a", "off2", "off1", "off0"},
        .bitNameObjects = {"Label19", "Label28", "Label29", "Label30", "Label31", "Label32",
                           "Label33", "Label34"},
        .optionGroups = {{.frameName = "Frame5",
                          .frameCaption = "Current Sense Mode",
                          .optionName = "Option3",
                          .highBit = 7,
                          .lowBit = 7,
                          .options = {{.pattern = "0", .caption = "Current Sense"},
                                      {.pattern = "1", .caption = "Current Transformer"}},
                          .row = 0,
                          .column = 0,
                          .buttonColumns = 1},
                         {.frameName = "Frame6",
                          .frameCaption = "chopper select",
                          .optionName = "Option4",
                          .highBit = 6,
                          .lowBit = 6,
                          .options = {{.pattern = "1", .caption = "chopper"},
                                      {.pattern = "0", .caption = "continuous time"}},
                          .row = 0,
                          .column = 1,
                          .buttonColumns = 1},
                         {.frameName = "Frame7",
                          .frameCaption = "Ict Gain",
                          .optionName = "Option5",
                          .highBit = 5,
                          .lowBit = 5,
                          .options = {{.pattern = "0", .caption = "4.5x"},
                                      {.pattern = "1", .caption = "3.0x"}},
                          .row = 1,
                          .column = 0,
                          .buttonColumns = 1},
                         {.frameName = "Frame8",
                          .frameCaption = "Offset trim",
                          .optionName = "Option6",
                          .highBit = 2,
                          .lowBit = 0,
                          .options = signMagnitude("-1x", "-2x", "-4x", "+1x", "+2x", "+4x"),
                          .row = 1,
                          .column = 1,
                          .buttonColumns = 2}},
        .staggerNames = true};
    return {.windowName = "frm_idiff",
            .title = "Current Sense & Current Transformer Config",
            .heading = "Differential Current Sense",
            .hint = true,
            .exitName = "Command5",
            .exitCaption = "Exit",
            .groups = {trim1, trim2, trim3, trim4},
            .loadOrder = {0, 1, 2, 3},
            .frameColumns = 2,
            .menuName = "mnuIDIFF",
            .menuCaption = "Current Sense"};
}

EditorDef currentLimit() {
    return {
        .windowName = "frm_ilim",
        .title = "Current Limit and Shareok",
        .heading = "Current Limit and Shareok Trim",
        .hint = true,
        .exitName = "Command2",
        .exitCaption = "Exit",
        .groups = {{.reg = 0x04,
                    .frameName = "acsense",
                    .frameCaption = "Current Limit and Shareok Trim (04h)",
                    .readName = "read04",
                    .readCaption = "Read Current Limit Trim (04h)",
                    .bitsName = "reg04",
                    .hexName = "reg04h",
                    .bitNames = {"lim4", "lim3", "lim2", "lim1", "lim0", "n/c", "shrok1", "shrok0"},
                    .bitNameObjects = kLabels1to8,
                    .optionGroups = {{.frameName = "Frame1",
                                      .frameCaption = "shareok threshold",
                                      .optionName = "Option1",
                                      .highBit = 1,
                                      .lowBit = 0,
                                      .options = twoBitCodes("5%", "10%", "15%", "20%"),
                                      .row = 0,
                                      .column = 1,
                                      .buttonColumns = 1}}}},
        .loadOrder = {0},
        .menuName = "mnuILIM",
        .menuCaption = "Current Limit"};
}

EditorDef localSense() {
    return {.windowName = "frm_local",
            .title = "Local Sense: False UV, OVP,UVP",
            .heading = "",
            .hint = false,
            .exitName = "Command5",
            .exitCaption = "Exit",
            .groups = {{.reg = 0x18,
                        .frameName = "acsense",
                        .frameCaption = "UV Clamp Threshold (18h)",
                        .readName = "read18",
                        .readCaption = "Read UV Clamp Threshold (18h)",
                        .bitsName = "reg18",
                        .hexName = "reg18h",
                        .bitNames = kPlainBits,
                        .bitNameObjects = kLabels1to8},
                       {.reg = 0x0A,
                        .frameName = "Frame1",
                        .frameCaption = "Local OVP Threshold (0Ah)",
                        .readName = "read0A",
                        .readCaption = "Read Local OVP Threshold (0Ah)",
                        .bitsName = "reg0A",
                        .hexName = "reg0Ah",
                        .bitNames = kPlainBits,
                        .bitNameObjects = kLabels11to18},
                       {.reg = 0x09,
                        .frameName = "Frame2",
                        .frameCaption = "Local UVP Threshold (09h)",
                        .readName = "read09",
                        .readCaption = "Read Local UVP Threshold (09h)",
                        .bitsName = "reg09",
                        .hexName = "reg09h",
                        .bitNames = kPlainBits,
                        .bitNameObjects = kLabels21to28}},
            .loadOrder = {2, 1, 0},
            .menuName = "mnuLCL",
            .menuCaption = "Local Voltage (OVP & UVP)"};
}

EditorDef reverseVoltage() {
    return {.windowName = "frm_rev",
            .title = "Reverse Voltage Detector",
            .heading = "Reverse Voltage Detector",
            .hint = true,
            .exitName = "Command2",
            .exitCaption = "Exit",
            .groups = {{.reg = 0x03,
                        .frameName = "acsense",
                        .frameCaption = "Reverse Voltage Trim (03h)",
                        .readName = "read03",
                        .readCaption = "Read Load Voltage Trim (03h)",
                        .bitsName = "reg03",
                        .hexName = "reg03h",
                        .bitNames = {"hys1", "hys0", "off1", "off0", "gatepen", "gateramp",
                                     "fg_deb", "fg_deb"},
                        .bitNameObjects = kLabels1to8,
                        .staggerNames = true}},
            .loadOrder = {0},
            .menuName = "mnuREV",
            .menuCaption = "Reverse Voltage Detector"};
}

EditorDef shareBus() {
    constexpr Names shareNames = {"b7", "b6", "b5", "b4", "b3", "b2", "b1", "n/a"};
    return {.windowName = "frm_shroff",
            .title = "Share Bus Offset/Slope",
            .heading = "Share Bus Offset & Slope",
            .hint = true,
            .exitName = "Command5",
            .exitCaption = "Exit",
            .groups = {{.reg = 0x05,
                        .frameName = "acsense",
                        .frameCaption = "Share Bus Offset (05h)",
                        .readName = "read05",
                        .readCaption = "Read Share Bus Offset (05h)",
                        .bitsName = "reg05",
                        .hexName = "reg05h",
                        .bitNames = shareNames,
                        .bitNameObjects = kLabels1to8},
                       {.reg = 0x06,
                        .frameName = "Frame1",
                        .frameCaption = "Share Bus Slope (06h)",
                        .readName = "read06",
                        .readCaption = "Read Share Bus Slope (06h)",
                        .bitsName = "reg06",
                        .hexName = "reg06h",
                        .bitNames = shareNames,
                        .bitNameObjects = kLabels11to18}},
            .loadOrder = {0, 1},
            .menuName = "mnuSHR",
            .menuCaption = "Share Bus Offset and Gain",
            .switchWindowFollows = true};
}

EditorDef loadVoltage() {
    return {.windowName = "frm_vdiff",
            .title = "Differential Load Voltage",
            .heading = "Differential Load Voltage",
            .hint = true,
            .exitName = "Command2",
            .exitCaption = "Exit",
            .groups = {{.reg = 0x19,
                        .frameName = "acsense",
                        .frameCaption = "Differential Load Voltage Trim (19h)",
                        .readName = "read19",
                        .readCaption = "Read Load Voltage Trim (19h)",
                        .bitsName = "reg19",
                        .hexName = "reg19h",
                        .bitNames = kPlainBits,
                        .bitNameObjects = kLabels1to8}},
            .loadOrder = {0},
            .menuName = "mnuVDIFF",
            .menuCaption = "Load Voltage"};
}

EditorDef softStart() {
    return {.windowName = "frm_sstart",
            .title = "Soft Start",
            .heading = "",
            .hint = false,
            .exitName = "Command5",
            .exitCaption = "Exit",
            .groups = {{.reg = 0x10,
                        .frameName = "acsense",
                        .frameCaption = "Config4 (10h)",
                        .readName = "read10",
                        .readCaption = "Read Config4 (10h)",
                        .bitsName = "reg10",
                        .hexName = "reg10h",
                        .bitNames = {"pots1", "pots0", "capture1", "capture0", "ssrs1", "ssrs0",
                                     "add1", "trim_lock"},
                        .bitNameObjects = kLabels1to8,
                        .optionGroups = {{.frameName = "Frame1",
                                          .frameCaption = "soft start step",
                                          .optionName = "Option1",
                                          .highBit = 3,
                                          .lowBit = 2,
                                          .options = twoBitCodes("0ms", "4ms", "8ms", "16ms"),
                                          .row = 0,
                                          .column = 2,
                                          .buttonColumns = 1},
                                         {.frameName = "Frame2",
                                          .frameCaption = "share bus capture",
                                          .optionName = "Option2",
                                          .highBit = 5,
                                          .lowBit = 4,
                                          .options = twoBitCodes("1%", "2%", "3%", "4%"),
                                          .row = 0,
                                          .column = 1,
                                          .buttonColumns = 1},
                                         {.frameName = "Frame3",
                                          .frameCaption = "DCok off delay",
                                          .optionName = "Option3",
                                          .highBit = 7,
                                          .lowBit = 6,
                                          .options = twoBitCodes("2ms", "0ms", "1ms", "4ms"),
                                          .row = 0,
                                          .column = 0,
                                          .buttonColumns = 1}},
                        .staggerNames = true}},
            .loadOrder = {0},
            .menuName = "mnuSFTSTRT",
            .menuCaption = "Soft Start"};
}

}  // namespace

const std::vector<EditorDef>& allEditors() {
    static const std::vector<EditorDef> editors = {
        acSense(),        currentSense(), currentLimit(), localSense(),
        reverseVoltage(), shareBus(),     loadVoltage(),  softStart(),
    };
    return editors;
}

const EditorDef* findEditor(std::string_view windowName) {
    for (const EditorDef& e : allEditors())
        if (e.windowName == windowName) return &e;
    return nullptr;
}

}  // namespace kestrel::editors
