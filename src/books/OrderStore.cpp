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
    return statement("SELECT l.{l.tea}, l.{l.quantity}, {1}, t.{t.price}, t.{t.stock}, t.{t.number} IS NOT NULL, "
                     "l.{l.id}, e.{e.value} FROM {L} l LEFT JOIN {T} t ON t.{t.number} = l.{l.tea} "
                     "LEFT JOIN {E} e ON e.{e.line} = l.{l.id} WHERE l.{l.order} = ? ORDER BY l.{l.id}",
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
        l.id = q.value(6);
        l.discount = q.value(7).toString();
        out.append(l);
    }
    q.finish();
    return out;
}

QString settledTotalSql()
{
    return statement("SELECT SUM({j.cash} + {j.bank}) FROM {J} WHERE {j.move} = ? AND {j.tea} IS NULL");
}

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

Bill bill(const QList<PricedLine>& lines, const QString& orderDiscount, Money capPercent)
{
    Bill b;
    for (const PricedLine& l : lines) {
        const Money amount = subtotal(l).value_or(Money());
        b.gross += amount;
        const Money off = payments::discountAmount(l.discount, amount, capPercent,
                                                   QStringLiteral("茶葉 %1 這筆明細").arg(l.tea.toString()));
        b.lineDiscounts << off;
        b.linesDiscount += off;
    }
    b.orderDiscount =
        payments::discountAmount(orderDiscount, b.gross - b.linesDiscount, capPercent, QStringLiteral("整張訂單"));
    return b;
}

Bill bill(Database& db, qlonglong order, const QList<PricedLine>& lines)
{
    return bill(lines, payments::orderDiscount(db, order), payments::discountCap(db));
}

QList<Charge> charges(const QList<payments::Method>& methods, Money net, const Payment& payment)
{
    auto method = [&](const QString& name) {
        const std::optional<payments::Method> m = payments::findMethod(methods, name);
        if (!m)
            throw DataError(QStringLiteral("沒有「%1」這種付款方式，請在「系統設定」查看付款方式。").arg(name));
        if (m->retired)
            throw DataError(QStringLiteral("付款方式「%1」已經停用，請選別的付款方式。").arg(name));
        return *m;
    };
    QList<Charge> out;
    const payments::Method first = method(payment.method);
    out << Charge{first.name, first.bank, net, {}};
    if (!payment.second.isEmpty()) {
        const payments::Method second = method(payment.second);
        if (second.name == first.name)
            throw DataError(QStringLiteral("分開付款要用兩種不同的付款方式。"));
        if (payment.secondAmount <= Money() || payment.secondAmount >= net)
            throw DataError(
                QStringLiteral("「%1」付的金額要大於 0、小於應收的 %2 元。").arg(second.name, net.toString()));
        out[0].amount = net - payment.secondAmount;
        out << Charge{second.name, second.bank, payment.secondAmount, {}};
    }
    if (payment.tendered) {
        Money cashPart;
        Charge* drawer = nullptr;
        for (Charge& c : out)
            if (!c.bank) {
                cashPart += c.amount;
                if (!drawer)
                    drawer = &c;
            }
        if (!drawer)
            throw DataError(QStringLiteral("這筆結帳沒有收現金，不用找零；請清空實收金額。"));
        if (*payment.tendered < cashPart)
            throw DataError(QStringLiteral("實收 %1 元比要收的現金 %2 元少，不能結帳。")
                                .arg(payment.tendered->toString(), cashPart.toString()));
        drawer->tendered = payment.tendered;
    }
    return out;
}

Money change(const QList<Charge>& charges)
{
    Money cashPart;
    std::optional<Money> tendered;
    for (const Charge& c : charges) {
        if (!c.bank)
            cashPart += c.amount;
        if (c.tendered)
            tendered = c.tendered;
    }
    return tendered ? *tendered - cashPart : Money();
}

QString noLinesText() { return QStringLiteral("此訂單沒有明細"); }
QString alreadySettledText() { return QStringLiteral("這張訂單已經結帳，不能再結帳一次。"); }
QString chooseOrderFirstText() { return QStringLiteral("請先選擇訂單"); }
QString orderGoneText() { return QStringLiteral("找不到這張訂單，它可能已被刪除。"); }

Money settleOrder(Database& db, qlonglong order, std::optional<Money> expectedTotal, const QString& moveId)
{
    return settleOrder(db, order, Settle{expectedTotal, std::nullopt, Payment{}}, moveId);
}

Money settleOrder(Database& db, qlonglong order, const Settle& settle, const QString& moveId)
{
    const std::optional<Money> expectedTotal = settle.expectedTotal;
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
            // Read in the transaction: a discount typed on another terminal
            // meanwhile is the one charged, or the checkout is refused below.
            const Bill b = bill(db, order, lines);
            total = b.net();
            if (expectedTotal && *expectedTotal != total)
                throw DataError(
                    QStringLiteral("這張訂單的明細或價格剛被修改，應收金額已不是 %1 元；沒有結帳，請重新結帳。")
                        .arg(expectedTotal->toString()));
            if (settle.expectedDiscount && *settle.expectedDiscount != b.discount())
                throw DataError(QStringLiteral("這張訂單的折扣剛被修改，折扣已不是 %1 元；沒有結帳，請重新結帳。")
                                    .arg(settle.expectedDiscount->toString()));

            // One row per line, each with the price charged, written by one
            // statement: a long order costs one round trip, not one per line.
            QSet<QString> teas;
            for (const PricedLine& l : lines)
                teas.insert(l.tea.toString());
            const QList<Charge> paid = charges(payments::methods(db).list, total, settle.payment);
            const QList<Money> lineDiscounts = b.lineDiscounts;
            p.addRows(
                [order, lineDiscounts, any = b.linesDiscount != Money()](Database& d, const QString& id) {
                    books::recordCheckoutLines(d, id, order);
                    if (any)
                        books::recordLineDiscounts(d, id, lineDiscounts);
                },
                teas.size());
            // A tea went away after the lines were read: name it, as reading
            // them would.
            p.onTeaGone([&] {
                requireTeas(pricedLines(db, order));
                throw DataError(orderGoneText());
            });
            // One money row per method, each to its balance; the order's
            // discount on the first.
            bool first = true;
            for (const Charge& c : paid) {
                books::Entry row;
                row.order = order;
                (c.bank ? row.bank : row.cash) = c.amount;
                row.method = c.method;
                if (first && b.orderDiscount != Money())
                    row.discount = b.orderDiscount.toDouble();
                if (c.tendered)
                    row.tendered = c.tendered->toDouble();
                first = false;
                p.add(row);
            }
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
