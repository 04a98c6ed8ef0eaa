#include "main_window/eeprom_block_panel.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "device/eeprom.h"
#include "device/text_rules.h"
#include "files/image_file.h"
#include "widgets/page_erase_panel.h"
#include "widgets/refusal_note.h"
#include "widgets/widget_helpers.h"
#include "widgets/window_registry.h"

namespace kestrel {

using ui::qstr;
using ui::str;

namespace {

constexpr const char* kWindowEeprom = "frm_EEPROM";
constexpr const char* kWindowBlockRead = "frm_Block_Read";

}  // namespace

EepromBlockPanel::EepromBlockPanel(Globals& globals, BusJobs& jobs, Dialogs& dialogs,
                                   WindowRegistry& windows,
                                   std::function<void(const QString&)> notify, QWidget* parent)
    : QGroupBox(QStringLiteral("EEPROM Data"), parent),
      g_(globals),
      jobs_(jobs),
      dialogs_(dialogs),
      windows_(windows),
      notify_(std::move(notify)) {
    auto* grid = new QGridLayout(this);
    imageList_ = new QListWidget(this);
    imageList_->setObjectName(QStringLiteral("EEData"));
    imageList_->setSelectionMode(QAbstractItemView::MultiSelection);
    imageList_->setMinimumHeight(200);
    imageList_->setMinimumWidth(130);
    grid->addWidget(imageList_, 0, 0, 8, 1);

    grid->addWidget(new QLabel(QStringLiteral("Base Address:"), this), 0, 1);
    baseAddress_ = ui::edit("EEBaseAddress", QStringLiteral("8100"), this);
    grid->addWidget(baseAddress_, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Data:"), this), 1, 1);
    fillValue_ = ui::edit("Text5", QStringLiteral("00"), this);
    grid->addWidget(fillValue_, 1, 2);
    readButton_ = ui::button("ReadEECMD", QStringLiteral("Read 32 bytes from EEPROM:"), this);
    writeButton_ = ui::button("WriteEECMD", QStringLiteral("Write 32 bytes to EEPROM:"), this);
    auto* verify = ui::button("VerifyEECMD", QStringLiteral("Verify"), this);
    verify->setToolTip(QStringLiteral("Read the block back and compare it with the list"));
    grid->addWidget(readButton_, 2, 1, 1, 2);
    auto* writeRow = new QHBoxLayout;
    writeRow->addWidget(writeButton_, 1);
    writeRow->addWidget(verify);
    grid->addLayout(writeRow, 3, 1, 1, 2);
    viewEepromButton_ = ui::button("ReadAllEE", QStringLiteral("View entire EEPROM"), this);
    grid->addWidget(viewEepromButton_, 4, 1, 1, 2);

    pageErasePanel_ = new PageErasePanel(jobs_, notify_, this);
    grid->addWidget(pageErasePanel_, 5, 1, 1, 2);

    auto* boot = new QGroupBox(QStringLiteral("BOOT EEPROM r/w"), this);
    auto* bootGrid = new QGridLayout(boot);
    blockReadButton_ = ui::button("EEBlockRead", QStringLiteral("Block Read"), boot);
    bootGrid->addWidget(blockReadButton_, 0, 0);
    grid->addWidget(boot, 6, 1, 1, 2);
    grid->setRowStretch(7, 1);

    connect(baseAddress_, &QLineEdit::textChanged, this, [this] { EEBaseAddress_Change(); });
    connect(imageList_, &QListWidget::itemSelectionChanged, this, [this] { EEData_Click(); });
    connect(readButton_, &QPushButton::clicked, this, [this] { ReadEECMD_Click(); });
    connect(writeButton_, &QPushButton::clicked, this, [this] { WriteEECMD_Click(); });
    connect(verify, &QPushButton::clicked, this, [this] { VerifyEECMD_Click(); });
    connect(viewEepromButton_, &QPushButton::clicked, this, [this] { ReadAllEE_Click(); });
    connect(blockReadButton_, &QPushButton::clicked, this, [this] { EEBlockRead_Click(); });
}

void EepromBlockPanel::enableWindowButtons() {
    viewEepromButton_->setEnabled(windows_.has(QLatin1String(kWindowEeprom)));
    blockReadButton_->setEnabled(windows_.has(QLatin1String(kWindowBlockRead)));
}

std::vector<std::string> EepromBlockPanel::imageLines() const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(imageList_->count()));
    // Image lines are 8-bit text: one character, one byte.
    for (int i = 0; i < imageList_->count(); ++i)
        items.push_back(imageList_->item(i)->text().toLatin1().toStdString());
    return items;
}

