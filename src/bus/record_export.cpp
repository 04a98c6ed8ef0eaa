#include "bus/record_export.h"

#include <cstdio>
#include <memory>
#include <sstream>

#include "bus/csv.h"
#include "bus/decimal.h"
#include "bus/line_levels.h"
#include "bus/vcd_writer.h"

namespace kestrel::record_export {

namespace {

std::string hex2(unsigned v) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFFu);
    return buf;
}

// Streams into another stream that the VCD writer does not own.
class BorrowedStream final : public std::ostream {
  public:
    explicit BorrowedStream(std::ostream& target) : std::ostream(target.rdbuf()) {}
};

std::string targetHex(const TransactionRecord& r) {
    if (r.target < 0) return {};
    const auto t = static_cast<unsigned>(r.target);
    return r.targetDigits == 2 ? hex2(t) : hex2(t >> 8) + hex2(t);
}

}  // namespace

std::string bytesText(const TransactionRecord& r) {
    std::string out;
    auto add = [&out](const char* prefix, std::uint8_t value, std::int8_t ack) {
        if (!out.empty()) out += ' ';
        out += prefix;
        out += hex2(value);
        if (ack == TransactionRecord::kAck)
            out += '+';
        else if (ack == TransactionRecord::kNack)
            out += '-';
        else if (ack == TransactionRecord::kNoAckClock)
            out += "(none)";
    };
    // Each address byte, then the bytes its direction says up to the next
    // repeated START.
    std::size_t s = 0, g = 0;
    const auto& starts = r.repeatedStarts;
    for (std::size_t k = 0; k <= starts.size(); ++k) {
        const std::size_t sentEnd = k < starts.size() ? starts[k].sent : r.sent.size();
        const std::size_t readEnd = k < starts.size() ? starts[k].received : r.received.size();
        if (s < sentEnd && s < r.sent.size()) {
            const bool read = (r.sent[s].value & 1u) != 0;
            add("", r.sent[s].value, r.sent[s].ack);
            ++s;
            for (; read && g < readEnd && g < r.received.size(); ++g)
                add("<", r.received[g], r.receivedAck(g));
        }
        for (; s < sentEnd && s < r.sent.size(); ++s) add("", r.sent[s].value, r.sent[s].ack);
        for (; g < readEnd && g < r.received.size(); ++g) add("<", r.received[g], r.receivedAck(g));
        if (k < starts.size()) out += out.empty() ? "Sr" : " Sr";
    }
    return out;
}

void writeCsv(std::ostream& out, const std::vector<const TransactionRecord*>& records,
              CsvLayout layout) {
    if (layout.header)
        out << (layout.timeInSamples ? "time_samples" : "time_ms")
            << ",kind,address,target,bytes,pec,pec_expected,problem\r\n";
    for (const TransactionRecord* r : records) {
        std::string problem;
        if (!r->portError.empty())
            problem = r->portError;
        else if (r->sdaStuckLow)
            problem = "SDA stuck low";
        else if (r->anyNack())
            problem = "no acknowledge";
        else if (r->pecMismatch())
            problem = "PEC mismatch";
        out << csv::row(
            {decimal::fixed(r->startMs, layout.timeInSamples ? 0 : 3), r->kind,
             r->sent.empty() ? "" : hex2(r->sent[0].value & 0xFEu), targetHex(*r), bytesText(*r),
             r->pecReceived < 0 ? "" : hex2(static_cast<unsigned>(r->pecReceived)),
             r->pecExpected < 0 ? "" : hex2(static_cast<unsigned>(r->pecExpected)), problem});
    }
}

void writeVcd(std::ostream& out, const std::vector<const TransactionRecord*>& records) {
    // Each transaction at its start time, one microsecond per port access
    // (about what a real parallel-port access costs).
    std::uint64_t now = 0;
    VcdWriter vcd(std::make_unique<BorrowedStream>(out), [&now] { return now; });
    for (const TransactionRecord* r : records) {
        const auto start = static_cast<std::uint64_t>(r->startMs * 1e6);
        if (start > now) now = start;
        for (std::uint8_t e : r->lines) {
            now += 1000;
            if (isSdaSample(e))
                vcd.sample(sampledSdaLow(e));
            else
                vcd.write(e);
        }
    }
    vcd.finish();
}

}  // namespace kestrel::record_export
