#pragma once

#include <string>

#include "bus/transfer.h"
#include "device/captions.h"

namespace kestrel::testing {

// Keeps what the main window's register and EEPROM byte controls would show
// after each transaction it observes.
class RecordingDisplay final : public TransactionObserver {
  public:
    void transactionEnded(const TransactionRecord& record) override {
        const Captions c = captionsFor(record);
        if (c.ramBits) ramBits = bits(*c.ramBits);
        if (c.pec) pec = *c.pec;
        if (c.eeByteData) eeByteData = *c.eeByteData;
        if (c.pecEE) pecEE = *c.pecEE;
    }

    // Captions from bit 7 down to bit 0, e.g. "00000100".
    std::string ramBits = "00000000";
    std::string pec = "-";
    std::string eeByteData = "00";
    std::string pecEE = "-";

  private:
    static std::string bits(std::uint8_t v) {
        std::string s;
        for (int i = 7; i >= 0; --i) s += ((v >> i) & 1) ? '1' : '0';
        return s;
    }
};

}  // namespace kestrel::testing
