#include "data/Database.h"

#include "data/DataError.h"
#include "data/Faults.h"
#include "data/InlineValues.h"
#include "data/Postgres.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace lumaro {

namespace {

// The statements of opening a shop, on either database.
const QString kWal = QStringLiteral("PRAGMA journal_mode=WAL");
const QString kFullSync = QStringLiteral("PRAGMA synchronous=FULL");
const QString kNoWal = QStringLiteral("PRAGMA journal_mode=DELETE");
const QString kCountObjects = QStringLiteral("SELECT count(*) FROM sqlite_master");

QString firstAccountSql()
{
    using namespace schema;
    return statement("INSERT INTO {A} ({a.id}, {a.cash}, {a.bank}) VALUES (1, 0, 0)");
}

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("lumaro-%1").arg(counter.fetchAndAddRelaxed(1));
}

// A shop file is data, never code: triggers and views may not call functions
// with side effects (trusted_schema off), and SQL cannot reach past the
// schema to write pages or the schema's text itself (defensive mode).
void hardenShopConnection(const QSqlDatabase& db)
{
    sqlite3* h = sqliteHandle(db);
    int defensive = 0;
    int trusted = 1;
    if (!h || sqlite3_db_config(h, SQLITE_DBCONFIG_DEFENSIVE, 1, &defensive) != SQLITE_OK ||
        sqlite3_db_config(h, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, &trusted) != SQLITE_OK || defensive != 1 ||
        trusted != 0)
        throw DataError(QStringLiteral("無法為資料檔啟用安全設定：這台電腦的 SQLite 資料庫驅動程式與 Lumaro 不相容。"));
}

