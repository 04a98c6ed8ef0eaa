#include "batch/batch_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <ostream>

#include "device/image_file.h"
#include "device/text_rules.h"

namespace kestrel::batch {

namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
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
    // A regular file of at most 1 MiB, opened without blocking, read whole.
    return image_file::readSmallFile(path, kMaxInputBytes, text, &error);
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
