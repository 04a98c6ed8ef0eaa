#include "widgets/page_erase_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>

#include "chip/kestrel_map.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "widgets/refusal_note.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

using ui::qstr;
using ui::str;

PageErasePanel::PageErasePanel(BusJobs& jobs, std::function<void(const QString&)> notify,
                               QWidget* parent, const QString& title, const char* listName,
                               Layout layout)
    : QGroupBox(title, parent), jobs_(jobs), notify_(std::move(notify)) {
    pages_ = new QComboBox(this);
    pages_->setObjectName(QLatin1String(listName));
    pages_->setMinimumWidth(90);
    auto* erase = ui::button("PageErase", QStringLiteral("Page Erase:"), this);
    auto* zeros = ui::button("WriteZeros", QStringLiteral("Write Zeros to Page:"), this);
    if (layout == Layout::Grid) {
        auto* grid = new QGridLayout(this);
        grid->addWidget(erase, 0, 0);
        grid->addWidget(zeros, 1, 0);
        grid->addWidget(pages_, 0, 1, 2, 1);
    } else {
        auto* row = new QHBoxLayout(this);
        row->addWidget(erase);
        row->addWidget(pages_);
        row->addWidget(zeros);
    }
    connect(erase, &QPushButton::clicked, this, [this] { PageErase_Click(); });
    connect(zeros, &QPushButton::clicked, this, [this] { WriteZeros_Click(); });
}

void PageErasePanel::fillPages() {
    pages_->clear();
    for (unsigned page = chip::kEepromFirst; page < chip::kEepromEnd; page += chip::kEepromPageSize)
        pages_->addItem(QString::fromStdString(text::addressText(page)));
    pages_->setCurrentIndex(-1);
}

bool PageErasePanel::chosenPage(unsigned& page) {
    if (pages_->currentIndex() < 0) {
        notify_(choosePageNote_);
        return false;
    }
    page = text::hexValue(str(pages_->currentText()));
    return true;
}

void PageErasePanel::PageErase_Click() {
    unsigned page = 0;
    if (!chosenPage(page)) return;
    jobs_.run(
        this, [page](JobControl& c) { return c.device().EEPROMPageErase(page); },
        [this, page](Outcome& o) {
            if (!ui::refused(o, notify_) && !o.ok())
                notify_(qstr("Page erase at " + text::addressText(page) +
                             "h failed: " + eeprom::inSentence(o.problem()) + "."));
        });
}

void PageErasePanel::WriteZeros_Click() {
    unsigned page = 0;
    if (!chosenPage(page)) return;
    const auto work = [page](JobControl& c) {
        c.expectTransactions(chip::kEepromPageSize);
        return eeprom::zeroFill(c.device(), page);
    };
    const auto done = [this, page](eeprom::Run& r) { zerosDone(page, r); };
    if (progress_ != nullptr)
        progress_->run(this, work, done);
    else
        jobs_.run(this, work, done);
}

void PageErasePanel::zerosDone(unsigned page, const eeprom::Run& r) {
    const std::string range =
        text::addressText(page) + "h-" + text::addressText(page + chip::kEepromPageSize - 1) + "h";
    const std::size_t tried = r.steps.size();
    const std::size_t untried = chip::kEepromPageSize > tried ? chip::kEepromPageSize - tried : 0;
    if (tried == 0 && ui::refused(r, notify_)) return;
    if (r.ok() && untried == 0) {
        notify_(qstr("Zeros written to " + range + "."));
        return;
    }
    std::string text = "Write zeros to " + range + " failed: ";
    if (r.portFailed && !r.steps.empty())
        text += eeprom::inSentence(r.steps.back().problem) + " at " +
                text::addressText(r.steps.back().address) + "h";
    else if (const eeprom::Step* bad = r.firstFailure())
        text += std::to_string(r.failed()) + " of " + std::to_string(tried) +
                " zero-writes went wrong (" + eeprom::inSentence(bad->problem) + ")";
    else
        text += r.refusal;
    if (untried > 0)
        text += "; " + std::to_string(untried) + " of " + std::to_string(chip::kEepromPageSize) +
                " bytes were not tried" +
                (r.refused() && !r.portFailed ? " (" + r.refusal + ")" : std::string());
    notify_(qstr(text + "."));
}

}  // namespace kestrel
