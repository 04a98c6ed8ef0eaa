#pragma once

#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// Capture files written for the tests, independently of the readers: the
// levels of SCL and SDA as a sigrok session, a Saleae CSV export or a
// hand-drawn VCD.
namespace kestrel::testing {

struct Level {
    std::uint64_t t;  // nanoseconds (or the VCD's own unit for hand-drawn ones)
    bool scl, sda;
};
using Levels = std::vector<Level>;

// The levels of a VCD with one change per line, named SCL (!) and SDA ("),
// in nanoseconds (its timescale a whole number of them).
inline Levels levelsOfVcd(const std::string& vcd) {
    Levels out;
    std::istringstream in(vcd);
    std::string line;
    bool body = false, scl = true, sda = true;
    std::uint64_t t = 0, unit = 1;
    while (std::getline(in, line)) {
        if (!body) {
            if (line.rfind("$timescale ", 0) == 0)
                unit = std::stoull(line.substr(11)) *
                       (line.find(" us ") != std::string::npos ? 1000 : 1);
            body = line.find("$enddefinitions") != std::string::npos;
            continue;
        }
        if (line.empty()) continue;
        if (line[0] == '#')
            t = std::stoull(line.substr(1)) * unit;
        else if (line.size() == 2 && line[1] == '!')
            scl = line[0] == '1';
        else if (line.size() == 2 && line[1] == '"')
            sda = line[0] == '1';
        else
            continue;
        if (!out.empty() && out.back().t == t)
            out.back() = {t, scl, sda};
        else
            out.push_back({t, scl, sda});
    }
    return out;
}

// A sigrok session with the given probe names (SCL and SDA where the names
// say; other probes low), the samples split into `chunks` entries of which
// `skip` (1-based, 0 for none) is left out; `samplerate` replaces the
// samplerate line (empty: none at all).
inline std::string sigrokSession(const Levels& levels, const std::vector<std::string>& names,
                                 int chunks = 3, int skip = 0, bool withVersion = true,
                                 const char* samplerate = nullptr) {
    std::uint64_t step = 0;
    for (const Level& l : levels) step = std::gcd(step, l.t - levels.front().t);
    if (step == 0) step = 1;
    const std::uint64_t rate = 1000000000ull / step;
    std::string samples;
    for (std::size_t i = 0; i + 1 < levels.size() || i == 0; ++i) {
        const std::uint64_t n = i + 1 < levels.size() ? (levels[i + 1].t - levels[i].t) / step : 1;
        unsigned char v = 0;
        for (std::size_t p = 0; p < names.size(); ++p) {
            if (names[p] == "SCL" && levels[i].scl) v |= static_cast<unsigned char>(1u << p);
            if (names[p] == "SDA" && levels[i].sda) v |= static_cast<unsigned char>(1u << p);
        }
        samples.append(n, static_cast<char>(v));
    }
    samples += samples.back();
    std::string metadata =
        "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal probes=" +
        std::to_string(names.size()) + "\n" +
        (samplerate == nullptr ? "samplerate=" +
                                     (rate % 1000000 == 0 ? std::to_string(rate / 1000000) + " MHz"
                                      : rate % 1000 == 0  ? std::to_string(rate / 1000) + " kHz"
                                                          : std::to_string(rate) + " Hz") +
                                     "\n"
         : *samplerate == 0 ? std::string()
                            : "samplerate=" + std::string(samplerate) + "\n") +
        "total analog=0\n";
    for (std::size_t p = 0; p < names.size(); ++p)
        metadata += "probe" + std::to_string(p + 1) + "=" + names[p] + "\n";
    metadata += "unitsize=1\n";

    char path[] = "/tmp/kestrel_sr_XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) throw std::runtime_error("mkstemp");
    ::close(fd);
    int error = 0;
    zip_t* z = zip_open(path, ZIP_TRUNCATE, &error);
    if (!z) throw std::runtime_error("zip_open");
    std::vector<std::string> keep;  // the buffers live until zip_close
    keep.reserve(static_cast<std::size_t>(chunks) + 2);
    auto add = [&](const std::string& name, std::string data) {
        keep.push_back(std::move(data));
        zip_source_t* s = zip_source_buffer(z, keep.back().data(), keep.back().size(), 0);
        if (!s || zip_file_add(z, name.c_str(), s, ZIP_FL_OVERWRITE) < 0)
            throw std::runtime_error("zip add");
    };
    if (withVersion) add("version", "2");
    add("metadata", metadata);
    const std::size_t per =
        (samples.size() + static_cast<std::size_t>(chunks) - 1) / static_cast<std::size_t>(chunks);
    for (int c = 0; c < chunks; ++c)
        if (c + 1 != skip)
            add("logic-1-" + std::to_string(c + 1),
                samples.substr(std::min(samples.size(), per * static_cast<std::size_t>(c)), per));
    if (zip_close(z) < 0) throw std::runtime_error("zip_close");
    std::ifstream in(path, std::ios::binary);
    std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path);
    return out;
}

