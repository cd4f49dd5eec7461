#include "books/Reports.h"

#include "base/Csv.h"
#include "base/Numbers.h"
#include "base/Units.h"
#include "books/Kinds.h"
#include "books/People.h"
#include "books/Returns.h"
#include "books/Settings.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"

#include <QHash>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace lumaro::reports {

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Sums of binary fractions carry noise: an amount read is taken to 1/10000
// as the books keep it (NULL as 0), and kilograms never need more than a
// millionth.
Money money(const QVariant& v) { return Money::fromStored(v); }
double kilograms(const QVariant& v) { return std::round(v.toDouble() * 1e6) / 1e6; }

// The UTC range [start of from, start of the day after to) as journal texts.
struct Range {
    QString start;
    QString end;
};

Range rangeOf(const QDate& from, const QDate& to)
{
    Range r;
    r.start = from.isValid() ? journalTime(from.startOfDay()) : QStringLiteral("0000");
    r.end = to.isValid() ? journalTime(to.addDays(1).startOfDay()) : QStringLiteral("9999");
    return r;
}

QString text(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }

// A number cell of an export: plain digits, no grouping; empty when null.
CsvCell number(const QVariant& v) { return v.isNull() ? CsvCell() : CsvCell::number(v.toDouble()); }

// The unit of a row's quantities in a CSV file: written out, 公斤 included,
// so a spreadsheet can sort and sum by it.
QString unitName(const QVariant& stored)
{
    const units::Unit* u = units::fromStored(stored);
    return u ? u->name : stored.toString();
}
CsvCell amount(Money m) { return CsvCell::number(m.toDouble()); }
CsvCell amount(const QVariant& v) { return v.isNull() ? CsvCell() : amount(money(v)); }

QString folded(const QString& name) { return schema::foldedText(name); }

// LIKE pattern for "contains", its wildcards taken literally.
QString containsPattern(const QString& part)
{
    QString p = folded(part);
    p.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    p.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    p.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + p + QLatin1Char('%');
}

// Whether the trigram index can find the part: it needs three characters.
bool indexedPart(Database& db, const QString& part)
{
    return db.isSQLite() && part.toUcs4().size() >= schema::CustomerIndexMinimum;
}

// The number written in count digits at a place in a journal time, or -1.
int digitsAt(QStringView t, int at, int count)
{
    int n = 0;
    for (int i = at; i < at + count; ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c - u'0');
    }
    return n;
}

} // namespace

QString journalTime(const QDateTime& local) { return local.toUTC().toString(kTimeFormat); }

QDateTime localTime(const QString& journal)
{
    // The journal writes its times in one shape: they are read by position,
    // which is what QDateTime::fromString gives for them at a fraction of the
    // cost (a page of sales or an export reads one a row). Any other text
    // still goes the long way.
    const QStringView t(journal);
    auto digits = [&](int at, int count) { return digitsAt(t, at, count); };
    if (t.size() >= 19 && t[4] == u'-' && t[7] == u'-' && t[10] == u' ' && t[13] == u':' && t[16] == u':') {
        const QDate date(digits(0, 4), digits(5, 2), digits(8, 2));
        const QTime time(digits(11, 2), digits(14, 2), digits(17, 2));
        if (digits(0, 4) >= 0 && date.isValid() && time.isValid())
            return QDateTime(date, time, Qt::UTC).toLocalTime();
    }
    QDateTime slow = QDateTime::fromString(journal.left(19), kTimeFormat);
    slow.setTimeSpec(Qt::UTC);
    return slow.toLocalTime();
}

namespace {

// Days since 1970-01-01 of a civil date, and back (Howard Hinnant's
// algorithms), for the journal's times read by the million.
qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = int(y - era * 400);
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(qint64 z, int* y, int* m, int* d)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = int(z - era * 146097);
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = int(yoe + era * 400) + (*m <= 2);
}

// Journal times (UTC) written as local times, as localTime() and
// toString(kTimeFormat) give them, at a fraction of the cost: the offset from
// UTC is asked once per hour of the journal (from 1971 on; before, and
// any other shape of text, the long way), and kept when it is the same at
// both ends of that hour (a change of offset within it is asked row by row).
class LocalTimes {
public:
    QString text(const QString& journal)
    {
        const QStringView t(journal);
        auto digits = [&](int at, int count) { return digitsAt(t, at, count); };
        if (t.size() < 19 || t[4] != u'-' || t[7] != u'-' || t[10] != u' ' || t[13] != u':' || t[16] != u':')
            return slow(journal);
        const int y = digits(0, 4), mo = digits(5, 2), d = digits(8, 2);
        const int h = digits(11, 2), mi = digits(14, 2), sec = digits(17, 2);
        if (y < 1971 || y > 9998 || !QDate::isValid(y, mo, d) || !QTime::isValid(h, mi, sec))
            return slow(journal);
        const qint64 utc = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + sec;
        const qint64 hour = utc - utc % 3600;
        if (hour != m_hour) {
            m_hour = hour;
            const int first = offsetAt(hour);
            m_steady = first == offsetAt(hour + 3599);
            m_offset = first;
        }
        const qint64 local = utc + (m_steady ? m_offset : offsetAt(utc));
        int ly, lm, ld;
        civilFromDays(local / 86400, &ly, &lm, &ld);
        const int s = int(local % 86400);
        char buf[19];
        auto put = [&buf](int at, int value, int width) {
            for (int i = at + width - 1; i >= at; --i, value /= 10)
                buf[i] = char('0' + value % 10);
        };
        put(0, ly, 4);
        buf[4] = '-';
        put(5, lm, 2);
        buf[7] = '-';
        put(8, ld, 2);
        buf[10] = ' ';
        put(11, s / 3600, 2);
        buf[13] = ':';
        put(14, s / 60 % 60, 2);
        buf[16] = ':';
        put(17, s % 60, 2);
        return QString::fromLatin1(buf, 19);
    }

private:
    static QString slow(const QString& journal) { return localTime(journal).toString(kTimeFormat); }
    static int offsetAt(qint64 utc)
    {
        return QDateTime::fromSecsSinceEpoch(utc, Qt::UTC).toLocalTime().offsetFromUtc();
    }
    qint64 m_hour = -1;
    int m_offset = 0;
    bool m_steady = false;
};

// A customer filter matching fewer orders than this reads those orders'
// journal rows; one matching more walks the journal's time index, where
// matches come often enough to fill a page soon.
constexpr int kFewOrders = 4000;

// Whether the sale at cursor a comes after (is older than) the one at b.
bool cursorAfter(const QString& a, const QString& b)
{
    const qsizetype barA = a.indexOf(QLatin1Char('|'));
    const qsizetype barB = b.indexOf(QLatin1Char('|'));
    const int byTime = QStringView(a).left(barA).compare(QStringView(b).left(barB));
    if (byTime != 0)
        return byTime < 0;
    return a.mid(barA + 1).toLongLong() < b.mid(barB + 1).toLongLong();
}

