#include "bus_monitor/waveform_view.h"

#include <QPainter>
#include <QPainterPath>

#include "bus/line_levels.h"
#include "bus/transaction_record.h"

namespace kestrel {

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("waveform"));
    setMinimumHeight(100);
}

void WaveformView::show(const TransactionRecord* record) {
    scl_.clear();
    sda_.clear();
    if (record != nullptr) {
        for (const LineStep& step : lineLevels(record->lines)) {
            scl_.push_back(step.scl);
            sda_.push_back(step.sda);
        }
    }
    update();
}

void WaveformView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(20, 24, 30));
    p.setRenderHint(QPainter::Antialiasing, false);
    const int labelWidth = 40;
    const int rowHeight = (height() - 20) / 2;
    p.setPen(QColor(200, 200, 200));
    p.drawText(4, 10 + rowHeight / 2, QStringLiteral("SCL"));
    p.drawText(4, 10 + rowHeight + rowHeight / 2, QStringLiteral("SDA"));
    if (scl_.empty()) return;
    const double step = (width() - labelWidth - 8) / static_cast<double>(scl_.size());
    auto trace = [&](const std::vector<bool>& levels, int top, const QColor& colour) {
        QPainterPath path;
        const int hi = top + 6, lo = top + rowHeight - 6;
        path.moveTo(labelWidth, levels[0] ? hi : lo);
        for (std::size_t i = 0; i < levels.size(); ++i) {
            const double x = labelWidth + step * static_cast<double>(i);
            path.lineTo(x, levels[i] ? hi : lo);
            path.lineTo(x + step, levels[i] ? hi : lo);
        }
        p.setPen(QPen(colour, 1.5));
        p.drawPath(path);
    };
    trace(scl_, 10, QColor(255, 200, 60));
    trace(sda_, 10 + rowHeight, QColor(90, 200, 255));
}

}  // namespace kestrel
