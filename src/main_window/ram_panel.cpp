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
#include "widgets/tab_list_delegate.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

using ui::str;

RamPanel::RamPanel(Globals& globals, Device& device, std::function<void(const QString&)> notify,
                   QWidget* parent)
    : QWidget(parent), g_(globals), device_(device), notify_(std::move(notify)) {
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
    g_.CommandCode = static_cast<std::int16_t>(text::hexValue(str(registerAddress_->text())));
    const ByteOutcome v = device_.ReadRegister(g_.CommandCode);
    if (v.refused() || v.received().size() < 2) return;
    byteData_->setText(QString::fromStdString(text::hexText(static_cast<unsigned>(v.value))));
    showBits(static_cast<std::uint8_t>(v.value));
}

void RamPanel::ByteWriteCMD_Click() {
    g_.CommandCode = static_cast<std::int16_t>(text::hexValue(str(registerAddress_->text())));
    const int d = text::hexValue(str(byteData_->text()));
    device_.WriteRegister(g_.CommandCode, d);
}

void RamPanel::ReadRAM_Click() {
    if (!device_.available()) return;
    int failed = 0;
    std::string first;
    for (int i = 0; i < g_.RamRegisterCount; ++i) {
        const ByteOutcome v = device_.ReadRegister(i);
        if (v.refused()) break;
        if (!v.ok() && failed++ == 0)
            first = text::byteText(static_cast<unsigned>(i)) + "h: " + eeprom::inSentence(v.problem());
        ui::setListItem(readout_, i,
                        QString::fromStdString(readoutLine(static_cast<std::size_t>(i), v.value)));
    }
    // The next clean read would take the status bar's fault note away; the
    // read-out must not pass for the chip's values.
    if (failed > 0)
        notify_(QString::fromStdString(
            "Read 00h-" + text::byteText(static_cast<unsigned>(g_.RamRegisterCount - 1)) +
            "h: " + std::to_string(failed) + " of " + std::to_string(g_.RamRegisterCount) +
            " reads failed, first at " + first +
            ". The read-out does not hold the chip's values."));
}

void RamPanel::Command1_Click() {
    g_.CommandCode = chip::kPsOnRegister;
    if (device_.WriteRegister(chip::kPsOnRegister, chip::kPsOnOff).refused()) return;
    device_.WriteRegister(chip::kPsOnRegister, chip::kPsOnOn);
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
