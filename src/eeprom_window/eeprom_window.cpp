#include "eeprom_window/eeprom_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "chip/kestrel_map.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "widgets/page_erase_panel.h"
#include "widgets/refusal_note.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

EepromWindow::EepromWindow(BusJobs& jobs, std::function<void(const QString&)> notify)
    : jobs_(jobs), notify_(std::move(notify)) {
    setObjectName(QStringLiteral("frm_EEPROM"));
    setWindowTitle(QStringLiteral("KESTREL EEPROM"));
    setWindowFlag(Qt::Window);

    auto* column = new QVBoxLayout(this);
    auto* pages = new QGridLayout;
    for (int row = 0; row < 2; ++row) {
        auto* heading = new QLabel(
            row == 0 ? QStringLiteral("8000-80FFh") : QStringLiteral("8100-81FFh"), this);
        QFont f = heading->font();
        f.setBold(true);
        heading->setFont(f);
        pages->addWidget(heading, row * 2, 0, 1, 8);
        for (int col = 0; col < 8; ++col) {
            const int page = row * 8 + col;
            const unsigned base =
                chip::kEepromFirst + chip::kEepromPageSize * static_cast<unsigned>(page);
            auto* frame = new QGroupBox(QString::fromStdString(text::addressText(base) + "-" +
                                                               text::addressText(base + 31)),
                                        this);
            auto* inside = new QVBoxLayout(frame);
            inside->setContentsMargins(2, 2, 2, 2);
            auto* list = new QListWidget(frame);
            list->setObjectName(QStringLiteral("EEData"));
            list->setProperty("index", page);
            list->setMinimumSize(105, 150);
            inside->addWidget(list);
            EEData_[static_cast<std::size_t>(page)] = list;
            pages->addWidget(frame, row * 2 + 1, col);
        }
    }
    column->addLayout(pages, 1);

    auto* controls = new QHBoxLayout;
    EEPage0_ = new QLineEdit(QStringLiteral("8000"), this);
    EEPage0_->setObjectName(QStringLiteral("EEPage0"));
    EEPage0_->setMaximumWidth(70);
    controls->addWidget(EEPage0_);
    auto* read = ui::button("Read_EEPROM_Page", QStringLiteral("Read Entire EEPROM"), this);
    connect(read, &QPushButton::clicked, this, [this] { Read_EEPROM_Page_Click(); });
    controls->addWidget(read);
    ReadEEPROMStatus_ = new QProgressBar(this);
    ReadEEPROMStatus_->setObjectName(QStringLiteral("ReadEEPROMStatus"));
    ReadEEPROMStatus_->setMinimumWidth(200);
    controls->addWidget(ReadEEPROMStatus_, 1);
    stopRead_ = ui::button("stopRead", QStringLiteral("Stop"), this);
    stopRead_->setEnabled(false);
    connect(stopRead_, &QPushButton::clicked, this, [this] {
        if (reading_ != 0) jobs_.stop(reading_);
    });
    controls->addWidget(stopRead_);

    erasePanel_ = new PageErasePanel(
        jobs_, [this](const QString& text) { say(text); }, this,
        QStringLiteral("EEPROM Page Erase                Write Zeros to Page"), "PageErasePointer1",
        PageErasePanel::Layout::Row);
    erasePanel_->setChoosePageNote(
        QStringLiteral("Choose a page in the EEPROM window's page list first."));
    controls->addWidget(erasePanel_);

    auto* exit = ui::button("exit", QStringLiteral("Exit"), this);
    exit->setProperty("escapeButton", true);
    connect(exit, &QPushButton::clicked, this, [this] { exit_Click(); });
    controls->addWidget(exit, 0, Qt::AlignBottom);
    column->addLayout(controls);
    // This window's own messages stand here, where the user is looking.
    statusLine_ = ui::label("statusLine", QString(), this);
    statusLine_->setFrameShape(QFrame::StyledPanel);
    statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(statusLine_);
    ui::makeScrollable(this);
}

void EepromWindow::say(const QString& text) {
    statusLine_->setText(text);
    if (notify_) notify_(text);
}

QString EepromWindow::message() const {
    return statusLine_->text();
}

void EepromWindow::Form_Load() {
    erasePanel_->fillPages();
}

void EepromWindow::Read_EEPROM_Page_Click() {
    if (reading_ != 0) return;  // the read under way fills the lists
    const unsigned first = text::hexValue(EEPage0_->text().toStdString());
    ReadEEPROMStatus_->setVisible(true);
    ReadEEPROMStatus_->setMinimum(0);
    ReadEEPROMStatus_->setMaximum(15);
    ReadEEPROMStatus_->setValue(0);
    stopRead_->setEnabled(true);
    jobs_.globals().EEPageSize = 32;
    // Each page shows as soon as it is read, while the read goes on.
    reading_ = jobs_.run(
        this,
        // The job runs on the bus owner's thread, where this window may be
        // gone: it reaches the window only through posts the window receives.
        [this, &jobs = jobs_, first](JobControl& c) {
            std::vector<eeprom::Step> page;
            return eeprom::read(
                c.device(), first, 16u * 32u, eeprom::Speed::Bytes, [&](const eeprom::Step& step) {
                    page.push_back(step);
                    if (page.size() == 32) {
                        jobs.post(c.id(), [this, first, page] { showPage(first, page); });
                        page.clear();
                    }
                    return true;
                });
        },
        [this](eeprom::Run& read) { readDone(read); });
}

void EepromWindow::showPage(unsigned first, std::vector<eeprom::Step> page) {
    for (const eeprom::Step& step : page) {
        const unsigned offset = (step.address - first) & 0xFFFFu;
        ui::setListItem(EEData_[(offset / 32u) % 16u], static_cast<int>(offset % 32u),
                        QString::fromStdString(
                            text::imageLine(step.address, static_cast<unsigned>(step.value))));
    }
    if (!page.empty())
        ReadEEPROMStatus_->setValue(
            static_cast<int>(((page.front().address - first) & 0xFFFFu) / 32u));
}

void EepromWindow::readDone(const eeprom::Run& read) {
    reading_ = 0;
    stopRead_->setEnabled(false);
    ReadEEPROMStatus_->setVisible(false);
    // What the lists show was not all read cleanly: say so, never pass it
    // off as the chip's bytes.
    std::size_t sent = 0;
    for (const eeprom::Step& step : read.steps) sent += step.sent ? 1 : 0;
    if (sent == 0 && ui::refused(read, [this](const QString& text) { say(text); })) return;
    std::string text;
    if (read.refused())
        text = "Stopped after " + std::to_string(sent) + " of 512 bytes: " + read.refusal + " ";
    else if (const eeprom::Step* bad = read.firstFailure())
        text = std::to_string(read.failed()) + " of 512 reads failed, first at " +
               text::addressText(bad->address) + "h: " + eeprom::inSentence(bad->problem) + ". ";
    say(text.empty() ? QString()
                     : QString::fromStdString(text + "The lists do not hold the chip's bytes."));
}

void EepromWindow::PageErase_Click() {
    erasePanel_->PageErase_Click();
}

void EepromWindow::WriteZeros_Click() {
    erasePanel_->WriteZeros_Click();
}

}  // namespace kestrel
