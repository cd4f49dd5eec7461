#include "data/Database.h"

#include "data/DataError.h"
#include "data/Books.h"
#include "data/Password.h"
#include "data/SampleShop.h"
#include "data/Schema.h"
#include "data/Upgrade.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>

#include <cerrno>
#include <initializer_list>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lumaro {

namespace {

// The advisory lock every PostgreSQL transaction of the shop takes first.
constexpr qint64 MoveLockKey = 0x4c756d61726f; // "Lumaro"

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("lumaro-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString rawErrorText(const QSqlError& e)
{
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.text().trimmed();
    // PostgreSQL adds lines with the driver's prepared statement and a caret
    // under it: noise to the shop owner, and different for every statement.
    if (t.startsWith(QLatin1String("ERROR:")) || t.startsWith(QLatin1String("FATAL:"))) {
        t = t.section(QLatin1Char('\n'), 0, 0).mid(6).trimmed();
    }
    return t;
}

bool mentions(const QString& text, std::initializer_list<const char*> phrases)
{
    for (const char* p : phrases)
        if (text.contains(QLatin1String(p), Qt::CaseInsensitive))
            return true;
    return false;
}

// The server went away (restarted, network cut, connection ended by an
// administrator): everything not yet committed is gone on its side.
bool connectionLost(const QSqlError& e, bool postgres)
{
    if (!postgres)
        return false;
    return e.type() == QSqlError::ConnectionError
        || mentions(rawErrorText(e), {"server closed the connection", "no connection to the server",
                                      "terminating connection", "connection to server", "could not send data",
                                      "could not receive data", "SSL connection has been closed"});
}

// The faults a shop owner can do something about get a sentence of their own;
// the database's own text follows for whoever has to look further.
QString errorText(const QSqlError& e, bool postgres)
{
    const QString raw = rawErrorText(e);
    if (raw.isEmpty())
        return QStringLiteral("資料庫發生不明的錯誤。");
    QString sentence;
    if (connectionLost(e, postgres))
        sentence = QStringLiteral("與資料庫伺服器的連線中斷了，這次的變更沒有儲存。請確認伺服器與網路正常後再試一次。");
    else if (mentions(raw, {"database or disk is full", "disk I/O error", "No space left on device",
                            "could not extend file", "could not write"}))
        sentence = QStringLiteral("磁碟已滿或無法寫入，這次的變更沒有儲存。請先清出磁碟空間再試一次。");
    else if (mentions(raw, {"readonly database", "read-only", "read only"}))
        sentence = QStringLiteral("資料檔是唯讀的，無法儲存變更。請檢查資料檔與它所在資料夾的權限。");
    else if (mentions(raw, {"database is locked", "database table is locked", "database is busy"}))
        sentence = QStringLiteral("另一台電腦正在寫入資料，這次的變更沒有儲存。請稍後再試一次。");
    else if (mentions(raw, {"file is not a database", "malformed", "corrupt"}))
        sentence = QStringLiteral("資料檔已損壞，或不是 Lumaro 的資料檔。");
    else if (mentions(raw, {"no such table", "does not exist"}) && mentions(raw, {"table", "relation"}))
        sentence = QStringLiteral("資料檔缺少需要的資料表，可能不是 Lumaro 的資料檔，或已經損壞。");
    else if (mentions(raw, {"unable to open database file"}))
        sentence = QStringLiteral("無法開啟資料檔：檔案或它所在的資料夾不存在或無法存取。");
    if (sentence.isEmpty())
        return raw;
    return sentence + QStringLiteral("\r（") + raw + QStringLiteral("）");
}

bool looksDamaged(const QString& text) { return mentions(text, {"not a database", "malformed", "corrupt"}); }

void configurePostgres(QSqlDatabase& db, const QString& target, const QString& password)
{
    QUrl url(target);
    if (!url.isValid() || url.path().size() < 2)
        throw DataError(QStringLiteral("資料庫位址不正確：%1").arg(target));
    if (!url.password().isEmpty())
        throw DataError(QStringLiteral("請不要把密碼寫在資料庫位址裡；程式會詢問密碼，或使用 PostgreSQL 自己的密碼檔。"));
    db.setDatabaseName(url.path().mid(1));
    if (!url.host().isEmpty())
        db.setHostName(url.host());
    if (url.port() > 0)
        db.setPort(url.port());
    if (!url.userName().isEmpty())
        db.setUserName(url.userName());
    if (!password.isEmpty())
        db.setPassword(password);
    QStringList options;
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto& [k, v] : items)
        options << k + QLatin1Char('=') + v;
    if (!options.isEmpty())
        db.setConnectOptions(options.join(QLatin1Char(';')));
}

// Connects to the server named by target. A server that wants a password it
// did not get (or did not accept) is told apart, so the program can ask.
QSqlDatabase connectPostgres(const QString& name, const QString& target, const QString& password)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        throw DataError(QStringLiteral("這台電腦沒有安裝 PostgreSQL 的資料庫驅動程式（libqt6sql6-psql）。"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    configurePostgres(db, target, password);
    if (!db.open()) {
        const QString text = errorText(db.lastError(), true);
        if (text.contains(QLatin1String("no password supplied"))
            || text.contains(QLatin1String("password authentication failed")))
            throw ServerPasswordError(password.isEmpty() ? QStringLiteral("資料庫伺服器要求輸入密碼。")
                                                         : QStringLiteral("資料庫伺服器不接受這個密碼。"));
        throw DataError(QStringLiteral("無法連線到資料庫：%1").arg(text));
    }
    QSqlQuery(db).exec(QStringLiteral("SET client_encoding TO 'UTF8'"));
    return db;
}

// Opens the SQLite file at target (which must already exist: SQLite would
// otherwise create it) with the busy timeout every connection of the shop
// uses. failure introduces the message when the file cannot be opened.
void openShopFile(const QString& name, const QString& target, const QString& failure)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        throw DataError(QStringLiteral("這台電腦沒有安裝 SQLite 的資料庫驅動程式（libqt6sql6-sqlite）。"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(target);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        throw DataError(QStringLiteral("%1 %2：%3").arg(failure, target, errorText(db.lastError(), false)));
}

} // namespace

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
    return target.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || target.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
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

std::unique_ptr<Database> Database::open(const QString& target, const QString& password)
{
    const QString name = nextConnectionName();
    if (isPostgresUrl(target)) {
        std::unique_ptr<Database> d(new Database(Kind::PostgreSQL, target, name));
        connectPostgres(name, target, password);
        d->checkShopTables();
        upgrade::refuseNewer(*d);
        return d;
    }

    QFileInfo info(target);
    if (!info.exists())
        throw DataError(QStringLiteral("找不到資料檔：%1").arg(target));
    if (!info.isFile())
        throw DataError(QStringLiteral("「%1」不是資料檔。").arg(target));
    std::unique_ptr<Database> d(new Database(Kind::SQLite, target, name));
    openShopFile(name, target, QStringLiteral("無法開啟資料檔"));
    try {
        // Tables first: switching the journal writes to the file, and a file
        // that is not a shop must be left exactly as it was.
        d->checkShopTables();
        upgrade::refuseNewer(*d);
        d->configureSQLite();
    } catch (const DataError& e) {
        if (looksDamaged(e.description())) {
            const QString detail = e.description().section(QLatin1Char('\r'), -1);
            throw DataError(QStringLiteral("「%1」不是 Lumaro 的資料檔，或資料檔已損壞。\r%2").arg(target, detail));
        }
        throw;
    }
    return d;
}

void Database::configureSQLite()
{
    // WAL lets a backup or a second terminal read while the counter writes;
    // FULL sync makes a committed money move survive a power cut.
    const QString mode = scalar(QStringLiteral("PRAGMA journal_mode=WAL")).toString();
    if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        throw DataError(QStringLiteral("資料檔「%1」無法寫入：檔案或它所在的資料夾是唯讀的。").arg(m_target));
    }
    exec(QStringLiteral("PRAGMA synchronous=FULL"));
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
                scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"));
            throw DataError(QStringLiteral("資料檔缺少資料表「%1」，可能不是 Lumaro 的資料檔。").arg(t.name));
        }
        const QSqlRecord rec = sql().record(t.name);
        if (rec.count() < t.columns.size())
            throw DataError(QStringLiteral("資料表「%1」的欄位不完整，應有 %2 個欄位。").arg(t.name).arg(t.columns.size()));
    }
}

