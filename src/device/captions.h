#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bus/transaction_record.h"

namespace kestrel {

// What the main window's register and EEPROM byte controls show after a
// transaction, whichever window ran it: the `Read_Data` bits and `PEC`
// caption after register and switch transactions, `EEByteData` and `PEC_EE`
// after EEPROM byte transactions. Only what the transaction changes is set.
struct Captions {
    std::optional<std::uint8_t> ramBits;
    std::optional<std::string> pec;
    std::optional<std::string> eeByteData;
    std::optional<std::string> pecEE;
};

Captions captionsFor(const TransactionRecord& record);

}  // namespace kestrel
