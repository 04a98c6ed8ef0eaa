#include "bus/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bus/disk_calls.h"

namespace kestrel::durable {

namespace {

std::string reason(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

// The file a name stands for: a symbolic link is followed, so that the link
// stays a link; a missing file is its own name.
std::string targetOf(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes all of `bytes`, going on after interrupted and partial writes.
bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = disk::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;  // a file that takes nothing would never finish
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A new name in `folder` reaches the disk with the folder itself. A file
// system that cannot flush a folder says EINVAL: it has nothing to flush.
bool syncFolder(const std::string& folder, std::string& error) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = reason("cannot open the folder", folder, errno);
        return false;
    }
    const bool synced = disk::fsync(fd) == 0 || errno == EINVAL;
    const int why = errno;
    ::close(fd);
    if (!synced) error = reason("cannot flush the folder", folder, why);
    return synced;
}

// "board.dat" -> "board-2.dat": the n-th name tried for a new file.
std::string candidate(const std::string& path, int n) {
    if (n == 1) return path;
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    const bool extension =
        dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    const std::string suffix = "-" + std::to_string(n);
    return extension ? path.substr(0, dot) + suffix + path.substr(dot) : path + suffix;
}

}  // namespace

PendingFile::~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool PendingFile::create(const std::string& path, std::string& error) {
    path_ = path;
    target_ = targetOf(path);
    folder_ = folderOf(target_);
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    // Created with 0666, so that the umask decides a new file's permissions
    // as it does for any program; a replaced file's are set before writing.
    static std::atomic<unsigned> counter{0};
    const std::string stem = (folder_ == "/" ? "" : folder_) + "/." + nameOf(target_) + ".tmp-" +
                             std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = stem + std::to_string(counter++);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporary_ = name;
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = reason("cannot create a file in", folder_, errno);
    return false;
}

bool PendingFile::write(const std::string& bytes, bool keepMode, std::string& error) {
    if (fd_ < 0) {
        error = "cannot write " + path_ + ": no file was created for it";
        return false;
    }
    struct stat old {};
    if (keepMode && ::stat(target_.c_str(), &old) == 0 && ::fchmod(fd_, old.st_mode & 07777) != 0) {
        error = reason("cannot give the permissions of", path_, errno);
        return false;
    }
    if (!writeAll(fd_, bytes)) {
        error = reason("cannot write", path_, errno);
        return false;
    }
    if (disk::fsync(fd_) != 0) {
        error = reason("cannot flush", path_, errno);
        return false;
    }
    // A failing close can mean the bytes never reached the disk.
    const int fd = fd_;
    fd_ = -1;
    if (disk::close(fd) != 0) {
        error = reason("cannot write", path_, errno);
        return false;
    }
    return true;
}

bool PendingFile::replace(const std::string& bytes, std::string& error) {
    if (!write(bytes, true, error)) return false;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = reason("cannot replace", path_, errno);
        return false;
    }
    temporary_.clear();
    return syncFolder(folder_, error);
}

bool PendingFile::addNew(const std::string& bytes, std::string& finalPath, std::string& error) {
    if (!write(bytes, false, error)) return false;
    // A name that is taken, by a link too, is left alone.
    for (int n = 1; n < 1000; ++n) {
        const std::string name = candidate(path_, n);
        int linked = ::link(temporary_.c_str(), name.c_str());
        if (linked != 0 && errno == EEXIST) continue;
        if (linked != 0 && errno != EEXIST) {
            // A file system without hard links: a rename that refuses to
            // replace, or where even that is missing, a rename after a look.
            linked =
                ::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
            if (linked != 0 && errno == EEXIST) continue;
            if (linked != 0 && errno == EINVAL) {
                struct stat st {};
                if (::lstat(name.c_str(), &st) == 0) continue;
                linked = ::rename(temporary_.c_str(), name.c_str());
            }
            if (linked != 0) break;
        }
        ::unlink(temporary_.c_str());  // the name holds the file now (gone after a rename)
        temporary_.clear();
        finalPath = name;
        return syncFolder(folderOf(path_), error);
    }
    error = reason("cannot save", path_, errno);
    return false;
}

bool replaceFile(const std::string& path, const std::string& bytes, std::string& error) {
    PendingFile file;
    return file.create(path, error) && file.replace(bytes, error);
}

bool addNewFile(const std::string& path, const std::string& bytes, std::string& finalPath,
                std::string& error) {
    PendingFile file;
    return file.create(path, error) && file.addNew(bytes, finalPath, error);
}

bool flushWritten(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = reason("cannot open", path, errno);
        return false;
    }
    const bool synced = disk::fsync(fd) == 0;
    const int why = errno;
    ::close(fd);
    if (!synced) {
        error = reason("cannot flush", path, why);
        return false;
    }
    return syncFolder(folderOf(targetOf(path)), error);
}

}  // namespace kestrel::durable
