#include "files/backup_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bus/durable_file.h"
#include "device/text_rules.h"

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

bool saveNew(const std::string& directory, const std::string& name, const std::string& content,
             std::string& finalPath, std::string& error) {
    return makeDirectories(directory, error) &&
           durable::addNewFile(directory + "/" + name, content, finalPath, error);
}

}  // namespace kestrel::backup
