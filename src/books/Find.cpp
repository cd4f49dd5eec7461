#include "books/Find.h"

#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

namespace lumaro::find {

namespace {

// A LIKE pattern that finds the text itself: its % and _ are no wildcards.
QString escapedForLike(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out.toLower();
}

QString contains(const QString& text) { return QLatin1Char('%') + escapedForLike(text) + QLatin1Char('%'); }

using namespace schema;

QString teaMatchesSql()
{
    return statement("SELECT {t.number} FROM {T} WHERE (lower({t.number}) LIKE ? ESCAPE '\\' OR lower({t.name}) LIKE ? "
                     "ESCAPE '\\')");
}

QString openOrderMatchesSql()
{
    return statement("SELECT {o.number} FROM {O} WHERE {o.status}=0 AND ({o.number} = ? "
                     "OR lower({o.customer}) LIKE ? ESCAPE '\\' OR lower({o.contact}) LIKE ? ESCAPE '\\')");
}

// The first match of select in key order, after the key given when after.
QString firstMatchSql(const QString& select, const QString& key, bool after)
{
    return select + part(after, " AND {1} > ?", {key}) + statement(" ORDER BY {1} LIMIT 1", {key});
}

// The first match after `after`, else the first of all.
QVariant nextOf(Database& db, const QString& select, const QString& key, QVariantList params, const QVariant& after)
{
    if (after.isValid() && !after.isNull()) {
        QVariantList afterParams = params;
        afterParams << after;
        const QVariant next = db.scalar(firstMatchSql(select, key, true), afterParams);
        if (next.isValid() && !next.isNull())
            return next;
    }
    const QVariant first = db.scalar(firstMatchSql(select, key, false), params);
    return first.isNull() ? QVariant() : first;
}

} // namespace

QString teaHint() { return QStringLiteral("編號或名稱"); }

QString openOrderHint() { return QStringLiteral("訂單編號、客戶名稱或連絡方式"); }

QVariant nextTea(Database& db, const QString& text, const QVariant& after)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return QVariant();
    return nextOf(db, teaMatchesSql(), tea::Number,
                  {QString(escapedForLike(wanted) + QLatin1Char('%')), contains(wanted)},
                  after.isNull() ? QVariant() : QVariant(after.toString()));
}

QVariant nextOpenOrder(Database& db, const QString& text, const QVariant& after)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return QVariant();
    bool isNumber = false;
    const qlonglong number = wanted.toLongLong(&isNumber);
    // No order is numbered 0 or below, so a text that is no number finds none by number.
    return nextOf(db, openOrderMatchesSql(), order::Number,
                  {isNumber ? number : qlonglong(0), contains(wanted), contains(wanted)},
                  after.isNull() ? QVariant() : QVariant(after.toLongLong()));
}

QList<Statement> statements(Database::Kind)
{
    QList<Statement> out;
    for (bool after : {false, true}) {
        const QString how = after ? QStringLiteral(", next") : QString();
        out << Statement{QStringLiteral("find: tea") + how, firstMatchSql(teaMatchesSql(), tea::Number, after)}
            << Statement{QStringLiteral("find: open order") + how,
                         firstMatchSql(openOrderMatchesSql(), order::Number, after)};
    }
    return out;
}

} // namespace lumaro::find
