#pragma once

#include <QString>
#include <functional>
#include <string>

#include "device/eeprom.h"
#include "device/outcome.h"

namespace kestrel::ui {

// True when an operation was refused before anything was sent; says why
// through `notify`.
inline bool refused(const std::string& refusal, const std::function<void(const QString&)>& notify) {
    if (refusal.empty()) return false;
    if (notify) notify(QString::fromStdString(refusal));
    return true;
}
inline bool refused(const Outcome& o, const std::function<void(const QString&)>& notify) {
    return refused(o.refusal, notify);
}
inline bool refused(const eeprom::Run& r, const std::function<void(const QString&)>& notify) {
    return refused(r.refusal, notify);
}

}  // namespace kestrel::ui
