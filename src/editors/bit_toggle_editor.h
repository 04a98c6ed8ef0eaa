#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "device/device.h"
#include "editors/editor_tables.h"
#include "jobs/bus_jobs.h"

class QButtonGroup;
class QLabel;
class QTimer;

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
//
// Captions that were not read from the chip never feed a write: a group
// whose read was refused (the bus was held) or went wrong on the wire
// refuses bit and option clicks with a note and reads itself again instead.
class BitToggleEditor final : public QWidget {
    Q_OBJECT
  public:
    BitToggleEditor(const editors::EditorDef& definition, BusJobs& jobs,
                    std::function<void()> returnToDiagram);

    // Reads every register of the window in its load order.
    void Form_Load();
    // The Read button of register group `group` (display order).
    // Reads the group's register; `keepNote` keeps the note shown when it reads cleanly.
    void readClick(int group, bool keepNote = false, std::function<void()> then = {});
    // A click on bit label `index` of a group.
    void bitClick(int group, int index);
    // A click on option `index` of option group `optionGroup` of a group.
    void optionClick(int group, int optionGroup, int index);
    // The exit button: hide, and go back to the block diagram while it is loaded.
    void exitClick();

    const editors::EditorDef& definition() const { return definition_; }

    // The note under the registers, empty while all is well.
    QString note() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // Whether a group's captions hold what the chip said.
    enum class Known { Unread, Faulty, Read };
    struct Group {
        const editors::RegisterGroupDef* definition;
        Known known;
        BitLabelRow* bits;
        QLabel* hex;
        std::vector<QButtonGroup*> options;  // in decode order
        std::vector<int> selected;           // per option group, -1 for none
    };
    void select(Group& group, int optionGroup, int k);
    QWidget* buildGroup(int index);
    void showHex(Group& group, int value);
    // Selects the options the captions spell; `writeBack` runs the click of
    // each newly selected option (after a clean read only).
    void decode(int group, bool writeBack);
    // True when the group's captions may feed a write; otherwise tells the
    // user and reads the register again.
    bool readBeforeWrite(int group);
    void loadFrom(std::size_t k);
    void showRead(int group, const ByteOutcome& v);
    void optionWritten(int group, int optionGroup, int k, std::uint8_t before, int b,
                       const Outcome& written);
    // Reads the groups whose reads the bus refused, quietly (show, timer).
    void readUnread();
    void setNote(const QString& text);
    void backToDiagram();

    const editors::EditorDef& definition_;
    BusJobs& jobs_;
    std::function<void()> returnToDiagram_;
    std::vector<Group> groups_;
    QLabel* note_ = nullptr;
    QTimer* retry_ = nullptr;
};

}  // namespace kestrel