QString methodName(const QVariant& v)
{
    return v.isNull() || v.toString().isEmpty() ? QStringLiteral("現金") : v.toString();
}

QString methodsText(const QList<Paid>& paid)
{
    if (paid.size() == 1)
        return paid.first().method;
    QStringList parts;
    for (const Paid& p : paid)
        parts << p.method + QLatin1Char(' ') + p.amount.toString();
    return parts.join(QStringLiteral("、"));
}

Sale journalSale(const QSqlQuery& q)
{
    Sale s;
    s.order = q.value(2).toLongLong();
    s.settled = localTime(q.value(1).toString());
    s.customer = text(q.value(3));
    s.total = money(q.value(4));
    s.cursor = q.value(1).toString() + QLatin1Char('|') + q.value(0).toString();
    s.paid << Paid{methodName(q.value(6)), money(q.value(7)), 1};
    if (!q.value(9).isNull())
        s.paid << Paid{methodName(q.value(8)), money(q.value(9)), 1};
    s.methods = methodsText(s.paid);
    s.discount = money(q.value(10));
    s.move = q.value(5).toString();
    s.refunded = -money(q.value(11));
    return s;
}

// The money rows of the move that settled a sale: each method's part, the
// discounts, the cash handed over.
struct SaleMoney {
    QList<Paid> paid;
    Money discount;
    std::optional<Money> tendered;
    Money change;
};

SaleMoney saleMoney(Database& db, const QVariant& move)
{
    SaleMoney m;
    Money cashPart;
    QSqlQuery q = db.exec(sql::saleMoney(), {move});
    bool first = true;
    while (q.next()) {
        const Money amount = money(q.value(1)) + money(q.value(2));
        m.paid << Paid{methodName(q.value(0)), amount, 1};
        m.discount += money(q.value(3));
        if (first)
            m.discount += money(q.value(5));
        first = false;
        if (q.value(2).toDouble() == 0)
            cashPart += amount;
        if (!q.value(4).isNull())
            m.tendered = money(q.value(4));
    }
    if (m.tendered)
        m.change = *m.tendered - cashPart;
    return m;
}

// Of the part's three-character pieces, the one the fewest orders' names
// hold (counted up to the bound): the index reads the orders through it.
// orders is set to that count. The pieces are counted first up to a tenth of
// the bound, so that a rare piece is found without counting the common ones
// up to the whole bound; only when every piece reaches it are they counted
// again up to the whole.
QString rarestTrigram(Database& db, const QString& part, qlonglong& orders)
{
    const QList<uint> chars = folded(part).toUcs4();
    QStringList pieces;
    for (qsizetype i = 0; i + schema::CustomerIndexMinimum <= chars.size(); ++i) {
        const QString trigram =
            QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData() + i), schema::CustomerIndexMinimum);
        if (!pieces.contains(trigram))
            pieces << trigram;
    }
    QSqlQuery count = db.prepare(sql::trigramOrders());
    QString rarest;
    qlonglong fewest = -1;
    for (const int bound : {kFewOrders / 10, kFewOrders}) {
        fewest = -1;
        for (qsizetype i = 0; i < pieces.size() && fewest != 0; ++i) {
            db.run(count, {pieces[i], bound});
            const qlonglong n = count.next() ? count.value(0).toLongLong() : 0;
            count.finish();
            if (fewest < 0 || n < fewest) {
                rarest = pieces[i];
                fewest = n;
            }
        }
        if (fewest < bound)
            break;
    }
    orders = fewest;
    return rarest;
}

QList<Sale> journalSales(Database& db, const SalesFilter& filter, int limit, const QString& after)
{
    const Range r = rangeOf(filter.from, filter.to);
    QVariantList cursor;
    if (!after.isEmpty()) {
        const qsizetype bar = after.indexOf(QLatin1Char('|'));
        const QString time = after.left(bar);
        cursor << time << time << after.mid(bar + 1).toLongLong();
    }
    const bool customer = !filter.customer.isEmpty();
    const QString pattern = containsPattern(filter.customer);
    const bool person = !filter.person.isNull();
    const QVariantList personParam = person ? QVariantList{filter.person} : QVariantList{};
    QList<Sale> out;
    const bool indexed = customer && indexedPart(db, filter.customer);
    QString trigram;
    qlonglong trigramOrders = 0;
    if (indexed)
        trigram = rarestTrigram(db, filter.customer, trigramOrders);
    // A part of three characters is its own piece: when the index counts the
    // bound of orders holding it, as many orders match, and the journal's
    // time index is walked at once (reading those orders would end the same
    // way).
    const bool many =
        indexed && trigramOrders >= kFewOrders && filter.customer.toUcs4().size() == schema::CustomerIndexMinimum;
    if (customer && !many) {
        QVariantList params;
        if (indexed)
            params << trigram;
        params << pattern << kFewOrders << kFewOrders << r.start << r.end;
        QSqlQuery q = db.exec(sql::salesOfCustomer(db.kind(), indexed, !after.isEmpty(), person),
                              params + cursor + personParam + QVariantList{limit});
        int matched = 0;
        while (q.next()) {
            if (q.value(0).isNull())
                matched = q.value(4).toInt();
            else
                out << journalSale(q);
        }
        if (matched < kFewOrders) {
            // Newest first, whatever order the two parts of the statement came in.
            std::stable_sort(out.begin(), out.end(),
                             [](const Sale& a, const Sale& b) { return cursorAfter(b.cursor, a.cursor); });
            return out;
        }
        out.clear();
    }
    QVariantList params{r.start, r.end};
    params << cursor;
    if (customer)
        params << pattern;
    params << personParam << limit;
    QSqlQuery q = db.exec(sql::salesByTime(db.kind(), customer, !after.isEmpty(), person), params);
    while (q.next())
        out << journalSale(q);
    return out;
}

// The order date of an order settled before the journal: a date alone, or
// with the time of day an imported file kept.
QDateTime orderTime(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().startOfDay();
    const QString t = v.toString();
    if (t.size() >= 19)
        return QDateTime::fromString(t.left(19), kTimeFormat);
    return QDate::fromString(t.left(10), Qt::ISODate).startOfDay();
}

QString orderDateText(const QVariant& v)
{
    return v.typeId() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate) : v.toString();
}

