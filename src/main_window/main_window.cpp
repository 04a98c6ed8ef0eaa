#include "main_window/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
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
#include "device/text_rules.h"
#include "main_window/port_panel.h"
#include "main_window/ram_panel.h"
#include "widgets/bit_label_row.h"
#include "widgets/widget_helpers.h"
#include "widgets/window_registry.h"

namespace kestrel {

using ui::qstr;
using ui::str;

MainWindow::MainWindow(Globals& globals, Device& device, Dialogs& dialogs, WindowRegistry& windows)
    : g_(globals), device_(device), dialogs_(dialogs), windows_(windows) {
    setObjectName(QStringLiteral("KESTREL"));
    setWindowTitle(QStringLiteral("KESTREL"));

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    portPanel_ = new PortPanel(
        g_, device_, [this](const QString& text) { setConnection(text); }, this);
    grid->addWidget(portPanel_, 0, 0, 1, 2);
    ramPanel_ = new RamPanel(g_, device_, this);
    auto* right = new QVBoxLayout;
    right->addWidget(buildEepromDataSection(), 1);
    right->addWidget(buildEepromByteSection());
    grid->addWidget(ramPanel_, 1, 0);
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

    portPanel_->fillSlaveAddresses();
    PageErasePointer->clear();
    for (unsigned page = chip::kEepromFirst; page < chip::kEepromEnd; page += chip::kEepromPageSize)
        PageErasePointer->addItem(QString::fromStdString(text::addressText(page)));
    PageErasePointer->setCurrentIndex(-1);
    ramPanel_->fillRegisterNames();

    g_.SCLTimingValue = 5;
    portPanel_->discoverPorts();

    // The buttons to the EEPROM and block read windows work once those
    // windows are part of the program.
    ReadAllEE->setEnabled(windows_.has(QStringLiteral("frm_EEPROM")));
    EEBlockRead->setEnabled(windows_.has(QStringLiteral("frm_Block_Read")));

    g_.CommandCode = chip::kPloverAddress;
    device_.WriteSwitch(g_.CommandCode, chip::kPloverStartSetting);
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
    ramPanel_->showBits(value);
}
void MainWindow::showEEBits(std::uint8_t value) {
    Read_DataEE->showValue(value);
}
void MainWindow::setPecCaption(const std::string& text) {
    ramPanel_->setPecCaption(text);
}
void MainWindow::setEEByteData(const std::string& text) {
    EEByteData->setText(QString::fromStdString(text));
}
void MainWindow::setPecEECaption(const std::string& text) {
    PEC_EE->setText(QString::fromStdString(text));
}

}  // namespace kestrel
