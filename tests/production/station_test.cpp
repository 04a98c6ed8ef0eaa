#include "production/station.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
    // The revision may be allowed to differ.
    settings.allowRevision = true;
    SimRig other;
    other.board.kestrel().setReg(0x1D, 0x99);
    EXPECT_EQ(production::programBoard(other.device, golden, prefix + "allowed", settings, *records)
                  .verdict,
              Verdict::Pass);
}

}  // namespace
}  // namespace kestrel
