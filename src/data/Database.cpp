#include "data/Database.h"

#include "data/DataError.h"
#include "data/Password.h"
#include "data/SampleShop.h"
#include "data/Schema.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>

#include <cerrno>
#include <vector>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <libpq-fe.h>
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

// Connection faults of PostgreSQL: SQLSTATE class 08, and the server ending
// the session (admin shutdown, crash, cannot connect now).
bool isConnectionState(const QString& state)
{
    return state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01")
        || state == QLatin1String("57P02") || state == QLatin1String("57P03");
}

// The libpq connection under a QPSQL connection, or null.
PGconn* pgConnection(const QSqlDatabase& db)
{
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "PGconn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(h.data());
}

// The server went away (restarted, network cut, connection ended by an
// administrator): everything not yet committed is gone on its side. Told by
// the error's type and SQLSTATE, or by libpq's own view of the connection
// when the driver got no answer at all.
bool connectionLost(const QSqlError& e, const QSqlDatabase& db)
{
    if (e.type() == QSqlError::ConnectionError || isConnectionState(e.nativeErrorCode()))
        return true;
    PGconn* c = pgConnection(db);
    return c && PQstatus(c) == CONNECTION_BAD;
}

DataFault sqliteFault(int code)
{
    switch (code) {
    case 2067: // SQLITE_CONSTRAINT_UNIQUE
    case 1555: // SQLITE_CONSTRAINT_PRIMARYKEY
        return DataFault::Duplicate;
    case 1299: // SQLITE_CONSTRAINT_NOTNULL
        return DataFault::MissingValue;
    case 3091: // SQLITE_CONSTRAINT_DATATYPE
        return DataFault::WrongType;
    case 275: // SQLITE_CONSTRAINT_CHECK
        return DataFault::OutOfRange;
    default:
        break;
    }
    switch (code & 0xff) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return DataFault::Busy;
    case 10: // SQLITE_IOERR
    case 13: // SQLITE_FULL
        return DataFault::Full;
    case 8: // SQLITE_READONLY
        return DataFault::ReadOnly;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return DataFault::Damaged;
    case 14: // SQLITE_CANTOPEN
        return DataFault::CannotOpen;
    default:
        return DataFault::Other;
    }
}

DataFault postgresFault(const QString& state)
{
    if (state == QLatin1String("23505"))
        return DataFault::Duplicate;
    if (state == QLatin1String("23502"))
        return DataFault::MissingValue;
    if (state == QLatin1String("22P02") || state == QLatin1String("42804"))
        return DataFault::WrongType;
    if (state == QLatin1String("22003") || state == QLatin1String("23514"))
        return DataFault::OutOfRange;
    if (state == QLatin1String("40P01") || state == QLatin1String("55P03") || state == QLatin1String("40001"))
        return DataFault::Busy;
    if (state.startsWith(QLatin1String("53")) || state.startsWith(QLatin1String("58")))
        return DataFault::Full;
    if (state == QLatin1String("25006"))
        return DataFault::ReadOnly;
    if (state.startsWith(QLatin1String("XX")))
        return DataFault::Damaged;
    if (state == QLatin1String("42P01"))
        return DataFault::MissingTable;
    if (isConnectionState(state))
        return DataFault::ConnectionLost;
    return DataFault::Other;
}

// Whether one of the shop's tables is gone; SQLite gives a missing table only
// its general error code.
bool shopTableMissing(const QSqlDatabase& db)
{
    const QStringList present = db.tables(QSql::Tables);
    for (const schema::TableDef& t : schema::tables()) {
        bool found = false;
        for (const QString& p : present)
            found = found || p.compare(t.name, Qt::CaseInsensitive) == 0;
        if (!found)
            return true;
    }
    return false;
}

DataFault classify(const QSqlError& e, const QSqlDatabase& db, bool postgres)
{
    if (postgres) {
        if (connectionLost(e, db))
            return DataFault::ConnectionLost;
        return postgresFault(e.nativeErrorCode());
    }
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    if (!ok)
        return DataFault::Other;
    if (code == 1 && db.isOpen() && shopTableMissing(db)) // SQLITE_ERROR
        return DataFault::MissingTable;
    return sqliteFault(code);
}

QString faultSentence(DataFault f)
{
    switch (f) {
    case DataFault::ConnectionLost:
        return QStringLiteral("與資料庫伺服器的連線中斷了，這次的變更沒有儲存。請確認伺服器與網路正常後再試一次。");
    case DataFault::Full:
        return QStringLiteral("磁碟已滿或無法寫入，這次的變更沒有儲存。請先清出磁碟空間再試一次。");
    case DataFault::ReadOnly:
        return QStringLiteral("資料檔是唯讀的，無法儲存變更。請檢查資料檔與它所在資料夾的權限。");
    case DataFault::Busy:
        return QStringLiteral("另一台電腦正在寫入資料，這次的變更沒有儲存。請稍後再試一次。");
    case DataFault::Damaged:
        return QStringLiteral("資料檔已損壞，或不是 Lumaro 的資料檔。");
    case DataFault::MissingTable:
        return QStringLiteral("資料檔缺少需要的資料表，可能不是 Lumaro 的資料檔，或已經損壞。");
    case DataFault::CannotOpen:
        return QStringLiteral("無法開啟資料檔：檔案或它所在的資料夾不存在或無法存取。");
    case DataFault::Duplicate:
        return QStringLiteral("資料重複：這個編號已經存在。");
    case DataFault::MissingValue:
        return QStringLiteral("有必填的欄位是空的。");
    case DataFault::WrongType:
        return QStringLiteral("數字欄位只能填數字。");
    case DataFault::OutOfRange:
        return QStringLiteral("數值超出可以記帳的範圍。");
    case DataFault::Other:
        break;
    }
    return QString();
}

