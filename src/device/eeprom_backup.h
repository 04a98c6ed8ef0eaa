#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "chip/kestrel_map.h"
#include "device/eeprom_ops.h"

// The whole 512-byte EEPROM at once: read it, keep it in a file, write it
// back. The file holds 512 image lines as the program writes them
// ("8000h: FFh", CR LF), 8000h first, and nothing else.
namespace kestrel::eeprom {

inline constexpr unsigned kEepromFirst = chip::kEepromFirst;
inline constexpr unsigned kEepromBytes = chip::kEepromSize;
inline constexpr unsigned kPageBytes = chip::kEepromPageSize;
using Image = std::array<std::uint8_t, kEepromBytes>;

// Called after each step with how many of `total` are done; returns false to
// stop (the user cancelled).
using Progress = std::function<bool(int done, int total)>;

// Reads every byte at block speed (eeprom_bulk); nothing is returned when the
// bus refused or a byte could not be read cleanly (then `run` says where and
// why).
std::optional<Image> readAll(Device& device, RunResult& run, const Progress& progress = {});

// Erases each page and writes its 32 bytes, then reads everything back.
// Stops at the first erase or write that failed; `mismatches` lists bytes
// that read back otherwise.
struct RestoreResult {
    RunResult run;
    std::vector<Mismatch> mismatches;
    bool ok() const { return run.ok() && mismatches.empty(); }
};
RestoreResult writeAll(Device& device, const Image& image, const Progress& progress = {});

// The file's text, and the image from a file's text. Parsing accepts
// exactly 512 lines "AAAAh: DDh" with the addresses 8000h..81FFh in order
// (CR LF or LF); otherwise it says which line is wrong.
std::string imageText(const Image& image);
std::optional<Image> parseImage(const std::string& text, std::string* error);

}  // namespace kestrel::eeprom
