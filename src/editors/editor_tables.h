#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// The register editors' screen layout as data: windows, register frames,
// option groups, object names and where each piece stands. What the bits
// mean (their names, the fields and their named settings) comes from the
// chip's field table (chip/register_fields.h), joined in here. One window
// class builds every editor from these tables.
namespace kestrel::editors {

// One option of a field: the field's bits, highest first ("01"), and its caption.
struct OptionDef {
    std::string_view pattern;
    std::string_view caption;
};

// A group of option buttons bound to a run of adjacent bits of a register.
// The i-th option group of a register stands for the i-th field of the
// register in the chip's field table, which gives its caption, bits and
// options.
struct OptionGroupDef {
    std::string_view frameName;
    std::string_view frameCaption = {};  // the field's name
    std::string_view optionName;
    int highBit = 0;
    int lowBit = 0;
    std::vector<OptionDef> options = {};  // in index order
    int row = 0;                     // where the frame stands below the bit row
    int column = 0;
    int buttonColumns = 1;  // options fill columns of equal height, index 0 top left
};

// One register shown as eight clickable bits with names, hex label and Read button.
struct RegisterGroupDef {
    int reg;
    std::string_view frameName;
    std::string_view frameCaption;
    std::string_view readName;
    std::string_view readCaption;
    std::string_view bitsName;  // the bit label array
    std::string_view hexName;
    std::array<std::string_view, 8> bitNames = {};   // bit 7 first, from the chip's table
    std::array<std::string_view, 8> bitNameObjects;  // object names, bit 7 first
    std::vector<OptionGroupDef> optionGroups = {};   // in decode order
    bool rowsOfFour = false;                         // bits 7..4 above bits 3..0
    bool staggerNames = false;                       // names in two staggered rows (long names)
};

struct EditorDef {
    std::string_view windowName;
    std::string_view title;
    std::string_view heading;  // empty: no heading and no hint label
    bool hint;
    std::string_view exitName;
    std::string_view exitCaption;
    std::vector<RegisterGroupDef> groups;  // in display order
    std::vector<int> loadOrder;            // indexes into `groups`, read at load
    int frameColumns = 1;                  // register frames per row
    std::string_view menuName;             // main window "&Config Regs" entry
    std::string_view menuCaption;
    bool switchWindowFollows = false;  // the switch window's entry comes next in the menu
};

// Every editor, in the order of the main window's menu.
const std::vector<EditorDef>& allEditors();
const EditorDef* findEditor(std::string_view windowName);

}  // namespace kestrel::editors
