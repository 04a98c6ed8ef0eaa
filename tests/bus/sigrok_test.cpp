// The program's own VCD traces decoded by an independent I2C decoder
// (sigrok-cli), on the simulated board (the wire's levels) and on a port
// that only knows what it drives and samples, as a real parallel port.
#include <gtest/gtest.h>

#include <sstream>

#include "bus/crc8.h"
#include "device/block_read.h"
#include "device/text_rules.h"
#include "support/traced_rig.h"
#include "support/vcd_decoder.h"

namespace kestrel {
namespace {

using testing::TracedRig;

using testing::Annotation;

// sigrok-cli's I2C decoder over a VCD text; nothing else may be printed.
std::vector<Annotation> sigrok(const std::string& vcd) {
    std::string other;
    const auto out = testing::runSigrok(vcd,
                                        "-P i2c:scl=SCL:sda=SDA:address_format=unshifted -A "
                                        "i2c=start:repeat-start:stop:ack:nack:address-read:"
                                        "address-write:data-read:data-write",
                                        "i2c-1", other);
    EXPECT_EQ(other, "");
    return out;
}

// The annotations as one line per transaction, in the board log's notation:
// "S AE+ 1D+ Sr AF+ 21+ 34- P".
std::vector<std::string> transactions(const std::vector<Annotation>& annotations) {
    std::vector<std::string> out;
    std::string current;
    for (const Annotation& a : annotations) {
        const std::string& t = a.text;
        auto add = [&](const std::string& token) {
            if (!current.empty()) current += ' ';
            current += token;
        };
        if (t == "Start")
            add("S");
        else if (t == "Start repeat")
            add("Sr");
        else if (t == "ACK")
            current += '+';
        else if (t == "NACK")
            current += '-';
        else if (t.find(": ") != std::string::npos)
            add(t.substr(t.find(": ") + 2));
        if (t == "Stop") {
            add("P");
            out.push_back(current);
            current.clear();
        }
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

class Sigrok : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (!testing::sigrokAvailable()) return;
    }
};

TEST_P(Sigrok, DecodesStartUpWriteRegisterReadEraseAndBlockRead) {
    TracedRig rig(GetParam());
    rig.sim.board.setStrict(true);
    for (int i = 0; i < 32; ++i) rig.sim.board.kestrel().setEeprom(0x8100 + i, 0xC0 + i);
    ASSERT_TRUE(rig.device.WriteSwitch(0x90, 0x06).ok());
    ASSERT_EQ(rig.device.ReadRegister(0x1D).value, 0x21);
    ASSERT_TRUE(rig.device.EEPROMPageErase(0x81E0).ok());
    ASSERT_TRUE(blockRead(rig.device, 0x8100).outcome.ok());

    const auto decoded = transactions(sigrok(rig.vcd()));
    std::string block = "S AE+ A1+ Sr AF+ 20+";
    std::vector<std::uint8_t> covered = {0xAE, 0xA1, 0xAF, 0x20};
    for (unsigned i = 0; i < 32; ++i) {
        block += " " + text::byteText(0xC0u + i) + "+";
        covered.push_back(static_cast<std::uint8_t>(0xC0 + i));
    }
    block += " " + text::byteText(smbusPec(covered)) + "- P";
    const std::vector<std::string> expected = {
        "S 90+ 06+ P",
        "S AE+ 1D+ Sr AF+ 21+ " + text::byteText(smbusPec({0xAE, 0x1D, 0xAF, 0x21})) + "- P",
        "S AE+ A2+ 81+ E0+ FF+ P",
        "S AE+ 81+ 00+ P",
        block,
    };
    EXPECT_EQ(decoded, expected) << "the last STOP decodes too";
}

// The trace as a killed program leaves it: never finished, yet the STOPs
// decode, the last one too where the wire is seen. The port that only knows
// what it drives cannot tell the last STOP from a slave holding SDA until
// the next START's check, so there the STOPs before it decode.
TEST_P(Sigrok, StopsDecodeInATraceThatWasNeverFinished) {
    TracedRig rig(GetParam());
    const std::string read =
        "S AE+ 1D+ Sr AF+ 21+ " + text::byteText(smbusPec({0xAE, 0x1D, 0xAF, 0x21})) + "- P";
    ASSERT_TRUE(rig.device.WriteSwitch(0x90, 0x06).ok());
    if (GetParam()) {
        EXPECT_EQ(transactions(sigrok(rig.text->str())), std::vector<std::string>{"S 90+ 06+ P"});
    }
    ASSERT_EQ(rig.device.ReadRegister(0x1D).value, 0x21);
    const auto decoded = transactions(sigrok(rig.text->str()));
    if (GetParam()) {
        EXPECT_EQ(decoded, (std::vector<std::string>{"S 90+ 06+ P", read}));
    } else {
        ASSERT_FALSE(decoded.empty());
        EXPECT_EQ(decoded[0], "S 90+ 06+ P");
    }
}

INSTANTIATE_TEST_SUITE_P(Ports, Sigrok, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("SimulatedWire")
                                               : std::string("DrivenAndSampled");
                         });

}  // namespace
}  // namespace kestrel
