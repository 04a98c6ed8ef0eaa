#pragma once

#include <string>

#include "bus/transaction_record.h"

namespace kestrel {

// What went wrong in a transaction, in plain words for the status bar
// ("No acknowledge from AEh", "Register 1Dh not acknowledged",
// "PEC mismatch at 8100h: received 3C, expected 5A", "SDA stuck low"), or an
// empty text when nothing did. The most basic fault is named first.
std::string diagnose(const TransactionRecord& record);

// The record's target as the windows write it: "1Dh", "8100h", or "".
std::string targetText(const TransactionRecord& record);

}  // namespace kestrel
