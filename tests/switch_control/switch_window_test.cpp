#include <gtest/gtest.h>

#include <QComboBox>

#include "support/app_rig.h"

namespace kestrel {
namespace {

TEST(SwitchWindow, WritesAddressAndSwitchByteAndExitReturnsToTheDiagram) {
    testing::AppRig app;
    QWidget* w = app.open("PLOVERControl", "frm_PLOVER_Control");
    ASSERT_NE(w, nullptr);
    EXPECT_NE(w->windowModality(), Qt::ApplicationModal);
    app.type("AddressByte", "99", w);  // the read address: written as 98h
    app.type("SelectSwitch", "01", w);
    EXPECT_EQ(app.clicked("PLOVERWriteCMD", w), std::vector<std::string>{"S 98+ 01+ P"});
    EXPECT_EQ(app.bits("Read_Data"), "00000001");
    EXPECT_EQ(app.board().plover98().switches(), 0x01);

    // An empty address would be the general call: refused, nothing sent.
    const std::size_t mark = app.logSize();
    app.type("AddressByte", "", w);
    app.type("SelectSwitch", "9Z", w);
    app.click("PLOVERWriteCMD", w);
    EXPECT_EQ(app.logSize(), mark);
    EXPECT_TRUE(app.text("note", w).contains("general call")) << app.text("note", w).toStdString();
    // Choosing a PLOVER fills its address; the drop-down itself sends nothing.
    app.choose("combo1", "PLOVERU10", w);
    EXPECT_EQ(app.logSize(), mark);
    EXPECT_EQ(app.text("AddressByte", w), "98");
    EXPECT_EQ(app.clicked("PLOVERWriteCMD", w), std::vector<std::string>{"S 98+ 09+ P"});

    // Exit returns to the block diagram while it is loaded.
    auto* diagram = new QWidget;
    app.program->windows().add("frm_Config", [diagram] { return diagram; });
    app.g().ConfigWindowOpen = true;
    app.click("exit", w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(diagram->isVisible());
}

}  // namespace
}  // namespace kestrel
