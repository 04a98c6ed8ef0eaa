#include "bus/kernel_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

namespace kestrel {

namespace {

class RealKernelCalls final : public KernelCalls {
  public:
    std::vector<std::string> listFolder(const std::string& path) override {
        std::vector<std::string> names;
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) return names;
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
        return names;
    }
    bool readText(const std::string& path, std::string& text) override {
        std::ifstream in(path);
        if (!in) return false;
        text.assign(std::istreambuf_iterator<char>(in), {});
        return !in.bad();
    }
    int openNode(const std::string& path, int& error) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        error = fd < 0 ? errno : 0;
        return fd;
    }
    void closeNode(int fd) override { ::close(fd); }
    int ioctl(int fd, unsigned long request, void* argument, int& error) override {
        const int rc = ::ioctl(fd, request, argument);
        error = rc < 0 ? errno : 0;
        return rc;
    }
    bool exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }
    bool readWritable(const std::string& path) override {
        return ::access(path.c_str(), R_OK | W_OK) == 0;
    }
};

}  // namespace

std::unique_ptr<KernelCalls> makeRealKernelCalls() {
    return std::make_unique<RealKernelCalls>();
}

}  // namespace kestrel
