// The sigrok session reader on any bytes (read as a zip archive in memory).
#include <cstdint>
#include <string_view>

#include "capture_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckedSink sink;
    checkCapture(kestrel::capture::readSigrokSessionBytes(bytes, "fuzz.sr", {}, sink), "fuzz.sr");
    return 0;
}
