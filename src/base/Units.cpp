#include "base/Units.h"

#include "base/Numbers.h"

#include <algorithm>
#include <cmath>

namespace lumaro::units {

namespace {

__extension__ using Wide = __int128;

// The words a typed quantity may end with, and the unit each names.
struct Alias {
    QString text;
    QString unit;
};

const QList<Alias>& aliases()
{
    static const QList<Alias> list = [] {
        QList<Alias> a = {
            {QStringLiteral("公斤"), QStringLiteral("公斤")}, {QStringLiteral("千克"), QStringLiteral("公斤")},
            {QStringLiteral("kg"), QStringLiteral("公斤")},   {QStringLiteral("台斤"), QStringLiteral("台斤")},
            {QStringLiteral("斤"), QStringLiteral("台斤")},   {QStringLiteral("兩"), QStringLiteral("兩")},
            {QStringLiteral("两"), QStringLiteral("兩")},     {QStringLiteral("公克"), QStringLiteral("公克")},
            {QStringLiteral("克"), QStringLiteral("公克")},   {QStringLiteral("g"), QStringLiteral("公克")},
            {QStringLiteral("個"), QStringLiteral("個")},     {QStringLiteral("个"), QStringLiteral("個")},
            {QStringLiteral("盒"), QStringLiteral("盒")},     {QStringLiteral("罐"), QStringLiteral("罐")},
            {QStringLiteral("包"), QStringLiteral("包")},
        };
        // The longest first, so 公斤 is never read as a 斤.
        std::stable_sort(a.begin(), a.end(),
                         [](const Alias& x, const Alias& y) { return x.text.size() > y.text.size(); });
        return a;
    }();
    return list;
}

// Small numbers written in Chinese (四, 十二, 兩, 半): nothing when the text is
// not one.
std::optional<double> chineseNumber(const QString& t)
{
    if (t == QStringLiteral("半"))
        return 0.5;
    static const QString digits = QStringLiteral("零一二三四五六七八九");
    int total = 0, current = -1;
    for (QChar c : t) {
        int d = digits.indexOf(c);
        if (c == QChar(0x3007)) // 〇
            d = 0;
        if (c == QChar(0x5169) || c == QChar(0x4E24)) // 兩 两
            d = 2;
        if (d >= 0) {
            if (current >= 0)
                return std::nullopt;
            current = d;
        } else if (c == QChar(0x5341) || c == QChar(0x767E)) { // 十 百
            const int place = c == QChar(0x5341) ? 10 : 100;
            total += (current < 0 ? 1 : current) * place;
            current = -1;
        } else {
            return std::nullopt;
        }
    }
    if (t.isEmpty())
        return std::nullopt;
    return double(total + std::max(current, 0));
}

QString squeezed(const QString& text)
{
    QString s;
    for (QChar c : text)
        if (!c.isSpace())
            s += c;
    return s;
}

// amount x from.decigrams / to.decigrams, in ten-thousandths of to, as a
// fraction num/den of ten-thousandths.
struct Fraction {
    Wide num, den;
};

Fraction ratio(Money amount, const Unit& from, const Unit& to)
{
    return {Wide(amount.units()) * from.decigrams, Wide(to.decigrams)};
}

Wide floorDiv(Wide a, Wide b)
{
    const Wide q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

QString amountText(double value, const Unit& unit) { return formatNumber(value) + unit.name; }

QString differentMeasure(const QString& typed, const Unit& named, const Unit& unit)
{
    return QStringLiteral("「%1」是以%2計的數量，這種茶葉以%3計，%4和%3無法換算。")
        .arg(typed, named.name, unit.name, named.name);
}

} // namespace

const QList<Unit>& all()
{
    static const QList<Unit> list = {
        {QStringLiteral("公斤"), Measure::Weight, 10000}, {QStringLiteral("台斤"), Measure::Weight, 6000},
        {QStringLiteral("兩"), Measure::Weight, 375},     {QStringLiteral("公克"), Measure::Weight, 10},
        {QStringLiteral("個"), Measure::Count, 0},        {QStringLiteral("盒"), Measure::Count, 0},
        {QStringLiteral("罐"), Measure::Count, 0},        {QStringLiteral("包"), Measure::Count, 0},
    };
    return list;
}

const Unit& kilogram() { return all().front(); }

const Unit* find(const QString& name)
{
    for (const Unit& u : all())
        if (u.name == name)
            return &u;
    return nullptr;
}

const Unit* fromStored(const QVariant& stored)
{
    const QString name = stored.isNull() ? QString() : stored.toString().trimmed();
    return name.isEmpty() ? &kilogram() : find(name);
}

QString toStored(const Unit& unit) { return unit.name == kilogram().name ? QString() : unit.name; }

QString suffix(const QVariant& storedUnit)
{
    const Unit* u = fromStored(storedUnit);
    if (!u)
        return storedUnit.toString();
    return u == &kilogram() ? QString() : u->name;
}

std::optional<Money> convert(Money amount, const Unit& from, const Unit& to)
{
    if (from.name == to.name)
        return amount;
    if (from.measure != Measure::Weight || to.measure != Measure::Weight)
        return std::nullopt;
    const Fraction f = ratio(amount, from, to);
    if (f.num % f.den != 0)
        return std::nullopt;
    const Wide units = f.num / f.den;
    const Wide limit = Wide(MaxShopNumber) * Money::Scale;
    if (units > limit || units < -limit)
        return std::nullopt;
    return Money::fromUnits(std::int64_t(units));
}

// A price per from is price x to / from per to: the inverse of an amount.
std::optional<Money> convertPrice(Money price, const Unit& from, const Unit& to) { return convert(price, to, from); }

namespace {

// A text naming another unit than the tea's: what was typed in which unit.
struct Typed {
    const Unit* from = nullptr; // null: read leniently, as always
    Money amount;               // in from
    QString refusal;
};

Typed typedIn(const QString& text, const Unit& unit)
{
    const QString s = squeezed(text);
    const Alias* named = nullptr;
    for (const Alias& a : aliases())
        if (s.endsWith(a.text, Qt::CaseInsensitive)) {
            named = &a;
            break;
        }
    Typed t;
    // No unit, or the tea's own: read as every quantity always was. A tea in
    // another unit than 公斤 has no such past, and takes 四兩 as 4 as well.
    if (named && named->unit == unit.name && &unit != &kilogram())
        if (const std::optional<double> x = chineseNumber(s.left(s.size() - named->text.size()));
            x && *x == std::floor(*x)) {
            t.from = &unit;
            t.amount = Money::fromDouble(*x);
            return t;
        }
    if (!named || named->unit == unit.name)
        return t;
    t.from = find(named->unit);
    const QString typed = text.trimmed();
    if (t.from->measure != unit.measure || t.from->measure == Measure::Count) {
        t.refusal = differentMeasure(typed, *t.from, unit);
        return t;
    }
    const QString number = s.left(s.size() - named->text.size());
    std::optional<double> x = chineseNumber(number);
    if (!x) {
        bool ok = false;
        const double v = toNumberStrict(number, &ok);
        if (ok)
            x = v;
    }
    // On a tea in 公斤 a text whose number cannot be read (abcg, a lone 斤)
    // still reads as it always has: a text without digits buys nothing.
    if (!x && &unit == &kilogram())
        return Typed{};
    if (!x || !isShopNumber(*x) || !isMoneyPrecise(*x))
        t.refusal =
            QStringLiteral("看不懂數量「%1」：請寫成像「4兩」、「半斤」、「1.5斤」或「150g」這樣的數量。").arg(typed);
    else
        t.amount = Money::fromDouble(*x);
    return t;
}

double fractionValue(const Fraction& f) { return double(f.num) / double(f.den) / double(Money::Scale); }

} // namespace

Reading read(const QString& text, const Unit& unit)
{
    const Typed t = typedIn(text, unit);
    if (!t.from)
        return Reading{readNumber(text), {}, false};
    Reading r;
    r.converted = true;
    if (!t.refusal.isEmpty()) {
        r.refusal = t.refusal;
        return r;
    }
    const std::optional<Money> converted = convert(t.amount, *t.from, unit);
    if (!converted) {
        r.refusal =
            QStringLiteral("「%1」換算成%2是 %3，不是精確的數，請改用%2輸入。")
                .arg(text.trimmed(), unit.name, amountText(fractionValue(ratio(t.amount, *t.from, unit)), unit));
        return r;
    }
    r.value = converted->toDouble();
    return r;
}

Reading readWhole(const QString& text, const Unit& unit)
{
    const Typed t = typedIn(text, unit);
    const QString typed = text.trimmed();
    Reading r;
    if (!t.from) {
        r.value = readNumber(text);
        if (r.value == std::floor(r.value))
            return r;
        const double below = std::floor(r.value);
        r.refusal = QStringLiteral("訂購數量必須是整數%1：「%2」不是。最接近的是 %3 或 %4。")
                        .arg(unit.name, typed, amountText(below, unit), amountText(below + 1, unit));
        r.value = 0;
        return r;
    }
    r.converted = true;
    if (!t.refusal.isEmpty()) {
        r.refusal = t.refusal;
        return r;
    }
    if (t.from == &unit) { // a whole number in Chinese
        r.value = t.amount.toDouble();
        return r;
    }
    // Worked as a fraction, so 100g on a tea in 兩 is 8/3 and not 2.6667.
    const Fraction f = ratio(t.amount, *t.from, unit);
    const Wide whole = Wide(Money::Scale) * f.den;
    if (f.num % whole == 0) {
        r.value = double(f.num / whole);
        return r;
    }
    const Wide below = floorDiv(f.num, whole);
    auto pair = [&](Wide n) {
        // n of the tea's unit, in the unit typed.
        const double there = double(n) * double(unit.decigrams) / double(t.from->decigrams);
        return QStringLiteral("%1 = %2").arg(amountText(there, *t.from), amountText(double(n), unit));
    };
    const QString nearest = below < 1 ? pair(below + 1) : QStringLiteral("%1 或 %2").arg(pair(below), pair(below + 1));
    r.refusal = QStringLiteral("訂購數量必須是整數%1：「%2」是 %3。最接近的是 %4。")
                    .arg(unit.name, typed, amountText(fractionValue(f), unit), nearest);
    return r;
}

Reading readExact(const QString& text, const Unit& unit)
{
    if (typedIn(text, unit).from)
        return read(text, unit);
    // In the tea's own unit or in none: the unit's word, if any, goes before
    // the number is read strictly.
    QString s = squeezed(text);
    for (const Alias& a : aliases())
        if (a.unit == unit.name && s.endsWith(a.text, Qt::CaseInsensitive)) {
            s.chop(a.text.size());
            break;
        }
    Reading r;
    bool ok = false;
    const double x = toNumberStrict(s, &ok);
    if (!ok || !isShopNumber(x) || !isMoneyPrecise(x))
        r.refusal = QStringLiteral("看不懂數量「%1」：請寫成像「12.5」、「半斤」或「150g」這樣的數量，最多四位小數。")
                        .arg(text.trimmed());
    else
        r.value = x;
    return r;
}

} // namespace lumaro::units
