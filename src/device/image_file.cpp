#include "device/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

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

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The file a save replaces: a link is followed, so the link stays a link.
std::string targetOf(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
}

}  // namespace

bool save(const std::string& path, const std::vector<std::string>& items, int count,
          std::string* error) {
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        if (static_cast<std::size_t>(i) < items.size()) bytes += items[static_cast<std::size_t>(i)];
        bytes += "\r\n";
    }
    return writeAtomically(path, bytes, error);
}

bool writeAtomically(const std::string& path, const std::string& bytes, std::string* error) {
    const std::string target = targetOf(path);
    // Keep the old file's permissions; a new file gets the usual 0666 less umask.
    mode_t mode = 0;
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode)) {
            if (error) *error = "Cannot write " + path + ": not a regular file";
            return false;
        }
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::string temp = target + ".XXXXXX";
    Fd out{::mkstemp(temp.data())};
    if (out.fd < 0) {
        if (error) *error = reason("Cannot create", path, errno);
        return false;
    }
    // Until the rename, the old file is untouched; any failure removes the
    // half-written temporary file and leaves the old one as it was.
    const bool ok = ::fchmod(out.fd, mode) == 0 && writeAll(out.fd, bytes) && ::fsync(out.fd) == 0;
    const int err = errno;
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (!ok || closed != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
        const int why = !ok ? err : errno;
        ::unlink(temp.c_str());
        if (error) *error = reason("Cannot write", path, why);
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
