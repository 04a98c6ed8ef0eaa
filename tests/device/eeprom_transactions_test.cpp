#include <gtest/gtest.h>

#include "bus/crc8.h"
#include "device/block_read.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

using testing::SimRig;

TEST(EepromTransactions, WrittenByteReadsBackWithIndependentlyComputedPec) {
    SimRig rig;
    EXPECT_TRUE(rig.device.EEPROMWriteByte(0x8020, 0x1A5).ok());
    EXPECT_EQ(rig.last(), "S AE+ 80+ 20+ A5+ P");
    EXPECT_EQ(rig.display.pecEE, "");

    const ByteOutcome v = rig.device.EEPROMReadByte(0x8020);
    EXPECT_EQ(v.problem(), "");
    EXPECT_EQ(v.value, 0xA5);
    const std::uint8_t pec = smbusPec({0xAE, 0x80, 0x20, 0xAF, 0xA5});
    EXPECT_EQ(rig.last(), "S AE+ 80+ 20+ Sr AF+ <A5+ <" + text::byteText(pec) + "- P");
    EXPECT_EQ(rig.display.eeByteData, "A5");
    EXPECT_EQ(rig.display.pecEE, text::hexText(pec));
}

TEST(EepromTransactions, PageEraseHoldsTheBus30msBeforeStop) {
    SimRig rig;
    auto& chip = rig.board.kestrel();
    for (int a = 0x81C0; a < 0x8200; ++a) chip.setEeprom(a, 0x00);
    std::string logDuringWait = "unset";
    rig.clock.onEvents = [&] {
        // The chip has not seen the STOP yet.
        logDuringWait = std::to_string(rig.board.log().transactions().size());
        EXPECT_EQ(chip.eeprom(0x81E0), 0x00);
        EXPECT_FALSE(rig.board.wire().scl()) << "SCL held low during the wait";
    };
    const std::uint32_t start = rig.clock.now;
    EXPECT_TRUE(rig.device.EEPROMPageErase(0x81E0).ok());
    EXPECT_GE(rig.clock.now - start, 30u);
    EXPECT_EQ(logDuringWait, "0");
    EXPECT_EQ(rig.last(), "S AE+ A2+ 81+ E0+ FF+ P");
    EXPECT_EQ(rig.g.EEAddrHigh, 0x81);
    EXPECT_EQ(rig.g.EEAddrLow, 0xE0);
    for (int a = 0x81E0; a < 0x8200; ++a) EXPECT_EQ(chip.eeprom(a), 0xFF);
    EXPECT_EQ(chip.eeprom(0x81DF), 0x00) << "the page before is untouched";
}

TEST(EepromTransactions, ZeroWriteAndOutOfRangeAddresses) {
    SimRig rig;
    auto& chip = rig.board.kestrel();
    EXPECT_TRUE(rig.device.EEPROMWriteZero(0x801F).ok());
    EXPECT_EQ(rig.last(), "S AE+ 80+ 1F+ 00+ P");
    EXPECT_EQ(chip.eeprom(0x801F), 0x00);
    EXPECT_EQ(chip.eeprom(0x8020), 0xFF);
    EXPECT_GE(rig.clock.now, 30u);

    // Below 8000h the chip would take the first address byte as a register
    // (0E00h would switch PS ON off; 0800h once became 8000h through a text
    // split by position): every EEPROM operation refuses such an address,
    // whoever calls it, and sends nothing.
    const std::size_t before = rig.board.log().transactions().size();
    for (unsigned address : {0x0E00u, 0x0800u, 0x7FE0u, 0x7FFFu}) {
        SCOPED_TRACE(address);
        EXPECT_TRUE(rig.device.EEPROMPageErase(address).refused());
        EXPECT_TRUE(rig.device.EEPROMWriteZero(address).refused());
        EXPECT_TRUE(rig.device.EEPROMWriteByte(address, 0x00).refused());
        EXPECT_TRUE(rig.device.EEPROMReadByte(address).refused());
        EXPECT_TRUE(blockRead(rig.device, address).outcome.refused());
        EXPECT_TRUE(eeprom::zeroFill(rig.device, address).refused());
        EXPECT_TRUE(eeprom::erasePages(rig.device, address, 32).refused());
    }
    // A range that only ends below 8000h (wrapping past FFFFh) is refused whole.
    EXPECT_TRUE(eeprom::writeBlock(rig.device, 0xFFF0, std::vector<int>(32, 0)).refused());
    EXPECT_EQ(rig.device.EEPROMPageErase(0x0E00).refusal,
              "EEPROM address 0E00h is below 8000h: the chip would take it as a register "
              "write. Nothing was sent.");
    EXPECT_EQ(rig.board.log().transactions().size(), before) << "nothing on the bus";
    // From 8200h up the address reaches the EEPROM side of the chip.
    EXPECT_TRUE(rig.device.EEPROMWriteByte(0x8200, 0x12).ok());
    EXPECT_EQ(rig.device.EEPROMReadByte(0x8200).value, 0xFF);
}

