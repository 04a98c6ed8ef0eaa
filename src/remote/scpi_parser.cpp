#include "remote/scpi_parser.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "remote/limits.h"

namespace kestrel::remote {

namespace {

bool isWhite(unsigned char c) {
    // IEEE 488.2 white space: every control character but LF, and the blank.
    return c <= 32 && c != '\n';
}
bool isAlpha(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : t_(text) {}

    Message parse() {
        Message m;
        white();
        if (end()) return m;
        for (;;) {
            Unit u;
            if (!unit(u)) {
                m.units.clear();
                m.error = error_;
                return m;
            }
            m.units.push_back(std::move(u));
            white();
            if (end()) return m;
            if (t_[i_] != ';') {
                fail(code::kSyntax, "expected ';' or the end of the message");
                m.units.clear();
                m.error = error_;
                return m;
            }
            ++i_;
            white();
            if (end()) {
                fail(code::kSyntax, "no command after the last ';'");
                m.units.clear();
                m.error = error_;
                return m;
            }
        }
    }

  private:
    bool end() const { return i_ >= t_.size(); }
    unsigned char at() const { return static_cast<unsigned char>(t_[i_]); }
    void white() {
        while (!end() && isWhite(at())) ++i_;
    }
    bool fail(int code, const std::string& what) {
        if (!error_.code) {
            const std::size_t from = std::min(i_, t_.size());
            const std::string_view near = t_.substr(from, 16);
            error_ = {code, what + (end() ? std::string(" (at the end)")
                                          : " at byte " + std::to_string(from + 1) + ": '" +
                                                quoted(near, 16) + "'")};
        }
        return false;
    }

    // Letters, digits and '_' from a letter on.
    bool mnemonic(std::string& out) {
        if (end() || !isAlpha(at())) return fail(code::kSyntax, "expected a command word");
        const std::size_t start = i_;
        while (!end() && (isAlpha(at()) || isDigit(at()) || at() == '_')) ++i_;
        if (i_ - start > kMaxMnemonic)
            return fail(code::kSyntax,
                        "a word of more than " + std::to_string(kMaxMnemonic) + " characters");
        out.assign(t_.substr(start, i_ - start));
        std::transform(out.begin(), out.end(), out.begin(), upper);
        return true;
    }

    bool unit(Unit& u) {
        const std::size_t start = i_;
        if (at() == '*') {
            u.common = true;
            ++i_;
            std::string m;
            if (!mnemonic(m)) return false;
            u.mnemonics.push_back(std::move(m));
        } else {
            if (at() == ':') {
                u.absolute = true;
                ++i_;
            }
            for (;;) {
                std::string m;
                if (!mnemonic(m)) return false;
                u.mnemonics.push_back(std::move(m));
                if (end() || at() != ':') break;
                ++i_;
            }
        }
        if (!end() && at() == '?') {
            u.query = true;
            ++i_;
        }
        u.header.assign(t_.substr(start, i_ - start));
        if (end() || at() == ';') return true;
        if (!isWhite(at())) return fail(code::kSyntax, "the header runs on");
        white();
        if (end() || at() == ';') return true;
        for (;;) {
            if (u.parameters.size() == kMaxParameters)
                return fail(code::kParameterNotAllowed,
                            "more than " + std::to_string(kMaxParameters) + " parameters");
            Parameter p;
            if (!parameter(p)) return false;
            u.parameters.push_back(std::move(p));
            white();
            if (end() || at() == ';') return true;
            if (at() != ',') return fail(code::kSyntax, "expected ',' between parameters");
            ++i_;
            white();
            if (end() || at() == ';') return fail(code::kMissingParameter, "nothing after ','");
        }
    }

    // A parameter ends at white space, ',', ';' or the message's end.
    bool ended() const { return end() || isWhite(at()) || at() == ',' || at() == ';'; }

    bool parameter(Parameter& p) {
        const unsigned char c = at();
        if (c == '"' || c == '\'') return string(p);
        if (c == '#') return hash(p);
        if (c == '+' || c == '-' || c == '.' || isDigit(c)) return decimal(p);
        if (isAlpha(c)) {
            p.kind = Parameter::Kind::Word;
            if (!mnemonic(p.text)) return false;
            if (!ended()) return fail(code::kSyntax, "the word runs on");
            return true;
        }
        return fail(code::kSyntax, "not a parameter");
    }

    bool string(Parameter& p) {
        p.kind = Parameter::Kind::String;
        const char quote = t_[i_++];
        for (;;) {
            if (end()) return fail(code::kSyntax, "a string without its closing quote");
            const char c = t_[i_++];
            if (c != quote) {
                p.text.push_back(c);
                continue;
            }
            if (!end() && t_[i_] == quote) {
                p.text.push_back(quote);
                ++i_;
                continue;
            }
            break;
        }
        if (!ended()) return fail(code::kSyntax, "text after a string's closing quote");
        return true;
    }

    bool hash(Parameter& p) {
        ++i_;
        if (end()) return fail(code::kSyntax, "'#' alone");
        const char kind = upper(t_[i_]);
        if (kind == 'H' || kind == 'B' || kind == 'Q') return based(p, kind);
        if (t_[i_] == '0')
            return fail(code::kDataType,
                        "an indefinite-length block is not taken; give its length (#3512...)");
        if (!isDigit(at())) return fail(code::kSyntax, "'#' starts no number and no block");
        const std::size_t digits = static_cast<std::size_t>(t_[i_++] - '0');
        if (t_.size() - i_ < digits) return fail(code::kSyntax, "a block's length is cut short");
        std::uint64_t length = 0;
        for (std::size_t k = 0; k < digits; ++k) {
            if (!isDigit(at())) return fail(code::kSyntax, "a block's length holds a non-digit");
            length = length * 10 + static_cast<std::uint64_t>(t_[i_++] - '0');
        }
        if (length > kMaxBlockBytes)
            return fail(code::kTooMuchData, "a block of " + std::to_string(length) +
                                                " bytes; at most " +
                                                std::to_string(kMaxBlockBytes));
        if (t_.size() - i_ < length)
            return fail(code::kSyntax, "the block is shorter than its length says");
        p.kind = Parameter::Kind::Block;
        p.text.assign(t_.substr(i_, static_cast<std::size_t>(length)));
        i_ += static_cast<std::size_t>(length);
        if (!ended()) return fail(code::kSyntax, "bytes after the block's end");
        return true;
    }

    // #H1F, #B1010, #Q17.
    bool based(Parameter& p, char kind) {
        const unsigned base = kind == 'H' ? 16 : kind == 'B' ? 2 : 8;
        const std::size_t start = i_ - 1;
        ++i_;
        std::uint64_t value = 0;
        bool fits = true;
        std::size_t digits = 0;
        while (!end() && (isAlpha(at()) || isDigit(at()))) {
            const char c = upper(t_[i_]);
            const unsigned d = isDigit(static_cast<unsigned char>(c))
                                   ? static_cast<unsigned>(c - '0')
                                   : static_cast<unsigned>(c - 'A' + 10);
            if (d >= base) return fail(code::kSyntax, "not a digit of the number's base");
            if (value > (static_cast<std::uint64_t>(INT64_MAX) - d) / base) fits = false;
            if (fits) value = value * base + d;
            ++i_;
            if (++digits > kMaxNumberDigits) return fail(code::kSyntax, "a number too long");
        }
        if (digits == 0) return fail(code::kSyntax, "a number without digits");
        if (!ended()) return fail(code::kSyntax, "the number runs on");
        p.kind = Parameter::Kind::Number;
        p.text.assign(t_.substr(start, i_ - start));
        if (fits) p.integer = static_cast<std::int64_t>(value);
        return true;
    }

    // [+-] digits [. digits] [E [+-] digits]
    bool decimal(Parameter& p) {
        const std::size_t start = i_;
        if (at() == '+' || at() == '-') ++i_;
        std::size_t mantissa = 0;
        bool whole = true;
        while (!end() && isDigit(at())) ++i_, ++mantissa;
        if (!end() && at() == '.') {
            ++i_;
            whole = false;
            while (!end() && isDigit(at())) ++i_, ++mantissa;
        }
        if (mantissa == 0) return fail(code::kSyntax, "a number without digits");
        if (!end() && (at() == 'E' || at() == 'e')) {
            whole = false;
            ++i_;
            if (!end() && (at() == '+' || at() == '-')) ++i_;
            std::size_t exponent = 0;
            while (!end() && isDigit(at())) ++i_, ++exponent;
            if (exponent == 0) return fail(code::kSyntax, "an exponent without digits");
        }
        if (i_ - start > kMaxNumberDigits) return fail(code::kSyntax, "a number too long");
        if (!ended()) return fail(code::kSyntax, "the number runs on (no suffixes are taken)");
        p.kind = Parameter::Kind::Number;
        p.text.assign(t_.substr(start, i_ - start));
        std::string_view digits = p.text;
        if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
        if (whole) {
            std::int64_t v = 0;
            const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
            if (r.ec == std::errc() && r.ptr == digits.data() + digits.size()) p.integer = v;
            return true;
        }
        double v = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        // A number written with a point or an exponent counts when it is whole.
        if (r.ec == std::errc() && std::isfinite(v) && std::fabs(v) < 9.0e15 && v == std::floor(v))
            p.integer = static_cast<std::int64_t>(v);
        return true;
    }

    std::string_view t_;
    std::size_t i_ = 0;
    Error error_;
};

}  // namespace

std::string standardText(int code) {
    switch (code) {
        case 0:
            return "No error";
        case code::kCommandError:
            return "Command error";
        case code::kSyntax:
            return "Syntax error";
        case code::kDataType:
            return "Data type error";
        case code::kParameterNotAllowed:
            return "Parameter not allowed";
        case code::kMissingParameter:
            return "Missing parameter";
        case code::kUndefinedHeader:
            return "Undefined header";
        case code::kProtected:
            return "Command protected";
        case code::kSettingsConflict:
            return "Settings conflict";
        case code::kOutOfRange:
            return "Data out of range";
        case code::kTooMuchData:
            return "Too much data";
        case code::kIllegalValue:
            return "Illegal parameter value";
        case code::kQueueOverflow:
            return "Queue overflow";
        case code::kInputOverrun:
            return "Input buffer overrun";
        case code::kNoAcknowledge:
            return "No acknowledge";
        case code::kPecMismatch:
            return "PEC mismatch";
        case code::kPortError:
            return "Port error";
        case code::kRefused:
            return "Refused";
        case code::kVerifyFailed:
            return "Verify failed";
        case code::kScriptFailed:
            return "Script failed";
        case code::kFileError:
            return "File error";
        case code::kBackupFailed:
            return "EEPROM backup failed";
        default:
            return code < 0 ? "Error" : "Device error";
    }
}

std::string quoted(std::string_view word, std::size_t most) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (out.size() >= most) {
            out += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(word[k]);
        if (c >= 32 && c < 127) {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\x";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string errorText(const Error& e) {
    std::string text = standardText(e.code);
    if (!e.detail.empty()) text += "; " + quoted(e.detail, kMaxErrorDetail);
    std::string doubled;
    for (char c : text) {
        doubled.push_back(c);
        if (c == '"') doubled.push_back('"');
    }
    return std::to_string(e.code) + ",\"" + doubled + "\"";
}

std::string definiteBlock(std::string_view bytes) {
    const std::string length = std::to_string(bytes.size());
    std::string out = "#";
    out += std::to_string(length.size());
    out += length;
    out += bytes;
    return out;
}

Message parseMessage(std::string_view text) {
    return Parser(text).parse();
}

void Framer::fail(Error e) {
    if (!error_) error_ = std::move(e);
    text_.clear();
    text_.shrink_to_fit();
}

void Framer::keep(char c) {
    if (error_) return;
    if (++lineBytes_ > kMaxLineBytes) {
        fail({code::kInputOverrun, "a message of more than " + std::to_string(kMaxLineBytes) +
                                       " bytes besides its blocks; the rest of it was dropped"});
        return;
    }
    text_.push_back(c);
}

void Framer::feed(std::string_view bytes, std::vector<Framed>& out) {
    std::size_t k = 0;
    while (k < bytes.size()) {
        if (state_ == State::Data) {
            // A block's bytes in one go, whatever they are.
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, bytes.size() - k));
            if (!error_) text_.append(bytes.substr(k, n));
            remaining_ -= n;
            k += n;
            if (remaining_ == 0) state_ = State::Text;
            continue;
        }
        const char c = bytes[k++];
        switch (state_) {
            case State::Hash:
                if (c >= '1' && c <= '9') {
                    keep(c);
                    digits_ = static_cast<std::size_t>(c - '0');
                    length_ = 0;
                    state_ = State::Digits;
                    continue;
                }
                if (c == '0') {
                    keep(c);
                    state_ = State::Indefinite;
                    continue;
                }
                state_ = State::Text;
                break;  // a number (#H1F) or a fault: read as text
            case State::Digits:
                if (c >= '0' && c <= '9') {
                    keep(c);
                    length_ = length_ * 10 + static_cast<std::uint64_t>(c - '0');
                    if (--digits_ > 0) continue;
                    if (blockBytes_ + length_ > kMaxBlockBytes)
                        fail({code::kTooMuchData,
                              "a block of " + std::to_string(length_) + " bytes; at most " +
                                  std::to_string(kMaxBlockBytes) + " in a message"});
                    blockBytes_ +=
                        static_cast<std::size_t>(std::min<std::uint64_t>(length_, kMaxBlockBytes));
                    remaining_ = length_;
                    state_ = remaining_ > 0 ? State::Data : State::Text;
                    continue;
                }
                state_ = State::Text;  // the parser names the fault
                break;
            case State::Quote:
                if (c == '\n') {
                    state_ = State::Text;  // a string never runs past its line
                    break;
                }
                keep(c);
                if (c == quote_) state_ = State::Text;
                continue;
            case State::Indefinite:
                if (c != '\n') {
                    keep(c);
                    continue;
                }
                state_ = State::Text;
                break;
            case State::Text:
            case State::Data:
                break;
        }
        // Text.
        if (c == '\n') {
            out.push_back({std::move(text_), std::move(error_)});
            text_.clear();
            error_.reset();
            lineBytes_ = blockBytes_ = 0;
            continue;
        }
        keep(c);
        if (c == '"' || c == '\'') {
            quote_ = c;
            state_ = State::Quote;
        } else if (c == '#') {
            state_ = State::Hash;
        }
    }
}

}  // namespace kestrel::remote
