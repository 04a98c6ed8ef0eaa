#include "main_window/ram_panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "chip/kestrel_map.h"
#include "device/eeprom.h"
#include "device/register_map.h"
#include "device/text_rules.h"
#include "widgets/bit_label_row.h"
#include "widgets/refusal_note.h"
#include "widgets/tab_list_delegate.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

using ui::str;

RamPanel::RamPanel(Globals& globals, BusJobs& jobs, std::function<void(const QString&)> notify,
                   QWidget* parent)
    : QWidget(parent), g_(globals), jobs_(jobs), notify_(std::move(notify)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(buildByteSection());
    column->addWidget(buildReadoutSection(), 1);
}

QWidget* RamPanel::buildByteSection() {
    auto* frame = new QGroupBox(QStringLiteral("Ram Byte r/w"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(frame);
    grid->addWidget(ui::label("Label6", QStringLiteral("Register:"), frame), 0, 0);
    registerAddress_ = ui::edit("AddressPointer", QStringLiteral("00"), frame);
    grid->addWidget(registerAddress_, 0, 1);
    grid->addWidget(ui::label("Label9", QStringLiteral("Data:"), frame), 1, 0);
    byteData_ = ui::edit("ByteData", QStringLiteral("00"), frame);
    grid->addWidget(byteData_, 1, 1);
    byteBits_ = new BitLabelRow(QStringLiteral("Read_Data"), frame);
    grid->addWidget(byteBits_, 0, 2, 1, 2);
    grid->addWidget(ui::label("Label10", QStringLiteral("PEC:"), frame), 1, 2, Qt::AlignRight);
    pec_ = ui::label("PEC", QString(), frame);
    pec_->setMinimumWidth(30);
    grid->addWidget(pec_, 1, 3);
    auto* read = ui::button("ByteReadCMD", QStringLiteral("RAM Byte Read"), frame);
    auto* write = ui::button("ByteWriteCMD", QStringLiteral("RAM Byte Write"), frame);
    auto* psOn = ui::button("Command1", QStringLiteral("PS ON"), frame);
    grid->addWidget(read, 0, 4);
    grid->addWidget(write, 1, 4);
    grid->addWidget(psOn, 0, 5, 2, 1);
    grid->setColumnStretch(6, 1);
    connect(read, &QPushButton::clicked, this, [this] { ByteReadCMD_Click(); });
    connect(write, &QPushButton::clicked, this, [this] { ByteWriteCMD_Click(); });
    connect(psOn, &QPushButton::clicked, this, [this] { Command1_Click(); });
    return frame;
}

QWidget* RamPanel::buildReadoutSection() {
    auto* frame = new QGroupBox(QStringLiteral("Read RAM Data"), this);
    frame->setObjectName(QStringLiteral("Frame6"));
    auto* grid = new QGridLayout(frame);
    auto* readAll = ui::button("ReadRAM", QStringLiteral("Read 00h-1Dh:"), frame);
    grid->addWidget(readAll, 0, 0, Qt::AlignLeft);
    registerNames_ = new QListWidget(frame);
    registerNames_->setObjectName(QStringLiteral("List1"));
    readout_ = new QListWidget(frame);
    readout_->setObjectName(QStringLiteral("List2"));
    // The register names carry tabs; only the read-out has a value after them.
    readout_->setItemDelegate(
        new TabListDelegate(QStringLiteral("Current Sense Amplifier Offset Trim"), readout_));
    registerNames_->setMinimumWidth(250);
    registerNames_->setMinimumHeight(300);
    readout_->setMinimumWidth(420);
    grid->addWidget(registerNames_, 1, 0);
    grid->addWidget(readout_, 1, 1);
    grid->setColumnStretch(1, 1);
    connect(readAll, &QPushButton::clicked, this, [this] { ReadRAM_Click(); });
    connect(registerNames_, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    return frame;
}

void RamPanel::fillRegisterNames() {
    registerNames_->clear();
    for (std::size_t i = 0; i < kRegisterMap.size(); ++i)
        registerNames_->addItem(QString::fromStdString(registerListLine(i)));
}

void RamPanel::showBits(std::uint8_t value) {
    byteBits_->showValue(value);
}

void RamPanel::setPecCaption(const std::string& text) {
    pec_->setText(QString::fromStdString(text));
}

void RamPanel::ByteReadCMD_Click() {
    const int reg = text::hexValue(str(registerAddress_->text()));
    g_.CommandCode = static_cast<std::int16_t>(reg);
    jobs_.run(
        this, [reg](JobControl& c) { return c.device().ReadRegister(reg); },
        [this](ByteOutcome& v) {
            if (ui::refused(v, notify_) || v.received().size() < 2) return;
            byteData_->setText(
                QString::fromStdString(text::hexText(static_cast<unsigned>(v.value))));
            showBits(static_cast<std::uint8_t>(v.value));
        });
}

void RamPanel::ByteWriteCMD_Click() {
    const int reg = text::hexValue(str(registerAddress_->text()));
    g_.CommandCode = static_cast<std::int16_t>(reg);
    const int d = text::hexValue(str(byteData_->text()));
    jobs_.run(
        this, [reg, d](JobControl& c) { return c.device().WriteRegister(reg, d); },
        [this](Outcome& o) { ui::refused(o, notify_); });
}

void RamPanel::ReadRAM_Click() {
    const int count = g_.RamRegisterCount;
    struct Readout {
        std::string refusal;
        std::vector<ByteOutcome> reads;
    };
    jobs_.run(
        this,
        [count](JobControl& c) {
            Readout r;
            r.refusal = c.device().refusal();
            for (int i = 0; i < count && r.refusal.empty(); ++i) {
                ByteOutcome v = c.device().ReadRegister(i);
                if (v.refused()) {
                    r.refusal = v.refusal;
                    break;
                }
                r.reads.push_back(std::move(v));
            }
            return r;
        },
        [this, count](Readout& r) {
            int failed = 0;
            std::string first;
            for (std::size_t i = 0; i < r.reads.size(); ++i) {
                const ByteOutcome& v = r.reads[i];
                if (!v.ok() && failed++ == 0)
                    first = text::byteText(static_cast<unsigned>(i)) +
                            "h: " + eeprom::inSentence(v.problem());
                ui::setListItem(readout_, static_cast<int>(i),
                                QString::fromStdString(readoutLine(i, v.value)));
            }
            if (r.reads.empty() && ui::refused(r.refusal, notify_)) return;
            // The next clean read would take the status bar's fault note
            // away; the read-out must not pass for the chip's values.
            if (failed > 0 || !r.refusal.empty())
                notify_(QString::fromStdString(
                    "Read 00h-" + text::byteText(static_cast<unsigned>(count - 1)) + "h: " +
                    (failed > 0 ? std::to_string(failed) + " of " + std::to_string(count) +
                                      " reads failed, first at " + first + ". "
                                : std::string()) +
                    (r.refusal.empty()
                         ? std::string()
                         : "Stopped after " + std::to_string(r.reads.size()) + " of " +
                               std::to_string(count) + " reads: " + r.refusal + " ") +
                    "The read-out does not hold the chip's values."));
        });
}

void RamPanel::Command1_Click() {
    g_.CommandCode = chip::kPsOnRegister;
    struct Toggle {
        Outcome off, on;
    };
    jobs_.run(
        this,
        [](JobControl& c) {
            Toggle t;
            t.off = c.device().WriteRegister(chip::kPsOnRegister, chip::kPsOnOff);
            // PS ON goes back on only once the chip took the off.
            if (t.off.ok()) t.on = c.device().WriteRegister(chip::kPsOnRegister, chip::kPsOnOn);
            return t;
        },
        [this](Toggle& t) {
            if (ui::refused(t.off, notify_)) return;
            if (!t.off.ok())
                notify_(QString::fromStdString("PS ON: the off write failed (" +
                                               eeprom::inSentence(t.off.problem()) +
                                               "); PS ON was not switched on again."));
            else if (!ui::refused(t.on, notify_) && !t.on.ok())
                notify_(QString::fromStdString("PS ON: the on write failed (" +
                                               eeprom::inSentence(t.on.problem()) +
                                               "); PS ON may be off."));
        });
}

// A click on a register name puts its address, and the value of the last
// read-out if there was one, into the byte controls.
void RamPanel::List1_Click() {
    const int reg = registerNames_->currentRow();
    if (reg < 0) return;
    registerAddress_->setText(QString::fromStdString(text::byteText(static_cast<unsigned>(reg))));
    if (reg < readout_->count()) {
        const std::string line = str(readout_->item(reg)->text());
        // The line ends "1Dh: 21h  ": the value stands before "h  ".
        const std::string value = line.size() >= 5 ? line.substr(line.size() - 5, 2) : "";
        byteData_->setText(QString::fromStdString(value));
        showBits(static_cast<std::uint8_t>(text::hexValue(value)));
    }
    pec_->clear();
}

}  // namespace kestrel
