#pragma once

#include <cstddef>
#include <cstdint>

// Every limit on what a capture may hold, in one place. A file past one is
// refused with a message that names the limit; nothing a file says can make
// the program hold more than these (about 100 MB at most, besides the
// records the bus monitor keeps).
namespace kestrel::capture::limits {

// Samples of one sigrok session entry, and of all its entries together
// (a 724-million-sample capture is well inside).
inline constexpr std::uint64_t kSamplesPerEntry = std::uint64_t{1} << 30;
inline constexpr std::uint64_t kSamples = std::uint64_t{1} << 31;
// Changes of SCL and SDA together: beyond any real I2C capture, reached by
// a file that toggles its lines on every sample within a second or two.
inline constexpr std::uint64_t kTransitions = 100'000'000;
// Text files: a line of a Saleae CSV export, a word of a VCD.
inline constexpr std::size_t kLineBytes = 4 << 20;
inline constexpr std::size_t kWordBytes = 64 << 10;
// Channels of a VCD or CSV file (a sigrok session has at most 64).
inline constexpr std::size_t kChannels = 65536;
// Samplerates a sigrok session may give.
inline constexpr double kMinSamplerateHz = 1;
inline constexpr double kMaxSamplerateHz = 10e9;
// One transaction: the bytes and repeated STARTs kept (a longer one is cut
// and Malformed) and the line changes kept for its waveform.
inline constexpr std::size_t kTransactionBytes = 65536;
inline constexpr std::size_t kWaveformSteps = 65536;
// Transactions the bus monitor keeps, live or from a capture; the oldest go.
inline constexpr std::size_t kRecordsKept = 20'000;
// An error message: this many characters, then how many more there were.
inline constexpr std::size_t kMessageChars = 300;

}  // namespace kestrel::capture::limits
