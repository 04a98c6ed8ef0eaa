#include "main_window/eeprom_byte_panel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "device/eeprom_ops.h"
#include "device/text_rules.h"
#include "main_window/eeprom_range_note.h"
#include "widgets/bit_label_row.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

using ui::qstr;
using ui::str;

EepromBytePanel::EepromBytePanel(Globals& globals, Device& device,
                                 std::function<void(const QString&)> notify, QWidget* parent)
    : QGroupBox(QStringLiteral("EEPROM Byte r/w"), parent),
      g_(globals),
      device_(device),
      notify_(std::move(notify)) {
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Register:"), this), 0, 0);
    address_ = ui::edit("EEAddressPointer", QStringLiteral("8100"), this);
    address_->setMinimumWidth(60);
    grid->addWidget(address_, 0, 1);
    byteBits_ = new BitLabelRow(QStringLiteral("Read_DataEE"), this);
    grid->addWidget(byteBits_, 0, 2, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Data:"), this), 1, 0);
    byteData_ = ui::edit("EEByteData", QStringLiteral("00"), this);
    grid->addWidget(byteData_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("PEC:"), this), 1, 2, Qt::AlignRight);
    pec_ = new QLabel(this);
    pec_->setObjectName(QStringLiteral("PEC_EE"));
    pec_->setMinimumWidth(30);
    grid->addWidget(pec_, 1, 3);
    auto* read = ui::button("EEByteReadCMD", QStringLiteral("EE Byte Read"), this);
    auto* write = ui::button("EEByteWriteCMD", QStringLiteral("EE Byte Write"), this);
    grid->addWidget(read, 0, 4);
    grid->addWidget(write, 1, 4);
    connect(read, &QPushButton::clicked, this, [this] { EEByteReadCMD_Click(); });
    connect(write, &QPushButton::clicked, this, [this] { EEByteWriteCMD_Click(); });
}

void EepromBytePanel::showBits(std::uint8_t value) {
    byteBits_->showValue(value);
}

void EepromBytePanel::setByteData(const std::string& text) {
    byteData_->setText(QString::fromStdString(text));
}

void EepromBytePanel::setPecCaption(const std::string& text) {
    pec_->setText(QString::fromStdString(text));
}

bool EepromBytePanel::byteAddress(int& high, int& low) {
    QString t = address_->text();
    t.remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
    if (!text::isFourHexDigits(str(t))) {
        notify_(QStringLiteral("Enter the EEPROM address as four hex digits, for example 8100."));
        return false;
    }
    const auto bytes = text::splitAddressText(str(t));
    if (!eepromRangeAllowed(static_cast<unsigned>((bytes.high << 8) | bytes.low), 1, notify_))
        return false;
    high = bytes.high;
    low = bytes.low;
    return true;
}

void EepromBytePanel::EEByteReadCMD_Click() {
    int high = 0, low = 0;
    if (!byteAddress(high, low)) return;
    g_.EEAddrHigh = static_cast<std::int16_t>(high);
    g_.EEAddrLow = static_cast<std::int16_t>(low);
    const auto b = device_.EEPROMReadByte(g_.EEAddrHigh, g_.EEAddrLow);
    if (!b) return;
    byteData_->setText(qstr(text::hexText(static_cast<unsigned>(*b))));
    device_.ShowEEBits(*b);
}

// Writes the byte in the data box to the address in the address box, then
// reads it back so the display shows what the chip holds.
void EepromBytePanel::EEByteWriteCMD_Click() {
    int high = 0, low = 0;
    if (!byteAddress(high, low)) return;
    g_.EEAddrHigh = static_cast<std::int16_t>(high);
    g_.EEAddrLow = static_cast<std::int16_t>(low);
    const int d = text::hexValue(str(byteData_->text())) & 0xFF;
    if (!device_.EEPROMWriteByte(g_.EEAddrHigh, g_.EEAddrLow, d)) return;
    // The read-back's clean result would take the write's fault note away.
    const std::string writeProblem = device_.lastClean() ? std::string() : device_.lastProblem();
    EEByteReadCMD_Click();
    if (!writeProblem.empty())
        notify_(QString::fromStdString(
            "EEPROM write at " +
            text::addressText(static_cast<unsigned>(((high & 0xFF) << 8) | (low & 0xFF))) +
            "h failed: " + eeprom::inSentence(writeProblem)));
}

}  // namespace kestrel
