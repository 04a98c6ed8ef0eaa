#pragma once

#include <QWidget>
#include <cstdint>

#include "device/status_history.h"

namespace kestrel {

// The status bits as logic traces over time: one row per bit of 00h, 01h,
// 02h, 2Ah, 2Bh and 2Ch, high where the bit is set, a red band where a read
// failed, a time axis below and a cursor that shows time and values under
// the mouse. Draws only the span on show, a column of pixels at a time.
class TimelineView final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kRows = 48;

    explicit TimelineView(const StatusHistory& history, QWidget* parent = nullptr);

    // The span shown: [end - span, end), in the history's milliseconds.
    void setSpan(std::uint32_t end, std::uint32_t span);
    std::uint32_t end() const { return end_; }
    std::uint32_t span() const { return span_; }
    // The time under x (a point in this widget), and its x.
    std::uint32_t timeAt(int x) const;
    int xAt(std::uint32_t ms) const;
    // What the cursor shows: "12.345 s  00h=40h 01h=31h ...".
    QString cursorText() const { return cursorText_; }
    void setCursorAt(int x);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QRect plot() const;
    int rowHeight() const;

    const StatusHistory& history_;
    std::uint32_t end_ = 10000;
    std::uint32_t span_ = 10000;
    int cursorX_ = -1;
    QString cursorText_;
};

}  // namespace kestrel
