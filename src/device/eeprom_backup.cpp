#include "device/eeprom_backup.h"

#include <algorithm>

#include "device/eeprom_bulk.h"
#include "device/image_file.h"
#include "device/text_rules.h"

namespace kestrel::eeprom {

namespace {

bool step(const Progress& progress, int done, int total) {
    return !progress || progress(done, total);
}

}  // namespace

std::optional<Image> readAll(Device& device, RunResult& run, const Progress& progress) {
    run = {};
    Image image{};
    // Block by block at block speed; a block that fails is read again byte
    // by byte, and a byte counts only when its read was acknowledged and its
    // PEC matched.
    for (unsigned page = 0; page < kEepromBytes; page += kPageBytes) {
        const auto bulk = readBulk(device, kEepromFirst + page, kPageBytes);
        if (!bulk || bulk->bytes.size() != kPageBytes) {
            run.refused = true;
            return std::nullopt;
        }
        for (std::size_t i = 0; i < kPageBytes; ++i) {
            const ByteRead& b = bulk->bytes[i];
            ++run.attempted;
            if (!b.ok()) {
                run.failed = 1;
                run.firstFailedAddress = b.address;
                run.firstProblem = b.problem;
                return std::nullopt;
            }
            image[page + i] = static_cast<std::uint8_t>(b.value);
        }
        if (!step(progress, static_cast<int>(page + kPageBytes), static_cast<int>(kEepromBytes))) {
            run.refused = true;
            return std::nullopt;
        }
    }
    return image;
}

RestoreResult writeAll(Device& device, const Image& image, const Progress& progress) {
    RestoreResult r;
    const int total = 2 * static_cast<int>(kEepromBytes);
    for (unsigned page = 0; page < kEepromBytes; page += kPageBytes) {
        const unsigned base = kEepromFirst + page;
        r.run = eraseBlockPages(device, base, static_cast<int>(kPageBytes));
        if (!r.run.ok()) return r;
        const std::vector<int> data(image.begin() + page, image.begin() + page + kPageBytes);
        r.run = writeBlock(device, base, data);
        if (!r.run.ok()) return r;
        if (!step(progress, static_cast<int>(page + kPageBytes), total)) {
            r.run.refused = true;
            return r;
        }
    }
    const VerifyResult v =
        verify(device, kEepromFirst, std::vector<int>(image.begin(), image.end()));
    r.run = v.run;
    r.mismatches = v.mismatches;
    step(progress, total, total);
    return r;
}

std::string imageText(const Image& image) {
    return image_file::imageLines(kEepromFirst, std::vector<int>(image.begin(), image.end()));
}

std::optional<Image> parseImage(const std::string& text, std::string* error) {
    std::string why;
    const auto data = image_file::parseImageLines(text, "", kEepromBytes, kEepromFirst, why);
    if (!data) {
        if (error) *error = why;
        return std::nullopt;
    }
    Image image{};
    std::copy(data->begin(), data->end(), image.begin());
    return image;
}

}  // namespace kestrel::eeprom
