#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bus/port_access.h"
#include "bus/transaction_record.h"
#include "bus/transfer.h"
#include "bus/wait_hooks.h"

namespace kestrel {

class Bus;

// One transaction's hold on the bus: port access is open and no other
// transaction may start until it is destroyed. Converts to false when the
// bus refused the request; then nothing was opened and nothing may be sent.
class BusTransaction {
  public:
    BusTransaction(BusTransaction&& other) noexcept;
    BusTransaction& operator=(BusTransaction&&) = delete;
    BusTransaction(const BusTransaction&) = delete;
    BusTransaction& operator=(const BusTransaction&) = delete;
    ~BusTransaction();

    explicit operator bool() const noexcept { return bus_ != nullptr; }

  private:
    friend class Bus;
    explicit BusTransaction(Bus* bus) noexcept : bus_(bus) {}
    Bus* bus_;
};

// The two bus lines on the parallel port, the line primitives built on them,
// the millisecond wait and the rules that keep transactions from overlapping.
//
// Every line change is exactly one write of a line state (0..3) to the data
// register; there are no delays, the bus runs as fast as the port allows.
// As a transfer executor it bit-bangs each message with these primitives.
class Bus final : public TransferExecutor {
  public:
    // `lptBase` and `portEntry` live in the program's shared state; the bus
    // reads them on every transaction, so it always drives the chosen port.
    Bus(PortAccess& port, const std::atomic<std::int16_t>& lptBase,
        const std::atomic<std::int16_t>& portEntry);
    // Never a temporary copy of the shared state.
    Bus(PortAccess&, std::atomic<std::int16_t>&&, std::atomic<std::int16_t>&&) = delete;
    Bus(PortAccess&, std::atomic<std::int16_t>&&, const std::atomic<std::int16_t>&) = delete;
    Bus(PortAccess&, const std::atomic<std::int16_t>&, std::atomic<std::int16_t>&&) = delete;

    void setWaitHooks(WaitHooks hooks) { hooks_ = std::move(hooks); }
    // Nanoseconds of a monotonic clock, for the records' times (default: the
    // steady clock). A trace's writer given the same clock shows the same times.
    void setClock(std::function<std::uint64_t()> nanos) { clock_ = std::move(nanos); }

    // Opens the port (LPT base address in the shared state) and makes sure
    // it can be claimed; done by the first transaction when nobody did it
    // before. Opening again starts afresh after a failure. Empty when the
    // port can be used, otherwise why not (then every transaction is refused
    // until the port is opened again).
    std::string connectPort();
    // Why the port cannot be used: it could not be opened, or it failed in
    // the middle of a transaction. Empty while it works (or before connectPort).
    const std::string& portFailure() const { return portFailure_; }
    // Called whenever portFailure() may have changed (the connection indicator).
    void setStateSink(std::function<void()> sink) { stateSink_ = std::move(sink); }
    // Told after the reason a failed port refuses a transaction: how to try
    // again ("Tools > Connection > Parallel port tries again").
    void setRetryHint(std::string hint) { retryHint_ = std::move(hint); }

    // Starts a transaction: opens port access with the selected entry's
    // numbers. Refused (false) when there is no usable port, when the port
    // cannot be opened or has failed, or after shutDown().
    BusTransaction begin();
    // Why begin() would be refused now; empty when it would be granted.
    std::string refusal() override;
    // Refuses every later transaction; the one now open finishes normally.
    void shutDown() noexcept override { shutDown_ = true; }

    // Runs each transfer from START to STOP with the line primitives, in one
    // hold of the port.
    std::optional<std::vector<TransactionRecord>> runHeld(std::span<const Transfer> transfers,
                                                          Origin origin, bool stopAtFault) override;
    bool hasLineAccess() const override { return true; }
    bool takesAcknowledgeSlots() const override { return true; }

    // The record of the transaction now on the wire (for the device layer to
    // name it before its STOP).
    TransactionRecord& record() { return record_; }
    // Names the transaction on the wire: its kind and the register (two
    // digits) or EEPROM address (four digits) it works on.
    void describe(const char* kind, int target = -1, int targetDigits = 2);
    // Keeps every line change in the records (for the bus monitor).
    void setLineCapture(bool on) override { captureLines_ = on; }

    // Line primitives. START samples SDA with both lines released (to catch
    // a line held low) and every acknowledge clock samples SDA while SCL is
    // high; the data-register writes are exactly those of the protocol.
    void I2CStart();
    void I2CStop();
    void I2CAckClock();
    void I2CMasterAck();
    void I2CSendByte(int value);
    int I2CReadByte();
    // The same byte read without the repeated SCL-low write before each bit:
    // the same clock edges and sample points in three port writes per bit.
    int I2CReadByteLean();

    // Waits `ms` milliseconds, holding the bus: nothing else runs on the
    // bus owner's thread meanwhile.
    void WaitMilliseconds(std::uint32_t ms);

    // Raw line access for wiring tests: one write of a line state, one SDA
    // sample (true when SDA reads low). Only inside a transaction.
    void writeLines(std::uint8_t lines) { out(lines); }
    bool sampleSdaLow();

  private:
    friend class BusTransaction;
    void endTransaction() noexcept;
    // A port call failed in this transaction: it ends at once, as a port error.
    bool portFailed() const { return !port_.fault().empty(); }
    // One transfer's messages, from START to just before the STOP.
    void clockOut(const Transfer& transfer);
    void out(std::uint8_t lines) {
        if (lptBase_ == 0) return;
        port_.Outport(static_cast<std::uint16_t>(lptBase_), lines);
        if (captureLines_) record_.lines.push_back(lines);
    }
    std::uint16_t status();
    // Who takes the next acknowledge slot's answer into the record.
    enum class Slot : std::uint8_t { None, SentByte, ReadByte };

    PortAccess& port_;
    const std::atomic<std::int16_t>& lptBase_;
    const std::atomic<std::int16_t>& portEntry_;
    WaitHooks hooks_;
    std::function<void()> stateSink_;
    std::string retryHint_;
    std::string portFailure_;
    std::int16_t connectedBase_ = 0;  // the base address connectPort opened, 0 before
    TransactionRecord record_;
    std::function<std::uint64_t()> clock_;
    std::uint64_t firstStart_ = 0;  // the clock at the bus's first START
    bool started_ = false;          // a first START was made
    bool inRecord_ = false;         // the record's first START was made
    std::uint64_t sequence_ = 0;
    bool captureLines_ = false;
    Slot slot_ = Slot::None;
    bool busy_ = false;
    bool shutDown_ = false;
};

}  // namespace kestrel
