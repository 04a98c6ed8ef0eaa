#include <algorithm>
#include <cctype>

#include "capture/capture_lines.h"

namespace kestrel::capture {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool containsAny(const std::string& name, std::initializer_list<const char*> words) {
    const std::string l = lower(name);
    return std::any_of(words.begin(), words.end(),
                       [&](const char* w) { return l.find(w) != std::string::npos; });
}

std::string list(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out.empty() ? std::string("none") : out;
}

// The one channel named `wanted`, or the one channel whose name says what it is.
int find(const std::vector<std::string>& names, const std::string& wanted, const char* line,
         std::initializer_list<const char*> words, std::string& error) {
    std::vector<int> hits;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool hit = wanted.empty() ? containsAny(names[i], words) : names[i] == wanted;
        if (hit) hits.push_back(static_cast<int>(i));
    }
    if (hits.size() == 1) return hits.front();
    if (!wanted.empty())
        error = hits.empty() ? "no channel named " + wanted + " (channels: " + list(names) + ")"
                             : "more than one channel named " + wanted;
    else
        error = std::string(hits.empty() ? "no channel" : "more than one channel") +
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
