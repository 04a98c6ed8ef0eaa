#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

// A capture's text read in blocks, as lines or as words, never holding more
// than one line (limits::kLineBytes) or word (limits::kWordBytes) at a time.
namespace kestrel::capture {

class TextInput {
  public:
    explicit TextInput(std::istream& in) : stream_(&in) {}
    // An open file descriptor (not taken over).
    explicit TextInput(int fd) : fd_(fd) {}

    // The next line without its line end; false at the end or on a fault (error()).
    bool line(std::string_view& out);
    // The next whitespace-separated word; false at the end or on a fault.
    bool word(std::string_view& out);
    // The line the last line or word was on, from 1.
    std::size_t lineNumber() const { return line_; }
    // Why reading stopped early; empty at the end of the file.
    const std::string& error() const { return error_; }

  private:
    // Reads more after the bytes from `keep` on; false when nothing more came.
    bool fill(std::size_t& keep);
    static bool space(char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    }

    std::istream* stream_ = nullptr;
    int fd_ = -1;
    // Not cleared before use: grown as the text goes on (a short text costs
    // a short buffer).
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t pos_ = 0, end_ = 0;
    std::size_t total_ = 0;  // bytes read so far
    std::size_t line_ = 0;
    bool eof_ = false;
    std::string error_;
};

}  // namespace kestrel::capture
