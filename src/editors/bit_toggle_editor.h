#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "device/device.h"
#include "editors/editor_tables.h"

class QButtonGroup;
class QLabel;

namespace kestrel {

class BitLabelRow;

// A register editor built from its table: per register, eight clickable bit
// labels under the chip's bit names, a hex label and a Read button, and
// option groups that show and set bit fields by name.
//
// The eight captions are the only copy of a register's value. A bit click
// toggles one caption, writes the whole byte and reads it back; an option
// click sets the field's captions and writes the byte without reading back.
// After each read the fields are decoded, and an option that the decode newly
// selects runs its click at once, so the byte just read is written back once
// per group whose selection changed: that is what the chip sees.
class BitToggleEditor final : public QWidget {
    Q_OBJECT
  public:
    BitToggleEditor(const editors::EditorDef& spec, Device& device,
                    std::function<void()> returnToDiagram);

    // Reads every register of the window in its load order.
    void Form_Load();
    // The Read button of register group `group` (display order).
    void readClick(int group);
    // A click on bit label `index` of a group.
    void bitClick(int group, int index);
    // A click on option `index` of option group `optionGroup` of a group.
    void optionClick(int group, int optionGroup, int index);
    // The exit button: hide, and go back to the block diagram while it is loaded.
    void exitClick();

    const editors::EditorDef& spec() const { return spec_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Group {
        const editors::RegisterGroupDef* spec;
        BitLabelRow* bits;
        QLabel* hex;
        std::vector<QButtonGroup*> options;  // in decode order
        std::vector<int> selected;           // per option group, -1 for none
    };
    void select(Group& group, int optionGroup, int k);
    QWidget* buildGroup(int index);
    void showHex(Group& group, int value);
    void decode(int group);
    void backToDiagram();

    const editors::EditorDef& spec_;
    Device& device_;
    std::function<void()> returnToDiagram_;
    std::vector<Group> groups_;
};

}  // namespace kestrel