// Orders settled before the journal existed are all older than the journal's
// first row, and an order's date is the day it was taken, on or before the day
// it was settled: such orders are dated before the day after the journal's
// first. Empty when the range starts later, so a range of recent days never
// looks for them.
// Everyone's name by number, retired people too: the history names them.
QHash<qlonglong, QString> personNames(Database& db)
{
    QHash<qlonglong, QString> out;
    for (const people::Person& p : people::all(db))
        out.insert(p.id, p.name);
    return out;
}

// What each person did in the range; nothing for a shop of one, whose day
// reads as it always has.
QList<DayReport::ByPerson> dayByPerson(Database& db, const QString& start, const QString& end)
{
    const QHash<qlonglong, QString> names = personNames(db);
    if (names.size() < 2)
        return {};
    QList<DayReport::ByPerson> out;
    QVariant current;
    bool first = true;
    QSqlQuery q = db.exec(sql::dayByPerson(), {start, end});
    while (q.next()) {
        const QVariant who = q.value(0);
        if (first || who.isNull() != current.isNull() || who.toLongLong() != current.toLongLong()) {
            DayReport::ByPerson p;
            p.name = who.isNull() ? QStringLiteral("未記名") : names.value(who.toLongLong(), who.toString());
            out << p;
            current = who;
            first = false;
        }
        DayReport::ByPerson& p = out.last();
        const int count = q.value(2).toInt();
        const Money money = Money::fromStored(q.value(3));
        p.approved += q.value(5).toInt();
        switch (moves::dayLineOf(q.value(1).toString())) {
        case moves::DayLine::Takings:
            p.sales += count;
            p.takings += money;
            p.discounts += Money::fromStored(q.value(4));
            break;
        case moves::DayLine::Returns:
            p.returns += count;
            p.refunds -= money;
            break;
        case moves::DayLine::Adjustments:
            p.adjustments += count;
            p.adjusted += money;
            break;
        default:
            break;
        }
    }
    return out;
}

QString legacyBound(Database& db, const SalesFilter& filter)
{
    // Orders settled before the journal name nobody.
    if (!filter.person.isNull())
        return {};
    const QVariant start = db.scalar(sql::journalStart());
    if (start.isNull())
        return QStringLiteral("9999-12-31");
    const QDate first = localTime(start.toString()).date();
    if (filter.from.isValid() && filter.from > first)
        return {};
    return first.addDays(1).toString(Qt::ISODate);
}

// The bound values of sql::legacySales and sql::legacySalesLines, up to the cursor.
QVariantList legacyParams(const SalesFilter& filter, const QString& bound)
{
    QVariantList params;
    if (filter.from.isValid())
        params << filter.from.toString(Qt::ISODate);
    const QString end = filter.to.isValid() ? filter.to.addDays(1).toString(Qt::ISODate) : bound;
    params << std::min(end, bound); // ISO dates sort as text
    if (!filter.customer.isEmpty())
        params << containsPattern(filter.customer);
    return params;
}

const QLatin1String kLegacyCursor("L|");

QList<Sale> legacySales(Database& db, const SalesFilter& filter, const QString& bound, int limit, const QString& after)
{
    QVariantList params = legacyParams(filter, bound);
    if (!after.isEmpty()) {
        const QString rest = after.mid(kLegacyCursor.size());
        const qsizetype bar = rest.lastIndexOf(QLatin1Char('|'));
        const QString date = rest.left(bar);
        params << date << date << rest.mid(bar + 1).toLongLong();
    }
    params << limit;
    QList<Sale> out;
    QSqlQuery q =
        db.exec(sql::legacySales(db.kind(), filter.from.isValid(), !filter.customer.isEmpty(), !after.isEmpty()),
                params);
    while (q.next()) {
        Sale s;
        s.order = q.value(0).toLongLong();
        s.settled = orderTime(q.value(1));
        s.customer = text(q.value(2));
        s.total = money(q.value(3));
        s.estimated = true;
        s.methods = QStringLiteral("現金");
        s.paid = {Paid{s.methods, s.total, 1}};
        s.cursor = kLegacyCursor + orderDateText(q.value(1)) + QLatin1Char('|') + QString::number(s.order);
        out << s;
    }
    return out;
}

SaleLine saleLine(const QVariant& tea, const QVariant& name, double kg, const QVariant& price,
                  const QVariant& unit = QVariant())
{
    SaleLine l;
    l.unit = units::suffix(unit);
    l.tea = text(tea);
    l.name = text(name);
    l.kg = kg;
    l.price = money(price);
    // The subtotal as checkout showed it to the customer.
    l.subtotal = l.price * Money::fromDouble(l.kg);
    return l;
}

} // namespace

QList<Sale> salesPage(Database& db, const SalesFilter& filter, int limit, const QString& after)
{
    QList<Sale> out;
    const bool legacyCursor = after.startsWith(kLegacyCursor);
    if (!legacyCursor) {
        out = journalSales(db, filter, limit, after);
        // How the few sales with returns were refunded.
        for (Sale& s : out)
            if (s.refunded != Money()) {
                QSqlQuery q = db.exec(sql::refundsOfSale(), {s.move, moves::kind::Return.name, moves::kind::Void.name});
                while (q.next()) {
                    const QString m = methodName(q.value(0));
                    auto same =
                        std::find_if(s.refunds.begin(), s.refunds.end(), [&](const Paid& p) { return p.method == m; });
                    if (same == s.refunds.end())
                        s.refunds << Paid{m, -money(q.value(1)), 1};
                    else
                        same->amount -= money(q.value(1));
                }
            }
        if (out.size() >= limit)
            return out;
    }
    const QString bound = legacyBound(db, filter);
    if (!bound.isEmpty())
        out += legacySales(db, filter, bound, limit - int(out.size()), legacyCursor ? after : QString());
    return out;
}

QList<SaleLine> saleLines(Database& db, qlonglong order)
{
    QList<SaleLine> out;
    {
        QSqlQuery q = db.exec(sql::journalLines(), {order});
        while (q.next())
            out << saleLine(q.value(0), q.value(1), kilograms(-q.value(2).toDouble()), q.value(3), q.value(4));
    }
    if (!out.isEmpty() || !db.scalar(sql::orderJournaled(), {order}).isNull())
        return out;
    QSqlQuery q = db.exec(sql::legacyLines(), {order});
    while (q.next())
        out << saleLine(q.value(0), q.value(1), kilograms(q.value(2)), q.value(3));
    return out;
}

