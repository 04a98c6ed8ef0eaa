#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStatusTipEvent>

#include "bus/null_port.h"
#include "bus/recording_port.h"
#include "connection/simulated_i2c_adapter.h"
#include "simulator/simulated_board.h"
#include "support/app_rig.h"
#include "support/fake_ppdev.h"

namespace kestrel {
namespace {

using testing::AppRig;

// Start-up finds the simulated port and sets the PLOVER to 06h; closing the
// main window ends everything.
TEST(Startup, FindsTheSimulatedPortSetsThePloverKeepsWarningsAndEndsWithTheMainWindow) {
    AppRig app;
    EXPECT_EQ(app.entries("CurrentPPortAddrCOMBO"),
              QStringList({"378", "LPT2: absent", "LPT3: absent"}));
    EXPECT_EQ(app.g().LPTBase, 0x378);
    EXPECT_EQ(app.find<QComboBox>("SlaveAddress")->currentIndex(), -1);
    EXPECT_EQ(app.log(), std::vector<std::string>{"S 90+ 06+ P"});
    EXPECT_EQ(app.board().plover().switches(), 0x06);
    EXPECT_EQ(app.bits("Read_Data"), "00000110");
    // A menu caption shows its "&" rather than taking it as a key mark.
    ASSERT_NE(app.action("mnuLCL"), nullptr);
    EXPECT_EQ(app.action("mnuLCL")->text(), "Local Voltage (OVP && UVP)")
        << "shown as \"OVP & UVP\"";

    // A warning stays until the next message replaces it: a menu's hover text
    // does not wipe it, and the Messages window lists it.
    app.click("PageErase");
    const QString warning = "Choose a page in the page list first.";
    ASSERT_EQ(app.status(), warning);
    QStatusTipEvent hover("Opens the file menu");
    QApplication::sendEvent(&app.main(), &hover);
    QStatusTipEvent leave("");
    QApplication::sendEvent(&app.main(), &leave);
    EXPECT_EQ(app.status(), warning);
    EXPECT_TRUE(app.find<QLabel>("statusMessage")->isVisible());
    app.trigger("mnuMessages");
    QWidget* messages = app.program->windows().loaded("frm_Messages");
    ASSERT_NE(messages, nullptr);
    auto* view = app.find<QPlainTextEdit>("MessageList", messages);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->toPlainText().contains(warning));

