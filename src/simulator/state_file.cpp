#include "simulator/state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "bus/durable_file.h"
#include "simulator/simulated_board.h"

namespace kestrel::sim {

namespace {

std::string reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool readStateFile(const std::string& path, std::string* text, std::string* error,
                   std::size_t limit) {
    // Non-blocking, so that a FIFO cannot hang the program before it is refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = reason("cannot read", path);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        if (error) *error = path + " is not a regular file";
        ok = false;
    } else if (ok && static_cast<std::size_t>(st.st_size) > limit) {
        if (error) *error = path + " is too large for a state file";
        ok = false;
    }
    text->clear();
    char buf[4096];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = reason("cannot read", path);
            ok = false;
            break;
        }
        text->append(buf, static_cast<std::size_t>(n));
        if (text->size() > limit) {  // it grew while we read it
            if (error) *error = path + " is too large for a state file";
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

StateFile::StateFile(std::string path, const std::function<void()>& onWait)
    : path_(std::move(path)) {
    bool told = false;
    for (;;) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            lockError_ = reason("cannot open", path_);
            return;
        }
        struct stat held {};
        if (::fstat(fd_, &held) != 0 || !S_ISREG(held.st_mode)) {
            lockError_ = path_ + " is not a regular file";
            ::close(fd_);
            fd_ = -1;
            return;
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (!told && onWait) onWait();
            told = true;
            int r;
            while ((r = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
            }
            if (r != 0) {
                lockError_ = reason("cannot lock", path_);
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
        // The run before us may have replaced the file while we waited: then
        // we hold the lock of a file that is no longer there; take the new one.
        struct stat now {};
        if (::stat(path_.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
            now.st_ino == held.st_ino)
            return;
        ::close(fd_);
        fd_ = -1;
    }
}

StateFile::~StateFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool StateFile::load(SimulatedBoard& board, std::string* error) {
    loaded_ = false;
    if (fd_ < 0) {
        if (error) *error = lockError_;
        return false;
    }
    std::string text;
    if (!readStateFile(path_, &text, error, SimulatedBoard::kMaxStateFileBytes)) return false;
    if (!board.loadStateText(text, error)) {
        if (error) *error = path_ + ": " + *error;
        return false;
    }
    loaded_ = true;
    loadedText_ = board.stateText();
    return true;
}

bool StateFile::save(const SimulatedBoard& board, std::string* error) {
    if (!loaded_) {
        if (error) *error = path_ + " did not load; it is left unchanged";
        return false;
    }
    std::string text = board.stateText();
    if (text == loadedText_) return true;
    std::string why;
    if (!durable::replaceFile(path_, text, why)) {
        if (error) *error = why;
        return false;
    }
    loadedText_ = std::move(text);
    return true;
}

}  // namespace kestrel::sim
