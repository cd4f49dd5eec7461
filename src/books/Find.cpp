#include "books/Find.h"

#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QSqlQuery>

namespace lumaro::find {

namespace {

// The LIKE pattern of a text, its wildcards taken literally.
QString likeOf(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

// A LIKE pattern that finds the text itself in lower case.
QString escapedForLike(const QString& text) { return likeOf(text).toLower(); }

QString contains(const QString& text) { return QLatin1Char('%') + escapedForLike(text) + QLatin1Char('%'); }

using namespace schema;

QString folded(const QString& text) { return schema::foldedText(text); }

// The first text after every text that starts with prefix, in the order of
// code points (a null string when there is none): the numbers starting with
// prefix are those from prefix up to it.
QString pastPrefix(const QString& prefix)
{
    QList<uint> chars = prefix.toUcs4();
    while (!chars.isEmpty()) {
        uint& last = chars.last();
        if (last < 0x10FFFF) {
            last = last == 0xD7FF ? 0xE000 : last + 1;
            return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), chars.size());
        }
        chars.removeLast();
    }
    return QString();
}

// A number as the numbers' index has it: SQLite's LIKE already ignores the
// case of ASCII letters and of no other.
QString fold(Dialect d, const char* column) { return foldedName(d, statement(column)); }

// A column folded as fold() does, as the names' index on a server has it:
// PostgreSQL's lower() under the C collation changes the ASCII letters alone,
// at a fraction of what translate() costs on each name it reads.
QString quickFold(Dialect d, const char* column) { return foldedTeaName(d, statement(column)); }

QString teaMatch(Dialect d, const char* number, const char* name)
{
    return QStringLiteral("(%1 LIKE ?%3 OR %2 LIKE ?%3)").arg(quickFold(d, number), quickFold(d, name), likeEscape(d));
}

// So many teas after the one shown are looked at in turn first: a text that
// many teas match is found among them at once, whatever the index holds.
constexpr int kNearTeas = 200;
// The trigrams of the text are counted up to this many teas to choose the
// one that fewest teas' names hold.
constexpr int kFewTeas = 200;

// The first match among the next kNearTeas teas, and how many teas it looked
// at: fewer than kNearTeas are all there are. Binds: the number's pattern, the
// name's [, after].
QString nearTeaSql(Dialect d, bool after)
{
    return statement("SELECT min(CASE WHEN {3} THEN n END), count(*) FROM "
                     "(SELECT {t.number} AS n, {t.name} AS m FROM {T}{1} ORDER BY {t.number} LIMIT {2}) s",
                     {part(after, " WHERE {t.number} > ?"), QString::number(kNearTeas), teaMatch(d, "n", "m")});
}

// The first match in number order, looking at every tea in turn: for a text
// too short for the trigrams. Binds: the number's pattern, the name's [, after].
QString walkTeaSql(Dialect d, bool after)
{
    return statement("SELECT {t.number} FROM {T} WHERE {1}{2} ORDER BY {t.number} LIMIT 1",
                     {teaMatch(d, "{t.number}", "{t.name}"), part(after, " AND {t.number} > ?")});
}

// How many teas' names hold a trigram, up to kFewTeas (SQLite).
QString teaTrigramCountSql()
{
    return statement("SELECT count(*) FROM (SELECT 1 FROM {F} WHERE {n.trigram} = ? LIMIT {1}) n",
                     {QString::number(kFewTeas)});
}

// The first match through the indexes: the teas whose numbers start with the
// text, a range of the folded numbers, and those whose names hold the text.
// On SQLite the names are those filed under the text's rarest trigram (and
// the names too long for the index), walked in number order; on PostgreSQL
// pg_trgm finds the names that match the index's pattern (indexPattern) and
// each is then held to the whole one, through an expression the index does
// not cover. There the least of two subqueries is planned in a third of the
// time a UNION takes, and planning is most of what the find costs. The number
// is compared as an expression where its own index would walk the whole
// catalogue in number order instead.
// Binds on SQLite: trigram, [after,] two more trigrams, pattern, [after,] pattern, low, high [, after];
// on PostgreSQL: index's pattern, pattern [, after], low, high [, after].
QString indexedTeaSql(Dialect d, bool after)
{
    if (d == Dialect::SQLite) {
        // Two more of the text's trigrams are looked up in the index before
        // a name is read, so most names without the text are passed over there.
        const auto byName = [after](bool indexed) {
            return statement(
                "SELECT k FROM (SELECT x.{f.tea} AS k FROM {F} x JOIN {T} t ON t.{t.number} = x.{f.tea} "
                "WHERE x.{n.trigram} = {1}{2}{3} AND t.{t.name} LIKE ? ESCAPE '\\' ORDER BY x.{f.tea} LIMIT 1)",
                {indexed ? QStringLiteral("?") : QStringLiteral("''"), part(after, " AND x.{f.tea} > ?"),
                 part(indexed, " AND EXISTS (SELECT 1 FROM {F} y WHERE y.{n.trigram} = ? AND y.{f.tea} = x.{f.tea}) "
                               "AND EXISTS (SELECT 1 FROM {F} z WHERE z.{n.trigram} = ? AND z.{f.tea} = x.{f.tea})")});
        };
        return statement("SELECT min(k) FROM ({1} UNION ALL {2} UNION ALL "
                         "SELECT min(+{t.number}) FROM {T} WHERE lower({t.number}) >= ? AND lower({t.number}) < ?{3})",
                         {byName(true), byName(false), part(after, " AND {t.number} > ?")});
    }
    const QString number = fold(d, "{t.number}");
    return statement("SELECT least((SELECT min({t.number} || '') FROM {T} WHERE {1} LIKE ? AND {5} LIKE ?{2}), "
                     "(SELECT min({t.number} || '') FROM {T} WHERE {3} ~>=~ ? AND {3} ~<~ ?{4}))",
                     {quickFold(d, "{t.name}"), part(after, " AND {t.number} || '' > ?"), number,
                      part(after, " AND {t.number} > ?"), quickFold(d, "{t.name}") + QStringLiteral(" || ''")});
}

// The pattern pg_trgm is given for a text: its runs of three or more letters
// or digits in order, anything between them. pg_trgm pads each word at an
// edge the pattern gives it, and such trigrams (a word's first letters, a
// word of one or two) are in most names of a long catalogue, whose lists the
// index would read whole; the trigrams inside the runs are the rarer ones.
// A text without such a run keeps its own pattern.
QString indexPattern(const QString& text, const QString& holds)
{
    const QList<uint> chars = text.toUcs4();
    QString out = QStringLiteral("%");
    bool any = false;
    for (qsizetype i = 0; i < chars.size();) {
        qsizetype end = i;
        while (end < chars.size() && QChar::isLetterOrNumber(chars[end]))
            ++end;
        if (end - i >= CustomerIndexMinimum) {
            out +=
                QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData() + i), end - i) + QLatin1Char('%');
            any = true;
        }
        i = end == i ? i + 1 : end;
    }
    return any ? out : holds;
}

