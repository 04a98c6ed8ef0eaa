#include "app/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace kestrel {
namespace {

// Acts on the question box once it is up.
Dialogs::Answer answerWith(const std::function<void(QMessageBox*)>& act) {
    QTimer::singleShot(0, [act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        act(box);
    });
    QtDialogs dialogs;
    return dialogs.askYesNo(nullptr, "KESTREL Eval", "Erase pages 8100 and 811F first?");
}

// Yes and No are the only buttons shown; Escape and the close box cancel
// instead of counting as No.
TEST(QtDialogs, TheEraseQuestionTellsCancelFromNo) {
    using A = Dialogs::Answer;
    EXPECT_EQ(answerWith([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }), A::Yes);
    EXPECT_EQ(answerWith([](QMessageBox* box) { box->button(QMessageBox::No)->click(); }), A::No);
    EXPECT_EQ(answerWith([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }),
              A::Cancel);
    EXPECT_EQ(answerWith([](QMessageBox* box) { box->close(); }), A::Cancel);
    EXPECT_EQ(answerWith([](QMessageBox* box) {
                  int visible = 0;
                  for (QAbstractButton* b : box->buttons()) visible += b->isVisible() ? 1 : 0;
                  EXPECT_EQ(visible, 2);
                  box->button(QMessageBox::No)->click();
              }),
              A::No);
}

}  // namespace
}  // namespace kestrel