Receipt receipt(Database& db, qlonglong order)
{
    QSqlQuery q = db.exec(sql::receiptHead(), {order});
    if (!q.next()) {
        q.finish();
        const QVariant status = db.scalar(sql::orderStatus(), {order});
        if (status.toInt() == 1)
            throw DataError(
                QStringLiteral("訂單 %1 是在帳務日誌啟用前結帳的，沒有當時的單價紀錄，無法開立收據。").arg(order));
        throw DataError(QStringLiteral("訂單 %1 還沒有結帳，沒有收據。").arg(order));
    }
    Receipt r;
    r.order = order;
    r.settled = localTime(q.value(0).toString());
    r.customer = text(q.value(1));
    r.total = money(q.value(2));
    const QVariant move = q.value(3);
    q.finish();
    r.lines = saleLines(db, order);
    const SaleMoney m = saleMoney(db, move);
    r.paid = m.paid;
    r.discount = m.discount;
    r.gross = r.total + r.discount;
    r.tendered = m.tendered;
    r.change = m.change;
    {
        QSqlQuery rq = db.exec(sql::refundsOfSale(), {move, moves::kind::Return.name, moves::kind::Void.name});
        while (rq.next())
            r.refunded -= money(rq.value(1));
    }
    r.shopName = settings::get(db, settings::key::ShopName);
    r.shopAddress = settings::get(db, settings::key::ShopAddress);
    r.shopPhone = settings::get(db, settings::key::ShopPhone);
    return r;
}

DayReport dayReport(Database& db, const QDate& day)
{
    DayReport d;
    d.day = day;
    const Range r = rangeOf(day, day);
    {
        QSqlQuery q = db.exec(sql::openingBalances(), {r.start, r.end});
        if (q.next()) {
            d.openingCash = money(q.value(0));
            d.openingBank = money(q.value(1));
        }
    }
    d.closingCash = d.openingCash;
    d.closingBank = d.openingBank;

    QSqlQuery q = db.exec(sql::dayMoves(), {r.start, r.end});
    while (q.next()) {
        const moves::DayLine line = moves::dayLineOf(q.value(0).toString());
        const Money cash = money(q.value(4));
        const Money bank = money(q.value(5));
        d.closingCash += cash;
        d.closingBank += bank;
        if (line == moves::DayLine::Takings) {
            // A sale paid by card or transfer goes to the bank: still takings.
            d.sales += cash + bank;
            d.takings += cash + bank;
            d.takingsToBank += bank;
            d.discounts += money(q.value(8));
            if (q.value(1).isNull())
                d.orders += q.value(6).toInt();
            else
                d.sold << DayReport::TeaKg{text(q.value(1)), text(q.value(2)), kilograms(-q.value(3).toDouble()),
                                           money(q.value(7)), units::suffix(q.value(9))};
        } else if (line == moves::DayLine::Purchases) {
            const double kg = kilograms(q.value(3));
            const QString unit = units::suffix(q.value(9));
            // Paid from the cash or, as it was paid, from the bank.
            const Money cost = -(cash + bank);
            d.bought << DayReport::TeaKg{text(q.value(1)), text(q.value(2)), kg, cost, unit};
            // The day's kilograms are those of the teas in 公斤.
            if (unit.isEmpty())
                d.purchaseKg += kg;
            d.purchaseCost += cost;
        } else if (line == moves::DayLine::Transfers) {
            // Either way the money moves between the two; the direction is the sign.
            if (cash < Money())
                d.deposits -= cash;
            else
                d.withdrawals += cash;
        } else if (line == moves::DayLine::Returns) {
            // A refund is takings given back, from the drawer or the bank
            // as its method is booked.
            d.takings += cash + bank;
            d.takingsToBank += bank;
        } else {
            d.adjustments += cash;
        }
    }
    q.finish();
    d.purchaseKg = kilograms(d.purchaseKg);
    d.byMethod = takingsByMethod(db, SalesFilter{day, day, {}, {}});
    // A query of its own: on the server, letting go of a statement while
    // another's rows are still coming in discards them.
    QSqlQuery rq = db.exec(sql::dayRefunds(), {r.start, r.end, moves::kind::Return.name, moves::kind::Void.name});
    while (rq.next()) {
        const Money refund = -(money(rq.value(3)) + money(rq.value(4)));
        const QString method = methodName(rq.value(5));
        d.refunds += refund;
        d.returns << DayReport::Returned{rq.value(0).toString(),
                                         localTime(rq.value(1).toString()),
                                         rq.value(2).toLongLong(),
                                         refund,
                                         method,
                                         text(rq.value(6))};
        auto same = std::find_if(d.refundsByMethod.begin(), d.refundsByMethod.end(),
                                 [&](const Paid& p) { return p.method == method; });
        if (same == d.refundsByMethod.end())
            d.refundsByMethod << Paid{method, refund, 1};
        else
            *same = Paid{method, same->amount + refund, same->sales + 1};
    }
    rq.finish();
    d.byPerson = dayByPerson(db, r.start, r.end);
    return d;
}

QList<Paid> takingsByMethod(Database& db, const SalesFilter& filter)
{
    const Range r = rangeOf(filter.from, filter.to);
    QVariantList params{r.start, r.end};
    const bool customer = !filter.customer.isEmpty();
    if (customer)
        params << containsPattern(filter.customer);
    if (!filter.person.isNull())
        params << filter.person;
    QList<Paid> out;
    QSqlQuery q = db.exec(sql::takingsByMethod(db.kind(), customer, !filter.person.isNull()), params);
    while (q.next()) {
        const QString name = methodName(q.value(0));
        const Money amount = money(q.value(1));
        // Rows before methods (NULL) and rows naming 現金 are one method.
        auto same = std::find_if(out.begin(), out.end(), [&](const Paid& p) { return p.method == name; });
        if (same != out.end()) {
            same->amount += amount;
            same->sales += q.value(2).toInt();
        } else {
            out << Paid{name, amount, q.value(2).toInt()};
        }
    }
    // 現金 first, then the others by name, as the settings list them is not
    // known to the history: a retired or renamed method still reads.
    std::stable_sort(out.begin(), out.end(), [](const Paid& a, const Paid& b) {
        if ((a.method == QStringLiteral("現金")) != (b.method == QStringLiteral("現金")))
            return a.method == QStringLiteral("現金");
        return a.method < b.method;
    });
    return out;
}

QList<Money> dailyTakings(Database& db, const QDate& last, int days)
{
    const QDate first = last.addDays(1 - days);
    const Range r = rangeOf(first, last);
    QList<Money> out(days);
    auto add = [&](QSqlQuery q) {
        while (q.next()) {
            const qint64 i = first.daysTo(localTime(q.value(0).toString()).date());
            if (i >= 0 && i < days)
                out[i] += money(q.value(1)) + money(q.value(2));
        }
    };
    add(db.exec(sql::dailyTakings(), {r.start, r.end}));
    add(db.exec(sql::dailyRefunds(), {r.start, r.end, moves::kind::Return.name, moves::kind::Void.name}));
    return out;
}

