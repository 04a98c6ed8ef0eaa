#include "main_window/image_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kestrel::image_file {

namespace {

std::string reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool save(const std::string& path, const std::vector<std::string>& items, int count,
          std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        if (error) *error = reason("Cannot create", path);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (static_cast<std::size_t>(i) < items.size()) out << items[static_cast<std::size_t>(i)];
        out << "\r\n";
    }
    out.close();
    if (!out) {
        if (error) *error = reason("Cannot write", path);
        return false;
    }
    return true;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    bool pending = false;  // characters (or a line end) seen since the last line was closed
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(std::move(current));
            current.clear();
            pending = false;
        } else {
            current += c;
            pending = true;
        }
    }
    if (pending) lines.push_back(std::move(current));
    return lines;
}

bool load(const std::string& path, std::vector<std::string>& lines, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = reason("Cannot open", path);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        if (error) *error = reason("Cannot read", path);
        return false;
    }
    lines = splitLines(text.str());
    return true;
}

}  // namespace kestrel::image_file
