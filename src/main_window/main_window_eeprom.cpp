// The main window's EEPROM side: the 32-byte block image, page erase and
// zero fill, the single-byte read and write, and the image file.
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "device/eeprom_ops.h"
#include "device/image_file.h"
#include "device/text_rules.h"
#include "main_window/main_window.h"
#include "widgets/bit_label_row.h"
#include "widgets/widget_helpers.h"
#include "widgets/window_registry.h"

namespace kestrel {

using ui::qstr;
using ui::str;

namespace {

QGroupBox* frame(const QString& caption, QWidget* parent) {
    auto* f = new QGroupBox(caption, parent);
    return f;
}

constexpr const char* kWindowEeprom = "frm_EEPROM";
constexpr const char* kWindowBlockRead = "frm_Block_Read";

}  // namespace

QWidget* MainWindow::buildEepromDataSection() {
    QGroupBox* data = frame(QStringLiteral("EEPROM Data"), this);
    auto* grid = new QGridLayout(data);
    EEData = new QListWidget(data);
    EEData->setObjectName(QStringLiteral("EEData"));
    EEData->setSelectionMode(QAbstractItemView::MultiSelection);
    EEData->setMinimumHeight(200);
    EEData->setMinimumWidth(130);
    grid->addWidget(EEData, 0, 0, 8, 1);

    grid->addWidget(new QLabel(QStringLiteral("Base Address:"), data), 0, 1);
    EEBaseAddress = ui::edit("EEBaseAddress", QStringLiteral("8100"), data);
    grid->addWidget(EEBaseAddress, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Data:"), data), 1, 1);
    Text5 = ui::edit("Text5", QStringLiteral("00"), data);
    grid->addWidget(Text5, 1, 2);
    ReadEECMD = ui::button("ReadEECMD", QStringLiteral("Read 32 bytes from EEPROM:"), data);
    WriteEECMD = ui::button("WriteEECMD", QStringLiteral("Write 32 bytes to EEPROM:"), data);
    VerifyEECMD = ui::button("VerifyEECMD", QStringLiteral("Verify"), data);
    VerifyEECMD->setToolTip(QStringLiteral("Read the block back and compare it with the list"));
    grid->addWidget(ReadEECMD, 2, 1, 1, 2);
    auto* writeRow = new QHBoxLayout;
    writeRow->addWidget(WriteEECMD, 1);
    writeRow->addWidget(VerifyEECMD);
    grid->addLayout(writeRow, 3, 1, 1, 2);
    ReadAllEE = ui::button("ReadAllEE", QStringLiteral("View entire EEPROM"), data);
    grid->addWidget(ReadAllEE, 4, 1, 1, 2);

    QGroupBox* erase = frame(QStringLiteral("EEPROM Page Erase"), data);
    auto* eraseGrid = new QGridLayout(erase);
    PageErasePointer = new QComboBox(erase);
    PageErasePointer->setObjectName(QStringLiteral("PageErasePointer"));
    PageErasePointer->setMinimumWidth(90);
    PageErase = ui::button("PageErase", QStringLiteral("Page Erase:"), erase);
    WriteZeros = ui::button("WriteZeros", QStringLiteral("Write Zeros to Page:"), erase);
    eraseGrid->addWidget(PageErase, 0, 0);
    eraseGrid->addWidget(WriteZeros, 1, 0);
    eraseGrid->addWidget(PageErasePointer, 0, 1, 2, 1);
    grid->addWidget(erase, 5, 1, 1, 2);

    QGroupBox* boot = frame(QStringLiteral("BOOT EEPROM r/w"), data);
    auto* bootGrid = new QGridLayout(boot);
    EEBlockRead = ui::button("EEBlockRead", QStringLiteral("Block Read"), boot);
    bootGrid->addWidget(EEBlockRead, 0, 0);
    grid->addWidget(boot, 6, 1, 1, 2);
    grid->setRowStretch(7, 1);
    return data;
}

QWidget* MainWindow::buildEepromByteSection() {
    QGroupBox* bytes = frame(QStringLiteral("EEPROM Byte r/w"), this);
    auto* grid = new QGridLayout(bytes);
    grid->addWidget(new QLabel(QStringLiteral("Register:"), bytes), 0, 0);
    EEAddressPointer = ui::edit("EEAddressPointer", QStringLiteral("8100"), bytes);
    EEAddressPointer->setMinimumWidth(60);
    grid->addWidget(EEAddressPointer, 0, 1);
    Read_DataEE = new BitLabelRow(QStringLiteral("Read_DataEE"), bytes);
    grid->addWidget(Read_DataEE, 0, 2, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Data:"), bytes), 1, 0);
    EEByteData = ui::edit("EEByteData", QStringLiteral("00"), bytes);
    grid->addWidget(EEByteData, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("PEC:"), bytes), 1, 2, Qt::AlignRight);
    PEC_EE = new QLabel(bytes);
    PEC_EE->setObjectName(QStringLiteral("PEC_EE"));
    PEC_EE->setMinimumWidth(30);
    grid->addWidget(PEC_EE, 1, 3);
    EEByteReadCMD = ui::button("EEByteReadCMD", QStringLiteral("EE Byte Read"), bytes);
    EEByteWriteCMD = ui::button("EEByteWriteCMD", QStringLiteral("EE Byte Write"), bytes);
    grid->addWidget(EEByteReadCMD, 0, 4);
    grid->addWidget(EEByteWriteCMD, 1, 4);
    return bytes;
}

std::vector<std::string> MainWindow::eeDataItems() const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(EEData->count()));
    // Image lines are 8-bit text: one character, one byte.
    for (int i = 0; i < EEData->count(); ++i)
        items.push_back(EEData->item(i)->text().toLatin1().toStdString());
    return items;
}

