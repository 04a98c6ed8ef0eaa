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
    for (const auto& b : r.sent) {
        if (!out.empty()) out += ' ';
        out += hex2(b.value);
        if (b.ack >= 0) out += b.ack ? '+' : '-';
    }
    for (std::uint8_t b : r.received) {
        if (!out.empty()) out += ' ';
        out += '<' + hex2(b);
    }
    return out;
}

void writeCsv(std::ostream& out, const std::vector<const TransactionRecord*>& records) {
    out << "time_ms,kind,address,target,bytes,pec,pec_expected,problem\r\n";
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
            {decimal::fixed(r->startMs, 3), r->kind,
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
