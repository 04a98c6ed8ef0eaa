#include "device/register_map.h"

#include "device/text_rules.h"

namespace kestrel {

std::string readoutLine(std::size_t reg, int value) {
    return registerListLine(reg) + text::byteText(static_cast<unsigned>(reg)) +
           "h: " + text::byteText(static_cast<unsigned>(value)) + "h  ";
}

}  // namespace kestrel
