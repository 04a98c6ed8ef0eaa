#include "main_window/page_erase_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QPushButton>

#include "chip/kestrel_map.h"
#include "device/eeprom_ops.h"
#include "device/text_rules.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

using ui::qstr;
using ui::str;

PageErasePanel::PageErasePanel(Device& device, std::function<void(const QString&)> notify,
                               QWidget* parent)
    : QGroupBox(QStringLiteral("EEPROM Page Erase"), parent),
      device_(device),
      notify_(std::move(notify)) {
    auto* grid = new QGridLayout(this);
    pages_ = new QComboBox(this);
    pages_->setObjectName(QStringLiteral("PageErasePointer"));
    pages_->setMinimumWidth(90);
    auto* erase = ui::button("PageErase", QStringLiteral("Page Erase:"), this);
    auto* zeros = ui::button("WriteZeros", QStringLiteral("Write Zeros to Page:"), this);
    grid->addWidget(erase, 0, 0);
    grid->addWidget(zeros, 1, 0);
    grid->addWidget(pages_, 0, 1, 2, 1);
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
        notify_(QStringLiteral("Choose a page in the page list first."));
        return false;
    }
    page = text::hexValue(str(pages_->currentText()));
    return true;
}

void PageErasePanel::PageErase_Click() {
    unsigned page = 0;
    if (!chosenPage(page)) return;
    device_.EEPROMPageErase(text::addressText(page));
}

void PageErasePanel::WriteZeros_Click() {
    unsigned page = 0;
    if (!chosenPage(page)) return;
    const eeprom::RunResult r = eeprom::writeZerosToPage(device_, page);
    if (!r.refused && !r.ok())
        notify_(qstr("Write zeros to " + text::addressText(page) + "h failed: " +
                     std::to_string(r.failed) + " of " + std::to_string(r.attempted) +
                     " zero-writes went wrong (" + eeprom::inSentence(r.firstProblem) + ")."));
}

}  // namespace kestrel
