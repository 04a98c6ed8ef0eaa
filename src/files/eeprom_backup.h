#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "chip/kestrel_map.h"
#include "device/eeprom.h"

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

// Reads every byte at block speed. `run` holds a step for each of the 512
// bytes; the image only when all were read cleanly.
std::optional<Image> readAll(Device& device, Run& run, const Progress& progress = {});

// Page by page: erases it and writes its 32 bytes; then reads everything
// back. Stops at the first erase or write that failed.
struct RestoreResult {
    Run erased;     // the erases, as far as they went
    Run written;    // every byte write, as far as they went
    Verify verify;  // the read-back, when every page was written
    // The page at which the writing stopped (a failed erase or write); -1 when none.
    int stoppedAt = -1;
    // Why the run ended early, when it did: refused or cancelled.
    std::string refusal;
    bool busRefusal = false;
    bool ok() const { return refusal.empty() && stoppedAt < 0 && verify.passed(); }
};
RestoreResult writeAll(Device& device, const Image& image, const Progress& progress = {});
// Where a restore that was stopped or refused ended: "after page 8140h;
// 8160h-81FFh not written", "before the first page; 8000h-81FFh not written".
std::string whereRestoreStopped(const RestoreResult& result);

// The file's text, and the image from a file's text. Parsing accepts
// exactly 512 lines "AAAAh: DDh" with the addresses 8000h..81FFh in order
// (CR LF or LF); otherwise it says which line is wrong.
std::string imageText(const Image& image);
std::optional<Image> parseImage(const std::string& text, std::string* error);

}  // namespace kestrel::eeprom