void Database::fail(const QSqlError& e)
{
    // The PostgreSQL driver closes a connection the server ended, sometimes
    // with no error text at all.
    const bool postgres = m_kind == Kind::PostgreSQL;
    if (postgres && (connectionLost(e, true) || !sql().isOpen())) {
        m_connectionLost = true;
        m_inTransaction = false; // the server has dropped it
        if (!connectionLost(e, true))
            throw DataError(QStringLiteral("與資料庫伺服器的連線中斷了，這次的變更沒有儲存。請確認伺服器與網路正常後再試一次。"));
    }
    throw DataError(errorText(e, postgres));
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
        q.exec(QStringLiteral("SET client_encoding TO 'UTF8'"));
    }
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

QString Database::roundedAmount(const QString& expression) const
{
    if (isSQLite())
        return QStringLiteral("round(%1, 4)").arg(expression);
    return QStringLiteral("round((%1)::numeric, 4)::double precision").arg(expression);
}

void Database::begin()
{
    if (m_inTransaction)
        throw DataError(QStringLiteral("上一個動作還沒有完成，請稍後再試。"));
    reconnectIfLost();
    QSqlQuery q(sql());
    const QString stmt = isSQLite() ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
    if (!q.exec(stmt))
        fail(q.lastError());
    m_inTransaction = true;
    if (m_kind == Kind::PostgreSQL) {
        // One move at a time across terminals, as BEGIN IMMEDIATE gives on the
        // shop file. Moves lock the account row and tea rows in different
        // orders (a checkout its teas first, a purchase the cash first); two
        // of them holding one each would deadlock, and the server would end
        // one with an error the user sees. The lock goes with the transaction.
        if (!q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(MoveLockKey))) {
            const QSqlError e = q.lastError();
            rollback();
            fail(e);
        }
        q.finish();
    }
}

