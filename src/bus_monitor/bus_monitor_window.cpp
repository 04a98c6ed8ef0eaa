#include "bus_monitor/bus_monitor_window.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <deque>
#include <sstream>

#include "bus/durable_file.h"
#include "bus/record_export.h"
#include "bus_monitor/bus_monitor_model.h"
#include "bus_monitor/waveform_view.h"
#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"
#include "device/text_rules.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

BusMonitorWindow::BusMonitorWindow(BusJobs& bus, Dialogs& dialogs)
    : bus_(bus), dialogs_(dialogs), model_(new BusMonitorModel(this)) {
    setObjectName(QStringLiteral("frm_BusMonitor"));
    setWindowTitle(QStringLiteral("Bus Monitor"));
    setWindowFlag(Qt::Window);
    resize(960, 560);
    csvFile_.folder = vcdFile_.folder = captureFile_.folder = QDir::homePath();

    auto* column = new QVBoxLayout(this);
    auto* menus = new QMenuBar(this);
    QMenu* file = menus->addMenu(QStringLiteral("&File"));
    QAction* open =
        file->addAction(QStringLiteral("&Open Capture..."), this, [this] { openCapture(); });
    open->setObjectName(QStringLiteral("openCapture"));
    open->setShortcut(QKeySequence::Open);
    column->setMenuBar(menus);
    auto* buttons = new QHBoxLayout;
    pause_ = ui::button("pauseMonitor", QStringLiteral("Pause"), this);
    auto* clearButton = ui::button("clearMonitor", QStringLiteral("Clear"), this);
    auto* csv = ui::button("exportCsv", QStringLiteral("Export CSV..."), this);
    auto* vcd = ui::button("exportVcd", QStringLiteral("Export VCD..."), this);
    connect(pause_, &QPushButton::clicked, this, [this] { togglePause(); });
    connect(clearButton, &QPushButton::clicked, this, [this] { clear(); });
    connect(csv, &QPushButton::clicked, this, [this] { exportCsv(); });
    connect(vcd, &QPushButton::clicked, this, [this] { exportVcd(); });
    for (QPushButton* b : {pause_, clearButton, csv, vcd}) buttons->addWidget(b);
    buttons->addStretch(1);
    // The capture's channels, shown while a capture is open.
    channels_ = new QWidget(this);
    auto* channelRow = new QHBoxLayout(channels_);
    channelRow->setContentsMargins(0, 0, 0, 0);
    sclChoice_ = new QComboBox(channels_);
    sdaChoice_ = new QComboBox(channels_);
    sclChoice_->setObjectName(QStringLiteral("sclChannel"));
    sdaChoice_->setObjectName(QStringLiteral("sdaChannel"));
    channelRow->addWidget(new QLabel(QStringLiteral("SCL:"), channels_));
    channelRow->addWidget(sclChoice_);
    channelRow->addWidget(new QLabel(QStringLiteral("SDA:"), channels_));
    channelRow->addWidget(sdaChoice_);
    for (QComboBox* c : {sclChoice_, sdaChoice_})
        connect(c, &QComboBox::activated, this, [this] { decodeCapture(); });
    channels_->hide();
    buttons->addWidget(channels_);
    column->addLayout(buttons);

    // What the cap on the list left out.
    dropped_ = new QLabel(this);
    dropped_->setObjectName(QStringLiteral("droppedTransactions"));
    dropped_->hide();
    column->addWidget(dropped_);
    connect(model_, &BusMonitorModel::droppedChanged, this, [this] {
        dropped_->setText(model_->droppedText());
        dropped_->setVisible(model_->dropped() > 0);
    });

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("transactions"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(BusMonitorModel::Time, 80);
    table_->setColumnWidth(BusMonitorModel::Kind, 110);
    table_->setColumnWidth(BusMonitorModel::Target, 120);
    table_->setColumnWidth(BusMonitorModel::Bytes, 300);
    table_->setColumnWidth(BusMonitorModel::Pec, 110);
    column->addWidget(table_, 1);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showSelected(); });
    // Follow the newest line unless the user has scrolled away from the end.
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (table_->currentIndex().isValid()) return;
        table_->scrollToBottom();
    });

    waveform_ = new WaveformView(this);
    column->addWidget(waveform_);

    // The lines are recorded on the bus owner's thread, from the next job on.
    bus_.run(nullptr, [](JobControl& c) { c.connection().executor().setLineCapture(true); });
    bus_.addObserver(model_);
}

BusMonitorWindow::~BusMonitorWindow() {
    bus_.removeObserver(model_);
    bus_.run(nullptr, [](JobControl& c) { c.connection().executor().setLineCapture(false); });
}

void BusMonitorWindow::showSelected() {
    const QModelIndex current = table_->currentIndex();
    waveform_->show(current.isValid() ? &model_->record(current.row()) : nullptr);
}

