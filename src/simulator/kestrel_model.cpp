#include "simulator/kestrel_model.h"

#include <chrono>

#include "bus/crc8.h"
#include "chip/kestrel_map.h"
#include "chip/register_bits.h"

namespace kestrel::sim {

namespace {

constexpr int kLatchedStatus = 0x2A;
constexpr std::uint8_t kPageEraseCommand = chip::kPageEraseCommand;
constexpr std::uint8_t kBlockReadCommand = chip::kBlockReadCommand;

// Reset values of 00h..1Dh: a powered evaluation board with its trims at
// mid-scale, PS ON set in Config 2, and the chip's ID and revision.
constexpr std::array<std::uint8_t, 0x1E> kResetValues = {
    0x01, 0x00, 0x10, 0x00, 0x80, 0x40, 0x40, 0x00, 0x10, 0x20,  // 00h..09h
    0x20, 0x00, 0x08, 0x00, 0x04, 0x00, 0x5C, 0x00, 0x00, 0x00,  // 0Ah..13h
    0x80, 0x80, 0x2D, 0xE5, 0x10, 0x80, 0x00, 0x00, 0x4B, 0x21,  // 14h..1Dh
};

bool isEepromCommandByte(std::uint8_t b) {
    return b >= 0x80 && b != kPageEraseCommand && b != kBlockReadCommand;
}

// Registers the chip answers to: the live ones and the latched status.
bool isImplementedRegister(std::uint8_t r) {
    return r <= 0x1D || (r >= kLatchedStatus && r <= kLatchedStatus + 2);
}

// High bytes of an address inside the EEPROM array.
bool isEepromHighByte(std::uint8_t b) {
    return b == 0x80 || b == 0x81;
}

}  // namespace

KestrelModel::KestrelModel(std::uint32_t seed) : random_(seed == 0 ? 1 : seed) {
    for (std::size_t i = 0; i < kResetValues.size(); ++i) regs_[i] = kResetValues[i];
    for (int i = 0; i < 3; ++i) regs_[kLatchedStatus + i] = regs_[i];
    eeprom_.fill(0xFF);
    // The first page holds the boot image the chip's trims come from.
    for (std::size_t i = 0; i < kResetValues.size(); ++i) eeprom_[i] = kResetValues[i];
    written_.reserve(8);
}

std::uint8_t KestrelModel::writableMask(int address) {
    return chip::writableBits(address);
}

void KestrelModel::setLiveStatus(int index, std::uint8_t value) {
    regs_.at(static_cast<std::size_t>(index)) = value;
    regs_[kLatchedStatus + index] |= value;
}

std::uint8_t KestrelModel::eeprom(int address) const {
    return eepromOrBlank(address);
}

void KestrelModel::setEeprom(int address, std::uint8_t value) {
    const int offset = address - kEepromBase;
    if (offset >= 0 && offset < kEepromSize) eeprom_[static_cast<std::size_t>(offset)] = value;
}

std::uint8_t KestrelModel::eepromOrBlank(int address) const {
    const int offset = address - kEepromBase;
    if (offset < 0 || offset >= kEepromSize) return 0xFF;
    return eeprom_[static_cast<std::size_t>(offset)];
}

std::uint64_t KestrelModel::now() const {
    if (clock_) return clock_();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

bool KestrelModel::busy() const {
    return options_.busyTime && busyUntil_ != 0 && now() < busyUntil_;
}

bool KestrelModel::respondsTo(std::uint8_t addressByte) const {
    return present_ && (addressByte == kBroadcastAddress || addressByte == strap_);
}

bool KestrelModel::onAddressed(std::uint8_t addressByte, bool repeated) {
    if (!repeated) {
        written_.clear();
        crc_ = 0;
        readPhase_ = false;
        rejected_ = false;
        masterBytes_ = 0;
        follow_ = Follow::Nothing;
        eepromRead_ = eepromReadNext_;
        eepromReadNext_ = false;
    }
    ++masterBytes_;
    if (masterBytes_ == nackByte_) rejected_ = true;
    // A chip that is programming its EEPROM does not answer at all.
    if (busy()) rejected_ = true;
    if (rejected_) return false;
    crc_ = crc8Update(crc_, addressByte);
    if ((addressByte & 1) != 0) {
        readPhase_ = true;
        prepareReply();
    }
    return true;
}

bool KestrelModel::byteFitsTransaction(std::uint8_t byte) const {
    const std::size_t i = written_.size();  // position after the address byte
    if (readPhase_) return false;           // the master writes nothing after a read
    if (i == 0) {
        if (byte < 0x80) return isImplementedRegister(byte);
        return byte == kBlockReadCommand || byte == kPageEraseCommand || isEepromHighByte(byte);
    }
    const std::uint8_t first = written_[0];
    if (first < 0x80) return i == 1;  // register, data
    if (first == kBlockReadCommand) return false;
    if (first == kPageEraseCommand) {
        if (i == 1) return isEepromHighByte(byte);
        if (i == 2) return true;
        return i == 3 && byte == 0xFF;  // the confirmation
    }
    return i <= 2;  // address high, address low, data
}

bool KestrelModel::startsProgramming() const {
    const std::size_t n = written_.size();
    if (rejected_ || readPhase_ || n == 0) return false;
    if (written_[0] == kPageEraseCommand) return n == 4 && written_[3] == chip::kEraseConfirm;
    return options_.busyAfterZeroWrite && isEepromCommandByte(written_[0]) && n == 3 &&
           written_[2] == 0x00;
}

bool KestrelModel::onByteWritten(std::uint8_t byte) {
    ++masterBytes_;
    if (masterBytes_ == nackByte_) rejected_ = true;
    if (options_.strictAck && !rejected_ && !byteFitsTransaction(byte)) rejected_ = true;
    if (rejected_) return false;
    crc_ = crc8Update(crc_, byte);
    if (written_.size() < 8) written_.push_back(byte);
    if (options_.busyTime) lastAckAt_ = now();
    // Taken, but the acknowledge slot is the master's.
    if (options_.eepromAddressUnacked && eepromRead_ && written_.size() <= 2 &&
        isEepromCommandByte(written_[0]))
        return false;
    return true;
}

void KestrelModel::prepareReply() {
    replyPos_ = 0;
    replyLength_ = 0;
    auto add = [this](std::uint8_t b) { reply_[static_cast<std::size_t>(replyLength_++)] = b; };
    const std::size_t n = written_.size();
    if (n >= 1 && written_[0] == kBlockReadCommand) {
        add(blockCount_);
        const int count = options_.countMovesPec ? blockCount_ : 32;
        for (int i = 0; i < count; ++i) add(eepromOrBlank(pointer_ + i));
        follow_ = Follow::Eeprom;
        followAddress_ = pointer_ + count;
    } else if (n == 1 && written_[0] < 0x80) {
        add(written_[0] < kRegisterSpace ? regs_[written_[0]] : 0x00);
        follow_ = Follow::Registers;
        followAddress_ = written_[0] + 1;
    } else if (n == 2 && isEepromCommandByte(written_[0])) {
        add(eepromOrBlank((written_[0] << 8) | written_[1]));
        follow_ = Follow::Eeprom;
        followAddress_ = ((written_[0] << 8) | written_[1]) + 1;
    } else {
        return;  // nothing sensible to answer: the line stays high (FFh)
    }
    add(0);  // placeholder for the PEC, computed when it is sent
}

std::uint8_t KestrelModel::followingByte() {
    if (!options_.sendPastEnd) return 0xFF;
    const int a = followAddress_++;
    switch (follow_) {
        case Follow::Registers:
            return regs_[static_cast<std::size_t>(a % kRegisterSpace)];
        case Follow::Eeprom:
            return eepromOrBlank(a);
        case Follow::Nothing:
            break;
    }
    return 0xFF;
}

std::uint8_t KestrelModel::nextByteToSend() {
    // The master acknowledged the last byte: a real chip goes on sending.
    if (replyPos_ >= replyLength_) return followingByte();
    if (replyPos_ == replyLength_ - 1) {
        ++replyPos_;
        return corruptPec_ ? static_cast<std::uint8_t>(crc_ ^ 0x5A) : crc_;
    }
    const std::uint8_t b = reply_[static_cast<std::size_t>(replyPos_++)];
    crc_ = crc8Update(crc_, b);
    return b;
}

void KestrelModel::onStopCondition() {
    if (options_.busyTime && startsProgramming()) busyUntil_ = lastAckAt_ + kBusyMicros;
    if (!readPhase_ && !rejected_) commitWrite();
    written_.clear();
    rejected_ = false;
    ++transactions_;
    if (activity_) stepStatus();
}

void KestrelModel::commitWrite() {
    const std::size_t n = written_.size();
    if (n == 0) return;
    const std::uint8_t first = written_[0];
    if (first < 0x80) {
        if (n == 2 && first < kRegisterSpace) {
            const std::uint8_t mask = writableMask(first);
            regs_[first] = static_cast<std::uint8_t>((regs_[first] & ~mask) | (written_[1] & mask));
        }
        return;
    }
    if (first == kPageEraseCommand) {
        if (n == 4 && written_[3] == chip::kEraseConfirm) {
            const int page = ((written_[1] << 8) | written_[2]) & ~0x1F;
            for (int i = 0; i < 32; ++i) setEeprom(page + i, 0xFF);
        }
        return;
    }
    if (first == kBlockReadCommand) return;
    const int address = (first << 8) | (n >= 2 ? written_[1] : 0);
    if (n == 2) pointer_ = address;
    if (n == 3) {
        const std::uint8_t cell =
            options_.clearOnlyCells ? eepromOrBlank(address) & written_[2] : written_[2];
        setEeprom(address, cell);
    }
}

void KestrelModel::stepStatus() {
    // xorshift32: cheap, seedable, the same sequence on every run.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    if ((random_ & 0x7) != 0) return;  // about one change every eight transactions
    const int index = static_cast<int>((random_ >> 8) % 3);
    const auto bit = static_cast<std::uint8_t>(1u << ((random_ >> 12) & 7));
    setLiveStatus(index, static_cast<std::uint8_t>(regs_[static_cast<std::size_t>(index)] ^ bit));
}

}  // namespace kestrel::sim
