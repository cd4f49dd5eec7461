#include "books/Payments.h"

#include "books/Settings.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace lumaro::payments {

namespace {

using namespace schema;

const QString kBank = QStringLiteral("銀行");

QString getOrderSql() { return statement("SELECT {d.value} FROM {D} WHERE {d.order} = ?"); }
QString setOrderSql()
{
    return statement("INSERT INTO {D} ({d.order}, {d.value}) VALUES (?, ?) "
                     "ON CONFLICT ({d.order}) DO UPDATE SET {d.value} = excluded.{d.value}");
}
QString dropOrderSql() { return statement("DELETE FROM {D} WHERE {d.order} = ?"); }
QString getLineSql() { return statement("SELECT {e.value} FROM {E} WHERE {e.line} = ?"); }
QString setLineSql()
{
    return statement("INSERT INTO {E} ({e.line}, {e.value}) VALUES (?, ?) "
                     "ON CONFLICT ({e.line}) DO UPDATE SET {e.value} = excluded.{e.value}");
}
QString dropLineSql() { return statement("DELETE FROM {E} WHERE {e.line} = ?"); }

QString text(Database& db, const QString& sql, qlonglong key)
{
    const QVariant v = db.scalar(sql, {key});
    return v.isNull() ? QString() : v.toString();
}

void store(Database& db, const QString& setSql, const QString& dropSql, qlonglong key, const QString& value)
{
    const QString v = value.trimmed();
    if (v.isEmpty())
        db.exec(dropSql, {key}).finish();
    else
        db.exec(setSql, {key, v}).finish();
}

// A percentage kept to two places, so that its share of an amount is a
// whole number of ten-thousandths.
std::optional<Money> percentOf(const QString& text)
{
    bool tooFine = false;
    const std::optional<Money> p = Money::readExact(text, &tooFine);
    if (!p || p->units() % 100 != 0)
        return std::nullopt;
    return p;
}

} // namespace

QList<Method> defaultMethods()
{
    return {{Cash, false, false},
            {QStringLiteral("刷卡"), true, false},
            {QStringLiteral("行動支付"), true, false},
            {QStringLiteral("轉帳"), true, false}};
}

QString methodsProblem(const QList<Method>& list)
{
    QSet<QString> seen;
    bool cash = false;
    for (const Method& m : list) {
        const QString name = m.name.trimmed();
        if (name.isEmpty())
            return QStringLiteral("付款方式的名稱不能空白。");
        if (name != m.name)
            return QStringLiteral("付款方式「%1」的名稱前後不能有空白。").arg(name);
        if (seen.contains(name))
            return QStringLiteral("付款方式「%1」重複了，每個付款方式的名稱要不同。").arg(name);
        seen.insert(name);
        if (name == Cash) {
            cash = true;
            if (m.bank || m.retired)
                return QStringLiteral("「現金」一定要收進抽屜的現金，不能停用，也不能記到銀行。");
        }
    }
    if (!cash)
        return QStringLiteral("付款方式一定要有「現金」。");
    return QString();
}

QString methodsText(const QList<Method>& list)
{
    QJsonArray a;
    for (const Method& m : list) {
        QJsonObject o{{QStringLiteral("name"), m.name}, {QStringLiteral("to"), m.bank ? kBank : Cash}};
        if (m.retired)
            o.insert(QStringLiteral("retired"), true);
        a.append(o);
    }
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

std::optional<QList<Method>> readMethodsText(const QString& text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<Method> list;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        const QJsonValue name = o.value(QStringLiteral("name"));
        const QString to = o.value(QStringLiteral("to")).toString();
        if (!name.isString() || (to != Cash && to != kBank))
            return std::nullopt;
        list << Method{name.toString(), to == kBank, o.value(QStringLiteral("retired")).toBool()};
    }
    if (!methodsProblem(list).isEmpty())
        return std::nullopt;
    return list;
}

Methods methods(Database& db)
{
    const QString stored = settings::get(db, settings::key::PaymentMethods);
    if (stored.isEmpty())
        return {defaultMethods(), false};
    if (std::optional<QList<Method>> list = readMethodsText(stored))
        return {*list, false};
    return {defaultMethods(), true};
}

QList<Method> activeMethods(Database& db)
{
    QList<Method> out;
    for (const Method& m : methods(db).list)
        if (!m.retired)
            out << m;
    return out;
}

