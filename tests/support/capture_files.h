#pragma once

#include <zip.h>

#include <unistd.h>

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

// The levels of a VCD with one change per line, named SCL (!) and SDA (").
inline Levels levelsOfVcd(const std::string& vcd) {
    Levels out;
    std::istringstream in(vcd);
    std::string line;
    bool body = false, scl = true, sda = true;
    std::uint64_t t = 0;
    while (std::getline(in, line)) {
        if (!body) {
            body = line.find("$enddefinitions") != std::string::npos;
            continue;
        }
        if (line.empty()) continue;
        if (line[0] == '#')
            t = std::stoull(line.substr(1));
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
// `skip` (1-based, 0 for none) is left out.
inline std::string sigrokSession(const Levels& levels, const std::vector<std::string>& names,
                                 int chunks = 3, int skip = 0, bool withVersion = true) {
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
        std::to_string(names.size()) + "\nsamplerate=" +
        (rate % 1000000 == 0 ? std::to_string(rate / 1000000) + " MHz"
         : rate % 1000 == 0  ? std::to_string(rate / 1000) + " kHz"
                             : std::to_string(rate) + " Hz") +
        "\ntotal analog=0\n";
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

}  // namespace kestrel::testing
