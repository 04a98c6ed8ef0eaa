#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The EEPROM image file: one text line per byte of a 32-byte block, each
// ending in CR LF ("8100h: 3Ch"). No header, no checksum.
namespace kestrel::image_file {

// An image is a few hundred bytes; anything larger than this is refused
// unread, so a device file or a huge file cannot exhaust the memory.
inline constexpr std::size_t kMaxFileBytes = 1024 * 1024;

// Writes items 0..count-1 (missing items as empty lines), each followed by
// CR LF, byte for byte (each character is one 8-bit byte). The old file is
// replaced only once the new one is complete on disk. Returns false with a
// reason in `error` when the file cannot be created or written; the old file
// is then unchanged.
bool save(const std::string& path, const std::vector<std::string>& items, int count,
          std::string* error);

// Reads a regular file of at most `limit` bytes whole. False with a reason
// in `error` for anything else (a folder, a FIFO, a device, a read error).
bool readSmallFile(const std::string& path, std::size_t limit, std::string& bytes,
                   std::string* error);

// Reads every line of the file, in order, without its line end, byte for
// byte. A line ends at CR LF, at CR alone, or at LF alone (files edited on
// Linux). Returns false with a reason in `error` when the file is not a
// regular file of at most kMaxFileBytes or cannot be read; `lines` is then
// left untouched.
bool load(const std::string& path, std::vector<std::string>& lines, std::string* error);

// Image lines exactly as the program writes them: address, "h: ", two hex
// digits, "h", each line ended by CR LF or LF ("8100h: 3Ch"). Returns the
// data bytes when `text` holds exactly `lines` of them; otherwise nothing,
// with the first bad line named in `error` ("block.dat line 6: missing; an
// image holds 32 lines"; without a `name`, "line 6: ..."). With
// `firstAddress` set, line k must carry that address + k (a whole-EEPROM
// backup); otherwise any address of one to four hex digits is accepted and
// only the position counts, as in the windows.
std::optional<std::vector<int>> parseImageLines(const std::string& text, const std::string& name,
                                                std::size_t lines,
                                                std::optional<unsigned> firstAddress,
                                                std::string& error);

// Image lines for `data` from `base` on, each ended by CR LF.
std::string imageLines(unsigned base, const std::vector<int>& data);

// Splits text into lines as `load` does.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace kestrel::image_file
