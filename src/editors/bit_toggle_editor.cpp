#include "editors/bit_toggle_editor.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "device/text_rules.h"
#include "widgets/bit_label_row.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

namespace {

constexpr int kBitPointSize = 18;

}  // namespace

BitToggleEditor::BitToggleEditor(const editors::EditorDef& definition, BusJobs& jobs,
                                 std::function<void()> returnToDiagram)
    : definition_(definition), jobs_(jobs), returnToDiagram_(std::move(returnToDiagram)) {
    setObjectName(ui::qstr(definition.windowName));
    setWindowTitle(ui::qstr(definition.title));
    setWindowFlag(Qt::Window);

    auto* column = new QVBoxLayout(this);
    if (!definition.heading.empty()) {
        auto* heading = new QLabel(ui::qstr(definition.heading), this);
        heading->setObjectName(QStringLiteral("Label9"));
        QFont f = heading->font();
        f.setPointSize(12);
        f.setBold(true);
        heading->setFont(f);
        column->addWidget(heading);
    }
    if (definition.hint) {
        auto* hint = new QLabel(QStringLiteral("(click on bits to toggle)"), this);
        hint->setObjectName(QStringLiteral("Label10"));
        column->addWidget(hint);
    }
    auto* frames = new QGridLayout;
    groups_.reserve(definition.groups.size());
    for (int i = 0; i < static_cast<int>(definition.groups.size()); ++i)
        frames->addWidget(buildGroup(i), i / definition.frameColumns, i % definition.frameColumns);
    column->addLayout(frames);

    auto* bottom = new QHBoxLayout;
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("editorNote"));
    note_->setWordWrap(true);
    note_->setStyleSheet(QStringLiteral("color: #a00000;"));
    bottom->addWidget(note_, 1);
    auto* exit = new QPushButton(ui::qstr(definition.exitCaption), this);
    exit->setObjectName(ui::qstr(definition.exitName));
    exit->setProperty("escapeButton", true);
    connect(exit, &QPushButton::clicked, this, [this] { exitClick(); });
    bottom->addWidget(exit, 0, Qt::AlignRight);
    column->addLayout(bottom);

    // While a register could not be read because the bus was held, try again
    // now and then until it is free.
    retry_ = new QTimer(this);
    retry_->setInterval(250);
    connect(retry_, &QTimer::timeout, this, [this] { readUnread(); });
    ui::makeScrollable(this);
}

QString BitToggleEditor::note() const {
    return note_->text();
}

void BitToggleEditor::setNote(const QString& text) {
    note_->setText(text);
}

QWidget* BitToggleEditor::buildGroup(int index) {
    const editors::RegisterGroupDef& g = definition_.groups[static_cast<std::size_t>(index)];
    auto* frame = new QGroupBox(ui::qstr(g.frameCaption), this);
    frame->setObjectName(ui::qstr(g.frameName));
    auto* grid = new QGridLayout(frame);

    BitNames names;
    for (std::size_t i = 0; i < 8; ++i) {
        names.texts[i] = ui::qstr(g.bitNames[i]);
        names.objectNames[i] = ui::qstr(g.bitNameObjects[i]);
    }
    BitLayout layout{kBitPointSize, g.rowsOfFour, g.staggerNames};
    auto* bits = new BitLabelRow(ui::qstr(g.bitsName), frame, layout, &names);
    connect(bits, &BitLabelRow::bitClicked, this, [this, index](int bit) { bitClick(index, bit); });
    grid->addWidget(bits, 0, 0, 2, 1);

    auto* hex = new QLabel(QStringLiteral("00h"), frame);
    hex->setObjectName(ui::qstr(g.hexName));
    QFont f = hex->font();
    f.setPointSize(kBitPointSize);
    f.setBold(true);
    hex->setFont(f);
    hex->setMinimumWidth(70);
    grid->addWidget(hex, 1, 1, Qt::AlignBottom | Qt::AlignLeft);

    auto* read = new QPushButton(ui::qstr(g.readCaption), frame);
    read->setObjectName(ui::qstr(g.readName));
    connect(read, &QPushButton::clicked, this, [this, index] { readClick(index); });
    grid->addWidget(read, 0, 1, 1, 2, Qt::AlignTop | Qt::AlignRight);

    Group group{&g, Known::Unread, bits, hex, {}, {}};
    // Only groups with bit fields get an option area; the frame's layout owns it.
    QGridLayout* optionArea = g.optionGroups.empty() ? nullptr : new QGridLayout;
    for (int o = 0; o < static_cast<int>(g.optionGroups.size()); ++o) {
        const editors::OptionGroupDef& og = g.optionGroups[static_cast<std::size_t>(o)];
        auto* box = new QGroupBox(ui::qstr(og.frameCaption), frame);
        box->setObjectName(ui::qstr(og.frameName));
        auto* boxGrid = new QGridLayout(box);
        auto* buttons = new QButtonGroup(box);
        const int count = static_cast<int>(og.options.size());
        const int perColumn = (count + og.buttonColumns - 1) / og.buttonColumns;
        for (int k = 0; k < count; ++k) {
            auto* option =
                new QRadioButton(ui::qstr(og.options[static_cast<std::size_t>(k)].caption), box);
            option->setObjectName(ui::qstr(og.optionName));
            option->setProperty("index", k);
            buttons->addButton(option, k);
            boxGrid->addWidget(option, k % perColumn, k / perColumn);
        }
        connect(buttons, &QButtonGroup::idClicked, this,
                [this, index, o](int k) { optionClick(index, o, k); });
        group.options.push_back(buttons);
        group.selected.push_back(-1);
        optionArea->addWidget(box, og.row, og.column);
    }
    if (optionArea != nullptr) {
        // A column no option frame uses still takes its share, so a lone
        // frame in column 1 stands at the right.
        int columns = 0;
        for (const auto& og : g.optionGroups) columns = std::max(columns, og.column + 1);
        for (int c = 0; c < columns; ++c) optionArea->setColumnStretch(c, 1);
        grid->addLayout(optionArea, 2, 0, 1, 3);
    }
    grid->setRowStretch(3, 1);  // spare height below everything, not between rows
    groups_.push_back(group);
    return frame;
}

