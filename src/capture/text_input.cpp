#include "capture/text_input.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/capture_limits.h"

namespace kestrel::capture {

namespace {
constexpr std::size_t kBlock = 256 << 10;
}  // namespace

bool TextInput::fill(std::size_t& keep) {
    if (eof_ || !error_.empty()) return false;
    // Move what is kept to the front, then read a block after it.
    const std::size_t kept = end_ - keep;
    if (keep > 0 && kept > 0) std::memmove(buffer_.data(), buffer_.data() + keep, kept);
    pos_ -= keep;
    end_ = kept;
    keep = 0;
    if (buffer_.size() < end_ + kBlock) buffer_.resize(end_ + kBlock);
    std::size_t got = 0;
    if (stream_ != nullptr) {
        stream_->read(buffer_.data() + end_, static_cast<std::streamsize>(kBlock));
        got = static_cast<std::size_t>(stream_->gcount());
        if (stream_->bad()) error_ = "read error";
    } else {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.data() + end_, kBlock);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) error_ = std::string("read error: ") + std::strerror(errno);
            got = n > 0 ? static_cast<std::size_t>(n) : 0;
            break;
        }
    }
    if (got == 0) eof_ = true;
    end_ += got;
    return got > 0;
}

bool TextInput::line(std::string_view& out) {
    std::size_t start = pos_;
    for (std::size_t scanned = pos_;;) {
        const void* nl =
            end_ > scanned ? std::memchr(buffer_.data() + scanned, '\n', end_ - scanned) : nullptr;
        if (nl != nullptr) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(nl) - buffer_.data());
            std::size_t stop = at;
            if (stop > start && buffer_[stop - 1] == '\r') --stop;
            out = std::string_view(buffer_.data() + start, stop - start);
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
    out = std::string_view(buffer_.data() + start, stop - start);
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
    out = std::string_view(buffer_.data() + start, pos_ - start);
    return true;
}

}  // namespace kestrel::capture
