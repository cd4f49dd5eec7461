#include "data/Database.h"

#include "data/DataError.h"
#include "data/PostgresAddress.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QAtomicInt>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace lumaro {

namespace {

// The advisory lock every PostgreSQL transaction of the shop takes first.
constexpr qint64 MoveLockKey = 0x4c756d61726f; // "Lumaro"

// The statements of opening, creating and committing, on either database.
const QString kUtf8 = QStringLiteral("SET client_encoding TO 'UTF8'");
const QString kReadOnlySession = QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
const QString kWal = QStringLiteral("PRAGMA journal_mode=WAL");
const QString kFullSync = QStringLiteral("PRAGMA synchronous=FULL");
const QString kCountObjects = QStringLiteral("SELECT count(*) FROM sqlite_master");
const QString kBeginImmediate = QStringLiteral("BEGIN IMMEDIATE");
const QString kBegin = QStringLiteral("BEGIN");
const QString kCommit = QStringLiteral("COMMIT");
const QString kRollback = QStringLiteral("ROLLBACK");
const QString kTryMoveLock = QStringLiteral("pg_try_advisory_xact_lock");
const QString kWaitMoveLock = QStringLiteral("pg_advisory_xact_lock");

QString moveLockSql(const QString& call) { return QStringLiteral("SELECT %1(%2)").arg(call).arg(MoveLockKey); }

QString firstAccountSql()
{
    using namespace schema;
    return QStringLiteral("INSERT INTO %1 (%2, %3, %4) VALUES (1, 0, 0)")
        .arg(AccountTable, account::Id, account::Cash, account::Bank);
}

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
    return state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01") ||
           state == QLatin1String("57P02") || state == QLatin1String("57P03");
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

// The connection's own SQLite handle. Qt's driver on Debian links the system
// libsqlite3, the library Lumaro links too, so the handle may be given to it.
sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

// What the system said when a file could not be opened, when it is something
// other than a missing file: the shop owner should not go looking for a file
// that is there.
QString systemFileError(int error)
{
    switch (error) {
    case EMFILE:
    case ENFILE:
        return QStringLiteral("同時開啟的檔案太多了（%"
                              "1），無法開啟資料檔。請關閉其他程式，或請管理員提高開檔數上限（ulimit -n）後再試一次。")
            .arg(QLatin1String(error == EMFILE ? "EMFILE" : "ENFILE"));
    case ENOMEM:
        return QStringLiteral("記憶體不足，無法開啟資料檔。");
    case EACCES:
    case EPERM:
        return QStringLiteral("沒有權限開啟資料檔，請檢查資料檔與它所在資料夾的權限。");
    default:
        return QString();
    }
}

// Whether the program has run out of file handles: then nothing can be
// opened, not even the database driver's plugin, and that is what to say.
QString outOfFileHandles()
{
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return QString();
    }
    return systemFileError(errno == ENFILE ? ENFILE : errno == EMFILE ? EMFILE : 0);
}

void requireDriver(const QString& driver, const QString& missing)
{
    if (QSqlDatabase::isDriverAvailable(driver))
        return;
    const QString handles = outOfFileHandles();
    throw DataError(handles.isEmpty() ? missing : handles);
}

QString systemFileErrorOf(const QSqlDatabase& db, const QSqlError& e)
{
    sqlite3* h = sqliteHandle(db);
    const int code = e.nativeErrorCode().toInt() & 0xff;
    if (!h || (code != SQLITE_CANTOPEN && code != SQLITE_IOERR))
        return QString();
    return systemFileError(sqlite3_system_errno(h));
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
    requireDriver(QStringLiteral("QPSQL"),
                  QStringLiteral("這台電腦沒有安裝 PostgreSQL 的資料庫驅動程式（libqt6sql6-psql）。"));
    const PostgresAddress address = readPostgresAddress(target);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setDatabaseName(address.database);
    if (!address.host.isEmpty())
        db.setHostName(address.host);
    if (address.port > 0)
        db.setPort(address.port);
    if (!address.user.isEmpty())
        db.setUserName(address.user);
    if (!password.isEmpty())
        db.setPassword(password);
    db.setConnectOptions(address.options);
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
        throw DataError(QStringLiteral(
                            "無法連線到資料庫伺服器（%1）。請確認伺服器已經啟動、位址正確，而且資料庫存在。\r（%2）")
                            .arg(address.describe(), rawErrorText(db.lastError())),
                        e.fault(), e.original());
    }
    QSqlQuery(db).exec(kUtf8);
    return db;
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
// A file's full path as the owner would look for it.
QString fullPath(const QString& file) { return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()); }

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

