#include "main_window/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "chip/kestrel_map.h"
#include "device/captions.h"
#include "device/diagnostics.h"
#include "main_window/eeprom_backup_actions.h"
#include "main_window/eeprom_block_panel.h"
#include "main_window/eeprom_byte_panel.h"
#include "main_window/port_panel.h"
#include "main_window/ram_panel.h"
#include "widgets/page_erase_panel.h"
#include "widgets/widget_helpers.h"
#include "widgets/window_registry.h"

namespace kestrel {

MainWindow::MainWindow(Globals& globals, BusJobs& jobs, Dialogs& dialogs, WindowRegistry& windows)
    : g_(globals), jobs_(jobs), windows_(windows) {
    setObjectName(QStringLiteral("KESTREL"));
    setWindowTitle(QStringLiteral("KESTREL"));
    const auto notifier = [this](const QString& text) { notify(text); };

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    portPanel_ = new PortPanel(
        g_, jobs_, [this](const QString& text) { setConnection(text); }, notifier, this);
    grid->addWidget(portPanel_, 0, 0, 1, 2);
    ramPanel_ = new RamPanel(g_, jobs_, notifier, this);
    eepromBlockPanel_ = new EepromBlockPanel(g_, jobs_, dialogs, windows_, notifier, this);
    eepromBytePanel_ = new EepromBytePanel(g_, jobs_, notifier, this);
    auto* right = new QVBoxLayout;
    right->addWidget(eepromBlockPanel_, 1);
    right->addWidget(eepromBytePanel_);
    grid->addWidget(ramPanel_, 1, 0);
    grid->addLayout(right, 1, 1);
    auto* exit = ui::button("exit", QStringLiteral("Exit"), central);
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

    buildStatusBar();
    backup_ = std::make_unique<EepromBackupActions>(dialogs, *this, *progress_, notifier);
    eepromBlockPanel_->pageErasePanel().setProgress(progress_);
    // The toolbar has no buttons yet; it is there but not shown.
    QToolBar* toolbar = addToolBar(QStringLiteral("Toolbar1"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setVisible(false);
    buildMenus();
    connect(exit, &QPushButton::clicked, this, [this] { exit_Click(); });
    resize(natural.width(),
           natural.height() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

MainWindow::~MainWindow() = default;

void MainWindow::buildStatusBar() {
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    // Both labels are permanent widgets: a menu's hover text, which the
    // status bar shows as a temporary message, can never wipe them.
    statusMessage_ = ui::label("statusMessage", QString(), statusBar());
    statusMessage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusMessage_->setMinimumWidth(1);
    statusBar()->addPermanentWidget(statusMessage_, 1);
    // A long job's progress, with its Stop.
    progress_ = new JobProgress(jobs_, QStringLiteral("backup"), statusBar());
    progress_->setMaximumWidth(240);
    statusBar()->addPermanentWidget(progress_);
    // Work queued behind a job under way shows as busy: the queue is visible.
    busy_ = ui::label("busyIndicator", QStringLiteral("Working..."), statusBar());
    busy_->setVisible(false);
    statusBar()->addPermanentWidget(busy_);
    busyDelay_ = new QTimer(this);
    busyDelay_->setSingleShot(true);
    busyDelay_->setInterval(200);
    connect(busyDelay_, &QTimer::timeout, this, [this] { busy_->setVisible(!jobs_.idle()); });
    connect(&jobs_, &BusJobs::idleChanged, this, [this](bool idle) {
        if (idle) {
            busyDelay_->stop();
            busy_->setVisible(false);
        } else {
            busyDelay_->start();
        }
    });
    connection_ = ui::label("connectionIndicator", QString(), statusBar());
    connection_->setFrameShape(QFrame::StyledPanel);
    statusBar()->addPermanentWidget(connection_);
}

void MainWindow::buildMenus() {
    QMenu* file = menu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    writeFileAction_ = file->addAction(QStringLiteral("Write 8100h-811Fh to file"));
    writeFileAction_->setObjectName(QStringLiteral("WriteFileCMD"));
    QAction* readFile = file->addAction(QStringLiteral("Read 8XXXh-8XXXh from file"));
    readFile->setObjectName(QStringLiteral("ReadFileCMD"));
    file->addSeparator()->setObjectName(QStringLiteral("sep1"));
    QAction* exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("ExitCMD"));
    // The usual keys; the captions stay as they are.
    exit->setShortcut(QKeySequence::Quit);
    readFile->setShortcut(QKeySequence::Open);
    writeFileAction_->setShortcut(QKeySequence::Save);

    connect(exit, &QAction::triggered, this, [this] { exit_Click(); });
    connect(writeFileAction_, &QAction::triggered, eepromBlockPanel_,
            [this] { eepromBlockPanel_->WriteFileCMD_Click(); });
    connect(readFile, &QAction::triggered, eepromBlockPanel_,
            [this] { eepromBlockPanel_->ReadFileCMD_Click(); });
    // The file entry names the block it saves.
    connect(eepromBlockPanel_, &EepromBlockPanel::blockRangeChanged, this,
            [this](const QString& range) {
                writeFileAction_->setText(QStringLiteral("Write %1 to file").arg(range));
            });
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

FileDialogState& MainWindow::fileDialog() {
    return eepromBlockPanel_->imageFileDialog();
}

void MainWindow::KESTREL_Form_Load() {
    g_.ConfigWindowOpen = false;

    // The image file is proposed in the program's own folder; where that is
    // not writable (an installed program), in the user's home folder.
    const QString programFolder = QCoreApplication::applicationDirPath();
    FileDialogState& image = eepromBlockPanel_->imageFileDialog();
    image.filter = QStringLiteral("Dat Files (*.dat)");
    image.folder = QFileInfo(programFolder).isWritable() ? programFolder : QDir::homePath();
    image.fileName = QStringLiteral("kestrel.dat");
    FileDialogState& backup = backup_->fileDialog();
    backup.filter = QStringLiteral("EEPROM backups (*.dat)");
    backup.folder = image.folder;
    backup.fileName = QStringLiteral("kestrel-eeprom.dat");

    g_.EEBlockSize = 32;
    g_.RamRegisterCount = 30;
    g_.SlaveAddr = 0xAE;

    portPanel_->fillSlaveAddresses();
    eepromBlockPanel_->pageErasePanel().fillPages();
    ramPanel_->fillRegisterNames();

    g_.SCLTimingValue = 5;
    portPanel_->discoverPorts();

    eepromBlockPanel_->enableWindowButtons();

    g_.CommandCode = chip::kPloverAddress;
    jobs_.run(
        this,
        [](JobControl& c) {
            return c.device().WriteSwitch(chip::kPloverAddress, chip::kPloverStartSetting);
        },
        [this](Outcome& o) {
            // A port that cannot be used says so now, not at the first click.
            if (o.refused()) notify(QString::fromStdString(o.refusal));
        });
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
    const Captions captions = captionsFor(record);
    if (captions.ramBits) ramPanel_->showBits(*captions.ramBits);
    if (captions.pec) ramPanel_->setPecCaption(*captions.pec);
    if (captions.eeByteData) eepromBytePanel_->setByteData(*captions.eeByteData);
    if (captions.pecEE) eepromBytePanel_->setPecCaption(*captions.pecEE);
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

void MainWindow::BackupEEPROM_Click() {
    backup_->backUp();
}

void MainWindow::RestoreEEPROM_Click() {
    backup_->restore();
}

}  // namespace kestrel
