#include "files/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "bus/durable_file.h"
#include "device/text_rules.h"

namespace kestrel::image_file {

namespace {

std::string reason(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}

// Closes a descriptor on every path out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The line as it can be shown in one message line.
std::string shown(const std::string& line) {
    std::string s;
    for (char c : line.substr(0, 40)) s += (c >= ' ' && c <= '~') ? c : '?';
    return "'" + s + (line.size() > 40 ? "...'" : "'");
}

// "8100h: 3Ch": the address, its digit count and the data byte, or nothing.
struct ImageLine {
    unsigned address;
    unsigned digits;
    int data;
};
std::optional<ImageLine> readImageLine(const std::string& line) {
    const std::size_t h = line.find('h');
    if (h == std::string::npos || h == 0 || h > 4) return std::nullopt;
    for (std::size_t i = 0; i < h; ++i)
        if (!isHex(line[i])) return std::nullopt;
    const std::string rest = line.substr(h);
    if (rest.size() != 6 || rest.compare(0, 3, "h: ") != 0 || !isHex(rest[3]) || !isHex(rest[4]) ||
        rest[5] != 'h')
        return std::nullopt;
    return ImageLine{text::hexValue(line.substr(0, h)), static_cast<unsigned>(h),
                     static_cast<int>(text::hexValue(rest.substr(3, 2)))};
}

}  // namespace

std::optional<std::vector<int>> parseImageLines(const std::string& text, const std::string& name,
                                                std::size_t lines,
                                                std::optional<unsigned> firstAddress,
                                                std::string& error) {
    const std::string holds = "an image holds " + std::to_string(lines) + " lines";
    const std::string prefix = name.empty() ? "line " : name + " line ";
    std::vector<int> data;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lineNo = data.size() + 1;
        const std::string where = prefix + std::to_string(lineNo) + ": ";
        std::size_t end = text.find('\n', pos);
        const bool ended = end != std::string::npos;
        if (!ended) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (ended && !line.empty() && line.back() == '\r') line.pop_back();
        pos = ended ? end + 1 : end;
        if (lineNo > lines) {
            error = where + "more than " + std::to_string(lines) + " lines; " + holds;
            return std::nullopt;
        }
        const auto image = readImageLine(line);
        if (!image) {
            error = where + (line.empty() ? std::string("empty") : shown(line)) +
                    " is not an image line like 8100h: 3Ch";
            return std::nullopt;
        }
        if (firstAddress) {
            const unsigned want = *firstAddress + static_cast<unsigned>(data.size());
            if (image->address != want || image->digits != 4) {
                error =
                    where + shown(line) + " should hold address " + text::addressText(want) + "h";
                return std::nullopt;
            }
        }
        data.push_back(image->data);
    }
    if (data.size() < lines) {
        error = prefix + std::to_string(data.size() + 1) + ": missing; " + holds;
        return std::nullopt;
    }
    return data;
}

std::string imageLines(unsigned base, const std::vector<int>& data) {
    std::string out;
    out.reserve(data.size() * 12);
    for (std::size_t i = 0; i < data.size(); ++i)
        out += text::imageLine(base + static_cast<unsigned>(i), static_cast<unsigned>(data[i])) +
               "\r\n";
    return out;
}

bool save(const std::string& path, const std::vector<std::string>& items, int count,
          std::string* error) {
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        if (static_cast<std::size_t>(i) < items.size()) bytes += items[static_cast<std::size_t>(i)];
        bytes += "\r\n";
    }
    std::string why;
    if (durable::replaceFile(path, bytes, why)) return true;
    if (error) *error = text::sentence(why);
    return false;
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

bool readSmallFile(const std::string& path, std::size_t limit, std::string& bytes,
                   std::string* error) {
    // Non-blocking, so a FIFO cannot hang the program before it is refused.
    Fd in{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (in.fd < 0) {
        if (error) *error = reason("Cannot open", path, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(in.fd, &st) != 0) {
        if (error) *error = reason("Cannot read", path, errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        if (error) *error = "Cannot read " + path + ": not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > limit) {
        if (error)
            *error = "Cannot read " + path + ": the file is larger than " +
                     std::to_string(limit / 1024) + " KiB";
        return false;
    }
    std::string data;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = reason("Cannot read", path, errno);
            return false;
        }
        if (n == 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > limit) {  // it grew while we read it
            if (error)
                *error = "Cannot read " + path + ": the file is larger than " +
                         std::to_string(limit / 1024) + " KiB";
            return false;
        }
    }
    bytes = std::move(data);
    return true;
}

bool load(const std::string& path, std::vector<std::string>& lines, std::string* error) {
    std::string bytes;
    if (!readSmallFile(path, kMaxFileBytes, bytes, error)) return false;
    lines = splitLines(bytes);
    return true;
}

}  // namespace kestrel::image_file