// Opens the SQLite file at target (which must already exist: SQLite would
// otherwise create it) with the busy timeout every connection of the shop
// uses. failure introduces the message when the file cannot be opened.
// uriOptions, when given, opens the file through a file: URI with them
// (mode=ro, immutable=1).
void openShopFile(const QString& name, const QString& target, const QString& failure,
                  const QString& uriOptions = QString())
{
    requireDriver(QStringLiteral("QSQLITE"),
                  QStringLiteral("這台電腦沒有安裝 SQLite 的資料庫驅動程式（libqt6sql6-sqlite）。"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
    if (uriOptions.isEmpty()) {
        db.setDatabaseName(target);
    } else {
        QUrl uri = QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
        uri.setQuery(uriOptions);
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        options += QStringLiteral(";QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY");
    }
    db.setConnectOptions(options);
    if (!db.open()) {
        // SQLite says only that it could not open the file; the system says why.
        QString text;
        const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        else
            text = systemFileError(errno);
        if (text.isEmpty())
            text = dataError(db.lastError(), db, false).description();
        throw DataError(QStringLiteral("%1「%2」：%3").arg(failure, fullPath(target), text));
    }
    hardenShopConnection(db);
}

} // namespace

const QString& sqliteQueryOnlySql()
{
    static const QString sql = QStringLiteral("PRAGMA query_only=ON");
    return sql;
}

QString quoteIdentifier(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

const QString& Database::defaultFile()
{
    static const QString f = QStringLiteral("teadata.db");
    return f;
}

bool Database::isPostgresUrl(const QString& target)
{
    return target.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           target.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

Database::Database(Kind kind, const QString& target, const QString& connectionName)
    : m_kind(kind), m_target(target), m_connection(connectionName)
{
}

Database::~Database()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen()) {
            if (m_inTransaction)
                rollback();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QSqlDatabase Database::sql() const { return QSqlDatabase::database(m_connection, false); }

namespace {

// A file that SQLite cannot read as a shop says so in one sentence.
[[noreturn]] void rethrowOpening(const DataError& e, const QString& target)
{
    if (e.fault() == DataFault::Damaged) {
        const QString detail = e.description().section(QLatin1Char('\r'), -1);
        throw DataError(
            QStringLiteral("「%1」不是 Lumaro 的資料檔，或資料檔已損壞。\r%2").arg(fullPath(target), detail));
    }
    throw;
}

void requireShopFile(const QString& target)
{
    QFileInfo info(target);
    if (!info.exists())
        throw DataError(QStringLiteral("找不到資料檔「%1」。").arg(fullPath(target)));
    if (!info.isFile())
        throw DataError(QStringLiteral("「%1」不是資料檔。").arg(fullPath(target)));
}

bool writable(const QString& path) { return ::access(QFile::encodeName(path).constData(), W_OK) == 0; }

} // namespace

std::unique_ptr<Database> Database::connect(const QString& target, const QString& password,
                                            const std::function<void(Database&)>& vet)
{
    const QString name = nextConnectionName();
    if (isPostgresUrl(target)) {
        std::unique_ptr<Database> d(new Database(Kind::PostgreSQL, target, name));
        connectPostgres(name, target, password);
        d->checkShopTables();
        if (vet)
            vet(*d);
        return d;
    }

    requireShopFile(target);
    std::unique_ptr<Database> d(new Database(Kind::SQLite, target, name));
    openShopFile(name, target, QStringLiteral("無法開啟資料檔"));
    try {
        // Tables first: switching the journal writes to the file, and a file
        // that is not a shop must be left exactly as it was.
        d->checkShopTables();
        if (vet)
            vet(*d);
        d->configureSQLite();
    } catch (const DataError& e) {
        rethrowOpening(e, target);
    }
    return d;
}

std::unique_ptr<Database> Database::openReadOnly(const QString& target)
{
    const QString name = nextConnectionName();
    if (isPostgresUrl(target)) {
        std::unique_ptr<Database> d(new Database(Kind::PostgreSQL, target, name));
        connectPostgres(name, target, QString());
        d->exec(postgresReadOnlySessionSql());
        d->checkShopTables();
        return d;
    }

    requireShopFile(target);
    // A shop in WAL mode that nobody has open has no -wal beside it, and a
    // read-only connection would leave a -wal and a -shm there, with the
    // file's own mode: read-only ones would later keep the program from
    // writing. Such a file is read through an ordinary connection that
    // writes nothing (SQLite removes what it made when it closes), or, when
    // it cannot be written at all, as immutable. A shop in use (its -wal is
    // there) or in rollback-journal mode is opened read-only.
    QByteArray header;
    {
        QFile f(target);
        if (f.open(QIODevice::ReadOnly))
            header = f.read(100);
    }
    const bool walMode =
        header.size() >= 20 && header.startsWith("SQLite format 3") && header[18] == 2 && header[19] == 2;
    const bool quiet = walMode && !QFileInfo::exists(target + QStringLiteral("-wal"));
    const bool canWrite = writable(target) && writable(QFileInfo(target).absolutePath());
    QString uriOptions;
    if (!quiet)
        uriOptions = QStringLiteral("mode=ro");
    else if (!canWrite)
        uriOptions = QStringLiteral("mode=ro&immutable=1");

    std::unique_ptr<Database> d(new Database(Kind::SQLite, target, name));
    openShopFile(name, target, QStringLiteral("無法開啟資料檔"), uriOptions);
    try {
        if (uriOptions.isEmpty())
            d->exec(sqliteQueryOnlySql());
        d->checkShopTables();
    } catch (const DataError& e) {
        rethrowOpening(e, target);
    }
    return d;
}

void Database::closeForExit() noexcept
{
    QSqlDatabase db = sql();
    if (!db.isOpen())
        return;
    if (m_inTransaction)
        rollback();
    if (sqlite3* h = sqliteHandle(db)) {
        // Another terminal reading may hold the checkpoint up; not for long.
        sqlite3_busy_timeout(h, 1000);
        sqlite3_wal_checkpoint_v2(h, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    }
    db.close();
}

void Database::foldLog(const QString& file) noexcept
{
    const QString name = nextConnectionName();
    try {
        openShopFile(name, file, QStringLiteral("無法開啟資料檔"));
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (sqlite3* h = sqliteHandle(db)) {
            sqlite3_busy_timeout(h, 0); // a file in use is not waited for
            // A read rolls back what a crash left half written in a rollback
            // journal; the checkpoint writes a write-ahead log into the file.
            QSqlQuery(db).exec(kCountObjects);
            sqlite3_wal_checkpoint_v2(h, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        }
        db.close();
    } catch (...) {
        // Folded as far as SQLite could: the caller looks at what is left.
    }
    QSqlDatabase::removeDatabase(name);
}

void Database::useRollbackJournal() { exec(kNoWal); }

void Database::onProgress(std::function<bool()> tick)
{
    m_progress = std::move(tick);
    sqlite3* h = sqliteHandle(sql());
    if (!h)
        return;
    if (!m_progress) {
        sqlite3_progress_handler(h, 0, nullptr, nullptr);
        return;
    }
    sqlite3_progress_handler(
        h, 1000, [](void* work) { return (*static_cast<std::function<bool()>*>(work))() ? 1 : 0; }, &m_progress);
}

void Database::configureSQLite()
{
    // WAL lets a backup or a second terminal read while the counter writes;
    // FULL sync makes a committed money move survive a power cut.
    const QString mode = scalar(kWal).toString();
    if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        throw DataError(QStringLiteral("資料檔「%1」無法寫入：檔案或它所在的資料夾是唯讀的。").arg(fullPath(m_target)));
    }
    exec(kFullSync);
}

void Database::checkShopTables()
{
    const QStringList present = sql().tables(QSql::Tables);
    for (const schema::TableDef& t : schema::tables()) {
        if (t.sinceVersion > 1)
            continue; // an older shop gets them by its upgrade
        bool found = false;
        for (const QString& p : present)
            if (p.compare(t.name, Qt::CaseInsensitive) == 0)
                found = true;
        if (!found) {
            // Distinguish an unreadable file from a file without our tables.
            if (present.isEmpty() && m_kind == Kind::SQLite)
                scalar(kCountObjects);
            throw DataError(QStringLiteral("資料檔缺少資料表「%1」，可能不是 Lumaro 的資料檔。").arg(t.name));
        }
        const QSqlRecord rec = sql().record(t.name);
        if (rec.count() < t.columns.size())
            throw DataError(
                QStringLiteral("資料表「%1」的欄位不完整，應有 %2 個欄位。").arg(t.name).arg(t.columns.size()));
    }
}

void Database::fail(const QSqlError& e)
{
    // The PostgreSQL driver closes a connection the server ended, sometimes
    // with no error text at all.
    const bool postgres = m_kind == Kind::PostgreSQL;
    DataError error = dataError(e, sql(), postgres);
    if (postgres && (error.fault() == DataFault::ConnectionLost || !sql().isOpen())) {
        m_connectionLost = true;
        m_inTransaction = false; // the server has dropped it
        if (error.fault() != DataFault::ConnectionLost)
            throw DataError(faultSentence(DataFault::ConnectionLost), DataFault::ConnectionLost, error.original());
    }
    if (!postgres) {
        const QString system = systemFileErrorOf(sql(), e);
        if (!system.isEmpty())
            throw DataError(system + QStringLiteral("\r（") + rawErrorText(e) + QStringLiteral("）"), error.fault(),
                            error.original());
    }
    throw error;
}

void Database::reconnectIfLost()
{
    // Only between moves: a move cut off by the connection is gone whole on
    // the server's side, and the next one starts on a fresh connection.
    if (m_inTransaction || m_kind != Kind::PostgreSQL || (!m_connectionLost && sql().isOpen()))
        return;
    QSqlDatabase db = sql();
    db.close();
    if (db.open()) {
        m_connectionLost = false;
        QSqlQuery q(db);
        q.exec(postgresUtf8Sql());
        applyJournalStamp();
    }
}

namespace {

QString stampSettingSql()
{
    return QStringLiteral("SELECT set_config('lumaro.person', ?, false), set_config('lumaro.approver', ?, false)");
}

QString stampText(const QVariant& v)
{
    return v.isNull() || !v.isValid() ? QString(QLatin1String("")) : QString::number(v.toLongLong());
}

} // namespace

void Database::setJournalStamp(const QVariant& person, const QVariant& approver)
{
    m_person = person;
    m_approver = approver;
    applyJournalStamp();
}

void Database::applyJournalStamp()
{
    if (!sql().isOpen())
        return;
    if (m_kind == Kind::PostgreSQL) {
        exec(stampSettingSql(), {stampText(m_person), stampText(m_approver)}).finish();
        return;
    }
    // A temporary trigger: it lives and dies with this connection.
    if (m_person.isNull() && m_approver.isNull()) {
        exec(schema::sqliteDropJournalStamp()).finish();
        return;
    }
    for (const QString& statement : schema::sqliteJournalStamp(m_person, m_approver))
        exec(statement).finish();
}

QSqlQuery Database::exec(const QString& statement, const QVariantList& params)
{
    reconnectIfLost();
    QSqlQuery q(sql());
    q.setForwardOnly(true);
    // PostgreSQL cannot prepare CREATE, SET and the like: a statement without
    // values is sent as it is.
    if (params.isEmpty()) {
        if (!q.exec(statement))
            fail(q.lastError());
        return q;
    }
    // The server is sent the statement with its values written in, as the
    // driver would write them for EXECUTE: one round trip instead of three
    // (PREPARE, EXECUTE, DEALLOCATE), which matters while a move holds the
    // shop's lock and other terminals wait for it.
    if (m_kind == Kind::PostgreSQL) {
        const QString written = sql::withValues(statement, params, *sql().driver());
        if (!written.isNull()) {
            if (!q.exec(written))
                fail(q.lastError());
            return q;
        }
    }
    if (!q.prepare(statement))
        fail(q.lastError());
    for (const QVariant& p : params)
        q.addBindValue(p);
    if (!q.exec())
        fail(q.lastError());
    return q;
}

QSqlQuery Database::prepare(const QString& statement)
{
    reconnectIfLost();
    QSqlQuery q(sql());
    q.setForwardOnly(true);
    if (!q.prepare(statement))
        fail(q.lastError());
    return q;
}

void Database::run(QSqlQuery& prepared, const QVariantList& params)
{
    for (int i = 0; i < params.size(); ++i)
        prepared.bindValue(i, params[i]);
    if (!prepared.exec())
        fail(prepared.lastError());
}

QVariant Database::scalar(const QString& statement, const QVariantList& params)
{
    QSqlQuery q = exec(statement, params);
    QVariant v;
    if (q.next())
        v = q.value(0);
    q.finish();
    return v;
}

QString Database::roundedAmount(Kind kind, const QString& expression)
{
    if (kind == Kind::SQLite)
        return QStringLiteral("round(%1, 4)").arg(expression);
    return QStringLiteral("round((%1)::numeric, 4)::double precision").arg(expression);
}

std::unique_ptr<Database> Database::create(const QString& target, const std::function<void(Database&)>& fill)
{
    const bool pg = isPostgresUrl(target);
    const QString name = nextConnectionName();
    std::unique_ptr<Database> d(new Database(pg ? Kind::PostgreSQL : Kind::SQLite, target, name));
    if (pg) {
        const QSqlDatabase db = connectPostgres(name, target, QString());
        if (!db.tables().filter(schema::TeaTable).isEmpty())
            throw DataError(QStringLiteral("這個資料庫已經有商店資料，不會覆寫。"));
    } else {
        if (QFileInfo::exists(target))
            throw DataError(QStringLiteral("資料檔「%1」已經存在，不會覆寫。").arg(fullPath(target)));
        // Made owner-only before SQLite writes a byte: only the owner may read
        // the shop's money and password (SQLite gives its -wal and -shm files
        // the same mode).
        const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            if (error == EEXIST)
                throw DataError(QStringLiteral("資料檔「%1」已經存在，不會覆寫。").arg(fullPath(target)));
            throw DataError(QStringLiteral("無法建立資料檔「%1」：%2。").arg(fullPath(target), fileErrorReason(error)));
        }
        ::close(fd);
        try {
            openShopFile(name, target, QStringLiteral("無法建立資料檔"));
        } catch (...) {
            QFile::remove(target);
            throw;
        }
    }

    try {
        if (!pg)
            d->configureSQLite();
        // The whole shop in one transaction (begun here rather than through a
        // Transaction, which sits above the connection).
        d->begin();
        for (const QString& stmt : pg ? schema::postgresDdl() : schema::sqliteDdl())
            d->exec(stmt);
        if (!pg)
            d->exec(schema::sqliteSetVersionSql(schema::CurrentVersion));
        d->exec(firstAccountSql());
        if (fill)
            fill(*d);
        d->commit();
    } catch (...) {
        d->rollback();
        if (!pg) {
            d.reset();
            QFile::remove(target);
            QFile::remove(target + QStringLiteral("-wal"));
            QFile::remove(target + QStringLiteral("-shm"));
        }
        throw;
    }
    return d;
}

QList<Statement> databaseStatements(Dialect dialect)
{
    const QString m = QStringLiteral("database: ");
    QList<Statement> out = {{m + QStringLiteral("first account row"), firstAccountSql()}};
    if (dialect == Dialect::SQLite)
        out += QList<Statement>{
            {m + QStringLiteral("read only"), sqliteQueryOnlySql()},
            {m + QStringLiteral("journal mode"), kWal},
            {m + QStringLiteral("sync"), kFullSync},
            {m + QStringLiteral("no write-ahead log"), kNoWal},
            {m + QStringLiteral("objects"), kCountObjects},
            {m + QStringLiteral("version"), schema::sqliteVersionSql()},
            {m + QStringLiteral("set version"), schema::sqliteSetVersionSql(schema::CurrentVersion)},
            {m + QStringLiteral("journal stamp"), schema::sqliteJournalStamp(1, QVariant()).last()},
            {m + QStringLiteral("no journal stamp"), schema::sqliteDropJournalStamp()},
        };
    else
        out += QList<Statement>{
            {m + QStringLiteral("encoding"), postgresUtf8Sql()},
            {m + QStringLiteral("journal stamp"), stampSettingSql()},
            {m + QStringLiteral("read only"), postgresReadOnlySessionSql()},
        };
    return out;
}

} // namespace lumaro
