// EEPROM image files and whole-EEPROM backups, as a user may hand them in:
// any bytes split into lines without fault, lines hold no line end and
// round-trip through the program's own CR LF form, and a backup that parses
// writes back to the same text.
#include <cstdint>
#include <string>
#include <vector>

#include "device/text_rules.h"
#include "files/eeprom_backup.h"
#include "files/image_file.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::vector<std::string> lines = image_file::splitLines(text);
    std::string saved;
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n") != std::string::npos) __builtin_trap();
        (void)text::imageLineData(line);
        saved += line + "\r\n";
    }
    if (image_file::splitLines(saved) != lines) __builtin_trap();

    std::string error;
    const auto image = eeprom::parseImage(text, &error);
    if (image) {
        const std::string written = eeprom::imageText(*image);
        const auto again = eeprom::parseImage(written, &error);
        if (!again || *again != *image) __builtin_trap();
    } else if (error.rfind("line ", 0) != 0) {
        __builtin_trap();  // every refusal names the line
    }
    return 0;
}
