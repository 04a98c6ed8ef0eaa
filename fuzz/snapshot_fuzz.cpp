// Board snapshot files as a user may hand them in: any bytes are refused or
// taken whole, a refusal names a line, and a snapshot that parses writes back
// to a text that parses to the same snapshot.
#include <cstdint>
#include <string>

#include "files/snapshot.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto s = snapshot::parseSnapshot(text, "", error);
    if (!s) {
        if (error.rfind("line ", 0) != 0) __builtin_trap();
        return 0;
    }
    const auto written = snapshot::snapshotText(*s, error);
    if (!written) __builtin_trap();
    const auto again = snapshot::parseSnapshot(*written, "", error);
    if (!again || snapshot::snapshotText(*again, error) != *written) __builtin_trap();
    return 0;
}