// The faults a shop owner can do something about get a sentence of their own;
// the database's own text follows for whoever has to look further.
DataError dataError(const QSqlError& e, const QSqlDatabase& db, bool postgres)
{
    const QString raw = rawErrorText(e);
    const DataFault fault = classify(e, db, postgres);
    if (raw.isEmpty() && fault == DataFault::Other)
        return DataError(QStringLiteral("資料庫發生不明的錯誤。"));
    const QString sentence = faultSentence(fault);
    if (sentence.isEmpty())
        return DataError(raw, fault, raw);
    if (raw.isEmpty())
        return DataError(sentence, fault);
    return DataError(sentence + QStringLiteral("\r（") + raw + QStringLiteral("）"), fault, raw);
}

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

enum class PasswordNeed { None, Missing, Refused };

// Whether a failed connection failed for its password. The driver keeps only
// libpq's message, which libpq and the server may give in any language, so
// libpq is asked itself on a connection of the same parameters: whether the
// server wanted a password none was there for, or refused the one given
// (SQLSTATE 28P01, which libpq reports at the SQLSTATE verbosity).
PasswordNeed passwordNeed(const QSqlDatabase& db)
{
    QList<QByteArray> keys, values;
    auto add = [&](const char* key, const QString& value) {
        if (!value.isEmpty()) {
            keys << QByteArray(key);
            values << value.toUtf8();
        }
    };
    add("host", db.hostName());
    add("port", db.port() > 0 ? QString::number(db.port()) : QString());
    add("dbname", db.databaseName());
    add("user", db.userName());
    add("password", db.password());
    for (const QString& option : db.connectOptions().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = option.section(QLatin1Char('='), 0, 0).trimmed();
        if (key != QLatin1String("password"))
            add(key.toUtf8().constData(), option.section(QLatin1Char('='), 1).trimmed());
    }
    std::vector<const char*> kw, val;
    for (int i = 0; i < keys.size(); ++i) {
        kw.push_back(keys[i].constData());
        val.push_back(values[i].constData());
    }
    kw.push_back(nullptr);
    val.push_back(nullptr);

    PGconn* c = PQconnectStartParams(kw.data(), val.data(), 0);
    if (!c)
        return PasswordNeed::None;
    PQsetErrorVerbosity(c, PQERRORS_SQLSTATE);
    PostgresPollingStatusType st = PGRES_POLLING_WRITING;
    while (PQstatus(c) != CONNECTION_BAD && st != PGRES_POLLING_OK && st != PGRES_POLLING_FAILED) {
        pollfd p{PQsocket(c), short(st == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (p.fd < 0 || ::poll(&p, 1, 30000) <= 0)
            break;
        st = PQconnectPoll(c);
    }
    PasswordNeed need = PasswordNeed::None;
    if (PQstatus(c) == CONNECTION_BAD) {
        static const QRegularExpression invalidPassword(QStringLiteral("\\b28P01\\b"));
        if (PQconnectionNeedsPassword(c))
            need = PasswordNeed::Missing;
        else if (invalidPassword.match(QString::fromUtf8(PQerrorMessage(c))).hasMatch())
            need = PasswordNeed::Refused;
    }
    PQfinish(c);
    return need;
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
        const DataError e = dataError(db.lastError(), db, true);
        switch (passwordNeed(db)) {
        case PasswordNeed::Missing:
            throw ServerPasswordError(QStringLiteral("資料庫伺服器要求輸入密碼。"));
        case PasswordNeed::Refused:
            throw ServerPasswordError(QStringLiteral("資料庫伺服器不接受這個密碼。"));
        case PasswordNeed::None:
            break;
        }
        throw DataError(QStringLiteral("無法連線到資料庫：%1").arg(e.description()), e.fault(), e.original());
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
    if (!db.open()) {
        const DataError e = dataError(db.lastError(), db, false);
        throw DataError(QStringLiteral("%1 %2：%3").arg(failure, target, e.description()), e.fault(), e.original());
    }
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
        d->configureSQLite();
    } catch (const DataError& e) {
        if (e.fault() == DataFault::Damaged) {
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
    exec(QStringLiteral("PRAGMA foreign_keys=ON"));
}

void Database::checkShopTables()
{
    const QStringList present = sql().tables(QSql::Tables);
    for (const schema::TableDef& t : schema::tables()) {
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
    DataError error = dataError(e, sql(), postgres);
    if (postgres && (error.fault() == DataFault::ConnectionLost || !sql().isOpen())) {
        m_connectionLost = true;
        m_inTransaction = false; // the server has dropped it
        if (error.fault() != DataFault::ConnectionLost)
            throw DataError(faultSentence(DataFault::ConnectionLost), DataFault::ConnectionLost, error.original());
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
        return QStringLiteral("round(%1, 9)").arg(expression);
    return QStringLiteral("round((%1)::numeric, 9)::double precision").arg(expression);
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
        d->exec(QStringLiteral("INSERT INTO 帳款資料表 (帳號, 現金, 銀行) VALUES (1, 0, 0)"));
        // Only a hash of the password is kept in the shop.
        d->exec(QStringLiteral("INSERT INTO 密碼表 (密碼) VALUES (?)"), {hashPassword(password)});
        if (fill)
            fill(*d);
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
