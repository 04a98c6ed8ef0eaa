#include "production/station.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "files/snapshot_board.h"
#include "production/records.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using production::Verdict;
using testing::SimRig;
using testing::Traffic;

constexpr unsigned kSerialAt = 0x81E0;

// A cell that keeps its value whatever is written: set again after every
// transaction.
struct StuckCell final : TransactionObserver {
    sim::KestrelModel* chip = nullptr;
    void transactionEnded(const TransactionRecord&) override { chip->setEeprom(0x8105, 0x77); }
};

// The database the tests use: a file of their own, or the throwaway
// PostgreSQL server of with_postgres.sh.
std::string testDatabase(const fs::path& dir) {
    const char* pg = std::getenv("KESTREL_TEST_DATABASE");
    return pg != nullptr && pg[0] != '\0' ? std::string(pg) : (dir / "records.sqlite").string();
}

class Station : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::path(::testing::TempDir()) /
              (std::string("production-") + info->name() + "-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::string error;
        records = production::Records::open(testDatabase(dir), error);
        ASSERT_TRUE(records) << error;
        ASSERT_EQ(records->postgres(), testDatabase(dir).rfind("postgresql:", 0) == 0);
        // Every test its own serials: a shared server keeps the rows of the others.
        prefix = std::string(info->name()).substr(0, 12) + "-" +
                 std::to_string(std::rand() % 100000) + "-";
        const auto taken = snapshot::takeSnapshot(rig.device, 1'800'000'000);
        ASSERT_TRUE(taken.snapshot) << taken.error;
        golden = {*taken.snapshot, "golden.snap", std::string(64, 'a')};
        settings.station = "line-1";
        settings.operatorName = "tester";
        settings.backupFolder = (dir / "backups").string();
    }
    production::BoardResult program(const std::string& serial) {
        rig.board.log().clear();
        return production::programBoard(rig.device, golden, prefix + serial, settings, *records);
    }
    std::vector<production::Attempt> rowsOf(const std::string& serial) {
        std::string error;
        auto all = records->attempts("", error);
        EXPECT_TRUE(all) << error;
        std::vector<production::Attempt> rows;
        for (const auto& a : all.value_or(std::vector<production::Attempt>{}))
            if (a.serial == prefix + serial) rows.push_back(a);
        return rows;
    }

    SimRig rig;
    fs::path dir;
    std::string prefix;
    std::unique_ptr<production::Records> records;
    production::Golden golden;
    production::StationSettings settings;
};

// Only what differs is written: nothing at all on a board equal to golden.
TEST_F(Station, WritesOnlyWhatDiffers) {
    auto r = program("equal");
    EXPECT_EQ(r.verdict, Verdict::Pass) << r.cause;
    Traffic t = trafficOf(rig);
    EXPECT_EQ(t.registerWrites + t.erases + t.eepromByteWrites, 0);
    EXPECT_TRUE(fs::exists(r.backupPath)) << r.backupPath;

    sim::KestrelModel& chip = rig.board.kestrel();
    chip.setReg(0x16, static_cast<std::uint8_t>(chip.reg(0x16) ^ 0x01));
    chip.setEeprom(0x8105, 0x34);
    r = program("trim-and-byte");
    EXPECT_EQ(r.verdict, Verdict::Pass) << r.cause;
    EXPECT_EQ(r.registersWritten, std::vector<int>{0x16});
    EXPECT_EQ(r.pagesWritten, std::vector<unsigned>{0x8100});
    t = trafficOf(rig);
    EXPECT_EQ(t.registerWrites, 1);
    EXPECT_EQ(t.erases, 1);
    EXPECT_EQ(t.eepromByteWrites, 32);
    EXPECT_TRUE(fs::exists(r.backupPath)) << r.backupPath;
    for (const char* name : {"equal", "trim-and-byte"}) {
        const auto rows = rowsOf(name);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].goldenSha256, std::string(64, 'a'));
    }
    EXPECT_EQ(rowsOf("equal")[0].registersWritten + rowsOf("equal")[0].pagesWritten, "");
    EXPECT_EQ(rowsOf("trim-and-byte")[0].registersWritten, "16h");
    EXPECT_EQ(rowsOf("trim-and-byte")[0].pagesWritten, "8100h");
}

