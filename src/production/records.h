#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The production records: one row per board attempt, and each board's erase
// count per EEPROM page, in SQLite (a file, through Qt's QSQLITE) or
// PostgreSQL (through QPSQL). The schema is made on first use and carries a
// version; every change is one transaction, so a row is whole or absent.
//
// A board that is about to be written gets its row first, marked unfinished,
// in the same transaction that raises the erase counts of the pages it will
// erase; the row is completed in one more transaction at the end. A kill or
// a power cut in between leaves the unfinished row naming the board: a board
// is never changed without a row.
namespace kestrel::production {

struct Attempt {
    std::string serial;
    std::string started;  // UTC, "2026-12-07T03:04:05.123Z"
    long long durationMs = 0;
    std::string station;
    std::string operatorName;
    std::string goldenName;
    std::string goldenSha256;
    std::string result;            // "PASS" or "FAIL" (an unfinished row is stored as FAIL)
    std::string registersWritten;  // "10h 16h", empty for none
    std::string pagesWritten;      // "8020h 8100h", empty for none
    std::string firstFailure;      // empty on PASS
    // False for a row whose board never reached its end (a kill, a crash, a
    // power cut between its first write and its last record).
    bool finished = true;

    // "PASS", "FAIL" or "UNFINISHED".
    std::string shownResult() const { return finished ? result : "UNFINISHED"; }
};

// 1: the first schema; 2: attempts.finished added (a version 1 database is
// read as it is and brought to 2 when a station opens it).
inline constexpr int kSchemaVersion = 2;

// Where the records are, as --database names them: a file (optionally
// "sqlite:FILE"), or "postgresql://[user[:password]@][host][:port]/database"
// ("postgres://" too; an empty host: the server libpq finds by itself,
// PGHOST and the like). Anything else with a scheme ("mysql://...",
// "https://...") is none of them.
struct Location {
    bool postgres = false;
    std::string file;   // SQLite: the file
    std::string url;    // PostgreSQL: the URL as given
    std::string shown;  // for messages: the URL without its password
};
std::optional<Location> parseLocation(const std::string& where, std::string& error);

// `where` as messages may show it: a PostgreSQL URL's password left out.
std::string shownLocation(const std::string& where);

class Records {
  public:
    enum class Mode {
        Station,   // made when missing, its schema brought up to date
        ReadOnly,  // must exist and hold the records; nothing is created, the schema left as it is
    };
    static std::unique_ptr<Records> open(const std::string& where, std::string& error,
                                         Mode mode = Mode::Station);
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    bool postgres() const { return postgres_; }

    // How many erases each page of the board has had, by page base.
    std::optional<std::map<unsigned, long long>> eraseCounts(const std::string& serial,
                                                             std::string& error);
    // The board's row before its first write, marked unfinished, and the
    // erase count of each page of `pages` raised by one, in one transaction.
    // Returns the row's id.
    std::optional<long long> begin(const Attempt& unfinished, const std::vector<unsigned>& pages,
                                   std::string& error);
    // Row `id` completed as `attempt`, and the erase counts of `notErased`
    // taken back (pages counted by begin() that were never sent an erase),
    // in one transaction.
    bool complete(long long id, const Attempt& attempt, const std::vector<unsigned>& notErased,
                  std::string& error);
    // A whole row at once, for a board that was not written to.
    bool record(const Attempt& attempt, std::string& error);

    // Every attempt started at or after `since` ("" for all; a date or time
    // in the form of Attempt::started), oldest first.
    std::optional<std::vector<Attempt>> attempts(const std::string& since, std::string& error);

    // Called after every transaction that was committed.
    void onCommit(std::function<void()> hook) { onCommit_ = std::move(hook); }

  private:
    Records() = default;
    bool createSchema(std::string& error);
    bool readSchema(std::string& error);
    std::string connection_;
    bool postgres_ = false;
    int version_ = kSchemaVersion;
    std::function<void()> onCommit_;
};

// $XDG_DATA_HOME/kestrel-eval/production.sqlite, or
// $HOME/.local/share/kestrel-eval/production.sqlite; empty when neither is
// usable.
std::string defaultDatabase(const char* xdgDataHome, const char* home);

}  // namespace kestrel::production
