#include <charconv>
#include <cmath>

#include "capture/capture_readers.h"

namespace kestrel::capture {

namespace {

// The fields of a row into `out`, reusing its strings (a capture has
// millions of rows): spaces around a field and quotes around it dropped.
void splitFields(std::string_view line, std::vector<std::string>& out) {
    std::size_t n = 0, begin = 0;
    for (;;) {
        std::size_t end = line.find(',', begin);
        const bool last = end == std::string_view::npos;
        if (last) end = line.size();
        std::size_t a = begin, b = end;
        while (a < b && line[a] == ' ') ++a;
        while (b > a && (line[b - 1] == ' ' || line[b - 1] == '\r')) --b;
        if (b - a >= 2 && line[a] == '"' && line[b - 1] == '"') ++a, --b;
        if (n == out.size()) out.emplace_back();
        out[n++].assign(line.substr(a, b - a));
        if (last) break;
        begin = end + 1;
    }
    out.resize(n);
}

// Seconds as written ("0.000001250", "-0.5", "1.25e-06") in picoseconds,
// whatever the locale.
bool parsePicoseconds(const std::string& text, std::int64_t& ps) {
    if (text.empty()) return false;
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds))
        return false;
    const double value = std::round(seconds * 1e12);
    if (std::fabs(value) > 4e18) return false;  // differences stay within 64 bits
    ps = static_cast<std::int64_t>(value);
    return true;
}

}  // namespace

ReadResult readSaleaeCsv(std::istream& in, const std::string& name, const ChannelPick& pick,
                         LineSink& sink) {
    TextInput text(in);
    return readSaleaeCsv(text, name, pick, sink);
}

ReadResult readSaleaeCsv(TextInput& in, const std::string& name, const ChannelPick& pick,
                         LineSink& sink) {
    std::string_view line;
    auto fail = [&](const std::string& what) {
        return readError(name + ": line " + std::to_string(in.lineNumber()) + ": " + what);
    };
    if (!in.line(line))
        return in.error().empty() ? readError(name + ": empty file") : fail(in.error());
    if (line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.remove_prefix(3);
    std::vector<std::string> header;
    splitFields(line, header);
    if (header.size() < 3 || header[0].rfind("Time", 0) != 0)
        return fail("not a digital export: the header is not \"Time [s],<channels>\"");
    if (header.size() - 1 > limits::kChannels)
        return fail(std::to_string(header.size() - 1) + " channels, more than " +
                    std::to_string(limits::kChannels));
    const std::vector<std::string> names(header.begin() + 1, header.end());
    if (pick.namesOnly) return ReadResult{true, {}, names};
    const PickedChannels picked = pickChannels(names, pick);
    if (picked.scl < 0) return readError(name + ": " + picked.error, names);
    const auto sclField = static_cast<std::size_t>(picked.scl) + 1;
    const auto sdaField = static_cast<std::size_t>(picked.sda) + 1;

    LineFeed feed(sink, 1e-12);
    std::int64_t first = 0, last = 0;
    bool any = false;
    std::vector<std::string> fields;
    while (in.line(line)) {
        if (line.empty()) continue;
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
        if (!any) first = t;
        any = true;
        last = t;
        if (!feed.at(static_cast<std::uint64_t>(t - first), fields[sclField] == "1",
                     fields[sdaField] == "1"))
            return fail(LineFeed::tooManyTransitions());
    }
    if (!in.error().empty()) return fail(in.error());
    return feed.finish(static_cast<std::uint64_t>(last - first), name, names);
}

}  // namespace kestrel::capture
