#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// SCL and SDA as a logic analyser recorded them, read from a capture file.
namespace kestrel::capture {

// One line: its level at the capture's start and the times it changed.
struct LineTrace {
    bool initial = true;
    std::vector<std::uint64_t> changes;  // ticks, non-decreasing; each one toggles
};

struct CaptureLines {
    double tickSeconds = 1e-9;  // the length of one tick
    std::uint64_t end = 0;      // ticks: the capture's length
    LineTrace scl;
    LineTrace sda;

    std::size_t transitions() const { return scl.changes.size() + sda.changes.size(); }
};

// Which channels are SCL and SDA; an empty name is guessed from the names.
// With `namesOnly` a reader stops after the channel names.
struct ChannelPick {
    std::string scl;
    std::string sda;
    bool namesOnly = false;
};

// A reader's answer: the lines, or else what is wrong, naming the file and
// the line or entry; and the names of the file's channels once it got as
// far as them.
struct ReadResult {
    std::optional<CaptureLines> lines;
    std::string error;
    std::vector<std::string> channels;
};

inline ReadResult readError(std::string message, std::vector<std::string> channels = {}) {
    return ReadResult{std::nullopt, std::move(message), std::move(channels)};
}

// The channels of `names` that `pick` asks for (or that their names tell:
// SCL/SCK/CLK/CLOCK, SDA/DATA), as two indexes; otherwise -1 for both and
// the reason.
struct PickedChannels {
    int scl = -1;
    int sda = -1;
    std::string error;
};
PickedChannels pickChannels(const std::vector<std::string>& names, const ChannelPick& pick);

}  // namespace kestrel::capture
