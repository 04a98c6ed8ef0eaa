#include "device/eeprom_bulk.h"

#include <algorithm>
#include <array>

#include "chip/kestrel_map.h"
#include "device/block_read.h"
#include "device/eeprom_ops.h"
#include "device/text_rules.h"
#include "device/transaction_watch.h"

namespace kestrel::eeprom {

namespace {

constexpr unsigned kBlock = chip::kEepromPageSize;
constexpr unsigned kEepromEnd = chip::kEepromEnd;
constexpr int kBlockCount = chip::kBlockReadCount;

struct Block {
    std::array<int, kBlock> data{};
    std::string problem;  // why the block cannot be trusted; empty when it can
};

// The address-pointer write and the block read A1h, in one hold of the bus;
// the read is skipped when the pointer write was not acknowledged.
std::optional<Block> readBlock(Device& device, unsigned start) {
    const auto transfers = blockReadTransfers(device, start, true);
    const auto records = device.transferHeld(transfers, true);
    if (!records || records->empty()) return std::nullopt;
    Block block;
    const TransactionOutcome outcome = outcomeOf(records->back());
    if (!outcome.ok()) {
        block.problem = outcome.problem;
        return block;
    }
    const std::vector<std::uint8_t>& bytes = records->back().received;
    if (bytes.size() != 2 + kBlock) {
        block.problem = "Block read at " + text::suffixedAddressText(start) + " cut short";
        return block;
    }
    std::copy(bytes.begin() + 1, bytes.end() - 1, block.data.begin());
    if (bytes.front() != kBlockCount)
        block.problem = "Block count " + text::byteText(bytes.front()) + "h at " +
                        text::suffixedAddressText(start) + ", expected 20h";
    return block;
}

}  // namespace

std::optional<std::vector<ByteRead>> readBytes(Device& device, unsigned base, unsigned count) {
    std::vector<ByteRead> bytes;
    bytes.reserve(count);
    TransactionWatch watch(device.executor());
    for (unsigned i = 0; i < count; ++i) {
        const unsigned address = (base + i) & 0xFFFFu;
        watch.clear();
        const auto value =
            device.EEPROMReadByte(static_cast<int>(address >> 8), static_cast<int>(address & 0xFF));
        if (!value) return std::nullopt;
        const TransactionOutcome o = watch.last();
        ByteRead b;
        b.address = address;
        b.value = *value;
        b.acknowledged = o.acknowledged;
        b.pecOk = o.pecOk;
        b.problem = o.problem;
        if (b.problem.empty() && !b.pecOk)
            b.problem = "No PEC read at " + text::suffixedAddressText(address);
        bytes.push_back(std::move(b));
    }
    return bytes;
}

std::optional<BulkRead> readBulk(Device& device, unsigned base, unsigned count) {
    BulkRead result;
    result.bytes.reserve(count);
    const unsigned end = base + count;
    unsigned address = base;
    while (address < end) {
        const unsigned n = std::min(kBlock, end - address);
        std::optional<Block> block;
        if (n >= kBulkMinimum) {
            unsigned start = address;
            if (address < kEepromEnd && address + kBlock > kEepromEnd) start = kEepromEnd - kBlock;
            block = readBlock(device, start);
            if (!block) return std::nullopt;
            if (block->problem.empty()) {
                for (unsigned i = 0; i < n; ++i) {
                    ByteRead b;
                    b.address = address + i;
                    b.value = block->data[address + i - start];
                    b.acknowledged = b.pecOk = true;
                    result.bytes.push_back(b);
                }
                address += n;
                continue;
            }
            result.fallbacks.push_back("Block read at " + text::suffixedAddressText(start) +
                                       " failed (" + block->problem + "); read byte by byte");
        }
        const auto bytes = readBytes(device, address, n);
        if (!bytes) return std::nullopt;
        result.bytes.insert(result.bytes.end(), bytes->begin(), bytes->end());
        address += n;
    }
    return result;
}

std::optional<std::vector<ByteWrite>> writeBytes(Device& device, unsigned base,
                                                 const std::vector<int>& data) {
    std::vector<ByteWrite> writes;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned address = (base + static_cast<unsigned>(i)) & 0xFFFFu;
        if (!device.EEPROMWriteByte(static_cast<int>(address >> 8),
                                    static_cast<int>(address & 0xFF), data[i] & 0xFF))
            return std::nullopt;
        // A write reads nothing back: clean means every byte was acknowledged.
        writes.push_back({address, data[i] & 0xFF, device.lastClean(), device.lastProblem()});
    }
    return writes;
}

std::string writeFailureText(const std::vector<ByteWrite>& writes) {
    const auto failed =
        std::count_if(writes.begin(), writes.end(), [](const ByteWrite& w) { return !w.ok(); });
    if (failed == 0) return {};
    const auto first =
        std::find_if(writes.begin(), writes.end(), [](const ByteWrite& w) { return !w.ok(); });
    return std::to_string(failed) + " of " + std::to_string(writes.size()) +
           " writes not acknowledged; first at " + text::suffixedAddressText(first->address) +
           ": " + inSentence(first->problem);
}

std::optional<VerifyReport> verifyBytes(Device& device, unsigned base,
                                        const std::vector<int>& expected) {
    auto read = readBulk(device, base, static_cast<unsigned>(expected.size()));
    if (!read) return std::nullopt;
    VerifyReport report;
    report.read = std::move(read->bytes);
    for (std::size_t i = 0; i < report.read.size(); ++i) {
        const ByteRead& b = report.read[i];
        const int want = expected[i] & 0xFF;
        if (!b.ok())
            report.failures.push_back("Verify failed at " + text::suffixedAddressText(b.address) +
                                      ": " + inSentence(b.problem));
        else if (b.value != want)
            report.failures.push_back("verify mismatch at " + text::suffixedAddressText(b.address) +
                                      ": expected " + text::byteText(static_cast<unsigned>(want)) +
                                      ", read " + text::byteText(static_cast<unsigned>(b.value)));
        else
            ++report.verified;
    }
    return report;
}

}  // namespace kestrel::eeprom
