#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// What one transaction put on the bus and saw, from the master's side: the
// bytes it sent with the acknowledge it sampled, the bytes it read, the PEC
// check and, when captured, every line change and SDA sample.
struct TransactionRecord {
    struct SentByte {
        std::uint8_t value;
        // 1: acknowledged, 0: not acknowledged, -1: not sampled (the master
        // held SDA itself in that slot).
        std::int8_t ack;
    };
    // A line event: a data-register write (line state 0..3), or an SDA
    // sample with kSample set and kSampleLow when SDA read low.
    static constexpr std::uint8_t kSample = 0x80;
    static constexpr std::uint8_t kSampleLow = 0x40;

    std::uint64_t sequence = 0;  // counts transactions since start
    double startMs = 0;          // milliseconds since the bus was created
    std::string kind;            // "Read Byte", "EEPROM Write", ...; empty for raw use
    int target = -1;             // register or EEPROM address, -1 for none
    int targetDigits = 2;        // 2 for a register, 4 for an EEPROM address
    std::vector<SentByte> sent;
    std::vector<std::uint8_t> received;
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
            if (b.ack == 0) return true;
        return false;
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
