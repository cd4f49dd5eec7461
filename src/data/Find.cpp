#include "data/Find.h"

#include "data/Database.h"

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

// The first match after `after`, else the first of all.
QVariant nextOf(Database& db, const QString& select, const QString& key, QVariantList params, const QVariant& after)
{
    const QString order = QStringLiteral(" ORDER BY %1 LIMIT 1").arg(key);
    if (after.isValid() && !after.isNull()) {
        QVariantList afterParams = params;
        afterParams << after;
        const QVariant next = db.scalar(select + QStringLiteral(" AND %1 > ?").arg(key) + order, afterParams);
        if (next.isValid() && !next.isNull())
            return next;
    }
    const QVariant first = db.scalar(select + order, params);
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
    const QString select = QStringLiteral(
        "SELECT 編號 FROM 茶葉資料表 WHERE (lower(編號) LIKE ? ESCAPE '\\' OR lower(名稱) LIKE ? ESCAPE '\\')");
    return nextOf(db, select, QStringLiteral("編號"), {escapedForLike(wanted) + QLatin1Char('%'), contains(wanted)},
                  after.isNull() ? QVariant() : QVariant(after.toString()));
}

QVariant nextOpenOrder(Database& db, const QString& text, const QVariant& after)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return QVariant();
    bool isNumber = false;
    const qlonglong number = wanted.toLongLong(&isNumber);
    const QString select = QStringLiteral(
        "SELECT 訂單編號 FROM 訂單資料表 WHERE 訂單狀態=0 AND (訂單編號 = ? OR lower(客戶名稱) LIKE ? ESCAPE '\\' "
        "OR lower(連絡方式) LIKE ? ESCAPE '\\')");
    // No order is numbered 0 or below, so a text that is no number finds none by number.
    return nextOf(db, select, QStringLiteral("訂單編號"),
                  {isNumber ? number : qlonglong(0), contains(wanted), contains(wanted)},
                  after.isNull() ? QVariant() : QVariant(after.toLongLong()));
}

} // namespace lumaro::find
