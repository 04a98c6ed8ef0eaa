#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace kestrel::testing {

// A file made read-only for as long as this lives, even for root, who
// writes through any mode: the immutable attribute then (where the file
// system has one), the mode otherwise. made() says whether it worked.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(std::string path) : path_(std::move(path)) {
        if (::geteuid() != 0) {
            struct stat st {};
            if (::stat(path_.c_str(), &st) == 0) mode_ = st.st_mode & 07777;
            made_ = mode_ != 0 && ::chmod(path_.c_str(), 0444) == 0;
            return;
        }
        setImmutable(true);
    }
    ~ReadOnlyFile() {
        if (!made_) return;
        if (::geteuid() != 0)
            ::chmod(path_.c_str(), mode_);
        else
            setImmutable(false);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    bool made() const { return made_; }

  private:
    void setImmutable(bool on) {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) return;
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 && on) made_ = true;
        }
        ::close(fd);
    }
    std::string path_;
    mode_t mode_ = 0;
    bool made_ = false;
};

}  // namespace kestrel::testing
