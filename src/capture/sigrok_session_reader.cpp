#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "capture/capture_readers.h"

namespace kestrel::capture {

namespace {

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using Zip = std::unique_ptr<zip_t, ZipCloser>;
struct FileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using ZipFile = std::unique_ptr<zip_file_t, FileCloser>;

std::string trim(std::string s) {
    const auto notSpace = [](unsigned char c) { return c != ' ' && c != '\t' && c != '\r'; };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

// "1 MHz", "24MHz", "500 kHz", "1 GHz", "100 Hz", "2000000" as hertz, read
// whatever the locale (one too small or too large for a double reads as 0);
// nothing when it is no rate at all.
std::optional<double> parseSamplerate(const std::string& text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = 0;
    else if (ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    std::string unit = trim(std::string(end, text.data() + text.size()));
    double scale = 1;
    if (!unit.empty() && (unit[0] == 'k' || unit[0] == 'M' || unit[0] == 'G')) {
        scale = unit[0] == 'k' ? 1e3 : unit[0] == 'M' ? 1e6 : 1e9;
        unit.erase(0, 1);
    }
    if (!unit.empty() && unit != "Hz") return std::nullopt;
    return value * scale;
}

std::string count(std::uint64_t n) {
    return std::to_string(n);
}

class SessionReader {
  public:
    SessionReader(zip_t* zip, const std::string& name, const ChannelPick& pick, LineSink& sink)
        : zip_(zip), name_(name), pick_(pick), sink_(sink) {}

    ReadResult read();

  private:
    ReadResult fail(const std::string& what) const { return readError(name_ + ": " + what); }
    // The whole of a small entry; false with `error` set.
    bool entryText(const char* entry, std::string& out, std::string& error);
    std::string zipError() const { return zip_error_strerror(zip_get_error(zip_)); }

    zip_t* zip_;
    const std::string& name_;
    const ChannelPick& pick_;
    LineSink& sink_;
};

bool SessionReader::entryText(const char* entry, std::string& out, std::string& error) {
    ZipFile f(zip_fopen(zip_, entry, 0));
    if (!f) {
        error = std::string("entry ") + entry + ": " + zipError();
        return false;
    }
    char buf[4096];
    zip_int64_t n;
    while ((n = zip_fread(f.get(), buf, sizeof buf)) > 0) {
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > 1024 * 1024) {
            error = std::string("entry ") + entry + " is larger than a megabyte";
            return false;
        }
    }
    if (n < 0) {
        error =
            std::string("entry ") + entry + ": " + zip_error_strerror(zip_file_get_error(f.get()));
        return false;
    }
    return true;
}

ReadResult SessionReader::read() {
    std::string error, version, metadata;
    if (!entryText("version", version, error)) return fail(error);
    version = trim(version);
    if (version != "1" && version != "2")
        return fail("entry version: version \"" + version + "\" is not 1 or 2");
    if (!entryText("metadata", metadata, error)) return fail(error);

    // The first device section with a capture file.
    std::map<std::string, std::string> device;
    std::map<unsigned, std::string> probes;  // probe number (from 1) -> name
    {
        std::istringstream in(metadata);
        std::string line, section;
        std::size_t number = 0;
        bool done = false;
        while (!done && std::getline(in, line)) {
            ++number;
            line = trim(line);
            if (line.empty() || line[0] == ';' || line[0] == '#') continue;
            const auto where = [&] {
                return "entry metadata: line " + std::to_string(number) + ": ";
            };
            if (line.front() == '[') {
                if (line.back() != ']')
                    return fail(where() + "section \"" + line + "\" without ']'");
                if (device.count("capturefile")) done = true;
                section = line.substr(1, line.size() - 2);
                if (!done) device.clear(), probes.clear();
                continue;
            }
            const auto eq = line.find('=');
            if (eq == std::string::npos) return fail(where() + "\"" + line + "\" is not key=value");
            if (section.rfind("device ", 0) != 0) continue;
            const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
            if (key.rfind("probe", 0) == 0 && key.size() > 5) {
                unsigned n = 0;
                const auto [p, ec] = std::from_chars(key.data() + 5, key.data() + key.size(), n);
                if (ec != std::errc() || p != key.data() + key.size() || n == 0 || n > 64)
                    return fail(where() + "probe \"" + key + "\" is not probe1..probe64");
                probes[n] = value;
            } else {
                device[key] = value;
            }
        }
    }
    if (!device.count("capturefile")) return fail("entry metadata: no device with a capturefile");
    const std::string capturefile = device["capturefile"];
    unsigned unitsize = 0;
    {
        const std::string& u = device["unitsize"];
        const auto [p, ec] = std::from_chars(u.data(), u.data() + u.size(), unitsize);
        if (ec != std::errc() || p != u.data() + u.size() || unitsize == 0 || unitsize > 8)
            return fail("entry metadata: unitsize \"" + u + "\" is not 1..8");
    }
    // Without a samplerate (sigrok reads such files too) the times are samples.
    double tick = 0;
    if (device.count("samplerate")) {
        const std::string& text = device["samplerate"];
        const std::optional<double> rate = parseSamplerate(text);
        if (!rate) return fail("entry metadata: samplerate \"" + text + "\" is not a rate");
        if (!(*rate >= limits::kMinSamplerateHz && *rate <= limits::kMaxSamplerateHz))
            return fail("entry metadata: samplerate \"" + text + "\" is outside 1 Hz .. 10 GHz");
        tick = 1.0 / *rate;
    }

    std::vector<std::string> names;
    std::vector<unsigned> bits;
    for (const auto& [n, probeName] : probes) {
        if (n > unitsize * 8)
            return fail("entry metadata: probe" + std::to_string(n) + " does not fit unitsize " +
                        std::to_string(unitsize));
        names.push_back(probeName);
        bits.push_back(n - 1);
    }
    if (pick_.namesOnly) return ReadResult{true, {}, names};
    const PickedChannels picked = pickChannels(names, pick_);
    if (picked.scl < 0) return readError(name_ + ": " + picked.error, names);
    const unsigned sclBit = bits[static_cast<std::size_t>(picked.scl)];
    const unsigned sdaBit = bits[static_cast<std::size_t>(picked.sda)];

    // The chunks capturefile-1 .. capturefile-N, all of them; or one entry
    // named capturefile.
    std::vector<std::string> chunks;
    {
        std::vector<unsigned> found;
        const std::string prefix = capturefile + "-";
        const zip_int64_t entries = zip_get_num_entries(zip_, 0);
        for (zip_int64_t i = 0; i < entries; ++i) {
            const char* entry = zip_get_name(zip_, static_cast<zip_uint64_t>(i), 0);
            if (!entry) continue;
            const std::string e = entry;
            if (e.rfind(prefix, 0) != 0) continue;
            unsigned n = 0;
            const auto [p, ec] = std::from_chars(e.data() + prefix.size(), e.data() + e.size(), n);
            if (ec == std::errc() && p == e.data() + e.size() && n > 0) found.push_back(n);
        }
        std::sort(found.begin(), found.end());
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (found[i] != i + 1)
                return fail("entry " + prefix + std::to_string(i + 1) +
                            " is missing (the chunks go on to " + prefix +
                            std::to_string(found.back()) + ")");
            chunks.push_back(prefix + std::to_string(i + 1));
        }
        if (chunks.empty()) {
            if (zip_name_locate(zip_, capturefile.c_str(), 0) < 0)
                return fail("entry " + prefix + "1 is missing: no sample data");
            chunks.push_back(capturefile);
        }
    }

    // What the entries' headers say they hold, against the limits, before
    // anything is read.
    std::vector<std::uint64_t> sizes(chunks.size(), 0);
    std::vector<bool> sized(chunks.size(), false);
    {
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            zip_stat_t st;
            zip_stat_init(&st);
            if (zip_stat(zip_, chunks[i].c_str(), 0, &st) < 0)
                return fail("entry " + chunks[i] + ": " + zipError());
            if ((st.valid & ZIP_STAT_SIZE) == 0) continue;
            sized[i] = true;
            sizes[i] = st.size;
            const std::uint64_t samples = st.size / unitsize;
            if (samples > limits::kSamplesPerEntry)
                return fail("entry " + chunks[i] + " holds " + count(samples) +
                            " samples, more than the " + count(limits::kSamplesPerEntry) +
                            " an entry may hold");
            total += samples;
            if (total > limits::kSamples)
                return fail("the entries hold more than the " + count(limits::kSamples) +
                            " samples a capture may hold");
        }
    }

