#include "production/records.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <atomic>

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
        error = "not stored: " + why(db_.lastError());
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

}  // namespace

std::string defaultDatabase(const char* xdgDataHome, const char* home) {
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/')
        return std::string(xdgDataHome) + "/kestrel-eval/production.sqlite";
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/share/kestrel-eval/production.sqlite";
    return {};
}

std::unique_ptr<Records> Records::open(const std::string& where, std::string& error) {
    if (where.empty()) {
        error = "no database: neither XDG_DATA_HOME nor HOME is an absolute folder";
        return nullptr;
    }
    std::unique_ptr<Records> r(new Records);
    r->connection_ = nextConnectionName();
    const bool pg = where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
    r->postgres_ = pg;
    QSqlDatabase db = QSqlDatabase::addDatabase(
        pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), q(r->connection_));
    if (!db.isValid()) {
        error = std::string("the Qt SQL driver ") + (pg ? "QPSQL" : "QSQLITE") +
                " is not installed (" + (pg ? "libqt6sql6-psql" : "libqt6sql6-sqlite") + ")";
        return nullptr;
    }
    if (pg) {
        const QUrl url(q(where), QUrl::StrictMode);
        if (!url.isValid() || url.path().size() < 2) {
            error = "--database '" + where + "': give postgresql://[user@]host[:port]/database";
            return nullptr;
        }
        if (!url.host().isEmpty()) db.setHostName(url.host());
        if (url.port() > 0) db.setPort(url.port());
        if (!url.userName().isEmpty()) db.setUserName(url.userName());
        if (!url.password().isEmpty()) db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    } else {
        std::string file = where.rfind("sqlite:", 0) == 0 ? where.substr(7) : where;
        const std::size_t slash = file.rfind('/');
        if (slash != std::string::npos && slash > 0 &&
            !backup::makeDirectories(file.substr(0, slash), error))
            return nullptr;
        db.setDatabaseName(q(file));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    }
    if (!db.open()) {
        error = "database '" + where + "' not opened: " + why(db.lastError());
        return nullptr;
    }
    // Each commit is on the disk before it returns: a kill loses at most
    // the board in progress.
    if (pg && !exec(db, QStringLiteral("SET client_min_messages TO WARNING"), error)) {
        error = "database '" + where + "': " + error;
        return nullptr;
    }
    if (!pg && (!exec(db, QStringLiteral("PRAGMA synchronous=FULL"), error) ||
                !exec(db, QStringLiteral("PRAGMA foreign_keys=ON"), error))) {
        error = "database '" + where + "': " + error;
        return nullptr;
    }
    if (!r->createSchema(error)) {
        error = "database '" + where + "': " + error;
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
                       "first_failure TEXT NOT NULL)")
            .arg(id),
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
    } else if (version.value(0).toInt() != kSchemaVersion) {
        error = "schema version " + std::to_string(version.value(0).toInt()) +
                ", this program knows version " + std::to_string(kSchemaVersion);
        return false;
    }
    return t.commit(error);
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

bool Records::addErases(const std::string& serial, const std::vector<unsigned>& pages, int delta,
                        std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(q(connection_), false);
    Transaction t(db);
    return t.started(error) && changeErases(db, serial, pages, delta, error) && t.commit(error);
}

bool Records::record(const Attempt& a, const std::vector<unsigned>& notErased, std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(q(connection_), false);
    Transaction t(db);
    if (!t.started(error) || !changeErases(db, a.serial, notErased, -1, error)) return false;
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO attempts (serial, started, duration_ms, station, operator, golden_name, "
        "golden_sha256, result, registers_written, pages_written, first_failure) VALUES (?, ?, "
        "?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const std::string* s : {&a.serial, &a.started}) query.addBindValue(q(*s));
    query.addBindValue(static_cast<qlonglong>(a.durationMs));
    for (const std::string* s : {&a.station, &a.operatorName, &a.goldenName, &a.goldenSha256,
                                 &a.result, &a.registersWritten, &a.pagesWritten, &a.firstFailure})
        query.addBindValue(q(*s));
    return exec(query, error) && t.commit(error);
}

std::optional<std::vector<Attempt>> Records::attempts(const std::string& since,
                                                      std::string& error) {
    QSqlQuery query(QSqlDatabase::database(q(connection_), false));
    query.prepare(QStringLiteral(
        "SELECT serial, started, duration_ms, station, operator, golden_name, golden_sha256, "
        "result, registers_written, pages_written, first_failure FROM attempts WHERE started >= "
        "? ORDER BY started, id"));
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
        rows.push_back(std::move(a));
    }
    return rows;
}

}  // namespace kestrel::production