void MainWindow::EEBaseAddress_Change() {
    const std::string t = str(EEBaseAddress->text().left(4));
    const std::string e = text::addressText(text::hexValue(t) + 31u);
    WriteEECMD->setText(qstr("Write " + t + "h-" + e + "h to EEPROM:"));
    ReadEECMD->setText(qstr("Read " + t + "h-" + e + "h from EEPROM:"));
    WriteFileCMD->setText(qstr("Write " + t + "h-" + e + "h to file"));
}

// Refuses, with a note, a run of EEPROM addresses that the chip would take
// as a register write.
bool MainWindow::eepromRange(unsigned first, unsigned count) {
    const std::string refusal = eeprom::registerSpaceRefusal(first, count);
    if (refusal.empty()) return true;
    notify(qstr(refusal));
    return false;
}

void MainWindow::ReadEECMD_Click() {
    const unsigned base = text::hexValue(str(EEBaseAddress->text()));
    if (!eepromRange(base, static_cast<unsigned>(g_.EEBlockSize)) || !device_.available()) return;
    int failed = 0;
    std::string first;
    Device::AccessHold hold(device_);
    for (int i = 0; i < g_.EEBlockSize; ++i) {
        const unsigned address = base + static_cast<unsigned>(i);
        const auto d = eeprom::readByteAt(device_, address);
        if (!d) break;
        if (!device_.lastClean() && failed++ == 0)
            first = text::addressText(address) + "h: " + eeprom::inSentence(device_.lastProblem());
        ui::setListItem(EEData, i, qstr(text::imageLine(address, static_cast<unsigned>(*d))));
    }
    // The list shows what the line gave; a block that was not read cleanly
    // must not pass for the chip's bytes (a Write would program it).
    if (failed > 0)
        notify(qstr("Read " + text::addressText(base) + "h-" +
                    text::addressText(base + static_cast<unsigned>(g_.EEBlockSize) - 1) +
                    "h: " + std::to_string(failed) + " of " + std::to_string(g_.EEBlockSize) +
                    " reads failed, first at " + first +
                    ". The list does not hold the chip's bytes."));
}

