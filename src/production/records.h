#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The production records: one row per board attempt, and each board's erase
// count per EEPROM page, in SQLite (a file, through Qt's QSQLITE) or
// PostgreSQL (through QPSQL). The schema is made on first use and carries a
// version; every change is one transaction, so a row is whole or absent.
namespace kestrel::production {

struct Attempt {
    std::string serial;
    std::string started;  // UTC, "2026-12-07T03:04:05.123Z"
    long long durationMs = 0;
    std::string station;
    std::string operatorName;
    std::string goldenName;
    std::string goldenSha256;
    std::string result;            // "PASS" or "FAIL"
    std::string registersWritten;  // "10h 16h", empty for none
    std::string pagesWritten;      // "8020h 8100h", empty for none
    std::string firstFailure;      // empty on PASS
};

inline constexpr int kSchemaVersion = 1;

class Records {
  public:
    // `where`: "postgresql://[user[:password]@][host][:port]/database" (an
    // empty host: the server libpq finds by itself, PGHOST and the like), or
    // a file (optionally "sqlite:FILE"), whose folder is made when missing.
    static std::unique_ptr<Records> open(const std::string& where, std::string& error);
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    bool postgres() const { return postgres_; }

    // How many erases each page of the board has had, by page base.
    std::optional<std::map<unsigned, long long>> eraseCounts(const std::string& serial,
                                                             std::string& error);
    // Adds `delta` to the count of each page, in one transaction.
    bool addErases(const std::string& serial, const std::vector<unsigned>& pages, int delta,
                   std::string& error);
    // The attempt's row, and the erase counts of `notErased` taken back (pages
    // counted before their erase that were never sent one), in one
    // transaction.
    bool record(const Attempt& attempt, const std::vector<unsigned>& notErased, std::string& error);

    // Every attempt started at or after `since` ("" for all; a date or time
    // in the form of Attempt::started), oldest first.
    std::optional<std::vector<Attempt>> attempts(const std::string& since, std::string& error);

  private:
    Records() = default;
    bool createSchema(std::string& error);
    std::string connection_;
    bool postgres_ = false;
};

// $XDG_DATA_HOME/kestrel-eval/production.sqlite, or
// $HOME/.local/share/kestrel-eval/production.sqlite; empty when neither is
// usable.
std::string defaultDatabase(const char* xdgDataHome, const char* home);

}  // namespace kestrel::production
