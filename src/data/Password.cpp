#include "data/Password.h"

#include "data/Settings.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"

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

} // namespace

bool isPasswordHash(const QString& stored) { return stored.startsWith(QLatin1String("$argon2id$")); }

bool passwordMatches(const QVariant& stored, const QString& entered)
{
    if (!stored.isValid() || stored.isNull())
        return false;
    const QString text = stored.toString();
    if (!isPasswordHash(text))
        return text == entered;
    initSodium();
    const QByteArray hash = text.toLatin1();
    const QByteArray plain = entered.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), plain.constData(),
                                    static_cast<unsigned long long>(plain.size()))
        == 0;
}

QString hashPassword(const QString& password)
{
    initSodium();
    const QByteArray plain = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, plain.constData(), static_cast<unsigned long long>(plain.size()), OpsLimit, MemLimit)
        != 0)
        throw Failure(QStringLiteral("記憶體不足，無法加密密碼。"));
    return QString::fromLatin1(out);
}

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
    return settings::get(db, settings::key::PasswordEmpty) != QStringLiteral("0");
}

void storePassword(Database& db, const QString& password)
{
    const QString hash = hashPassword(password);
    Transaction t(db);
    const int rows = db.scalar(QStringLiteral("SELECT count(*) FROM 密碼表")).toInt();
    if (rows == 0)
        db.exec(QStringLiteral("INSERT INTO 密碼表 (密碼) VALUES (?)"), {hash}).finish();
    else
        db.exec(QStringLiteral("UPDATE 密碼表 SET 密碼 = ?"), {hash}).finish();
    notePasswordEmpty(db, password.isEmpty());
    t.commit();
}

} // namespace lumaro
