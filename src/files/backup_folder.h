#pragma once

#include <ctime>
#include <functional>
#include <string>

// Where automatic EEPROM backups go and how they are named, for batch mode
// and the windows alike. A backup never replaces another file.
namespace kestrel::backup {

// $XDG_STATE_HOME/kestrel-eval/backups, or
// $HOME/.local/state/kestrel-eval/backups when XDG_STATE_HOME is unset, empty
// or not absolute. Empty when neither is usable.
std::string folder(const std::function<const char*(const char*)>& getenv);

// Creates `directory` and its parents (new folders private to the user).
bool makeDirectories(const std::string& directory, std::string& error);

// "eeprom-AEh-20261206T194404Z.dat": the slave address and the UTC time.
std::string fileName(unsigned slave, std::time_t when);

// Gives the complete file `temporary` the name `path`, or path-2, path-3 ...
// when that name is taken, never replacing a file; the name used is
// returned in `finalPath`.
bool linkAsNewFile(const std::string& temporary, const std::string& path, std::string& finalPath,
                   std::string& error);

// Writes `content` as a new file in `directory` (created when missing) named
// `name` (or name-2 ... when taken), flushed to disk before it appears.
bool saveNew(const std::string& directory, const std::string& name, const std::string& content,
             std::string& finalPath, std::string& error);

}  // namespace kestrel::backup
