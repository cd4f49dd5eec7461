#include "books/OrderStore.h"

#include "base/DisplayText.h"
#include "base/Numbers.h"
#include "books/Books.h"
#include "books/Kinds.h"
#include "books/Moves.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "data/Transaction.h"

#include <QSet>
#include <QSqlQuery>

namespace lumaro::OrderStore {

namespace {

using namespace schema;

// Lines in the order they were added, so the summary reads as the line grid.
// Settling needs no names: a long order is read faster without them.
QString pricedLinesSql(bool names = true)
{
    return statement("SELECT l.{l.tea}, l.{l.quantity}, {1}, t.{t.price}, t.{t.stock}, t.{t.number} IS NOT NULL "
                     "FROM {L} l LEFT JOIN {T} t ON t.{t.number} = l.{l.tea} WHERE l.{l.order} = ? ORDER BY l.{l.id}",
                     {names ? statement("t.{t.name}") : QStringLiteral("NULL")});
}

QList<PricedLine> readPricedLines(Database& db, const QString& sql, qlonglong order)
{
    QSqlQuery q = db.exec(sql, {order});
    QList<PricedLine> out;
    while (q.next()) {
        PricedLine l;
        l.tea = q.value(0);
        l.quantity = q.value(1);
        l.name = q.value(2);
        l.price = q.value(3);
        l.stock = q.value(4);
        l.teaFound = q.value(5).toBool();
        out.append(l);
    }
    q.finish();
    return out;
}

QString settledTotalSql() { return statement("SELECT {j.cash} FROM {J} WHERE {j.move} = ? AND {j.tea} IS NULL"); }

QString markSettledSql() { return statement("UPDATE {O} SET {o.status} = 1 WHERE {o.number} = ? AND {o.status} = 0"); }

QString orderStatusSql() { return statement("SELECT {o.status} FROM {O} WHERE {o.number} = ?"); }

int affectedRows(QSqlQuery& q)
{
    const int n = q.numRowsAffected();
    q.finish();
    return n;
}

} // namespace

QList<PricedLine> pricedLines(Database& db, qlonglong order) { return readPricedLines(db, pricedLinesSql(), order); }

QString missingTeaText(const QVariant& tea) { return QStringLiteral("找不到茶葉：") + tea.toString(); }

void requireTeas(const QList<PricedLine>& lines)
{
    for (const PricedLine& l : lines)
        if (!l.teaFound)
            throw DataError(missingTeaText(l.tea));
}

namespace {

// The product as the file's numbers give it, before it is taken as money, so a
// figure past the range is told rather than overflowing.
std::optional<double> rawSubtotal(const PricedLine& line)
{
    if (line.quantity.isNull() || line.price.isNull())
        return std::nullopt;
    return line.quantity.toDouble() * line.price.toDouble();
}

// The first reason lines cannot be totalled, or sold when selling, or empty.
QString chargeProblem(const QList<PricedLine>& lines, bool selling)
{
    auto bad = [](const QVariant& v) { return !v.isNull() && !isShopNumber(v.toDouble()); };
    for (const PricedLine& l : lines) {
        const QString tea = l.tea.toString();
        if (selling && l.teaFound && l.price.isNull())
            return QStringLiteral("茶葉 %1 沒有訂價，這張訂單不能結帳。請先在「編輯茶葉種類」填上訂價。").arg(tea);
        if (bad(l.price))
            return QStringLiteral(
                       "茶葉 %1 的訂價不是可以計算的數值（%2），這張訂單不能結帳。請先在「編輯茶葉種類」改正訂價。")
                .arg(tea, displayText(l.price));
        if (bad(l.quantity))
            return QStringLiteral("茶葉 %1 的訂購數量不是可以計算的數值（%2），這張訂單不能結帳。")
                .arg(tea, displayText(l.quantity));
        // Infinity less the sale is still infinity: the stock would not move.
        if (selling && bad(l.stock))
            return QStringLiteral("茶葉 %1 的庫存不是可以計算的數值（%2），這張訂單不能結帳。請用 lumaro-admin check "
                                  "檢查資料檔。")
                .arg(tea, displayText(l.stock));
        const std::optional<double> s = rawSubtotal(l);
        if (s && !isShopNumber(*s))
            return QStringLiteral("茶葉 %1 的小計超出可以記帳的範圍，這張訂單不能結帳。").arg(tea);
    }
    double total = 0;
    for (const PricedLine& l : lines)
        total += rawSubtotal(l).value_or(0);
    if (!isShopNumber(total))
        return QStringLiteral("這張訂單的總價超出可以記帳的範圍，不能結帳。");
    return QString();
}

} // namespace

bool isChargeable(const QList<PricedLine>& lines) { return chargeProblem(lines, false).isEmpty(); }

void requireChargeable(const QList<PricedLine>& lines)
{
    const QString problem = chargeProblem(lines, true);
    if (!problem.isEmpty())
        throw DataError(problem, DataFault::OutOfRange);
}

std::optional<Money> subtotal(const PricedLine& line) { return lineAmount({line.quantity, line.price}); }

Money checkoutTotal(const QList<PricedLine>& lines) { return orderTotal(lines); }

QString noLinesText() { return QStringLiteral("此訂單沒有明細"); }
QString alreadySettledText() { return QStringLiteral("這張訂單已經結帳，不能再結帳一次。"); }
QString chooseOrderFirstText() { return QStringLiteral("請先選擇訂單"); }
QString orderGoneText() { return QStringLiteral("找不到這張訂單，它可能已被刪除。"); }

Money settleOrder(Database& db, qlonglong order, std::optional<Money> expectedTotal, const QString& moveId)
{
    Money total;
    const moves::Move checkout{
        moves::kind::Checkout, [&](moves::Plan& p) {
            // Marking the order first takes its row: a second terminal settling
            // the same order waits here and then finds it settled.
            QSqlQuery mark = db.exec(markSettledSql(), {order});
            if (affectedRows(mark) != 1) {
                const QVariant status = db.scalar(orderStatusSql(), {order});
                throw DataError(status.isNull() ? orderGoneText() : alreadySettledText());
            }

            const QList<PricedLine> lines = readPricedLines(db, pricedLinesSql(false), order);
            if (lines.isEmpty())
                throw DataError(noLinesText());
            requireTeas(lines);
            requireChargeable(lines);
            total = checkoutTotal(lines);
            if (expectedTotal && *expectedTotal != total)
                throw DataError(
                    QStringLiteral("這張訂單的明細或價格剛被修改，應收金額已不是 %1 元；沒有結帳，請重新結帳。")
                        .arg(expectedTotal->toString()));

            // One row per line, each with the price charged, written by one
            // statement: a long order costs one round trip, not one per line.
            QSet<QString> teas;
            for (const PricedLine& l : lines)
                teas.insert(l.tea.toString());
            p.addRows([order](Database& d, const QString& id) { books::recordCheckoutLines(d, id, order); },
                      teas.size());
            // A tea went away after the lines were read: name it, as reading
            // them would.
            p.onTeaGone([&] {
                requireTeas(pricedLines(db, order));
                throw DataError(orderGoneText());
            });
            books::Entry cash;
            cash.order = order;
            cash.cash = total;
            p.add(cash);
        }};
    if (moves::run(db, checkout, moveId) == moves::Outcome::Found)
        return Money::fromStored(db.scalar(settledTotalSql(), {moveId}));
    return total;
}

QList<Statement> statements(Database::Kind)
{
    return {
        {QStringLiteral("orders: priced lines"), pricedLinesSql()},
        {QStringLiteral("orders: priced lines to settle"), pricedLinesSql(false)},
        {QStringLiteral("orders: settled total"), settledTotalSql()},
        {QStringLiteral("orders: mark settled"), markSettledSql()},
        {QStringLiteral("orders: status"), orderStatusSql()},
    };
}

} // namespace lumaro::OrderStore