    LineFeed feed(sink_, tick);
    const unsigned sclByte = sclBit / 8, sdaByte = sdaBit / 8;
    const unsigned sclShift = sclBit % 8, sdaShift = sdaBit % 8;
    // Runs of samples in which SCL and SDA keep their levels are passed over
    // eight bytes at a time where a sample's size divides eight.
    std::uint64_t mask = 0;
    if (8 % unitsize == 0) {
        for (unsigned k = 0; k < 8; k += unitsize) {
            mask |= std::uint64_t{1} << ((k + sclByte) * 8 + sclShift);
            mask |= std::uint64_t{1} << ((k + sdaByte) * 8 + sdaShift);
        }
    }
    // The mask's bits for each of the four levels of SCL and SDA.
    std::uint64_t patterns[4] = {};
    for (unsigned k = 0; mask != 0 && k < 8; k += unitsize) {
        const std::uint64_t c = std::uint64_t{1} << ((k + sclByte) * 8 + sclShift);
        const std::uint64_t d = std::uint64_t{1} << ((k + sdaByte) * 8 + sdaShift);
        patterns[1] |= c, patterns[2] |= d, patterns[3] |= c | d;
    }
    std::uint64_t pattern = 0;  // the current levels, in the mask's places

    std::uint64_t sample = 0;
    bool scl = true, sda = true;
    constexpr std::size_t kBuffer = 256 << 10;
    const std::unique_ptr<unsigned char[]> buf(new unsigned char[kBuffer]);  // not cleared
    std::size_t carry = 0;  // bytes of a sample split between two reads
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const std::string& chunk = chunks[i];
        ZipFile f(zip_fopen(zip_, chunk.c_str(), 0));
        if (!f) return fail("entry " + chunk + ": " + zipError());
        std::uint64_t bytes = 0;  // what the entry really held
        zip_int64_t n;
        while ((n = zip_fread(f.get(), buf.get() + carry, kBuffer - carry)) > 0) {
            bytes += static_cast<std::uint64_t>(n);
            if (sized[i] && bytes > sizes[i])
                return fail("entry " + chunk + " holds more than the " + count(sizes[i]) +
                            " bytes its header says");
            if (!sized[i] && bytes / unitsize > limits::kSamplesPerEntry)
                return fail("entry " + chunk + " holds more than the " +
                            count(limits::kSamplesPerEntry) + " samples an entry may hold");
            const std::size_t have = carry + static_cast<std::size_t>(n);
            const std::size_t whole = have / unitsize * unitsize;
            if (sample + whole / unitsize > limits::kSamples)
                return fail("more than the " + count(limits::kSamples) +
                            " samples a capture may hold");
            const unsigned char* data = buf.get();
            for (std::size_t off = 0; off < whole;) {
                if (mask != 0 && sample != 0) {
                    std::uint64_t word;
                    while (off + 8 <= whole &&
                           (std::memcpy(&word, data + off, 8), (word & mask) == pattern)) {
                        off += 8;
                        sample += 8 / unitsize;
                    }
                    if (off >= whole) break;
                }
                const bool c = (data[off + sclByte] >> sclShift) & 1;
                const bool d = (data[off + sdaByte] >> sdaShift) & 1;
                if (sample == 0 || c != scl || d != sda) {
                    if (!feed.at(sample, c, d)) return fail(LineFeed::tooManyTransitions());
                    scl = c;
                    sda = d;
                    pattern = patterns[(c ? 1 : 0) | (d ? 2 : 0)];
                }
                off += unitsize;
                ++sample;
            }
            carry = have - whole;
            std::memmove(buf.get(), buf.get() + whole, have - whole);
        }
        if (n < 0)
            return fail("entry " + chunk + ": " + zip_error_strerror(zip_file_get_error(f.get())));
        if (sized[i] && bytes != sizes[i])
            return fail("entry " + chunk + " holds " + count(bytes) + " bytes, its header says " +
                        count(sizes[i]));
        if (carry != 0)
            return fail("entry " + chunk + ": ends within a sample of " + std::to_string(unitsize) +
                        " bytes");
    }
    return feed.finish(sample, name_, names);
}

}  // namespace

ReadResult readSigrokSession(int fd, const std::string& name, const ChannelPick& pick,
                             LineSink& sink) {
    int code = 0;
    Zip zip(zip_fdopen(fd, ZIP_CHECKCONS, &code));
    if (!zip) {
        ::close(fd);
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string message =
            name + ": not a readable sigrok session: " + zip_error_strerror(&error);
        zip_error_fini(&error);
        return readError(message);
    }
    return SessionReader(zip.get(), name, pick, sink).read();
}

ReadResult readSigrokSessionBytes(std::string_view bytes, const std::string& name,
                                  const ChannelPick& pick, LineSink& sink) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    Zip zip(source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr);
    if (!zip) {
        if (source) zip_source_free(source);
        std::string message =
            name + ": not a readable sigrok session: " + zip_error_strerror(&error);
        zip_error_fini(&error);
        return readError(message);
    }
    zip_error_fini(&error);
    return SessionReader(zip.get(), name, pick, sink).read();
}

}  // namespace kestrel::capture
