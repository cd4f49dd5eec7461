#include "books/Password.h"

#include "books/Settings.h"
#include "data/Transaction.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QRegularExpression>
#include <QSqlQuery>

#include <sodium.h>

namespace lumaro {

namespace {

// libsodium must be set up once before its first use; it is safe to call from
// any thread and again after that.
void initSodium()
{
    if (sodium_init() < 0)
        throw Failure(QStringLiteral("無法啟用密碼加密功能（libsodium）。"));
}

// 19 MiB and two passes: the common minimum recommended for Argon2id. It keeps
// the lock screen's check to a few hundredths of a second on a counter PC, where
// the interactive preset (64 MiB) would cost a noticeable pause and memory.
constexpr unsigned long long OpsLimit = 2;
constexpr size_t MemLimit = size_t(19) << 20;

// What a stored hash may ask of the lock screen. The hash names its own cost,
// and a shop file can hold any hash: unbounded, one asking for 4 GiB or four
// billion passes would hang the program before it could ask for anything.
// Lumaro's own hashes ask for 19 MiB and two passes.
constexpr qulonglong MostMemoryKiB = 256 * 1024;
constexpr qulonglong MostPasses = 10;
constexpr qulonglong MostLanes = 16;

// What the lock screen makes of a stored hash: one libsodium may be given, one
// it could not read anyway (it then matches no entry, at no cost), or one whose
// parameters are out of bounds (refused, with the reason).
struct HashCost {
    bool readable = false;
    QString refusal;
};

HashCost hashCost(const QString& hash)
{
    static const QRegularExpression params(
        QStringLiteral(R"(^\$argon2id\$(?:v=\d+\$)?m=(\d+),t=(\d+),p=(\d+)\$[A-Za-z0-9+/]+\$[A-Za-z0-9+/]+$)"));
    const QRegularExpressionMatch m = params.match(hash);
    if (!m.hasMatch())
        return {};
    bool okM = false, okT = false, okP = false;
    const qulonglong memory = m.captured(1).toULongLong(&okM);
    const qulonglong passes = m.captured(2).toULongLong(&okT);
    const qulonglong lanes = m.captured(3).toULongLong(&okP);
    if (okM && okT && okP && memory <= MostMemoryKiB && passes <= MostPasses && lanes <= MostLanes)
        return {true, QString()};
    return {true,
            QStringLiteral("資料檔裡的系統密碼要求的運算量超出範圍（記憶體 %1 KiB、%2 次運算；最多 %3 KiB、%4 次），"
                           "可能不是 Lumaro 設定的密碼，程式不會驗證它。請用 lumaro-admin passwd 重新設定密碼。")
                .arg(m.captured(1), m.captured(2))
                .arg(MostMemoryKiB)
                .arg(MostPasses)};
}

// Whether the hash is one libsodium may be given; throws the refusal of a hash
// out of bounds.
bool requireBoundedCost(const QString& hash)
{
    const HashCost cost = hashCost(hash);
    if (!cost.refusal.isEmpty())
        throw DataError(cost.refusal);
    return cost.readable;
}

using namespace schema;

QString countPasswordsSql() { return statement("SELECT count(*) FROM {P}"); }
QString insertPasswordSql() { return statement("INSERT INTO {P} ({p.value}) VALUES (?)"); }
QString updatePasswordSql() { return statement("UPDATE {P} SET {p.value} = ?"); }
// The lock screen compares the entry with the table's first row.
QString readPasswordSql() { return statement("SELECT {p.value} FROM {P}"); }

} // namespace

bool isPasswordHash(const QString& stored) { return stored.startsWith(QLatin1String("$argon2id$")); }

bool passwordMatches(const QVariant& stored, const QString& entered)
{
    if (!stored.isValid() || stored.isNull())
        return false;
    const QString text = stored.toString();
    if (!isPasswordHash(text))
        return text == entered;
    if (!requireBoundedCost(text))
        return false;
    initSodium();
    const QByteArray hash = text.toLatin1();
    const QByteArray plain = entered.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), plain.constData(),
                                    static_cast<unsigned long long>(plain.size())) == 0;
}

QString hashPassword(const QString& password)
{
    initSodium();
    const QByteArray plain = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, plain.constData(), static_cast<unsigned long long>(plain.size()), OpsLimit, MemLimit) !=
        0)
        throw Failure(QStringLiteral("記憶體不足，無法加密密碼。"));
    return QString::fromLatin1(out);
}

QString emptyPasswordText() { return QStringLiteral("密碼不可空白"); }

QString noPasswordText() { return QStringLiteral("資料檔中沒有設定系統密碼。"); }

QString unlockRefusal(Database& db)
{
    QSqlQuery q = db.exec(readPasswordSql());
    if (!q.next())
        return noPasswordText();
    const QVariant stored = q.value(0);
    q.finish();
    if (stored.isNull())
        return QStringLiteral(
            "資料檔裡的系統密碼是空值，任何密碼都無法開啟系統。請用 lumaro-admin passwd 重新設定密碼。");
    const QString text = stored.toString();
    if (!isPasswordHash(text))
        return QString();
    const HashCost cost = hashCost(text);
    if (!cost.readable)
        return QStringLiteral("資料檔裡的系統密碼看起來是密碼雜湊，卻無法解讀，任何密碼都無法開啟系統。"
                              "請用 lumaro-admin passwd 重新設定密碼。");
    return cost.refusal;
}

bool isAcceptableNewPassword(const QString& password) { return !password.isEmpty(); }

void notePasswordEmpty(Database& db, bool empty)
{
    settings::set(db, settings::key::PasswordEmpty, empty ? QStringLiteral("1") : QStringLiteral("0"));
}

bool emptyEntryMayOpen(Database& db, const QVariant& stored)
{
    // Only a hash costs anything to check; a password kept as typed is
    // compared as it is.
    if (stored.isNull() || !isPasswordHash(stored.toString()))
        return true;
    // A hash out of bounds is refused here as well, before anything is asked.
    if (!requireBoundedCost(stored.toString()))
        return true;
    return settings::get(db, settings::key::PasswordEmpty) != QStringLiteral("0");
}

void storePassword(Database& db, const QString& password)
{
    if (!isAcceptableNewPassword(password))
        throw Failure(emptyPasswordText());
    const QString hash = hashPassword(password);
    Transaction t(db);
    const int rows = db.scalar(countPasswordsSql()).toInt();
    if (rows == 0)
        db.exec(insertPasswordSql(), {hash}).finish();
    else
        db.exec(updatePasswordSql(), {hash}).finish();
    notePasswordEmpty(db, password.isEmpty());
    t.commit();
}

QString storeFirstPassword(Database& db, const QString& password)
{
    const QString hash = hashPassword(password);
    db.exec(insertPasswordSql(), {hash}).finish();
    return hash;
}

void noteNewShopPassword(Database& db, const QString& password, const QString& hash)
{
    const QVariant stored = db.scalar(readPasswordSql());
    if (stored.isNull() || !isPasswordHash(stored.toString()))
        notePasswordEmpty(db, !stored.isNull() && stored.toString().isEmpty());
    else if (stored.toString() == hash)
        notePasswordEmpty(db, password.isEmpty());
}

QList<Statement> passwordStatements(Database::Kind)
{
    return {
        {QStringLiteral("password: count"), countPasswordsSql()},
        {QStringLiteral("password: insert"), insertPasswordSql()},
        {QStringLiteral("password: update"), updatePasswordSql()},
        {QStringLiteral("password: read"), readPasswordSql()},
    };
}

} // namespace lumaro
