#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bus/bus.h"
#include "bus/port_check.h"
#include "simulator/simulated_board.h"
#include "support/fake_ppdev.h"

namespace kestrel {
namespace {

// The bit-banged bus on the real parallel-port code, its ppdev calls
// answered by the simulated board.
struct PortBus : TransactionObserver {
    sim::SimulatedBoard board;
    testing::FakeParallelPort port{&board};
    std::atomic<std::int16_t> base = 0x378, entry = 0;
    Bus bus{*port.port, base, entry};
    std::vector<TransactionRecord> seen;

    PortBus() {
        board.kestrel().setStatusActivity(false);
        bus.addObserver(this);
    }
    ~PortBus() override { bus.removeObserver(this); }
    void transactionEnded(const TransactionRecord& r) override { seen.push_back(r); }
    testing::FakePpdev& kernel() { return *port.kernel; }
};

// A port call failing in the middle of a run ends the run with that
// transaction, recorded as a port error (never as a missing acknowledge);
// the port refuses everything after it until it is opened again.
TEST(PortFailure, ACallFailingMidRunEndsItAsAPortError) {
    std::vector<Transfer> writes(4);
    for (std::uint8_t i = 0; i < 4; ++i) writes[i].messages = {{.address = 0xAE, .write = {i, 4}}};
    PortBus clean, rig;
    ASSERT_TRUE(clean.bus.runHeld(writes, Origin::User, false));
    rig.kernel().failAtAccess = clean.kernel().accesses / 2 + 40;  // in the third write
    const auto records = rig.bus.runHeld(writes, Origin::User, false);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 3u) << "the run ends with the write the port failed in";
    const std::string fault = "LPT1 port error: /dev/parport0: input/output error";
    EXPECT_EQ(records->back().portError, fault + "; the transaction did not run to its end");
    EXPECT_FALSE(records->back().anyNack());
    EXPECT_EQ(rig.kernel().accesses, rig.kernel().failAtAccess) << "nothing after it";
    EXPECT_EQ(rig.bus.refusal(), fault + "; nothing was sent.") << "until opened again";
    rig.kernel().failAtAccess = 0;
    EXPECT_EQ(rig.bus.connectPort(), "");
    EXPECT_TRUE(rig.bus.available());
}

// The line checks do not read a port that failed under them as the board.
TEST(PortFailure, PortTestAndBusClearSayThePortFailed) {
    for (const long at : {1L, 2L, 3L}) {
        PortBus rig;
        rig.kernel().failAtAccess = at;
        const auto test = port_check::portTest(rig.bus);
        EXPECT_EQ(test.result, port_check::SdaResult::PortFailed);
        EXPECT_EQ(test.text,
                  "Port test failed: LPT1 port error: /dev/parport0: input/output error");
        rig.kernel().failAtAccess = 0;
        ASSERT_EQ(rig.bus.connectPort(), "");
        EXPECT_EQ(port_check::portTest(rig.bus).result, port_check::SdaResult::Follows);
        rig.kernel().failAtAccess = rig.kernel().accesses + at * 5;
        EXPECT_EQ(port_check::busClear(rig.bus), port_check::ClearResult::PortFailed);
        EXPECT_EQ(rig.seen.back().portError,
                  "LPT1 port error: /dev/parport0: input/output error; the transaction did not "
                  "run to its end");
    }
}

}  // namespace
}  // namespace kestrel
