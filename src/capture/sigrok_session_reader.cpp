#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

#include "bus/decimal.h"
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

// "1 MHz", "24MHz", "500 kHz", "1 GHz", "100 Hz", "2000000" as hertz; 0 for none.
double parseSamplerate(const std::string& text) {
    std::size_t used = 0;
    const double value = decimal::leading(trim(text), &used).value_or(0);
    if (!(value > 0)) return 0;
    std::string unit = trim(trim(text).substr(used));
    double scale = 1;
    if (!unit.empty() && (unit[0] == 'k' || unit[0] == 'M' || unit[0] == 'G')) {
        scale = unit[0] == 'k' ? 1e3 : unit[0] == 'M' ? 1e6 : 1e9;
        unit.erase(0, 1);
    }
    if (!unit.empty() && unit != "Hz") return 0;
    return value * scale;
}

class SessionReader {
  public:
    SessionReader(zip_t* zip, const std::string& name, const ChannelPick& pick)
        : zip_(zip), name_(name), pick_(pick) {}

    ReadResult read();

  private:
    ReadResult fail(const std::string& what) const { return readError(name_ + ": " + what); }
    // The whole of a small entry; false with `error` set.
    bool entryText(const char* entry, std::string& out, std::string& error);
    std::string zipError() const { return zip_error_strerror(zip_get_error(zip_)); }

    zip_t* zip_;
    const std::string& name_;
    const ChannelPick& pick_;
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
    const double rate = parseSamplerate(device["samplerate"]);
    if (rate == 0)
        return fail("entry metadata: samplerate \"" + device["samplerate"] + "\" is not a rate");

    std::vector<std::string> names;
    std::vector<unsigned> bits;
    for (const auto& [n, probeName] : probes) {
        if (n > unitsize * 8)
            return fail("entry metadata: probe" + std::to_string(n) + " does not fit unitsize " +
                        std::to_string(unitsize));
        names.push_back(probeName);
        bits.push_back(n - 1);
    }
    if (pick_.namesOnly) return {std::nullopt, {}, names};
    const PickedChannels picked = pickChannels(names, pick_);
    if (picked.scl < 0) return {std::nullopt, name_ + ": " + picked.error, names};
    const unsigned sclBit = bits[static_cast<std::size_t>(picked.scl)];
    const unsigned sdaBit = bits[static_cast<std::size_t>(picked.sda)];

    // The chunks capturefile-1 .. capturefile-N, all of them; or one entry
    // named capturefile.
    std::vector<std::string> chunks;
    {
        std::vector<unsigned> found;
        const std::string prefix = capturefile + "-";
        const zip_int64_t count = zip_get_num_entries(zip_, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
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

    CaptureLines lines;
    lines.tickSeconds = 1.0 / rate;
    std::uint64_t sample = 0;
    bool scl = true, sda = true;
    std::vector<unsigned char> buf(1 << 16);
    std::size_t carry = 0;  // bytes of a sample split between two reads
    for (const std::string& chunk : chunks) {
        ZipFile f(zip_fopen(zip_, chunk.c_str(), 0));
        if (!f) return fail("entry " + chunk + ": " + zipError());
        zip_int64_t n;
        while ((n = zip_fread(f.get(), buf.data() + carry, buf.size() - carry)) > 0) {
            const std::size_t have = carry + static_cast<std::size_t>(n);
            const std::size_t whole = have / unitsize * unitsize;
            for (std::size_t off = 0; off < whole; off += unitsize) {
                const bool c = (buf[off + sclBit / 8] >> (sclBit % 8)) & 1;
                const bool d = (buf[off + sdaBit / 8] >> (sdaBit % 8)) & 1;
                if (sample == 0) {
                    lines.scl.initial = scl = c;
                    lines.sda.initial = sda = d;
                } else {
                    if (c != scl) lines.scl.changes.push_back(sample), scl = c;
                    if (d != sda) lines.sda.changes.push_back(sample), sda = d;
                }
                ++sample;
            }
            carry = have - whole;
            std::copy(buf.begin() + static_cast<std::ptrdiff_t>(whole),
                      buf.begin() + static_cast<std::ptrdiff_t>(have), buf.begin());
        }
        if (n < 0)
            return fail("entry " + chunk + ": " + zip_error_strerror(zip_file_get_error(f.get())));
        if (carry != 0)
            return fail("entry " + chunk + ": ends within a sample of " + std::to_string(unitsize) +
                        " bytes");
    }
    lines.end = sample;
    return finishLines(std::move(lines), name_);
}

}  // namespace

ReadResult readSigrokSession(const std::string& path, const ChannelPick& pick) {
    int code = 0;
    Zip zip(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!zip) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string message =
            path + ": not a readable sigrok session: " + zip_error_strerror(&error);
        zip_error_fini(&error);
        return readError(message);
    }
    return SessionReader(zip.get(), path, pick).read();
}

ReadResult readSigrokSessionBytes(std::string_view bytes, const std::string& name,
                                  const ChannelPick& pick) {
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
    return SessionReader(zip.get(), name, pick).read();
}

}  // namespace kestrel::capture
