#include "device/eeprom_backup.h"

#include "device/text_rules.h"

namespace kestrel::eeprom {

namespace {

bool step(const Progress& progress, int done, int total) {
    return !progress || progress(done, total);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<Image> readAll(Device& device, RunResult& run, const Progress& progress) {
    run = {};
    Image image{};
    Bus& bus = device.bus();
    if (!bus.available()) {
        run.refused = true;
        return std::nullopt;
    }
    bus.openAccess();
    for (unsigned i = 0; i < kEepromBytes; ++i) {
        const unsigned address = kEepromFirst + i;
        const auto d = readByteAt(device, address);
        if (!d) {
            run.refused = true;
            break;
        }
        ++run.attempted;
        if (!device.lastClean()) {
            run.failed = 1;
            run.firstFailedAddress = address;
            run.firstProblem = device.lastProblem();
            break;
        }
        image[i] = static_cast<std::uint8_t>(*d);
        if ((i + 1) % kPageBytes == 0 && !step(progress, static_cast<int>(i + 1), kEepromBytes)) {
            run.refused = true;
            break;
        }
    }
    bus.closeAccess();
    if (!run.ok()) return std::nullopt;
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
        device.bus().closeAccess();
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
    std::string text;
    text.reserve(kEepromBytes * 12);
    for (unsigned i = 0; i < kEepromBytes; ++i)
        text += text::imageLine(kEepromFirst + i, image[i]) + "\r\n";
    return text;
}

std::optional<Image> parseImage(const std::string& text, std::string* error) {
    Image image{};
    std::size_t pos = 0;
    for (unsigned i = 0; i < kEepromBytes; ++i) {
        const std::string expected = text::addressText(kEepromFirst + i) + "h: ";
        if (pos >= text.size()) {
            if (error)
                *error = "line " + std::to_string(i + 1) + ": missing (the file ends after " +
                         std::to_string(i) + " lines; a backup has 512)";
            return std::nullopt;
        }
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const bool shape = line.size() == expected.size() + 3 &&
                           line.compare(0, expected.size(), expected) == 0 && line.back() == 'h';
        const int high = shape ? hexDigit(line[expected.size()]) : -1;
        const int low = shape ? hexDigit(line[expected.size() + 1]) : -1;
        if (high < 0 || low < 0) {
            if (error)
                *error = "line " + std::to_string(i + 1) + ": expected \"" + expected + "XXh\"";
            return std::nullopt;
        }
        image[i] = static_cast<std::uint8_t>(high * 16 + low);
        pos = end + 1;
    }
    if (pos < text.size()) {
        if (error) *error = "line 513: a backup has 512 lines, this file more";
        return std::nullopt;
    }
    return image;
}

}  // namespace kestrel::eeprom
