#include <gtest/gtest.h>

#include <QMenu>
#include <cerrno>

#include "simulator/simulated_board.h"
#include "support/app_rig.h"
#include "support/fake_ppdev.h"

namespace kestrel {
namespace {

using testing::AppRig;

const QString kRetry = QStringLiteral(" Tools > Connection > Parallel port tries again.");

// On the parallel port whatever executor the suite runs on.
void onParallelPort(ProgramOptions& options) {
    options.connection.i2cAdapter.clear();
}

// Tools > Connection > Parallel port: the way to try the port again.
void chooseParallelPort(AppRig& app) {
    auto* menu = app.main().findChild<QMenu*>("mnuConnection");
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    app.settle();
    ASSERT_FALSE(menu->actions().isEmpty());
    ASSERT_EQ(menu->actions()[0]->text(), "Parallel port");
    menu->actions()[0]->trigger();
    app.settle();
}

// A port that cannot be opened is what the indicator shows; every
// operation, Port Test and Bus Clear included, says it did not run and
// sends nothing; once the cause is gone the Connection menu opens it again.
TEST(PortFailureUi, AnUnopenablePortIsShownAndNothingRuns) {
    const QString head = QStringLiteral("LPT1 cannot be opened: /dev/parport0: ");
    struct Case {
        void (*setUp)(testing::FakePpdev&);
        QString reason;
    };
    const Case cases[] = {
        {[](testing::FakePpdev& k) { k.nodes.clear(); },
         head + "no such device node; load the ppdev module"},
        {[](testing::FakePpdev& k) { k.openError = EACCES; },
         head + "permission denied; add yourself to group lp"},
        {[](testing::FakePpdev& k) { k.claimError = EBUSY; },
         head + "another driver holds it; unload the printer driver lp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        sim::SimulatedBoard board;
        testing::FakeParallelPort lpt(&board);
        c.setUp(*lpt.kernel);
        AppRig app(lpt.port.get(), onParallelPort);
        EXPECT_EQ(app.text("connectionIndicator"), c.reason);
        EXPECT_EQ(app.main().message(), c.reason + "; nothing was sent." + kRetry)
            << "the start-up's PLOVER write was refused";
        app.trigger("mnuPortTest");
        EXPECT_EQ(app.main().message(), "Port test not run: " + c.reason + "; nothing was sent.");
        app.trigger("mnuBusClear");
        EXPECT_EQ(app.main().message(), "Bus clear not run: " + c.reason + "; nothing was sent.");
        app.type("AddressPointer", "0B");
        app.click("ByteReadCMD");
        app.click("ReadRAM");
        EXPECT_EQ(lpt.kernel->accesses, 0);
        EXPECT_TRUE(board.log().describeAll().empty());
        EXPECT_TRUE(app.dialogs.messages.isEmpty());

        lpt.kernel->nodes = {"/dev/parport0"};
        lpt.kernel->openError = lpt.kernel->claimError = 0;
        chooseParallelPort(app);
        EXPECT_EQ(app.text("connectionIndicator"), "LPT1 378h");
        board.kestrel().setReg(0x0B, 0x07);
        app.click("ByteReadCMD");
        EXPECT_EQ(app.text("ByteData"), "7");
    }
}

// A port that fails under a transaction: the status bar names a port error
// (no missing acknowledge), the indicator shows it, later clicks send
// nothing, and the Connection menu opens the port again.
TEST(PortFailureUi, APortFailingUnderATransactionIsAPortError) {
    sim::SimulatedBoard board;
    board.kestrel().setStatusActivity(false);
    testing::FakeParallelPort lpt(&board);
    AppRig app(lpt.port.get(), onParallelPort);
    ASSERT_EQ(app.text("connectionIndicator"), "LPT1 378h");
    ASSERT_EQ(board.log().describeAll(), std::vector<std::string>{"S 90+ 06+ P"});
    const QString fault = QStringLiteral("LPT1 port error: /dev/parport0: input/output error");

    lpt.kernel->failAtAccess = lpt.kernel->accesses + 40;
    app.type("AddressPointer", "0B");
    app.click("ByteReadCMD");
    EXPECT_EQ(app.main().message(), fault + "; the transaction did not run to its end");
    EXPECT_EQ(app.text("connectionIndicator"), fault);
    app.click("ByteReadCMD");
    EXPECT_EQ(app.main().message(), fault + "; nothing was sent." + kRetry);
    app.trigger("mnuBusClear");
    EXPECT_EQ(app.main().message(), "Bus clear not run: " + fault + "; nothing was sent.");
    EXPECT_EQ(lpt.kernel->accesses, lpt.kernel->failAtAccess);

    lpt.kernel->failAtAccess = 0;
    chooseParallelPort(app);
    EXPECT_EQ(app.text("connectionIndicator"), "LPT1 378h");
    app.trigger("mnuBusClear");
    EXPECT_EQ(app.main().message(), "Bus clear: SDA is free.");
}

}  // namespace
}  // namespace kestrel
