#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bus/transaction_record.h"

namespace kestrel {

// Who asked for a transaction: a person (a refusal is worth telling) or the
// status monitor's timer (a refused tick is simply skipped).
enum class Origin { User, Timer };

// One part of a transaction: a START (a repeated START from the second part
// on), the address byte, then the bytes written or read.
struct Message {
    std::uint8_t address = 0;         // the address byte; bit 0 set: a read
    std::vector<std::uint8_t> write;  // bytes sent after a write address
    int read = 0;                     // bytes read after a read address
    // Who clocks the acknowledge of each written byte: normally the slave,
    // and the master samples it; the chip's EEPROM read wants the master to
    // hold SDA low in those slots itself.
    bool masterHoldsWriteAcks = false;

    bool isRead() const { return (address & 1u) != 0; }
};

// One transaction from START to STOP, as every executor runs it. Every byte
// read is acknowledged by the master except the last.
struct Transfer {
    std::vector<Message> messages;
    const char* kind = "";     // "Read Byte", "EEPROM Write", ... for the records
    int target = -1;           // register or EEPROM address it works on, -1 for none
    int targetDigits = 2;      // 2 for a register, 4 for an EEPROM address
    bool endsWithPec = false;  // the last byte read is a PEC over all before it
    int holdMs = 0;            // the chip's EEPROM cycle: SCL held low this long before the STOP
    // Reads clocked with three port writes per bit instead of four (same edges
    // and sample points); for long reads.
    bool leanReads = false;
};

// What runs transactions on the chip: the bit-banged parallel port or a
// kernel I2C adapter. Every run returns the record of each transaction (what
// was sent with its acknowledges, what was read, the PEC check), and every
// observer sees the same record at the transaction's end.
class TransferExecutor {
  public:
    virtual ~TransferExecutor() = default;

    // Why a transaction would be refused now, in the user's words (no usable
    // port, a port that failed, a stop asked for); empty when it would be
    // granted. Lets a caller refuse a whole run at once, and say why.
    virtual std::string refusal() = 0;
    bool available(Origin = Origin::User) { return refusal().empty(); }
    // Runs `transfers` one after the other in one hold of the bus. With
    // `stopAtFault` the run ends after the first transaction that was not
    // acknowledged or failed its PEC. Nothing when the bus refused; then
    // nothing was sent.
    virtual std::optional<std::vector<TransactionRecord>> runHeld(
        std::span<const Transfer> transfers, Origin origin, bool stopAtFault) = 0;
    // The lines themselves can be driven and sampled (port test, bus clear,
    // line trace, waveforms).
    virtual bool hasLineAccess() const = 0;
    // The master can take the acknowledge slot of a byte it writes, as the
    // chip's EEPROM byte read wants (Message::masterHoldsWriteAcks): the
    // bit-banged bus holds SDA low itself; an adapter only goes on past a
    // slot nobody acknowledged when it offers I2C_FUNC_PROTOCOL_MANGLING.
    virtual bool takesAcknowledgeSlots() const = 0;
    // Keeps every line change in the records (for the bus monitor's waveform).
    virtual void setLineCapture(bool) {}
    // Refuses every later transaction.
    virtual void shutDown() noexcept = 0;

    std::optional<TransactionRecord> run(const Transfer& transfer, Origin origin = Origin::User);

    void addObserver(TransactionObserver* observer);
    void removeObserver(TransactionObserver* observer);

  protected:
    void notifyObservers(const TransactionRecord& record);

  private:
    std::vector<TransactionObserver*> observers_;
};

// Fills in the PEC check of a record whose last byte read is a PEC: the
// CRC-8 of every byte sent and read before it.
void checkPec(TransactionRecord& record);

}  // namespace kestrel