// The trigrams of the folded text, each once, the one that the fewest teas'
// names hold first (counted up to kFewTeas), then the first and last others
// (the rarest again when there are none).
QStringList trigrams(Database& db, const QString& text)
{
    const QList<uint> chars = text.toUcs4();
    QStringList all;
    for (qsizetype i = 0; i + CustomerIndexMinimum <= chars.size(); ++i) {
        const QString trigram =
            QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData() + i), CustomerIndexMinimum);
        if (!all.contains(trigram))
            all << trigram;
    }
    qsizetype rarest = 0;
    qlonglong fewest = -1;
    for (qsizetype i = 0; i < all.size() && fewest != 0; ++i) {
        const qlonglong n = db.scalar(teaTrigramCountSql(), {all[i]}).toLongLong();
        if (fewest < 0 || n < fewest) {
            rarest = i;
            fewest = n;
        }
    }
    const QString first = all.takeAt(rarest);
    return {first, all.value(0, first), all.isEmpty() ? first : all.last()};
}

// The first tea after `after` (from the first when null) whose number starts
// with the folded text or whose name holds it.
QVariant firstTea(Database& db, const QString& text, const QVariant& after)
{
    const Dialect d = db.kind();
    const bool from = !after.isNull();
    const QString pattern = likeOf(text);
    const QString starts = pattern + QLatin1Char('%');
    const QString holds = QLatin1Char('%') + pattern + QLatin1Char('%');
    const QVariantList afterParam = from ? QVariantList{after} : QVariantList{};
    QSqlQuery q = db.exec(nearTeaSql(d, from), QVariantList{starts, holds} + afterParam);
    const QVariant near = q.next() ? q.value(0) : QVariant();
    const bool seenAll = q.value(1).toLongLong() < kNearTeas;
    q.finish();
    if (!near.isNull() || seenAll)
        return near;
    const QString high = pastPrefix(text);
    // Fewer than three characters hold no trigram: every tea is looked at in
    // turn, up to the next that matches.
    if (text.toUcs4().size() < CustomerIndexMinimum || high.isNull())
        return db.scalar(walkTeaSql(d, from), QVariantList{starts, holds} + afterParam);
    QVariantList params;
    if (d == Dialect::SQLite) {
        const QStringList three = trigrams(db, text);
        params << three[0] << afterParam << three[1] << three[2] << holds << afterParam << holds;
    } else {
        params << indexPattern(text, holds) << holds << afterParam;
    }
    params << text << high << afterParam;
    return db.scalar(indexedTeaSql(d, from), params);
}

