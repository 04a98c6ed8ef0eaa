#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kestrel {

// The few system calls the kernel's port drivers need, so that tests can
// answer them and prove which ones are made: the kernel's lists of ports
// (procfs, sysfs), the ppdev and i2c-dev device nodes and their ioctls.
// Nothing here can reach raw I/O ports.
class KernelCalls {
  public:
    virtual ~KernelCalls() = default;
    // Entries of a folder (names only), empty when it cannot be read.
    virtual std::vector<std::string> listFolder(const std::string& path) = 0;
    // A small text file whole; false when it cannot be read.
    virtual bool readText(const std::string& path, std::string& text) = 0;
    // open(2) read-write of a ppdev node; -1 with `error` (errno) on failure.
    virtual int openNode(const std::string& path, int& error) = 0;
    virtual void closeNode(int fd) = 0;
    // ioctl(2) with a ppdev request; -1 with `error` (errno) on failure.
    virtual int ioctl(int fd, unsigned long request, void* argument, int& error) = 0;
    // Whether a path exists, and whether we may read and write it.
    virtual bool exists(const std::string& path) = 0;
    virtual bool readWritable(const std::string& path) = 0;
};

// The machine's own calls.
std::unique_ptr<KernelCalls> makeRealKernelCalls();

}  // namespace kestrel
