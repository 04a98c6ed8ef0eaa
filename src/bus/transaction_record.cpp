#include "bus/transaction_record.h"

namespace kestrel {

void TransactionRecord::clear() {
    // Keeps the vectors' capacity: a record is refilled for every transaction.
    kind.clear();
    target = -1;
    targetDigits = 2;
    sent.clear();
    received.clear();
    receivedAcks.clear();
    repeatedStarts.clear();
    pecReceived = pecExpected = -1;
    sdaStuckLow = false;
    portError.clear();
    lines.clear();
}

}  // namespace kestrel
