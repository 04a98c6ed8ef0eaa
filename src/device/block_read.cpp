#include "device/block_read.h"

#include <algorithm>

namespace kestrel {

std::array<Transfer, 2> blockReadTransfers(Device& device, unsigned start, bool lean) {
    const auto high = static_cast<std::uint8_t>((start >> 8) & 0xFF);
    const auto low = static_cast<std::uint8_t>(start & 0xFF);
    const int target = static_cast<int>(start & 0xFFFFu);
    Transfer pointer;
    pointer.messages = {{.address = device.writeAddress(), .write = {high, low}}};
    pointer.kind = "Address Pointer";
    pointer.target = target;
    pointer.targetDigits = 4;
    Transfer read;
    // Count, 32 data bytes and the PEC.
    read.messages = {{.address = device.writeAddress(), .write = {kBlockReadCommand}},
                     {.address = device.readAddress(),
                      .write = {},
                      .read = 2 + static_cast<int>(chip::kEepromPageSize)}};
    read.kind = "Block Read";
    read.target = target;
    read.targetDigits = 4;
    read.endsWithPec = true;
    read.leanReads = lean;
    return {pointer, read};
}

std::optional<BlockReadResult> blockRead(Device& device, unsigned base) {
    Globals& g = device.globals();
    base &= 0xFFFFu;
    // The pointer write AEh, high, low would be a register write below 8000h.
    if ((base >> 8) < kEepromAddressHighMin) return std::nullopt;
    if (!device.available()) return std::nullopt;
    g.EEAddrHigh = static_cast<std::int16_t>(base >> 8);
    g.EEAddrLow = static_cast<std::int16_t>(base & 0xFF);
    const auto transfers = blockReadTransfers(device, base, false);
    const auto records = device.transferHeld(transfers, false);
    if (!records || records->size() != 2) return std::nullopt;
    const TransactionRecord& r = records->back();
    BlockReadResult result;
    if (r.received.size() != 2 + result.data.size()) return std::nullopt;
    result.count = r.received.front();
    std::copy(r.received.begin() + 1, r.received.end() - 1, result.data.begin());
    result.pec = r.received.back();
    // Matched, not merely "no mismatch": a read that failed compared no PEC.
    result.pecOk = r.pecReceived >= 0 && r.pecExpected >= 0 && !r.pecMismatch();
    return result;
}

}  // namespace kestrel
