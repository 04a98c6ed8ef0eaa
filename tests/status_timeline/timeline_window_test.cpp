#include "status_timeline/timeline_window.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "status/status_window.h"
#include "status_timeline/timeline_view.h"
#include "support/app_rig.h"

namespace kestrel {
namespace {

// The status monitor's polling fills the timeline: a fault bit the chip sets
// for one pass shows as a pulse from that pass's read to the next, a pass
// without the chip as a gap, and the CSV holds every sample.
TEST(StatusTimeline, FilledByPollingWithPulsesAndGaps) {
    testing::AppRig app{nullptr, [](ProgramOptions& o) {
                            o.statusPause = [](double, std::function<void()> then) { then(); };
                        }};
    auto* status = app.open<StatusWindow>("mnuStatus", "frm_Status");
    auto* timeline = app.open<TimelineWindow>("mnuTimeline", "frm_Timeline");
    ASSERT_TRUE(status && timeline);

    auto& chip = app.board().kestrel();
    StatusHistory& history = app.program->statusHistory();
    history.clear();
    app.click("poll", status);
    chip.setLiveStatus(0, 0x00);
    status->Timer1_Timer();
    app.settle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // no events: only our passes
    chip.setLiveStatus(0, 0x80);                                 // ovfault rises
    status->Timer1_Timer();
    app.settle();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));  // no events: only our passes
    chip.setLiveStatus(0, 0x00);                                 // and falls
    status->Timer1_Timer();
    app.settle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // no events: only our passes
    chip.setPresent(false);
    status->Timer1_Timer();
    app.settle();
    chip.setPresent(true);
    app.click("poll", status);

    ASSERT_EQ(history.size(0), 4u);
    const auto rise = history.at(0, 1), fall = history.at(0, 2);
    EXPECT_EQ(rise.value, 0x80);
    EXPECT_EQ(fall.value, 0x00);
    EXPECT_GE(fall.ms - rise.ms, 40u) << "the pulse lasts from one read to the next";
    EXPECT_FALSE(history.at(0, 3).ok) << "the failed read is a gap";
    EXPECT_EQ(history.at(3, 1).value & 0x80, 0x80) << "latched 2Ah keeps ovfault";

    // Drawn: high inside the pulse, low after it, a gap at the failure.
    TimelineView& view = timeline->view();
    view.setSpan(history.lastMs() + 10, history.lastMs() + 10 - history.firstMs() + 10);
    view.setCursorAt(view.xAt(rise.ms + (fall.ms - rise.ms) / 2));
    EXPECT_TRUE(view.cursorText().contains("00h=80h")) << view.cursorText().toStdString();
    view.setCursorAt(view.xAt(view.end()) - 1);  // after the last pass: it failed
    EXPECT_TRUE(view.cursorText().contains("00h=fail")) << view.cursorText().toStdString();

    QTemporaryDir dir;
    const QString path = dir.filePath("status.csv");
    QString error;
    ASSERT_TRUE(timeline->exportCsv(path, &error)) << error.toStdString();
    const QList<QByteArray> lines = testing::fileBytes(path).trimmed().split('\n');
    EXPECT_EQ(lines.size(), 1 + 4 * 6) << "a header and every sample";
    EXPECT_EQ(lines[0], "time_ms,register,value");

    // Its own polling reads the six registers, one pass per interval.
    const std::size_t mark = app.logSize();
    timeline->pollOnce();
    app.settle();
    EXPECT_EQ(app.logSize() - mark, 6u);
    EXPECT_EQ(history.size(5), 5u);
}

// What is painted: a failed read is a red band until the next good read,
// never a level line.
TEST(StatusTimeline, AFailedReadIsPaintedAsAGap) {
    StatusHistory history;
    history.add(0, {0, 0x00, true});
    history.add(0, {1000, 0x00, false});
    history.add(0, {2000, 0x00, true});
    history.add(0, {3000, 0x00, true});
    TimelineView view(history);
    view.resize(900, TimelineView::kRows * 12 + 26);
    const int h = 12, top = 2;  // row 0: bit 7 of 00h
    // The whole history, then a span that begins inside the gap.
    for (const std::uint32_t from : {0u, 1500u}) {
        view.setSpan(3000, 3000 - from);
        const QImage image = view.grab().toImage();
        const auto reddish = [&](int x, int y) {
            const QColor c = image.pixelColor(x, y);
            return c.red() > c.green() + 30 && c.red() > c.blue() + 30;
        };
        const auto blue = [&](int x, int y) {
            const QColor c = image.pixelColor(x, y);
            return c.blue() > c.red() + 30;
        };
        for (int x = view.xAt(std::max(from, 1000u)) + 2; x < view.xAt(2000) - 2; ++x) {
            EXPECT_TRUE(reddish(x, top + h / 2)) << from << " " << x;
            EXPECT_FALSE(blue(x, top + h - 2)) << from << " " << x;
        }
        for (int x = view.xAt(2000) + 2; x < view.xAt(3000) - 2; ++x) {
            EXPECT_FALSE(reddish(x, top + h / 2)) << from << " " << x;
            EXPECT_TRUE(blue(x, top + h - 2)) << "low after the gap, " << from << " " << x;
        }
    }
}

}  // namespace
}  // namespace kestrel