std::function<void(bool)>& waitNotifier()
{
    static std::function<void(bool)> notify;
    return notify;
}

// Tells the program that a move waits, once it has waited half a second, and
// that the wait is over when it leaves.
class WaitNotice {
public:
    WaitNotice() { m_timer.start(); }
    ~WaitNotice()
    {
        if (m_shown && waitNotifier())
            waitNotifier()(false);
    }
    qint64 elapsed() const { return m_timer.elapsed(); }
    void check()
    {
        if (!m_shown && m_timer.elapsed() >= 500) {
            m_shown = true;
            if (waitNotifier())
                waitNotifier()(true);
        }
    }

private:
    QElapsedTimer m_timer;
    bool m_shown = false;
};

// How long a move waits for the other terminals before it gives up. With
// every waiting terminal trying again every few milliseconds, and the ones
// that have waited longest trying most often, each gets its turn within a
// second or two even when eight counters work flat out.
constexpr qint64 MoveWaitLimitMs = 120000;

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

QString fileErrorReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("沒有在這個資料夾寫入檔案的權限");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("資料夾不存在");
    case EROFS:
        return QStringLiteral("磁碟是唯讀的");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁碟空間不足");
    case ENAMETOOLONG:
        return QStringLiteral("檔名太長");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
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
        d->exec(kReadOnlySession);
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

void Database::setWaitNotifier(std::function<void(bool)> notify) { waitNotifier() = std::move(notify); }

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
        q.exec(kUtf8);
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

QString Database::roundedAmount(Kind kind, const QString& expression)
{
    if (kind == Kind::SQLite)
        return QStringLiteral("round(%1, 4)").arg(expression);
    return QStringLiteral("round((%1)::numeric, 4)::double precision").arg(expression);
}

void Database::begin()
{
    if (m_inTransaction)
        throw DataError(QStringLiteral("上一個動作還沒有完成，請稍後再試。"));
    reconnectIfLost();
    if (isSQLite())
        beginSQLite();
    else
        beginPostgres();
}

void Database::beginSQLite()
{
    // BEGIN IMMEDIATE takes the write lock at once or answers busy, and the
    // waiting is done here rather than in SQLite's busy handler. That handler
    // sleeps ever longer between tries (a tenth of a second at last), so under
    // a steady stream of moves from other terminals a waiting one kept missing
    // the moments the lock was free and gave up after its timeout. Here a
    // waiting move tries again every millisecond or two, more often the
    // longer it has waited, so the oldest waiters are the likeliest to go next.
    sqlite3* h = sqliteHandle(sql());
    struct Timeout {
        sqlite3* h;
        ~Timeout()
        {
            if (h)
                sqlite3_busy_timeout(h, 5000);
        }
    } restore{h};
    if (h)
        sqlite3_busy_timeout(h, 0);
    QSqlQuery q(sql());
    WaitNotice wait;
    while (!q.exec(kBeginImmediate)) {
        const QSqlError e = q.lastError();
        if ((e.nativeErrorCode().toInt() & 0xff) != SQLITE_BUSY || wait.elapsed() >= MoveWaitLimitMs)
            fail(e);
        wait.check();
        const qint64 waited = wait.elapsed();
        const int most = waited < 100 ? 2000 : waited < 1000 ? 1000 : 400;
        QThread::usleep(QRandomGenerator::global()->bounded(most / 4, most));
    }
    m_inTransaction = true;
}

