// The simulated chip's options, checked at the line level with the bus
// primitives: what it acknowledges, what it sends, when it answers and what
// its EEPROM cells keep.
#include <gtest/gtest.h>

#include <initializer_list>

#include "bus/crc8.h"
#include "support/line_helpers.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

using testing::SimRig;
using Options = sim::KestrelModel::Options;

// START, each byte with the slave's acknowledge clock, STOP. Returns the
// transaction as the board's analyser saw it.
std::string write(SimRig& rig, std::initializer_list<int> bytes) {
    {
        auto tx = rig.bus.begin();
        testing::startAndSend(rig.bus, bytes);
        rig.bus.I2CStop();
    }
    return rig.last();
}

// Writes `bytes`, repeated START with AFh, reads `count` bytes acknowledging
// all but the last (the last too when `ackLast`), STOP.
std::vector<int> read(SimRig& rig, std::initializer_list<int> bytes, int count,
                      bool ackLast = false) {
    std::vector<int> got;
    auto tx = rig.bus.begin();
    testing::startAndSend(rig.bus, bytes);
    testing::startAndSend(rig.bus, {0xAF});
    for (int i = 0; i < count; ++i) {
        got.push_back(rig.bus.I2CReadByte());
        if (i + 1 < count || ackLast)
            rig.bus.I2CMasterAck();
        else
            rig.bus.I2CAckClock();
    }
    rig.bus.I2CStop();
    return got;
}

TEST(ChipOptions, StrictAckRefusesWhatTheChipDoesNotImplement) {
    SimRig rig;
    rig.board.applyOption("strict-ack");
    // Registers 1Eh..29h and from 2Dh up do not exist; the bytes after a
    // refused one are refused too and nothing is stored.
    for (int r : {0x1E, 0x29, 0x2D, 0x7F}) {
        char expected[40];
        std::snprintf(expected, sizeof expected, "S AE+ %02X- 00- P", r);
        EXPECT_EQ(write(rig, {0xAE, r, 0x00}), expected);
    }
    EXPECT_EQ(write(rig, {0xAE, 0x2A}), "S AE+ 2A+ P") << "latched status exists";
    EXPECT_EQ(write(rig, {0xAE, 0x1D}), "S AE+ 1D+ P");

    // A byte past a register write's end: refused, and the write is dropped.
    EXPECT_EQ(write(rig, {0xAE, 0x0E, 0x00, 0x55}), "S AE+ 0E+ 00+ 55- P");
    EXPECT_EQ(rig.board.kestrel().reg(0x0E), 0x04);
    EXPECT_EQ(write(rig, {0xAE, 0x0E, 0x00}), "S AE+ 0E+ 00+ P");
    EXPECT_EQ(rig.board.kestrel().reg(0x0E), 0x00);

    // EEPROM: only 8000h..81FFh, and nothing after the data byte.
    EXPECT_EQ(write(rig, {0xAE, 0x82, 0x00, 0x3C}), "S AE+ 82- 00- 3C- P");
    EXPECT_EQ(write(rig, {0xAE, 0xFF, 0x00}), "S AE+ FF- 00- P");
    EXPECT_EQ(write(rig, {0xAE, 0x81, 0x00, 0x3C, 0x00}), "S AE+ 81+ 00+ 3C+ 00- P");
    EXPECT_EQ(rig.board.kestrel().eeprom(0x8100), 0xFF) << "the refused write was dropped";

    // Page erase: inside the array, and only with FFh as its confirmation.
    EXPECT_EQ(write(rig, {0xAE, 0xA2, 0x82, 0x00, 0xFF}), "S AE+ A2+ 82- 00- FF- P");
    EXPECT_EQ(write(rig, {0xAE, 0xA2, 0x80, 0x00, 0x00}), "S AE+ A2+ 80+ 00+ 00- P");
    EXPECT_EQ(rig.board.kestrel().eeprom(0x8000), 0x01) << "no erase without FFh";
    // The block read command takes no argument.
    EXPECT_EQ(write(rig, {0xAE, 0xA1, 0x00}), "S AE+ A1+ 00- P");
}

// (The 30 ms from the last acknowledge: the strict-chip and sigrok tests.)
TEST(ChipOptions, OnlyAnEraseOrAZeroWriteMakesTheChipBusy) {
    SimRig rig;
    rig.board.applyOption("busy-after-zero-write");
    // A byte write of another value or a refused erase starts no cycle.
    EXPECT_EQ(write(rig, {0xAE, 0x81, 0x01, 0x3C}), "S AE+ 81+ 01+ 3C+ P");
    EXPECT_EQ(write(rig, {0xAE, 0xA2, 0x81, 0x00, 0x00}), "S AE+ A2+ 81+ 00+ 00+ P");
    EXPECT_EQ(write(rig, {0xAE, 0x1D}), "S AE+ 1D+ P");
    EXPECT_EQ(write(rig, {0xAE, 0x81, 0x01, 0x00}), "S AE+ 81+ 01+ 00+ P");
    EXPECT_EQ(write(rig, {0xAE, 0x1D}), "S AE- 1D- P") << "a zero write does";
    rig.board.kestrel().setOptions(Options{});
    EXPECT_FALSE(rig.board.kestrel().busy()) << "off: the lenient board answers at once";
}

