#pragma once

#include <ctime>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "bus/durable_file.h"

// The files batch mode reads and writes: EEPROM images in, images and
// backups out. An input is used only when all of it is what it should be; an
// output replaces its file only once it is completely written.
namespace kestrel::batch {

// The largest input file read: an image of the whole EEPROM is under 6 KiB.
inline constexpr std::size_t kMaxInputBytes = 1 << 20;

// Reads a whole input: standard input for "-", otherwise a regular file (not
// a folder, FIFO or device) of at most kMaxInputBytes. False with the reason
// in `error`.
bool readInput(const std::string& path, std::istream& standardInput, std::string& text,
               std::string& error);

// A file that replaces its path only when complete, written as
// durable::PendingFile writes it. The path "-" is standard output. The
// temporary file is created by prepare(), so an unusable path shows before
// any bus traffic.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool prepare(const std::string& path, std::string& error);
    // Writes `content` and renames the file over its path (or writes it to
    // `standardOutput` for "-").
    bool commit(const std::string& content, std::ostream& standardOutput, std::string& error);
    // For a new file that must not replace another: links it under `path`,
    // or path-2, path-3 ... when that name is taken; the name used is
    // returned in `finalPath`.
    bool commitNew(const std::string& content, std::string& finalPath, std::string& error);

  private:
    std::string path_;
    durable::PendingFile file_;
};

}  // namespace kestrel::batch
