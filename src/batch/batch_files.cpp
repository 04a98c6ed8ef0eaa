#include "batch/batch_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <ostream>

#include "bus/disk_calls.h"
#include "device/text_rules.h"
#include "files/backup_folder.h"
#include "files/image_file.h"

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
    if (!image_file::writeAll(fd_, content)) {
        error = systemError("cannot write", path_);
        return false;
    }
    const bool synced = disk::fsync(fd_) == 0;
    const bool closed = disk::close(fd_) == 0;
    if (!synced || !closed) {
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
    if (!backup::linkAsNewFile(temporary_, path_, finalPath, error)) return false;
    temporary_.clear();
    return true;
}

}  // namespace kestrel::batch