std::optional<Method> findMethod(const QList<Method>& list, const QString& name)
{
    for (const Method& m : list)
        if (m.name == name)
            return m;
    return std::nullopt;
}

void saveMethods(Database& db, const QList<Method>& list)
{
    const QString problem = methodsProblem(list);
    if (!problem.isEmpty())
        throw DataError(problem);
    settings::set(db, settings::key::PaymentMethods, methodsText(list));
}

QString capProblem(const QString& text)
{
    const std::optional<Money> cap = percentOf(text);
    if (!cap || *cap < Money() || *cap > Money::fromUnits(100 * Money::Scale))
        return QStringLiteral("折扣上限要是 0 到 100 的百分比（最多兩位小數）。");
    return QString();
}

Money discountCap(Database& db)
{
    const QString text = settings::get(db, settings::key::DiscountCap);
    if (!capProblem(text).isEmpty())
        return Money::fromUnits(100 * Money::Scale);
    return *percentOf(text);
}

Money discountAmount(const QString& typed, Money base, Money capPercent, const QString& what)
{
    QString t = typed.trimmed();
    if (t.isEmpty())
        return Money();
    const bool percent = t.endsWith(QLatin1Char('%')) || t.endsWith(QChar(0xFF05)); // ％ typed full width
    if (percent)
        t.chop(1);
    bool tooFine = false;
    const std::optional<Money> value = Money::readExact(t, &tooFine);
    if (!value) {
        if (tooFine)
            throw DataError(QStringLiteral("%1的折扣「%2」太細了：金額最多四位小數，百分比最多兩位小數。")
                                .arg(what, typed.trimmed()));
        throw DataError(QStringLiteral("%1的折扣「%2」看不懂：請輸入金額（例如 50）或百分比（例如 10%）。")
                            .arg(what, typed.trimmed()));
    }
    if (*value < Money())
        throw DataError(QStringLiteral("%1的折扣不能是負數。").arg(what));
    const Money hundred = Money::fromUnits(100 * Money::Scale);
    const Money capShare = Money::fromUnits(capPercent.units() / 100); // the cap as a fraction
    Money amount;
    if (percent) {
        if (value->units() % 100 != 0)
            throw DataError(QStringLiteral("%1的折扣「%2」太細了：百分比最多兩位小數。").arg(what, typed.trimmed()));
        if (*value > hundred)
            throw DataError(QStringLiteral("%1的折扣不能超過 100%。").arg(what));
        if (*value > capPercent)
            throw DataError(QStringLiteral("%1的折扣 %2% 超過折扣上限 %3%（在「系統設定」設定）。")
                                .arg(what, value->toString(), capPercent.toString()));
        amount = base * Money::fromUnits(value->units() / 100);
    } else {
        amount = *value;
        if (amount > base)
            throw DataError(
                QStringLiteral("%1的折扣 %2 元比它的金額 %3 元還多。").arg(what, amount.toString(), base.toString()));
        if (amount > base * capShare)
            throw DataError(QStringLiteral("%1的折扣 %2 元超過折扣上限 %3%（%4 元，在「系統設定」設定）。")
                                .arg(what, amount.toString(), capPercent.toString(), (base * capShare).toString()));
    }
    return amount;
}

QString orderDiscount(Database& db, qlonglong order) { return text(db, getOrderSql(), order); }
void setOrderDiscount(Database& db, qlonglong order, const QString& value)
{
    store(db, setOrderSql(), dropOrderSql(), order, value);
}
QString lineDiscount(Database& db, qlonglong line) { return text(db, getLineSql(), line); }
void setLineDiscount(Database& db, qlonglong line, const QString& value)
{
    store(db, setLineSql(), dropLineSql(), line, value);
}

QList<Statement> statements(Database::Kind)
{
    return {
        {QStringLiteral("payments: order discount"), getOrderSql()},
        {QStringLiteral("payments: set order discount"), setOrderSql()},
        {QStringLiteral("payments: drop order discount"), dropOrderSql()},
        {QStringLiteral("payments: line discount"), getLineSql()},
        {QStringLiteral("payments: set line discount"), setLineSql()},
        {QStringLiteral("payments: drop line discount"), dropLineSql()},
    };
}

} // namespace lumaro::payments
