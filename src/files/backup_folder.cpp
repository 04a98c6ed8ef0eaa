#include "files/backup_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bus/disk_calls.h"
#include "device/text_rules.h"
#include "files/image_file.h"

namespace kestrel::backup {

namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string folder(const std::function<const char*(const char*)>& getenv) {
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

std::string fileName(unsigned slave, std::time_t when) {
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    return "eeprom-" + text::byteText(slave & 0xFE) + "h-" + stamp + ".dat";
}

bool linkAsNewFile(const std::string& temporary, const std::string& path, std::string& finalPath,
                   std::string& error) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : std::string();
    for (int n = 1; n < 1000; ++n) {
        const std::string candidate = n == 1 ? path : stem + "-" + std::to_string(n) + extension;
        if (::link(temporary.c_str(), candidate.c_str()) == 0) {
            ::unlink(temporary.c_str());
            finalPath = candidate;
            return true;
        }
        if (errno == EEXIST) continue;
        // A file system without hard links: rename, having looked first.
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0) continue;
        if (::rename(temporary.c_str(), candidate.c_str()) != 0) break;
        finalPath = candidate;
        return true;
    }
    error = systemError("cannot save", path);
    return false;
}

bool saveNew(const std::string& directory, const std::string& name, const std::string& content,
             std::string& finalPath, std::string& error) {
    if (!makeDirectories(directory, error)) return false;
    std::string temporary = directory + "/." + name + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = systemError("cannot create a file in", directory);
        return false;
    }
    bool ok = image_file::writeAll(fd, content) && disk::fsync(fd) == 0;
    // A failing close can mean the bytes never reached the disk.
    ok = disk::close(fd) == 0 && ok;
    if (!ok) error = systemError("cannot write", temporary);
    if (ok && linkAsNewFile(temporary, directory + "/" + name, finalPath, error)) return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace kestrel::backup