void EepromBlockPanel::EEBaseAddress_Change() {
    const std::string t = str(baseAddress_->text().left(4));
    const std::string e = text::addressText(text::hexValue(t) + 31u);
    writeButton_->setText(qstr("Write " + t + "h-" + e + "h to EEPROM:"));
    readButton_->setText(qstr("Read " + t + "h-" + e + "h from EEPROM:"));
    emit blockRangeChanged(qstr(t + "h-" + e + "h"));
}

void EepromBlockPanel::ReadEECMD_Click() {
    const unsigned base = text::hexValue(str(baseAddress_->text()));
    const auto count = static_cast<unsigned>(g_.EEBlockSize);
    jobs_.run(
        this,
        [base, count](JobControl& c) {
            return eeprom::read(c.device(), base, count, eeprom::Speed::Bytes);
        },
        [this, base, count](eeprom::Run& read) {
            std::size_t sent = 0;
            loadedFrom_.reset();
            for (const eeprom::Step& step : read.steps) {
                if (!step.sent) continue;
                ++sent;
                ui::setListItem(
                    imageList_, static_cast<int>((step.address - base) & 0xFFFFu),
                    qstr(text::imageLine(step.address, static_cast<unsigned>(step.value))));
            }
            if (sent == 0 && ui::refused(read, notify_)) return;
            // The list shows what the line gave; a block that was not read
            // cleanly must not pass for the chip's bytes (a Write would
            // program it).
            const std::string range = "Read " + text::addressText(base) + "h-" +
                                      text::addressText(base + count - 1) + "h: ";
            if (read.refused())
                notify_(qstr(range + "stopped after " + std::to_string(sent) + " of " +
                             std::to_string(count) + " bytes: " + read.refusal +
                             " The list does not hold the chip's bytes."));
            else if (const eeprom::Step* bad = read.firstFailure())
                notify_(qstr(range + std::to_string(read.failed()) + " of " +
                             std::to_string(count) + " reads failed, first at " +
                             text::addressText(bad->address) +
                             "h: " + eeprom::inSentence(bad->problem) +
                             ". The list does not hold the chip's bytes."));
        });
}

void EepromBlockPanel::EEData_Click() {
    if (imageList_->count() == 0) return;
    const unsigned base = text::hexValue(str(imageList_->item(0)->text().left(4)));
    const QString value = fillValue_->text();
    for (int i = imageList_->count() - 1; i >= 0; --i) {
        QListWidgetItem* item = imageList_->item(i);
        if (!item->isSelected()) continue;
        item->setText(qstr(text::addressText(base + static_cast<unsigned>(i)) + "h: ") + value +
                      QStringLiteral("h"));
    }
}

// The block's data bytes, from the list items by position (missing items give 00h).
std::vector<int> EepromBlockPanel::blockData() const {
    const std::vector<std::string> items = imageLines();
    std::vector<int> data;
    for (int i = 0; i < g_.EEBlockSize; ++i)
        data.push_back(text::imageLineData(text::listItem(items, static_cast<std::size_t>(i))));
    return data;
}

void EepromBlockPanel::WriteEECMD_Click() {
    const unsigned base = text::hexValue(str(baseAddress_->text()));
    const auto count = static_cast<unsigned>(g_.EEBlockSize);
    // No erase question for a block the device layer would refuse anyway.
    if (ui::refused(registerSpaceRefusal(base, count), notify_)) return;
    const std::string first = text::addressText(base);
    const std::string last = text::addressText(base + count - 1);
    const std::string range = first + "h-" + last + "h";
    std::string question = "Erase pages " + first + " and " + last + " first?";
    if (loadedFrom_ && *loadedFrom_ != base)
        question +=
            " The list holds the lines of " + loadedRange_ + "; they are written to " + range + ".";
    const auto answer = dialogs_.askYesNo(window(), kProgramTitle, qstr(question));
    if (answer == Dialogs::Answer::Cancel) {
        notify_(qstr("Block write to " + range + " cancelled; nothing was erased or written."));
        return;
    }
    const bool erase = answer == Dialogs::Answer::Yes;
    struct Written {
        eeprom::Run erased, written;
    };
    jobs_.run(
        this,
        [base, count, erase, data = blockData()](JobControl& c) {
            Written w;
            if (erase) {
                w.erased = eeprom::erasePages(c.device(), base, count);
                // Bytes written over a page that was not erased would be wrong.
                if (w.erased.refused() || w.erased.firstFailure() != nullptr) return w;
            }
            w.written = eeprom::writeBlock(c.device(), base, data);
            return w;
        },
        [this, range, count](Written& w) { blockWritten(range, count, w.erased, w.written); });
}

