#include <gtest/gtest.h>

#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <csignal>
#include <fstream>

#include "app/signal_quit.h"
#include "files/snapshot_board.h"
#include "main_window/main_window.h"
#include "production/records.h"
#include "production_window/production_window.h"
#include "scripts_window/code_editor.h"
#include "scripts_window/scripts_window.h"
#include "simulator/simulated_board.h"
#include "support/app_rig.h"
#include "support/fake_ppdev.h"

// The windows hand their bus work to the bus owner and observe what comes
// back; Quit, a closed main window and a signal all end the program the same
// way: the job under way stops at its next transaction boundary, the board is
// saved, and every window closes without its own code under it.
namespace kestrel {
namespace {

using testing::AppRig;

// The three ways a user or the desktop ends the program.
enum class Ending { QuitKey, CloseBox, Sigterm };

void end(AppRig& app, Ending how) {
    switch (how) {
        case Ending::QuitKey:
            app.action("ExitCMD")->trigger();
            break;
        case Ending::CloseBox:
            app.main().close();
            break;
        case Ending::Sigterm: {
            SignalQuit bySignal([&app] { app.program->quit(); });
            std::raise(SIGTERM);
            for (int i = 0; i < 200 && !app.program->hasQuit(); ++i) QTest::qWait(5);
            break;
        }
    }
    for (int i = 0; i < 1000 && !app.program->finished(); ++i) QTest::qWait(5);
}

// Waits with the event loop running until `done`, or five seconds.
template <typename Done>
bool waitFor(Done done) {
    for (int i = 0; i < 1000 && !done(); ++i) QTest::qWait(5);
    return done();
}

void realHolds(ProgramOptions& o) {
    o.connection.waitHooks.reset();
}

TEST(BusOwnerUi, QuittingDuringAScriptsWaitStopsItSavesTheBoardAndClosesEveryWindow) {
    for (const Ending how : {Ending::QuitKey, Ending::CloseBox, Ending::Sigterm}) {
        SCOPED_TRACE(static_cast<int>(how));
        QTemporaryDir dir;
        const std::string state = dir.filePath("board.txt").toStdString();
        {
            AppRig app(nullptr, [&](ProgramOptions& o) {
                realHolds(o);
                o.connection.simStatePath = state;
            });
            QPointer<ScriptsWindow> w = app.open<ScriptsWindow>("mnuScripts", "frm_Scripts");
            ASSERT_TRUE(w);
            w->editor().setPlainText("write 10 5A\nwait 10000\nwrite 10 A5\n");
            QTest::mouseClick(app.find<QPushButton>("run", w), Qt::LeftButton);
            ASSERT_TRUE(waitFor([&] { return app.board().kestrel().reg(0x10) == 0x5A; }));
            QElapsedTimer took;
            took.start();
            end(app, how);
            EXPECT_TRUE(app.program->finished());
            EXPECT_LT(took.elapsed(), 3000) << "the wait ends at the stop, not after ten seconds";
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_TRUE(w.isNull()) << "the window is gone once its own code has returned";
        }
        sim::SimulatedBoard saved;
        std::string error;
        ASSERT_TRUE(saved.loadState(state, &error)) << error;
        EXPECT_EQ(saved.kestrel().reg(0x10), 0x5A) << "the completed write is saved, no later one";
    }
}

// A production board whose golden image differs in every page, on real
// 30 ms holds: long enough to quit, or press Enter again, in the middle.
struct StationRig {
    QTemporaryDir dir;
    std::string state = dir.filePath("board.txt").toStdString();
    AppRig app{nullptr, [this](ProgramOptions& o) {
                   realHolds(o);
                   o.connection.simStatePath = state;
               }};
    ProductionWindow* w = nullptr;
    QString database = dir.filePath("records.sqlite");