void Database::beginPostgres()
{
    QSqlQuery q(sql());
    if (!q.exec(kBegin))
        fail(q.lastError());
    m_inTransaction = true;
    // One move at a time across terminals, as BEGIN IMMEDIATE gives on the
    // shop file. Moves lock the account row and tea rows in different orders
    // (a checkout its teas first, a purchase the cash first); two of them
    // holding one each would deadlock, and the server would end one with an
    // error the user sees. The lock goes with the transaction. A move that
    // has to wait half a second says so, then queues for the lock on the
    // server, first come first served.
    auto lock = [&](const QString& call) {
        if (!q.exec(moveLockSql(call))) {
            const QSqlError e = q.lastError();
            rollback();
            fail(e);
        }
        const bool got = q.next() && (q.value(0).isNull() || q.value(0).toBool());
        q.finish();
        return got;
    };
    WaitNotice wait;
    while (!lock(kTryMoveLock)) {
        if (wait.elapsed() >= 500) {
            wait.check();
            lock(kWaitMoveLock);
            return;
        }
        QThread::usleep(2000);
    }
}

void Database::commit()
{
    QSqlQuery q(sql());
    if (!q.exec(kCommit)) {
        const QSqlError e = q.lastError();
        rollback();
        fail(e);
    }
    m_inTransaction = false;
}

void Database::commitMove(const MoveLookup& stored)
{
    QSqlError e;
    {
        QSqlQuery q(sql());
        if (q.exec(kCommit)) {
            m_inTransaction = false;
            return;
        }
        e = q.lastError();
    }
    rollback();
    if (settleFailedMove(stored))
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
        QSqlQuery(db).exec(kUtf8);
}

bool Database::settleFailedMove(const MoveLookup& stored)
{
    try {
        // A fresh connection sees what another terminal would. On a shop file
        // that nobody else has open it also reads the write-ahead log afresh,
        // as the next start of the program would: a commit whose frames
        // reached the log counts as stored even when its sync failed.
        reopen();
        if (stored(*this))
            return true;
        if (isSQLite()) {
            // Not stored now, and it must not come back later: a log that
            // still held the failed commit's frames would bring it back at the
            // next start. A small commit written over them settles that.
            begin();
            exec(schema::sqliteSetVersionSql(scalar(schema::sqliteVersionSql()).toInt())).finish();
            commit();
        }
        return false;
    } catch (const DataError& lookup) {
        rollback();
        throw DataError(
            QStringLiteral(
                "無法確認這次的變更是否已經儲存（%1）。請重新開啟這個畫面，看看變更在不在，再決定要不要重做。")
                .arg(lookup.description().section(QLatin1Char('\r'), 0, 0)));
    }
}

void Database::rollback() noexcept
{
    QSqlQuery q(sql());
    q.exec(kRollback);
    m_inTransaction = false;
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
        Transaction t(*d);
        for (const QString& stmt : pg ? schema::postgresDdl() : schema::sqliteDdl())
            d->exec(stmt);
        if (!pg)
            d->exec(schema::sqliteSetVersionSql(schema::CurrentVersion));
        d->exec(firstAccountSql());
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

QList<Statement> databaseStatements(Database::Kind dialect)
{
    const QString m = QStringLiteral("database: ");
    QList<Statement> out = {
        {m + QStringLiteral("first account row"), firstAccountSql()},
        {m + QStringLiteral("commit"), kCommit},
        {m + QStringLiteral("rollback"), kRollback},
    };
    if (dialect == Database::Kind::SQLite)
        out += QList<Statement>{
            {m + QStringLiteral("read only"), sqliteQueryOnlySql()},
            {m + QStringLiteral("journal mode"), kWal},
            {m + QStringLiteral("sync"), kFullSync},
            {m + QStringLiteral("objects"), kCountObjects},
            {m + QStringLiteral("version"), schema::sqliteVersionSql()},
            {m + QStringLiteral("set version"), schema::sqliteSetVersionSql(schema::CurrentVersion)},
            {m + QStringLiteral("begin"), kBeginImmediate},
        };
    else
        out += QList<Statement>{
            {m + QStringLiteral("encoding"), kUtf8},
            {m + QStringLiteral("read only"), kReadOnlySession},
            {m + QStringLiteral("begin"), kBegin},
            {m + QStringLiteral("try move lock"), moveLockSql(kTryMoveLock)},
            {m + QStringLiteral("wait for move lock"), moveLockSql(kWaitMoveLock)},
        };
    return out;
}

} // namespace lumaro
