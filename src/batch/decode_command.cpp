#include "batch/decode_command.h"

#include <sstream>

#include "batch/json.h"
#include "bus/decimal.h"
#include "bus/record_export.h"
#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"
#include "device/text_rules.h"

namespace kestrel::batch {

namespace {

std::string recordJson(const TransactionRecord& r) {
    json::Object o;
    o.raw("time_ms", decimal::fixed(r.startMs, 6));
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

}  // namespace

void decodeCommand(const Invocation& inv, Report& report) {
    const auto read = capture::readCaptureFile(inv.file, {inv.scl, inv.sda});
    if (!read.lines) return report.fail(read.error, kUsage);
    const std::vector<TransactionRecord> records =
        capture::decodeCapture(*read.lines, inv.options.slave);
    std::vector<const TransactionRecord*> pointers;
    std::vector<std::string> items;
    int nacks = 0, pecErrors = 0, malformed = 0;
    for (const TransactionRecord& r : records) {
        pointers.push_back(&r);
        nacks += r.anyNack();
        pecErrors += r.pecMismatch();
        malformed += r.kind == "Malformed";
        if (inv.options.json) items.push_back(recordJson(r));
    }
    if (inv.options.json) {
        report.json.raw("transactions", json::array(items));
        report.json.number("not_acknowledged", nacks)
            .number("pec_errors", pecErrors)
            .number("malformed", malformed);
    } else {
        std::ostringstream csv;
        record_export::writeCsv(csv, pointers);
        report.text = csv.str();
    }
    report.notes.push_back(inv.file + ": " + std::to_string(records.size()) + " transactions, " +
                           std::to_string(nacks) + " not acknowledged, " +
                           std::to_string(pecErrors) + " with a PEC error, " +
                           std::to_string(malformed) + " malformed");
}

}  // namespace kestrel::batch
