#include "main_window/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "chip/kestrel_map.h"
#include "device/diagnostics.h"
#include "device/register_map.h"
#include "device/text_rules.h"
#include "widgets/bit_label_row.h"
#include "widgets/tab_list_delegate.h"
#include "widgets/widget_helpers.h"
#include "widgets/window_registry.h"

namespace kestrel {

using ui::qstr;
using ui::str;

namespace {

const char* const kSlaveAddresses[] = {"AEh", "A0h", "A2h", "A4h", "A6h", "A8h", "AAh", "2Dh"};

}  // namespace

MainWindow::MainWindow(Globals& globals, Device& device, Dialogs& dialogs, WindowRegistry& windows)
    : g_(globals), device_(device), dialogs_(dialogs), windows_(windows) {
    setObjectName(QStringLiteral("KESTREL"));
    setWindowTitle(QStringLiteral("KESTREL"));

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->addWidget(buildPortSection(), 0, 0, 1, 2);
    auto* left = new QVBoxLayout;
    left->addWidget(buildRamSection());
    left->addWidget(buildReadoutSection(), 1);
    auto* right = new QVBoxLayout;
    right->addWidget(buildEepromDataSection(), 1);
    right->addWidget(buildEepromByteSection());
    grid->addLayout(left, 1, 0);
    grid->addLayout(right, 1, 1);
    exit = ui::button("exit", QStringLiteral("Exit"), central);
    grid->addWidget(exit, 2, 1, Qt::AlignRight);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    // On a small screen the window shrinks and its controls scroll.
    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("scrollArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    const QSize natural = central->sizeHint();
    area->setWidget(central);
    setCentralWidget(area);

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    // Both labels are permanent widgets: a menu's hover text, which the
    // status bar shows as a temporary message, can never wipe them.
    statusMessage_ = ui::label("statusMessage", QString(), statusBar());
    statusMessage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusMessage_->setMinimumWidth(1);
    statusBar()->addPermanentWidget(statusMessage_, 1);
    progress_ = new QProgressBar(statusBar());
    progress_->setObjectName(QStringLiteral("backupProgress"));
    progress_->setMaximumWidth(160);
    progress_->setVisible(false);
    statusBar()->addPermanentWidget(progress_);
    connection_ = ui::label("connectionIndicator", QString(), statusBar());
    connection_->setFrameShape(QFrame::StyledPanel);
    statusBar()->addPermanentWidget(connection_);
    // The toolbar has no buttons yet; it is there but not shown.
    QToolBar* toolbar = addToolBar(QStringLiteral("Toolbar1"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setVisible(false);
    buildMenus();
    connectHandlers();
    resize(natural.width(),
           natural.height() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

QWidget* MainWindow::buildPortSection() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* heading = ui::label("Label3", QStringLiteral("KESTREL Eval Software"), box);
    QFont f = heading->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    heading->setFont(f);
    grid->addWidget(heading, 0, 0, 1, 6);
    grid->addWidget(ui::label("Label2", QStringLiteral("Printer port:"), box), 1, 0);
    CurrentPPortAddrCOMBO = new QComboBox(box);
    CurrentPPortAddrCOMBO->setObjectName(QStringLiteral("CurrentPPortAddrCOMBO"));
    CurrentPPortAddrCOMBO->setMinimumWidth(130);
    grid->addWidget(CurrentPPortAddrCOMBO, 1, 1);
    grid->addWidget(ui::label("Label1", QStringLiteral("pin2=SCL; pin3=SDA"), box), 1, 2);
    grid->addWidget(ui::label("Label4", QStringLiteral("Slave address:"), box), 1, 3);
    SlaveAddress = new QComboBox(box);
    SlaveAddress->setObjectName(QStringLiteral("SlaveAddress"));
    SlaveAddress->setMinimumWidth(80);
    grid->addWidget(SlaveAddress, 1, 4);
    grid->addWidget(ui::label("Label5", QStringLiteral("AEh=broadcast address"), box), 1, 5);
    grid->setColumnStretch(6, 1);
    return box;
}

QWidget* MainWindow::buildRamSection() {
    auto* frame = new QGroupBox(QStringLiteral("Ram Byte r/w"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(frame);
    grid->addWidget(ui::label("Label6", QStringLiteral("Register:"), frame), 0, 0);
    AddressPointer = ui::edit("AddressPointer", QStringLiteral("00"), frame);
    grid->addWidget(AddressPointer, 0, 1);
    grid->addWidget(ui::label("Label9", QStringLiteral("Data:"), frame), 1, 0);
    ByteData = ui::edit("ByteData", QStringLiteral("00"), frame);
    grid->addWidget(ByteData, 1, 1);
    Read_Data = new BitLabelRow(QStringLiteral("Read_Data"), frame);
    grid->addWidget(Read_Data, 0, 2, 1, 2);
    grid->addWidget(ui::label("Label10", QStringLiteral("PEC:"), frame), 1, 2, Qt::AlignRight);
    PEC = ui::label("PEC", QString(), frame);
    PEC->setMinimumWidth(30);
    grid->addWidget(PEC, 1, 3);
    ByteReadCMD = ui::button("ByteReadCMD", QStringLiteral("RAM Byte Read"), frame);
    ByteWriteCMD = ui::button("ByteWriteCMD", QStringLiteral("RAM Byte Write"), frame);
    Command1 = ui::button("Command1", QStringLiteral("PS ON"), frame);
    grid->addWidget(ByteReadCMD, 0, 4);
    grid->addWidget(ByteWriteCMD, 1, 4);
    grid->addWidget(Command1, 0, 5, 2, 1);
    grid->setColumnStretch(6, 1);
    return frame;
}

QWidget* MainWindow::buildReadoutSection() {
    auto* frame = new QGroupBox(QStringLiteral("Read RAM Data"), this);
    frame->setObjectName(QStringLiteral("Frame6"));
    auto* grid = new QGridLayout(frame);
    ReadRAM = ui::button("ReadRAM", QStringLiteral("Read 00h-1Dh:"), frame);
    grid->addWidget(ReadRAM, 0, 0, Qt::AlignLeft);
    List1 = new QListWidget(frame);
    List1->setObjectName(QStringLiteral("List1"));
    List2 = new QListWidget(frame);
    List2->setObjectName(QStringLiteral("List2"));
    // The register names carry tabs; only the read-out has a value after them.
    List2->setItemDelegate(
        new TabListDelegate(QStringLiteral("Current Sense Amplifier Offset Trim"), List2));
    List1->setMinimumWidth(250);
    List1->setMinimumHeight(300);
    List2->setMinimumWidth(420);
    grid->addWidget(List1, 1, 0);
    grid->addWidget(List2, 1, 1);
    grid->setColumnStretch(1, 1);
    return frame;
}

void MainWindow::buildMenus() {
    QMenu* file = menu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    WriteFileCMD = file->addAction(QStringLiteral("Write 8100h-811Fh to file"));
    WriteFileCMD->setObjectName(QStringLiteral("WriteFileCMD"));
    ReadFileCMD = file->addAction(QStringLiteral("Read 8XXXh-8XXXh from file"));
    ReadFileCMD->setObjectName(QStringLiteral("ReadFileCMD"));
    file->addSeparator()->setObjectName(QStringLiteral("sep1"));
    ExitCMD = file->addAction(QStringLiteral("Exit"));
    ExitCMD->setObjectName(QStringLiteral("ExitCMD"));
    // The usual keys; the captions stay as they are.
    ExitCMD->setShortcut(QKeySequence::Quit);
    ReadFileCMD->setShortcut(QKeySequence::Open);
    WriteFileCMD->setShortcut(QKeySequence::Save);
}

QMenu* MainWindow::menu(const QString& caption) {
    for (QAction* a : menuBar()->actions())
        if (a->menu() != nullptr && a->text() == caption) return a->menu();
    return menuBar()->addMenu(caption);
}

QAction* MainWindow::addWindowEntry(const QString& menuCaption, const QString& objectName,
                                    const QString& caption, const QString& window, bool modal) {
    QAction* action = menu(menuCaption)->addAction(caption);
    action->setObjectName(objectName);
    connect(action, &QAction::triggered, this,
            [this, window, modal] { windows_.show(window, modal); });
    return action;
}

QAction* MainWindow::addMenuBarEntry(const QString& objectName, const QString& caption,
                                     const QString& window, bool modal) {
    QAction* action = menuBar()->addAction(caption);
    action->setObjectName(objectName);
    connect(action, &QAction::triggered, this,
            [this, window, modal] { windows_.show(window, modal); });
    return action;
}

void MainWindow::connectHandlers() {
    connect(SlaveAddress, &QComboBox::activated, this, [this] { SlaveAddress_Click(); });
    connect(CurrentPPortAddrCOMBO, &QComboBox::activated, this,
            [this] { CurrentPPortAddrCOMBO_Click(); });
    connect(ByteReadCMD, &QPushButton::clicked, this, [this] { ByteReadCMD_Click(); });
    connect(ByteWriteCMD, &QPushButton::clicked, this, [this] { ByteWriteCMD_Click(); });
    connect(ReadRAM, &QPushButton::clicked, this, [this] { ReadRAM_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(List1, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    connect(exit, &QPushButton::clicked, this, [this] { exit_Click(); });
    connect(ExitCMD, &QAction::triggered, this, [this] { exit_Click(); });
    connect(EEBaseAddress, &QLineEdit::textChanged, this, [this] { EEBaseAddress_Change(); });
    connect(EEData, &QListWidget::itemSelectionChanged, this, [this] { EEData_Click(); });
    connect(ReadEECMD, &QPushButton::clicked, this, [this] { ReadEECMD_Click(); });
    connect(WriteEECMD, &QPushButton::clicked, this, [this] { WriteEECMD_Click(); });
    connect(VerifyEECMD, &QPushButton::clicked, this, [this] { VerifyEECMD_Click(); });
    connect(PageErase, &QPushButton::clicked, this, [this] { PageErase_Click(); });
    connect(WriteZeros, &QPushButton::clicked, this, [this] { WriteZeros_Click(); });
    connect(EEByteReadCMD, &QPushButton::clicked, this, [this] { EEByteReadCMD_Click(); });
    connect(EEByteWriteCMD, &QPushButton::clicked, this, [this] { EEByteWriteCMD_Click(); });
    connect(ReadAllEE, &QPushButton::clicked, this, [this] { ReadAllEE_Click(); });
    connect(EEBlockRead, &QPushButton::clicked, this, [this] { EEBlockRead_Click(); });
    connect(WriteFileCMD, &QAction::triggered, this, [this] { WriteFileCMD_Click(); });
    connect(ReadFileCMD, &QAction::triggered, this, [this] { ReadFileCMD_Click(); });
}

void MainWindow::KESTREL_Form_Load() {
    g_.ConfigWindowOpen = false;

    // The image file is proposed in the program's own folder; where that is
    // not writable (an installed program), in the user's home folder.
    const QString programFolder = QCoreApplication::applicationDirPath();
    CommonDialog1.filter = QStringLiteral("Dat Files (*.dat)");
    CommonDialog1.folder = QFileInfo(programFolder).isWritable() ? programFolder : QDir::homePath();
    CommonDialog1.fileName = QStringLiteral("kestrel.dat");
    backupDialog_.filter = QStringLiteral("EEPROM backups (*.dat)");
    backupDialog_.folder = CommonDialog1.folder;
    backupDialog_.fileName = QStringLiteral("kestrel-eeprom.dat");

    g_.EEBlockSize = 32;
    g_.RamRegisterCount = 30;
    g_.SlaveAddr = 0xAE;

    SlaveAddress->clear();
    for (const char* a : kSlaveAddresses) SlaveAddress->addItem(QLatin1String(a));
    SlaveAddress->setCurrentIndex(-1);
    PageErasePointer->clear();
    for (unsigned page = chip::kEepromFirst; page < chip::kEepromEnd; page += chip::kEepromPageSize)
        PageErasePointer->addItem(QString::fromStdString(text::addressText(page)));
    PageErasePointer->setCurrentIndex(-1);
    List1->clear();
    for (std::size_t i = 0; i < kRegisterMap.size(); ++i)
        List1->addItem(QString::fromStdString(registerListLine(i)));

    g_.SCLTimingValue = 5;
    discoverPorts();

    // The buttons to the EEPROM and block read windows work once those
    // windows are part of the program.
    ReadAllEE->setEnabled(windows_.has(QStringLiteral("frm_EEPROM")));
    EEBlockRead->setEnabled(windows_.has(QStringLiteral("frm_Block_Read")));

    g_.CommandCode = chip::kPloverAddress;
    device_.WriteSwitch(g_.CommandCode, chip::kPloverStartSetting);
}

void MainWindow::discoverPorts() {
    CurrentPPortAddrCOMBO->clear();
    bool lpt1Error = false;
    for (int n = 1; n <= 3; ++n) {
        const auto [address, state] = device_.lptSlot(n);
        if (n == 1) lpt1Error = address == 0 && state != 0;
        if (address != 0)
            CurrentPPortAddrCOMBO->addItem(QString::fromStdString(text::hexText(address)));
        else
            CurrentPPortAddrCOMBO->addItem(
                QStringLiteral("LPT%1: %2")
                    .arg(n)
                    .arg(state != 0 ? QStringLiteral("Error") : QStringLiteral("absent")));
    }
    CurrentPPortAddrCOMBO->setCurrentIndex(0);
    g_.PortEntry = 0;
    // The first entry decides the port for the whole session; an entry that
    // is not an address ("LPT1: absent") gives 0, and the bus stays silent.
    g_.LPTBase = static_cast<std::int16_t>(text::hexValue(str(CurrentPPortAddrCOMBO->itemText(0))));
    if (g_.LPTBase != 0)
        setConnection(QStringLiteral("LPT1 %1h").arg(CurrentPPortAddrCOMBO->itemText(0)));
    else if (lpt1Error)
        setConnection(QStringLiteral("LPT1 cannot be opened: see Tools > Messages"));
    else
        setConnection(QStringLiteral(
            "No parallel port: load parport_pc and ppdev, or start with --simulate"));
    if (g_.LPTBase == 0) device_.available();  // tells the user once
}

void MainWindow::CurrentPPortAddrCOMBO_Click() {
    // Only the numbers handed to the port library change; the port driven
    // stays the one chosen at start-up.
    g_.PortEntry = static_cast<std::int16_t>(CurrentPPortAddrCOMBO->currentIndex());
}

void MainWindow::SlaveAddress_Click() {
    g_.SlaveAddr = static_cast<std::int16_t>(text::hexValue(str(SlaveAddress->currentText())));
}

void MainWindow::ByteReadCMD_Click() {
    g_.CommandCode = static_cast<std::int16_t>(text::hexValue(str(AddressPointer->text())));
    const auto v = device_.ReadRegister(g_.CommandCode);
    if (!v) return;
    ByteData->setText(QString::fromStdString(text::hexText(static_cast<unsigned>(*v))));
    device_.ShowRamBits(*v);
}

void MainWindow::ByteWriteCMD_Click() {
    g_.CommandCode = static_cast<std::int16_t>(text::hexValue(str(AddressPointer->text())));
    const int d = text::hexValue(str(ByteData->text()));
    if (!device_.WriteRegister(g_.CommandCode, d)) return;
    device_.ShowRamBits(d);
}

void MainWindow::ReadRAM_Click() {
    if (!device_.available()) return;
    for (int i = 0; i < g_.RamRegisterCount; ++i) {
        const auto v = device_.ReadRegister(i);
        if (!v) return;
        ui::setListItem(List2, i,
                        QString::fromStdString(readoutLine(static_cast<std::size_t>(i), *v)));
    }
}

void MainWindow::Command1_Click() {
    g_.CommandCode = chip::kPsOnRegister;
    if (!device_.WriteRegister(chip::kPsOnRegister, chip::kPsOnOff)) return;
    device_.WriteRegister(chip::kPsOnRegister, chip::kPsOnOn);
}

// A click on a register name puts its address, and the value of the last
// read-out if there was one, into the byte controls.
void MainWindow::List1_Click() {
    const int reg = List1->currentRow();
    if (reg < 0) return;
    AddressPointer->setText(QString::fromStdString(text::byteText(static_cast<unsigned>(reg))));
    if (reg < List2->count()) {
        const std::string line = str(List2->item(reg)->text());
        // The line ends "1Dh: 21h  ": the value stands before "h  ".
        const std::string value = line.size() >= 5 ? line.substr(line.size() - 5, 2) : "";
        ByteData->setText(QString::fromStdString(value));
        device_.ShowRamBits(text::hexValue(value));
    }
    PEC->clear();
}

void MainWindow::exit_Click() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (quitting_) return;
    quitting_ = true;
    if (quit_) quit_();
}

void MainWindow::notify(const QString& text) {
    statusMessage_->setText(text);
    statusMessage_->setToolTip(text);
    log_.add(text);
}

QString MainWindow::message() const {
    return statusMessage_->text();
}

void MainWindow::setConnection(const QString& text) {
    connection_->setText(text);
}

void MainWindow::transactionEnded(const TransactionRecord& record) {
    const std::string problem = diagnose(record);
    if (!problem.empty()) {
        diagnosticShown_ = QString::fromStdString(problem);
        notify(diagnosticShown_);
    } else if (!diagnosticShown_.isEmpty()) {
        // A clean transaction takes the bus fault's note away; the log keeps it.
        if (statusMessage_->text() == diagnosticShown_) statusMessage_->clear();
        diagnosticShown_.clear();
    }
}

void MainWindow::showRamBits(std::uint8_t value) {
    Read_Data->showValue(value);
}
void MainWindow::showEEBits(std::uint8_t value) {
    Read_DataEE->showValue(value);
}
void MainWindow::setPecCaption(const std::string& text) {
    PEC->setText(QString::fromStdString(text));
}
void MainWindow::setEEByteData(const std::string& text) {
    EEByteData->setText(QString::fromStdString(text));
}
void MainWindow::setPecEECaption(const std::string& text) {
    PEC_EE->setText(QString::fromStdString(text));
}

}  // namespace kestrel
