#include "production/records.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>

#include "files/backup_folder.h"

namespace kestrel::production {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string why(const QSqlError& e) {
    const QString text = e.text().trimmed();
    return text.isEmpty() ? std::string("unknown database error") : text.toStdString();
}

std::string nextConnectionName() {
    static std::atomic<int> counter{0};
    return "kestrel-production-" + std::to_string(++counter);
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

bool isPostgresUrl(const std::string& where) {
    return startsWith(where, "postgresql://") || startsWith(where, "postgres://");
}

// A transaction that rolls back unless committed.
class Transaction {
  public:
    explicit Transaction(QSqlDatabase db) : db_(std::move(db)) { open_ = db_.transaction(); }
    ~Transaction() {
        if (open_) db_.rollback();
    }
    bool started(std::string& error) {
        if (!open_) error = "transaction not started: " + why(db_.lastError());
        return open_;
    }
    bool commit(std::string& error) {
        open_ = false;
        if (db_.commit()) return true;
        error = why(db_.lastError());
        db_.rollback();
        return false;
    }

  private:
    QSqlDatabase db_;
    bool open_ = false;
};

bool exec(QSqlQuery& query, std::string& error) {
    if (query.exec()) return true;
    error = why(query.lastError());
    return false;
}

bool exec(QSqlDatabase db, const QString& sql, std::string& error) {
    QSqlQuery query(db);
    if (query.exec(sql)) return true;
    error = why(query.lastError());
    return false;
}

const QString kFinishedColumn =
    QStringLiteral("finished INTEGER NOT NULL DEFAULT 1 CHECK (finished IN (0, 1))");

// The row, finished or not; with `returning`, the statement gives its id.
void prepareInsert(QSqlQuery& query, const Attempt& a, bool returning) {
    query.prepare(QStringLiteral(
                      "INSERT INTO attempts (serial, started, duration_ms, station, operator, "
                      "golden_name, golden_sha256, result, registers_written, pages_written, "
                      "first_failure, finished) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") +
                  (returning ? QStringLiteral(" RETURNING id") : QString()));
    for (const std::string* s : {&a.serial, &a.started}) query.addBindValue(q(*s));
    query.addBindValue(static_cast<qlonglong>(a.durationMs));
    for (const std::string* s : {&a.station, &a.operatorName, &a.goldenName, &a.goldenSha256,
                                 &a.result, &a.registersWritten, &a.pagesWritten, &a.firstFailure})
        query.addBindValue(q(*s));
    query.addBindValue(a.finished ? 1 : 0);
}

}  // namespace

std::string shownLocation(const std::string& where) {
    if (!isPostgresUrl(where)) return where;
    const std::size_t authority = where.find("://") + 3;
    const std::size_t end = std::min(where.find('/', authority), where.size());
    const std::size_t at = where.rfind('@', end);
    if (at == std::string::npos || at < authority) return where;
    const std::size_t colon = where.find(':', authority);
    if (colon == std::string::npos || colon > at) return where;
    return where.substr(0, colon + 1) + "***" + where.substr(at);
}

std::optional<Location> parseLocation(const std::string& where, std::string& error) {
    Location l;
    l.shown = shownLocation(where);
    if (where.empty()) {
        error = "no database: neither XDG_DATA_HOME nor HOME is an absolute folder";
        return std::nullopt;
    }
    if (isPostgresUrl(where)) {
        const QUrl url(q(where), QUrl::StrictMode);
        if (!url.isValid() || url.path().size() < 2 || url.path().indexOf('/', 1) >= 0) {
            error = "database '" + l.shown +
                    "': give postgresql://[user[:password]@][host][:port]/database";
            return std::nullopt;
        }
        l.postgres = true;
        l.url = where;
        return l;
    }
    if (startsWith(where, "sqlite:")) {
        l.file = where.substr(7);
        if (startsWith(l.file, "//")) l.file = l.file.substr(2);  // sqlite:///abs/path
        if (l.file.empty()) {
            error = "database '" + where + "': give sqlite:FILE";
            return std::nullopt;
        }
        return l;
    }
    // Any other scheme ("mysql://", "https://", "file:") is no file name:
    // refused rather than taken as a folder of that name.
    const std::size_t colon = where.find(':');
    if (colon != std::string::npos && colon > 0 &&
        std::isalpha(static_cast<unsigned char>(where[0])) &&
        std::all_of(where.begin(), where.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        })) {
        error = "database '" + l.shown + "': '" + where.substr(0, colon) +
                ":' is no kind of database the records are kept in; give a file, sqlite:FILE or "
                "postgresql://host/database";
        return std::nullopt;
    }
    l.file = where;
    return l;
}

