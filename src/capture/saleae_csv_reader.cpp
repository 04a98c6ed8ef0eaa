#include <cmath>
#include <cstdlib>
#include <limits>

#include "bus/decimal.h"
#include "capture/capture_readers.h"

namespace kestrel::capture {

namespace {

// The fields of a row into `out`, reusing its strings (a capture has
// millions of rows): spaces around a field and quotes around it dropped.
void splitFields(const std::string& line, std::vector<std::string>& out) {
    std::size_t n = 0, begin = 0;
    for (;;) {
        std::size_t end = line.find(',', begin);
        const bool last = end == std::string::npos;
        if (last) end = line.size();
        std::size_t a = begin, b = end;
        while (a < b && line[a] == ' ') ++a;
        while (b > a && (line[b - 1] == ' ' || line[b - 1] == '\r')) --b;
        if (b - a >= 2 && line[a] == '"' && line[b - 1] == '"') ++a, --b;
        if (n == out.size()) out.emplace_back();
        out[n++].assign(line, a, b - a);
        if (last) break;
        begin = end + 1;
    }
    out.resize(n);
}

// Seconds as written ("0.000001250", "-0.5", "1.25e-06") in picoseconds.
bool parsePicoseconds(const std::string& text, std::int64_t& ps) {
    const auto seconds = decimal::parse(text);
    if (!seconds || !std::isfinite(*seconds)) return false;
    const double value = std::round(*seconds * 1e12);
    if (std::fabs(value) > 4e18) return false;  // differences stay within 64 bits
    ps = static_cast<std::int64_t>(value);
    return true;
}

}  // namespace

ReadResult readSaleaeCsv(std::istream& in, const std::string& name, const ChannelPick& pick) {
    std::string line;
    std::size_t number = 0;
    auto fail = [&](const std::string& what) {
        return readError(name + ": line " + std::to_string(number) + ": " + what);
    };
    if (!std::getline(in, line)) return readError(name + ": empty file");
    number = 1;
    if (line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    std::vector<std::string> header;
    splitFields(line, header);
    if (header.size() < 3 || header[0].rfind("Time", 0) != 0)
        return fail("not a digital export: the header is not \"Time [s],<channels>\"");
    const std::vector<std::string> names(header.begin() + 1, header.end());
    if (pick.namesOnly) return ReadResult{std::nullopt, {}, names};
    const PickedChannels picked = pickChannels(names, pick);
    if (picked.scl < 0) return ReadResult{std::nullopt, name + ": " + picked.error, names};
    const auto sclField = static_cast<std::size_t>(picked.scl) + 1;
    const auto sdaField = static_cast<std::size_t>(picked.sda) + 1;

    CaptureLines lines;
    lines.tickSeconds = 1e-12;
    std::int64_t first = 0, last = 0;
    bool any = false, scl = true, sda = true;
    std::vector<std::string> fields;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line == "\r") continue;
        splitFields(line, fields);
        if (fields.size() != header.size())
            return fail(std::to_string(fields.size()) + " fields, the header has " +
                        std::to_string(header.size()));
        std::int64_t t = 0;
        if (!parsePicoseconds(fields[0], t))
            return fail("time \"" + fields[0] + "\" is not a number of seconds");
        for (std::size_t i = 1; i < fields.size(); ++i)
            if (fields[i] != "0" && fields[i] != "1")
                return fail(header[i] + " is \"" + fields[i] + "\", not 0 or 1");
        if (any && t < last) return fail("time " + fields[0] + " s is before the row above");
        const bool c = fields[sclField] == "1", d = fields[sdaField] == "1";
        if (!any) {
            first = t;
            lines.scl.initial = scl = c;
            lines.sda.initial = sda = d;
            any = true;
        } else {
            const auto tick = static_cast<std::uint64_t>(t - first);
            if (c != scl) lines.scl.changes.push_back(tick), scl = c;
            if (d != sda) lines.sda.changes.push_back(tick), sda = d;
        }
        last = t;
    }
    if (in.bad()) return readError(name + ": read error");
    lines.end = static_cast<std::uint64_t>(last - first);
    return finishLines(std::move(lines), name);
}

}  // namespace kestrel::capture