void BusMonitorWindow::clear() {
    model_->clear();
    waveform_->show(nullptr);
}

void BusMonitorWindow::togglePause() {
    if (!capturePath_.isEmpty()) {
        // Resume after a capture: back to the live traffic.
        leaveCapture();
        return;
    }
    model_->setPaused(!model_->paused());
    pause_->setText(model_->paused() ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

void BusMonitorWindow::exportCsv() {
    const bool samples = model_->timeInSamples();
    exportTo(csvFile_, [samples](std::ostream& out, const auto& records) {
        record_export::writeCsv(out, records, {true, samples});
    });
}

void BusMonitorWindow::exportVcd() {
    if (capturePath_.isEmpty() && !bus_.hasLineAccess()) {
        dialogs_.inform(this, kProgramTitle,
                        QStringLiteral("The VCD export needs the parallel port's lines; an I2C "
                                       "adapter does not give them. Export CSV lists the "
                                       "transactions."));
        return;
    }
    exportTo(vcdFile_,
             [](std::ostream& out, const auto& records) { record_export::writeVcd(out, records); });
}

void BusMonitorWindow::openCapture() {
    const QString path = dialogs_.openFileName(this, captureFile_);
    if (!path.isEmpty()) loadCapture(path);
}

bool BusMonitorWindow::loadCapture(const QString& path) {
    const auto names = capture::readCaptureChannels(path.toStdString());
    if (!names.error.empty()) {
        dialogs_.warn(this, kProgramTitle, QString::fromStdString(names.error));
        return false;
    }
    const auto guess = capture::pickChannels(names.channels, {});
    const QString previousPath = capturePath_;
    QStringList items;
    for (const std::string& n : names.channels) items << QString::fromStdString(n);
    const QStringList previousItems = [this] {
        QStringList l;
        for (int i = 0; i < sclChoice_->count(); ++i) l << sclChoice_->itemText(i);
        return l;
    }();
    const int previousScl = sclChoice_->currentIndex(), previousSda = sdaChoice_->currentIndex();
    auto fill = [this](const QStringList& list, int scl, int sda) {
        for (QComboBox* c : {sclChoice_, sdaChoice_}) {
            c->clear();
            c->addItems(list);
        }
        sclChoice_->setCurrentIndex(scl);
        sdaChoice_->setCurrentIndex(sda);
    };
    // Channels the names do not tell: the first two, for the user to change.
    fill(items, guess.scl >= 0 ? guess.scl : 0,
         guess.sda >= 0 ? guess.sda : (items.size() > 1 ? 1 : 0));
    capturePath_ = path;
    if (decodeCapture()) return true;
    // Nothing changes.
    capturePath_ = previousPath;
    fill(previousItems, previousScl, previousSda);
    return false;
}

bool BusMonitorWindow::decodeCapture() {
    if (capturePath_.isEmpty()) return false;
    const capture::ChannelPick pick{sclChoice_->currentText().toStdString(),
                                    sdaChoice_->currentText().toStdString()};
    // The most recent transactions, as the live list keeps them.
    std::deque<TransactionRecord> kept;
    std::uint64_t dropped = 0;
    capture::CaptureDecoder decoder([&](TransactionRecord& r) {
        kept.push_back(std::move(r));
        if (kept.size() > BusMonitorModel::kCapacity) {
            kept.pop_front();
            ++dropped;
        }
    });
    const auto read = capture::readCaptureFile(capturePath_.toStdString(), pick, decoder);
    if (!read.ok) {
        dialogs_.warn(this, kProgramTitle, QString::fromStdString(read.error));
        return false;
    }
    model_->setPaused(true);
    model_->showRecords(std::move(kept), dropped, decoder.timesInSamples());
    waveform_->show(nullptr);
    pause_->setText(QStringLiteral("Resume"));
    channels_->show();
    setWindowTitle(QStringLiteral("Bus Monitor - %1").arg(QFileInfo(capturePath_).fileName()));
    return true;
}

void BusMonitorWindow::leaveCapture() {
    capturePath_.clear();
    channels_->hide();
    setWindowTitle(QStringLiteral("Bus Monitor"));
    clear();
    model_->setPaused(false);
    pause_->setText(QStringLiteral("Pause"));
}

void BusMonitorWindow::exportTo(FileDialogState& file, const Writer& write) {
    model_->flush();
    const QString path = dialogs_.saveFileName(this, file);
    if (path.isEmpty()) return;
    std::ostringstream text;
    write(text, model_->records());
    // Replaces an old file only once the new one is whole.
    std::string error;
    if (!durable::replaceFile(path.toStdString(), text.str(), error))
        dialogs_.warn(this, kProgramTitle, QString::fromStdString(text::sentence(error)));
}

}  // namespace kestrel
