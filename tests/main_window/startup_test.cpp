#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusTipEvent>

#include "bus/null_port.h"
#include "bus/recording_port.h"
#include "connection/simulated_i2c_adapter.h"
#include "simulator/simulated_board.h"
#include "support/app_rig.h"

namespace kestrel {
namespace {

using testing::AppRig;

TEST(Startup, FillsListsFindsTheSimulatedPortAndSetsThePlover) {
    AppRig app;
    EXPECT_EQ(app.main().windowTitle(), "KESTREL");
    EXPECT_EQ(app.entries("CurrentPPortAddrCOMBO"),
              QStringList({"378", "LPT2: absent", "LPT3: absent"}));
    EXPECT_EQ(app.g().LPTBase, 0x378);
    EXPECT_EQ(app.entries("SlaveAddress"),
              QStringList({"AEh", "A0h", "A2h", "A4h", "A6h", "A8h", "AAh", "2Dh"}));
    EXPECT_EQ(app.find<QComboBox>("SlaveAddress")->currentIndex(), -1);
    const QStringList pages = app.entries("PageErasePointer");
    ASSERT_EQ(pages.size(), 16);
    EXPECT_EQ(pages.front(), "8000");
    EXPECT_EQ(pages[9], "8120");
    EXPECT_EQ(pages.back(), "81E0");
    EXPECT_EQ(app.find<QComboBox>("PageErasePointer")->currentIndex(), -1);
    const QStringList names = app.items("List1");
    ASSERT_EQ(names.size(), 30);
    EXPECT_EQ(names[0], "Status1\t\t\t\t");
    EXPECT_EQ(names[0x14], "Current Sense Divider Error Trim\t");
    EXPECT_EQ(names[0x1D], "Revision Register\t\t\t");

    // The PLOVER's start-up position: 06h to 90h, shown in the bit labels.
    EXPECT_EQ(app.log(), std::vector<std::string>{"S 90+ 06+ P"});
    EXPECT_EQ(app.board().plover().switches(), 0x06);
    EXPECT_EQ(app.bits("Read_Data"), "00000110");
    EXPECT_EQ(app.text("PEC"), "");
    EXPECT_EQ(app.g().CommandCode, 0x90);
    EXPECT_EQ(app.g().SlaveAddr, 0xAE);
    EXPECT_EQ(app.g().SCLTimingValue, 5);
    EXPECT_FALSE(app.g().ConfigWindowOpen);
    EXPECT_EQ(app.main().fileDialog().fileName, "kestrel.dat");
    EXPECT_EQ(app.main().fileDialog().filter, "Dat Files (*.dat)");
}

// Port discovery as a test scripts it: addresses and error states per LPT number.
class ScriptedPorts final : public PortAccess {
  public:
    ScriptedPorts(std::uint16_t lpt1, std::uint16_t lpt2, std::uint32_t lpt1State = 0)
        : addresses_{lpt1, lpt2, 0}, states_{lpt1State, 0, 0} {}
    void Outport(std::uint16_t, std::uint8_t) override { ++accesses; }
    std::uint16_t Inport(std::uint16_t) override {
        ++accesses;
        return 0;
    }
    void EnablePorts(std::int16_t, std::int16_t) override { ++accesses; }
    void DisablePorts(std::int16_t, std::int16_t) override { ++accesses; }
    std::uint16_t GetLPTPortAddress(int n) override {
        last_ = states_[n - 1];
        return addresses_[n - 1];
    }
    std::uint32_t GetLastState(int) override { return last_; }
    int accesses = 0;

