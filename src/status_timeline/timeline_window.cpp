#include "status_timeline/timeline_window.h"

#include <QBuffer>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "bus/durable_file.h"
#include "chip/status_registers.h"
#include "device/text_rules.h"
#include "status_timeline/timeline_view.h"
#include "widgets/dialogs.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

namespace {

constexpr std::uint32_t kMinSpanMs = 100;
constexpr std::uint32_t kMaxSpanMs = 2 * 3600 * 1000;

}  // namespace

TimelineWindow::TimelineWindow(StatusHistory& history, BusJobs& jobs, Dialogs& dialogs)
    : history_(history), jobs_(jobs), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frm_Timeline"));
    setWindowTitle(QStringLiteral("Status Timeline"));
    setWindowFlag(Qt::Window);

    auto* column = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    pause_ = ui::button("cmdPause", QStringLiteral("Pause"), this);
    pause_->setCheckable(true);
    auto* clear = ui::button("cmdClear", QStringLiteral("Clear"), this);
    auto* zoomIn = ui::button("cmdZoomIn", QStringLiteral("Zoom In"), this);
    auto* zoomOut = ui::button("cmdZoomOut", QStringLiteral("Zoom Out"), this);
    auto* csv = ui::button("cmdExportCsv", QStringLiteral("Export CSV..."), this);
    auto* png = ui::button("cmdExportPng", QStringLiteral("Export PNG..."), this);
    poll_ = new QCheckBox(QStringLiteral("Poll every"), this);
    poll_->setObjectName(QStringLiteral("chkPoll"));
    interval_ = ui::edit("pollInterval", QStringLiteral("0.5"), this, 60);
    for (QWidget* w : std::initializer_list<QWidget*>{pause_, clear, zoomIn, zoomOut, csv, png})
        controls->addWidget(w);
    controls->addStretch(1);
    controls->addWidget(poll_);
    controls->addWidget(interval_);
    controls->addWidget(new QLabel(QStringLiteral("s"), this));
    auto* exit = ui::button("exit", QStringLiteral("Exit"), this);
    exit->setProperty("escapeButton", true);
    controls->addWidget(exit);
    column->addLayout(controls);

    view_ = new TimelineView(history_, this);
    column->addWidget(view_, 1);
    scroll_ = new QScrollBar(Qt::Horizontal, this);
    scroll_->setObjectName(QStringLiteral("timelineScroll"));
    column->addWidget(scroll_);

    connect(pause_, &QPushButton::toggled, this, [this](bool on) {
        if (!on) follow_ = true;
        refresh();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        history_.clear();
        follow_ = true;
        refresh();
    });
    connect(zoomIn, &QPushButton::clicked, this, [this] { zoom(0.5); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { zoom(2.0); });
    connect(exit, &QPushButton::clicked, this, [this] {
        poll_->setChecked(false);
        hide();
    });
    connect(scroll_, &QScrollBar::sliderMoved, this, [this](int v) {
        follow_ = v >= scroll_->maximum();
        view_->setSpan(static_cast<std::uint32_t>(v) + view_->span(), view_->span());
    });
    connect(csv, &QPushButton::clicked, this, [this] {
        FileDialogState state{QStringLiteral("CSV files (*.csv)"), QString(),
                              QStringLiteral("status-timeline.csv")};
        const QString path = dialogs_.saveFileName(this, state);
        QString error;
        if (!path.isEmpty() && !exportCsv(path, &error)) dialogs_.warn(this, windowTitle(), error);
    });
    connect(png, &QPushButton::clicked, this, [this] {
        FileDialogState state{QStringLiteral("PNG pictures (*.png)"), QString(),
                              QStringLiteral("status-timeline.png")};
        const QString path = dialogs_.saveFileName(this, state);
        if (path.isEmpty()) return;
        QByteArray png;
        QBuffer buffer(&png);
        QImageWriter writer(&buffer, "png");
        std::string error;
        if (!buffer.open(QIODevice::WriteOnly) || !writer.write(view_->grab().toImage()))
            error =
                "cannot write " + path.toStdString() + ": " + writer.errorString().toStdString();
        else
            durable::replaceFile(path.toStdString(), png.toStdString(), error);
        if (!error.empty())
            dialogs_.warn(this, windowTitle(), QString::fromStdString(text::sentence(error)));
    });
    connect(poll_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) schedulePoll();
    });

    refresh_ = new QTimer(this);
    refresh_->setInterval(100);
    connect(refresh_, &QTimer::timeout, this, [this] { refresh(); });
    refresh_->start();
    pollTimer_ = new QTimer(this);
    pollTimer_->setSingleShot(true);
    connect(pollTimer_, &QTimer::timeout, this, [this] {
        pollOnce();
        schedulePoll();
    });
    resize(1000, 720);
}

void TimelineWindow::refresh() {
    if (pause_->isChecked()) return;
    const std::uint32_t first = history_.firstMs(), last = history_.lastMs();
    const std::uint32_t span = view_->span();
    scroll_->setRange(static_cast<int>(first),
                      static_cast<int>(std::max(first, last > span ? last - span : 0)));
    scroll_->setPageStep(static_cast<int>(span));
    if (follow_) {
        scroll_->setValue(scroll_->maximum());
        if (history_.revision() != seen_) view_->setSpan(std::max(last, span), span);
    }
    seen_ = history_.revision();
}

void TimelineWindow::zoom(double factor) {
    const double span = std::clamp(view_->span() * factor, static_cast<double>(kMinSpanMs),
                                   static_cast<double>(kMaxSpanMs));
    // Zoom about the middle of the view; following the newest samples keeps
    // the right edge on them.
    const double middle = view_->end() - view_->span() / 2.0;
    const auto end = static_cast<std::uint32_t>(follow_ ? std::max<double>(history_.lastMs(), span)
                                                        : std::max(span, middle + span / 2));
    view_->setSpan(end, static_cast<std::uint32_t>(span));
    seen_ = ~0ull;
    refresh();
}

double TimelineWindow::pollSeconds() const {
    const double s = text::decimalValue(interval_->text().toStdString());
    return std::clamp(s, 0.01, 60.0);
}

void TimelineWindow::schedulePoll() {
    if (!poll_->isChecked() || !isVisible()) return;
    pollTimer_->start(static_cast<int>(pollSeconds() * 1000));
}

void TimelineWindow::pollOnce() {
    // Quietly skipped while other work holds or waits for the bus. The reads
    // reach the history as every status read does, through their records.
    if (!jobs_.idle()) return;
    jobs_.run(this, [](JobControl& c) {
        for (int reg : status::kRegisters)
            if (c.device().ReadRegister(reg, Origin::Timer).refused()) return;
    });
}

bool TimelineWindow::exportCsv(const QString& path, QString* error) const {
    std::string why;
    if (durable::replaceFile(path.toStdString(), history_.csv(), why)) return true;
    if (error) *error = QString::fromStdString(text::sentence(why));
    return false;
}

}  // namespace kestrel
