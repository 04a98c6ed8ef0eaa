#include "device/status_history.h"

#include <gtest/gtest.h>

#include <random>

namespace kestrel {
namespace {

// The summaries drawn from whole blocks must say exactly what the samples
// say, for any slicing, also once the ring has wrapped.
TEST(StatusHistory, ColumnsAgreeWithTheSamplesAndTheRingStaysBounded) {
    StatusHistory history(64);
    std::mt19937 random(7);
    std::uint32_t t = 0;
    for (int i = 0; i < 1000; ++i) {
        t += random() % 5;
        history.add(
            1, {t, static_cast<std::uint8_t>(random() % 4 == 0 ? 0x81 : 0x01), random() % 50 != 0});
    }
    ASSERT_EQ(history.size(1), 64u) << "only the newest samples are kept";
    EXPECT_EQ(history.size(0), 0u);
    const std::uint32_t first = history.at(1, 0).ms, last = history.at(1, 63).ms;
    for (int n : {1, 3, 7, 64, 200}) {
        std::vector<StatusHistory::Column> cols;
        history.columns(1, first, last + 1, n, cols);
        ASSERT_EQ(cols.size(), static_cast<std::size_t>(n));
        std::vector<StatusHistory::Column> expected(static_cast<std::size_t>(n));
        const double span = last + 1 - first;
        for (std::size_t i = 0; i < history.size(1); ++i) {
            const auto& s = history.at(1, i);
            // The slice holding s: the first x whose end lies beyond s.ms.
            int x = 0;
            while (static_cast<std::uint32_t>(first + span * (x + 1) / n) <= s.ms) ++x;
            auto& c = expected[static_cast<std::size_t>(x)];
            c.any = true;
            if (!s.ok) {
                c.gap = true;
                continue;
            }
            c.orBits |= s.value;
            c.andBits &= s.value;
        }
        for (int x = 0; x < n; ++x) {
            const auto& a = cols[static_cast<std::size_t>(x)];
            const auto& e = expected[static_cast<std::size_t>(x)];
            EXPECT_EQ(a.any, e.any) << n << " " << x;
            EXPECT_EQ(a.gap, e.gap) << n << " " << x;
            if (e.any && !e.gap) {
                EXPECT_EQ(a.orBits, e.orBits) << n << " " << x;
                EXPECT_EQ(a.andBits, e.andBits) << n << " " << x;
            }
        }
    }
    const auto* before = history.sampleAt(1, first - 1);
    EXPECT_EQ(before, nullptr) << "nothing is known before the oldest sample";
    ASSERT_NE(history.sampleAt(1, last + 100), nullptr);
    EXPECT_EQ(history.sampleAt(1, last + 100)->ms, last);
}

// Each block's summary starts afresh when the ring comes round to it: a
// second lap of clean samples says nothing of the first lap's.
TEST(StatusHistory, SummariesOfASecondLapForgetTheFirst) {
    StatusHistory history(64);
    for (std::uint32_t t = 0; t < 64; ++t) history.add(2, {t, 0xF0, t != 40});
    for (std::uint32_t t = 64; t < 128; ++t) history.add(2, {t, 0x0F, true});
    std::vector<StatusHistory::Column> cols;
    history.columns(2, 64, 128, 1, cols);
    EXPECT_FALSE(cols[0].gap);
    EXPECT_EQ(cols[0].orBits, 0x0F);
    EXPECT_EQ(cols[0].andBits, 0x0F);
}

// Only reads of the six status registers count; a faulty one is a gap.
TEST(StatusHistory, TakesStatusReadsFromTheBusAndKeepsFailuresAsGaps) {
    StatusHistory history;
    TransactionRecord r;
    r.kind = "Read Byte";
    r.targetDigits = 2;
    r.startMs = 12.7;
    r.target = 0x2B;
    r.sent = {{0xAE, 1}, {0x2B, 1}, {0xAF, 1}};
    r.received = {0x42, 0x00};
    history.transactionEnded(r);
    r.target = 0x10;  // not a status register
    history.transactionEnded(r);
    r.target = 0x00;
    r.startMs = 20;
    r.sent[0].ack = 0;
    history.transactionEnded(r);
    EXPECT_EQ(history.csv(), "time_ms,register,value\n12,2Bh,42h\n20,00h,\n");
}

}  // namespace
}  // namespace kestrel
