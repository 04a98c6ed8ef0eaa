#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "bus/bus.h"
#include "bus/crc8.h"
#include "bus/recording_port.h"
#include "bus/vcd_writer.h"
#include "support/sim_rig.h"
#include "support/vcd_decoder.h"

namespace kestrel {
namespace {

using testing::Decoded;
using testing::decodeVcd;

TEST(VcdTrace, RegisterReadDecodesToTheBytesOnTheWire) {
    testing::SimRig rig;
    RecordingPort recorder(rig.board);
    auto text = std::make_unique<std::ostringstream>();
    std::ostringstream* vcd = text.get();
    recorder.attachTrace(std::make_unique<VcdWriter>(std::move(text)));
    Bus bus(recorder, rig.g.LPTBase, rig.g.PortEntry);
    Device device(rig.g, bus);

    rig.board.kestrel().setReg(0x1D, 0x21);
    ASSERT_EQ(device.ReadRegister(0x1D).value, 0x21);
    ASSERT_TRUE(device.EEPROMWriteByte(0x8100, 0x3C).ok());
    recorder.trace()->flush();

    const Decoded d = decodeVcd(vcd->str());
    const std::string pec = [&] {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02X", smbusPec({0xAE, 0x1D, 0xAF, 0x21}));
        return std::string(buf);
    }();
    const std::vector<std::string> expected = {"S", "AE", "1D", "Sr", "AF", "21", pec,
                                               "P", "S",  "AE", "81", "00", "3C", "P"};
    EXPECT_EQ(d.tokens, expected);

    int risesInWrites = 0;
    bool sclHigh = true;
    for (int w : recorder.writes()) {
        const bool high = (w & 1) == 0;
        if (high && !sclHigh) ++risesInWrites;
        sclHigh = high;
    }
    EXPECT_EQ(d.sclRises, risesInWrites) << "one clock edge in the trace per edge written";
    EXPECT_NE(vcd->str().find("$var wire 1 ! SCL $end"), std::string::npos);
}

TEST(VcdTrace, RealTimeInNanosecondsEndingAfterItsLastChange) {
    testing::SimRig rig;
    std::uint64_t accesses = 0;
    RecordingPort recorder(rig.board);
    auto text = std::make_unique<std::ostringstream>();
    std::ostringstream* vcd = text.get();
    recorder.attachTrace(std::make_unique<VcdWriter>(std::move(text), [&] {
        return static_cast<std::uint64_t>(rig.clock.now) * 1000000 + 1000 * ++accesses;
    }));
    Bus bus(recorder, rig.g.LPTBase, rig.g.PortEntry);
    bus.setWaitHooks(rig.clock.hooks());
    Device device(rig.g, bus);
    ASSERT_TRUE(device.EEPROMPageErase(0x81E0).ok());
    recorder.trace()->finish();

    const std::string out = vcd->str();
    EXPECT_NE(out.find("$timescale 1 ns $end"), std::string::npos);
    // The last line is a timestamp later than the last change.
    std::istringstream lines(out);
    std::string line;
    std::uint64_t lastChange = 0, lastStamp = 0, stamp = 0, biggestGap = 0;
    bool endsWithStamp = false;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        endsWithStamp = line[0] == '#';
        if (line[0] == '#') {
            const std::uint64_t t = std::stoull(line.substr(1));
            if (t != 0) {
                EXPECT_GT(t, stamp) << "strictly increasing";
                biggestGap = std::max(biggestGap, t - stamp);
            }
            stamp = t;
            lastStamp = t;
        } else if (line == "0!" || line == "1!" || line == "0\"" || line == "1\"") {
            lastChange = stamp;
        }
    }
    EXPECT_TRUE(endsWithStamp);
    EXPECT_GT(lastStamp, lastChange);
    EXPECT_GE(biggestGap, 30000000u) << "the erase's 30 ms hold shows at its length";
    EXPECT_EQ(decodeVcd(out).tokens,
              (std::vector<std::string>{"S", "AE", "A2", "81", "E0", "FF", "P"}));
}

}  // namespace
}  // namespace kestrel
