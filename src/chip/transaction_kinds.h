#pragma once

#include <array>
#include <cstdint>

#include "chip/kestrel_map.h"

// The transactions of the KESTREL and the PLOVER switches as they look on
// the wire, in one table: the device layer names its transfers from it, the
// capture decoder names what a logic analyser recorded by it, and the build
// writes it into the sigrok decoder (chip.py), so the three cannot differ.
namespace kestrel::chip {

inline constexpr char kProbe[] = "Probe";
inline constexpr char kSwitchWrite[] = "Switch Write";
inline constexpr char kOtherDevice[] = "Other Device";
inline constexpr char kBlockRead[] = "Block Read";
inline constexpr char kReadByte[] = "Read Byte";
inline constexpr char kEepromRead[] = "EEPROM Read";
inline constexpr char kPageErase[] = "Page Erase";
inline constexpr char kAddressPointer[] = "Address Pointer";
inline constexpr char kZeroWrite[] = "Zero Write";
inline constexpr char kEepromWrite[] = "EEPROM Write";
inline constexpr char kWriteByte[] = "Write Byte";
// A transaction of no known shape, one cut short, or one with a byte whose
// acknowledge clock never came.
inline constexpr char kMalformed[] = "Malformed";
// The program's name for an EEPROM byte read it made as a block read (an I2C
// adapter that cannot take the address bytes' acknowledge slots); on the
// wire it is a Block Read.
inline constexpr char kEepromReadByBlock[] = "EEPROM Read (block)";

// A zero write and an EEPROM write of 00h differ only in the EEPROM cycle
// the master holds before the STOP: from half the cycle on, a zero write.
inline constexpr double kZeroWriteHoldMs = kEepromHoldMs / 2.0;

// One byte written after the address byte.
struct BytePattern {
    enum Kind : std::uint8_t { Any, Register, EepromHigh, Exactly };
    Kind kind = Any;
    std::uint8_t value = 0;  // for Exactly