void MainWindow::EEData_Click() {
    if (EEData->count() == 0) return;
    const unsigned base = text::hexValue(str(EEData->item(0)->text().left(4)));
    const QString value = Text5->text();
    for (int i = EEData->count() - 1; i >= 0; --i) {
        QListWidgetItem* item = EEData->item(i);
        if (!item->isSelected()) continue;
        item->setText(qstr(text::addressText(base + static_cast<unsigned>(i)) + "h: ") + value +
                      QStringLiteral("h"));
    }
}

// The block's data bytes, from the list items by position (missing items give 00h).
std::vector<int> MainWindow::blockData() const {
    const std::vector<std::string> items = eeDataItems();
    std::vector<int> data;
    for (int i = 0; i < g_.EEBlockSize; ++i)
        data.push_back(text::imageLineData(text::listItem(items, static_cast<std::size_t>(i))));
    return data;
}

void MainWindow::WriteEECMD_Click() {
    const unsigned base = text::hexValue(str(EEBaseAddress->text()));
    if (!eepromRange(base, static_cast<unsigned>(g_.EEBlockSize)) || !device_.available()) return;
    const std::string first = text::addressText(base);
    const std::string last = text::addressText(base + static_cast<unsigned>(g_.EEBlockSize) - 1);
    const std::string range = first + "h-" + last + "h";
    const auto answer = dialogs_.askYesNo(
        this, kProgramTitle, qstr("Erase pages " + first + " and " + last + " first?"));
    if (answer == Dialogs::Answer::Cancel) {
        notify(qstr("Block write to " + range + " cancelled; nothing was erased or written."));
        return;
    }
    if (answer == Dialogs::Answer::Yes) {
        const eeprom::RunResult erased = eeprom::eraseBlockPages(device_, base, g_.EEBlockSize);
        if (erased.refused) return;
        if (!erased.ok()) {
            // Bytes written over a page that was not erased would be wrong.
            notify(qstr("Page erase at " + text::addressText(erased.firstFailedAddress) +
                        "h failed: " + eeprom::inSentence(erased.firstProblem) +
                        ". Nothing was written."));
            return;
        }
    }
    const eeprom::RunResult written = eeprom::writeBlock(device_, base, blockData());
    // Port access is closed after the write, as the block loops always did.
    device_.executor().closeAccess();
    if (written.refused) {
        notify(qstr("Block write to " + range + " stopped after " +
                    std::to_string(written.attempted) + " of " + std::to_string(g_.EEBlockSize) +
                    " bytes: the bus was busy."));
        return;
    }
    if (!written.ok()) {
        notify(qstr("Block write to " + range + " failed: " + std::to_string(written.failed) +
                    " of " + std::to_string(written.attempted) + " writes not acknowledged (" +
                    eeprom::inSentence(written.firstProblem) + ", first at " +
                    text::addressText(written.firstFailedAddress) + "h)."));
        return;
    }
    notify(qstr("Block written to " + range + ". Click Verify to read it back."));
}

// Reads the block back and lists every byte that differs from the list.
void MainWindow::VerifyEECMD_Click() {
    const unsigned base = text::hexValue(str(EEBaseAddress->text()));
    const std::vector<int> expected = blockData();
    if (!eepromRange(base, static_cast<unsigned>(expected.size()))) return;
    const eeprom::VerifyResult result = eeprom::verify(device_, base, expected);
    if (result.run.refused) return;
    if (!result.run.ok()) {
        // A byte whose read was not acknowledged or failed its PEC is not verified.
        notify(qstr("Verify failed at " + text::addressText(result.run.firstFailedAddress) +
                    "h: " + eeprom::inSentence(result.run.firstProblem)));
        return;
    }
    const auto& mismatches = result.mismatches;
    const std::string range =
        text::addressText(base) + "h-" + text::addressText(base + expected.size() - 1) + "h";
    if (mismatches.empty()) {
        notify(
            qstr("Verify " + range + ": all " + std::to_string(expected.size()) + " bytes match."));
        return;
    }
    std::string report =
        "Verify " + range + ": " + std::to_string(mismatches.size()) + " bytes differ.\n\n";
    for (const auto& m : mismatches)
        report += text::addressText(m.address) + "h: expected " +
                  text::byteText(static_cast<unsigned>(m.expected)) + ", read " +
                  text::byteText(static_cast<unsigned>(m.read)) + "\n";
    notify(qstr("Verify " + range + ": " + std::to_string(mismatches.size()) + " bytes differ."));
    dialogs_.warn(this, kProgramTitle, qstr(report));
}

