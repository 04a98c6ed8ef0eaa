#pragma once

#include <string>

// The one way the program writes a file: whole or not at all, and on the
// disk before it is called written. The bytes go to a temporary file in the
// destination's folder and are flushed (fsync); the temporary file then takes
// the name (a rename over the old file, or a link for a name that must not
// replace anything) and the folder is flushed, so that the name survives a
// power cut as well. A new file gets the permissions the user's umask gives
// (0644 typically); a replaced file keeps its own. A name that is a symbolic
// link replaces the file it points to, so the link stays a link. Every
// failure names the step, the path and the system's reason, and leaves no
// temporary file behind: a failure before the rename leaves the old file as
// it was.
namespace kestrel::durable {

class PendingFile {
  public:
    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    // Removes a temporary file that never took its name.
    ~PendingFile();

    // Creates the temporary file for `path`, so that an unusable folder shows
    // before the content exists. `path` must be a regular file or absent.
    bool create(const std::string& path, std::string& error);
    // Writes `bytes` and gives the file its name, replacing a file of that name.
    bool replace(const std::string& bytes, std::string& error);
    // Writes `bytes` and gives the file its name, or name-2, name-3 ... (before
    // the extension) when that is taken; never replaces a file. The name used
    // is returned in `finalPath`.
    bool addNew(const std::string& bytes, std::string& finalPath, std::string& error);

  private:
    bool write(const std::string& bytes, bool keepMode, std::string& error);
    std::string path_;    // as the caller named it, for messages
    std::string target_;  // the file that takes the bytes (a link followed)
    std::string folder_;  // its folder
    std::string temporary_;
    int fd_ = -1;
};

// The same in one call.
bool replaceFile(const std::string& path, const std::string& bytes, std::string& error);
bool addNewFile(const std::string& path, const std::string& bytes, std::string& finalPath,
                std::string& error);

// For a file written in place as it grows (a trace): flushes it and its
// folder, so that what it holds and its name survive a power cut.
bool flushWritten(const std::string& path, std::string& error);

}  // namespace kestrel::durable
