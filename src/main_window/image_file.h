#pragma once

#include <string>
#include <vector>

// The EEPROM image file: one text line per byte of a 32-byte block, each
// ending in CR LF ("8100h: 3Ch"). No header, no checksum.
namespace kestrel::image_file {

// Writes items 0..count-1 (missing items as empty lines), each followed by
// CR LF. Returns false with a reason in `error` when the file cannot be
// created or written.
bool save(const std::string& path, const std::vector<std::string>& items, int count,
          std::string* error);

// Reads every line of the file, in order, without its line end. A line ends
// at CR LF, at CR alone, or at LF alone (files edited on Linux). Returns false
// with a reason in `error` when the file cannot be read; `lines` is then left
// untouched.
bool load(const std::string& path, std::vector<std::string>& lines, std::string* error);

// Splits text into lines as `load` does.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace kestrel::image_file
