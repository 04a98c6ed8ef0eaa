#include "switch_control/switch_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "device/text_rules.h"

namespace kestrel {

SwitchWindow::SwitchWindow(Device& device, std::function<void()> returnToDiagram)
    : device_(device), returnToDiagram_(std::move(returnToDiagram)) {
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

    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setProperty("escapeButton", true);
    exit->setObjectName(QStringLiteral("exit"));
    connect(exit, &QPushButton::clicked, this, [this] { exit_Click(); });
    column->addWidget(exit, 0, Qt::AlignRight);
}

void SwitchWindow::PLOVERWriteCMD_Click() {
    Globals& g = device_.globals();
    g.CommandCode = static_cast<std::int16_t>(text::hexValue(AddressByte_->text().toStdString()));
    const int d = text::hexValue(SelectSwitch_->text().toStdString());
    // The main window shows the byte sent as it observes the write.
    device_.WriteSwitch(g.CommandCode, d);
}

void SwitchWindow::exit_Click() {
    hide();
    if (device_.globals().ConfigWindowOpen && returnToDiagram_) returnToDiagram_();
}

}  // namespace kestrel