void EepromBlockPanel::blockWritten(const std::string& range, unsigned count,
                                    const eeprom::Run& erased, const eeprom::Run& written) {
    if (ui::refused(erased, notify_)) return;
    if (const eeprom::Step* bad = erased.firstFailure()) {
        notify_(qstr("Page erase at " + text::addressText(bad->address) +
                     "h failed: " + eeprom::inSentence(bad->problem) + ". Nothing was written."));
        return;
    }
    if (written.refused() || written.portFailed) {
        notify_(qstr("Block write to " + range + " stopped after " +
                     std::to_string(written.steps.size() - (written.portFailed ? 1 : 0)) + " of " +
                     std::to_string(count) + " bytes: " +
                     (written.portFailed ? eeprom::inSentence(written.steps.back().problem)
                                         : written.refusal) +
                     (written.portFailed ? "." : "")));
        return;
    }
    if (const eeprom::Step* bad = written.firstFailure()) {
        notify_(qstr("Block write to " + range + " failed: " + std::to_string(written.failed()) +
                     " of " + std::to_string(written.steps.size()) + " writes not acknowledged (" +
                     eeprom::inSentence(bad->problem) + ", first at " +
                     text::addressText(bad->address) + "h)."));
        return;
    }
    notify_(qstr("Block written to " + range + ". Click Verify to read it back."));
}

// Reads the block back and lists every byte that differs from the list.
void EepromBlockPanel::VerifyEECMD_Click() {
    const unsigned base = text::hexValue(str(baseAddress_->text()));
    const std::vector<int> expected = blockData();
    jobs_.run(
        this,
        [base, expected](JobControl& c) {
            return eeprom::verify(c.device(), base, expected, eeprom::Speed::Bytes);
        },
        [this, base, size = expected.size()](eeprom::Verify& result) {
            verified(base, size, result);
        });
}

void EepromBlockPanel::verified(unsigned base, std::size_t size, const eeprom::Verify& result) {
    if (ui::refused(result.run, notify_)) return;
    const auto& mismatches = result.failures;
    // A byte whose read was not acknowledged or failed its PEC is not verified.
    for (const eeprom::VerifyFailure& f : mismatches)
        if (!f.problem.empty()) {
            notify_(qstr(f.text()));
            return;
        }
    const std::string range = text::addressText(base) + "h-" +
                              text::addressText(base + static_cast<unsigned>(size) - 1) + "h";
    if (mismatches.empty()) {
        notify_(qstr("Verify " + range + ": all " + std::to_string(size) + " bytes match."));
        return;
    }
    std::string report =
        "Verify " + range + ": " + std::to_string(mismatches.size()) + " bytes differ.\n\n";
    for (const auto& m : mismatches)
        report += text::addressText(m.address) + "h: expected " +
                  text::byteText(static_cast<unsigned>(m.expected)) + ", read " +
                  text::byteText(static_cast<unsigned>(m.read)) + "\n";
    notify_(qstr("Verify " + range + ": " + std::to_string(mismatches.size()) + " bytes differ."));
    dialogs_.warn(window(), kProgramTitle, qstr(report));
}

void EepromBlockPanel::ReadAllEE_Click() {
    windows_.show(QLatin1String(kWindowEeprom), false);
}

void EepromBlockPanel::EEBlockRead_Click() {
    windows_.show(QLatin1String(kWindowBlockRead), false);
}

void EepromBlockPanel::WriteFileCMD_Click() {
    const QString path = dialogs_.saveFileName(window(), imageFileDialog_);
    if (path.isEmpty()) return;
    std::string error;
    if (!image_file::save(str(path), imageLines(), g_.EEBlockSize, &error))
        dialogs_.warn(window(), kProgramTitle, qstr(error));
}

void EepromBlockPanel::ReadFileCMD_Click() {
    const QString path = dialogs_.openFileName(window(), imageFileDialog_);
    if (path.isEmpty()) return;
    std::vector<std::string> lines;
    std::string error;
    if (!image_file::load(str(path), lines, &error)) {
        dialogs_.warn(window(), kProgramTitle, qstr(error));
        return;
    }
    imageList_->clear();
    for (const std::string& line : lines)
        imageList_->addItem(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    // A line's address is for the reader only: Write sends the bytes to the
    // base address, so a block can be moved. When the two differ, say so.
    loadedFrom_.reset();
    if (lines.empty()) return;
    loadedFrom_ = text::hexValue(lines.front().substr(0, 4));
    loadedRange_ = text::addressText(*loadedFrom_) + "h-" +
                   text::addressText(text::hexValue(lines.back().substr(0, 4))) + "h";
    const unsigned base = text::hexValue(str(baseAddress_->text()));
    if (*loadedFrom_ != base)
        notify_(qstr("Loaded the lines of " + loadedRange_ + " from " +
                     str(QFileInfo(path).fileName()) + "; Write sends them to the base address, " +
                     text::addressText(base) + "h-" +
                     text::addressText(base + static_cast<unsigned>(g_.EEBlockSize) - 1) + "h."));
}

}  // namespace kestrel
