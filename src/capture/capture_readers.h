#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "capture/capture_lines.h"
#include "capture/text_input.h"

// Readers of the logic analysers' capture files. Each takes the file's name
// for its messages, reads SCL and SDA as `pick` names them and passes them to
// `sink` as it reads, and refuses a file with any fault (a truncated
// archive, a missing chunk, an unknown level, a time going back, no
// transition at all, a limit passed) with one message naming the file and
// the line or entry. After a refusal the sink's input is to be dropped.
namespace kestrel::capture {

// A Value Change Dump: any timescale (1 fs .. 100 s), several changes on a
// line, 1-bit variables for the two lines ('z' reads as released, high).
ReadResult readVcd(TextInput& in, const std::string& name, const ChannelPick& pick, LineSink& sink);
ReadResult readVcd(std::istream& in, const std::string& name, const ChannelPick& pick,
                   LineSink& sink);

// A sigrok session (.sr): a zip with `version`, the INI `metadata` (probe
// names, unitsize, samplerate: without one, times are in samples) and the
// logic chunks. `fd` is an open regular file, taken over.
ReadResult readSigrokSession(int fd, const std::string& name, const ChannelPick& pick,
                             LineSink& sink);
ReadResult readSigrokSessionBytes(std::string_view bytes, const std::string& name,
                                  const ChannelPick& pick, LineSink& sink);

// A Saleae Logic 2 digital export: "Time [s],<names>", then rows of a time in
// seconds and 0/1 per channel.
ReadResult readSaleaeCsv(TextInput& in, const std::string& name, const ChannelPick& pick,
                         LineSink& sink);
ReadResult readSaleaeCsv(std::istream& in, const std::string& name, const ChannelPick& pick,
                         LineSink& sink);

// The file at `path`, of whichever of the three kinds it holds. Only a
// regular file is read (a FIFO or a device is refused without waiting on it).
ReadResult readCaptureFile(const std::string& path, const ChannelPick& pick, LineSink& sink);
// Its channel names only.
ReadResult readCaptureChannels(const std::string& path);

}  // namespace kestrel::capture