void BitToggleEditor::Form_Load() {
    loadFrom(0);
}

// Each register is read, and what its settings write back is sent, before
// the next register is read.
void BitToggleEditor::loadFrom(std::size_t k) {
    if (k >= definition_.loadOrder.size()) return;
    readClick(definition_.loadOrder[k], false, [this, k] { loadFrom(k + 1); });
}

void BitToggleEditor::showHex(Group& group, int value) {
    group.hex->setText(
        QString::fromStdString(text::hexText(static_cast<unsigned>(value) & 0xFFFFu)) +
        QStringLiteral("h"));
}

void BitToggleEditor::readClick(int index, bool keepNote, std::function<void()> then) {
    const int reg = groups_.at(static_cast<std::size_t>(index)).definition->reg;
    jobs_.run(
        this, [reg](JobControl& c) { return c.device().ReadRegister(reg); },
        [this, index, keepNote, note = note_->text(), then = std::move(then)](ByteOutcome& v) {
            showRead(index, v);
            if (keepNote && groups_.at(static_cast<std::size_t>(index)).known == Known::Read)
                setNote(note);
            if (then) then();
        });
}

void BitToggleEditor::showRead(int index, const ByteOutcome& v) {
    Group& group = groups_.at(static_cast<std::size_t>(index));
    if (v.refused()) {
        // Refused: the captions keep what they showed; if that was never
        // read, keep trying while the window is open.
        if (group.known == Known::Unread && isVisible()) retry_->start();
        setNote(ui::qstr(v.refusal));
        return;
    }
    const bool clean = v.ok();
    group.known = clean ? Known::Read : Known::Faulty;
    showHex(group, v.value);
    group.bits->showValue(static_cast<std::uint8_t>(v.value));
    // A value that was not acknowledged or failed its PEC is shown, but never
    // written back.
    decode(index, clean);
    if (!clean)
        setNote(QStringLiteral("Register %1h: %2. Its bits cannot be changed until it reads "
                               "cleanly; click Read to try again.")
                    .arg(ui::qstr(text::byteText(static_cast<unsigned>(group.definition->reg))),
                         ui::qstr(v.problem())));
    else if (std::all_of(groups_.begin(), groups_.end(),
                         [](const Group& g) { return g.known == Known::Read; }))
        setNote(QString());
}

bool BitToggleEditor::readBeforeWrite(int index) {
    Group& group = groups_.at(static_cast<std::size_t>(index));
    if (group.known == Known::Read) return true;
    setNote(QStringLiteral("Register %1h was not read from the chip, so nothing was written. "
                           "Reading it now; click again to change it.")
                .arg(ui::qstr(text::byteText(static_cast<unsigned>(group.definition->reg)))));
    readClick(index, true);
    return false;
}

void BitToggleEditor::readUnread() {
    // Another window's work comes first; this tries again on the next tick.
    if (!jobs_.idle()) return;
    bool pending = false;
    for (int i : definition_.loadOrder) {
        if (groups_.at(static_cast<std::size_t>(i)).known != Known::Unread) continue;
        readClick(i);
        pending = true;
    }
    if (!pending || !isVisible()) retry_->stop();
}

void BitToggleEditor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const bool unread = std::any_of(groups_.begin(), groups_.end(),
                                    [](const Group& g) { return g.known == Known::Unread; });
    if (unread) retry_->start();
}

