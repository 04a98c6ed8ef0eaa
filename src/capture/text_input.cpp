#include "capture/text_input.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/capture_limits.h"

namespace kestrel::capture {

namespace {
// Reads grow from the first block to the largest as the text goes on.
constexpr std::size_t kFirstBlock = 4 << 10;
constexpr std::size_t kLargestBlock = 256 << 10;
}  // namespace

bool TextInput::fill(std::size_t& keep) {
    if (eof_ || !error_.empty()) return false;
    // Move what is kept to the front, then read a block after it.
    const std::size_t kept = end_ - keep;
    if (keep > 0 && kept > 0) std::memmove(buffer_.get(), buffer_.get() + keep, kept);
    pos_ -= keep;
    end_ = kept;
    keep = 0;
    const std::size_t block = std::clamp(total_, kFirstBlock, kLargestBlock);
    if (capacity_ < end_ + block) {
        const std::size_t capacity = std::max(end_ + block, 2 * capacity_);
        std::unique_ptr<char[]> grown(new char[capacity]);
        if (end_ > 0) std::memcpy(grown.get(), buffer_.get(), end_);
        buffer_ = std::move(grown);
        capacity_ = capacity;
    }
    std::size_t got = 0;
    if (stream_ != nullptr) {
        stream_->read(buffer_.get() + end_, static_cast<std::streamsize>(block));
        got = static_cast<std::size_t>(stream_->gcount());
        if (stream_->bad()) error_ = "read error";
    } else {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.get() + end_, block);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) error_ = std::string("read error: ") + std::strerror(errno);
            got = n > 0 ? static_cast<std::size_t>(n) : 0;
            break;
        }
    }
    if (got == 0) eof_ = true;
    end_ += got;
    total_ += got;
    return got > 0;
}

bool TextInput::line(std::string_view& out) {
    std::size_t start = pos_;
    for (std::size_t scanned = pos_;;) {
        const void* nl =
            end_ > scanned ? std::memchr(buffer_.get() + scanned, '\n', end_ - scanned) : nullptr;
        if (nl != nullptr) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(nl) - buffer_.get());
            std::size_t stop = at;
            if (stop > start && buffer_[stop - 1] == '\r') --stop;
            out = std::string_view(buffer_.get() + start, stop - start);
            pos_ = at + 1;
            ++line_;
            return true;
        }
        if (end_ - start > limits::kLineBytes) {
            ++line_;  // the line at fault
            error_ = "the line is longer than " + std::to_string(limits::kLineBytes) + " bytes";
            return false;
        }
        const std::size_t offset = end_ - start;
        if (!fill(start)) break;
        scanned = offset;
    }
    if (!error_.empty() || start == end_) return false;
    // The last line, without a line end.
    std::size_t stop = end_;
    if (buffer_[stop - 1] == '\r') --stop;
    out = std::string_view(buffer_.get() + start, stop - start);
    pos_ = end_;
    ++line_;
    return true;
}

bool TextInput::word(std::string_view& out) {
    // Skip white space, counting lines.
    if (line_ == 0) line_ = 1;
    for (;;) {
        while (pos_ < end_ && space(buffer_[pos_])) {
            if (buffer_[pos_] == '\n') ++line_;
            ++pos_;
        }
        if (pos_ < end_) break;
        std::size_t keep = pos_;
        if (!fill(keep)) return false;
    }
    std::size_t start = pos_;
    for (;;) {
        while (pos_ < end_ && !space(buffer_[pos_])) ++pos_;
        if (pos_ < end_) break;
        if (pos_ - start > limits::kWordBytes) {
            error_ = "a word of more than " + std::to_string(limits::kWordBytes) + " bytes";
            return false;
        }
        if (!fill(start)) break;
    }
    if (!error_.empty()) return false;
    out = std::string_view(buffer_.get() + start, pos_ - start);
    return true;
}

}  // namespace kestrel::capture
