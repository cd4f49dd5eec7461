#include "books/StockCount.h"

#include "base/Csv.h"
#include "base/DisplayText.h"
#include "base/Numbers.h"
#include "books/Kinds.h"
#include "books/Moves.h"
#include "books/Reports.h"
#include "data/Database.h"
#include "data/Schema.h"

#include <QHash>
#include <QMap>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace lumaro::stock {

namespace {

using namespace schema;

QString bookStockSql()
{
    return statement("SELECT {t.number}, {t.name}, {t.stock}, {t.cost}, {1} FROM {T} ORDER BY {t.number}",
                     {unitOfTea(statement("{T}.{t.number}"))});
}

QString teaSql()
{
    return statement("SELECT {t.number}, {t.name}, {t.stock}, {t.cost}, {1} FROM {T} WHERE {t.number} = ?",
                     {unitOfTea(statement("{T}.{t.number}"))});
}

// Only the stock changed by hand with a reason: a cash count is a 調整 too,
// and so are the catalogue's own rows of a tea deleted or its stock edited,
// which are no loss.
QString lossRowsSql()
{
    return statement("SELECT {j.time}, {j.tea}, {j.teaName}, {j.stock}, {j.price}, {j.unit}, {j.reason} FROM {J} "
                     "WHERE {j.time} >= ? AND {j.time} < ? AND {j.kind} = {k.adjustment} AND {j.tea} IS NOT NULL "
                     "AND {j.reason} IS NOT NULL ORDER BY {j.time}, {j.id}");
}

BookStock readTea(const QSqlQuery& q)
{
    BookStock s;
    s.tea = q.value(0).toString();
    s.name = q.value(1).toString();
    const QVariant stored = q.value(2);
    if (stored.isNull() || isShopNumber(stored.toDouble()))
        s.stock = Money::fromStored(stored);
    s.cost = q.value(3);
    s.unit = q.value(4).isNull() ? QString() : q.value(4).toString();
    return s;
}

QString unitName(const QString& stored)
{
    const units::Unit* u = units::fromStored(stored);
    return u ? u->name : stored;
}

QString teaLabel(const QString& tea, const QString& name)
{
    return name.isEmpty() ? tea : QString(tea + QLatin1Char(' ') + name);
}

QString goneText(const QString& tea, const QString& name)
{
    return QStringLiteral("找不到茶葉「%1」，它可能已被刪除。").arg(teaLabel(tea, name));
}

void requireReason(const QString& reason)
{
    if (!moves::reason::all().contains(reason))
        throw MoveRefused(QStringLiteral("原因「%1」不是可以選的原因：請選 %2。")
                              .arg(reason, moves::reason::all().join(QStringLiteral("、"))));
}

// A stock that no move can be worked out on (infinity, text): named, never
// counted over.
[[noreturn]] void badStock(const BookStock& s, const QVariant& stored = {})
{
    throw MoveRefused(QStringLiteral("「%1」的庫存不是可以計算的數值%2，請先用 lumaro-admin check 檢查資料檔。")
                          .arg(teaLabel(s.tea, s.name),
                               stored.isNull() ? QString() : QStringLiteral("（%1）").arg(displayText(stored))));
}

} // namespace

QList<Statement> statements(Dialect)
{
    return {
        {QStringLiteral("stock: book stock"), bookStockSql()},
        {QStringLiteral("stock: tea"), teaSql()},
        {QStringLiteral("stock: loss rows"), lossRowsSql()},
    };
}

QList<BookStock> bookStock(Database& db)
{
    QList<BookStock> out;
    QSqlQuery q = db.exec(bookStockSql());
    while (q.next())
        out << readTea(q);
    q.finish();
    return out;
}

books::Entry stockAdjustment(const BookStock& tea, Money change, const QString& reason, const QString& note)
{
    if (!tea.cost.isNull() && !isShopNumber(tea.cost.toDouble()))
        throw MoveRefused(QStringLiteral("「%1」的進價不是可以計算的數值（%2），請先在「編輯茶葉種類」改正進價。")
                              .arg(teaLabel(tea.tea, tea.name), displayText(tea.cost)));
    books::Entry e;
    e.tea = tea.tea;
    e.teaName = tea.name;
    e.stock = change;
    e.unitPrice = tea.cost.isNull() ? QVariant() : QVariant(Money::fromStored(tea.cost).toDouble());
    e.unit = tea.unit;
    e.reason = reason;
    e.note = note;
    return e;
}

