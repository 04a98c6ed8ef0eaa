#include <algorithm>
#include <vector>

#include "capture/capture_lines.h"

namespace kestrel::capture {

namespace {

// ASCII only, whatever the locale.
std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool containsAny(const std::string& name, std::initializer_list<const char*> words) {
    const std::string l = lower(name);
    return std::any_of(words.begin(), words.end(),
                       [&](const char* w) { return l.find(w) != std::string::npos; });
}

// The names for a message: the first few, and how many more.
std::string list(const std::vector<std::string>& names) {
    constexpr std::size_t kShown = 16;
    std::string out;
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i)
        out += (out.empty() ? "" : ", ") + names[i];
    if (names.size() > kShown) out += " and " + std::to_string(names.size() - kShown) + " more";
    return out.empty() ? std::string("none") : out;
}

// The indexes of the channels `hit` takes.
template <typename Hit>
std::vector<int> hits(const std::vector<std::string>& names, Hit hit) {
    std::vector<int> out;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (hit(names[i])) out.push_back(static_cast<int>(i));
    return out;
}

// The one channel named `wanted` (exactly, or else in any case), or the one
// whose name says what it is: the line's own name in any case, else one of
// `words` within the name.
int find(const std::vector<std::string>& names, const std::string& wanted, const char* line,
         std::initializer_list<const char*> words, std::string& error) {
    const std::string own = lower(wanted.empty() ? std::string(line) : wanted);
    std::vector<int> found;
    if (!wanted.empty()) found = hits(names, [&](const std::string& n) { return n == wanted; });
    if (found.empty()) found = hits(names, [&](const std::string& n) { return lower(n) == own; });
    if (found.empty() && wanted.empty())
        found = hits(names, [&](const std::string& n) { return containsAny(n, words); });
    if (found.size() == 1) return found.front();
    if (!wanted.empty())
        error = found.empty() ? "no channel named " + wanted + " (channels: " + list(names) + ")"
                              : "more than one channel named " + wanted;
    else
        error = std::string(found.empty() ? "no channel" : "more than one channel") +
                "'s name tells which is " + line + " (channels: " + list(names) +
                "); name it with --" + lower(line);
    return -1;
}

}  // namespace

PickedChannels pickChannels(const std::vector<std::string>& names, const ChannelPick& pick) {
    PickedChannels p;
    p.scl = find(names, pick.scl, "SCL", {"scl", "sck", "clk", "clock"}, p.error);
    if (p.scl < 0) return p;
    p.sda = find(names, pick.sda, "SDA", {"sda", "data"}, p.error);
    if (p.sda < 0) {
        p.scl = -1;  // an error leaves neither
        return p;
    }
    if (p.scl == p.sda) {
        p.error = "SCL and SDA are the same channel, " + names[static_cast<std::size_t>(p.scl)];
        p.scl = p.sda = -1;
    }
    return p;
}

}  // namespace kestrel::capture