// A Saleae Logic 2 digital export: a row at the start and at every change.
inline std::string saleaeCsv(const Levels& levels, const std::vector<std::string>& names) {
    std::string out = "Time [s]";
    for (const auto& n : names) out += "," + n;
    out += "\n";
    for (const Level& l : levels) {
        char time[40];
        std::snprintf(time, sizeof time, "%.9f",
                      static_cast<double>(l.t - levels.front().t) * 1e-9);
        out += time;
        for (const auto& n : names)
            out += n == "SCL" ? (l.scl ? ",1" : ",0") : n == "SDA" ? (l.sda ? ",1" : ",0") : ",0";
        out += "\n";
    }
    return out;
}

// One transaction of `bytes`, each acknowledged, drawn one time unit per
// step, as a VCD named "clock" and "data" with a 4-bit bus beside them.
inline std::string handDrawnVcd(const std::string& timescale,
                                const std::vector<std::uint8_t>& bytes, bool oneLine) {
    Levels l = {{0, true, true}};
    auto add = [&](bool scl, bool sda) { l.push_back({l.back().t + 1, scl, sda}); };
    add(true, false);
    add(false, false);
    for (std::uint8_t b : bytes) {
        for (int i = 7; i >= -1; --i) {
            const bool bit = i >= 0 && ((b >> i) & 1);
            add(false, bit);
            add(true, bit);
            add(false, bit);
        }
    }
    add(false, false);
    add(true, false);
    add(true, true);
    std::string out =
        "$date today $end\n$timescale " + timescale +
        " $end\n$scope module top $end\n"
        "$var wire 1 ! clock $end\n$var wire 1 % data $end\n$var reg 4 # bus [3:0] $end\n"
        "$upscope $end\n$enddefinitions $end\n$dumpvars\nb0000 #\n$end\n";
    const char* sep = oneLine ? " " : "\n";
    bool scl = false, sda = false, first = true;
    for (const Level& s : l) {
        out += "#" + std::to_string(s.t);
        if (first || s.scl != scl) out += std::string(sep) + (s.scl ? "1!" : "0!");
        if (first || s.sda != sda) out += std::string(sep) + (s.sda ? "1%" : "0%");
        if (s.t == 5) out += std::string(sep) + "b1010 #";
        out += "\n";
        scl = s.scl;
        sda = s.sda;
        first = false;
    }
    return out + "#" + std::to_string(l.back().t + 5) + "\n";
}

// A wire drawn step by step for the decoders, one microsecond a step: the
// levels in nanoseconds.
struct Drawing {
    Levels levels{{0, true, true}};
    bool scl() const { return levels.back().scl; }
    bool sda() const { return levels.back().sda; }
    void to(bool scl, bool sda, std::uint64_t us = 1) {
        levels.push_back({levels.back().t + us * 1000, scl, sda});
    }
    // START from idle, or a repeated START (SCL low after a byte).
    void start() {
        if (!scl()) {
            to(false, true);
            to(true, true);
        }
        to(true, false);
        to(false, false);
    }
    // `count` bits of `value`, from its top bit, each clocked.
    void bits(std::uint8_t value, int count = 8) {
        for (int i = 7; i > 7 - count; --i) {
            const bool bit = ((value >> i) & 1) != 0;
            to(false, bit);
            to(true, bit);
            to(false, bit);
        }
    }
    // A byte and its ninth clock: SDA low there when `ack`.
    void byte(std::uint8_t value, bool ack) {
        bits(value);
        to(false, !ack);
        to(true, !ack);
        to(false, !ack);
    }
    // A byte whose ninth clock rises with SDA low (acknowledged) and is
    // ended there by a STOP: SDA rises while SCL is high.
    void byteStoppedInItsAckClock(std::uint8_t value) {
        bits(value);
        to(false, false);
        to(true, false);
        to(true, true);
        to(true, true, 5);
    }
    // A byte whose ninth clock rises with SDA high (not acknowledged) and is
    // ended there by a repeated START: SDA falls while SCL is high.
    void byteRestartedInItsAckClock(std::uint8_t value) {
        bits(value);
        to(false, true);
        to(true, true);
        to(true, false);
        to(false, false);
    }
    // The bus held (SCL low) this many milliseconds.
    void hold(std::uint64_t ms) {
        to(false, false);
        levels.push_back({levels.back().t + ms * 1000000, false, false});
    }
    void stop() {
        if (scl() && !sda()) {
            to(true, true);
            return;
        }
        to(false, false);
        to(true, false);
        to(true, true);
        to(true, true, 5);
    }
    // The levels as a VCD of SCL (!) and SDA ("), in microseconds.
    std::string vcd() const {
        std::string out =
            "$timescale 1 us $end\n$var wire 1 ! SCL $end\n$var wire 1 \" SDA $end\n"
            "$enddefinitions $end\n";
        for (std::size_t i = 0; i < levels.size(); ++i) {
            const Level& l = levels[i];
            out += "#" + std::to_string(l.t / 1000) + "\n";
            if (i == 0 || l.scl != levels[i - 1].scl) out += l.scl ? "1!\n" : "0!\n";
            if (i == 0 || l.sda != levels[i - 1].sda) out += l.sda ? "1\"\n" : "0\"\n";
        }
        return out + "#" + std::to_string(levels.back().t / 1000 + 5) + "\n";
    }
};