units::Reading readCounted(const QString& text, const units::Unit& unit)
{
    units::Reading r = units::readExact(text, unit);
    if (!r.ok())
        return r;
    if (r.value < 0)
        r.refusal = QStringLiteral("盤點數量不可為負數：「%1」。").arg(text.trimmed());
    else if (unit.measure == units::Measure::Count && r.value != std::floor(r.value))
        r.refusal = QStringLiteral("這種茶葉以%1計，盤點數量必須是整數：「%2」不是。").arg(unit.name, text.trimmed());
    if (!r.ok())
        r.value = 0;
    return r;
}

namespace {

QString movedText(const QList<StockMoved::Moved>& moved)
{
    QStringList lines;
    for (const StockMoved::Moved& m : moved)
        lines << (m.now ? QStringLiteral("%1：帳面庫存從 %2 變成 %3")
                              .arg(teaLabel(m.tea, m.name), m.seen.toString(), m.now->toString())
                        : QStringLiteral("%1：已被刪除").arg(teaLabel(m.tea, m.name)));
    return QStringLiteral("下列茶葉的帳面庫存在顯示後變動了（可能是另一台電腦賣出或進貨）：\r%1\r"
                          "這次盤點一筆都沒有存下。請核對新的帳面庫存後再過帳。")
        .arg(lines.join(QChar(13)));
}

} // namespace

StockMoved::StockMoved(QList<Moved> teas)
    : MoveRefused(movedText(teas), QStringLiteral("盤點庫存")), m_moved(std::move(teas))
{
}

QList<Posted> postCount(Database& db, const QList<Count>& counts, const QString& note, const QString& moveId)
{
    for (const Count& c : counts) {
        if (!c.reason.isEmpty())
            requireReason(c.reason);
        if (c.counted < Money())
            throw MoveRefused(QStringLiteral("「%1」的盤點數量不可為負數。").arg(teaLabel(c.tea, c.name)));
    }
    QList<Posted> posted;
    moves::run(db,
               {moves::kind::Adjustment,
                [&](moves::Plan& p) {
                    posted.clear();
                    // Read after the move has its lock: a sale another terminal
                    // stored a moment ago shows here.
                    QHash<QString, BookStock> now;
                    for (BookStock& s : bookStock(db))
                        now.insert(s.tea, std::move(s));
                    QList<StockMoved::Moved> moved;
                    for (const Count& c : counts) {
                        const auto it = now.constFind(c.tea);
                        if (it == now.constEnd())
                            moved << StockMoved::Moved{c.tea, c.name, c.seen, std::nullopt};
                        else if (!it->stock)
                            badStock(*it);
                        else if (*it->stock != c.seen)
                            moved << StockMoved::Moved{c.tea, it->name, c.seen, *it->stock};
                    }
                    if (!moved.isEmpty())
                        throw StockMoved(moved);
                    for (const Count& c : counts) {
                        const BookStock& s = now[c.tea];
                        const Money change = c.counted - *s.stock;
                        if (change == Money())
                            continue;
                        p.add(stockAdjustment(s, change, c.reason.isEmpty() ? moves::reason::Counted : c.reason, note));
                        posted << Posted{c.tea, change};
                    }
                    // Deleted between the read above and the stock's update:
                    // only the catalogue deletes without the move's lock.
                    p.onTeaGone([] {
                        throw MoveRefused(QStringLiteral("過帳時有茶葉被刪除了，這次盤點一筆都沒有存下。"
                                                         "請按「重新整理」後再過帳。"),
                                          QStringLiteral("盤點庫存"));
                    });
                }},
               moveId);
    return posted;
}

