#include "simulator/kestrel_model.h"

#include "bus/crc8.h"

namespace kestrel::sim {

namespace {

constexpr int kLatchedStatus = 0x2A;
constexpr std::uint8_t kPageEraseCommand = 0xA2;
constexpr std::uint8_t kBlockReadCommand = 0xA1;

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
    switch (address) {
        case 0x04:
            return 0xFB;  // bit 2 not connected
        case 0x05:
        case 0x06:
            return 0xFE;  // bit 0 not stored
        case 0x16:
            return 0x3F;  // bits 7, 6 not stored
        case 0x17:
            return 0xF7;  // bit 3 not stored
        default:
            if (address >= 0x03 && address <= 0x1B) return 0xFF;
            return 0x00;  // status, ID, revision, latched, unimplemented
    }
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

bool KestrelModel::respondsTo(std::uint8_t addressByte) const {
    return present_ && (addressByte == kBroadcastAddress || addressByte == strap_);
}

void KestrelModel::onAddressed(std::uint8_t addressByte, bool repeated) {
    if (!repeated) {
        written_.clear();
        crc_ = 0;
        readPhase_ = false;
    }
    crc_ = crc8Update(crc_, addressByte);
    if ((addressByte & 1) != 0) {
        readPhase_ = true;
        prepareReply();
    }
}

bool KestrelModel::onByteWritten(std::uint8_t byte) {
    crc_ = crc8Update(crc_, byte);
    if (written_.size() < 8) written_.push_back(byte);
    return true;
}

void KestrelModel::prepareReply() {
    replyPos_ = 0;
    replyLength_ = 0;
    auto add = [this](std::uint8_t b) { reply_[static_cast<std::size_t>(replyLength_++)] = b; };
    const std::size_t n = written_.size();
    if (n >= 1 && written_[0] == kBlockReadCommand) {
        add(blockCount_);
        for (int i = 0; i < 32; ++i) add(eepromOrBlank(pointer_ + i));
    } else if (n == 1 && written_[0] < 0x80) {
        add(written_[0] < kRegisterSpace ? regs_[written_[0]] : 0x00);
    } else if (n == 2 && isEepromCommandByte(written_[0])) {
        add(eepromOrBlank((written_[0] << 8) | written_[1]));
    } else {
        return;  // nothing sensible to answer: the line stays high (FFh)
    }
    add(0);  // placeholder for the PEC, computed when it is sent
}

std::uint8_t KestrelModel::nextByteToSend() {
    if (replyPos_ >= replyLength_) return 0xFF;
    if (replyPos_ == replyLength_ - 1) {
        ++replyPos_;
        return corruptPec_ ? static_cast<std::uint8_t>(crc_ ^ 0x5A) : crc_;
    }
    const std::uint8_t b = reply_[static_cast<std::size_t>(replyPos_++)];
    crc_ = crc8Update(crc_, b);
    return b;
}

void KestrelModel::onStopCondition() {
    if (!readPhase_) commitWrite();
    written_.clear();
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
        if (n == 4 && written_[3] == 0xFF) {
            const int page = ((written_[1] << 8) | written_[2]) & ~0x1F;
            for (int i = 0; i < 32; ++i) setEeprom(page + i, 0xFF);
        }
        return;
    }
    if (first == kBlockReadCommand) return;
    const int address = (first << 8) | (n >= 2 ? written_[1] : 0);
    if (n == 2) pointer_ = address;
    if (n == 3) setEeprom(address, written_[2]);
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
