#include "batch/decode_command.h"

#include <sstream>

#include "batch/json.h"
#include "bus/decimal.h"
#include "bus/record_export.h"
#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"
#include "chip/transaction_kinds.h"
#include "device/text_rules.h"

namespace kestrel::batch {

namespace {

std::string recordJson(const TransactionRecord& r, bool samples) {
    json::Object o;
    o.raw(samples ? "time_samples" : "time_ms", decimal::fixed(r.startMs, samples ? 0 : 6));
    o.text("kind", r.kind);
    if (!r.sent.empty()) o.text("address", text::byteText(r.sent[0].value & 0xFEu));
    if (r.target >= 0) {
        const auto t = static_cast<unsigned>(r.target);
        o.text("target", r.targetDigits == 2 ? text::byteText(t)
                                             : text::byteText(t >> 8) + text::byteText(t & 0xFF));
    }
    o.text("bytes", record_export::bytesText(r));
    if (r.pecReceived >= 0) {
        o.text("pec", text::byteText(static_cast<unsigned>(r.pecReceived)));
        o.text("pec_expected", text::byteText(static_cast<unsigned>(r.pecExpected)));
    }
    o.flag("acknowledged", !r.anyNack());
    o.flag("pec_ok", !r.pecMismatch());
    return o.str();
}

// Records are written out in batches of this many: the capture is never held whole.
constexpr std::size_t kBatch = 4096;

}  // namespace

void decodeCommand(const Invocation& inv, Report& report) {
    std::string out;
    std::vector<TransactionRecord> batch;
    bool samples = false, wroteHeader = false;
    std::uint64_t count = 0, nacks = 0, pecErrors = 0, malformed = 0;
    auto writeBatch = [&] {
        if (inv.options.json || (wroteHeader && batch.empty())) return;
        std::vector<const TransactionRecord*> pointers;
        for (const TransactionRecord& r : batch) pointers.push_back(&r);
        std::ostringstream csv;
        record_export::writeCsv(csv, pointers, {!wroteHeader, samples});
        out += csv.str();
        wroteHeader = true;
        batch.clear();
    };
    const capture::CaptureDecoder* decoder = nullptr;
    capture::CaptureDecoder decode(
        [&](TransactionRecord& r) {
            samples = decoder->timesInSamples();
            ++count;
            nacks += r.anyNack();
            pecErrors += r.pecMismatch();
            malformed += r.kind == chip::kMalformed;
            if (inv.options.json) {
                out += count == 1 ? '[' : ',';
                out += recordJson(r, samples);
            } else {
                batch.push_back(std::move(r));
                if (batch.size() == kBatch) writeBatch();
            }
        },
        inv.options.slave, false);
    decoder = &decode;
    const auto read = capture::readCaptureFile(inv.file, {inv.scl, inv.sda}, decode);
    if (!read.ok) return report.fail(read.error, kUsage);
    samples = decode.timesInSamples();
    if (inv.options.json) {
        report.json.raw("transactions", count == 0 ? std::string("[]") : out + "]");
        report.json.number("not_acknowledged", static_cast<long long>(nacks))
            .number("pec_errors", static_cast<long long>(pecErrors))
            .number("malformed", static_cast<long long>(malformed));
    } else {
        writeBatch();
        report.text = std::move(out);
    }
    const std::string file = capture::printable(inv.file);
    if (samples) report.notes.push_back(file + ": no samplerate; times are sample numbers");
    report.notes.push_back(file + ": " + std::to_string(count) + " transactions, " +
                           std::to_string(nacks) + " not acknowledged, " +
                           std::to_string(pecErrors) + " with a PEC error, " +
                           std::to_string(malformed) + " malformed");
}

}  // namespace kestrel::batch
