#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bus/port_access.h"
#include "simulator/bus_log.h"
#include "simulator/kestrel_model.h"
#include "simulator/plover_model.h"
#include "simulator/wire.h"

namespace kestrel::sim {

// The evaluation board behind a virtual parallel port at 378h (LPT1; LPT2 and
// LPT3 absent): a KESTREL, two PLOVER switches (90h and 98h) and a bus
// analyser on the two wires. Data-register writes become line levels
// (inverted, open drain); a status read has bit 4 set exactly when SDA is low.
class SimulatedBoard final : public PortAccess {
  public:
    static constexpr std::uint16_t kBase = 0x378;

    explicit SimulatedBoard(std::uint32_t seed = 1);
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    void Outport(std::uint16_t port, std::uint8_t value) override;
    std::uint16_t Inport(std::uint16_t port) override;
    void EnablePorts(std::int16_t first, std::int16_t last) override;
    void DisablePorts(std::int16_t first, std::int16_t last) override;
    std::uint16_t GetLPTPortAddress(int n) override { return n == 1 ? kBase : 0; }
    std::uint32_t GetLastState(int) override { return 0; }
    // A port that failed (the fault port-error-after) stays failed, opened again or not.
    std::string open(std::uint16_t) override { return fault_; }
    const std::string& fault() const override { return fault_; }
    // Port accesses since the board was made (what port-error-after counts).
    std::uint64_t accesses() const { return accesses_; }
    bool wireLevels(bool* scl, bool* sda) override {
        *scl = wire_.scl();
        *sda = wire_.sda();
        return true;
    }

    KestrelModel& kestrel() { return kestrel_; }
    PloverModel& plover() { return plover90_; }
    PloverModel& plover98() { return plover98_; }
    BusLog& log() { return log_; }
    Wire& wire() { return wire_; }

    // Port accesses made while port access was not open: a real ppdev port
    // would drop them, and so does this one.
    std::uint64_t accessesOutsideBracket() const { return outside_; }
    // Data writes and status reads made with port access open.
    std::uint64_t portAccesses() const { return accesses_; }
    bool accessOpen() const { return open_; }

    // Keeps registers, EEPROM, switch bytes, faults and chip options in a
    // text file, so that a demo or a series of command-line runs sees one
    // board. Loading is all or nothing: a file with any bad line, binary
    // content, or that is not a regular file of sane size leaves the board as
    // it was. Saving replaces the file atomically (a temporary file in the
    // same folder, flushed to disk, renamed over it). Both return false with
    // a reason in `error`.
    bool loadState(const std::string& path, std::string* error);
    bool saveState(const std::string& path, std::string* error) const;
    // The same on text: what a state file holds, and the board in that form.
    bool loadStateText(const std::string& text, std::string* error);
    std::string stateText() const;
    static constexpr std::size_t kMaxStateFileBytes = 64 * 1024;

    // Sets a fault by name ("missing", "corrupt-pec", "sda-stuck-low",
    // "block-count 05", "nack-byte 3", "port-error-after 3A98": the port
    // access of that number, counted from 1 in hexadecimal as every number
    // of the state file, and every one after it fail as an EIO from ppdev
    // would); it is kept in the state file too. False when unknown or
    // malformed.
    bool applyFault(const std::string& fault);
    // Turns on a chip option by name: "strict-ack", "send-past-end",
    // "busy-time", "clear-only-cells", "count-moves-pec", or "strict" for all
    // of them. Kept in the state file. False when unknown.
    bool applyOption(const std::string& option);
    // How long each port access takes, in nanoseconds (0: no time at all),
    // so that a user's view of real hardware can be measured here; the
    // state file's "option port-access-ns N".
    void setPortAccessNs(std::uint32_t ns) { accessNs_ = ns; }
    // Every chip option on (true) or off.
    void setStrict(bool strict);
    // The clock of the chip's busy time, in microseconds (a steady clock
    // unless a test supplies one).
    void setClock(std::function<std::uint64_t()> micros) { kestrel_.setClock(std::move(micros)); }

  private:
    void takeAccessTime() const;
    // Counts a port access; false when it fails (the fault port-error-after).
    bool accessWorks();

    std::uint32_t accessNs_ = 0;
    std::uint64_t outside_ = 0;
    std::uint64_t accesses_ = 0;
    std::uint64_t failingAccess_ = 0;  // 0: none
    std::string fault_;
    bool open_ = false;
    std::vector<std::string> faults_;
    Wire wire_;
    KestrelModel kestrel_;
    PloverModel plover90_{0x90};
    PloverModel plover98_{0x98};
    BusLog log_;
};

}  // namespace kestrel::sim
