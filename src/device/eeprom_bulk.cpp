#include "device/eeprom_bulk.h"

#include <algorithm>
#include <array>

#include "chip/kestrel_map.h"
#include "device/text_rules.h"
#include "device/transaction_watch.h"

namespace kestrel::eeprom {

namespace {

constexpr unsigned kBlock = chip::kEepromPageSize;
constexpr unsigned kEepromEnd = chip::kEepromEnd;
constexpr int kBlockCount = chip::kBlockReadCount;

std::string lowerFirst(std::string text) {
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = static_cast<char>(text[0] + 32);
    return text;
}

std::string addressName(unsigned address) {
    return text::addressText(address) + "h";
}

// One byte from the slave with SCL low and SDA released before and after:
// per bit SCL rises, SDA is sampled, SCL falls. The same clock edges and
// sample point as the line primitive, without its repeated SCL-low write, so
// a 34-byte block costs three port accesses per bit instead of four.
int readByteLean(Bus& bus) {
    int value = 0;
    for (int k = 0; k < 8; ++k) {
        bus.writeLines(kLinesReleased);
        if (!bus.sampleSdaLow()) value |= 0x80 >> k;
        bus.writeLines(kSclLow);
    }
    bus.record().received.push_back(static_cast<std::uint8_t>(value));
    return value;
}

struct Block {
    std::array<int, kBlock> data{};
    std::string problem;  // why the block cannot be trusted; empty when it can
};

// The address-pointer write and the block read A1h, in one hold of the bus.
std::optional<Block> readBlock(Device& device, unsigned start) {
    Bus& bus = device.bus();
    const int slave = device.globals().SlaveAddr;
    auto tx = bus.begin();
    if (!tx) return std::nullopt;
    auto sendAck = [&bus](int byte) {
        bus.I2CSendByte(byte);
        bus.I2CAckClock();
    };
    Block block;

    bus.I2CStart();
    sendAck(slave & 0xFE);
    sendAck(static_cast<int>(start >> 8) & 0xFF);
    sendAck(static_cast<int>(start) & 0xFF);
    bus.describe("Address Pointer", static_cast<int>(start), 4);
    const TransactionOutcome pointer = outcomeOf(bus.record());
    bus.I2CStop();
    if (!pointer.ok()) {
        block.problem = pointer.problem;
        return block;
    }

    bus.I2CStart();
    sendAck(slave & 0xFE);
    sendAck(kBlockReadCommand);
    bus.I2CStart();
    sendAck(slave | 0x01);
    const int count = readByteLean(bus);
    bus.I2CMasterAck();
    for (int& d : block.data) {
        d = readByteLean(bus);
        bus.I2CMasterAck();
    }
    readByteLean(bus);
    bus.I2CAckClock();
    bus.describe("Block Read", static_cast<int>(start), 4);
    bus.checkPec();
    const TransactionOutcome read = outcomeOf(bus.record());
    bus.I2CStop();
    if (!read.ok())
        block.problem = read.problem;
    else if (count != kBlockCount)
        block.problem = "Block count " + text::byteText(static_cast<unsigned>(count)) + "h at " +
                        addressName(start) + ", expected 20h";
    return block;
}

}  // namespace

std::optional<std::vector<ByteRead>> readBytes(Device& device, unsigned base, unsigned count) {
    std::vector<ByteRead> bytes;
    bytes.reserve(count);
    TransactionWatch watch(device.bus());
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
        if (b.problem.empty() && !b.pecOk) b.problem = "No PEC read at " + addressName(address);
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
            result.fallbacks.push_back("Block read at " + addressName(start) + " failed (" +
                                       block->problem + "); read byte by byte");
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
           " writes not acknowledged; first at " + addressName(first->address) + ": " +
           lowerFirst(first->problem);
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
            report.failures.push_back("Verify failed at " + addressName(b.address) + ": " +
                                      lowerFirst(b.problem));
        else if (b.value != want)
            report.failures.push_back("verify mismatch at " + addressName(b.address) +
                                      ": expected " + text::byteText(static_cast<unsigned>(want)) +
                                      ", read " + text::byteText(static_cast<unsigned>(b.value)));
        else
            ++report.verified;
    }
    return report;
}

}  // namespace kestrel::eeprom
