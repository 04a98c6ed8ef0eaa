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

// Writes `content` as a new file in `directory` (created when missing) named
// `name` (or name-2 ... when taken), as durable::addNewFile does.
bool saveNew(const std::string& directory, const std::string& name, const std::string& content,
             std::string& finalPath, std::string& error);

}  // namespace kestrel::backup