std::string defaultDatabase(const char* xdgDataHome, const char* home) {
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/')
        return std::string(xdgDataHome) + "/kestrel-eval/production.sqlite";
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/share/kestrel-eval/production.sqlite";
    return {};
}

std::unique_ptr<Records> Records::open(const std::string& where, std::string& error,
                                       Mode mode) {
    const auto location = parseLocation(where, error);
    if (!location) return nullptr;
    const bool pg = location->postgres;
    const std::string& shown = location->shown;
    if (!pg && mode == Mode::ReadOnly) {
        std::error_code ec;
        if (!std::filesystem::exists(location->file, ec)) {
            error = "no records at " + location->file + ": the database does not exist";
            return nullptr;
        }
    }
    std::unique_ptr<Records> r(new Records);
    r->connection_ = nextConnectionName();
    r->postgres_ = pg;
    QSqlDatabase db = QSqlDatabase::addDatabase(
        pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), q(r->connection_));
    if (!db.isValid()) {
        error = std::string("the Qt SQL driver ") + (pg ? "QPSQL" : "QSQLITE") +
                " is not installed (" + (pg ? "libqt6sql6-psql" : "libqt6sql6-sqlite") + ")";
        return nullptr;
    }
    if (pg) {
        const QUrl url(q(location->url), QUrl::StrictMode);
        if (!url.host().isEmpty()) db.setHostName(url.host());
        if (url.port() > 0) db.setPort(url.port());
        if (!url.userName().isEmpty()) db.setUserName(url.userName());
        if (!url.password().isEmpty()) db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    } else {
        const std::string& file = location->file;
        const std::size_t slash = file.rfind('/');
        if (mode == Mode::Station && slash != std::string::npos && slash > 0 &&
            !backup::makeDirectories(file.substr(0, slash), error))
            return nullptr;
        db.setDatabaseName(q(file));
        // Opened for writing even to read: the journal a kill left behind
        // is rolled back on opening (a file the user cannot write is read
        // as it is). Nothing is created or changed otherwise.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    }
    if (!db.open()) {
        error = "database '" + shown + "' not opened: " + why(db.lastError());
        return nullptr;
    }
    // Each commit is on the disk before it returns: a kill loses at most
    // the board in progress.
    if (pg && !exec(db, QStringLiteral("SET client_min_messages TO WARNING"), error)) {
        error = "database '" + shown + "': " + error;
        return nullptr;
    }
    if (!pg && (!exec(db, QStringLiteral("PRAGMA synchronous=FULL"), error) ||
                !exec(db, QStringLiteral("PRAGMA foreign_keys=ON"), error))) {
        error = "database '" + shown + "': " + error;
        return nullptr;
    }
    if (!(mode == Mode::Station ? r->createSchema(error) : r->readSchema(error))) {
        error = "database '" + shown + "': " + error;
        return nullptr;
    }
    return r;
}

