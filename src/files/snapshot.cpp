#include "files/snapshot.h"

#include <ctime>
#include <vector>

#include "bus/durable_file.h"
#include "chip/register_bits.h"
#include "device/field_settings.h"
#include "device/register_map.h"
#include "device/text_rules.h"
#include "files/image_file.h"

namespace kestrel::snapshot {

namespace {

constexpr const char* kTitle = "kestrel-eval board snapshot";
constexpr std::size_t kFirstRegisterLine = 4;  // index of the line of register 00h
constexpr std::size_t kFirstLatchedLine = kFirstRegisterLine + kRegisterCount;
constexpr std::size_t kFirstEepromLine = kFirstLatchedLine + kLatchedCount;
constexpr std::size_t kMaxToolText = 40;

std::string latchedName(int i) {
    return "Latched Status" + std::to_string(i + 1);
}

// Everything of a register line up to its value: "register 16h Current Sense Config 1 = ".
std::string registerHead(int reg) {
    return "register " + text::byteText(static_cast<unsigned>(reg)) + "h " +
           std::string(kRegisterMap.at(static_cast<std::size_t>(reg)).name) + " = ";
}
// What follows the value: the named settings, or a remark on a read-only register.
std::string registerTail(int reg, int value) {
    if (!chip::isWritable(reg)) return "  read-only";
    return fields::settingsText(reg, value);
}
std::string latchedHead(int i) {
    return "status " + text::byteText(static_cast<unsigned>(kLatchedFirst + i)) + "h " +
           latchedName(i) + " = ";
}
constexpr const char* kLatchedTail = "  for information";

bool isHex(char c) {
    return text::hexDigit(c) >= 0;
}

// The line as it can be shown in one message line.
std::string shown(const std::string& line) {
    std::string s;
    for (char c : line.substr(0, 60)) s += (c >= ' ' && c <= '~') ? c : '?';
    return "'" + s + (line.size() > 60 ? "...'" : "'");
}

// Reads "HEAD" + "XXh" + "TAIL(value)" from `line`; the value, or nothing
// with the reason in `why`.
template <typename Tail>
std::optional<int> readValueLine(const std::string& line, const std::string& head, Tail tail,
                                 std::string& why) {
    if (line.compare(0, head.size(), head) != 0) {
        why = shown(line) + " should begin " + shown(head + "..");
        return std::nullopt;
    }
    const std::string rest = line.substr(head.size());
    if (rest.size() < 3 || !isHex(rest[0]) || !isHex(rest[1]) || rest[2] != 'h') {
        why = "the value after '= ' must be two hex digits and h, like 2Dh";
        return std::nullopt;
    }
    const int value = text::hexDigit(rest[0]) * 16 + text::hexDigit(rest[1]);
    const std::string expected = tail(value);
    if (rest.substr(3) != expected) {
        why = shown(rest.substr(3)) + " after " + text::suffixedByteText(value) + " should read " +
              shown(expected) + " (the settings of that value)";
        return std::nullopt;
    }
    return value;
}

// "2026-12-06T12:00:00Z" and nothing else; the time it names.
std::optional<std::time_t> readTime(const std::string& text) {
    const std::string pattern = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != pattern.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return std::nullopt;
    }
    std::tm tm{};
    auto number = [&](std::size_t at, std::size_t n) { return std::stoi(text.substr(at, n)); };
    tm.tm_year = number(0, 4) - 1900;
    tm.tm_mon = number(5, 2) - 1;
    tm.tm_mday = number(8, 2);
    tm.tm_hour = number(11, 2);
    tm.tm_min = number(14, 2);
    tm.tm_sec = number(17, 2);
    const std::time_t when = ::timegm(&tm);
    // A date that does not exist (13th month, 31 April) comes back changed.
    if (when == static_cast<std::time_t>(-1) || timeText(when) != text) return std::nullopt;
    return when;
}

bool printableText(const std::string& s) {
    for (char c : s)
        if (c < '!' || c > '~') return false;
    return true;
}

}  // namespace