QString openOrderMatchesSql(Dialect d)
{
    return statement("SELECT {o.number} FROM {O} WHERE {o.status}=0 AND ({o.number} = ? "
                     "OR lower({o.customer}) LIKE ?{1} OR lower({o.contact}) LIKE ?{1})",
                     {likeEscape(d)});
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
    const QString wanted = folded(text.trimmed());
    if (wanted.isEmpty())
        return QVariant();
    if (after.isValid() && !after.isNull()) {
        const QVariant next = firstTea(db, wanted, QVariant(after.toString()));
        if (next.isValid() && !next.isNull())
            return next;
    }
    const QVariant first = firstTea(db, wanted, QVariant());
    return first.isNull() ? QVariant() : first;
}

QVariant nextOpenOrder(Database& db, const QString& text, const QVariant& after)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return QVariant();
    bool isNumber = false;
    const qlonglong number = wanted.toLongLong(&isNumber);
    // No order is numbered 0 or below, so a text that is no number finds none by number.
    return nextOf(db, openOrderMatchesSql(db.kind()), order::Number,
                  {isNumber ? number : qlonglong(0), contains(wanted), contains(wanted)},
                  after.isNull() ? QVariant() : QVariant(after.toLongLong()));
}

QList<Statement> statements(Database::Kind d)
{
    QList<Statement> out;
    if (d == Dialect::SQLite)
        out << Statement{QStringLiteral("find: tea trigram"), teaTrigramCountSql()};
    for (bool after : {false, true}) {
        const QString how = after ? QStringLiteral(", next") : QString();
        out << Statement{QStringLiteral("find: tea near") + how, nearTeaSql(d, after)}
            << Statement{QStringLiteral("find: tea walk") + how, walkTeaSql(d, after)}
            << Statement{QStringLiteral("find: tea indexed") + how, indexedTeaSql(d, after)}
            << Statement{QStringLiteral("find: open order") + how,
                         firstMatchSql(openOrderMatchesSql(d), order::Number, after)};
    }
    return out;
}

} // namespace lumaro::find