  private:
    std::uint16_t addresses_[3];
    std::uint32_t states_[3];
    std::uint32_t last_ = 0;
};

TEST(Startup, WithoutAFirstPortTheBusStaysSilentAndTheUserIsTold) {
    ScriptedPorts ports(0, 0x278);
    AppRig app(&ports);
    EXPECT_EQ(app.entries("CurrentPPortAddrCOMBO"),
              QStringList({"LPT1: absent", "278", "LPT3: absent"}));
    EXPECT_EQ(app.g().LPTBase, 0);
    EXPECT_TRUE(app.status().contains("No usable parallel port")) << app.status().toStdString();

    app.find<QLabel>("statusMessage")->clear();
    app.click("ByteReadCMD");
    app.click("ReadRAM");
    app.click("ReadEECMD");
    app.click("WriteEECMD");
    app.click("Command1");
    EXPECT_EQ(ports.accesses, 0) << "nothing at all reaches the port";
    EXPECT_TRUE(app.dialogs.questions.isEmpty()) << "no erase question when nothing can be written";
    EXPECT_TRUE(app.items("List2").isEmpty());
    EXPECT_EQ(app.status(), "") << "told once, not on every click";

    ScriptedPorts broken(0, 0, 5);
    AppRig app2(&broken);
    EXPECT_EQ(app2.entries("CurrentPPortAddrCOMBO").front(), "LPT1: Error");
}

// The status bar always says what the program talks to.
TEST(Startup, TheConnectionIndicatorNamesTheBoardThePortOrWhatIsMissing) {
    AppRig simulated;
    EXPECT_EQ(simulated.text("connectionIndicator"), "Simulated board");
    ScriptedPorts real(0x378, 0);
    AppRig onPort(&real);
    EXPECT_EQ(onPort.text("connectionIndicator"), "LPT1 378h");
    ScriptedPorts none(0, 0);
    AppRig missing(&none);
    EXPECT_EQ(missing.text("connectionIndicator"),
              "No parallel port: load parport_pc and ppdev, or start with --simulate");
    ScriptedPorts denied(0, 0, 5);
    AppRig noAccess(&denied);
    EXPECT_EQ(noAccess.text("connectionIndicator"), "LPT1 cannot be opened: see Tools > Messages");
}

// A warning stays until the next message replaces it: a menu's hover text
// does not wipe it, and the message log keeps every one.
// Through an I2C adapter the indicator names it, or says it cannot be
// opened and the messages say why; the line tools say they need the port.
TEST(Startup, OnAnI2cAdapterTheIndicatorNamesItOrWhatIsMissing) {
    sim::SimulatedBoard board;
    SimulatedI2cAdapter kernel(board, 3);
    const auto onAdapter = [&kernel](const char* path) {
        return [&kernel, path](ProgramOptions& o) {
            o.connection.simulate = false;
            o.connection.i2cAdapter = path;
            o.connection.kernel = &kernel;
        };
    };
    AppRig found(nullptr, onAdapter("/dev/i2c-3"));
    EXPECT_EQ(found.text("connectionIndicator"), "I2C /dev/i2c-3: Simulated board adapter");
    found.action("mnuPortTest")->trigger();
    EXPECT_EQ(found.main().message(),
              "Port test is not available on an I2C adapter: it needs the parallel port's lines.");

    AppRig missing(nullptr, onAdapter("/dev/i2c-9"));
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
        for (QAction* a : menu->actions())
            if (a->text() == label) return a->trigger(), true;
        return false;
    };
    emit menu->aboutToShow();
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
    app.action("mnuPortTest")->trigger();
    EXPECT_TRUE(app.main().message().startsWith("Port test is not available"));
    emit menu->aboutToShow();
    EXPECT_TRUE(menu->actions()[1]->isChecked());

    ASSERT_TRUE(choose(QStringLiteral("Simulated board")));
    EXPECT_EQ(app.text("connectionIndicator"), "Simulated board");
    app.click("ByteReadCMD");
    EXPECT_EQ(kernel->ioctlCount(), before + 1) << "back on the port";
    app.action("mnuPortTest")->trigger();
    EXPECT_EQ(app.main().message(), "SDA follows");
}

TEST(Startup, MessagesStayAndAreLogged) {
    AppRig app;
    app.click("PageErase");
    const QString warning = "Choose a page in the page list first.";
    ASSERT_EQ(app.status(), warning);
    QStatusTipEvent hover("Opens the file menu");
    QApplication::sendEvent(&app.main(), &hover);
    QStatusTipEvent leave("");
    QApplication::sendEvent(&app.main(), &leave);
    EXPECT_EQ(app.status(), warning);
    EXPECT_TRUE(app.find<QLabel>("statusMessage")->isVisible());

    app.board().kestrel().setPresent(false);
    app.click("ByteReadCMD");
    EXPECT_EQ(app.status(), "No acknowledge from AEh");
    const QStringList log = app.main().messageLog().lines();
    ASSERT_GE(log.size(), 2);
    EXPECT_TRUE(log[log.size() - 2].endsWith(warning));
    EXPECT_TRUE(log.back().endsWith("No acknowledge from AEh"));
    app.action("mnuMessages")->trigger();
    QWidget* messages = app.program->windows().loaded("frm_Messages");
    ASSERT_NE(messages, nullptr);
    auto* view = messages->findChild<QPlainTextEdit*>("MessageList");
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->toPlainText().contains(warning));

    // Without a port, the diagnostics still answer.
    ScriptedPorts none(0, 0);
    AppRig portless(&none);
    portless.action("mnuPortTest")->trigger();
    EXPECT_TRUE(portless.status().startsWith("Port test not run"))
        << portless.status().toStdString();
    portless.action("mnuBusClear")->trigger();
    EXPECT_TRUE(portless.status().startsWith("Bus clear not run"));
    EXPECT_EQ(none.accesses, 0);
}

TEST(Startup, MenusShowTheirCharactersAndTakeTheUsualKeys) {
    AppRig app;
    QAction* local = app.action("mnuLCL");
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(local->text(), "Local Voltage (OVP && UVP)") << "shown as \"OVP & UVP\"";
    EXPECT_EQ(app.action("ExitCMD")->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_EQ(app.action("ReadFileCMD")->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(app.action("WriteFileCMD")->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(app.action("mnuAbout")->shortcut(), QKeySequence(QKeySequence::HelpContents));
    EXPECT_EQ(app.action("WriteFileCMD")->text(), "Write 8100h-811Fh to file")
        << "captions unchanged";
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

TEST(Startup, ClosingTheMainWindowEndsEverything) {
    AppRig app;
    const std::size_t before = app.logSize();
    app.click("exit");
    EXPECT_TRUE(app.program->hasQuit());
    EXPECT_FALSE(app.main().isVisible());
    EXPECT_TRUE(app.program->device().ReadRegister(0).refused());
    EXPECT_EQ(app.logSize(), before);
}

}  // namespace
}  // namespace kestrel