    StationRig() {
        app.realTimeBoard();
        w = app.open<ProductionWindow>("mnuProduction", "frm_Production");
        app.find<QLineEdit>("database", w)->setText(database);
        auto golden = snapshot::takeSnapshot(app.program->device(), 1'800'000'000).snapshot;
        for (std::uint8_t& b : golden->eeprom) b = 0x5A;
        std::string error;
        EXPECT_TRUE(
            snapshot::saveSnapshot(dir.filePath("golden.snap").toStdString(), *golden, error));
        app.dialogs.fileNames = {dir.filePath("golden.snap")};
        app.click("chooseGolden", w);
    }
    void enter(const QString& serial) {
        auto* field = app.find<QLineEdit>("serial", w);
        field->setText(serial);
        QTest::keyClick(field, Qt::Key_Return);
    }
    std::vector<production::Attempt> attempts() {
        std::string error;
        auto records = production::Records::open(database.toStdString(), error);
        EXPECT_TRUE(records) << error;
        auto rows = records ? records->attempts("", error) : std::nullopt;
        return rows ? *rows : std::vector<production::Attempt>{};
    }
};

TEST(BusOwnerUi, ASecondEnterDuringABoardIsRefusedAndQuitLeavesItsRecord) {
    StationRig rig;
    rig.enter("S-0001");
    ASSERT_TRUE(waitFor([&] { return rig.app.board().kestrel().eeprom(0x8000) == 0x5A; }))
        << "the board is being written";
    rig.enter("S-0001");  // a scanner repeating
    EXPECT_TRUE(rig.w->countersText().contains("being programmed")) << "refused, visibly";
    ASSERT_TRUE(waitFor([&] { return !rig.w->resultText().startsWith("Programming"); }));
    EXPECT_EQ(rig.w->resultText(), "PASS  S-0001");
    EXPECT_EQ(rig.attempts().size(), 1u) << "one board, one row";

    // Quit in the middle of the next board: it stops at a transaction
    // boundary and still leaves its row.
    rig.app.board().kestrel().setEeprom(0x8000, 0x00);
    for (int a = 0x8000; a < 0x8200; a += 32) rig.app.board().kestrel().setEeprom(a + 1, 0x00);
    rig.enter("S-0002");
    ASSERT_TRUE(waitFor([&] { return rig.app.board().kestrel().eeprom(0x8001) == 0x5A; }));
    end(rig.app, Ending::QuitKey);
    ASSERT_TRUE(rig.app.program->finished());
    const auto rows = rig.attempts();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].serial, "S-0002");
    EXPECT_EQ(rows[1].result, "FAIL");
    EXPECT_NE(rows[1].firstFailure.find("Stopped"), std::string::npos) << rows[1].firstFailure;
}

// A port error in the Scripts window's run is the connection's state: the
// main window's next click is refused with the port's reason, and Tools >
// Connection brings the bus back for every window.
TEST(BusOwnerUi, APortErrorInAScriptIsTheConnectionsStateUntilItIsOpenedAgain) {
    sim::SimulatedBoard board;
    board.kestrel().setStatusActivity(false);
    testing::FakeParallelPort lpt(&board);
    AppRig app(lpt.port.get(), [](ProgramOptions& o) { o.connection.i2cAdapter.clear(); });
    auto* w = app.open<ScriptsWindow>("mnuScripts", "frm_Scripts");
    lpt.kernel->failAtAccess = lpt.kernel->accesses + 300;
    w->editor().setPlainText("repeat 20\nread 0E\nend\n");
    app.click("run", w);
    EXPECT_FALSE(w->running());
    const QString fault = QStringLiteral("LPT1 port error: /dev/parport0: input/output error");
    app.click("ByteReadCMD");
    EXPECT_TRUE(app.status().startsWith(fault + "; nothing was sent."))
        << app.status().toStdString();

    lpt.kernel->failAtAccess = 0;
    auto* menu = app.main().findChild<QMenu*>("mnuConnection");
    emit menu->aboutToShow();
    app.settle();
    menu->actions()[0]->trigger();
    app.settle();
    // The chip was left in the middle of a transaction: clear the bus first.
    app.trigger("mnuBusClear");
    board.kestrel().setReg(0x0E, 0x07);
    app.type("AddressPointer", "0E");
    app.click("ByteReadCMD");
    EXPECT_EQ(app.text("ByteData"), "7");
}

}  // namespace
}  // namespace kestrel
