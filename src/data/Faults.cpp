#include "data/Faults.h"

#include "data/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlRecord>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libpq-fe.h>
#include <unistd.h>

namespace lumaro {

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

namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

QString fullPath(const QString& file) { return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()); }

} // namespace lumaro
