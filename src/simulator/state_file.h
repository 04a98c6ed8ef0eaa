#pragma once

#include <functional>
#include <string>

namespace kestrel::sim {

class SimulatedBoard;

// Reads a whole state file: a regular file (a FIFO, a folder or a device is
// refused without blocking) of at most `limit` bytes. False with a reason.
bool readStateFile(const std::string& path, std::string* text, std::string* error,
                   std::size_t limit = 64 * 1024);

// The state file of one run of the program, held for the whole run: opening
// takes an exclusive lock on it (a second run on the same file waits until
// the first one ends), loads the board from it, and saves the board back at
// the end only when it loaded and the board has changed. A file that did not
// load is never written. The lock is released when the object is destroyed.
class StateFile {
  public:
    // `onWait` is called once when another run holds the file, before waiting.
    StateFile(std::string path, const std::function<void()>& onWait = {});
    ~StateFile();
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;

    // Loads the board (a missing or empty file leaves it fresh). False with
    // the reason when the file cannot be locked or read or is not a state
    // file; the board is then left as it was.
    bool load(SimulatedBoard& board, std::string* error);
    bool loaded() const { return loaded_; }
    // Saves the board when it loaded and changed since; true when nothing
    // needed saving. False with the reason when the save failed or the file
    // did not load (it is then left alone).
    bool save(const SimulatedBoard& board, std::string* error);

  private:
    std::string path_;
    int fd_ = -1;
    std::string lockError_;
    std::string loadedText_;
    bool loaded_ = false;
};

}  // namespace kestrel::sim
