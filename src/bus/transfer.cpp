#include "bus/transfer.h"

#include <algorithm>

#include "bus/crc8.h"

namespace kestrel {

std::optional<TransactionRecord> TransferExecutor::run(const Transfer& transfer, Origin origin) {
    auto records = runHeld(std::span<const Transfer>(&transfer, 1), origin, false);
    if (!records || records->empty()) return std::nullopt;
    return std::move(records->front());
}

void TransferExecutor::addObserver(TransactionObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TransferExecutor::removeObserver(TransactionObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void TransferExecutor::notifyObservers(const TransactionRecord& record) {
    // An observer may remove itself while it is told.
    for (TransactionObserver* o : std::vector<TransactionObserver*>(observers_))
        o->transactionEnded(record);
}

void checkPec(TransactionRecord& record) {
    if (record.received.empty()) return;
    std::uint8_t crc = 0;
    for (const auto& b : record.sent) crc = crc8Update(crc, b.value);
    for (std::size_t i = 0; i + 1 < record.received.size(); ++i)
        crc = crc8Update(crc, record.received[i]);
    record.pecReceived = record.received.back();
    record.pecExpected = crc;
}

}  // namespace kestrel
