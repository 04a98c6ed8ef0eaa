#include "bus/lpt_discovery.h"

#include <charconv>
#include <string_view>

namespace kestrel {

namespace {

// Returns n for "parportN", -1 for any other name.
int kernelPortNumber(std::string_view name) {
    constexpr std::string_view prefix = "parport";
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return -1;
    const std::string_view digits = name.substr(prefix.size());
    int n = -1;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || n < 0) return -1;
    return n;
}

}  // namespace

std::array<LptSlot, 3> assignLptSlots(const std::vector<ListedPort>& listed) {
    std::array<LptSlot, 3> slots{};
    for (int i = 0; i < static_cast<int>(listed.size()); ++i) {
        const int n = kernelPortNumber(listed[i].name);
        if (n < 0 || n >= 3) continue;
        LptSlot& slot = slots[n];
        slot.listIndex = i;
        // The status register at base + 1 must fit a 16-bit address as well.
        if (listed[i].baseAddr == 0 || listed[i].baseAddr > 0xFFFE) {
            slot.address = 0;
            slot.state = 1;
        } else {
            slot.address = static_cast<std::uint16_t>(listed[i].baseAddr);
            slot.state = 0;
        }
    }
    return slots;
}

}  // namespace kestrel
