#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "bus/transaction_record.h"

// Transaction records as text: one line of bytes, a CSV table, a VCD trace.
namespace kestrel::record_export {

// "AE+ 1D+ AF+ <21 <5A": sent bytes with their acknowledge ('+' taken, '-'
// missing, nothing where the master acknowledged itself), '<' for bytes read.
std::string bytesText(const TransactionRecord& record);

// One row per record: time, kind, address, target, bytes, PEC, expected PEC, problem.
void writeCsv(std::ostream& out, const std::vector<const TransactionRecord*>& records);

// The captured line changes and SDA samples of the records, one after the
// other, as a VCD trace of SCL and SDA.
void writeVcd(std::ostream& out, const std::vector<const TransactionRecord*>& records);

}  // namespace kestrel::record_export
