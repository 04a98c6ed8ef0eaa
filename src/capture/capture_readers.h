#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "capture/capture_lines.h"

// Readers of the logic analysers' capture files. Each takes the file's name
// for its messages, reads SCL and SDA as `pick` names them, and refuses a file
// with any fault (a truncated archive, a missing chunk, an unknown level, a
// time going back, no transition at all) with one message naming the file and
// the line or entry.
namespace kestrel::capture {

// A Value Change Dump: any timescale (1 fs .. 100 s), several changes on a
// line, 1-bit variables for the two lines ('z' reads as released, high).
ReadResult readVcd(std::istream& in, const std::string& name, const ChannelPick& pick);

// A sigrok session (.sr): a zip with `version`, the INI `metadata` (probe
// names, unitsize, samplerate) and the logic chunks.
ReadResult readSigrokSession(const std::string& path, const ChannelPick& pick);
ReadResult readSigrokSessionBytes(std::string_view bytes, const std::string& name,
                                  const ChannelPick& pick);

// A Saleae Logic 2 digital export: "Time [s],<names>", then rows of a time in
// seconds and 0/1 per channel.
ReadResult readSaleaeCsv(std::istream& in, const std::string& name, const ChannelPick& pick);

// The file at `path`, of whichever of the three kinds it holds.
ReadResult readCaptureFile(const std::string& path, const ChannelPick& pick);

// A reader's last check: the lines changed at least once.
ReadResult finishLines(CaptureLines lines, const std::string& name);

}  // namespace kestrel::capture