std::string timeText(std::time_t when) {
    std::tm tm{};
    ::gmtime_r(&when, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buffer;
}

std::optional<std::string> snapshotText(const Snapshot& s, std::string& error) {
    for (int r = 0; r < kRegisterCount; ++r)
        if (!s.registers[static_cast<std::size_t>(r)].ok) {
            error = "register " + text::byteText(static_cast<unsigned>(r)) +
                    "h was not read cleanly; no snapshot is written";
            return std::nullopt;
        }
    for (int i = 0; i < kLatchedCount; ++i)
        if (!s.latched[static_cast<std::size_t>(i)].ok) {
            error = "status " + text::byteText(static_cast<unsigned>(kLatchedFirst + i)) +
                    "h was not read cleanly; no snapshot is written";
            return std::nullopt;
        }
    const std::string end = "\r\n";
    std::string out = std::string(kTitle) + end;
    out += "tool " + s.tool + end;
    out += "slave " + text::suffixedByteText(s.slave) + end;
    out += "time " + timeText(s.taken) + end;
    for (int r = 0; r < kRegisterCount; ++r) {
        const int v = s.registers[static_cast<std::size_t>(r)].value & 0xFF;
        out += registerHead(r) + text::suffixedByteText(v) + registerTail(r, v) + end;
    }
    for (int i = 0; i < kLatchedCount; ++i)
        out += latchedHead(i) +
               text::suffixedByteText(s.latched[static_cast<std::size_t>(i)].value) + kLatchedTail +
               end;
    out += image_file::imageLines(chip::kEepromFirst,
                                  std::vector<int>(s.eeprom.begin(), s.eeprom.end()));
    return out;
}

std::optional<Snapshot> parseSnapshot(const std::string& text, const std::string& name,
                                      std::string& error) {
    const std::vector<std::string> lines = image_file::splitLines(text);
    const std::string file = name.empty() ? std::string() : name + " ";
    auto refuse = [&](std::size_t index, const std::string& why) -> std::optional<Snapshot> {
        error = file + "line " + std::to_string(index + 1) + ": " + why;
        return std::nullopt;
    };
    // The lines are checked in order, so the first bad one is named, a
    // missing one included.
    const auto missing = [&]() {
        return refuse(lines.size(), "missing; a snapshot holds " + std::to_string(kLines) +
                                        " lines and ends with the EEPROM byte 81FFh");
    };
    const auto have = [&](std::size_t index) { return index < lines.size(); };
    Snapshot s;
    if (!have(0)) return missing();
    if (lines[0] != kTitle)
        return refuse(0, shown(lines[0]) + " should read '" + kTitle + "': not a board snapshot");
    if (!have(1)) return missing();
    if (lines[1].compare(0, 5, "tool ") != 0 || lines[1].size() == 5 ||
        lines[1].size() > 5 + kMaxToolText || !printableText(lines[1].substr(5)))
        return refuse(1, shown(lines[1]) + " should name the program's version: 'tool 2.0.0'");
    s.tool = lines[1].substr(5);
    if (!have(2)) return missing();
    const std::string& slave = lines[2];
    if (slave.size() != 9 || slave.compare(0, 6, "slave ") != 0 || !isHex(slave[6]) ||
        !isHex(slave[7]) || slave[8] != 'h' || (text::hexDigit(slave[7]) & 1) != 0)
        return refuse(2, shown(slave) + " should name an even address byte: 'slave AEh'");
    s.slave = static_cast<unsigned>(text::hexDigit(slave[6]) * 16 + text::hexDigit(slave[7]));
    if (!have(3)) return missing();
    const auto when = lines[3].compare(0, 5, "time ") == 0 ? readTime(lines[3].substr(5))
                                                           : std::optional<std::time_t>();
    if (!when)
        return refuse(3,
                      shown(lines[3]) + " should give the UTC time: 'time 2026-12-06T12:00:00Z'");
    s.taken = *when;

    std::string why;
    for (int r = 0; r < kRegisterCount; ++r) {
        const std::size_t index = kFirstRegisterLine + static_cast<std::size_t>(r);
        if (!have(index)) return missing();
        const auto v = readValueLine(
            lines[index], registerHead(r), [r](int value) { return registerTail(r, value); }, why);
        if (!v) return refuse(index, why);
        s.registers[static_cast<std::size_t>(r)] = {*v, true};
    }
    for (int i = 0; i < kLatchedCount; ++i) {
        const std::size_t index = kFirstLatchedLine + static_cast<std::size_t>(i);
        if (!have(index)) return missing();
        const auto v = readValueLine(
            lines[index], latchedHead(i), [](int) { return std::string(kLatchedTail); }, why);
        if (!v) return refuse(index, why);
        s.latched[static_cast<std::size_t>(i)] = {*v, true};
    }
    for (unsigned k = 0; k < chip::kEepromSize; ++k) {
        const std::size_t index = kFirstEepromLine + k;
        if (!have(index)) return missing();
        if (lines[index].empty())
            return refuse(
                index, "empty; the EEPROM byte " + text::addressText(chip::kEepromFirst + k) +
                           "h stands here, like " + text::imageLine(chip::kEepromFirst + k, 0xFF));
        const auto byte =
            image_file::parseImageLines(lines[index], "", 1, chip::kEepromFirst + k, why);
        if (!byte) {
            // The image reader counts from this one line: name it in the file.
            const std::size_t colon = why.find(": ");
            return refuse(index, colon == std::string::npos ? why : why.substr(colon + 2));
        }
        s.eeprom[k] = static_cast<std::uint8_t>(byte->front());
    }
    if (lines.size() > kLines)
        return refuse(kLines, "more than " + std::to_string(kLines) +
                                  " lines; a snapshot ends with the EEPROM byte 81FFh");
    return s;
}

std::optional<Snapshot> loadSnapshot(const std::string& path, std::string& error) {
    std::string bytes;
    if (!image_file::readSmallFile(path, image_file::kMaxFileBytes, bytes, &error))
        return std::nullopt;
    return parseSnapshot(bytes, path, error);
}

bool saveSnapshot(const std::string& path, const Snapshot& s, std::string& error) {
    const auto text = snapshotText(s, error);
    if (!text) return false;
    if (durable::replaceFile(path, *text, error)) return true;
    error = text::sentence(error);
    return false;
}

}  // namespace kestrel::snapshot
