#include "editors/editor_tables.h"

#include "chip/register_fields.h"

namespace kestrel::editors {

namespace {

using Names = std::array<std::string_view, 8>;

constexpr Names kLabels1to8 = {"Label1", "Label2", "Label3", "Label4",
                               "Label5", "Label6", "Label7", "Label8"};
constexpr Names kLabels11to18 = {"Label11", "Label12", "Label13", "Label14",
                                 "Label15", "Label16", "Label17", "Label18"};
constexpr Names kLabels21to28 = {"Label21", "Label22", "Label23", "Label24",
                                 "Label25", "Label26", "Label27", "Label28"};

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
        .bitNameObjects = {"Label27", "Label26", "Label25", "Label24", "Label23", "Label22",
                           "Label21", "Label20"},
        .optionGroups = {{.frameName = "Frame2",
                          .optionName = "Option1",
                          .row = 0,
                          .column = 1,
                          .buttonColumns = 1},
                         {.frameName = "Frame3",
                          .optionName = "Option2",
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
        .bitNameObjects = {"Label19", "Label28", "Label29", "Label30", "Label31", "Label32",
                           "Label33", "Label34"},
        .optionGroups = {{.frameName = "Frame5",
                          .optionName = "Option3",
                          .row = 0,
                          .column = 0,
                          .buttonColumns = 1},
                         {.frameName = "Frame6",
                          .optionName = "Option4",
                          .row = 0,
                          .column = 1,
                          .buttonColumns = 1},
                         {.frameName = "Frame7",
                          .optionName = "Option5",
                          .row = 1,
                          .column = 0,
                          .buttonColumns = 1},
                         {.frameName = "Frame8",
                          .optionName = "Option6",
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
                    .bitNameObjects = kLabels1to8,
                    .optionGroups = {{.frameName = "Frame1",
                                      .optionName = "Option1",
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
                        .bitNameObjects = kLabels1to8},
                       {.reg = 0x0A,
                        .frameName = "Frame1",
                        .frameCaption = "Local OVP Threshold (0Ah)",
                        .readName = "read0A",
                        .readCaption = "Read Local OVP Threshold (0Ah)",
                        .bitsName = "reg0A",
                        .hexName = "reg0Ah",
                        .bitNameObjects = kLabels11to18},
                       {.reg = 0x09,
                        .frameName = "Frame2",
                        .frameCaption = "Local UVP Threshold (09h)",
                        .readName = "read09",
                        .readCaption = "Read Local UVP Threshold (09h)",
                        .bitsName = "reg09",
                        .hexName = "reg09h",
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
                        .bitNameObjects = kLabels1to8,
                        .staggerNames = true}},
            .loadOrder = {0},
            .menuName = "mnuREV",
            .menuCaption = "Reverse Voltage Detector"};
}

EditorDef shareBus() {
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
                        .bitNameObjects = kLabels1to8},
                       {.reg = 0x06,
                        .frameName = "Frame1",
                        .frameCaption = "Share Bus Slope (06h)",
                        .readName = "read06",
                        .readCaption = "Read Share Bus Slope (06h)",
                        .bitsName = "reg06",
                        .hexName = "reg06h",
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
                        .bitNameObjects = kLabels1to8,
                        .optionGroups = {{.frameName = "Frame1",
                                          .optionName = "Option1",
                                          .row = 0,
                                          .column = 2,
                                          .buttonColumns = 1},
                                         {.frameName = "Frame2",
                                          .optionName = "Option2",
                                          .row = 0,
                                          .column = 1,
                                          .buttonColumns = 1},
                                         {.frameName = "Frame3",
                                          .optionName = "Option3",
                                          .row = 0,
                                          .column = 0,
                                          .buttonColumns = 1}},
                        .staggerNames = true}},
            .loadOrder = {0},
            .menuName = "mnuSFTSTRT",
            .menuCaption = "Soft Start"};
}

// The screen layout joined with what the chip's bits mean: each register's
// bit names, and each option group's field (the one at the same place in
// the register's fields), its caption, bits and settings.
EditorDef withMeanings(EditorDef editor) {
    for (RegisterGroupDef& group : editor.groups) {
        const chip::RegisterFields* meaning = chip::fieldsOf(group.reg);
        if (meaning == nullptr) continue;
        group.bitNames = meaning->bitNames;
        for (std::size_t i = 0; i < group.optionGroups.size() && i < meaning->fields.size(); ++i) {
            OptionGroupDef& og = group.optionGroups[i];
            const chip::Field& field = meaning->fields[i];
            og.frameCaption = field.name;
            og.highBit = field.highBit;
            og.lowBit = field.lowBit;
            og.options.clear();
            for (const chip::FieldSetting& setting : field.settings)
                og.options.push_back({setting.pattern, setting.name});
        }
    }
    return editor;
}

}  // namespace

const std::vector<EditorDef>& allEditors() {
    static const std::vector<EditorDef> editors = {
        withMeanings(acSense()),        withMeanings(currentSense()),
        withMeanings(currentLimit()),   withMeanings(localSense()),
        withMeanings(reverseVoltage()), withMeanings(shareBus()),
        withMeanings(loadVoltage()),    withMeanings(softStart()),
    };
    return editors;
}

const EditorDef* findEditor(std::string_view windowName) {
    for (const EditorDef& e : allEditors())
        if (e.windowName == windowName) return &e;
    return nullptr;
}

}  // namespace kestrel::editors
