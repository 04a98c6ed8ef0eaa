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
    std::int16_t base = 0x378, entry = 0;
    Bus bus{*port.port, base, entry};
    std::vector<std::string> notices;
    std::vector<TransactionRecord> seen;
    int stateChanges = 0;

    PortBus() {
        board.kestrel().setStatusActivity(false);
        bus.setNoticeSink([this](const std::string& s) { notices.push_back(s); });
        bus.setStateSink([this] { ++stateChanges; });
        bus.addObserver(this);
    }
    ~PortBus() override { bus.removeObserver(this); }
    void transactionEnded(const TransactionRecord& r) override { seen.push_back(r); }
    testing::FakePpdev& kernel() { return *port.kernel; }
};

// Register writes 0Eh..(0Eh+n-1), each its own transaction.
std::vector<Transfer> registerWrites(int n) {
    std::vector<Transfer> transfers;
    for (int i = 0; i < n; ++i) {
        Transfer t;
        t.messages = {{.address = 0xAE, .write = {static_cast<std::uint8_t>(0x0E + i), 0x04}}};
        t.kind = "Write Byte";
        t.target = 0x0E + i;
        transfers.push_back(t);
    }
    return transfers;
}

// A port call failing in the middle of a run ends the run with that
// transaction, recorded as a port error (no acknowledge is claimed either
// way), and the port refuses everything after it until it is opened again.
TEST(PortFailure, ACallFailingMidRunEndsItAsAPortError) {
    PortBus clean;
    ASSERT_TRUE(clean.bus.runHeld(registerWrites(4), Origin::User, false));
    const long perWrite = clean.kernel().accesses / 4;
    ASSERT_EQ(perWrite * 4, clean.kernel().accesses);

    const std::string fault = "LPT1 port error: /dev/parport0: input/output error";
    const std::string cutShort = fault + "; the transaction did not run to its end";
    // In the third write's data byte, in its acknowledge slot, in its STOP.
    for (const long into : {40L, perWrite - 4, perWrite}) {
        SCOPED_TRACE(into);
        PortBus rig;
        rig.kernel().failAtAccess = 2 * perWrite + into;
        const auto records = rig.bus.runHeld(registerWrites(4), Origin::User, false);
        ASSERT_TRUE(records);
        ASSERT_EQ(records->size(), 3u) << "the run ends with the write the port failed in";
        EXPECT_FALSE((*records)[0].faulty());
        EXPECT_FALSE((*records)[1].faulty());
        const TransactionRecord& failed = records->back();
        EXPECT_EQ(failed.portError, cutShort);
        EXPECT_EQ(failed.target, 0x10);
        EXPECT_FALSE(failed.anyNack()) << "a failed port is no missing acknowledge";
        ASSERT_EQ(rig.seen.size(), 3u);
        EXPECT_EQ(rig.seen.back().portError, cutShort);
        EXPECT_EQ(rig.kernel().accesses, rig.kernel().failAtAccess) << "nothing after it";
        EXPECT_EQ(rig.bus.portFailure(), fault);
        EXPECT_EQ(rig.stateChanges, 2);  // connected, failed

        EXPECT_FALSE(rig.bus.available());
        EXPECT_EQ(rig.notices, std::vector<std::string>{fault + "; nothing was sent."});
        rig.kernel().failAtAccess = 0;
        EXPECT_EQ(rig.bus.connectPort(), "");
        EXPECT_TRUE(rig.bus.available());
        EXPECT_EQ(rig.bus.portFailure(), "");
    }
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
