#pragma once

#include <QString>
#include <functional>

#include "device/eeprom_ops.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

// False, with a note to the user, when the chip would take an address of the
// run of EEPROM addresses as a register write.
inline bool eepromRangeAllowed(unsigned first, unsigned count,
                               const std::function<void(const QString&)>& notify) {
    const std::string refusal = eeprom::registerSpaceRefusal(first, count);
    if (refusal.empty()) return true;
    notify(ui::qstr(refusal));
    return false;
}

}  // namespace kestrel