void Database::commit()
{
    QSqlQuery q(sql());
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const QSqlError e = q.lastError();
        rollback();
        fail(e);
    }
    m_inTransaction = false;
}

void Database::commitMove(const QString& moveId)
{
    QSqlError e;
    {
        QSqlQuery q(sql());
        if (q.exec(QStringLiteral("COMMIT"))) {
            m_inTransaction = false;
            return;
        }
        e = q.lastError();
    }
    rollback();
    if (settleFailedMove(moveId))
        return;
    fail(e);
}

void Database::reopen()
{
    QSqlDatabase db = sql();
    db.close();
    if (!db.open())
        fail(db.lastError());
    m_connectionLost = false;
    if (isSQLite())
        configureSQLite();
    else
        QSqlQuery(db).exec(QStringLiteral("SET client_encoding TO 'UTF8'"));
}

bool Database::settleFailedMove(const QString& moveId)
{
    try {
        // A fresh connection sees what another terminal would. On a shop file
        // that nobody else has open it also reads the write-ahead log afresh,
        // as the next start of the program would: a commit whose frames
        // reached the log counts as stored even when its sync failed.
        reopen();
        if (books::moveStored(*this, moveId))
            return true;
        if (isSQLite()) {
            // Not stored now, and it must not come back later: a log that
            // still held the failed commit's frames would bring it back at the
            // next start. A small commit written over them settles that.
            begin();
            exec(QStringLiteral("PRAGMA user_version = %1").arg(scalar(QStringLiteral("PRAGMA user_version")).toInt()))
                .finish();
            commit();
        }
        return false;
    } catch (const DataError& lookup) {
        rollback();
        throw DataError(QStringLiteral("無法確認這次的變更是否已經儲存（%1）。請重新開啟這個畫面，看看變更在不在，再決定要不要重做。")
                            .arg(lookup.description().section(QLatin1Char('\r'), 0, 0)));
    }
}

void Database::rollback() noexcept
{
    QSqlQuery q(sql());
    q.exec(QStringLiteral("ROLLBACK"));
    m_inTransaction = false;
}

std::unique_ptr<Database> Database::create(const QString& target, const QString& password, bool sample)
{
    return create(target, password, sample ? std::function<void(Database&)>(fillSampleShop) : nullptr);
}

std::unique_ptr<Database> Database::create(const QString& target, const QString& password,
                                           const std::function<void(Database&)>& fill)
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
            throw DataError(QStringLiteral("資料檔「%1」已經存在，不會覆寫。").arg(target));
        // Made owner-only before SQLite writes a byte: only the owner may read
        // the shop's money and password (SQLite gives its -wal and -shm files
        // the same mode).
        const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            if (error == EEXIST)
                throw DataError(QStringLiteral("資料檔「%1」已經存在，不會覆寫。").arg(target));
            throw DataError(QStringLiteral("無法建立資料檔 %1：%2").arg(target, QString::fromLocal8Bit(std::strerror(error))));
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
        Transaction t(*d);
        for (const QString& stmt : pg ? schema::postgresDdl() : schema::sqliteDdl())
            d->exec(stmt);
        if (!pg)
            d->exec(QStringLiteral("PRAGMA user_version = %1").arg(schema::CurrentVersion));
        d->exec(QStringLiteral("INSERT INTO 帳款資料表 (帳號, 現金, 銀行) VALUES (1, 0, 0)"));
        // Only a hash of the password is kept in the shop.
        const QString hash = hashPassword(password);
        d->exec(QStringLiteral("INSERT INTO 密碼表 (密碼) VALUES (?)"), {hash});
        if (fill)
            fill(*d);
        // Whether the password is empty, as the lock screen will want to know
        // first: the one given, unless the fill brought its own (an imported
        // shop's password, kept as it was typed).
        const QVariant stored = d->scalar(QStringLiteral("SELECT 密碼 FROM 密碼表"));
        if (stored.isNull() || !isPasswordHash(stored.toString()))
            notePasswordEmpty(*d, !stored.isNull() && stored.toString().isEmpty());
        else if (stored.toString() == hash)
            notePasswordEmpty(*d, password.isEmpty());
        // The books open on the balances the shop starts with (an imported
        // shop's; its teas journaled their stock as they were added).
        books::recordOpening(*d, QStringLiteral("新商店的期初餘額"), false);
        t.commit();
    } catch (...) {
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

} // namespace lumaro
