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

PageErasePanel::PageErasePanel(Device& device, std::function<void(const QString&)> notify,
                               QWidget* parent, const QString& title, const char* listName,
                               Layout layout)
    : QGroupBox(title, parent), device_(device), notify_(std::move(notify)) {
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
    const Outcome o = device_.EEPROMPageErase(page);
    if (!ui::refused(o, notify_) && !o.ok())
        notify_(qstr("Page erase at " + text::addressText(page) +
                     "h failed: " + eeprom::inSentence(o.problem()) + "."));
}

void PageErasePanel::WriteZeros_Click() {
    unsigned page = 0;
    if (!chosenPage(page)) return;
    const eeprom::Run r = eeprom::zeroFill(device_, page);
    if (ui::refused(r, notify_) || r.ok()) return;
    notify_(qstr("Write zeros to " + text::addressText(page) + "h failed: " +
                 std::to_string(r.failed()) + " of " + std::to_string(r.steps.size()) +
                 " zero-writes went wrong (" + eeprom::inSentence(r.firstFailure()->problem) +
                 ")."));
}

}  // namespace kestrel