// Each failure is a FAIL with its cause named, and leaves exactly one row.
TEST_F(Station, EachFailureIsNamedAndRecordedOnce) {
    StuckCell stuck;
    struct Case {
        const char* name;
        std::function<void(SimRig&)> arrange;
        Verdict verdict;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {"verify",
         [&stuck](SimRig& r) {
             stuck.chip = &r.board.kestrel();
             r.bus.addObserver(&stuck);
         },
         Verdict::Fail, "EEPROM byte 8105h reads back 77h, the snapshot holds FFh"},
        {"other-serial",
         [](SimRig& r) {
             const char* old = "OLD-1";
             for (unsigned k = 0; k < 6; ++k)
                 r.board.kestrel().setEeprom(static_cast<int>(kSerialAt + k),
                                             static_cast<std::uint8_t>(old[k]));
         },
         Verdict::Fail, "the board carries serial OLD-1, scanned "},
    };
    settings.serialAt = kSerialAt;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig fresh;  // each case on a board of its own
        c.arrange(fresh);
        const auto r =
            production::programBoard(fresh.device, golden, prefix + c.name, settings, *records);
        fresh.bus.removeObserver(&stuck);
        EXPECT_EQ(r.verdict, c.verdict);
        EXPECT_NE(r.cause.find(c.cause), std::string::npos) << r.cause;
        const auto rows = rowsOf(c.name);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].result, "FAIL");
        EXPECT_EQ(rows[0].firstFailure, r.cause);
    }
    // What the serial's place holds: erased, zero-filled or other data is no
    // serial, and is written over.
    struct Area {
        const char* name;
        std::vector<std::uint8_t> bytes;  // from kSerialAt on
        const char* note;                 // nullptr: none
    };
    const std::vector<Area> areas = {
        {"erased", {0xFF, 0xFF}, nullptr},
        {"zeroed", std::vector<std::uint8_t>(32, 0x00), nullptr},
        {"data", {'K', '!', 0x03, 0x9A, 0x00}, "held no readable serial (4Bh 21h 03h 9Ah 00h"},
        {"unprintable", {0x07, 'A', 0x00}, "held no readable serial (07h"},
    };
    for (const Area& area : areas) {
        SCOPED_TRACE(area.name);
        SimRig fresh;
        for (std::size_t k = 0; k < area.bytes.size(); ++k)
            fresh.board.kestrel().setEeprom(static_cast<int>(kSerialAt + k), area.bytes[k]);
        const auto r =
            production::programBoard(fresh.device, golden, prefix + area.name, settings, *records);
        EXPECT_EQ(r.verdict, Verdict::Pass) << r.cause;
        EXPECT_EQ(fresh.board.kestrel().eeprom(kSerialAt), static_cast<std::uint8_t>(prefix[0]));
        ASSERT_EQ(r.notes.size(), area.note ? 1u : 0u);
        if (area.note) {
            EXPECT_NE(r.notes[0].find(area.note), std::string::npos) << r.notes[0];
        }
    }

    // The revision may be allowed to differ.
    settings.allowRevision = true;
    SimRig other;
    other.board.kestrel().setReg(0x1D, 0x99);
    EXPECT_EQ(production::programBoard(other.device, golden, prefix + "allowed", settings, *records)
                  .verdict,
              Verdict::Pass);
}

// The record comes first: a database that cannot take the board's row leaves
// the board as it was; one that fails after the writes leaves the row
// unfinished, naming the board. (SQLite, whose triggers play the full disk.)
TEST(RecordFirst, NoBoardIsChangedWithoutItsRow) {
    struct Case {
        const char* name;
        const char* trigger;  // fails every statement of its kind
        bool boardWritten;
        const char* cause;
        const char* stored;  // the board's row afterwards: "", "UNFINISHED"
    };
    const Case cases[] = {
        {"insert", "BEFORE INSERT ON attempts", false,
         "the record could not be stored, so nothing was written: database or disk is full", ""},
        {"counts", "BEFORE INSERT ON page_erases", false,
         "the record could not be stored, so nothing was written", "FAIL"},
        {"update", "BEFORE UPDATE ON attempts", true,
         "the board was written, but its record stays unfinished: database or disk is full",
         "UNFINISHED"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir =
            fs::path(::testing::TempDir()) /
            ("production-first-" + std::string(c.name) + std::to_string(::getpid()));
        fs::remove_all(dir);
        const std::string file = (dir / "r.sqlite").string();
        std::string error;
        auto records = production::Records::open(file, error);
        ASSERT_TRUE(records) << error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "full");
            db.setDatabaseName(QString::fromStdString(file));
            ASSERT_TRUE(db.open());
            QSqlQuery(db).exec(QString("CREATE TRIGGER full %1 BEGIN SELECT RAISE(ABORT, "
                                       "'database or disk is full'); END")
                                   .arg(c.trigger));
            db.close();
        }
        QSqlDatabase::removeDatabase("full");
        SimRig rig;
        const auto taken = snapshot::takeSnapshot(rig.device, 0);
        ASSERT_TRUE(taken.snapshot);
        production::Golden golden{*taken.snapshot, "golden.snap", std::string(64, 'b')};
        rig.board.kestrel().setReg(0x16, 0x01);
        rig.board.kestrel().setEeprom(0x8105, 0x34);
        rig.board.log().clear();
        production::StationSettings settings;
        settings.backupFolder = (dir / "backups").string();
        const auto r = production::programBoard(rig.device, golden, "FULL-1", settings, *records);
        EXPECT_EQ(r.verdict, Verdict::Error);
        EXPECT_NE(r.cause.find(c.cause), std::string::npos) << r.cause;
        const Traffic t = trafficOf(rig);
        EXPECT_EQ(t.registerWrites + t.erases + t.eepromByteWrites > 0, c.boardWritten);
        EXPECT_EQ(rig.board.kestrel().eeprom(0x8105), c.boardWritten ? 0xFF : 0x34);
        const auto rows = records->attempts("", error);
        ASSERT_TRUE(rows) << error;
        ASSERT_EQ(rows->size(), std::string(c.stored).empty() ? 0u : 1u);
        if (!rows->empty()) {
            EXPECT_EQ(rows->front().serial, "FULL-1");
            EXPECT_EQ(rows->front().shownResult(), c.stored);
            EXPECT_NE(rows->front().firstFailure.find(c.boardWritten ? "pages 8100h" : "nothing"),
                      std::string::npos)
                << rows->front().firstFailure;
        }
        records.reset();
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace kestrel
