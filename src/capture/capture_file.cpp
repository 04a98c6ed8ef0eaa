#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/capture_readers.h"

namespace kestrel::capture {

namespace {

bool endsWith(const std::string& s, const char* suffix) {
    const std::string t(suffix);
    if (s.size() < t.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        char c = s[s.size() - t.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != t[i]) return false;
    }
    return true;
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a plain file";
}

}  // namespace

ReadResult readCaptureFile(const std::string& path, const ChannelPick& pick, LineSink& sink) {
    // Opened without waiting (a FIFO with no writer would block a plain
    // open), and read only when it is a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return readError(path + ": cannot be opened: " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string what = kindOf(st.st_mode);
        ::close(fd);
        return readError(path + ": is not a regular file (" + what + ")");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    char head[4] = {};
    const ssize_t got = ::pread(fd, head, sizeof head, 0);
    const bool zip = got == 4 && head[0] == 'P' && head[1] == 'K';
    if (zip || endsWith(path, ".sr")) return readSigrokSession(fd, path, pick, sink);
    TextInput text(fd);
    ReadResult r;
    if (endsWith(path, ".csv") || (got > 0 && head[0] == 'T'))
        r = readSaleaeCsv(text, path, pick, sink);
    else if (endsWith(path, ".vcd") || (got > 0 && head[0] == '$'))
        r = readVcd(text, path, pick, sink);
    else
        r = readError(path + ": neither a VCD, a sigrok session (.sr) nor a Saleae CSV export");
    ::close(fd);
    return r;
}

ReadResult readCaptureChannels(const std::string& path) {
    NullSink none;
    ChannelPick pick;
    pick.namesOnly = true;
    return readCaptureFile(path, pick, none);
}

}  // namespace kestrel::capture
