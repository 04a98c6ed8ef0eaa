#include "device/captions.h"

#include "device/text_rules.h"

namespace kestrel {

Captions captionsFor(const TransactionRecord& r) {
    Captions c;
    const bool twoRead = r.received.size() >= 2;
    if (r.kind == "Write Byte" || r.kind == "Switch Write") {
        if (!r.sent.empty()) c.ramBits = r.sent.back().value;
        c.pec = "";
    } else if (r.kind == "Read Byte") {
        if (twoRead) c.pec = text::hexText(r.received[1]);
    } else if (r.kind == "EEPROM Read") {
        if (twoRead) {
            c.eeByteData = text::hexText(r.received[0]);
            c.pecEE = text::hexText(r.received[1]);
        }
    } else if (r.kind == "EEPROM Write") {
        c.pecEE = "";
    }
    return c;
}

}  // namespace kestrel
