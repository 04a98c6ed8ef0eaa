#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// What the bus code needs from a parallel-port driver. The calls mirror the
// classic port-I/O library: write the data register, read the status register,
// open and close access around a transaction, and find the LPT ports.
//
// Data register bit 0 pulls SCL low, bit 1 pulls SDA low (both inverted on
// the board); status bit 4 (10h) reads SDA back inverted.
class PortAccess {
  public:
    virtual ~PortAccess() = default;

    // Writes `value` (0..3) to the data register at `port`.
    virtual void Outport(std::uint16_t port, std::uint8_t value) = 0;
    // Reads the status register at `port` (the data register address + 1).
    virtual std::uint16_t Inport(std::uint16_t port) = 0;

    // Opens port access until the matching DisablePorts. `first` and `last`
    // are the position n of the selected port entry and n + 2.
    virtual void EnablePorts(std::int16_t first, std::int16_t last) = 0;
    virtual void DisablePorts(std::int16_t first, std::int16_t last) = 0;

    // Base address of parallel port n (1..3), or 0 when there is none.
    virtual std::uint16_t GetLPTPortAddress(int n) = 0;
    // Nonzero when the preceding GetLPTPortAddress failed (as opposed to the
    // port simply being absent).
    virtual std::uint32_t GetLastState(int unused) = 0;

    // Opens the port whose data register is at `base` and makes sure it can
    // be claimed, before the first transaction; opening it again starts
    // afresh after a failure. Empty when it can be used, otherwise what is
    // wrong and what to do ("LPT1 cannot be opened: /dev/parport0: permission
    // denied; add yourself to group lp"). A port that needs no opening: empty.
    virtual std::string open(std::uint16_t base) {
        (void)base;
        return {};
    }
    // Why the port stopped working since it was opened (a call failed: the
    // card or its cable went away), empty while it works. The first failure
    // is kept, and the port sends nothing more until it is opened again.
    virtual const std::string& fault() const { return noFault(); }

    // The levels on the wire now (true: high), for a port that can see them
    // (the simulated board). A real port cannot: false, and it only knows
    // what it drives and what it samples.
    virtual bool wireLevels(bool* scl, bool* sda) {
        (void)scl;
        (void)sda;
        return false;
    }

  protected:
    static const std::string& noFault() {
        static const std::string none;
        return none;
    }
};

// Status register bit that carries SDA (inverted).
inline constexpr std::uint16_t kStatusSdaBit = 0x10;

// The four values ever written to the data register.
inline constexpr std::uint8_t kLinesReleased = 0;  // SCL high, SDA high
inline constexpr std::uint8_t kSclLow = 1;         // SCL low,  SDA high
inline constexpr std::uint8_t kSdaLow = 2;         // SCL high, SDA low
inline constexpr std::uint8_t kBothLow = 3;        // SCL low,  SDA low

}  // namespace kestrel
