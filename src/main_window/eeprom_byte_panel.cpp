#include "main_window/eeprom_byte_panel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "device/eeprom.h"
#include "device/text_rules.h"
#include "widgets/bit_label_row.h"
#include "widgets/refusal_note.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

using ui::qstr;
using ui::str;

EepromBytePanel::EepromBytePanel(Globals& globals, BusJobs& jobs,
                                 std::function<void(const QString&)> notify, QWidget* parent)
    : QGroupBox(QStringLiteral("EEPROM Byte r/w"), parent),
      g_(globals),
      jobs_(jobs),
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

bool EepromBytePanel::byteAddress(unsigned& address) {
    QString t = address_->text();
    t.remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
    if (!text::isFourHexDigits(str(t))) {
        notify_(QStringLiteral("Enter the EEPROM address as four hex digits, for example 8100."));
        return false;
    }
    const auto bytes = text::splitAddressText(str(t));
    address = static_cast<unsigned>((bytes.high << 8) | bytes.low);
    g_.EEAddrHigh = static_cast<std::int16_t>(bytes.high);
    g_.EEAddrLow = static_cast<std::int16_t>(bytes.low);
    return true;
}

void EepromBytePanel::EEByteReadCMD_Click() {
    unsigned address = 0;
    if (!byteAddress(address)) return;
    jobs_.run(
        this, [address](JobControl& c) { return c.device().EEPROMReadByte(address); },
        [this](ByteOutcome& b) { showRead(b); });
}

void EepromBytePanel::showRead(const ByteOutcome& b) {
    if (ui::refused(b, notify_) || b.received().size() < 2) return;
    byteData_->setText(qstr(text::hexText(static_cast<unsigned>(b.value))));
    showBits(static_cast<std::uint8_t>(b.value));
}

// Writes the byte in the data box to the address in the address box, then
// reads it back so the display shows what the chip holds.
void EepromBytePanel::EEByteWriteCMD_Click() {
    unsigned address = 0;
    if (!byteAddress(address)) return;
    const int d = text::hexValue(str(byteData_->text())) & 0xFF;
    struct WriteAndRead {
        Outcome written;
        ByteOutcome read;
    };
    jobs_.run(
        this,
        [address, d](JobControl& c) {
            WriteAndRead r;
            r.written = c.device().EEPROMWriteByte(address, d);
            if (!r.written.refused()) r.read = c.device().EEPROMReadByte(address);
            return r;
        },
        [this, address](WriteAndRead& r) {
            if (ui::refused(r.written, notify_)) return;
            showRead(r.read);
            // After the read-back, so its clean result does not take the note away.
            if (!r.written.ok())
                notify_(
                    QString::fromStdString("EEPROM write at " + text::addressText(address) +
                                           "h failed: " + eeprom::inSentence(r.written.problem())));
        });
}

}  // namespace kestrel
