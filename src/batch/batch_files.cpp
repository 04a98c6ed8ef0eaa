#include "batch/batch_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <ostream>

#include "batch/strict_number.h"
#include "device/text_rules.h"

namespace kestrel::batch {

namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The line as it can be shown in one message line.
std::string shown(const std::string& line) {
    std::string s;
    for (char c : line.substr(0, 40)) s += (c >= ' ' && c <= '~') ? c : '?';
    return "'" + s + (line.size() > 40 ? "...'" : "'");
}

// "8100h: 3Ch": the address digits and the data byte, or nothing.
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
    ImageLine out;
    out.address = static_cast<unsigned>(*strictHex(line.substr(0, h)));
    out.digits = static_cast<unsigned>(h);
    out.data = static_cast<int>(*strictHex(rest.substr(3, 2)));
    return out;
}

void closeQuietly(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

bool readInput(const std::string& path, std::istream& standardInput, std::string& text,
               std::string& error) {
    std::string buffer;
    if (path == "-") {
        char chunk[4096];
        while (standardInput.read(chunk, sizeof chunk) || standardInput.gcount() > 0) {
            buffer.append(chunk, static_cast<std::size_t>(standardInput.gcount()));
            if (buffer.size() > kMaxInputBytes) {
                error = "standard input: more than 1 MiB, not an image";
                return false;
            }
        }
        if (standardInput.bad()) {
            error = "cannot read standard input";
            return false;
        }
        text = std::move(buffer);
        return true;
    }
    // Non-blocking, so that opening a FIFO cannot hang the run.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = systemError("cannot open", path);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        closeQuietly(fd);
        error = path + ": not a regular file";
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxInputBytes) {
        closeQuietly(fd);
        error = path + ": larger than 1 MiB, not an image";
        return false;
    }
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            error = systemError("cannot read", path);
            closeQuietly(fd);
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
        if (buffer.size() > kMaxInputBytes) {
            closeQuietly(fd);
            error = path + ": larger than 1 MiB, not an image";
            return false;
        }
    }
    closeQuietly(fd);
    text = std::move(buffer);
    return true;
}

std::optional<std::vector<int>> parseImage(const std::string& text, const std::string& name,
                                           std::size_t lines, std::optional<unsigned> firstAddress,
                                           std::string& error) {
    const std::string holds = "an image holds " + std::to_string(lines) + " lines";
    std::vector<int> data;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lineNo = data.size() + 1;
        const std::string where = name + " line " + std::to_string(lineNo) + ": ";
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
        error = name + " line " + std::to_string(data.size() + 1) + ": missing; " + holds;
        return std::nullopt;
    }
    return data;
}

std::string imageText(unsigned base, const std::vector<int>& data) {
    std::string text;
    text.reserve(data.size() * 12);
    for (std::size_t i = 0; i < data.size(); ++i)
        text += text::imageLine(base + static_cast<unsigned>(i), static_cast<unsigned>(data[i])) +
                "\r\n";
    return text;
}

OutputFile::~OutputFile() {
    closeQuietly(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool OutputFile::prepare(const std::string& path, std::string& error) {
    path_ = path;
    if (path == "-") return true;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporary_ = candidate;
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = systemError("cannot create a file beside", path);
    return false;
}

bool OutputFile::writeTemporary(const std::string& content, std::string& error) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd_, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = systemError("cannot write", path_);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        error = systemError("cannot write", path_);
        return false;
    }
    fd_ = -1;
    return true;
}

bool OutputFile::commit(const std::string& content, std::ostream& standardOutput,
                        std::string& error) {
    if (path_ == "-") {
        standardOutput << content << std::flush;
        if (!standardOutput) {
            error = "cannot write standard output";
            return false;
        }
        return true;
    }
    if (fd_ < 0 || !writeTemporary(content, error)) return false;
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error = systemError("cannot replace", path_);
        return false;
    }
    temporary_.clear();
    return true;
}

bool OutputFile::commitNew(const std::string& content, std::string& finalPath, std::string& error) {
    if (fd_ < 0 || !writeTemporary(content, error)) return false;
    const std::size_t dot = path_.rfind('.');
    const std::size_t slash = path_.rfind('/');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? path_.substr(0, dot) : path_;
    const std::string extension = hasExtension ? path_.substr(dot) : std::string();
    for (int n = 1; n < 1000; ++n) {
        const std::string candidate = n == 1 ? path_ : stem + "-" + std::to_string(n) + extension;
        if (::link(temporary_.c_str(), candidate.c_str()) == 0) {
            ::unlink(temporary_.c_str());
            temporary_.clear();
            finalPath = candidate;
            return true;
        }
        if (errno == EEXIST) continue;
        // A file system without hard links: rename, having looked first.
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0) continue;
        if (::rename(temporary_.c_str(), candidate.c_str()) != 0) break;
        temporary_.clear();
        finalPath = candidate;
        return true;
    }
    error = systemError("cannot save", path_);
    return false;
}

std::string backupDirectory(const std::function<const char*(const char*)>& getenv) {
    const char* state = getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/kestrel-eval/backups";
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::string(home) + "/.local/state/kestrel-eval/backups";
    return {};
}

bool makeDirectories(const std::string& directory, std::string& error) {
    for (std::size_t pos = 1; pos <= directory.size(); ++pos) {
        if (pos < directory.size() && directory[pos] != '/') continue;
        const std::string part = directory.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) == 0 || errno == EEXIST) continue;
        error = systemError("cannot create", part);
        return false;
    }
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = directory + ": not a folder";
        return false;
    }
    return true;
}

std::string backupFileName(unsigned slave, std::time_t when) {
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    return "eeprom-" + text::byteText(slave & 0xFE) + "h-" + stamp + ".dat";
}

}  // namespace kestrel::batch
