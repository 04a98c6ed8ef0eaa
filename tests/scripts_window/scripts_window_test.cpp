#include "scripts_window/scripts_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "scripts_window/code_editor.h"
#include "support/app_rig.h"
#include "support/python_csv.h"

namespace kestrel {
namespace {

struct ScriptsWindowTest : ::testing::Test {
    testing::AppRig app;
    ScriptsWindow* w = nullptr;

    void SetUp() override {
        w = app.open<ScriptsWindow>("mnuScripts", "frm_Scripts");
        ASSERT_NE(w, nullptr);
    }
    // Runs (or dry-runs) the script and lets the event loop work until it ends.
    void go(const QString& script, const char* button) {
        w->editor().setPlainText(script);
        // Clicked without waiting for the run: the event loop runs meanwhile.
        QTest::mouseClick(app.find<QPushButton>(QLatin1String(button), w), Qt::LeftButton);
        QElapsedTimer t;
        t.start();
        while (w->running() && t.elapsed() < 10000) QTest::qWait(5);
        ASSERT_FALSE(w->running());
    }
    QStringList column(int c) {
        QStringList v;
        for (int r = 0; r < w->steps().rowCount(); ++r) v << w->steps().item(r, c)->text();
        return v;
    }
};

// Run: a row per step with its verdict, the progress bar full, the board changed.
TEST_F(ScriptsWindowTest, RunsDryRunsScriptErrorsBackupsStopAndCloseDuringARun) {
    go(QStringLiteral("on-error continue\nwrite 10 5A\nexpect 10 5A\nexpect 1D 20\n"), "run");
    EXPECT_EQ(column(2), QStringList({"PASS", "PASS", "FAIL"}));
    EXPECT_EQ(column(0), QStringList({"2", "3", "4"}));
    EXPECT_TRUE(column(5)[2].contains("differing bit 0")) << column(5)[2].toStdString();
    EXPECT_EQ(w->progress().value(), w->progress().maximum());
    EXPECT_EQ(app.board().kestrel().reg(0x10), 0x5A);
    EXPECT_TRUE(w->status().contains("2 passed, 1 failed")) << w->status().toStdString();

    // A script error is shown with its line and column, and nothing is sent.
    const auto before = app.board().kestrel().transactions();
    go(QStringLiteral("write 10 5A\nrepeat 2\n"), "run");
    EXPECT_TRUE(w->status().contains("untitled:2:1: 'repeat': no 'end'"))
        << w->status().toStdString();
    EXPECT_EQ(app.board().kestrel().transactions(), before);
    EXPECT_EQ(w->steps().rowCount(), 0);

    // Dry Run: the transactions listed, and the board only read.
    app.board().kestrel().setReg(0x10, 0x11);
    go(QStringLiteral("write 10 77\nexpect 10 77\n"), "dryRun");
    EXPECT_EQ(column(2), QStringList({"PASS", "PASS"}));
    EXPECT_TRUE(w->transactions().toPlainText().startsWith("Write Byte  AEh  10h  AE+ 10+ 77+  ok"))
        << w->transactions().toPlainText().toStdString();
    EXPECT_EQ(app.board().kestrel().reg(0x10), 0x11);
    EXPECT_TRUE(w->status().contains("nothing was written")) << w->status().toStdString();

    // EEPROM changes (erased before written, as the chip needs): one backup in
    // the program's folder, before the first.
    go(QStringLiteral("eeprom erase 8000\neeprom write-byte 8003 44\nexpect-eeprom 8003 44\n"),
       "run");
    EXPECT_EQ(column(2), QStringList({"PASS", "PASS", "PASS"}));
    EXPECT_EQ(QDir(app.backups.path()).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(w->status().contains("EEPROM saved to")) << w->status().toStdString();

    // Stop ends a long run between steps; the status says where.
    QTimer::singleShot(100, w, [this] { app.click(QStringLiteral("stop"), w); });
    go(QStringLiteral("repeat 200000\nread 0E\nend\n"), "run");
    EXPECT_TRUE(w->status().contains(", stopped\nuntitled:")) << w->status().toStdString();
    EXPECT_TRUE(w->findChild<QWidget*>(QStringLiteral("run"))->isEnabled());

    // Closing the window during a run stops the run first; then it closes.
    QPointer<ScriptsWindow> window = w;
    w->show();
    w->editor().setPlainText(QStringLiteral("repeat 200000\nread 0E\nend\n"));
    QTest::mouseClick(app.find<QPushButton>(QStringLiteral("run"), w), Qt::LeftButton);
    QTest::qWait(50);
    w->close();
    ASSERT_FALSE(window.isNull()) << "not destroyed inside its own run";
    QElapsedTimer t;
    t.start();
    while (!window.isNull() && window->isVisible() && t.elapsed() < 5000) QTest::qWait(5);
    ASSERT_TRUE(window.isNull() || !window->isVisible());
    if (!window.isNull()) {
        EXPECT_FALSE(window->running());
        EXPECT_TRUE(w->status().contains(", stopped")) << w->status().toStdString();
    }
}

// Counts of the one testsuite of a JUnit file, as Debian's junitparser reads it.
std::string junitCounts(const QString& path) {
    const std::string command =
        "/usr/bin/python3 -c 'import sys\nfrom junitparser import JUnitXml\n"
        "s = list(JUnitXml.fromfile(sys.argv[1]))[0]\nprint(s.tests, s.failures, s.errors)' '" +
        path.toStdString() + "' 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
    ::pclose(p);
    return text;
}

// What a step prints shows in its row and in the output pane; the last run's
// reports are saved (the JUnit one as a real reader reads it); text that is
// not the opened file runs as "untitled"; comments only are done at once.
TEST_F(ScriptsWindowTest, OutputReportsUntitledTextAndEmptyScripts) {
    app.board().kestrel().setReg(0x10, 0x3C);
    const QString script = QStringLiteral(
        "read 10\nlog trim 10\nexpect 10 3C\npoll 10 00 mask FF timeout 5 every 1\n");
    go(script, "run");
    ASSERT_EQ(column(4).size(), 4);
    EXPECT_EQ(column(4)[0], "3C");
    EXPECT_EQ(column(4)[1], "trim 10h=3Ch");
    EXPECT_EQ(w->output().toPlainText(), "3C\ntrim 10h=3Ch");
    // The step column shows the longest line whole.
    EXPECT_GE(w->steps().columnWidth(1),
              w->steps().fontMetrics().horizontalAdvance("poll 10 00 mask FF timeout 5 every 1"));

    QTemporaryDir dir;
    const QString junit = dir.filePath("report.xml"), csv = dir.filePath("log.csv");
    app.dialogs.fileNames = {junit};
    app.click(QStringLiteral("saveJunit"), w);
    EXPECT_EQ(junitCounts(junit), "2 1 0\n") << "the two checks, the poll failed";
    app.dialogs.fileNames = {csv};
    app.click(QStringLiteral("saveCsv"), w);
    const auto rows = testing::pythonCsvRows(csv.toStdString());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(rows[1].begin() + 1, rows[1].end()),
              (std::vector<std::string>{"trim", "10h", "3Ch"}));

    // A file opened, then other text typed: that text is "untitled".
    testing::writeFile(dir.filePath("opened.kes"), "read 10\n");
    app.dialogs.fileNames = {dir.filePath("opened.kes")};
    app.click(QStringLiteral("open"), w);
    go(w->editor().toPlainText(), "run");
    EXPECT_TRUE(w->status().startsWith(dir.filePath("opened.kes") + ": 1 step: 1 passed"))
        << w->status().toStdString();
    w->editor().setPlainText(QStringLiteral("frobnicate\n"));
    go(w->editor().toPlainText(), "run");
    EXPECT_TRUE(w->status().startsWith("untitled:1:1: 'frobnicate'")) << w->status().toStdString();

    go(QStringLiteral("# comments only\n"), "run");
    EXPECT_GT(w->progress().maximum(), 0) << "not a busy indicator";
    EXPECT_EQ(w->progress().value(), w->progress().maximum());
}

}  // namespace
}  // namespace kestrel