    constexpr bool matches(unsigned b) const {
        switch (kind) {
            case Register:
                return b < static_cast<unsigned>(kEepromAddressHighMin);
            case EepromHigh:
                return b >= static_cast<unsigned>(kEepromAddressHighMin) && b <= 0xFF;
            case Exactly:
                return b == value;
            default:
                return true;
        }
    }
};

// Which slave the first address byte names.
enum class Slave : std::uint8_t {
    Any,      // any address byte
    Kestrel,  // the KESTREL's (write)
    Plover,   // a PLOVER switch's
    Other,    // anything but the KESTREL's write address: any shape at all
};
// What follows a repeated START and the read address (the first address | 1).
enum class ReadPhase : std::uint8_t {
    None,   // no repeated START: one address and the bytes written
    Bytes,  // `readCount` bytes read
    Block,  // a count byte, that many bytes and the PEC (at least two bytes)
};
// The EEPROM cycle held between the last acknowledge and the STOP.
enum class Hold : std::uint8_t { Any, Held };
// Which bytes name the register or EEPROM address the transaction works on.
enum class TargetFrom : std::uint8_t {
    None,
    Register,   // the first byte written (two digits)
    Eeprom,     // the first two bytes written (four digits)
    ErasePage,  // the second and third bytes written
    Pointer,    // the address the transaction just before set
};

struct KindShape {
    const char* name;
    Slave slave;
    std::uint8_t writeCount;  // bytes written after the address byte
    std::array<BytePattern, 4> written;
    ReadPhase read;
    std::uint8_t readCount;  // for ReadPhase::Bytes
    bool pec;                // the last byte read is a PEC over every byte before it
    Hold hold;
    TargetFrom target;
    bool setsPointer;  // sets the EEPROM address a block read reads from
    // The sigrok decoder's words: {a} the address byte, {w0}..{w3} the bytes
    // written, {r0} the first byte read, {reg} the register's name, {at} " "
    // and the pointer's address (or nothing), {block} a block's data bytes,
    // {wire} every byte after the address with its acknowledge, as the
    // monitor lists it. Hex digits without "h".
    const char* text;
};

namespace shape {
inline constexpr BytePattern kAny{};
inline constexpr BytePattern kRegister{BytePattern::Register, 0};
inline constexpr BytePattern kHigh{BytePattern::EepromHigh, 0};
constexpr BytePattern exactly(int value) {
    return {BytePattern::Exactly, static_cast<std::uint8_t>(value)};
}
}  // namespace shape

// In order: a transaction is the first row it fits; one that fits none is
// Malformed. Every byte must have had its acknowledge clock and the
// transaction its STOP; the master's acknowledges of bytes read are not
// part of the shape.
// clang-format off
inline constexpr std::array<KindShape, 11> kTransactionKinds = {{
    // name, slave, bytes written and their patterns, read phase and bytes,
    // PEC, hold, target, sets the pointer, the sigrok decoder's words
    {kProbe, Slave::Any, 0, {},
     ReadPhase::None, 0, false, Hold::Any, TargetFrom::None, false,
     "Probe {a}h"},
    {kSwitchWrite, Slave::Plover, 1, {},
     ReadPhase::None, 0, false, Hold::Any, TargetFrom::None, false,
     "Switch Write {a}h: {w0}h"},
    {kOtherDevice, Slave::Other, 0, {},
     ReadPhase::None, 0, false, Hold::Any, TargetFrom::None, false,
     "Other Device {a}h: {wire}"},
    {kBlockRead, Slave::Kestrel, 1, {shape::exactly(kBlockReadCommand)},
     ReadPhase::Block, 0, true, Hold::Any, TargetFrom::Pointer, false,
     "Block Read{at}, count {r0}h: {block}"},
    {kReadByte, Slave::Kestrel, 1, {shape::kRegister},
     ReadPhase::Bytes, 2, true, Hold::Any, TargetFrom::Register, false,
     "Read Byte {w0}h {reg}: {r0}h"},
    {kEepromRead, Slave::Kestrel, 2, {shape::kHigh, shape::kAny},
     ReadPhase::Bytes, 2, true, Hold::Any, TargetFrom::Eeprom, false,
     "EEPROM Read {w0}{w1}h: {r0}h"},
    {kPageErase, Slave::Kestrel, 4,
     {shape::exactly(kPageEraseCommand), shape::kAny, shape::kAny, shape::exactly(kEraseConfirm)},
     ReadPhase::None, 0, false, Hold::Any, TargetFrom::ErasePage, false,
     "Page Erase {w1}{w2}h, confirmed {w3}h"},
    {kAddressPointer, Slave::Kestrel, 2, {shape::kHigh, shape::kAny},
     ReadPhase::None, 0, false, Hold::Any, TargetFrom::Eeprom, true,
     "Address Pointer {w0}{w1}h"},
    {kZeroWrite, Slave::Kestrel, 3, {shape::kHigh, shape::kAny, shape::exactly(0)},
     ReadPhase::None, 0, false, Hold::Held, TargetFrom::Eeprom, false,
     "Zero Write {w0}{w1}h"},
    {kEepromWrite, Slave::Kestrel, 3, {shape::kHigh, shape::kAny, shape::kAny},
     ReadPhase::None, 0, false, Hold::Any, TargetFrom::Eeprom, false,
     "EEPROM Write {w0}{w1}h: {w2}h"},
    {kWriteByte, Slave::Kestrel, 2, {shape::kRegister, shape::kAny},
     ReadPhase::None, 0, false, Hold::Any, TargetFrom::Register, false,
     "Write Byte {w0}h {reg}: {w1}h"},
}};
// clang-format on

// The row named `name`, or nullptr (kMalformed and the program's own names
// have none).
constexpr const KindShape* kindShape(const char* name) {
    for (const KindShape& k : kTransactionKinds) {
        const char* a = k.name;
        const char* b = name;
        while (*a != 0 && *a == *b) ++a, ++b;
        if (*a == *b) return &k;
    }
    return nullptr;
}

}  // namespace kestrel::chip
