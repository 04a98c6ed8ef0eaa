#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "support/app_rig.h"

namespace kestrel {
namespace {

// The program's own wait, on Qt's event loop: a page erase holds the bus for
// 30 ms and handles window events meanwhile; a click that arrives then is
// refused, not interleaved.
TEST(QtWait, EraseWaitsThirtyMillisecondsAndHandlesEventsMeanwhile) {
    // The program's own wait hooks, not the test clock.
    testing::AppRig app{nullptr, [](ProgramOptions& o) { o.connection.waitHooks.reset(); }};
    Program& program = *app.program;
    auto& main = program.mainWindow();
    auto* pages = main.findChild<QComboBox*>("PageErasePointer");
    pages->setCurrentIndex(3);

    bool handled = false;
    const std::size_t before = program.board()->log().transactions().size();
    QTimer::singleShot(5, &main, [&] {
        handled = true;
        QTest::mouseClick(main.findChild<QAbstractButton*>("ByteReadCMD"), Qt::LeftButton);
    });
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(main.findChild<QAbstractButton*>("PageErase"), Qt::LeftButton);
    // The hold ends only once the millisecond tick count has passed its end.
    EXPECT_GE(timer.elapsed(), 30);
    EXPECT_TRUE(handled) << "events are handled during the wait";
    const auto log = program.board()->log().describeAll();
    ASSERT_EQ(log.size(), before + 1) << "the click during the wait sent nothing";
    EXPECT_EQ(log.back(), "S AE+ A2+ 80+ 60+ FF+ P");
    EXPECT_TRUE(main.message().contains("busy"));
}

}  // namespace
}  // namespace kestrel