TEST(EepromTransactions, BlockReadFromThePointerWithCountAndPec) {
    SimRig rig;
    auto& chip = rig.board.kestrel();
    std::vector<std::uint8_t> onWire = {0xAE, 0xA1, 0xAF, 0x20};
    for (int i = 0; i < 32; ++i) {
        chip.setEeprom(0x8100 + i, static_cast<std::uint8_t>(i * 7));
        onWire.push_back(static_cast<std::uint8_t>(i * 7));
    }
    const BlockReadResult read = blockRead(rig.device, 0x8100);
    const BlockReadResult* r = &read;
    ASSERT_TRUE(r->outcome.ok());
    EXPECT_EQ(r->count, 0x20);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(r->data[static_cast<std::size_t>(i)], i * 7);
    EXPECT_EQ(r->pec, smbusPec(onWire));
    EXPECT_TRUE(r->outcome.pecOk());
    const auto log = rig.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "S AE+ 81+ 00+ P");
    EXPECT_EQ(log[1].substr(0, 21), "S AE+ A1+ Sr AF+ <20+");
    EXPECT_FALSE(rig.board.accessOpen());

    // A chip with a corrupted PEC still answers; the check notices.
    chip.setCorruptPec(true);
    EXPECT_FALSE(blockRead(rig.device, 0x8100).outcome.pecOk());
    ASSERT_EQ(rig.device.ReadRegister(0x1D).value, 0x21);
    EXPECT_NE(rig.display.pec, text::hexText(smbusPec({0xAE, 0x1D, 0xAF, 0x21})));
}

// The EEPROM read clocks its two address bytes' acknowledge slots with SDA
// held low by the master itself. The simulated chip pulls SDA low there
// too, so the bus log cannot tell; the program's own line writes can.
TEST(EepromTransactions, TheMasterHoldsTheAddressAcknowledgesItself) {
    struct Lines : TransactionObserver {
        std::vector<std::uint8_t> lines;
        void transactionEnded(const TransactionRecord& r) override { lines = r.lines; }
    } seen;
    SimRig rig;
    rig.bus.setLineCapture(true);
    rig.bus.addObserver(&seen);
    ASSERT_TRUE(rig.device.EEPROMReadByte(0x8105).ok());
    std::vector<std::uint8_t> writes;
    int samples = 0;
    for (std::uint8_t l : seen.lines) {
        if (l & TransactionRecord::kSample)
            ++samples;
        else
            writes.push_back(l);
    }
    // START (3 writes), AEh (24) and its acknowledge clock (3), 81h (24),
    // then the master's acknowledge: SDA low with SCL low, SCL high, SCL low
    // with SDA released. The same after 05h.
    const std::vector<std::uint8_t> masterAck = {kBothLow, kSdaLow, kSclLow};
    ASSERT_GE(writes.size(), 84u);
    EXPECT_EQ(std::vector<std::uint8_t>(writes.begin() + 54, writes.begin() + 57), masterAck);
    EXPECT_EQ(std::vector<std::uint8_t>(writes.begin() + 81, writes.begin() + 84), masterAck);
    // SDA is sampled at the two STARTs, the two slave acknowledges, the 16
    // data bits and the final not-acknowledge: never in a master's slot.
    EXPECT_EQ(samples, 21);
    rig.bus.removeObserver(&seen);
}

}  // namespace
}  // namespace kestrel
