#pragma once

#include <optional>
#include <string>

#include "files/snapshot.h"

// The golden image of a production run: a snapshot file, with the name and
// SHA-256 of the file as it was read, which every record of the run carries.
namespace kestrel::production {

struct Golden {
    snapshot::Snapshot snapshot;
    std::string name;    // the file's name, without its folder
    std::string sha256;  // of the file's bytes, 64 lower-case hex digits
};

// Reads and checks the whole file; nothing (with the reason) when it is not
// a snapshot.
std::optional<Golden> loadGolden(const std::string& path, std::string& error);

// 64 lower-case hex digits.
std::string sha256Hex(const std::string& bytes);

}  // namespace kestrel::production
