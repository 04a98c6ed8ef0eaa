#include "about/about_window.h"

#include <gtest/gtest.h>

#include "support/app_rig.h"

namespace kestrel {
namespace {

class FakeSystemInfo final : public SystemInfo {
  public:
    QString onPath;
    bool startWorks = true;
    QStringList started;
    bool GetKeyValue(std::uint32_t, const std::string&, const std::string&,
                     std::string& value) override {
        value.clear();
        return false;
    }
    bool fileExists(const QString&) override { return false; }
    bool start(const QString& program) override {
        started << program;
        return startWorks;
    }
    QString findOnPath(const QStringList& candidates) override {
        return candidates.contains(onPath.section('/', -1)) ? onPath : QString();
    }
};

struct AboutRig {
    FakeSystemInfo info;
    testing::AppRig app{nullptr, [this](ProgramOptions& o) { o.systemInfo = &info; }};
};

TEST(AboutWindow, SclTimingIsKeptAndSystemInfoStartsAProgramOrSaysItIsUnavailable) {
    AboutRig rig;
    QWidget* w = rig.app.open("mnuAbout", "frmAbout");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(rig.app.text("SCLtimingadj", w), " 5");

    auto* box = rig.app.find<QLineEdit>("SCLtimingadj", w);
    box->clear();
    QTest::keyClick(box, Qt::Key_1);
    EXPECT_EQ(rig.app.g().SCLTimingValue, 1);
    QTest::keyClick(box, Qt::Key_2);
    EXPECT_EQ(rig.app.g().SCLTimingValue, 12);

    const std::size_t traffic = rig.app.logSize();
    rig.app.click("cmdOK", w);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(rig.app.program->windows().loaded("frmAbout"), nullptr) << "OK discards the window";
    w = rig.app.open("mnuAbout", "frmAbout");
    EXPECT_EQ(rig.app.text("SCLtimingadj", w), " 12");
    rig.app.type("SCLtimingadj", "x7", w);
    EXPECT_EQ(rig.app.g().SCLTimingValue, 0);
    rig.app.type("SCLtimingadj", "99999", w);
    EXPECT_EQ(rig.app.g().SCLTimingValue, 32767);
    EXPECT_EQ(rig.app.logSize(), traffic) << "the SCL timing value never reaches the bus";

    rig.app.click("cmdSysInfo", w);
    EXPECT_TRUE(rig.info.started.isEmpty());
    EXPECT_EQ(rig.app.dialogs.messages,
              QStringList{"KESTREL Eval|System Information Is Unavailable At This Time"});

    rig.info.onPath = "/usr/bin/hardinfo";
    rig.app.click("cmdSysInfo", w);
    EXPECT_EQ(rig.info.started, QStringList{"/usr/bin/hardinfo"});
    EXPECT_EQ(rig.app.dialogs.messages.size(), 1);

    rig.info.startWorks = false;
    rig.app.click("cmdSysInfo", w);
    EXPECT_EQ(rig.app.dialogs.messages.size(), 2)
        << "a program that does not start is reported too";
}

}  // namespace
}  // namespace kestrel
