#include "data/PostgresAddress.h"

#include "data/DataError.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace lumaro {

namespace {

QString passwordRefusal()
{
    return QStringLiteral("請不要把密碼寫在資料庫位址裡；程式會詢問密碼，或使用 PostgreSQL 自己的密碼檔。");
}

enum class Value { Word, Number, Text };

struct Allowed {
    const char* key;
    Value value;
    QStringList words; // for Value::Word: the values libpq knows
};

// The libpq options a shop's address may carry. Host, port, database and
// user have their own places in the address; anything that could carry a
// password or change the session's settings (options, service) is not taken.
const QList<Allowed>& allowed()
{
    using namespace Qt::Literals::StringLiterals;
    static const QList<Allowed> list = {
        {"sslmode",
         Value::Word,
         {u"disable"_s, u"allow"_s, u"prefer"_s, u"require"_s, u"verify-ca"_s, u"verify-full"_s}},
        {"sslrootcert", Value::Text, {}},
        {"sslcert", Value::Text, {}},
        {"sslkey", Value::Text, {}},
        {"sslcrl", Value::Text, {}},
        {"passfile", Value::Text, {}},
        {"application_name", Value::Text, {}},
        {"connect_timeout", Value::Number, {}},
        {"keepalives", Value::Number, {}},
        {"keepalives_idle", Value::Number, {}},
        {"keepalives_interval", Value::Number, {}},
        {"keepalives_count", Value::Number, {}},
        {"tcp_user_timeout", Value::Number, {}},
        {"target_session_attrs",
         Value::Word,
         {u"any"_s, u"read-write"_s, u"read-only"_s, u"primary"_s, u"standby"_s, u"prefer-standby"_s}},
        {"gssencmode", Value::Word, {u"disable"_s, u"prefer"_s, u"require"_s}},
        {"channel_binding", Value::Word, {u"disable"_s, u"prefer"_s, u"require"_s}},
    };
    return list;
}

// A libpq connection string value: quoted, with \ and ' escaped. The driver
// turns every ';' of the options into a space, so a value holding one cannot
// pass unchanged and is refused before it gets here.
QString quoted(QString v)
{
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    v.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

bool plainText(const QString& v)
{
    for (const QChar c : v)
        if (c.category() == QChar::Other_Control || c == QLatin1Char(';'))
            return false;
    return true;
}

} // namespace

QString PostgresAddress::describe() const
{
    QStringList parts;
    parts << QStringLiteral("主機 %1").arg(host.isEmpty() ? QStringLiteral("本機") : host);
    parts << QStringLiteral("埠 %1").arg(port > 0 ? QString::number(port) : QStringLiteral("5432"));
    parts << QStringLiteral("資料庫「%1」").arg(database);
    if (!user.isEmpty())
        parts << QStringLiteral("使用者 %1").arg(user);
    return parts.join(QStringLiteral("、"));
}

PostgresAddress readPostgresAddress(const QString& url)
{
    const QUrl u(url);
    const QString scheme = u.scheme().toLower();
    if (!u.isValid() || (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")) ||
        u.path().size() < 2 || u.path().indexOf(QLatin1Char('/'), 1) >= 0)
        throw DataError(QStringLiteral("資料庫位址不正確：%1\r應寫成 postgresql://使用者@主機:埠/資料庫").arg(url));
    if (!u.password(QUrl::FullyDecoded).isEmpty())
        throw DataError(passwordRefusal());
    if (u.hasFragment())
        throw DataError(QStringLiteral("資料庫位址不正確：%1\r位址裡不能有「#」。").arg(url));

    PostgresAddress a;
    a.host = u.host(QUrl::FullyDecoded);
    a.port = u.port();
    a.database = u.path(QUrl::FullyDecoded).mid(1);
    a.user = u.userName(QUrl::FullyDecoded);

    QStringList options;
    QSet<QString> seen;
    const auto items = QUrlQuery(u).queryItems(QUrl::FullyDecoded);
    for (const auto& [rawKey, value] : items) {
        const QString key = rawKey.trimmed().toLower();
        if (key.contains(QLatin1String("password")))
            throw DataError(passwordRefusal());
        const Allowed* rule = nullptr;
        for (const Allowed& r : allowed())
            if (key == QLatin1String(r.key))
                rule = &r;
        if (!rule) {
            QStringList names;
            for (const Allowed& r : allowed())
                names << QLatin1String(r.key);
            throw DataError(QStringLiteral("資料庫位址裡的選項「%1」不能使用。\r可以使用的選項：%2")
                                .arg(rawKey, names.join(QStringLiteral("、"))));
        }
        if (seen.contains(key))
            throw DataError(QStringLiteral("資料庫位址裡的選項「%1」出現了兩次。").arg(rawKey));
        seen.insert(key);
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
        const bool ok = rule->value == Value::Word     ? rule->words.contains(value)
                        : rule->value == Value::Number ? digits.match(value).hasMatch()
                                                       : !value.isEmpty() && plainText(value);
        if (!ok) {
            QString text = QStringLiteral("資料庫位址裡選項「%1」的值「%2」不正確。").arg(rawKey, value);
            if (rule->value == Value::Word)
                text += QStringLiteral("\r可以是：%1").arg(rule->words.join(QStringLiteral("、")));
            else if (rule->value == Value::Number)
                text += QStringLiteral("\r應是一個整數。");
            throw DataError(text);
        }
        options << key + QLatin1Char('=') + quoted(value);
    }
    // Every session of the shop waits for its commits to reach the server's
    // disk, whatever the server's own default: an acknowledged sale is never
    // lost to a server restart.
    options << QStringLiteral("options=") + quoted(QStringLiteral("-c synchronous_commit=on"));
    a.options = options.join(QLatin1Char(';'));
    return a;
}

} // namespace lumaro