QList<LowStock> lowStock(Database& db, double level, const QDate& today)
{
    QHash<QString, double> sold;
    {
        const Range r = rangeOf(today.addDays(-29), today);
        QSqlQuery q = db.exec(sql::soldSince(), {r.start, r.end, moves::kind::Return.name, moves::kind::Void.name});
        while (q.next())
            sold.insert(q.value(0).toString(), kilograms(q.value(1)));
    }
    QList<LowStock> out;
    QSqlQuery q = db.exec(sql::lowStock(), {level});
    while (q.next()) {
        LowStock s;
        s.tea = q.value(0).toString();
        s.name = text(q.value(1));
        s.stock = kilograms(q.value(2));
        s.soldLast30 = sold.value(s.tea, 0.0);
        s.unit = units::suffix(q.value(3));
        out << s;
    }
    return out;
}

qint64 exportCatalogue(Database& db, CsvFile& out)
{
    out.row({QStringLiteral("編號"), QStringLiteral("名稱"), QStringLiteral("進價"), QStringLiteral("訂價"),
             QStringLiteral("庫存"), QStringLiteral("單位")});
    qint64 n = 0;
    // The catalogue's figures as stored, as its screen shows them.
    QSqlQuery q = db.exec(sql::catalogue());
    while (q.next()) {
        out.row({text(q.value(0)), text(q.value(1)), number(q.value(2)), number(q.value(3)), number(q.value(4)),
                 unitName(q.value(5))});
        ++n;
    }
    return n;
}

qint64 exportSales(Database& db, CsvFile& out, const QDate& from, const QDate& to)
{
    return exportSales(db, out, SalesFilter{from, to, {}, {}});
}

qint64 exportSales(Database& db, CsvFile& out, const SalesFilter& filter)
{
    out.row({QStringLiteral("訂單編號"), QStringLiteral("結帳時間"), QStringLiteral("客戶名稱"),
             QStringLiteral("茶葉編號"), QStringLiteral("茶葉名稱"), QStringLiteral("公斤"), QStringLiteral("單價"),
             QStringLiteral("小計"), QStringLiteral("折扣"), QStringLiteral("付款方式"), QStringLiteral("單位"),
             QStringLiteral("種類"), QStringLiteral("原因")});
    const bool customer = !filter.customer.isEmpty();
    qint64 n = 0;
    // How each sale of the range was paid, read before its lines (a day
    // wider each way, so a sale settled across midnight finds its money rows):
    // a server connection reads one statement at a time.
    QHash<QString, QList<Paid>> paidBy;
    {
        const Range wide = rangeOf(filter.from.isValid() ? filter.from.addDays(-1) : filter.from,
                                   filter.to.isValid() ? filter.to.addDays(1) : filter.to);
        QSqlQuery q = db.exec(sql::saleMethods(), {wide.start, wide.end});
        while (q.next())
            paidBy[q.value(0).toString()] << Paid{methodName(q.value(1)), money(q.value(2)), 1};
    }
    // The unit price as stored (an order settled before the journal is priced
    // at the catalogue's, which may hold more places than the books); the
    // subtotal as charged.
    auto row = [&](const QVariant& order, const QString& when, const QVariant& who, const QVariant& tea,
                   const QVariant& name, double kg, const QVariant& price, const QVariant& unit,
                   const QVariant& discount, const QString& method) {
        out.row({text(order), when, text(who), text(tea), text(name), CsvCell::number(kg), number(price),
                 price.isNull() ? CsvCell() : amount(money(price) * Money::fromDouble(kg)), amount(discount), method,
                 unitName(unit), moves::kind::Checkout.name, QString()});
        ++n;
    };
    // Orders settled before the journal first: they are the older ones.
    if (const QString bound = legacyBound(db, filter); !bound.isEmpty()) {
        QSqlQuery q = db.exec(sql::legacySalesLines(db.kind(), filter.from.isValid(), filter.to.isValid(), customer),
                              legacyParams(filter, bound));
        while (q.next())
            row(q.value(0), orderDateText(q.value(1)), q.value(2), q.value(3), q.value(4), kilograms(q.value(5)),
                q.value(6), QVariant(), QVariant(), QStringLiteral("現金"));
    }
    const Range r = rangeOf(filter.from, filter.to);
    QVariantList params{r.start, r.end};
    if (customer)
        params << containsPattern(filter.customer);
    if (!filter.person.isNull())
        params << filter.person;
    QSqlQuery q = db.exec(sql::salesLines(db.kind(), customer, !filter.person.isNull()), params);
    while (q.next())
        row(q.value(0), localTime(q.value(1).toString()).toString(kTimeFormat), q.value(2), q.value(3), q.value(4),
            kilograms(-q.value(5).toDouble()), q.value(6), q.value(7), q.value(8),
            methodsText(paidBy.value(q.value(9).toString())));
    q.finish();
    // Then what was given back in the range: one row per line returned, its
    // quantity and its refund negative, so the file adds up to the sales net
    // of their returns.
    for (const returns::Slip& s : returns::slipsBetween(db, r.start, r.end)) {
        if (customer && !folded(s.customer).contains(folded(filter.customer)))
            continue;
        if (!filter.person.isNull() && s.person != filter.person.toLongLong())
            continue;
        for (const returns::Slip::Line& l : s.lines) {
            const units::Unit* u = units::find(l.unit);
            out.row({QString::number(s.order), s.made.toString(kTimeFormat), s.customer, l.tea, l.name,
                     amount(-l.quantity), CsvCell(), amount(-l.refund), CsvCell(), s.method,
                     u ? u->name : units::kilogram().name, s.kind, s.reason});
            ++n;
        }
    }
    return n;
}

qint64 exportJournal(Database& db, CsvFile& out, const QDate& from, const QDate& to)
{
    out.row(
        {QStringLiteral("日誌編號"), QStringLiteral("異動編號"), QStringLiteral("種類"),     QStringLiteral("時間"),
         QStringLiteral("終端"),     QStringLiteral("訂單編號"), QStringLiteral("茶葉編號"), QStringLiteral("茶葉名稱"),
         QStringLiteral("庫存變動"), QStringLiteral("單價"),     QStringLiteral("現金變動"), QStringLiteral("銀行變動"),
         QStringLiteral("說明"),     QStringLiteral("付款方式"), QStringLiteral("折扣"),     QStringLiteral("實收"),
         QStringLiteral("單位"),     QStringLiteral("原交易"),   QStringLiteral("原列"),     QStringLiteral("原因"),
         QStringLiteral("人員"),     QStringLiteral("核准")});
    const Range r = rangeOf(from, to);
    qint64 n = 0;
    // Names read first: a server connection reads one statement at a time.
    const QHash<qlonglong, QString> names = personNames(db);
    auto nameOf = [&](const QVariant& id) {
        return id.isNull() ? QString() : names.value(id.toLongLong(), id.toString());
    };
    LocalTimes times;
    QSqlQuery q = db.exec(sql::journal(), {r.start, r.end});
    while (q.next()) {
        out.row({text(q.value(0)),
                 text(q.value(1)),
                 text(q.value(2)),
                 times.text(q.value(3).toString()),
                 text(q.value(4)),
                 text(q.value(5)),
                 text(q.value(6)),
                 text(q.value(7)),
                 number(q.value(8)),
                 amount(q.value(9)),
                 amount(q.value(10)),
                 amount(q.value(11)),
                 text(q.value(12)),
                 text(q.value(13)),
                 amount(q.value(14)),
                 amount(q.value(15)),
                 q.value(6).isNull() ? CsvCell() : unitName(q.value(16)),
                 text(q.value(17)),
                 text(q.value(18)),
                 text(q.value(19)),
                 nameOf(q.value(20)),
                 nameOf(q.value(21))});
        ++n;
    }
    return n;
}

