#pragma once

#include <cstdint>

#include "simulator/wire.h"

namespace kestrel::sim {

// The bit-level side of an SMBus slave: shifts address and data bytes in on
// rising SCL, drives its acknowledge and its read bits while SCL is low,
// releases SDA when the master does not acknowledge, and stays silent when
// the address byte is not its own. A chip model builds on it by answering
// the byte-level calls below.
class SmbusSlave : public WireListener {
  public:
    void onStart() final;
    void onStop() final;
    void onSclRise(bool sda) final;
    void onSclFall() final;

  protected:
    // Whether the address byte (bit 0 cleared) belongs to this chip.
    virtual bool respondsTo(std::uint8_t addressByte) const = 0;
    // A START or repeated START followed by our address. `repeated` is true
    // only when this chip was already addressed since the START that began
    // the transaction (a repeated START after another device's bytes counts
    // as a fresh start for us). Return whether to acknowledge the address; a
    // chip that does not is left alone until the next START.
    virtual bool onAddressed(std::uint8_t addressByte, bool repeated) = 0;
    // A byte the master wrote; return whether to acknowledge it.
    virtual bool onByteWritten(std::uint8_t byte) = 0;
    // The next byte to send in a read.
    virtual std::uint8_t nextByteToSend() = 0;
    // STOP after a transaction that addressed this chip.
    virtual void onStopCondition() = 0;

  private:
    enum class Phase { Idle, Receive, AckOut, Transmit, AckIn, Ignore };
    void beginSending();

    Phase phase_ = Phase::Idle;
    int bits_ = 0;
    std::uint8_t shift_ = 0;
    std::uint8_t sending_ = 0;
    bool addressPending_ = false;  // the next complete byte is an address byte
    bool reading_ = false;
    bool addressedSinceStart_ = false;
    bool masterAcked_ = false;
};

}  // namespace kestrel::sim
