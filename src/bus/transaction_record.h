#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// What one transaction put on the bus and saw: the bytes sent with the
// slave's acknowledge, the bytes read with the master's, where the repeated
// STARTs came, the PEC check and, when captured, every line change and SDA
// sample. The bytes sent and read are kept apart (what most readers want);
// the repeated STARTs put them back in wire order: after each address byte
// come the bytes its direction says, up to the next repeated START.
struct TransactionRecord {
    // An acknowledge slot as the wire showed it.
    static constexpr std::int8_t kAck = 1;          // SDA low in the ninth clock
    static constexpr std::int8_t kNack = 0;         // SDA high in the ninth clock
    static constexpr std::int8_t kNotSeen = -1;     // nobody looked (an I2C adapter)
    static constexpr std::int8_t kNoAckClock = -2;  // a STOP or START came before the ninth clock

    struct SentByte {
        std::uint8_t value;
        std::int8_t ack;  // the slave's: kAck, kNack, kNotSeen or kNoAckClock
    };
    // A repeated START: how many bytes had been sent and read before it.
    struct RepeatedStart {
        std::uint32_t sent;
        std::uint32_t received;
        bool operator==(const RepeatedStart&) const = default;
    };
    // A line event: a data-register write (line state 0..3), or an SDA
    // sample with kSample set and kSampleLow when SDA read low.
    static constexpr std::uint8_t kSample = 0x80;
    static constexpr std::uint8_t kSampleLow = 0x40;

    std::uint64_t sequence = 0;  // counts transactions since start
    double startMs = 0;          // milliseconds since the first START (of the bus, of a capture)
    std::string kind;            // "Read Byte", "EEPROM Write", ...; empty for raw use
    int target = -1;             // register or EEPROM address, -1 for none
    int targetDigits = 2;        // 2 for a register, 4 for an EEPROM address
    std::vector<SentByte> sent;
    std::vector<std::uint8_t> received;
    // The master's acknowledge of each byte read (as for SentByte::ack);
    // shorter than `received` where nobody recorded them.
    std::vector<std::int8_t> receivedAcks;
    std::vector<RepeatedStart> repeatedStarts;
    int pecReceived = -1;
    int pecExpected = -1;
    bool sdaStuckLow = false;
    // The port or adapter itself failed; the transaction did not run to its
    // end (never a missing acknowledge: nothing answered for the chip). What
    // failed, in the user's words; empty when the port worked throughout.
    std::string portError;
    std::vector<std::uint8_t> lines;

    bool pecMismatch() const {
        return pecReceived >= 0 && pecExpected >= 0 && pecReceived != pecExpected;
    }
    bool anyNack() const {
        for (const SentByte& b : sent)
            if (b.ack == kNack) return true;
        return false;
    }
    // The master's acknowledge of byte `i` read.
    std::int8_t receivedAck(std::size_t i) const {
        return i < receivedAcks.size() ? receivedAcks[i] : kNotSeen;
    }
    bool faulty() const { return sdaStuckLow || !portError.empty() || anyNack() || pecMismatch(); }
    void clear();
};

// Sees every transaction when it ends.
class TransactionObserver {
  public:
    virtual ~TransactionObserver() = default;
    virtual void transactionEnded(const TransactionRecord& record) = 0;
};

}  // namespace kestrel
