#include "device/captions.h"

#include "device/device.h"
#include "device/text_rules.h"

namespace kestrel {

Captions captionsFor(const TransactionRecord& r) {
    Captions c;
    const bool twoRead = r.received.size() >= 2;
    if (r.kind == chip::kWriteByte || r.kind == chip::kSwitchWrite) {
        if (!r.sent.empty()) c.ramBits = r.sent.back().value;
        c.pec = "";
    } else if (r.kind == chip::kReadByte) {
        if (twoRead) c.pec = text::hexText(r.received[1]);
    } else if (r.kind == chip::kEepromRead) {
        if (twoRead) {
            c.eeByteData = text::hexText(r.received[0]);
            c.pecEE = text::hexText(r.received[1]);
        }
    } else if (r.kind == Device::kByteReadsByBlock) {
        // Byte reads made as a block read: the block's last byte was read last.
        if (r.received.size() >= 2 + chip::kEepromPageSize) {
            c.eeByteData = text::hexText(r.received[chip::kEepromPageSize]);
            c.pecEE = text::hexText(r.received.back());
        }
    } else if (r.kind == chip::kEepromWrite) {
        c.pecEE = "";
    }
    return c;
}

}  // namespace kestrel
