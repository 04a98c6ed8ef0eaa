#include "block_read/block_read_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "device/text_rules.h"

namespace kestrel {

BlockReadWindow::BlockReadWindow(Device& device) : device_(device) {
    setObjectName(QStringLiteral("frm_Block_Read"));
    setWindowTitle(QStringLiteral("Block Read"));
    setWindowFlag(Qt::Window);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("base address:"), this), 0, 0);
    EEBaseAddress_ = new QLineEdit(QStringLiteral("8100"), this);
    EEBaseAddress_->setObjectName(QStringLiteral("EEBaseAddress"));
    EEBaseAddress_->setMaximumWidth(70);
    grid->addWidget(EEBaseAddress_, 0, 1);
    auto* read = new QPushButton(QStringLiteral("Block Read"), this);
    read->setObjectName(QStringLiteral("Do_Block_Read"));
    connect(read, &QPushButton::clicked, this, [this] { Do_Block_Read_Click(); });
    grid->addWidget(read, 1, 0, 1, 2);
    List1_ = new QListWidget(this);
    List1_->setObjectName(QStringLiteral("List1"));
    List1_->setMinimumSize(160, 420);
    grid->addWidget(List1_, 0, 2, 3, 1);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("Command2"));
    connect(exit, &QPushButton::clicked, this, [this] { Command2_Click(); });
    grid->addWidget(exit, 2, 0, 1, 2, Qt::AlignBottom);
}

void BlockReadWindow::setItem(int index, const QString& text) {
    if (index < List1_->count())
        List1_->item(index)->setText(text);
    else if (index == List1_->count())
        List1_->addItem(text);
}

void BlockReadWindow::sendAck(int byte) {
    device_.bus().I2CSendByte(byte);
    device_.bus().I2CAckClock();
}

void BlockReadWindow::Do_Block_Read_Click() {
    Bus& bus = device_.bus();
    Globals& g = device_.globals();
    const unsigned base = text::hexValue(EEBaseAddress_->text().toStdString());
    // Both transactions run inside one hold of the bus and one port-access bracket.
    auto tx = bus.begin();
    if (!tx) return;
    g.EEAddrHigh = static_cast<std::int16_t>((base >> 8) & 0xFF);
    g.EEAddrLow = static_cast<std::int16_t>(base & 0xFF);
    const int writeAddress = g.SlaveAddr & 0xFE;

    // Address pointer write.
    bus.I2CStart();
    sendAck(writeAddress);
    sendAck(g.EEAddrHigh);
    sendAck(g.EEAddrLow);
    bus.describe("Address Pointer", static_cast<int>(base & 0xFFFF), 4);
    bus.I2CStop();

    // Block read: command A1h, repeated START, count, 32 bytes, PEC.
    bus.I2CStart();
    sendAck(writeAddress);
    sendAck(kBlockReadCommand);
    bus.I2CStart();
    sendAck(g.SlaveAddr | 0x01);
    const int count = bus.I2CReadByte();
    setItem(0, QStringLiteral("Bytes: ") + QString::fromStdString(text::byteText(static_cast<unsigned>(count))) +
                   QStringLiteral("h"));
    bus.I2CMasterAck();
    // Always 32 data bytes, whatever the count says.
    for (int i = 0; i < 32; ++i) {
        const int d = bus.I2CReadByte();
        setItem(i + 1, QString::fromStdString(text::imageLine(base + static_cast<unsigned>(i), static_cast<unsigned>(d))));
        bus.I2CMasterAck();
    }
    const int pec = bus.I2CReadByte();
    setItem(33, QStringLiteral("PEC: ") + QString::fromStdString(text::byteText(static_cast<unsigned>(pec))) +
                    QStringLiteral("h"));
    bus.I2CAckClock();
    bus.describe("Block Read", static_cast<int>(base & 0xFFFF), 4);
    bus.checkPec();
    bus.I2CStop();
}

}  // namespace kestrel
