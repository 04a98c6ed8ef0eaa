#include <charconv>

#include "capture/capture_readers.h"

namespace kestrel::capture {

namespace {

struct Var {
    std::string name;
    std::string id;
    unsigned width = 1;
};

// "1 ns", "10us", "100 ps" as seconds; 0 when it is none of the legal ones.
double timescaleSeconds(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    const std::string number = text.substr(0, i), unit = text.substr(i);
    if (number != "1" && number != "10" && number != "100") return 0;
    static const std::pair<const char*, double> units[] = {
        {"s", 1.0}, {"ms", 1e-3}, {"us", 1e-6}, {"ns", 1e-9}, {"ps", 1e-12}, {"fs", 1e-15}};
    for (const auto& [u, seconds] : units)
        if (unit == u) return std::stoi(number) * seconds;
    return 0;
}

}  // namespace

ReadResult readVcd(std::istream& in, const std::string& name, const ChannelPick& pick,
                   LineSink& sink) {
    TextInput text(in);
    return readVcd(text, name, pick, sink);
}

ReadResult readVcd(TextInput& words, const std::string& name, const ChannelPick& pick,
                   LineSink& sink) {
    std::string_view w;
    auto fail = [&](const std::string& what) {
        return readError(name + ": line " + std::to_string(words.lineNumber()) + ": " + what);
    };
    // A fault of the input itself (a read error, a word past the limit).
    auto inputFault = [&] { return fail(words.error()); };
    // Everything up to the command's $end.
    auto body = [&](std::vector<std::string>& out) {
        while (words.word(w)) {
            if (w == "$end") return true;
            out.emplace_back(w);
        }
        return false;
    };

    std::vector<Var> vars;
    double tick = 0;
    bool definitionsEnded = false;
    while (!definitionsEnded && words.word(w)) {
        std::vector<std::string> args;
        const std::string keyword(w);
        if (keyword.empty() || keyword[0] != '$')
            return fail("\"" + keyword + "\" before $enddefinitions");
        if (keyword == "$enddefinitions") {
            definitionsEnded = true;
            if (!body(args)) return fail("$enddefinitions without $end");
            continue;
        }
        if (!body(args)) {
            if (!words.error().empty()) return inputFault();
            return fail(keyword + " without $end");
        }
        if (keyword == "$timescale") {
            std::string joined;
            for (const auto& a : args) joined += a;
            tick = timescaleSeconds(joined);
            if (tick == 0)
                return fail("timescale \"" + joined +
                            "\" is not 1, 10 or 100 of s, ms, us, ns, ps, fs");
        } else if (keyword == "$var") {
            if (args.size() < 4) return fail("$var needs a type, a size, an identifier and a name");
            if (vars.size() == limits::kChannels)
                return fail("more than " + std::to_string(limits::kChannels) + " variables");
            Var v;
            unsigned width = 0;
            const auto [p, ec] =
                std::from_chars(args[1].data(), args[1].data() + args[1].size(), width);
            if (ec != std::errc() || p != args[1].data() + args[1].size() || width == 0)
                return fail("$var size \"" + args[1] + "\" is not a number");
            v.width = width;
            v.id = args[2];
            v.name = args[3];
            vars.push_back(std::move(v));
        }
    }
    if (!words.error().empty()) return inputFault();
    if (!definitionsEnded) return fail("no $enddefinitions");
    if (tick == 0) tick = 1e-9;  // the timescale is optional; a writer without one means 1 ns

    std::vector<std::string> names;
    for (const Var& v : vars) names.push_back(v.name);
    if (pick.namesOnly) return ReadResult{true, {}, names};
    const PickedChannels picked = pickChannels(names, pick);
    if (picked.scl < 0) return readError(name + ": " + picked.error, names);
    const Var& sclVar = vars[static_cast<std::size_t>(picked.scl)];
    const Var& sdaVar = vars[static_cast<std::size_t>(picked.sda)];
    for (const Var* v : {&sclVar, &sdaVar})
        if (v->width != 1)
            return readError(name + ": " + v->name + " is " + std::to_string(v->width) +
                             " bits wide, not one line");
    if (sclVar.id == sdaVar.id)
        return readError(name + ": " + sclVar.name + " and " + sdaVar.name +
                         " have one identifier, " + sclVar.id +
                         ": the file holds one signal for both lines");

    LineFeed feed(sink, tick);
    bool haveTime = false;
    bool scl = true, sda = true;
    std::uint64_t first = 0, now = 0;
    // A level for the line with identifier `id`.
    auto level = [&](std::string_view id, char value, std::string& error) {
        const bool isScl = id == sclVar.id, isSda = id == sdaVar.id;
        if (!isScl && !isSda) return;
        bool high;
        if (value == '0')
            high = false;
        else if (value == '1' || value == 'z' || value == 'Z')
            high = true;
        else {
            error = "level '" + std::string(1, value) + "' of " +
                    (isScl ? sclVar.name : sdaVar.name) + " is neither 0 nor 1";
            return;
        }
        (isScl ? scl : sda) = high;
    };

    std::string error;
    while (words.word(w)) {
        const char c = w[0];
        if (c == '#') {
            std::uint64_t t = 0;
            const auto [p, ec] = std::from_chars(w.data() + 1, w.data() + w.size(), t);
            if (ec != std::errc() || p != w.data() + w.size() || w.size() == 1)
                return fail("time \"" + std::string(w) + "\" is not a number");
            if (haveTime && t < now)
                return fail("time " + std::to_string(t) + " is before " + std::to_string(now));
            // The levels the time before ended with.
            if (haveTime && t > now && !feed.at(now - first, scl, sda))
                return fail(LineFeed::tooManyTransitions());
            if (!haveTime) first = t;
            haveTime = true;
            now = t;
        } else if (c == '$') {
            if (w == "$comment") {
                while (words.word(w) && w != "$end") {
                }
            }
            // $dumpvars, $dumpall, $dumpon, $dumpoff and their $end: values follow as usual.
        } else if (c == 'b' || c == 'B' || c == 'r' || c == 'R') {
            const std::string value(w.substr(1));
            if (!words.word(w)) return fail("value \"" + value + "\" without an identifier");
            if (c == 'b' || c == 'B') {
                if (value.empty()) return fail("empty vector value");
                level(w, value.back(), error);
            } else if (w == sclVar.id || w == sdaVar.id) {
                error = "a real value for a line";
            }
        } else if (c == '0' || c == '1' || c == 'x' || c == 'X' || c == 'z' || c == 'Z') {
            if (w.size() < 2) return fail("value \"" + std::string(w) + "\" without an identifier");
            level(w.substr(1), c, error);
        } else {
            return fail(std::string(1, '"').append(w) + "\" is neither a time nor a value change");
        }
        if (!error.empty()) return fail(error);
    }
    if (!words.error().empty()) return inputFault();
    if (!feed.at(now - first, scl, sda)) return fail(LineFeed::tooManyTransitions());
    return feed.finish(now - first, name, names);
}

}  // namespace kestrel::capture
