#include "production/records.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <filesystem>
#include <fstream>

#include "production/report.h"
#include "production/serial.h"
#include "support/python_csv.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using production::Attempt;

TEST(Serial, CountsOnItsTrailingDigitsKeepingTheirWidth) {
    struct Case {
        const char* serial;
        unsigned step;
        const char* next;  // nullptr: none
    };
    const Case cases[] = {{"KB-0099", 1, "KB-0100"},
                          {"KB-99", 1, "KB-100"},
                          {"7", 5, "12"},
                          {"A1B009", 10, "A1B019"},
                          {"KB-", 1, nullptr},
                          {"99999999999999999999", 1, "100000000000000000000"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        const auto next = production::nextSerial(c.serial, c.step);
        EXPECT_EQ(next.has_value(), c.next != nullptr);
        if (next && c.next) {
            EXPECT_EQ(*next, c.next);
        }
    }
    for (const char* bad : {"", "has space", "tab\t", "\xc3\xa9"})
        EXPECT_FALSE(production::serialProblem(bad).empty()) << bad;
    EXPECT_FALSE(production::serialPlaceProblem("ABC", 0x81FD).empty())
        << "3 bytes and 00h run past 81FFh";
    EXPECT_TRUE(production::serialPlaceProblem("ABC", 0x81FC).empty());
    EXPECT_EQ(production::fileNameOf("../a b/c"), "_.._a_b_c");
}

TEST(Report, CountsYieldAndCausesAndQuotesCsv) {
    auto row = [](const char* serial, const char* result, const char* cause) {
        Attempt a;
        a.serial = serial;
        a.started = "2026-12-07T03:00:00.000Z";
        a.result = result;
        a.firstFailure = cause;
        return a;
    };
    const std::vector<Attempt> rows = {row("S1", "FAIL", "PEC mismatch, register 00h"),
                                       row("S1", "PASS", ""), row("S2", "FAIL", "no acknowledge"),
                                       row("S3", "FAIL", "PEC mismatch, register 00h")};
    const auto s = production::summarize(rows);
    ASSERT_EQ(s.causes.size(), 2u);
    EXPECT_EQ(s.causes[0], (std::pair<std::string, int>{"PEC mismatch, register 00h", 2}));
    const std::string text = production::reportText(rows);
    EXPECT_NE(text.find("attempts 4, passed 1, failed 3, pass rate 25.0%"), std::string::npos)
        << text;
    EXPECT_NE(text.find("boards 3, passing now 1, yield 33.3%"), std::string::npos) << text;
    // The CSV as Python's csv module reads it: quotes, commas and line ends
    // stay inside their fields.
    const std::string path = (fs::temp_directory_path() / "kestrel_report.csv").string();
    std::ofstream(path, std::ios::binary)
        << production::reportCsv({row("S\"1", "FAIL", "a, b\r\nc")});
    const auto csv = testing::pythonCsvRows(path);
    fs::remove(path);
    ASSERT_EQ(csv.size(), 2u);
    EXPECT_EQ(csv[0].size(), 11u);
    EXPECT_EQ(csv[1], (std::vector<std::string>{"S\"1", "2026-12-07T03:00:00.000Z", "0", "", "", "",
                                                "", "FAIL", "", "", "a, b\r\nc"}));
}

TEST(Records, KeepsRowsAcrossOpeningsAndRefusesAnotherSchemaVersion) {
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("production-records-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const std::string file = (dir / "deep" / "r.sqlite").string();
    std::string error;
    {
        auto records = production::Records::open(file, error);
        ASSERT_TRUE(records) << error;
        Attempt a;
        a.serial = "S1";
        a.started = "2026-12-07T03:00:00.000Z";
        a.result = "PASS";
        ASSERT_TRUE(records->record(a, {}, error)) << error;
        a.result = "MAYBE";
        EXPECT_FALSE(records->record(a, {}, error)) << "a result other than PASS or FAIL";
    }
    {
        auto records = production::Records::open("sqlite:" + file, error);
        ASSERT_TRUE(records) << error;
        auto rows = records->attempts("2026-12-07", error);
        ASSERT_TRUE(rows);
        ASSERT_EQ(rows->size(), 1u);
        EXPECT_EQ(rows->front().serial, "S1");
        EXPECT_TRUE(records->attempts("2026-12-08", error)->empty());
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "poke");
        db.setDatabaseName(QString::fromStdString(file));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("UPDATE kestrel_schema SET version = 2");
        db.close();
    }
    QSqlDatabase::removeDatabase("poke");
    EXPECT_FALSE(production::Records::open(file, error));
    EXPECT_NE(error.find("schema version 2, this program knows version 1"), std::string::npos)
        << error;
    EXPECT_EQ(production::defaultDatabase("/x", "/home/u"), "/x/kestrel-eval/production.sqlite");
    EXPECT_EQ(production::defaultDatabase("rel", "/home/u"),
              "/home/u/.local/share/kestrel-eval/production.sqlite");
    EXPECT_EQ(production::defaultDatabase(nullptr, nullptr), "");
}

}  // namespace
}  // namespace kestrel
