#pragma once

#include <QString>
#include <functional>
#include <string>

#include "device/eeprom.h"
#include "device/outcome.h"

namespace kestrel::ui {

// True when an operation was refused before anything was sent. Says why
// through `notify`, unless the bus refused it and has told the user itself.
inline bool refused(const std::string& refusal, bool byBus,
                    const std::function<void(const QString&)>& notify) {
    if (refusal.empty()) return false;
    if (!byBus && notify) notify(QString::fromStdString(refusal));
    return true;
}
inline bool refused(const Outcome& o, const std::function<void(const QString&)>& notify) {
    return refused(o.refusal, o.busRefusal, notify);
}
inline bool refused(const eeprom::Run& r, const std::function<void(const QString&)>& notify) {
    return refused(r.refusal, r.busRefusal, notify);
}

}  // namespace kestrel::ui
