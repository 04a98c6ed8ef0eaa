#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "bus/transaction_record.h"

// Transaction records as text: one line of bytes, a CSV table, a VCD trace.
namespace kestrel::record_export {

// The bytes in wire order, "AE+ 1D+ Sr AF+ <21+ <5A-": '<' for a byte read,
// "Sr" for a repeated START, and after each byte the acknowledge of whoever
// received it (the slave for a byte sent, the master for a byte read): '+'
// taken, '-' not taken, "(none)" when a STOP or START came before its ninth
// clock, nothing where nobody saw the slot (an I2C adapter).
std::string bytesText(const TransactionRecord& record);

// One row per record: time, kind, address, target, bytes, PEC, expected PEC,
// problem; after a header line unless `header` is false (a table written in
// parts). The time is in milliseconds, or in samples (a capture without a
// samplerate: the column says so).
struct CsvLayout {
    bool header = true;
    bool timeInSamples = false;
};
void writeCsv(std::ostream& out, const std::vector<const TransactionRecord*>& records,
              CsvLayout layout = {});

// The captured line changes and SDA samples of the records, one after the
// other, as a VCD trace of SCL and SDA.
void writeVcd(std::ostream& out, const std::vector<const TransactionRecord*>& records);

}  // namespace kestrel::record_export
