// Board snapshots: the file, comparing two boards, and applying a snapshot
// back with as few EEPROM cycles as the differences need.
#include "files/snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "files/image_file.h"
#include "files/snapshot_board.h"
#include "files/snapshot_compare.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

using snapshot::Snapshot;
using testing::SimRig;
using testing::Traffic;

constexpr std::time_t kNoon = 1796558400;  // 2026-12-06 12:00:00 UTC

Snapshot take(SimRig& rig) {
    const auto t = snapshot::takeSnapshot(rig.device, kNoon);
    EXPECT_TRUE(t.snapshot) << t.error;
    return t.snapshot.value_or(Snapshot{});
}

std::string textOf(const Snapshot& s) {
    std::string error;
    return snapshot::snapshotText(s, error).value_or("");
}

TEST(SnapshotFile,
     OneFactPerLineReadsBackAsWrittenNeverHoldsAnUnreadRegisterAndRefusesAnythingMalformed) {
    SimRig rig;
    rig.board.kestrel().setEeprom(0x81FF, 0x5A);
    const Snapshot s = take(rig);
    const std::string text = textOf(s);
    const auto lines = image_file::splitLines(text);
    ASSERT_EQ(lines.size(), snapshot::kLines);
    EXPECT_EQ(lines[0], "kestrel-eval board snapshot");
    EXPECT_EQ(lines[2], "slave AEh");
    EXPECT_EQ(lines[3], "time 2026-12-06T12:00:00Z");
    EXPECT_EQ(lines[4], "register 00h Status1 = 01h  read-only");
    EXPECT_EQ(lines[4 + 0x10],
              "register 10h Config 4 = 5Ch  soft start step: 16ms  share bus capture: 2%  "
              "DCok off delay: 0ms");
    EXPECT_EQ(lines[4 + 0x16],
              "register 16h Current Sense Config 1 = 2Dh  Resistor Divider Tolerances: 0.5%  "
              "Gain: 175x");
    EXPECT_EQ(lines[4 + 0x1D], "register 1Dh Revision Register = 21h  read-only");
    EXPECT_EQ(lines[34], "status 2Ah Latched Status1 = 01h  for information");
    EXPECT_EQ(lines[37], "8000h: 01h");
    EXPECT_EQ(lines.back(), "81FFh: 5Ah");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

    std::string error;
    const auto back = snapshot::parseSnapshot(text, "a.snap", error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(textOf(*back), text);
    EXPECT_TRUE(snapshot::compare(s, *back).identical());

    // Never written with a register that was not read.
    Snapshot unread = s;
    unread.registers[0x0E].ok = false;
    EXPECT_FALSE(snapshot::snapshotText(unread, error));
    EXPECT_NE(error.find("register 0Eh"), std::string::npos);
    EXPECT_FALSE(snapshot::saveSnapshot(::testing::TempDir() + "never.snap", unread, error));

    // Anything malformed is refused, naming its line.
    struct Case {
        std::string from, to;  // the first `from` replaced by `to`
        std::string expected;  // in the error
    };
    const std::vector<Case> cases = {
        {"board snapshot", "board snapshop", "a.snap line 1: "},
        {"slave AEh", "slave AFh", "line 3: "},
        {"2026-12-06T", "2026-02-30T", "line 4: "},
        {"Config 1 = 00h", "Config 1 = 0h", "line 18: the value after"},
        {"= 2Dh  Resistor Divider Tolerances: 0.5%", "= 2Eh  Resistor Divider Tolerances: 0.5%",
         "line 27: '  Resistor"},
        {"register 05h", "register 06h", "line 10: "},
        {"for information\r\n", "\r\n", "line 35: "},
        {"8025h: ", "8026h: ", "line 75: '8026h: FFh' should hold address 8025h"},
        {"8025h: FFh\r\n", "\r\n", "line 75: empty"},
        {"81FFh: 5Ah\r\n", "", "line 549: missing"},
        {"81FFh: 5Ah\r\n", "81FFh: 5Ah\r\nextra\r\n", "line 550: more than 549 lines"},
    };
    for (const Case& c : cases) {
        std::string bad = text;
        const auto at = bad.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        bad.replace(at, c.from.size(), c.to);
        EXPECT_FALSE(snapshot::parseSnapshot(bad, "a.snap", error)) << c.to;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
    EXPECT_FALSE(snapshot::parseSnapshot("", "", error));
    EXPECT_EQ(error.rfind("line 1: missing", 0), 0u) << error;
}

// Two trims and two EEPROM bytes at page edges changed: exactly those four
// differences, named; applying the first snapshot writes those two registers
// and those two pages, and everything reads back equal.
TEST(SnapshotBoard, CompareNamesTheDifferencesAndApplyWritesOnlyThem) {
    SimRig rig;
    auto& chip = rig.board.kestrel();
    const Snapshot a = take(rig);
    ASSERT_TRUE(rig.device.WriteRegister(0x16, 0x2E).ok());  // gain 175x -> 230x
    ASSERT_TRUE(rig.device.WriteRegister(0x14, 0x81).ok());
    chip.setEeprom(0x811F, 0x34);  // the last byte of its page
    chip.setEeprom(0x8140, 0x56);  // the first
    chip.setLiveStatus(1, 0x80);   // status differs too, for information only
    const Snapshot b = take(rig);

    const auto c = snapshot::compare(a, b);
    EXPECT_FALSE(c.identical());
    EXPECT_EQ(snapshot::reportLines(c),
              (std::vector<std::string>{
                  "register 14h Current Sense Divider Error Trim: 80h on A, 81h on B",
                  "register 16h Current Sense Config 1: 2Dh on A, 2Eh on B  Gain: 175x on A, "
                  "230x on B",
                  "EEPROM 811Fh: FFh on A, 34h on B",
                  "EEPROM 8140h: FFh on A, 56h on B",
                  "identical: 23 of 25 writable registers, 510 of 512 EEPROM bytes",
                  "for information: register 01h Status2: 00h on A, 80h on B",
                  "for information: status 2Bh Latched Status2: 00h on A, 80h on B",
              }));

    rig.board.log().clear();
    const auto r = snapshot::applySnapshot(rig.device, a, {});
    EXPECT_TRUE(r.ok()) << (r.failures.empty() ? "" : r.failures[0]);
    EXPECT_TRUE(r.verified);
    EXPECT_EQ(r.registersWritten, (std::vector<int>{0x14, 0x16}));
    EXPECT_EQ(r.pagesWritten, (std::vector<unsigned>{0x8100, 0x8140}));
    const Traffic t = trafficOf(rig);
    EXPECT_EQ(t.registerWrites, 2);
    EXPECT_EQ(t.erases, 2);
    EXPECT_EQ(t.eepromByteWrites, 64);
    EXPECT_EQ(chip.reg(0x16), 0x2D);
    EXPECT_EQ(chip.eeprom(0x811F), 0xFF);
    EXPECT_EQ(chip.eeprom(0x8140), 0xFF);
    EXPECT_TRUE(snapshot::compare(a, take(rig)).identical());

    // Once equal, applying again writes nothing.
    rig.board.log().clear();
    const auto again = snapshot::applySnapshot(rig.device, a, {});
    EXPECT_TRUE(again.ok() && again.verified);
    EXPECT_EQ(trafficOf(rig).registerWrites + trafficOf(rig).erases, 0);

    // Given the board as just read, the apply writes first: the board is not
    // read a second time before the writes.
    ASSERT_TRUE(rig.device.WriteRegister(0x14, 0x81).ok());
    const Snapshot now = take(rig);
    rig.board.log().clear();
    snapshot::ApplyOptions given;
    given.present = &now;
    given.verify = false;
    const auto quick = snapshot::applySnapshot(rig.device, a, given);
    EXPECT_TRUE(quick.ok());
    EXPECT_EQ(rig.board.log().describeAll(), std::vector<std::string>{"S AE+ 14+ 80+ P"});
}

TEST(SnapshotBoard,
     BitsTheChipDoesNotStoreAreNoDifferenceOnlyWhatIsAskedIsWrittenAndFailuresAreReported) {
    SimRig rig;
    Snapshot file = take(rig);
    file.registers[0x16].value = 0xED;  // bits 7, 6 set: 16h keeps only bits 5..0
    const auto c = snapshot::compare(file, take(rig));
    EXPECT_TRUE(c.identical());
    EXPECT_EQ(snapshot::reportLines(c).back(),
              "for information: register 16h Current Sense Config 1: EDh on A, 2Dh on B (only in "
              "bits the chip does not store)");
    rig.board.log().clear();
    const auto r = snapshot::applySnapshot(rig.device, file, {});
    EXPECT_TRUE(r.ok() && r.verified);
    EXPECT_TRUE(r.registersWritten.empty());

    // Only what was asked for is written: EEPROM only leaves the registers alone.
    const Snapshot a = take(rig);
    ASSERT_TRUE(rig.device.WriteRegister(0x14, 0x81).ok());
    rig.board.kestrel().setEeprom(0x8105, 0x34);
    const auto eepromOnly = snapshot::applySnapshot(rig.device, a, {false, true, true});
    EXPECT_TRUE(eepromOnly.ok() && eepromOnly.verified);
    EXPECT_TRUE(eepromOnly.registersWritten.empty());
    EXPECT_EQ(eepromOnly.pagesWritten, (std::vector<unsigned>{0x8100}));
    EXPECT_EQ(rig.board.kestrel().reg(0x14), 0x81);

    // Failures are reported, never done.
    ASSERT_TRUE(rig.device.WriteRegister(0x14, 0x80).ok());
    auto& chip = rig.board.kestrel();
    chip.setEeprom(0x8105, 0x34);

    // The chip refuses the erase's fifth byte (the FFh that confirms it): the
    // page is not written over, and the read-back shows the byte unchanged.
    chip.setNackByte(5);
    rig.board.log().clear();
    auto failed = snapshot::applySnapshot(rig.device, a, {});
    EXPECT_FALSE(failed.ok());
    EXPECT_FALSE(failed.verified);
    EXPECT_EQ(trafficOf(rig).eepromByteWrites, 0);
    EXPECT_TRUE(failed.pagesWritten.empty()) << "a page that failed is not listed as written";
    EXPECT_EQ(
        failed.failures,
        (std::vector<std::string>{"page erase at 8100h failed: byte FFh not acknowledged; the page "
                                  "was not written",
                                  "EEPROM byte 8105h reads back 34h, the snapshot holds FFh"}));

    // No chip at all: nothing is written, and it says so.
    chip.setNackByte(0);
    chip.setPresent(false);
    rig.board.log().clear();
    failed = snapshot::applySnapshot(rig.device, a, {});
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(failed.failures.back(), "the board was not read cleanly, so nothing was written");
    EXPECT_EQ(rig.log().size(), 1u);
}

}  // namespace
}  // namespace kestrel