// A zip archive written by hand, its headers saying what `claimed` says (a
// lying entry); the data already deflated (raw) or stored.
struct ZipEntry {
    std::string name;
    std::string data;  // as stored in the archive
    bool deflated = false;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;  // what the headers claim it inflates to
};
inline std::string handMadeZip(const std::vector<ZipEntry>& entries) {
    std::string out, central;
    auto put = [](std::string& s, std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    for (const ZipEntry& e : entries) {
        const std::size_t offset = out.size();
        const int method = e.deflated ? 8 : 0;
        put(out, 0x04034b50, 4);
        put(out, 20, 2), put(out, 0, 2), put(out, method, 2), put(out, 0, 4);
        put(out, e.crc, 4), put(out, e.data.size(), 4), put(out, e.size, 4);
        put(out, e.name.size(), 2), put(out, 0, 2);
        out += e.name + e.data;
        put(central, 0x02014b50, 4);
        put(central, 20, 2), put(central, 20, 2), put(central, 0, 2), put(central, method, 2);
        put(central, 0, 4), put(central, e.crc, 4), put(central, e.data.size(), 4);
        put(central, e.size, 4), put(central, e.name.size(), 2);
        put(central, 0, 2), put(central, 0, 2), put(central, 0, 2), put(central, 0, 2);
        put(central, 0, 4), put(central, offset, 4);
        central += e.name;
    }
    const std::size_t at = out.size();
    out += central;
    put(out, 0x06054b50, 4), put(out, 0, 4);
    put(out, entries.size(), 2), put(out, entries.size(), 2);
    put(out, central.size(), 4), put(out, at, 4), put(out, 0, 2);
    return out;
}

inline ZipEntry storedEntry(const std::string& name, const std::string& data) {
    return {name, data, false,
            static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                               static_cast<uInt>(data.size()))),
            data.size()};
}

// `data` deflated.
inline ZipEntry deflatedEntry(const std::string& name, const std::string& data) {
    ZipEntry e = storedEntry(name, data);
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    e.data = out;
    e.deflated = true;
    return e;
}

// `samples` samples that go 00h, 03h, 00h, ... (two probes toggling on every
// one), as one deflated entry, built as its bits without deflating them:
// the two literals, then copies of 258 bytes from two back.
inline ZipEntry togglingEntry(const std::string& name, std::uint64_t samples) {
    std::string bits;
    std::uint32_t acc = 0;
    int n = 0;
    auto put = [&](std::uint32_t value, int count) {  // LSB first
        acc |= value << n;
        n += count;
        while (n >= 8) bits += static_cast<char>(acc & 0xFF), acc >>= 8, n -= 8;
    };
    auto code = [&](std::uint32_t c, int count) {  // Huffman codes go MSB first
        for (int i = count - 1; i >= 0; --i) put((c >> i) & 1, 1);
    };
    auto literal = [&](int v) { code(0x30 + static_cast<std::uint32_t>(v), 8); };  // 0..143
    put(1, 1), put(1, 2);  // the last block, fixed codes
    literal(0x00), literal(0x03);
    std::uint64_t left = samples - 2;
    while (left >= 258) code(0xC5, 8), code(1, 5), left -= 258;  // length 258, distance 2
    while (left > 0) literal(static_cast<int>(samples - left) % 2 ? 0x03 : 0x00), --left;
    code(0, 7);  // end of block
    if (n > 0) put(0, 8 - n);
    // The CRC of the samples, combined from one megabyte's.
    std::string block(1 << 20, '\0');
    for (std::size_t i = 1; i < block.size(); i += 2) block[i] = '\x03';
    uLong crc = 0, blockCrc = ::crc32(0, reinterpret_cast<const Bytef*>(block.data()), 1 << 20);
    std::uint64_t done = 0;
    for (int k = 0; done + (std::uint64_t{1} << 20) <= samples; ++k) {
        crc = ::crc32_combine(crc, blockCrc, 1 << 20);
        done += 1 << 20;
    }
    crc = ::crc32(crc, reinterpret_cast<const Bytef*>(block.data()),
                  static_cast<uInt>(samples - done));
    return {name, bits, true, static_cast<std::uint32_t>(crc), samples};
}

}  // namespace kestrel::testing
