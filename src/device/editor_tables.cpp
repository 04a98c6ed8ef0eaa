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
    return {{"000", m1}, {"001", m2}, {"010", m3}, {"100", p1}, {"101", p2}, {"110", p3}};
}

std::vector<OptionDef> twoBitCodes(std::string_view c00, std::string_view c01, std::string_view c10,
                                   std::string_view c11) {
    return {{"00", c00}, {"01", c01}, {"10", c10}, {"11", c11}};
}

std::vector<EditorDef> buildEditors() {
    std::vector<EditorDef> all;

    all.push_back({"frm_acsns",
                   "ACsense, pulseok",
                   "ACsense and Pulseok",
                   true,
                   "exit",
                   "exit",
                   {{0x0C,
                     "acsense",
                     "ACSense Trim (0Ch)",
                     "read0C",
                     "Read ACSNS Trim",
                     "reg0c",
                     "reg0Ch",
                     {"Thres3", "Thres2", "Thres1", "Thres0", "Hyst3", "Hyst2", "Hys1", "Hys0"},
                     kLabels1to8,
                     {},
                     true,
                     false}},
                   {0},
                   1,
                   "mnuACSNS",
                   "ACsense"});

    RegisterGroupDef r16{
        0x16,
        "Frame1",
        "Current Sense Trim3 (16h)",
        "read16",
        "Read Current Sense Trim3 (16h)",
        "reg16",
        "reg16h",
        {"n/a", "n/a", "pol", "tol1", "tol0", "gain2", "gain1", "gain0"},
        {"Label27", "Label26", "Label25", "Label24", "Label23", "Label22", "Label21", "Label20"},
        {},
        false,
        true};
    r16.optionGroups = {
        {"Frame2",
         "Resistor Divider Tolerances",
         "Option1",
         4,
         3,
         {{"00", "0.25%"}, {"01", "0.5%"}, {"10", "1%"}},
         0,
         1,
         1},
        {"Frame3", "Gain", "Option2", 2, 0,
         signMagnitude("65x", "85x", "110x", "135x", "175x", "230x"), 0, 0, 2},
    };
    RegisterGroupDef r17{
        0x17,
        "Frame4",
        "Current Sense Trim4 (17h)",
        "read17",
        "Read Current Sense Trim4 (17h)",
        "reg17",
        "reg17h",
        {"mode", "chop", "ict gain", "gnd off", "n/a", "off2", "off1", "off0"},
        {"Label19", "Label28", "Label29", "Label30", "Label31", "Label32", "Label33", "Label34"},
        {},
        false,
        true};
    r17.optionGroups = {
        {"Frame5",
         "Current Sense Mode",
         "Option3",
         7,
         7,
         {{"0", "Current Sense"}, {"1", "Current Transformer"}},
         0,
         0,
         1},
        {"Frame6",
         "chopper select",
         "Option4",
         6,
         6,
         {{"1", "chopper"}, {"0", "continuous time"}},
         0,
         1,
         1},
        {"Frame7", "Ict Gain", "Option5", 5, 5, {{"0", "4.5x"}, {"1", "3.0x"}}, 1, 0, 1},
        {"Frame8", "Offset trim", "Option6", 2, 0,
         signMagnitude("-1x", "-2x", "-4x", "+1x", "+2x", "+4x"), 1, 1, 2},
    };
    all.push_back({"frm_idiff",
                   "Current Sense & Current Transformer Config",
                   "Differential Current Sense",
                   true,
                   "Command5",
                   "Exit",
                   {{0x14,
                     "isense1",
                     "Current Sense Trim1 (14h)",
                     "read14",
                     "Read Current Sense Trim1 (14h)",
                     "reg14",
                     "reg14h",
                     {"cm7", "cm6", "cm5", "cm4", "cm3", "cm2", "cm1", "cm0"},
                     kLabels1to8,
                     {},
                     false,
                     true},
                    {0x15,
                     "isense2",
                     "Current Sense Trim2 (15h)",
                     "read15",
                     "Read Current Sense Trim2 (15h)",
                     "reg15",
                     "reg15h",
                     {"off7", "off6", "off5", "off4", "off3", "off2", "off1", "off0"},
                     kLabels11to18,
                     {},
                     false,
                     true},
                    r16,
                    r17},
                   {0, 1, 2, 3},
                   2,
                   "mnuIDIFF",
                   "Current Sense"});

    RegisterGroupDef r04{0x04,
                         "acsense",
                         "Current Limit and Shareok Trim (04h)",
                         "read04",
                         "Read Current Limit Trim (04h)",
                         "reg04",
                         "reg04h",
                         {"lim4", "lim3", "lim2", "lim1", "lim0", "n/c", "shrok1", "shrok0"},
                         kLabels1to8,
                         {},
                         false,
                         false};
    r04.optionGroups = {{"Frame1", "shareok threshold", "Option1", 1, 0,
                         twoBitCodes("5%", "10%", "15%", "20%"), 0, 1, 1}};
    all.push_back({"frm_ilim",
                   "Current Limit and Shareok",
                   "Current Limit and Shareok Trim",
                   true,
                   "Command2",
                   "Exit",
                   {r04},
                   {0},
                   1,
                   "mnuILIM",
                   "Current Limit"});

    all.push_back({"frm_local",
                   "Local Sense: False UV, OVP,UVP",
                   "",
                   false,
                   "Command5",
                   "Exit",
                   {{0x18,
                     "acsense",
                     "UV Clamp Threshold (18h)",
                     "read18",
                     "Read UV Clamp Threshold (18h)",
                     "reg18",
                     "reg18h",
                     kPlainBits,
                     kLabels1to8,
                     {},
                     false,
                     false},
                    {0x0A,
                     "Frame1",
                     "Local OVP Threshold (0Ah)",
                     "read0A",
                     "Read Local OVP Threshold (0Ah)",
                     "reg0A",
                     "reg0Ah",
                     kPlainBits,
                     kLabels11to18,
                     {},
                     false,
                     false},
                    {0x09,
                     "Frame2",
                     "Local UVP Threshold (09h)",
                     "read09",
                     "Read Local UVP Threshold (09h)",
                     "reg09",
                     "reg09h",
                     kPlainBits,
                     kLabels21to28,
                     {},
                     false,
                     false}},
                   {2, 1, 0},
                   1,
                   "mnuLCL",
                   "Local Voltage (OVP & UVP)"});

    all.push_back({"frm_rev",
                   "Reverse Voltage Detector",
                   "Reverse Voltage Detector",
                   true,
                   "Command2",
                   "Exit",
                   {{0x03,
                     "acsense",
                     "Reverse Voltage Trim (03h)",
                     "read03",
                     "Read Load Voltage Trim (03h)",
                     "reg03",
                     "reg03h",
                     {"hys1", "hys0", "off1", "off0", "gatepen", "gateramp", "fg_deb", "fg_deb"},
                     kLabels1to8,
                     {},
                     false,
                     true}},
                   {0},
                   1,
                   "mnuREV",
                   "Reverse Voltage Detector"});

    const Names shareNames = {"b7", "b6", "b5", "b4", "b3", "b2", "b1", "n/a"};
    all.push_back({"frm_shroff",
                   "Share Bus Offset/Slope",
                   "Share Bus Offset & Slope",
                   true,
                   "Command5",
                   "Exit",
                   {{0x05,
                     "acsense",
                     "Share Bus Offset (05h)",
                     "read05",
                     "Read Share Bus Offset (05h)",
                     "reg05",
                     "reg05h",
                     shareNames,
                     kLabels1to8,
                     {},
                     false,
                     false},
                    {0x06,
                     "Frame1",
                     "Share Bus Slope (06h)",
                     "read06",
                     "Read Share Bus Slope (06h)",
                     "reg06",
                     "reg06h",
                     shareNames,
                     kLabels11to18,
                     {},
                     false,
                     false}},
                   {0, 1},
                   1,
                   "mnuSHR",
                   "Share Bus Offset and Gain"});

    all.push_back({"frm_vdiff",
                   "Differential Load Voltage",
                   "Differential Load Voltage",
                   true,
                   "Command2",
                   "Exit",
                   {{0x19,
                     "acsense",
                     "Differential Load Voltage Trim (19h)",
                     "read19",
                     "Read Load Voltage Trim (19h)",
                     "reg19",
                     "reg19h",
                     kPlainBits,
                     kLabels1to8,
                     {},
                     false,
                     false}},
                   {0},
                   1,
                   "mnuVDIFF",
                   "Load Voltage"});

    RegisterGroupDef r10{
        0x10,
        "acsense",
        "Config4 (10h)",
        "read10",
        "Read Config4 (10h)",
        "reg10",
        "reg10h",
        {"pots1", "pots0", "capture1", "capture0", "ssrs1", "ssrs0", "add1", "trim_lock"},
        kLabels1to8,
        {},
        false,
        true};
    r10.optionGroups = {
        {"Frame1", "soft start step", "Option1", 3, 2, twoBitCodes("0ms", "4ms", "8ms", "16ms"), 0,
         2, 1},
        {"Frame2", "share bus capture", "Option2", 5, 4, twoBitCodes("1%", "2%", "3%", "4%"), 0, 1,
         1},
        {"Frame3", "DCok off delay", "Option3", 7, 6, twoBitCodes("2ms", "0ms", "1ms", "4ms"), 0, 0,
         1},
    };
    all.push_back({"frm_sstart",
                   "Soft Start",
                   "",
                   false,
                   "Command5",
                   "Exit",
                   {r10},
                   {0},
                   1,
                   "mnuSFTSTRT",
                   "Soft Start"});
    return all;
}

}  // namespace

const std::vector<EditorDef>& allEditors() {
    static const std::vector<EditorDef> editors = buildEditors();
    return editors;
}

const EditorDef* findEditor(std::string_view windowName) {
    for (const EditorDef& e : allEditors())
        if (e.windowName == windowName) return &e;
    return nullptr;
}

}  // namespace kestrel::editors
