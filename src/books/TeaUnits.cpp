#include "books/TeaUnits.h"

#include "base/Failures.h"
#include "base/Money.h"
#include "base/Numbers.h"
#include "books/Books.h"
#include "books/Kinds.h"
#include "books/MoneyMoves.h"
#include "books/Moves.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QSqlQuery>

namespace lumaro::teaUnits {

namespace {

using namespace schema;

QString unitOfSql() { return statement("SELECT {u.name} FROM {U} WHERE {u.tea} = ?"); }
QString namedUnitsSql() { return statement("SELECT {u.tea}, {u.name} FROM {U}"); }
QString teaSql() { return statement("SELECT {t.name}, {t.cost}, {t.price}, {t.stock} FROM {T} WHERE {t.number} = ?"); }
// The first open order that holds the tea.
QString openOrderSql()
{
    return statement("SELECT o.{o.number} FROM {L} l JOIN {O} o ON o.{o.number} = l.{l.order} "
                     "WHERE l.{l.tea} = ? AND o.{o.status} = 0 ORDER BY o.{o.number} LIMIT 1");
}
QString setPricesSql() { return statement("UPDATE {T} SET {t.cost} = ?, {t.price} = ? WHERE {t.number} = ?"); }
QString forgetUnitSql() { return statement("DELETE FROM {U} WHERE {u.tea} = ?"); }
QString keepUnitSql() { return statement("INSERT INTO {U} ({u.tea}, {u.name}) VALUES (?, ?)"); }

const units::Unit& known(const QVariant& stored)
{
    const units::Unit* u = units::fromStored(stored);
    if (!u)
        throw NumberError(QStringLiteral("茶葉單位表裡的單位「%1」不是這個程式認得的單位。").arg(stored.toString()));
    return *u;
}

QVariant nullDouble() { return QVariant(QMetaType(QMetaType::Double)); }

// A price in the new unit, or the refusal naming it.
QVariant convertedPrice(const QVariant& stored, const QString& what, const units::Unit& from, const units::Unit& to)
{
    if (stored.isNull())
        return nullDouble();
    if (!isShopNumber(stored.toDouble()))
        throw MoveRefused(QStringLiteral("%1不是可以計算的數值（%2），無法換算單位。").arg(what, stored.toString()));
    const Money price = Money::fromStored(stored);
    const std::optional<Money> converted = units::convertPrice(price, from, to);
    if (!converted)
        throw MoveRefused(QStringLiteral("%1 %2（每%3）換算成每%4不是精確到 0.0001 的數，沒有換算單位。")
                              .arg(what, price.toString(), from.name, to.name));
    return converted->toDouble();
}

} // namespace

const units::Unit& unitOf(Database& db, const QString& tea) { return known(db.scalar(unitOfSql(), {tea})); }

QHash<QString, QString> namedUnits(Database& db)
{
    QHash<QString, QString> out;
    QSqlQuery q = db.exec(namedUnitsSql());
    while (q.next())
        out.insert(q.value(0).toString(), q.value(1).toString());
    q.finish();
    return out;
}

void changeUnit(Database& db, const QString& tea, const QString& unit, const QString& moveId)
{
    if (tea.isEmpty())
        throw MoveRefused(money::chooseTeaFirstText());
    const units::Unit* to = units::find(unit);
    if (!to)
        throw MoveRefused(QStringLiteral("「%1」不是可以選的單位。").arg(unit));
    moves::run(db,
               {moves::kind::ChangeUnit,
                [&](moves::Plan& p) {
                    QSqlQuery q = db.exec(teaSql(), {tea});
                    if (!q.next())
                        throw MoveRefused(QStringLiteral("找不到編號「%1」的茶葉，它可能已被刪除。").arg(tea));
                    const QVariant name = q.value(0), cost = q.value(1), price = q.value(2), stored = q.value(3);
                    q.finish();
                    const units::Unit& from = known(db.scalar(unitOfSql(), {tea}));
                    if (from.name == to->name)
                        return;
                    const QVariant open = db.scalar(openOrderSql(), {tea});
                    if (!open.isNull())
                        throw MoveRefused(QStringLiteral("訂單 %1 還沒結帳，上面有這種茶葉以%2計的明細，"
                                                         "請先結帳或刪除那些明細再換單位。")
                                              .arg(open.toString(), from.name));
                    if (!stored.isNull() && !isShopNumber(stored.toDouble()))
                        throw MoveRefused(
                            QStringLiteral("庫存不是可以計算的數值（%1），無法換算單位。").arg(stored.toString()));
                    const Money stock = Money::fromStored(stored);
                    const bool sameMeasure =
                        from.measure == units::Measure::Weight && to->measure == units::Measure::Weight;
                    Money converted;
                    QVariant newCost = cost, newPrice = price;
                    if (sameMeasure) {
                        const std::optional<Money> c = units::convert(stock, from, *to);
                        if (!c)
                            throw MoveRefused(QStringLiteral("庫存 %1%2 換算成%3不是精確到 0.0001 的數，沒有換算單位。")
                                                  .arg(stock.toString(), from.name, to->name));
                        converted = *c;
                        newCost = convertedPrice(cost, QStringLiteral("進價"), from, *to);
                        newPrice = convertedPrice(price, QStringLiteral("訂價"), from, *to);
                    } else if (stock != Money()) {
                        throw MoveRefused(QStringLiteral("%1和%2無法換算（一個是重量，一個是件數）；"
                                                         "庫存還有 %3%1，要等庫存是 0 才能換單位。")
                                              .arg(from.name, to->name, stock.toString()));
                    }
                    const QString note = QStringLiteral("單位由%1換成%2").arg(from.name, to->name);
                    books::Entry out;
                    out.tea = tea;
                    out.teaName = name;
                    out.stock = -stock;
                    out.unitPrice = cost.isNull() ? QVariant() : QVariant(Money::fromStored(cost).toDouble());
                    out.unit = units::toStored(from);
                    out.note = note;
                    p.add(out);
                    books::Entry in = out;
                    in.stock = converted;
                    in.unitPrice = newCost.isNull() ? QVariant() : newCost;
                    in.unit = units::toStored(*to);
                    p.add(in);
                    // The prices and the unit change in the move's transaction:
                    // all of it is stored, or none.
                    db.exec(setPricesSql(), {newCost, newPrice, tea}).finish();
                    db.exec(forgetUnitSql(), {tea}).finish();
                    if (!units::toStored(*to).isEmpty())
                        db.exec(keepUnitSql(), {tea, to->name}).finish();
                }},
               moveId);
}

QList<Statement> statements(Dialect)
{
    return {
        {QStringLiteral("units: unit of"), unitOfSql()},
        {QStringLiteral("units: named units"), namedUnitsSql()},
        {QStringLiteral("units: tea"), teaSql()},
        {QStringLiteral("units: open order"), openOrderSql()},
        {QStringLiteral("units: set prices"), setPricesSql()},
        {QStringLiteral("units: forget unit"), forgetUnitSql()},
        {QStringLiteral("units: keep unit"), keepUnitSql()},
    };
}

} // namespace lumaro::teaUnits
