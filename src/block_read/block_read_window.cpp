#include "block_read/block_read_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "device/block_read.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "widgets/refusal_note.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

BlockReadWindow::BlockReadWindow(BusJobs& jobs, std::function<void(const QString&)> notify)
    : jobs_(jobs), notify_(std::move(notify)) {
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
    exit->setProperty("escapeButton", true);
    exit->setObjectName(QStringLiteral("Command2"));
    connect(exit, &QPushButton::clicked, this, [this] { Command2_Click(); });
    grid->addWidget(exit, 2, 0, 1, 2, Qt::AlignBottom);
}

void BlockReadWindow::Do_Block_Read_Click() {
    const unsigned base = text::hexValue(EEBaseAddress_->text().toStdString());
    // The pointer write names only the first address; the chip reads on from there.
    jobs_.run(
        this, [base](JobControl& c) { return blockRead(c.device(), base); },
        [this, base](BlockReadResult& result) { show(base, result); });
}

void BlockReadWindow::show(unsigned base, const BlockReadResult& result) {
    if (ui::refused(result.outcome, notify_) || result.outcome.received().size() != 34) return;
    const BlockReadResult* r = &result;
    auto q = [](const std::string& s) { return QString::fromStdString(s); };
    ui::setListItem(List1_, 0,
                    q("Bytes: " + text::byteText(static_cast<unsigned>(r->count)) + "h"));
    for (int i = 0; i < 32; ++i)
        ui::setListItem(
            List1_, i + 1,
            q(text::imageLine(base + static_cast<unsigned>(i),
                              static_cast<unsigned>(r->data[static_cast<std::size_t>(i)]))));
    ui::setListItem(List1_, 33, q("PEC: " + text::byteText(static_cast<unsigned>(r->pec)) + "h"));
}

}  // namespace kestrel
