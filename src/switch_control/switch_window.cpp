#include "switch_control/switch_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "chip/kestrel_map.h"
#include "device/text_rules.h"

namespace kestrel {

SwitchWindow::SwitchWindow(BusJobs& jobs, std::function<void()> returnToDiagram)
    : jobs_(jobs), returnToDiagram_(std::move(returnToDiagram)) {
    setObjectName(QStringLiteral("frm_PLOVER_Control"));
    setWindowTitle(QStringLiteral("PLOVER_Control"));
    setWindowFlag(Qt::Window);

    auto* column = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QStringLiteral("PLOVER Control"), this);
    frame->setObjectName(QStringLiteral("PLOVER"));
    auto* grid = new QGridLayout(frame);
    SelectSwitch_ = new QLineEdit(QStringLiteral("00"), frame);
    SelectSwitch_->setObjectName(QStringLiteral("SelectSwitch"));
    SelectSwitch_->setMaximumWidth(60);
    auto* switchLabel = new QLabel(QStringLiteral("Select Switch"), frame);
    switchLabel->setObjectName(QStringLiteral("Label1"));
    AddressByte_ = new QLineEdit(QStringLiteral("00"), frame);
    AddressByte_->setObjectName(QStringLiteral("AddressByte"));
    AddressByte_->setMaximumWidth(60);
    auto* addressLabel = new QLabel(QStringLiteral("Select PLOVER"), frame);
    addressLabel->setObjectName(QStringLiteral("Label2"));
    // Names the two PLOVERs of the board for the user; the address field decides.
    auto* combo = new QComboBox(frame);
    combo->setObjectName(QStringLiteral("combo1"));
    combo->setPlaceholderText(QStringLiteral("Select PLOVER"));
    combo->addItems({QStringLiteral("PLOVERU5"), QStringLiteral("PLOVERU10")});
    combo->setCurrentIndex(-1);
    // Choosing a PLOVER puts its address into the field.
    connect(combo, &QComboBox::activated, this, [this](int i) {
        AddressByte_->setText(QString::fromStdString(
            text::hexText(i == 0 ? chip::kPloverAddress : chip::kSecondPloverAddress)));
    });
    auto* write = new QPushButton(QStringLiteral("Write to PLOVER"), frame);
    write->setObjectName(QStringLiteral("PLOVERWriteCMD"));
    connect(write, &QPushButton::clicked, this, [this] { PLOVERWriteCMD_Click(); });
    grid->addWidget(SelectSwitch_, 0, 0);
    grid->addWidget(switchLabel, 0, 1);
    grid->addWidget(AddressByte_, 1, 0);
    grid->addWidget(addressLabel, 1, 1);
    grid->addWidget(combo, 2, 0, 1, 2);
    grid->addWidget(write, 3, 0, 1, 2);
    column->addWidget(frame);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("note"));
    note_->setWordWrap(true);
    column->addWidget(note_);

    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setProperty("escapeButton", true);
    exit->setObjectName(QStringLiteral("exit"));
    connect(exit, &QPushButton::clicked, this, [this] { exit_Click(); });
    column->addWidget(exit, 0, Qt::AlignRight);
}

void SwitchWindow::PLOVERWriteCMD_Click() {
    const int address = text::hexValue(AddressByte_->text().toStdString());
    // 00h is the general call: every chip on the bus would take the byte.
    if ((address & 0xFE) == 0) {
        note_->setText(
            QStringLiteral("Enter a PLOVER address (90 or 98) or choose a PLOVER; "
                           "nothing was sent to the general call address 00h."));
        return;
    }
    note_->clear();
    jobs_.globals().CommandCode = static_cast<std::int16_t>(address);
    const int d = text::hexValue(SelectSwitch_->text().toStdString());
    // The main window shows the byte sent as it observes the write.
    jobs_.run(
        this, [address, d](JobControl& c) { return c.device().WriteSwitch(address, d); },
        [this](Outcome& o) {
            note_->setText(o.refused() ? QString::fromStdString(o.refusal)
                           : o.ok()    ? QString()
                                       : QString::fromStdString(o.problem()));
        });
}

void SwitchWindow::exit_Click() {
    hide();
    if (jobs_.globals().ConfigWindowOpen && returnToDiagram_) returnToDiagram_();
}

}  // namespace kestrel
