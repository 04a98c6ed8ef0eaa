#include "device/diagnostics.h"

#include <gtest/gtest.h>

#include "bus/bus.h"
#include "bus/crc8.h"
#include "bus/null_port.h"
#include "bus/port_check.h"
#include "bus/recording_port.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "support/line_helpers.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

// Keeps the diagnosis of every transaction that reaches its STOP.
struct Diagnoses : TransactionObserver {
    std::vector<std::string> seen;
    void transactionEnded(const TransactionRecord& r) override { seen.push_back(diagnose(r)); }
};

struct DiagRig : testing::SimRig {
    Diagnoses d;
    DiagRig() { bus.addObserver(&d); }
    ~DiagRig() { bus.removeObserver(&d); }
    // Every transaction kind once.
    void runEverything() {
        (void)device.ReadRegister(0x1D);
        device.WriteRegister(0x0E, 0x04);
        device.WriteSwitch(0x90, 0x06);
        (void)device.EEPROMReadByte(0x8100);
        device.EEPROMWriteByte(0x8100, 0x12);
        device.EEPROMPageErase(0x81E0);
        device.EEPROMWriteZero(0x81E0);
    }
};

// A clean bus gives no message for any transaction kind; each fault names itself.
TEST(Diagnostics, CleanBusIsSilentAndEachFaultNamesItself) {
    DiagRig rig;
    rig.runEverything();
    ASSERT_EQ(rig.d.seen.size(), 7u);
    for (const auto& m : rig.d.seen) EXPECT_EQ(m, "");

    rig.g.SlaveAddr = 0xA2;
    rig.device.WriteRegister(0x0E, 0x04);
    EXPECT_EQ(rig.d.seen.back(), "No acknowledge from A2h");
    rig.g.SlaveAddr = 0xAE;

    rig.board.kestrel().setCorruptPec(true);
    (void)rig.device.ReadRegister(0x1D);
    const std::uint8_t good = smbusPec({0xAE, 0x1D, 0xAF, 0x21});
    const std::uint8_t bad = good ^ 0x5A;
    EXPECT_EQ(rig.d.seen.back(), "PEC mismatch at 1Dh: received " + text::byteText(bad) +
                                     ", expected " + text::byteText(good));
    rig.board.kestrel().setEeprom(0x8100, 0x3C);
    (void)rig.device.EEPROMReadByte(0x8100);
    EXPECT_EQ(rig.d.seen.back().substr(0, 31), "PEC mismatch at 8100h: received");
    rig.board.kestrel().setCorruptPec(false);

    rig.board.wire().setSdaStuckLow(true);
    rig.device.WriteRegister(0x0E, 0x04);
    EXPECT_EQ(rig.d.seen.back(), "SDA stuck low");
}

TEST(Diagnostics, AcknowledgeIsSampledWithoutChangingTheWrites) {
    NullPort null(0x378, 0x10);
    RecordingPort port(null);
    std::int16_t base = 0x378, entry = 0;
    Bus bus(port, base, entry);
    bus.I2CSendByte(0xAE);
    bus.I2CAckClock();
    const auto& ev = port.events();
    ASSERT_EQ(ev.size(), 28u);
    EXPECT_EQ(ev[24].value, 1);
    EXPECT_EQ(ev[25].value, 0);
    EXPECT_EQ(ev[26].kind, PortEvent::Kind::Read) << "SDA sampled while SCL is high";
    EXPECT_EQ(ev[27].value, 1);
    EXPECT_EQ(bus.record().sent.back().ack, 1);
}

TEST(PortCheck, TellsWiringFaultsAndBusClearFreesAHeldSlave) {
    testing::SimRig rig;
    EXPECT_EQ(port_check::portTest(rig.bus).text, "SDA follows");
    rig.board.wire().setSdaStuckLow(true);
    EXPECT_EQ(port_check::portTest(rig.bus).text, "SDA stuck low");
    rig.board.wire().setSdaStuckLow(false);

    // Leave the chip in the middle of sending 4Bh (first bit 0: SDA held low).
    {
        auto tx = rig.bus.begin();
        testing::startAndSend(rig.bus, {0xAE, 0x1C});
        testing::startAndSend(rig.bus, {0xAF});
    }
    EXPECT_FALSE(rig.board.wire().sda()) << "the slave holds SDA";
    EXPECT_EQ(port_check::portTest(rig.bus).text, "SDA stuck low");
    EXPECT_EQ(port_check::busClear(rig.bus), port_check::ClearResult::Free);
    EXPECT_EQ(rig.device.ReadRegister(0x1D).value, 0x21);
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

// After a colon an ordinary word starts lower case; names in capitals stay.
TEST(Diagnostics, ReadInASentenceNamesKeepTheirCapitals) {
    EXPECT_EQ(eeprom::inSentence("No acknowledge from AEh"), "no acknowledge from AEh");
    EXPECT_EQ(eeprom::inSentence("Byte 12h not acknowledged"), "byte 12h not acknowledged");
    for (const char* name : {"PEC mismatch at 1Dh", "SDA stuck low", "EEPROM address 8100h",
                             "I2C adapter error: Input/output error"})
        EXPECT_EQ(eeprom::inSentence(name), name);
}

}  // namespace
}  // namespace kestrel
