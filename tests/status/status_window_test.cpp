#include "status/status_window.h"

#include <gtest/gtest.h>

#include <future>
#include <utility>

#include "support/app_rig.h"

namespace kestrel {
namespace {

// The program with the status monitor's pauses recorded in the bus log's
// order instead of slept.
struct StatusRig {
    std::vector<std::string> events;  // register read or "pause <seconds>"
    std::size_t seen = 0;
    bool holdPauses = false;       // keep a pause's continuation instead of running it
    std::function<void()> resume;  // the held continuation
    testing::AppRig app{nullptr, [this](ProgramOptions& o) {
                            o.statusPause = [this](double s, std::function<void()> then) {
                                collect();
                                events.push_back("pause " + std::to_string(s).substr(0, 4));
                                if (holdPauses)
                                    resume = std::move(then);
                                else
                                    then();
                            };
                        }};

    StatusRig() { seen = app.logSize(); }
    // The events so far, with the register reads sent since the last call.
    const std::vector<std::string>& collect() {
        const auto& all = app.board().log().transactions();
        for (; seen < all.size(); ++seen) {
            char reg[8];
            std::snprintf(reg, sizeof reg, "%02X", all[seen].masterBytes().at(1));
            events.push_back(reg);
        }
        return events;
    }
    StatusWindow* open() { return app.open<StatusWindow>("mnuStatus", "frm_Status"); }
    // A timer tick, and the pass it started (up to a held pause).
    void tick(StatusWindow* w) {
        w->Timer1_Timer();
        app.settle();
    }
    void resumePause() {
        std::exchange(resume, {})();
        app.settle();
    }
};

TEST(StatusMonitor, APollingPassReadsSixRegistersWithTwoPausesAndShowsTheLatchedBit) {
    StatusRig rig;
    StatusWindow* w = rig.open();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(rig.collect().empty()) << "nothing is read at load";

    rig.app.click("poll", w);
    EXPECT_EQ(rig.app.text("poll", w), "Stop Polling");
    rig.tick(w);
    EXPECT_EQ(rig.collect(), (std::vector<std::string>{"00", "01", "02", "pause 0.15", "2A", "2B",
                                                       "2C", "pause 0.15"}));

    rig.app.click("poll", w);
    EXPECT_EQ(rig.app.text("poll", w), "Start Polling");
    rig.events.clear();
    rig.tick(w);
    EXPECT_TRUE(rig.collect().empty());

    // A latched bit stays after the live bit clears.
    auto& chip = rig.app.board().kestrel();
    chip.setLiveStatus(0, 0x80);
    rig.app.click("poll", w);
    rig.tick(w);
    EXPECT_EQ(rig.app.bits("Read_Stat1", w), "10000000");
    chip.setLiveStatus(0, 0x00);
    rig.tick(w);
    EXPECT_EQ(rig.app.bits("Read_Stat1", w), "00000000");
    EXPECT_EQ(rig.app.text("stat1hex", w), "0h");
    EXPECT_EQ(rig.app.bits("Read_Stat4", w).at(0), '1');
    EXPECT_EQ(rig.app.text("Read_Stat4_name", w), "ovfault");

    // A read that failed shows as failed, never as a value.
    rig.app.click("poll", w);
    chip.setPresent(false);
    rig.app.click("ReadStatus1", w);
    EXPECT_EQ(rig.app.text("stat1hex", w), "XX");
    EXPECT_EQ(rig.app.bits("Read_Stat1", w), "XXXXXXXX");
}

TEST(StatusMonitor, SingleReadsPauseOnlyAfterTheThirdOfARowAndExitStopsPolling) {
    StatusRig rig;
    StatusWindow* w = rig.open();
    rig.app.click("ReadStatus1", w);
    rig.app.click("ReadStatus3", w);
    rig.app.click("ReadLatchedStatus3", w);
    EXPECT_EQ(rig.collect(),
              (std::vector<std::string>{"00", "02", "pause 0.15", "2C", "pause 0.15"}));

    auto* delay = rig.app.find<QLineEdit>("poll_delay", w);
    delay->setText("2");
    EXPECT_DOUBLE_EQ(w->pauseSeconds(), 2.0);
    delay->setText("150");
    EXPECT_DOUBLE_EQ(w->pauseSeconds(), StatusWindow::kMaxPauseSeconds)
        << "a typo cannot freeze the program";
    delay->setText("abc");
    EXPECT_DOUBLE_EQ(w->pauseSeconds(), 0.0);
    delay->setText("-3");
    EXPECT_DOUBLE_EQ(w->pauseSeconds(), 0.0);

    // Exit stops polling, and the timer then reads nothing.
    rig.app.find<QLineEdit>("poll_delay", w)->setText("0");
    rig.app.click("poll", w);
    // The real 10 ms timer runs passes; a loaded machine may take longer.
    for (int waited = 0; waited < 3000 && rig.events.size() < 8u; waited += 20) {
        QTest::qWait(20);
        rig.collect();
    }
    EXPECT_GE(rig.events.size(), 8u);
    rig.app.click("exit", w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->polling());
    EXPECT_EQ(rig.app.text("poll", w), "Start Polling");
    const std::size_t before = rig.app.logSize();
    rig.open();
    QTest::qWait(40);
    EXPECT_EQ(rig.app.logSize(), before);
}

// A tick while other work holds or waits for the bus is skipped, not queued
// behind it.
TEST(StatusMonitor, ATickWhileOtherWorkRunsIsSkipped) {
    StatusRig rig;
    StatusWindow* w = rig.open();
    rig.app.click("poll", w);
    rig.app.find<QLabel>("statusMessage")->clear();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    rig.app.program->jobs().run(nullptr, [released](JobControl&) { released.wait(); });
    w->Timer1_Timer();
    release.set_value();
    rig.app.settle();
    EXPECT_TRUE(rig.collect().empty()) << "the tick is skipped";
    EXPECT_EQ(rig.app.status(), "") << "silently";
    rig.tick(w);
    EXPECT_EQ(rig.collect().size(), 8u);
}

// A tick that comes during a pass's pause is dropped: the pass goes on
// where it paused, and the next pass starts only after it ends.
TEST(StatusMonitor, ATickDuringAPauseIsDropped) {
    StatusRig rig;
    StatusWindow* w = rig.open();
    rig.app.click("poll", w);
    rig.holdPauses = true;
    rig.tick(w);
    rig.tick(w);  // mid-pass
    EXPECT_EQ(rig.collect(), (std::vector<std::string>{"00", "01", "02", "pause 0.15"}));
    rig.resumePause();
    rig.tick(w);  // still mid-pass
    rig.resumePause();
    rig.tick(w);  // the pass has ended: a new one starts
    EXPECT_EQ(rig.collect(),
              (std::vector<std::string>{"00", "01", "02", "pause 0.15", "2A", "2B", "2C",
                                        "pause 0.15", "00", "01", "02", "pause 0.15"}));
}

// The pauses run on timers: during one, Stop acts at once and the pass ends
// without its second half.
TEST(StatusMonitor, StopActsDuringAPause) {
    testing::AppRig app;  // the window's own timer pauses
    auto* w = app.open<StatusWindow>("mnuStatus", "frm_Status");
    ASSERT_NE(w, nullptr);
    app.find<QLineEdit>("poll_delay", w)->setText("1");
    const std::size_t mark = app.logSize();
    app.click("poll", w);
    // The first tick reads 00h..02h, then pauses for a second.
    for (int i = 0; i < 300 && app.logSize() - mark < 3; ++i) QTest::qWait(10);
    ASSERT_EQ(app.logSize() - mark, 3u);
    app.click("poll", w);  // handled at once: nothing blocks the event loop
    EXPECT_FALSE(w->polling());
    QTest::qWait(1300);
    EXPECT_EQ(app.logSize() - mark, 3u) << "2Ah..2Ch are not read after Stop";

    // A delay above the limit is shown as the one used.
    auto* delay = app.find<QLineEdit>("poll_delay", w);
    delay->setText("150");
    emit delay->editingFinished();
    EXPECT_EQ(delay->text(), "5");
}

}  // namespace
}  // namespace kestrel
