#include "status_timeline/timeline_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "chip/status_registers.h"
#include "device/text_rules.h"

namespace kestrel {

namespace {

constexpr int kNameWidth = 130;
constexpr int kAxisHeight = 22;

enum class Level { None, Low, High, Toggled, Gap };

// Two upper-case hex digits: "2A".
QString hex2(int value) {
    return QString::fromStdString(text::byteText(static_cast<unsigned>(value)));
}

Level levelOf(const StatusHistory::Sample* s, int bit) {
    if (s == nullptr) return Level::None;
    if (!s->ok) return Level::Gap;
    return (s->value >> bit) & 1 ? Level::High : Level::Low;
}

}  // namespace

TimelineView::TimelineView(const StatusHistory& history, QWidget* parent)
    : QWidget(parent), history_(history) {
    setObjectName(QStringLiteral("timelineView"));
    setMouseTracking(true);
    setMinimumSize(300, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize TimelineView::sizeHint() const {
    return {900, kRows * 12 + kAxisHeight + 4};
}

QRect TimelineView::plot() const {
    return QRect(kNameWidth, 2, std::max(1, width() - kNameWidth - 4),
                 std::max(kRows, height() - kAxisHeight - 4));
}

int TimelineView::rowHeight() const {
    return std::max(1, plot().height() / kRows);
}

void TimelineView::setSpan(std::uint32_t end, std::uint32_t span) {
    end_ = end;
    span_ = std::max<std::uint32_t>(span, 10);
    if (cursorX_ >= 0) setCursorAt(cursorX_);
    update();
}

std::uint32_t TimelineView::timeAt(int x) const {
    const QRect p = plot();
    const double f = std::clamp(static_cast<double>(x - p.left()) / p.width(), 0.0, 1.0);
    const double from = static_cast<double>(end_) - span_;
    return static_cast<std::uint32_t>(std::max(0.0, from + f * span_));
}

int TimelineView::xAt(std::uint32_t ms) const {
    const QRect p = plot();
    const double from = static_cast<double>(end_) - span_;
    return p.left() + static_cast<int>((static_cast<double>(ms) - from) * p.width() / span_);
}

void TimelineView::setCursorAt(int x) {
    cursorX_ = x;
    if (x < plot().left()) {
        cursorText_.clear();
        update();
        return;
    }
    const std::uint32_t t = timeAt(x);
    QString text = QStringLiteral("%1 s ").arg(t / 1000.0, 0, 'f', 3);
    for (int i = 0; i < 6; ++i) {
        const StatusHistory::Sample* s = history_.sampleAt(i, t);
        text += QStringLiteral(" %1h=").arg(hex2(status::kRegisters[static_cast<std::size_t>(i)]));
        text += s == nullptr ? QStringLiteral("--")
                : s->ok      ? hex2(s->value) + QStringLiteral("h")
                             : QStringLiteral("fail");
    }
    cursorText_ = text;
    update();
}

void TimelineView::mouseMoveEvent(QMouseEvent* event) {
    setCursorAt(event->position().toPoint().x());
}

void TimelineView::leaveEvent(QEvent*) {
    cursorX_ = -1;
    cursorText_.clear();
    update();
}

void TimelineView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QRect area = plot();
    const int h = rowHeight();
    const int n = area.width();
    const auto from = static_cast<std::uint32_t>(end_ > span_ ? end_ - span_ : 0);
    const std::uint32_t to = end_;
    const QColor trace(20, 110, 200), gap(230, 90, 90, 110), grid(0, 0, 0, 25);
    std::vector<StatusHistory::Column> columns;
    QFont small = font();
    small.setPointSizeF(std::max(6.0, std::min(9.0, h * 0.6)));
    p.setFont(small);

    for (int reg = 0; reg < 6; ++reg) {
        history_.columns(reg, from, to, n, columns);
        for (int bit = 7; bit >= 0; --bit) {
            const int row = reg * 8 + (7 - bit);
            const int top = area.top() + row * h;
            const int high = top + 2, low = top + h - 2;
            if (row % 2 == 0) p.fillRect(0, top, width(), h, QColor(0, 0, 0, 8));
            p.setPen(palette().text().color());
            p.drawText(QRect(2, top, kNameWidth - 6, h), Qt::AlignVCenter | Qt::AlignLeft,
                       QStringLiteral("%1h %2").arg(
                           hex2(status::kRegisters[static_cast<std::size_t>(reg)]),
                           QLatin1String(status::bitName(reg, bit))));
            // Runs of one level drawn as one line; an edge where it changes.
            Level carry = levelOf(history_.sampleAt(reg, from), bit);
            Level runLevel = carry;
            int runStart = 0;
            int lastY = -1;
            auto flush = [&](int endX) {
                const int x0 = area.left() + runStart, x1 = area.left() + endX;
                if (runLevel == Level::Gap) {
                    p.fillRect(QRect(x0, top + 1, std::max(1, x1 - x0), h - 2), gap);
                    lastY = -1;
                } else if (runLevel == Level::High || runLevel == Level::Low) {
                    const int y = runLevel == Level::High ? high : low;
                    p.setPen(trace);
                    if (lastY >= 0 && lastY != y) p.drawLine(x0, lastY, x0, y);
                    p.drawLine(x0, y, x1, y);
                    lastY = y;
                } else if (runLevel == Level::Toggled) {
                    // Changed within each pixel: a solid band.
                    p.fillRect(QRect(x0, high, std::max(1, x1 - x0), low - high + 1), trace);
                    lastY = -1;
                }
            };
            for (int x = 0; x < n; ++x) {
                const StatusHistory::Column& c = columns[static_cast<std::size_t>(x)];
                Level here = carry;
                if (c.gap) {
                    here = Level::Gap;
                } else if (c.any) {
                    const auto m = static_cast<std::uint8_t>(1u << bit);
                    here = (c.andBits & m)  ? Level::High
                           : (c.orBits & m) ? Level::Toggled
                                            : Level::Low;
                }
                if (here != runLevel) {
                    flush(x);
                    runLevel = here;
                    runStart = x;
                }
                if (c.any) {
                    // What the slice ended on carries into the empty ones after it.
                    carry =
                        here == Level::Toggled
                            ? levelOf(history_.sampleAt(
                                          reg,
                                          static_cast<std::uint32_t>(
                                              from + static_cast<double>(span_) * (x + 1) / n - 1)),
                                      bit)
                            : here;
                }
            }
            flush(n);
        }
        p.setPen(grid);
        p.drawLine(0, area.top() + (reg + 1) * 8 * h, width(), area.top() + (reg + 1) * 8 * h);
    }

    // The time axis: a tick every "nice" step, labelled in seconds.
    const int axisY = area.top() + kRows * h + 2;
    p.setPen(palette().text().color());
    p.drawLine(area.left(), axisY, area.right(), axisY);
    const double steps[] = {1,    2,    5,     10,    20,    50,     100,    200,    500,    1000,
                            2000, 5000, 10000, 20000, 60000, 120000, 300000, 600000, 1200000};
    double step = steps[std::size(steps) - 1];
    for (double s : steps)
        if (span_ / s <= 10) {
            step = s;
            break;
        }
    for (double t = std::ceil(from / step) * step; t <= to; t += step) {
        const int x = xAt(static_cast<std::uint32_t>(t));
        p.drawLine(x, axisY, x, axisY + 4);
        p.drawText(QRect(x - 40, axisY + 4, 80, kAxisHeight - 4), Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("%1 s").arg(t / 1000.0, 0, 'f', step < 1000 ? 3 : 0));
    }

    if (cursorX_ >= area.left() && cursorX_ <= area.right()) {
        p.setPen(QPen(QColor(200, 0, 0), 1, Qt::DashLine));
        p.drawLine(cursorX_, area.top(), cursorX_, axisY);
        const QRect box(area.left() + 4, area.top() + 2, area.width() - 8, h + 4);
        p.fillRect(box.adjusted(0, 0, 0, 0), QColor(255, 255, 225, 230));
        p.setPen(Qt::black);
        p.drawText(box.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, cursorText_);
    }
}

}  // namespace kestrel