    // Closing the main window ends everything.
    const std::size_t before = app.logSize();
    app.click("exit");
    EXPECT_TRUE(app.program->hasQuit());
    EXPECT_FALSE(app.main().isVisible());
    EXPECT_TRUE(app.program->device().ReadRegister(0).refused());
    EXPECT_EQ(app.logSize(), before);
}

// A parallel port on a kernel that lists one port: "parportN" and its
// base-addr text, or "" for a port listed without an address.
struct ListedPort {
    testing::FakePpdev* kernel = nullptr;
    std::unique_ptr<ParallelPort> port;
    ListedPort(const std::string& name, const std::string& base) {
        auto fake = std::make_unique<testing::FakePpdev>();
        fake->files.clear();
        fake->files["/proc/sys/dev/parport/" + name + (base.empty() ? "/irq" : "/base-addr")] =
            base.empty() ? "-1\n" : base;
        kernel = fake.get();
        port = std::make_unique<ParallelPort>([](const std::string&) {}, std::move(fake));
    }
};

TEST(Startup, WithoutAPortOrAnAdapterTheBusStaysSilentAndTheUserIsTold) {
    ListedPort ports("parport1", "632\t1656\n");
    AppRig app(ports.port.get());
    EXPECT_EQ(app.entries("CurrentPPortAddrCOMBO"),
              QStringList({"LPT1: absent", "278", "LPT3: absent"}));
    EXPECT_EQ(app.g().LPTBase, 0);
    EXPECT_TRUE(app.status().contains("No usable parallel port")) << app.status().toStdString();
    EXPECT_EQ(app.text("connectionIndicator"),
              "No parallel port: load parport_pc and ppdev, or start with --simulate");

    // Every operation is refused with the reason, in the status line.
    for (const char* button : {"ByteReadCMD", "ReadRAM", "ReadEECMD", "Command1"}) {
        app.find<QLabel>("statusMessage")->clear();
        app.click(button);
        EXPECT_TRUE(app.status().contains("No usable parallel port")) << button;
    }
    EXPECT_TRUE(app.items("List2").isEmpty());
    // The diagnostics still answer.
    app.trigger("mnuPortTest");
    EXPECT_TRUE(app.status().startsWith("Port test not run")) << app.status().toStdString();
    app.trigger("mnuBusClear");
    EXPECT_TRUE(app.status().startsWith("Bus clear not run")) << app.status().toStdString();
    EXPECT_EQ(ports.kernel->accesses, 0) << "nothing at all reaches the port";

    ListedPort broken("parport0", "");
    AppRig app2(broken.port.get());
    EXPECT_EQ(app2.entries("CurrentPPortAddrCOMBO").front(), "LPT1: Error");
    EXPECT_EQ(app2.text("connectionIndicator"), "LPT1 cannot be opened: see Tools > Messages");

    // Started on an I2C adapter that cannot be opened, the indicator says so
    // and the messages say why; nothing is sent.
    sim::SimulatedBoard board;
    SimulatedI2cAdapter kernel(board, 3);
    AppRig missing(nullptr, [&kernel](ProgramOptions& o) {
        o.connection.simulate = false;
        o.connection.i2cAdapter = "/dev/i2c-9";
        o.connection.kernel = &kernel;
    });
    EXPECT_EQ(missing.text("connectionIndicator"), "I2C /dev/i2c-9 cannot be opened");
    EXPECT_TRUE(missing.main().messageLog().lines().join('\n').contains("modprobe i2c-dev"));
    const auto before = board.log().describeAll().size();
    missing.click("ByteReadCMD");
    EXPECT_EQ(board.log().describeAll().size(), before) << "nothing is sent";
}

// Tools > Connection switches between the board's port and an adapter;
// the indicator, the transactions and the line tools follow.
TEST(Startup, TheConnectionMenuSwitchesBetweenThePortAndAnAdapter) {
    AppRig app;
    auto* menu = app.main().findChild<QMenu*>("mnuConnection");
    ASSERT_NE(menu, nullptr);
    const auto choose = [&](const QString& label) {
        emit menu->aboutToShow();
        app.settle();
        for (QAction* a : menu->actions())
            if (a->text() == label) return a->trigger(), app.settle(), true;
        return false;
    };
    emit menu->aboutToShow();
    app.settle();
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_TRUE(menu->actions()[0]->isChecked());
    const QString adapter = QStringLiteral("I2C /dev/i2c-0: Simulated board adapter");
    EXPECT_EQ(menu->actions()[1]->text(), adapter);

    ASSERT_TRUE(choose(adapter));
    EXPECT_EQ(app.text("connectionIndicator"), adapter);
    SimulatedI2cAdapter* kernel = app.program->connection().simulatedAdapter();
    ASSERT_NE(kernel, nullptr);
    const unsigned before = kernel->ioctlCount();
    app.click("ByteReadCMD");
    EXPECT_EQ(kernel->ioctlCount(), before + 1) << "the read went through the adapter";
    app.trigger("mnuPortTest");
    EXPECT_TRUE(app.main().message().startsWith("Port test is not available"));
    emit menu->aboutToShow();
    app.settle();
    EXPECT_TRUE(menu->actions()[1]->isChecked());

    ASSERT_TRUE(choose(QStringLiteral("Simulated board")));
    EXPECT_EQ(app.text("connectionIndicator"), "Simulated board");
    app.click("ByteReadCMD");
    EXPECT_EQ(kernel->ioctlCount(), before + 1) << "back on the port";
    app.trigger("mnuPortTest");
    EXPECT_EQ(app.main().message(), "SDA follows");
}

// Escape closes every secondary window, also those without an Exit button.
TEST(Startup, EscapeClosesEverySecondaryWindow) {
    AppRig app;
    for (const auto& [entry, name] :
         {std::pair{"mnuBusMonitor", "frm_BusMonitor"}, std::pair{"mnuScripts", "frm_Scripts"},
          std::pair{"mnuProduction", "frm_Production"}}) {
        QPointer<QWidget> w = app.open(entry, name);
        ASSERT_TRUE(w) << name;
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w)) << name;
        QTest::keyClick(w, Qt::Key_Escape);
        app.settle();
        EXPECT_TRUE(w.isNull() || !w->isVisible()) << name;
    }
}

TEST(Startup, ChoosingAnotherPortEntryChangesOnlyTheAccessNumbers) {
    NullPort null(0x378);
    RecordingPort ports(null);
    AppRig app(&ports);
    app.choose("CurrentPPortAddrCOMBO", "LPT3: absent");
    ports.clear();
    app.click("ByteReadCMD");
    EXPECT_EQ(app.g().LPTBase, 0x378);
    ASSERT_FALSE(ports.events().empty());
    EXPECT_EQ(ports.events().front().kind, PortEvent::Kind::Enable);
    EXPECT_EQ(ports.events().front().value, 2) << "entry n opens access with n and n + 2";
}

}  // namespace
}  // namespace kestrel
