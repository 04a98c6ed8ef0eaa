#pragma once

#include <vector>

#include "bus/transaction_record.h"
#include "capture/capture_lines.h"

namespace kestrel::capture {

// The transactions of captured SCL and SDA as the bus monitor lists its own:
// one record from each START to its STOP, with the bytes sent (and their
// acknowledges, from the wire), the bytes read, the PEC check of a read from
// the chip, the line changes for the waveform, and the transaction named as
// the program names it ("Read Byte", "Page Erase", ...; "Switch Write" for a
// PLOVER; "Probe" for an address alone; "Other Device" for another
// address; "Malformed" for a byte cut short, a missing STOP or a shape of no
// known transaction). A zero write and an EEPROM write of 00h differ only in
// the EEPROM cycle the master holds before the STOP: half the cycle or more
// names a zero write. `kestrelAddress` is the chip's address byte (write).
std::vector<TransactionRecord> decodeCapture(const CaptureLines& lines,
                                             unsigned kestrelAddress = 0xAE);

}  // namespace kestrel::capture