Records::~Records() {
    {
        QSqlDatabase db = QSqlDatabase::database(q(connection_), false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(q(connection_));
}

bool Records::createSchema(std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(q(connection_), false);
    Transaction t(db);
    if (!t.started(error)) return false;
    // Two stations may start at once on one server: the second waits here.
    if (postgres_ && !exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(5728)"), error))
        return false;
    const QString id = postgres_ ? QStringLiteral("id BIGSERIAL PRIMARY KEY")
                                 : QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT");
    const QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS kestrel_schema (version INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS attempts (%1, serial TEXT NOT NULL, "
                       "started TEXT NOT NULL, duration_ms BIGINT NOT NULL, station TEXT NOT "
                       "NULL, operator TEXT NOT NULL, golden_name TEXT NOT NULL, golden_sha256 "
                       "TEXT NOT NULL, result TEXT NOT NULL CHECK (result IN ('PASS', 'FAIL')), "
                       "registers_written TEXT NOT NULL, pages_written TEXT NOT NULL, "
                       "first_failure TEXT NOT NULL, %2)")
            .arg(id, kFinishedColumn),
        QStringLiteral("CREATE INDEX IF NOT EXISTS attempts_serial ON attempts (serial)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS page_erases (serial TEXT NOT NULL, page "
                       "INTEGER NOT NULL, erases BIGINT NOT NULL CHECK (erases >= 0), PRIMARY "
                       "KEY (serial, page))"),
    };
    for (const QString& sql : statements)
        if (!exec(db, sql, error)) return false;
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("SELECT version FROM kestrel_schema"))) {
        error = why(version.lastError());
        return false;
    }
    if (!version.next()) {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO kestrel_schema (version) VALUES (?)"));
        insert.addBindValue(kSchemaVersion);
        if (!exec(insert, error)) return false;
    } else if (const int found = version.value(0).toInt(); found == 1) {
        // Version 1 had no unfinished rows: every row it holds is finished.
        version.finish();
        if (!exec(db, QStringLiteral("ALTER TABLE attempts ADD COLUMN ") + kFinishedColumn,
                  error) ||
            !exec(db, QStringLiteral("UPDATE kestrel_schema SET version = 2"), error)) {
            error = "schema version 1 not brought to version 2: " + error;
            return false;
        }
    } else if (found != kSchemaVersion) {
        error = "schema version " + std::to_string(found) + ", this program knows version " +
                std::to_string(kSchemaVersion);
        return false;
    }
    version_ = kSchemaVersion;
    if (!t.commit(error)) return false;
    if (onCommit_) onCommit_();
    return true;
}

bool Records::readSchema(std::string& error) {
    QSqlQuery version(QSqlDatabase::database(q(connection_), false));
    if (!version.exec(QStringLiteral("SELECT version FROM kestrel_schema")) || !version.next()) {
        error = "holds no production records (" +
                (version.lastError().isValid() ? why(version.lastError())
                                               : std::string("no schema version")) +
                ")";
        return false;
    }
    version_ = version.value(0).toInt();
    if (version_ < 1 || version_ > kSchemaVersion) {
        error = "schema version " + std::to_string(version_) + ", this program knows version " +
                std::to_string(kSchemaVersion);
        return false;
    }
    return true;
}

std::optional<std::map<unsigned, long long>> Records::eraseCounts(const std::string& serial,
                                                                  std::string& error) {
    QSqlQuery query(QSqlDatabase::database(q(connection_), false));
    query.prepare(QStringLiteral("SELECT page, erases FROM page_erases WHERE serial = ?"));
    query.addBindValue(q(serial));
    if (!exec(query, error)) return std::nullopt;
    std::map<unsigned, long long> counts;
    while (query.next())
        counts[static_cast<unsigned>(query.value(0).toUInt())] = query.value(1).toLongLong();
    return counts;
}

namespace {

bool changeErases(QSqlDatabase db, const std::string& serial, const std::vector<unsigned>& pages,
                  int delta, std::string& error) {
    for (unsigned page : pages) {
        QSqlQuery query(db);
        if (delta < 0) {
            // Taking counts back: the rows exist. (An insert of a negative
            // count would fail the table's check before any conflict is
            // looked at.)
            query.prepare(QStringLiteral(
                "UPDATE page_erases SET erases = erases + ? WHERE serial = ? AND page = ?"));
            query.addBindValue(delta);
            query.addBindValue(q(serial));
            query.addBindValue(page);
        } else {
            query.prepare(QStringLiteral(
                "INSERT INTO page_erases (serial, page, erases) VALUES (?, ?, ?) ON CONFLICT "
                "(serial, page) DO UPDATE SET erases = page_erases.erases + excluded.erases"));
            query.addBindValue(q(serial));
            query.addBindValue(page);
            query.addBindValue(delta);
        }
        if (!exec(query, error)) return false;
    }
    return true;
}

}  // namespace

std::optional<long long> Records::begin(const Attempt& unfinished,
                                        const std::vector<unsigned>& pages, std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(q(connection_), false);
    Transaction t(db);
    if (!t.started(error) || !changeErases(db, unfinished.serial, pages, 1, error))
        return std::nullopt;
    Attempt row = unfinished;
    row.finished = false;
    QSqlQuery insert(db);
    prepareInsert(insert, row, true);
    if (!exec(insert, error)) return std::nullopt;
    if (!insert.next()) {
        error = "the new row's id was not given back";
        return std::nullopt;
    }
    const long long id = insert.value(0).toLongLong();
    insert.finish();
    if (!t.commit(error)) return std::nullopt;
    if (onCommit_) onCommit_();
    return id;
}

bool Records::complete(long long id, const Attempt& a, const std::vector<unsigned>& notErased,
                       std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(q(connection_), false);
    Transaction t(db);
    if (!t.started(error) || !changeErases(db, a.serial, notErased, -1, error)) return false;
    QSqlQuery update(db);
    update.prepare(QStringLiteral(
        "UPDATE attempts SET duration_ms = ?, result = ?, registers_written = ?, pages_written = "
        "?, first_failure = ?, finished = 1 WHERE id = ?"));
    update.addBindValue(static_cast<qlonglong>(a.durationMs));
    for (const std::string* s : {&a.result, &a.registersWritten, &a.pagesWritten, &a.firstFailure})
        update.addBindValue(q(*s));
    update.addBindValue(static_cast<qlonglong>(id));
    if (!exec(update, error)) return false;
    if (update.numRowsAffected() != 1) {
        error = "the board's row (id " + std::to_string(id) + ") is gone";
        return false;
    }
    if (!t.commit(error)) return false;
    if (onCommit_) onCommit_();
    return true;
}

bool Records::record(const Attempt& a, std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(q(connection_), false);
    Transaction t(db);
    if (!t.started(error)) return false;
    Attempt row = a;
    row.finished = true;
    QSqlQuery insert(db);
    prepareInsert(insert, row, false);
    if (!exec(insert, error) || !t.commit(error)) return false;
    if (onCommit_) onCommit_();
    return true;
}

std::optional<std::vector<Attempt>> Records::attempts(const std::string& since,
                                                      std::string& error) {
    QSqlQuery query(QSqlDatabase::database(q(connection_), false));
    // A version 1 database, read as it is, has only finished rows.
    query.prepare(QStringLiteral(
                      "SELECT serial, started, duration_ms, station, operator, golden_name, "
                      "golden_sha256, result, registers_written, pages_written, first_failure, ") +
                  (version_ >= 2 ? QStringLiteral("finished") : QStringLiteral("1")) +
                  QStringLiteral(" FROM attempts WHERE started >= ? ORDER BY started, id"));
    query.addBindValue(q(since));
    if (!exec(query, error)) return std::nullopt;
    std::vector<Attempt> rows;
    while (query.next()) {
        Attempt a;
        int k = 0;
        auto text = [&] { return query.value(k++).toString().toStdString(); };
        a.serial = text();
        a.started = text();
        a.durationMs = query.value(k++).toLongLong();
        a.station = text();
        a.operatorName = text();
        a.goldenName = text();
        a.goldenSha256 = text();
        a.result = text();
        a.registersWritten = text();
        a.pagesWritten = text();
        a.firstFailure = text();
        a.finished = query.value(k++).toInt() != 0;
        rows.push_back(std::move(a));
    }
    return rows;
}

}  // namespace kestrel::production
