#include "device/block_read.h"

#include <algorithm>

#include "device/text_rules.h"

namespace kestrel {

std::array<Transfer, 2> blockReadTransfers(Device& device, unsigned start, bool lean,
                                           const char* kind) {
    const auto high = static_cast<std::uint8_t>((start >> 8) & 0xFF);
    const auto low = static_cast<std::uint8_t>(start & 0xFF);
    const int target = static_cast<int>(start & 0xFFFFu);
    Transfer pointer;
    pointer.messages = {{.address = device.writeAddress(), .write = {high, low}}};
    pointer.kind = chip::kAddressPointer;
    pointer.target = target;
    pointer.targetDigits = 4;
    Transfer read;
    // Count, 32 data bytes and the PEC.
    read.messages = {{.address = device.writeAddress(), .write = {kBlockReadCommand}},
                     {.address = device.readAddress(),
                      .write = {},
                      .read = 2 + static_cast<int>(chip::kEepromPageSize)}};
    read.kind = kind;
    read.target = target;
    read.targetDigits = 4;
    read.endsWithPec = true;
    read.leanReads = lean;
    return {pointer, read};
}

BlockReadResult blockRead(Device& device, unsigned base) {
    Globals& g = device.globals();
    base &= 0xFFFFu;
    BlockReadResult result;
    // The pointer write AEh, high, low would be a register write below 8000h.
    if (std::string why = registerSpaceRefusal(base); !why.empty()) {
        result.outcome = Outcome::refusedBy(std::move(why), false);
        return result;
    }
    g.EEAddrHigh = static_cast<std::int16_t>(base >> 8);
    g.EEAddrLow = static_cast<std::int16_t>(base & 0xFF);
    const auto transfers = blockReadTransfers(device, base, false);
    result.outcome = device.transferHeld(transfers, false);
    if (result.outcome.refused()) return result;
    const std::vector<std::uint8_t>& r = result.outcome.received();
    if (result.outcome.records.size() != 2 || r.size() != 2 + result.data.size()) {
        result.outcome.fault = "Block read at " + text::suffixedAddressText(base) + " cut short";
        return result;
    }
    result.count = r.front();
    std::copy(r.begin() + 1, r.end() - 1, result.data.begin());
    result.pec = r.back();
    return result;
}

}  // namespace kestrel