bool MainWindow::chosenPage(unsigned& page) {
    if (PageErasePointer->currentIndex() < 0) {
        notify(QStringLiteral("Choose a page in the page list first."));
        return false;
    }
    page = text::hexValue(str(PageErasePointer->currentText()));
    return true;
}

void MainWindow::PageErase_Click() {
    unsigned page = 0;
    if (!chosenPage(page)) return;
    device_.EEPROMPageErase(text::addressText(page));
}

void MainWindow::WriteZeros_Click() {
    unsigned page = 0;
    if (!chosenPage(page)) return;
    const eeprom::RunResult r = eeprom::writeZerosToPage(device_, page);
    if (!r.refused && !r.ok())
        notify(qstr("Write zeros to " + text::addressText(page) +
                    "h failed: " + std::to_string(r.failed) + " of " + std::to_string(r.attempted) +
                    " zero-writes went wrong (" + eeprom::inSentence(r.firstProblem) + ")."));
}

bool MainWindow::byteAddress(int& high, int& low) {
    QString t = EEAddressPointer->text();
    t.remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
    if (!text::isFourHexDigits(str(t))) {
        notify(QStringLiteral("Enter the EEPROM address as four hex digits, for example 8100."));
        return false;
    }
    const auto bytes = text::splitAddressText(str(t));
    if (!eepromRange(static_cast<unsigned>((bytes.high << 8) | bytes.low), 1)) return false;
    high = bytes.high;
    low = bytes.low;
    return true;
}

void MainWindow::EEByteReadCMD_Click() {
    int high = 0, low = 0;
    if (!byteAddress(high, low)) return;
    g_.EEAddrHigh = static_cast<std::int16_t>(high);
    g_.EEAddrLow = static_cast<std::int16_t>(low);
    const auto b = device_.EEPROMReadByte(g_.EEAddrHigh, g_.EEAddrLow);
    if (!b) return;
    EEByteData->setText(qstr(text::hexText(static_cast<unsigned>(*b))));
    device_.ShowEEBits(*b);
}

// Writes the byte in the data box to the address in the address box, then
// reads it back so the display shows what the chip holds.
void MainWindow::EEByteWriteCMD_Click() {
    int high = 0, low = 0;
    if (!byteAddress(high, low)) return;
    g_.EEAddrHigh = static_cast<std::int16_t>(high);
    g_.EEAddrLow = static_cast<std::int16_t>(low);
    const int d = text::hexValue(str(EEByteData->text())) & 0xFF;
    if (!device_.EEPROMWriteByte(g_.EEAddrHigh, g_.EEAddrLow, d)) return;
    EEByteReadCMD_Click();
}

void MainWindow::ReadAllEE_Click() {
    windows_.show(QLatin1String(kWindowEeprom), false);
}
void MainWindow::EEBlockRead_Click() {
    windows_.show(QLatin1String(kWindowBlockRead), false);
}

void MainWindow::WriteFileCMD_Click() {
    const QString path = dialogs_.saveFileName(this, CommonDialog1);
    if (path.isEmpty()) return;
    std::string error;
    if (!image_file::save(str(path), eeDataItems(), g_.EEBlockSize, &error))
        dialogs_.warn(this, kProgramTitle, qstr(error));
}

void MainWindow::ReadFileCMD_Click() {
    const QString path = dialogs_.openFileName(this, CommonDialog1);
    if (path.isEmpty()) return;
    std::vector<std::string> lines;
    std::string error;
    if (!image_file::load(str(path), lines, &error)) {
        dialogs_.warn(this, kProgramTitle, qstr(error));
        return;
    }
    EEData->clear();
    for (const std::string& line : lines)
        EEData->addItem(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
}

}  // namespace kestrel
