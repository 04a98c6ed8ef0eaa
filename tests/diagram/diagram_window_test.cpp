#include "diagram/diagram_window.h"

#include <gtest/gtest.h>

#include <QScrollBar>

#include "support/app_rig.h"

namespace kestrel {
namespace {

struct DiagramRig : testing::AppRig {
    void clickPicture(QWidget* w, const char* name, QPoint at = {5, 5}) {
        auto* picture = w->findChild<DiagramPicture*>(name);
        ASSERT_NE(picture, nullptr) << name;
        QTest::mouseClick(picture, Qt::LeftButton, {}, at);
        settle();
    }
};

TEST(BlockDiagram, HotspotsShowTheirArtworkScrollTogetherOpenEditorsAndTheEditorsComeBack) {
    DiagramRig app;
    DiagramWindow* w = app.open<DiagramWindow>("mnuConfigs", "frm_Config");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(app.g().ConfigWindowOpen);

    const QImage art = DiagramWindow::artwork().toImage();
    auto* diagram = w->findChild<DiagramPicture*>("pic_kestrel");
    for (auto* p : w->findChildren<DiagramPicture*>()) {
        if (p == diagram) continue;
        const QImage shown = p->grab().toImage().convertToFormat(art.format());
        const QRect where(p->pos() - diagram->pos(), p->size());
        EXPECT_EQ(shown, art.copy(where)) << p->objectName().toStdString();
        EXPECT_EQ(p->cursor().shape(),
                  p->objectName() == "pic_vrev" ? Qt::ArrowCursor : Qt::WhatsThisCursor);
    }

    std::size_t mark = app.logSize();
    app.clickPicture(w, "pic_kestrel", {300, 900});
    app.clickPicture(w, "pic_kestrel", {10, 70});
    EXPECT_TRUE(app.dialogs.messages.isEmpty());
    EXPECT_TRUE(w->isVisible());
    for (const char* name : {"pic_capture", "pic_genlog", "pic_otp"}) app.clickPicture(w, name);
    EXPECT_EQ(app.dialogs.messages,
              QStringList({"KESTREL Eval|Capture Current", "KESTREL Eval|General Logic",
                           "KESTREL Eval|OTP"}));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(app.logSize(), mark) << "the diagram touches no bus itself";

    // Scrolling moves every picture together, in twips.
    auto* h = w->findChild<QScrollBar*>("HScroll1");
    auto* v = w->findChild<QScrollBar*>("VScroll1");
    const auto pictures = w->findChildren<DiagramPicture*>();
    ASSERT_EQ(pictures.size(), 13);
    std::map<QString, QPoint> designPixels;
    for (auto* p : pictures) designPixels[p->objectName()] = p->pos();

    h->setValue(500);
    v->setValue(1000);
    for (auto* p : pictures) {
        EXPECT_EQ(p->left(), p->homeLeft() - 500) << p->objectName().toStdString();
        EXPECT_EQ(p->top(), p->homeTop() - 1000) << p->objectName().toStdString();
        // Every hotspot keeps its place over its block of the diagram.
        EXPECT_EQ(p->pos() - diagram->pos(),
                  designPixels[p->objectName()] - designPixels["pic_kestrel"]);
    }
    h->setValue(0);
    v->setValue(0);
    for (auto* p : pictures)
        EXPECT_EQ(p->pos(), designPixels[p->objectName()]) << p->objectName().toStdString();

    // A hotspot opens its editor, which brings the diagram back.
    mark = app.logSize();
    app.clickPicture(w, "pic_shrok");
    EXPECT_FALSE(w->isVisible());
    QWidget* ilim = app.program->windows().loaded("frm_ilim");
    ASSERT_NE(ilim, nullptr);
    EXPECT_TRUE(ilim->isVisible());
    EXPECT_NE(ilim->windowModality(), Qt::ApplicationModal);
    const std::size_t afterFirstOpen = app.logSize();
    EXPECT_GT(afterFirstOpen, mark);

    app.click("Command2", ilim);
    EXPECT_TRUE(w->isVisible()) << "the editor brings the diagram back";
    EXPECT_NE(w->windowModality(), Qt::ApplicationModal);
    app.clickPicture(w, "pic_ilim");
    EXPECT_EQ(app.program->windows().loaded("frm_ilim"), ilim) << "the same editor";
    EXPECT_EQ(app.logSize(), afterFirstOpen) << "only hidden: not read again";

    // Closing the diagram with its close box ends the way back.
    app.click("Command2", ilim);
    w->close();
    EXPECT_FALSE(app.g().ConfigWindowOpen);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app.trigger("mnuILIM");
    app.click("Command2", ilim);
    EXPECT_EQ(app.program->windows().loaded("frm_Config"), nullptr);
}

}  // namespace
}  // namespace kestrel
