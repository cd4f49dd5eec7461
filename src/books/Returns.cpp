#include "books/Returns.h"

#include "base/Units.h"
#include "books/Books.h"
#include "books/Kinds.h"
#include "books/Moves.h"
#include "books/Payments.h"
#include "books/Settings.h"
#include "books/TeaUnits.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"

#include <QHash>
#include <QMap>
#include <QSqlQuery>

namespace lumaro::returns {

namespace {

using namespace schema;

// The sale's first money row: its move, time and customer.
QString saleHeadSql()
{
    return statement("SELECT j.{j.move}, j.{j.time}, o.{o.customer} FROM {J} j "
                     "LEFT JOIN {O} o ON o.{o.number} = j.{j.order} "
                     "WHERE j.{j.order} = ? AND j.{j.kind} = {k.checkout} AND j.{j.tea} IS NULL "
                     "ORDER BY j.{j.id} LIMIT 1");
}

QString saleOfMoveSql()
{
    return statement("SELECT {j.order} FROM {J} WHERE {j.move} = ? AND {j.kind} = {k.checkout} LIMIT 1");
}

QString saleMoneySql()
{
    return statement("SELECT {j.method}, {j.cash} + {j.bank} FROM {J} WHERE {j.move} = ? AND {j.tea} IS NULL "
                     "ORDER BY {j.id}");
}

QString saleLinesSql()
{
    return statement("SELECT j.{j.id}, j.{j.tea}, j.{j.teaName}, j.{j.stock}, j.{j.price}, j.{j.unit}, "
                     "j.{j.discount}, EXISTS (SELECT 1 FROM {T} t WHERE t.{t.number} = j.{j.tea}) FROM {J} j "
                     "WHERE j.{j.move} = ? AND j.{j.tea} IS NOT NULL ORDER BY j.{j.id}");
}

// Every line row of the sale's returns, oldest first.
QString returnedRowsSql()
{
    return statement("SELECT {j.move}, {j.sourceRow}, {j.stock}, {j.unit} FROM {J} "
                     "WHERE {j.source} = ? AND {j.sourceRow} IS NOT NULL AND {j.kind} IN (?, ?) ORDER BY {j.id}");
}

// The refund row of each of the sale's returns.
QString refundRowsSql()
{
    return statement(
        "SELECT {j.move}, {j.kind}, {j.time}, {j.cash} + {j.bank}, {j.method}, {j.reason}, {j.person} "
        "FROM {J} WHERE {j.source} = ? AND {j.sourceRow} IS NULL AND {j.tea} IS NULL AND {j.kind} IN (?, ?) "
        "ORDER BY {j.id}");
}

QString returnsBetweenSql()
{
    return statement("SELECT {j.move} FROM {J} WHERE {j.time} >= ? AND {j.time} < ? AND {j.kind} IN (?, ?) "
                     "AND {j.sourceRow} IS NULL AND {j.tea} IS NULL ORDER BY {j.time}, {j.id}");
}

QString moveRowsSql()
{
    return statement("SELECT {j.kind}, {j.source}, {j.sourceRow}, {j.tea} FROM {J} WHERE {j.move} = ? "
                     "ORDER BY {j.id}");
}

QString orderStatusSql() { return statement("SELECT {o.status} FROM {O} WHERE {o.number} = ?"); }

// A journal time (UTC) as the shop's local time.
QDateTime localOf(const QString& journal)
{
    QDateTime t = QDateTime::fromString(journal.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    t.setTimeSpec(Qt::UTC);
    return t.toLocalTime();
}

QString teaSql() { return statement("SELECT {t.cost} FROM {T} WHERE {t.number} = ?"); }

QString overreturnSql()
{
    return statement("SELECT r.{j.sourceRow}, s.{j.order}, s.{j.tea}, s.{j.stock}, s.{j.unit}, r.{j.stock}, "
                     "r.{j.unit}, s.{j.kind} FROM {J} r LEFT JOIN {J} s ON s.{j.id} = r.{j.sourceRow} "
                     "WHERE r.{j.sourceRow} IS NOT NULL AND r.{j.kind} IN (?, ?) ORDER BY r.{j.sourceRow}");
}

QVariantList returnKinds() { return {moves::kind::Return.name, moves::kind::Void.name}; }

QString text(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }
QString methodName(const QVariant& v) { return text(v).isEmpty() ? payments::Cash : v.toString(); }

// a × b / c, rounded half away from zero to 1/10000.
Money scaled(Money a, Money b, Money c)
{
    __extension__ using Wide = __int128;
    const Wide p = Wide(a.units()) * b.units();
    const Wide d = c.units();
    const Wide absP = p < 0 ? -p : p;
    const Wide q = (absP * 2 + d) / (d * 2);
    return Money::fromUnits(std::int64_t(p < 0 ? -q : q));
}

// A quantity stored in from, in the sale's unit to: exact, since it was
// converted from it.
Money inUnit(Money amount, const QVariant& from, const QVariant& to)
{
    const units::Unit* f = units::fromStored(from);
    const units::Unit* t = units::fromStored(to);
    if (!f || !t || f == t)
        return amount;
    return units::convert(amount, *f, *t).value_or(amount);
}

QString quantityText(Money q, const QString& unit)
{
    return q.toString() + (unit.isEmpty() ? QStringLiteral(" 公斤") : QLatin1Char(' ') + unit);
}

struct History {
    Sale sale;
    // Per return move, its lines with their refunds.
    QHash<QString, QList<Slip::Line>> lines;
};

History historyOf(Database& db, const QString& move, qlonglong order)
{
    History h;
    Sale& s = h.sale;
    s.move = move;
    s.order = order;
    {
        QSqlQuery q = db.exec(saleMoneySql(), {move});
        while (q.next()) {
            if (s.method.isEmpty())
                s.method = methodName(q.value(0));
            s.total += Money::fromStored(q.value(1));
        }
    }
    {
        QSqlQuery q = db.exec(saleLinesSql(), {move});
        while (q.next()) {
            SoldLine l;
            l.row = q.value(0).toLongLong();
            l.tea = text(q.value(1));
            l.name = text(q.value(2));
            l.quantity = -Money::fromStored(q.value(3));
            l.price = Money::fromStored(q.value(4));
            l.unit = units::suffix(q.value(5));
            l.net = l.price * l.quantity - Money::fromStored(q.value(6));
            l.teaGone = !q.value(7).toBool();
            s.lines << l;
        }
    }
    // The order's discount is whatever the lines come to beyond what was
    // paid: shared over the lines by their amounts, the last line taking what
    // rounding leaves, so the lines add up to the sale exactly.
    Money gross;
    for (const SoldLine& l : s.lines)
        gross += l.net;
    const Money off = gross - s.total;
    Money shared;
    for (qsizetype i = 0; i < s.lines.size(); ++i) {
        const Money share = i + 1 == s.lines.size() ? off - shared
                            : gross == Money()      ? Money()
                                                    : scaled(off, s.lines[i].net, gross);
        shared += share;
        s.lines[i].net -= share;
    }

    QHash<qlonglong, qsizetype> byRow;
    for (qsizetype i = 0; i < s.lines.size(); ++i)
        byRow.insert(s.lines[i].row, i);
    QSqlQuery q = db.exec(returnedRowsSql(), QVariantList{move} + returnKinds());
    while (q.next()) {
        const auto at = byRow.constFind(q.value(1).toLongLong());
        if (at == byRow.constEnd())
            continue;
        SoldLine& l = s.lines[*at];
        const Money given = inUnit(Money::fromStored(q.value(2)), q.value(3), QVariant(l.unit));
        const Money refund = refundOf(l, given);
        l.returned += given;
        l.refunded += refund;
        s.refunded += refund;
        h.lines[q.value(0).toString()] << Slip::Line{l.tea, l.name, l.unit, given, refund};
    }
    return h;
}

History historyOfOrder(Database& db, qlonglong order)
{
    QSqlQuery q = db.exec(saleHeadSql(), {order});
    if (!q.next()) {
        q.finish();
        const QVariant status = db.scalar(orderStatusSql(), {order});
        if (status.toInt() == 1)
            throw DataError(
                QStringLiteral("訂單 %1 是在帳務日誌啟用前結帳的，沒有當時的明細紀錄，不能退貨。").arg(order));
        throw DataError(QStringLiteral("訂單 %1 還沒有結帳，不能退貨。").arg(order));
    }
    const QString move = q.value(0).toString();
    const QDateTime settled = localOf(q.value(1).toString());
    const QString customer = text(q.value(2));
    q.finish();
    History h = historyOf(db, move, order);
    h.sale.settled = settled;
    h.sale.customer = customer;
    return h;
}

void shopOf(Database& db, Slip& s)
{
    s.shopName = settings::get(db, settings::key::ShopName);
    s.shopAddress = settings::get(db, settings::key::ShopAddress);
    s.shopPhone = settings::get(db, settings::key::ShopPhone);
}

} // namespace

Sale sale(Database& db, qlonglong order) { return historyOfOrder(db, order).sale; }

Money refundOf(const SoldLine& line, Money quantity)
{
    if (quantity >= line.left())
        return line.net - line.refunded;
    if (line.quantity == Money())
        return Money();
    return scaled(line.net, quantity, line.quantity);
}

Slip returnSale(Database& db, const Request& request, const QString& moveId)
{
    const QString id = moveId.isEmpty() ? books::newMoveId() : moveId;
    const moves::Move move{
        request.isVoid ? moves::kind::Void : moves::kind::Return, [&](moves::Plan& p) {
            // Read inside the move: what is left is what the books say now,
            // whatever another terminal returned since the screen showed it.
            const Sale s = sale(db, request.order);
            // A line given twice is one line.
            QMap<qlonglong, Money> wanted;
            for (const auto& [row, quantity] : request.quantities)
                wanted[row] += quantity;
            if (request.isVoid) {
                if (s.settled.date() != QDate::currentDate())
                    throw DataError(QStringLiteral("訂單 %1 不是今天結帳的（%2），不能作廢；請改用退貨。")
                                        .arg(s.order)
                                        .arg(s.settled.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
                wanted.clear();
                for (const SoldLine& l : s.lines)
                    if (l.left() > Money())
                        wanted.insert(l.row, l.left());
                if (wanted.isEmpty())
                    throw DataError(QStringLiteral("訂單 %1 已經全部退貨，沒有可以作廢的。").arg(s.order));
            }
            if (request.reason.trimmed().isEmpty())
                throw DataError(QStringLiteral("請寫下退貨的原因。"));
            if (!request.writeOffReason.isEmpty() && !moves::reason::all().contains(request.writeOffReason))
                throw DataError(QStringLiteral("報廢原因「%1」不是可以選的原因：請選 %2。")
                                    .arg(request.writeOffReason, moves::reason::all().join(QStringLiteral("、"))));

            const QString method = request.method.isEmpty() ? s.method : request.method;
            const std::optional<payments::Method> m = payments::findMethod(payments::methods(db).list, method);
            if (!m)
                throw DataError(QStringLiteral("沒有「%1」這種付款方式，請在「系統設定」查看付款方式。").arg(method));
            if (m->retired && m->name != s.method)
                throw DataError(QStringLiteral("付款方式「%1」已經停用，請選別的付款方式。").arg(method));

            Money refund;
            bool any = false;
            for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
                const qlonglong row = it.key();
                const Money quantity = it.value();
                if (quantity == Money())
                    continue;
                auto line =
                    std::find_if(s.lines.begin(), s.lines.end(), [&](const SoldLine& l) { return l.row == row; });
                if (line == s.lines.end())
                    throw DataError(QStringLiteral("訂單 %1 沒有這筆明細，沒有退貨。").arg(s.order));
                if (quantity < Money())
                    throw DataError(QStringLiteral("茶葉 %1 的退貨數量不能是負數。").arg(line->tea));
                // A box or a can comes back whole.
                if (const units::Unit* u = units::fromStored(line->unit.isEmpty() ? QVariant() : QVariant(line->unit));
                    u && u->measure == units::Measure::Count && quantity.units() % Money::Scale != 0)
                    throw DataError(QStringLiteral("茶葉 %1 以「%2」計，退貨數量要是整數。").arg(line->tea, u->name));
                if (quantity > line->left())
                    throw DataError(
                        QStringLiteral("茶葉 %1 %2 賣出 %3，已退 %4，只剩 %5 可以退，不能退 %6；沒有退貨，請重新查看。")
                            .arg(line->tea, line->name, quantityText(line->quantity, line->unit),
                                 quantityText(line->returned, line->unit), quantityText(line->left(), line->unit),
                                 quantityText(quantity, line->unit)));
                any = true;
                const Money lineRefund = refundOf(*line, quantity);
                refund += lineRefund;

                books::Entry back;
                back.order = s.order;
                back.teaName = line->name;
                back.source = s.move;
                back.sourceRow = line->row;
                back.reason = request.reason.trimmed();
                const QVariant saleUnitStored = line->unit.isEmpty() ? QVariant() : QVariant(line->unit);
                const units::Unit* saleUnit = units::fromStored(saleUnitStored);
                if (line->teaGone) {
                    if (request.destination == Destination::Stock)
                        throw DataError(QStringLiteral("茶葉 %1 %2 已從茶葉資料表刪除，不能退回庫存；可以選擇報廢。")
                                            .arg(line->tea, line->name));
                    // Nothing comes into a stock that is no longer there: the
                    // row keeps the quantity, named but not booked to a tea.
                    back.stock = quantity;
                    back.unitPrice = line->price.toDouble();
                    back.unit = line->unit;
                    back.note = QStringLiteral("茶葉 %1 已刪除，報廢").arg(line->tea);
                    p.add(back);
                    continue;
                }
                const units::Unit& now = teaUnits::unitOf(db, line->tea);
                Money q = quantity;
                Money price = line->price;
                if (saleUnit && saleUnit->name != now.name) {
                    const std::optional<Money> cq = units::convert(quantity, *saleUnit, now);
                    const std::optional<Money> cp = units::convertPrice(line->price, *saleUnit, now);
                    if (!cq || !cp)
                        throw DataError(
                            QStringLiteral(
                                "茶葉 %1 %2 賣出時以「%3」計，現在以「%4」計；%5 換算不成%4的整數位數，不能退貨。")
                                .arg(line->tea, line->name, saleUnit->name, now.name,
                                     quantityText(quantity, line->unit)));
                    q = *cq;
                    price = *cp;
                }
                back.tea = line->tea;
                back.stock = q;
                back.unitPrice = price.toDouble();
                back.unit = units::toStored(now);
                p.add(back);
                if (request.destination == Destination::WriteOff) {
                    books::Entry off;
                    off.kind = moves::kind::Adjustment.name;
                    off.order = s.order;
                    off.tea = line->tea;
                    off.teaName = line->name;
                    off.stock = -q;
                    off.unitPrice = db.scalar(teaSql(), {line->tea});
                    off.unit = back.unit;
                    off.source = s.move;
                    off.reason = request.writeOffReason.isEmpty() ? moves::reason::Damaged : request.writeOffReason;
                    off.note = QStringLiteral("退貨報廢");
                    p.add(off);
                }
            }
            if (!any)
                throw DataError(QStringLiteral("請填寫要退的數量。"));
            if (request.expectedRefund && *request.expectedRefund != refund)
                throw DataError(QStringLiteral("這張訂單剛有其他退貨，應退金額已不是 %1 元；沒有退貨，請重新查看。")
                                    .arg(request.expectedRefund->toString()));
            books::Entry money;
            money.order = s.order;
            (m->bank ? money.bank : money.cash) = -refund;
            money.method = m->name;
            money.source = s.move;
            money.reason = request.reason.trimmed();
            money.note = QStringLiteral("訂單 %1 %2")
                             .arg(s.order)
                             .arg(request.isVoid ? QStringLiteral("作廢") : QStringLiteral("退貨"));
            p.add(money);
        }};
    // Stored now or by an earlier try under the same id: either way the slip
    // reads what the books hold.
    moves::run(db, move, id);
    return slip(db, id);
}

Slip slip(Database& db, const QString& move)
{
    QString saleMove;
    {
        QSqlQuery q = db.exec(moveRowsSql(), {move});
        while (q.next() && saleMove.isEmpty())
            saleMove = text(q.value(1));
    }
    if (saleMove.isEmpty())
        throw DataError(QStringLiteral("找不到這筆退貨。"));
    const QVariant order = db.scalar(saleOfMoveSql(), {saleMove});
    const History h = historyOfOrder(db, order.toLongLong());
    Slip s;
    shopOf(db, s);
    s.move = move;
    s.order = h.sale.order;
    s.settled = h.sale.settled;
    s.customer = h.sale.customer;
    s.lines = h.lines.value(move);
    QSqlQuery q = db.exec(refundRowsSql(), QVariantList{saleMove} + returnKinds());
    while (q.next()) {
        if (q.value(0).toString() != move)
            continue;
        s.kind = q.value(1).toString();
        s.made = localOf(q.value(2).toString());
        s.refund = -Money::fromStored(q.value(3));
        s.method = methodName(q.value(4));
        s.reason = text(q.value(5));
        s.person = q.value(6).toLongLong();
    }
    q.finish();
    QSqlQuery rows = db.exec(moveRowsSql(), {move});
    while (rows.next())
        if (rows.value(0).toString() == moves::kind::Adjustment.name ||
            (rows.value(2).isNull() == false && rows.value(3).isNull()))
            s.writtenOff = true;
    return s;
}

QList<Slip> slipsBetween(Database& db, const QString& start, const QString& end)
{
    QStringList moves;
    {
        QSqlQuery q = db.exec(returnsBetweenSql(), QVariantList{start, end} + returnKinds());
        while (q.next())
            moves << q.value(0).toString();
    }
    QList<Slip> out;
    for (const QString& m : moves)
        out << slip(db, m);
    return out;
}

QList<Given> returnsOf(Database& db, const QString& saleMove)
{
    QList<Given> out;
    QSqlQuery q = db.exec(refundRowsSql(), QVariantList{saleMove} + returnKinds());
    while (q.next())
        out << Given{q.value(0).toString(),          q.value(1).toString(),  localOf(q.value(2).toString()),
                     -Money::fromStored(q.value(3)), methodName(q.value(4)), text(q.value(5))};
    return out;
}

QList<Overreturn> overreturned(Database& db)
{
    QList<Overreturn> out;
    QSqlQuery q = db.exec(overreturnSql(), returnKinds());
    std::optional<Overreturn> cur;
    auto flush = [&] {
        if (cur && cur->returned > cur->sold)
            out << *cur;
    };
    while (q.next()) {
        const qlonglong row = q.value(0).toLongLong();
        if (!cur || cur->row != row) {
            flush();
            const bool sold = q.value(7).toString() == moves::kind::Checkout.name;
            cur = Overreturn{row, q.value(1), q.value(2), sold ? -Money::fromStored(q.value(3)) : Money(), Money()};
        }
        cur->returned += inUnit(Money::fromStored(q.value(5)), q.value(6), q.value(4));
    }
    flush();
    return out;
}

QList<Statement> statements(Database::Kind)
{
    const QString m = QStringLiteral("returns: ");
    return {
        {m + QStringLiteral("sale head"), saleHeadSql()},
        {m + QStringLiteral("sale of move"), saleOfMoveSql()},
        {m + QStringLiteral("sale money"), saleMoneySql()},
        {m + QStringLiteral("sale lines"), saleLinesSql()},
        {m + QStringLiteral("returned rows"), returnedRowsSql()},
        {m + QStringLiteral("refund rows"), refundRowsSql()},
        {m + QStringLiteral("move rows"), moveRowsSql()},
        {m + QStringLiteral("between"), returnsBetweenSql()},
        {m + QStringLiteral("tea"), teaSql()},
        {m + QStringLiteral("order status"), orderStatusSql()},
        {m + QStringLiteral("overreturned"), overreturnSql()},
    };
}

} // namespace lumaro::returns
