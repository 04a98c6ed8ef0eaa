#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// SCPI program messages as instruments read them (IEEE 488.2 syntax over a
// raw TCP socket): LF ends a message, ';' separates its commands, a header
// is '*' and a mnemonic (common commands) or mnemonics joined by ':', a
// trailing '?' makes it a query, parameters follow after white space,
// separated by commas: decimal numbers (12, -3.5, 1E3), #H/#B/#Q numbers,
// quoted strings ("..." or '...', the quote doubled inside), definite-length
// blocks (#3512 and 512 bytes of anything) and words (ON, OFF).
namespace kestrel::remote {

// The standard's error codes this server uses, and positive codes for what
// the bus did.
namespace code {
inline constexpr int kCommandError = -100;
inline constexpr int kSyntax = -102;
inline constexpr int kDataType = -104;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kProtected = -203;
inline constexpr int kSettingsConflict = -221;
inline constexpr int kOutOfRange = -222;
inline constexpr int kTooMuchData = -223;
inline constexpr int kIllegalValue = -224;
inline constexpr int kQueueOverflow = -350;
inline constexpr int kInputOverrun = -363;
// The bus: the chip did not acknowledge, the PEC did not match, the port
// failed, the bus refused (with its reason), a read back or verify differed.
inline constexpr int kNoAcknowledge = 1;
inline constexpr int kPecMismatch = 2;
inline constexpr int kPortError = 3;
inline constexpr int kRefused = 4;
inline constexpr int kVerifyFailed = 5;
// A script step failed; a file could not be used; the EEPROM backup failed.
inline constexpr int kScriptFailed = 6;
inline constexpr int kFileError = 7;
inline constexpr int kBackupFailed = 8;
}  // namespace code

struct Error {
    int code = 0;
    std::string detail;  // what and where, after the standard text; may be empty
};

// "Undefined header", "No acknowledge", ...
std::string standardText(int code);
// The error as SYSTem:ERRor? answers: -113,"Undefined header; FOO". The
// detail is kept to printable ASCII, quotes doubled and cut to length.
std::string errorText(const Error& e);
// A word of the input as a message quotes it: control and non-ASCII bytes
// as \xHH, cut to `most` characters.
std::string quoted(std::string_view word, std::size_t most = 40);

// `bytes` as an IEEE 488.2 definite-length block: #3512 and the 512 bytes.
std::string definiteBlock(std::string_view bytes);

struct Parameter {
    enum class Kind { Number, Word, String, Block };
    Kind kind = Kind::Word;
    // Number: as written; Word: as written; String: without its quotes, the
    // doubled quotes single; Block: its bytes.
    std::string text;
    // Number: the value when it is a whole number that fits 63 bits.
    std::optional<std::int64_t> integer;
};

struct Unit {
    bool common = false;    // *IDN?
    bool absolute = false;  // a leading ':' (the header starts at the root)
    bool query = false;
    std::vector<std::string> mnemonics;  // upper case, as written otherwise
    std::vector<Parameter> parameters;
    std::string header;  // as written, for messages
};

struct Message {
    std::vector<Unit> units;
    std::optional<Error> error;  // the first fault; nothing of the message may run then
};

// Parses one program message (without its LF). Any bytes at all: a fault
// gives an error and no units.
Message parseMessage(std::string_view text);

// Cuts a byte stream into program messages: LF ends one, except inside a
// quoted string or a block's data. Bounded: a message's text beyond
// kMaxLineBytes and a block beyond kMaxBlockBytes are dropped (counted,
// never kept), the message then stands for its error alone.
class Framer {
  public:
    struct Framed {
        std::string text;            // the message, LF removed
        std::optional<Error> error;  // -363 or -223: the message is not to be parsed
    };

    // Takes bytes; every message they complete is appended to `out`.
    void feed(std::string_view bytes, std::vector<Framed>& out);
    // Bytes held for the message not yet complete.
    std::size_t held() const { return text_.size(); }

  private:
    enum class State { Text, Quote, Hash, Digits, Data, Indefinite };
    void keep(char c);
    void fail(Error e);

    State state_ = State::Text;
    char quote_ = 0;
    std::size_t digits_ = 0;       // of the block's length still to come
    std::uint64_t length_ = 0;     // the block's length as read so far
    std::uint64_t remaining_ = 0;  // the block's data still to come
    std::size_t lineBytes_ = 0;    // outside blocks
    std::size_t blockBytes_ = 0;   // in blocks
    std::string text_;
    std::optional<Error> error_;  // the message is dropped, this stands for it
};

}  // namespace kestrel::remote
