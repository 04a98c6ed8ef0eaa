#include "capture/capture_lines.h"

#include <cstdio>

namespace kestrel::capture {

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // C0 controls, DEL, and the C1 controls as UTF-8 writes them (C2 80..9F).
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c >= 0x20 && c != 0x7F && !c1) {
            out += static_cast<char>(c);
            continue;
        }
        char buf[12];
        if (c1)
            std::snprintf(buf, sizeof buf, "\\xC2\\x%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(text[++i])));
        else
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
        out += buf;
    }
    return out;
}

std::string boundedMessage(std::string_view text) {
    std::string out = printable(text);
    if (out.size() <= limits::kMessageChars) return out;
    // Cut on a character, not inside one.
    std::size_t cut = limits::kMessageChars;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    const std::size_t rest = out.size() - cut;
    out.resize(cut);
    return out + "... (" + std::to_string(rest) + " more characters)";
}

ReadResult readError(std::string_view message, std::vector<std::string> channels) {
    ReadResult r;
    r.error = boundedMessage(message);
    r.channels = std::move(channels);
    return r;
}

std::string LineFeed::tooManyTransitions() {
    return "more than " + std::to_string(limits::kTransitions) +
           " changes of SCL and SDA, the most a capture may hold";
}

ReadResult LineFeed::finish(std::uint64_t end, const std::string& name,
                            std::vector<std::string> channels) {
    if (transitions_ == 0)
        return readError(name + ": SCL and SDA never change: no transitions to decode",
                         std::move(channels));
    sink_.end(end);
    ReadResult r;
    r.ok = true;
    r.channels = std::move(channels);
    r.tickSeconds = tick_;
    r.transitions = transitions_;
    return r;
}

}  // namespace kestrel::capture