void BitToggleEditor::decode(int index, bool writeBack) {
    Group& group = groups_.at(static_cast<std::size_t>(index));
    for (int o = 0; o < static_cast<int>(group.options.size()); ++o) {
        const editors::OptionGroupDef& og =
            group.definition->optionGroups[static_cast<std::size_t>(o)];
        QString pattern;
        for (int bit = og.highBit; bit >= og.lowBit; --bit)
            pattern += group.bits->label(bit)->text();
        for (int k = 0; k < static_cast<int>(og.options.size()); ++k) {
            if (pattern != ui::qstr(og.options[static_cast<std::size_t>(k)].pattern)) continue;
            if (group.selected[static_cast<std::size_t>(o)] != k) {
                select(group, o, k);
                // Selected from code: the option's click runs as if the user clicked it.
                if (writeBack) optionClick(index, o, k);
            }
            break;
        }
    }
}

void BitToggleEditor::bitClick(int index, int bit) {
    if (!readBeforeWrite(index)) return;
    Group& group = groups_.at(static_cast<std::size_t>(index));
    QLabel* label = group.bits->label(bit);
    const QString before = label->text();
    label->setText(before == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1"));
    const int b = group.bits->value();
    const int reg = group.definition->reg;
    struct WriteAndRead {
        Outcome written;
        ByteOutcome read;
    };
    jobs_.run(
        this,
        [reg, b](JobControl& c) {
            WriteAndRead r;
            r.written = c.device().WriteRegister(reg, b);
            if (!r.written.refused()) r.read = c.device().ReadRegister(reg);
            return r;
        },
        [this, index, bit, before, b](WriteAndRead& r) {
            Group& g = groups_.at(static_cast<std::size_t>(index));
            if (r.written.refused()) {
                // Nothing was written: show the chip's value still.
                g.bits->label(bit)->setText(before);
                setNote(ui::qstr(r.written.refusal));
                return;
            }
            showHex(g, b);
            showRead(index, r.read);
        });
}

void BitToggleEditor::optionClick(int index, int optionGroup, int k) {
    Group& group = groups_.at(static_cast<std::size_t>(index));
    const editors::OptionGroupDef& og =
        group.definition->optionGroups.at(static_cast<std::size_t>(optionGroup));
    if (!readBeforeWrite(index)) {
        // The button the user pressed is checked now: show the chip's choice.
        select(group, optionGroup, group.selected[static_cast<std::size_t>(optionGroup)]);
        return;
    }
    const std::uint8_t before = group.bits->value();
    const std::string_view pattern = og.options.at(static_cast<std::size_t>(k)).pattern;
    for (int bit = og.highBit, i = 0; bit >= og.lowBit; --bit, ++i)
        group.bits->label(bit)->setText(pattern[static_cast<std::size_t>(i)] == '1'
                                            ? QStringLiteral("1")
                                            : QStringLiteral("0"));
    const int b = group.bits->value();
    const int reg = group.definition->reg;
    jobs_.run(
        this, [reg, b](JobControl& c) { return c.device().WriteRegister(reg, b); },
        [this, index, optionGroup, k, before, b](Outcome& written) {
            optionWritten(index, optionGroup, k, before, b, written);
        });
}

void BitToggleEditor::optionWritten(int index, int optionGroup, int k, std::uint8_t before, int b,
                                    const Outcome& written) {
    Group& group = groups_.at(static_cast<std::size_t>(index));
    if (written.refused()) {
        // Nothing reached the chip: put the captions and the selection back.
        group.bits->showValue(before);
        select(group, optionGroup, group.selected[static_cast<std::size_t>(optionGroup)]);
        setNote(ui::qstr(written.refusal));
        return;
    }
    if (!written.ok()) {
        // The chip did not take it: show what was read, and read the
        // register again before the next change builds on it.
        group.bits->showValue(before);
        select(group, optionGroup, group.selected[static_cast<std::size_t>(optionGroup)]);
        group.known = Known::Faulty;
        setNote(QStringLiteral("Register %1h did not take the write: %2.")
                    .arg(ui::qstr(text::byteText(static_cast<unsigned>(group.definition->reg))),
                         ui::qstr(written.problem())));
        return;
    }
    select(group, optionGroup, k);
    showHex(group, b);
}

void BitToggleEditor::select(Group& group, int optionGroup, int k) {
    const auto o = static_cast<std::size_t>(optionGroup);
    group.selected[o] = k;
    QButtonGroup* buttons = group.options[o];
    if (k >= 0) {
        buttons->button(k)->setChecked(true);
        return;
    }
    buttons->setExclusive(false);
    for (QAbstractButton* b : buttons->buttons()) b->setChecked(false);
    buttons->setExclusive(true);
}

void BitToggleEditor::backToDiagram() {
    if (jobs_.globals().ConfigWindowOpen && returnToDiagram_) returnToDiagram_();
}

void BitToggleEditor::exitClick() {
    hide();
    backToDiagram();
}

void BitToggleEditor::closeEvent(QCloseEvent* event) {
    event->accept();
    backToDiagram();
}

}  // namespace kestrel
