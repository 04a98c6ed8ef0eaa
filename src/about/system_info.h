#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

namespace kestrel {

// Where the About window finds the operating system's system information
// program, and how it starts it. On Windows this is the registry; this
// program runs on Linux, which has none, so the lookups find nothing and a
// system information program on the PATH is started instead.
class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    // Reads one registry value as text; false (and `value` empty) when absent.
    virtual bool GetKeyValue(std::uint32_t keyRoot, const std::string& keyName,
                             const std::string& subKeyRef, std::string& value) = 0;
    virtual bool fileExists(const QString& path) = 0;
    // Starts a program with a normal, focused window; false when it cannot.
    virtual bool start(const QString& program) = 0;
    // The first of the candidates found on the PATH, or an empty string.
    virtual QString findOnPath(const QStringList& candidates) = 0;
};

// Linux: no registry; programs found with the PATH and started detached.
class LinuxSystemInfo final : public SystemInfo {
  public:
    bool GetKeyValue(std::uint32_t, const std::string&, const std::string&,
                     std::string& value) override {
        value.clear();
        return false;
    }
    bool fileExists(const QString& path) override;
    bool start(const QString& program) override;
    QString findOnPath(const QStringList& candidates) override;
};

// System information programs tried on Linux, in order of preference.
inline const QStringList kSystemInfoPrograms = {
    QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
    QStringLiteral("gnome-system-monitor"), QStringLiteral("lshw-gtk")};

inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;

}  // namespace kestrel
