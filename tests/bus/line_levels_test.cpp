#include "bus/line_levels.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "bus/vcd_writer.h"

namespace kestrel {
namespace {

constexpr std::uint8_t kHigh = TransactionRecord::kSample;
constexpr std::uint8_t kLow = TransactionRecord::kSample | TransactionRecord::kSampleLow;

// The levels of each step as text, SCL and SDA: "1100", "1000".
struct Levels {
    std::string scl, sda;
};
Levels levels(const std::vector<LineStep>& steps) {
    Levels out;
    for (const LineStep& s : steps) {
        out.scl += s.scl ? '1' : '0';
        out.sda += s.sda ? '1' : '0';
    }
    return out;
}

TEST(LineLevels, SdaLowOnAnIdleBusShowsHeldUntilASampleReadsHigh) {
    const auto l = levels(lineLevels({kLinesReleased, kLow,     // the check before START
                                      kSdaLow, kBothLow,        // START
                                      kSclLow, kLinesReleased,  // a 1 bit sent, not sampled
                                      kSclLow, kLinesReleased,  // the acknowledge clock
                                      kHigh, kSclLow}));
    EXPECT_EQ(l.scl, "11001010");
    EXPECT_EQ(l.sda, "00000111");
}

TEST(LineLevels, AStopStaysOpenUntilTheNextStartsCheck) {
    // A slave holding SDA through the STOP: the master's STOP is corrected
    // by the check before the next START.
    LineDecoder d;
    d.write(kBothLow, 10);
    d.write(kSdaLow, 20);
    d.write(kLinesReleased, 30);  // STOP
    d.settleTransaction();
    ASSERT_TRUE(d.hasSettled());
    EXPECT_EQ(d.takeSettled().time, 10u);
    EXPECT_FALSE(d.hasSettled()) << "steps with SCL high stay open";
    d.write(kLinesReleased, 40);
    d.sample(true);
    d.settleAll();
    std::vector<LineStep> rest;
    while (d.hasSettled()) rest.push_back(d.takeSettled());
    ASSERT_EQ(rest.size(), 3u);
    EXPECT_EQ(rest[1].time, 30u);
    EXPECT_FALSE(rest[1].sda) << "no STOP shows";
    EXPECT_FALSE(rest[2].sda);
}

// A clock that stands still between changes (or moves less than the
// file's unit): every change still gets a time of its own, later than the
// one before, on a port that sees the wire and on one that only drives it.
TEST(VcdWriter, EveryTimeIncreasesWhenTheClockStandsStill) {
    for (const bool seesWire : {true, false}) {
        std::uint64_t now = 1000;
        auto out = std::make_unique<std::ostringstream>();
        std::ostringstream* stream = out.get();
        std::string text;
        {
            VcdWriter vcd(std::move(out), [&now] { return now; });
            for (int i = 0; i < 4; ++i) {
                for (const std::uint8_t lines : {kSdaLow, kBothLow, kSclLow, kLinesReleased}) {
                    now += 30;  // less than a unit
                    if (seesWire)
                        vcd.wire((lines & kSclLow) == 0, (lines & kSdaLow) == 0);
                    else
                        vcd.write(lines);
                }
                if (!seesWire) vcd.sample(false);
                vcd.flush();
            }
            vcd.finish();
            text = stream->str();
        }
        std::istringstream in(text);
        std::vector<std::uint64_t> times;
        for (std::string line; std::getline(in, line);)
            if (line.rfind('#', 0) == 0) times.push_back(std::stoull(line.substr(1)));
        ASSERT_GT(times.size(), 10u);
        for (std::size_t i = 1; i < times.size(); ++i)
            EXPECT_LT(times[i - 1], times[i]) << "time " << i << (seesWire ? " (wire)" : "");
    }
}

}  // namespace
}  // namespace kestrel
