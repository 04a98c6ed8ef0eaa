#include "device/diagnostics.h"

#include "chip/transaction_kinds.h"
#include "device/text_rules.h"

namespace kestrel {

std::string targetText(const TransactionRecord& r) {
    if (r.target < 0) return {};
    if (r.targetDigits == 2) return text::byteText(static_cast<unsigned>(r.target)) + "h";
    const std::string digits = text::hexText(static_cast<unsigned>(r.target) & 0xFFFFu);
    return std::string(digits.size() < 4 ? 4 - digits.size() : 0, '0') + digits + "h";
}

std::string diagnose(const TransactionRecord& r) {
    if (!r.portError.empty()) return r.portError;
    if (r.sdaStuckLow) return "SDA stuck low";
    if (!r.sent.empty() && r.sent[0].ack == 0)
        return "No acknowledge from " + text::byteText(r.sent[0].value & 0xFEu) + "h";
    for (std::size_t i = 1; i < r.sent.size(); ++i) {
        if (r.sent[i].ack != 0) continue;
        const bool addressByte = i <= (r.targetDigits == 4 ? 2u : 1u) && r.target >= 0;
        if (addressByte && r.targetDigits == 2)
            return "Register " + targetText(r) + " not acknowledged";
        if (addressByte) return "EEPROM address " + targetText(r) + " not acknowledged";
        // The EEPROM read clocks its address bytes' acknowledges itself, so a
        // chip that refuses the address shows it by refusing the read phase.
        if (r.kind == chip::kEepromRead && i == 3)
            return "EEPROM address " + targetText(r) + " not acknowledged";
        return "Byte " + text::byteText(r.sent[i].value) + "h not acknowledged";
    }
    if (r.pecMismatch()) {
        const std::string where = r.target >= 0 ? " at " + targetText(r) : std::string();
        return "PEC mismatch" + where + ": received " +
               text::byteText(static_cast<unsigned>(r.pecReceived)) + ", expected " +
               text::byteText(static_cast<unsigned>(r.pecExpected));
    }
    // A block read: its count byte, that many data bytes and the PEC.
    if ((r.kind == chip::kBlockRead || r.kind == chip::kEepromReadByBlock) && !r.received.empty()) {
        const std::size_t data = r.received.size() >= 2 ? r.received.size() - 2 : 0;
        if (r.received[0] != chip::kBlockReadCount || data != r.received[0])
            return "Block count " + text::byteText(r.received[0]) + "h, " + std::to_string(data) +
                   " bytes read";
    }
    return {};
}

}  // namespace kestrel
