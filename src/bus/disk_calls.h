#pragma once

#include <sys/types.h>

#include <cstddef>

namespace kestrel::disk {

// The calls that decide whether a written file reached the disk. Every
// writer of the program's files goes through these, so that a test can make
// them fail and see the failure reported and the old file kept.
struct Calls {
    ssize_t (*write)(int fd, const void* bytes, std::size_t count);
    int (*fsync)(int fd);
    int (*close)(int fd);
};

// The calls in use: the system's own unless a test swapped them.
Calls& calls();

inline ssize_t write(int fd, const void* bytes, std::size_t count) {
    return calls().write(fd, bytes, count);
}
inline int fsync(int fd) {
    return calls().fsync(fd);
}
inline int close(int fd) {
    return calls().close(fd);
}

}  // namespace kestrel::disk