namespace sql {

using schema::part;
using schema::statement;

namespace {

// A sale may be paid by two methods, one money row each: the sales list reads
// the first of them (j) joined to the second (n), if any: what was paid, the
// move, each method and its part, its discounts and what was refunded. The
// money rows are found through the index of the sales' money rows by order,
// which holds what the list shows of them; the discounts through the index of
// the few rows that took something off. A checkout's rows all name its order,
// so neither reads a sale's lines nor a page of the journal for each sale.
QString saleColumns()
{
    return statement("j.{j.cash} + j.{j.bank} + COALESCE(n.{j.cash} + n.{j.bank}, 0), j.{j.move}, j.{j.method}, "
                     "j.{j.cash} + j.{j.bank}, n.{j.method}, n.{j.cash} + n.{j.bank}, "
                     "(SELECT SUM(x.{j.discount}) FROM {J} x WHERE x.{j.order} = j.{j.order} "
                     "AND x.{j.move} = j.{j.move} AND x.{j.discount} IS NOT NULL), "
                     "(SELECT SUM(r.{j.cash} + r.{j.bank}) FROM {J} r WHERE r.{j.source} = j.{j.move} "
                     "AND r.{j.sourceRow} IS NULL AND r.{j.tea} IS NULL)");
}
// "+" on the row number keeps SQLite from reading the order's rows through
// the index of all rows by order, a range of row numbers, where the money
// rows' own index finds the move's at once.
QString moneyRowOf(const char* alias, const char* order, const char* move)
{
    return statement(
        "{1}.{j.order} = {2} AND {1}.{j.move} = {3} AND {1}.{j.kind} = {k.checkout} AND {1}.{j.tea} IS NULL",
        {QString::fromLatin1(alias), statement(order), statement(move)});
}
QString secondMoneyRow()
{
    return statement("LEFT JOIN {J} n ON {1} AND +n.{j.id} > j.{j.id} ",
                     {moneyRowOf("n", "j.{j.order}", "j.{j.move}")});
}
QString firstMoneyRow()
{
    return statement(" AND NOT EXISTS (SELECT 1 FROM {J} f WHERE {1} AND +f.{j.id} < j.{j.id})",
                     {moneyRowOf("f", "j.{j.order}", "j.{j.move}")});
}

// The condition on the customer's name, its case folded alike on both databases.
QString customerLike(Dialect d)
{
    return QStringLiteral(" AND ") + schema::foldedName(d, statement("o.{o.customer}")) + QStringLiteral(" LIKE ?") +
           schema::likeEscape(d);
}

} // namespace

QString salesByTime(Dialect d, bool customer, bool after, bool person)
{
    return statement("SELECT j.{j.id}, j.{j.time}, j.{j.order}, o.{o.customer}, {1} FROM {J} j "
                     "LEFT JOIN {O} o ON o.{o.number} = j.{j.order} {2}"
                     "WHERE j.{j.kind} = {k.checkout} AND j.{j.tea} IS NULL AND j.{j.order} IS NOT NULL "
                     "AND j.{j.time} >= ? AND j.{j.time} < ?",
                     {saleColumns(), secondMoneyRow()}) +
           firstMoneyRow() + part(after, " AND (j.{j.time} < ? OR (j.{j.time} = ? AND j.{j.id} < ?))") +
           (customer ? customerLike(d) : QString()) + part(person, " AND j.{j.person} = ?") +
           statement(" ORDER BY j.{j.time} DESC, j.{j.id} DESC LIMIT ?");
}

QString salesOfCustomer(Dialect d, bool indexed, bool after, bool person)
{
    // One read of the orders finds the customer's, up to a bound; past it the
    // sales part returns nothing at once. The last row, its first column null,
    // carries how many orders matched (the bound when there were more).
    //
    // Through the trigram index, the orders whose names hold one piece of
    // the part (and those with names too long for the index) are read, and
    // LIKE keeps those that hold the part itself.
    //
    // The found orders' sales come from the index of the sales' money rows
    // by order alone: each move, its first money row and its time (g). The
    // page is chosen from them, newest first (p), and only its sales are read
    // further, so a customer with a thousand sales costs the page's, not the
    // thousand's.
    const QString orders = indexed ? statement("{N} x JOIN {O} o ON o.{o.number} = x.{n.order} "
                                               "WHERE x.{n.trigram} IN (?, '')")
                                   : statement("{O} o WHERE 1 = 1");
    return statement("WITH m AS (SELECT o.{o.number} AS o, o.{o.customer} AS c FROM {1}{2} LIMIT ?), "
                     "g AS (SELECT s.{j.order} AS o, s.{j.move} AS v, MIN(s.{j.id}) AS f, MIN(s.{j.time}) AS t, "
                     "MIN(m.c) AS c FROM m JOIN {J} s ON s.{j.order} = m.o WHERE (SELECT COUNT(*) FROM m) < ? "
                     "AND s.{j.kind} = {k.checkout} AND s.{j.tea} IS NULL GROUP BY s.{j.order}, s.{j.move}), "
                     "p AS (SELECT g.o, g.v, g.f, g.t, g.c FROM g{3} WHERE g.t >= ? AND g.t < ?",
                     {orders, customerLike(d),
                      person ? statement(" JOIN {J} j ON {1} AND +j.{j.id} = g.f", {moneyRowOf("j", "g.o", "g.v")})
                             : QString()}) +
           part(after, " AND (g.t < ? OR (g.t = ? AND g.f < ?))") + part(person, " AND j.{j.person} = ?") +
           statement(
               " ORDER BY g.t DESC, g.f DESC LIMIT ?) "
               "SELECT * FROM (SELECT p.f, p.t, p.o, p.c, {1} FROM p JOIN {J} j ON {2} AND +j.{j.id} = p.f {3}) s "
               "UNION ALL SELECT NULL, NULL, NULL, NULL, (SELECT COUNT(*) FROM m), NULL, NULL, NULL, NULL, "
               "NULL, NULL, NULL",
               {saleColumns(), moneyRowOf("j", "p.o", "p.v"), secondMoneyRow()});
}

QString trigramOrders()
{
    return statement("SELECT count(*) FROM (SELECT 1 FROM {N} WHERE {n.trigram} = ? LIMIT ?) n");
}

QString journalStart() { return statement("SELECT MIN({j.time}) FROM {J}"); }

QString legacySales(Dialect d, bool from, bool customer, bool after)
{
    // "+status": every settled order shares the status, so SQLite finds the
    // orders through the index of their dates, the days asked for, rather
    // than walking every settled order through the status index.
    return statement("SELECT p.{o.number}, p.{o.date}, p.{o.customer}, "
                     "(SELECT SUM(l.{l.quantity} * t.{t.price}) FROM {L} l JOIN {T} t ON t.{t.number} = l.{l.tea} "
                     "WHERE l.{l.order} = p.{o.number}) "
                     "FROM (SELECT o.{o.number}, o.{o.date}, o.{o.customer} FROM {O} o WHERE +o.{o.status} = 1") +
           part(from, " AND o.{o.date} >= ?") + statement(" AND o.{o.date} < ?") +
           (customer ? customerLike(d) : QString()) +
           part(after, " AND (o.{o.date} < ? OR (o.{o.date} = ? AND o.{o.number} < ?))") +
           statement(" AND NOT EXISTS (SELECT 1 FROM {J} j WHERE j.{j.order} = o.{o.number}) "
                     "ORDER BY o.{o.date} DESC, o.{o.number} DESC LIMIT ?) p "
                     "ORDER BY p.{o.date} DESC, p.{o.number} DESC");
}

QString journalLines()
{
    return statement("SELECT {j.tea}, {j.teaName}, {j.stock}, {j.price}, {j.unit} FROM {J} "
                     "WHERE {j.order} = ? AND {j.kind} = {k.checkout} AND {j.tea} IS NOT NULL ORDER BY {j.id}");
}

QString orderJournaled() { return statement("SELECT 1 FROM {J} WHERE {j.order} = ? LIMIT 1"); }

QString orderStatus() { return statement("SELECT {o.status} FROM {O} WHERE {o.number} = ?"); }

QString legacyLines()
{
    return statement("SELECT l.{l.tea}, t.{t.name}, l.{l.quantity}, t.{t.price} FROM {L} l "
                     "JOIN {O} o ON o.{o.number} = l.{l.order} LEFT JOIN {T} t ON t.{t.number} = l.{l.tea} "
                     "WHERE l.{l.order} = ? AND o.{o.status} = 1 ORDER BY l.{l.id}");
}

QString receiptHead()
{
    return statement("SELECT j.{j.time}, o.{o.customer}, (SELECT SUM(m.{j.cash} + m.{j.bank}) FROM {J} m "
                     "WHERE m.{j.move} = j.{j.move} AND m.{j.tea} IS NULL), j.{j.move} FROM {J} j "
                     "LEFT JOIN {O} o ON o.{o.number} = j.{j.order} "
                     "WHERE j.{j.order} = ? AND j.{j.kind} = {k.checkout} AND j.{j.tea} IS NULL "
                     "ORDER BY j.{j.id} LIMIT 1");
}

QString openingBalances()
{
    return statement("SELECT COALESCE(SUM({j.cash}), 0), COALESCE(SUM({j.bank}), 0) FROM {J} "
                     "WHERE {j.time} < ? OR ({j.kind} = {k.opening} AND {j.time} < ?)");
}

QString dayMoves()
{
    return statement("SELECT {j.kind}, {j.tea}, MAX({j.teaName}), SUM({j.stock}), SUM({j.cash}), SUM({j.bank}), "
                     "COUNT(DISTINCT {j.order}), SUM(-{j.stock} * {j.price}), SUM(COALESCE({j.discount}, 0)), {j.unit} "
                     "FROM {J} "
                     "WHERE {j.time} >= ? AND {j.time} < ? AND {j.kind} <> {k.opening} "
                     "GROUP BY {j.kind}, {j.tea}, {j.unit} ORDER BY {j.kind}, {j.tea}, {j.unit}");
}

// What each person did in a range: per person and kind, the moves, their
// money, their discounts and how many an owner allowed.
QString dayByPerson()
{
    return statement("SELECT {j.person}, {j.kind}, COUNT(DISTINCT {j.move}), SUM({j.cash} + {j.bank}), "
                     "SUM(COALESCE({j.discount}, 0)), COUNT(DISTINCT CASE WHEN {j.approver} IS NOT NULL "
                     "THEN {j.move} END) FROM {J} WHERE {j.time} >= ? AND {j.time} < ? AND {j.kind} <> {k.opening} "
                     "GROUP BY {j.person}, {j.kind} ORDER BY {j.person}, {j.kind}");
}

QString dailyTakings()
{
    return statement("SELECT {j.time}, {j.cash}, {j.bank} FROM {J} WHERE {j.kind} = {k.checkout} "
                     "AND {j.tea} IS NULL AND {j.time} >= ? AND {j.time} < ?");
}

QString saleMethods()
{
    return statement("SELECT {j.move}, {j.method}, {j.cash} + {j.bank} FROM {J} WHERE {j.kind} = {k.checkout} "
                     "AND {j.tea} IS NULL AND {j.time} >= ? AND {j.time} < ? ORDER BY {j.id}");
}

QString saleMoney()
{
    // The line discounts ride on the first row.
    return statement("SELECT j.{j.method}, j.{j.cash}, j.{j.bank}, j.{j.discount}, j.{j.tendered}, "
                     "(SELECT SUM(d.{j.discount}) FROM {J} d WHERE d.{j.move} = j.{j.move} AND d.{j.tea} IS NOT NULL) "
                     "FROM {J} j WHERE j.{j.move} = ? AND j.{j.tea} IS NULL ORDER BY j.{j.id}");
}

QString takingsByMethod(Dialect d, bool customer, bool person)
{
    return statement("SELECT j.{j.method}, SUM(j.{j.cash} + j.{j.bank}), COUNT(*) FROM {J} j "
                     "LEFT JOIN {O} o ON o.{o.number} = j.{j.order} WHERE j.{j.kind} = {k.checkout} "
                     "AND j.{j.tea} IS NULL AND j.{j.time} >= ? AND j.{j.time} < ?") +
           (customer ? customerLike(d) : QString()) + part(person, " AND j.{j.person} = ?") +
           statement(" GROUP BY j.{j.method}");
}

QString refundsOfSale()
{
    return statement("SELECT {j.method}, {j.cash} + {j.bank} FROM {J} WHERE {j.source} = ? AND {j.sourceRow} IS NULL "
                     "AND {j.tea} IS NULL AND {j.kind} IN (?, ?) ORDER BY {j.id}");
}

QString dayRefunds()
{
    return statement("SELECT {j.kind}, {j.time}, {j.order}, {j.cash}, {j.bank}, {j.method}, {j.reason} FROM {J} "
                     "WHERE {j.time} >= ? AND {j.time} < ? AND {j.kind} IN (?, ?) AND {j.sourceRow} IS NULL "
                     "AND {j.tea} IS NULL ORDER BY {j.time}, {j.id}");
}

QString dailyRefunds()
{
    return statement("SELECT {j.time}, {j.cash}, {j.bank} FROM {J} WHERE {j.time} >= ? AND {j.time} < ? "
                     "AND {j.kind} IN (?, ?) AND {j.sourceRow} IS NULL AND {j.tea} IS NULL");
}

QString soldSince()
{
    // Only what was sold in the unit the tea is in now, less what came back
    // by returns and voids (their line rows, which name the sale's row).
    return statement("SELECT j.{j.tea}, SUM(-j.{j.stock}) FROM {J} j LEFT JOIN {U} u ON u.{u.tea} = j.{j.tea} "
                     "WHERE j.{j.tea} IS NOT NULL AND j.{j.time} >= ? AND j.{j.time} < ? "
                     "AND (j.{j.kind} = {k.checkout} OR (j.{j.kind} IN (?, ?) AND j.{j.sourceRow} IS NOT NULL)) "
                     "AND COALESCE(j.{j.unit}, '') = COALESCE(u.{u.name}, '') GROUP BY j.{j.tea}");
}

QString lowStock()
{
    return statement("SELECT {t.number}, {t.name}, COALESCE({t.stock}, 0), {1} FROM {T} "
                     "WHERE COALESCE({t.stock}, 0) < ? ORDER BY COALESCE({t.stock}, 0), {t.number}",
                     {schema::unitOfTea(statement("{T}.{t.number}"))});
}

QString catalogue()
{
    return statement("SELECT {t.number}, {t.name}, {t.cost}, {t.price}, {t.stock}, {1} FROM {T} ORDER BY {t.number}",
                     {schema::unitOfTea(statement("{T}.{t.number}"))});
}

QString salesLines(Dialect d, bool customer, bool person)
{
    return statement("SELECT j.{j.order}, j.{j.time}, o.{o.customer}, j.{j.tea}, j.{j.teaName}, j.{j.stock}, "
                     "j.{j.price}, j.{j.unit}, j.{j.discount}, j.{j.move} FROM {J} j "
                     "LEFT JOIN {O} o ON o.{o.number} = j.{j.order} "
                     "WHERE j.{j.kind} = {k.checkout} AND j.{j.tea} IS NOT NULL AND j.{j.time} >= ? "
                     "AND j.{j.time} < ?") +
           (customer ? customerLike(d) : QString()) + part(person, " AND j.{j.person} = ?") +
           statement(" ORDER BY j.{j.time}, j.{j.id}");
}

QString legacySalesLines(Dialect d, bool from, bool to, bool customer)
{
    return statement("SELECT o.{o.number}, o.{o.date}, o.{o.customer}, l.{l.tea}, t.{t.name}, l.{l.quantity}, "
                     "t.{t.price} FROM {O} o JOIN {L} l ON l.{l.order} = o.{o.number} "
                     "LEFT JOIN {T} t ON t.{t.number} = l.{l.tea} WHERE o.{o.status} = 1") +
           part(from, " AND o.{o.date} >= ?") + part(to, " AND o.{o.date} IS NOT NULL") +
           // Undated orders have no place in a range, but a whole export keeps them,
           // first.
           statement(" AND (o.{o.date} < ? OR o.{o.date} IS NULL)") + (customer ? customerLike(d) : QString()) +
           statement(" AND NOT EXISTS (SELECT 1 FROM {J} j WHERE j.{j.order} = o.{o.number}) "
                     "ORDER BY o.{o.date} IS NOT NULL, o.{o.date}, o.{o.number}, l.{l.id}");
}

QString journal()
{
    return statement(
        "SELECT {j.id}, {j.move}, {j.kind}, {j.time}, {j.terminal}, {j.order}, {j.tea}, {j.teaName}, "
        "{j.stock}, {j.price}, {j.cash}, {j.bank}, {j.note}, {j.method}, {j.discount}, {j.tendered}, {j.unit}, "
        "{j.source}, "
        "{j.sourceRow}, {j.reason}, {j.person}, {j.approver} FROM {J} WHERE {j.time} >= ? AND {j.time} < ? "
        "ORDER BY {j.time}, {j.id}");
}

QList<Statement> statements(Database::Kind k)
{
    QList<Statement> out;
    auto add = [&out](const char* name, const QString& text) {
        out << Statement{QStringLiteral("reports.") + QLatin1String(name), text};
    };
    add("journalStart", journalStart());
    if (k == Dialect::SQLite)
        add("trigramOrders", trigramOrders());
    add("journalLines", journalLines());
    add("orderJournaled", orderJournaled());
    add("orderStatus", orderStatus());
    add("legacyLines", legacyLines());
    add("receiptHead", receiptHead());
    add("openingBalances", openingBalances());
    add("dayMoves", dayMoves());
    add("dailyTakings", dailyTakings());
    add("soldSince", soldSince());
    add("lowStock", lowStock());
    add("catalogue", catalogue());
    add("journal", journal());
    add("saleMoney", saleMoney());
    add("saleMethods", saleMethods());
    add("refundsOfSale", refundsOfSale());
    add("dayRefunds", dayRefunds());
    add("dailyRefunds", dailyRefunds());
    add("dayByPerson", dayByPerson());
    // Each form of the statements put together from the filter.
    for (bool a : {false, true}) {
        for (bool p : {false, true}) {
            add("salesOfCustomer", salesOfCustomer(k, false, a, p));
            if (k == Dialect::SQLite)
                add("salesOfCustomer, indexed", salesOfCustomer(k, true, a, p));
            add("salesLines", salesLines(k, a, p));
            add("takingsByMethod", takingsByMethod(k, a, p));
            add("salesByTime", salesByTime(k, a, false, p));
            add("salesByTime", salesByTime(k, a, true, p));
        }
        for (bool b : {false, true}) {
            for (bool c : {false, true}) {
                add("legacySalesLines", legacySalesLines(k, a, b, c));
                add("legacySales", legacySales(k, a, b, c));
            }
        }
    }
    return out;
}

} // namespace sql

} // namespace lumaro::reports