TEST(ChipOptions, SendPastEndHoldsSdaLowThroughTheMastersStop) {
    // Register 1Dh's PEC acknowledged by the master: the chip goes on with
    // register 1Eh (00h), whose first bit holds SDA low, so there is no STOP.
    SimRig lenient;
    const std::size_t before = lenient.log().size();
    read(lenient, {0xAE, 0x1D}, 2, true);
    EXPECT_TRUE(lenient.board.wire().sda()) << "the lenient chip sends FFh: the STOP happens";
    EXPECT_EQ(lenient.log().size(), before + 1);

    SimRig rig;
    rig.board.applyOption("send-past-end");
    const auto got = read(rig, {0xAE, 0x1D}, 2, true);
    EXPECT_EQ(got[0], 0x21);
    EXPECT_EQ(got[1], smbusPec({0xAE, 0x1D, 0xAF, 0x21}));
    EXPECT_FALSE(rig.board.wire().sda()) << "SDA stays low after the master's STOP";
    EXPECT_TRUE(rig.log().empty()) << "no STOP on the wire";

    // The next START sees the line held; nine clocks with SDA released let
    // the chip finish its byte and see a not-acknowledge; then STOP works.
    {
        auto tx = rig.bus.begin();
        for (int i = 0; i < 9; ++i) {
            rig.bus.writeLines(kSclLow);
            rig.bus.writeLines(kLinesReleased);
        }
        rig.bus.I2CStop();
    }
    EXPECT_TRUE(rig.board.wire().sda());
    EXPECT_EQ(rig.device.ReadRegister(0x1D).value, 0x21);
}

TEST(ChipOptions, CountMovesPecSendsCountBytesThenThePec) {
    SimRig rig;
    rig.board.applyFault("block-count 05");
    ASSERT_EQ(write(rig, {0xAE, 0x80, 0x00}), "S AE+ 80+ 00+ P");
    // Lenient: the count byte says 5 but 32 bytes and the PEC follow.
    auto lenient = read(rig, {0xAE, 0xA1}, 34);
    EXPECT_EQ(lenient[0], 5);
    std::vector<std::uint8_t> covered = {0xAE, 0xA1, 0xAF};
    for (int i = 0; i < 33; ++i) covered.push_back(static_cast<std::uint8_t>(lenient[i]));
    EXPECT_EQ(lenient[33], smbusPec(covered));

    rig.board.applyOption("count-moves-pec");
    auto strict = read(rig, {0xAE, 0xA1}, 7);
    EXPECT_EQ(strict[0], 5);
    covered = {0xAE, 0xA1, 0xAF};
    for (int i = 0; i < 6; ++i) covered.push_back(static_cast<std::uint8_t>(strict[i]));
    EXPECT_EQ(std::vector<int>(strict.begin() + 1, strict.begin() + 6),
              std::vector<int>(lenient.begin() + 1, lenient.begin() + 6));
    EXPECT_EQ(strict[6], smbusPec(covered)) << "the PEC follows the fifth data byte";
}

// On the lenient board too (the strict one: StrictAckRefuses...).
TEST(ChipOptions, PageEraseNeedsTheFFhConfirmationAfterTheAddress) {
    SimRig rig;
    rig.board.kestrel().setEeprom(0x81E0, 0x00);
    write(rig, {0xAE, 0xA2, 0x81, 0xE0});
    write(rig, {0xAE, 0xA2, 0x81, 0xE0, 0xFE});
    EXPECT_EQ(rig.board.kestrel().eeprom(0x81E0), 0x00);
    write(rig, {0xAE, 0xA2, 0x81, 0xE0, 0xFF});
    EXPECT_EQ(rig.board.kestrel().eeprom(0x81E0), 0xFF);
}

TEST(ChipOptions, NackByteFaultRefusesThatByteAndTheRest) {
    SimRig rig;
    ASSERT_TRUE(rig.board.applyFault("nack-byte 3"));
    EXPECT_EQ(write(rig, {0xAE, 0x0E, 0x00}), "S AE+ 0E+ 00- P");
    EXPECT_EQ(rig.board.kestrel().reg(0x0E), 0x04) << "a refused byte is not stored";
    EXPECT_EQ(write(rig, {0xAE, 0x81, 0x00, 0x3C}), "S AE+ 81+ 00- 3C- P");
    // Counting runs over the repeated START: byte 3 is the read address.
    read(rig, {0xAE, 0x1D}, 2);
    EXPECT_EQ(rig.last().substr(0, 18), "S AE+ 1D+ Sr AF- <");

    SimRig first;
    ASSERT_TRUE(first.board.applyFault("nack-byte 1"));
    EXPECT_EQ(write(first, {0xAE, 0x0E}), "S AE- 0E- P");
    EXPECT_FALSE(first.board.applyFault("nack-byte 0"));
    EXPECT_FALSE(first.board.applyFault("nack-byte"));
}

TEST(ChipOptions, StrictSwitchesEveryOptionAndStateFileKeepsThem) {
    sim::SimulatedBoard board;
    board.setStrict(true);
    EXPECT_EQ(board.kestrel().options(), Options::strict());
    const Options all = Options::strict();
    EXPECT_TRUE(all.strictAck && all.sendPastEnd && all.busyTime && all.clearOnlyCells &&
                all.countMovesPec);
    sim::SimulatedBoard copy;
    std::string error;
    ASSERT_TRUE(copy.loadStateText(board.stateText(), &error)) << error;
    EXPECT_EQ(copy.kestrel().options(), Options::strict());

    sim::SimulatedBoard some;
    ASSERT_TRUE(some.loadStateText("option busy-time\noption clear-only-cells\n", &error));
    EXPECT_TRUE(some.kestrel().options().busyTime);
    EXPECT_TRUE(some.kestrel().options().clearOnlyCells);
    EXPECT_FALSE(some.kestrel().options().strictAck);
    ASSERT_TRUE(some.loadStateText("option strict\n", &error));
    EXPECT_EQ(some.kestrel().options(), Options::strict());
    EXPECT_FALSE(some.applyOption("stricter"));
}

}  // namespace
}  // namespace kestrel
