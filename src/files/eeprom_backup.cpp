#include "files/eeprom_backup.h"

#include <algorithm>

#include "device/text_rules.h"
#include "files/image_file.h"

namespace kestrel::eeprom {

namespace {

bool step(const Progress& progress, int done, int total) {
    return !progress || progress(done, total);
}

}  // namespace

std::optional<Image> readAll(Device& device, Run& run, const Progress& progress) {
    const int total = static_cast<int>(kEepromBytes);
    int done = 0;
    run = read(device, kEepromFirst, kEepromBytes, Speed::Blocks, [&](const Step&) {
        return ++done % static_cast<int>(kPageBytes) != 0 || step(progress, done, total);
    });
    if (!run.ok()) return std::nullopt;
    Image image{};
    for (std::size_t i = 0; i < kEepromBytes; ++i)
        image[i] = static_cast<std::uint8_t>(run.steps[i].value);
    return image;
}

RestoreResult writeAll(Device& device, const Image& image, const Progress& progress) {
    RestoreResult r;
    const int total = 2 * static_cast<int>(kEepromBytes);
    auto ended = [&r](const Run& run, unsigned base) {
        if (run.refused()) {
            r.refusal = run.refusal;
            r.busRefusal = run.busRefusal;
            return true;
        }
        if (run.ok()) return false;
        r.stoppedAt = static_cast<int>(base);
        return true;
    };
    for (unsigned page = 0; page < kEepromBytes; page += kPageBytes) {
        const unsigned base = kEepromFirst + page;
        Run erased = erasePages(device, base, kPageBytes);
        r.erased.steps.insert(r.erased.steps.end(), erased.steps.begin(), erased.steps.end());
        r.erased.asked += erased.asked;
        if (ended(erased, base)) return r;
        const std::vector<int> data(image.begin() + page, image.begin() + page + kPageBytes);
        Run written = writeBlock(device, base, data);
        r.written.steps.insert(r.written.steps.end(), written.steps.begin(), written.steps.end());
        r.written.asked += written.asked;
        if (ended(written, base)) return r;
        if (!step(progress, static_cast<int>(page + kPageBytes), total)) {
            r.refusal = "Stopped; nothing more was sent.";
            return r;
        }
    }
    r.verify =
        verify(device, kEepromFirst, std::vector<int>(image.begin(), image.end()), Speed::Bytes);
    if (r.verify.run.refused()) {
        r.refusal = r.verify.run.refusal;
        r.busRefusal = r.verify.run.busRefusal;
    }
    step(progress, total, total);
    return r;
}

std::string whereRestoreStopped(const RestoreResult& result) {
    std::size_t pages = 0;
    while (pages < kEepromBytes / kPageBytes &&
           result.written.steps.size() >= (pages + 1) * kPageBytes)
        ++pages;
    const auto address = [](std::size_t offset) {
        return text::addressText(kEepromFirst + static_cast<unsigned>(offset)) + "h";
    };
    const std::string last = address(kEepromBytes - 1);
    if (pages == 0) return "before the first page; " + address(0) + "-" + last + " not written";
    const std::string after = "after page " + address((pages - 1) * kPageBytes);
    if (pages * kPageBytes == kEepromBytes) return after + "; every page written, not read back";
    return after + "; " + address(pages * kPageBytes) + "-" + last + " not written";
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
