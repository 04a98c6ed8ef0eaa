// The Saleae CSV reader on any text, with the channels guessed and named.
#include <cstdint>
#include <sstream>

#include "capture_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const kestrel::capture::ChannelPick& pick :
         {kestrel::capture::ChannelPick{}, kestrel::capture::ChannelPick{"SCL", "SDA"}}) {
        std::istringstream in(text);
        CheckedSink sink;
        checkCapture(kestrel::capture::readSaleaeCsv(in, "fuzz.csv", pick, sink), "fuzz.csv");
    }
    return 0;
}
