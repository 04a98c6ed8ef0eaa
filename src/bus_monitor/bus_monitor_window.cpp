#include "bus_monitor/bus_monitor_window.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <sstream>

#include "bus/record_export.h"
#include "bus_monitor/bus_monitor_model.h"
#include "bus_monitor/waveform_view.h"
#include "files/image_file.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

BusMonitorWindow::BusMonitorWindow(TransferExecutor& bus, Dialogs& dialogs)
    : bus_(bus), dialogs_(dialogs), model_(new BusMonitorModel(this)) {
    setObjectName(QStringLiteral("frm_BusMonitor"));
    setWindowTitle(QStringLiteral("Bus Monitor"));
    setWindowFlag(Qt::Window);
    resize(960, 560);
    csvFile_.folder = vcdFile_.folder = QDir::homePath();

    auto* column = new QVBoxLayout(this);
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
    column->addLayout(buttons);

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

    bus_.setLineCapture(true);
    bus_.addObserver(model_);
}

BusMonitorWindow::~BusMonitorWindow() {
    bus_.removeObserver(model_);
    bus_.setLineCapture(false);
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
    model_->setPaused(!model_->paused());
    pause_->setText(model_->paused() ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

void BusMonitorWindow::exportCsv() {
    exportTo(csvFile_, record_export::writeCsv);
}

void BusMonitorWindow::exportVcd() {
    if (!bus_.hasLineAccess()) {
        dialogs_.inform(this, kProgramTitle,
                        QStringLiteral("The VCD export needs the parallel port's lines; an I2C "
                                       "adapter does not give them. Export CSV lists the "
                                       "transactions."));
        return;
    }
    exportTo(vcdFile_, record_export::writeVcd);
}

void BusMonitorWindow::exportTo(FileDialogState& file, Writer write) {
    model_->flush();
    const QString path = dialogs_.saveFileName(this, file);
    if (path.isEmpty()) return;
    std::ostringstream text;
    write(text, model_->records());
    // Replaces an old file only once the new one is whole.
    std::string error;
    if (!image_file::writeAtomically(path.toStdString(), text.str(), &error))
        dialogs_.warn(
            this, kProgramTitle,
            QStringLiteral("Cannot write %1: %2").arg(path, QString::fromStdString(error)));
}

}  // namespace kestrel