void writeOff(Database& db, const QString& tea, Money quantity, const QString& reason, const QString& note,
              const QString& moveId)
{
    if (tea.isEmpty())
        throw MoveRefused(money::chooseTeaFirstText());
    requireReason(reason);
    if (quantity <= Money())
        throw MoveRefused(QStringLiteral("報廢數量必須大於 0。"), QStringLiteral("報廢"));
    moves::run(db,
               {moves::kind::Adjustment,
                [&](moves::Plan& p) {
                    QSqlQuery q = db.exec(teaSql(), {tea});
                    if (!q.next())
                        throw MoveRefused(goneText(tea, QString()), QStringLiteral("報廢"));
                    const BookStock s = readTea(q);
                    const QVariant stored = q.value(2);
                    q.finish();
                    if (!s.stock)
                        badStock(s, stored);
                    if (*s.stock < quantity) {
                        const QString unit = unitName(s.unit);
                        throw MoveRefused(QStringLiteral("「%1」帳上只有 %2%3，不能報廢 %4%3。\r"
                                                         "帳上庫存不對時，請先用「盤點庫存」改正。")
                                              .arg(teaLabel(s.tea, s.name), s.stock->toString(), unit,
                                                   quantity.toString()),
                                          QStringLiteral("報廢"));
                    }
                    p.add(stockAdjustment(s, -quantity, reason, note));
                    p.onTeaGone(
                        [&tea, name = s.name] { throw MoveRefused(goneText(tea, name), QStringLiteral("報廢")); });
                }},
               moveId);
}

namespace {

// A journal row's quantity as the report shows it: kilograms for a weight,
// the tea's own unit for a count.
std::pair<double, QString> reportQuantity(Money stock, const QString& storedUnit)
{
    const units::Unit* u = units::fromStored(storedUnit);
    if (!u)
        return {stock.toDouble(), storedUnit};
    if (u->measure == units::Measure::Count)
        return {stock.toDouble(), u->name};
    const double kg = stock.toDouble() * double(u->decigrams) / double(units::kilogram().decigrams);
    return {kg, units::kilogram().name};
}

} // namespace

QList<Loss> losses(Database& db, const QDate& from, const QDate& to)
{
    const QDate first(from.year(), from.month(), 1);
    const QDate end = QDate(to.year(), to.month(), 1).addMonths(1);
    struct Sum {
        QString name;
        double quantity = 0;
        Money cost;
    };
    using Key = std::tuple<QDate, QString, int, QString, QString>; // month, tea, reason's place, reason, unit
    QMap<Key, Sum> sums;
    QSqlQuery q =
        db.exec(lossRowsSql(), {reports::journalTime(first.startOfDay()), reports::journalTime(end.startOfDay())});
    while (q.next()) {
        const QDate day = reports::localTime(q.value(0).toString()).date();
        if (day < first || day >= end)
            continue;
        const QVariant storedStock = q.value(3), price = q.value(4);
        if (!isShopNumber(storedStock.toDouble()) || (!price.isNull() && !isShopNumber(price.toDouble())))
            continue; // a number planted by another tool; the check names it
        const Money stock = Money::fromStored(storedStock);
        const QString reason = q.value(6).toString();
        const qsizetype place = moves::reason::all().indexOf(reason);
        const auto [quantity, unit] = reportQuantity(stock, q.value(5).toString());
        Sum& s = sums[Key{QDate(day.year(), day.month(), 1), q.value(1).toString(),
                          place < 0 ? int(moves::reason::all().size()) : int(place), reason, unit}];
        s.name = q.value(2).toString();
        s.quantity -= quantity;
        s.cost += Money::fromStored(price) * -stock;
    }
    q.finish();
    QList<Loss> out;
    for (auto it = sums.cbegin(); it != sums.cend(); ++it) {
        const auto& [month, tea, place, reason, unit] = it.key();
        (void)place;
        out << Loss{month, tea, it->name, reason, std::round(it->quantity * 1e6) / 1e6, unit, it->cost};
    }
    return out;
}

qint64 exportLosses(Database& db, CsvFile& out, const QDate& from, const QDate& to)
{
    out.row({QStringLiteral("月份"), QStringLiteral("編號"), QStringLiteral("名稱"), QStringLiteral("原因"),
             QStringLiteral("數量"), QStringLiteral("單位"), QStringLiteral("成本")});
    qint64 n = 0;
    for (const Loss& l : losses(db, from, to)) {
        out.row({l.month.toString(QStringLiteral("yyyy-MM")), l.tea, l.name, l.reason, CsvCell::number(l.quantity),
                 l.unit, CsvCell::number(l.cost.toDouble())});
        ++n;
    }
    return n;
}

} // namespace lumaro::stock
