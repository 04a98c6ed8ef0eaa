#include "production_window/production_window.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "files/snapshot.h"
#include "files/snapshot_board.h"
#include "support/app_rig.h"

namespace kestrel {
namespace {

TEST(ProductionWindow, EnterOrProgramProgramsTheBoardAndCountsRecordsAndExports) {
    testing::AppRig app;
    QTemporaryDir dir;
    auto* w = app.open<ProductionWindow>("mnuProduction", "frm_Production");
    ASSERT_NE(w, nullptr);
    app.find<QLineEdit>(QStringLiteral("database"), w)
        ->setText(dir.filePath(QStringLiteral("records.sqlite")));
    const auto taken = snapshot::takeSnapshot(app.program->device(), 1'800'000'000);
    ASSERT_TRUE(taken.snapshot);
    std::string error;
    ASSERT_TRUE(
        snapshot::saveSnapshot(dir.filePath("golden.snap").toStdString(), *taken.snapshot, error));
    app.dialogs.fileNames = {dir.filePath(QStringLiteral("golden.snap"))};
    app.click(QStringLiteral("chooseGolden"), w);
    // A scanner types the serial and presses Enter.
    const auto scan = [&](const QString& serial) {
        auto* field = app.find<QLineEdit>(QStringLiteral("serial"), w);
        field->clear();
        QTest::keyClicks(field, serial);
        QTest::keyClick(field, Qt::Key_Return);
        app.settle();
    };

    EXPECT_TRUE(w->goldenText().startsWith("golden.snap  SHA-256 "))
        << w->goldenText().toStdString();
    EXPECT_EQ(w->goldenText().size(), QStringLiteral("golden.snap  SHA-256 ").size() + 64);

    app.find<QCheckBox>(QStringLiteral("autoIncrement"), w)->setChecked(true);
    app.find<QCheckBox>(QStringLiteral("writeSerial"), w)->setChecked(true);
    scan(QStringLiteral("P-0009"));
    EXPECT_EQ(w->resultText(), QStringLiteral("PASS  P-0009"));
    EXPECT_EQ(app.find<QLineEdit>(QStringLiteral("serial"), w)->text(), QStringLiteral("P-0010"));
    EXPECT_EQ(app.board().kestrel().eeprom(0x81E0), 'P');
    EXPECT_TRUE(w->summaryText().startsWith(
        "All records: 1 attempt, 1 passed, 0 failed; 1 board, 1 passing now"))
        << w->summaryText().toStdString();

    // The board now carries P-0009: a different serial fails (Program does
    // what Enter does), its reason in full below the verdict.
    app.click(QStringLiteral("program"), w);
    EXPECT_TRUE(w->resultText().startsWith("FAIL  P-0010\nthe board carries serial P-0009"))
        << w->resultText().toStdString();
    auto* reason = app.find<QLabel>(QStringLiteral("reason"), w);
    EXPECT_GE(reason->minimumHeight(), 2 * reason->fontMetrics().lineSpacing());
    // However long the reason, the window may be smaller than its contents:
    // it scrolls, and the records show several rows.
    EXPECT_NE(w->findChild<QScrollArea*>(QStringLiteral("scrollArea")), nullptr);
    EXPECT_LT(w->minimumSizeHint().height(), 300);
    EXPECT_GE(w->report().minimumHeight(), 6 * w->report().verticalHeader()->defaultSectionSize());
    app.board().applyFault("missing");
    scan(QStringLiteral("P-0011"));
    EXPECT_TRUE(w->resultText().contains("no acknowledge")) << w->resultText().toStdString();
    EXPECT_EQ(w->countersText(), QStringLiteral("passed 1   failed 2   total 3"));

    EXPECT_TRUE(w->summaryText().startsWith(
        "All records: 3 attempts, 1 passed, 2 failed; 3 boards, 1 passing now, yield 33.3%."))
        << w->summaryText().toStdString();
    QTableWidget& t = w->report();
    ASSERT_EQ(t.rowCount(), 3);
    EXPECT_EQ(t.item(0, 0)->text(), QStringLiteral("P-0009"));
    EXPECT_EQ(t.item(0, 6)->text(), QStringLiteral("PASS"));
    EXPECT_EQ(t.item(0, 8)->text(), QStringLiteral("81E0h"));
    EXPECT_EQ(t.item(2, 6)->text(), QStringLiteral("FAIL"));

    // Export: a new file as the umask allows; a file the user chose to
    // replace is replaced.
    const mode_t umask = ::umask(022);
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    app.dialogs.fileNames = {csv};
    app.click(QStringLiteral("export"), w);
    ::umask(umask);
    EXPECT_EQ(testing::fileBytes(csv).count("\r\n"), 4) << "the header and three rows";
    EXPECT_EQ(QFile(csv).permissions() & 0x7777,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser |
                  QFile::ReadGroup | QFile::ReadOther);
    const QString old = testing::writeFile(dir.filePath(QStringLiteral("old.csv")), "keep\n");
    app.dialogs.fileNames = {old};
    app.click(QStringLiteral("export"), w);
    EXPECT_EQ(testing::fileBytes(old).count("\r\n"), 4);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("old-2.csv"))));
}

}  // namespace
}  // namespace kestrel
