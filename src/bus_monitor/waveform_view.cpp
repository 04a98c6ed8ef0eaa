#include "bus_monitor/waveform_view.h"

#include <QPainter>
#include <QPainterPath>

#include "bus/port_access.h"
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
        std::vector<bool> masterReleasesSda;
        for (std::uint8_t e : record->lines) {
            if ((e & TransactionRecord::kSample) != 0) {
                // A sample tells the line's level since SCL last fell.
                const bool high = (e & TransactionRecord::kSampleLow) == 0;
                for (std::size_t i = sda_.size(); i-- > 0;) {
                    if (masterReleasesSda[i]) sda_[i] = high;
                    if (i + 1 < sda_.size() && !scl_[i]) break;
                }
            } else {
                scl_.push_back((e & kSclLow) == 0);
                masterReleasesSda.push_back((e & kSdaLow) == 0);
                sda_.push_back((e & kSdaLow) == 0);
            }
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
