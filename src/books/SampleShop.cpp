#include "books/SampleShop.h"

#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

namespace lumaro {

namespace {

using namespace schema;

QString teaSql()
{
    return statement("INSERT INTO {T} ({t.number}, {t.name}, {t.cost}, {t.price}, {t.stock}) VALUES (?, ?, ?, ?, ?)");
}

QString orderSql()
{
    return statement("INSERT INTO {O} ({o.customer}, {o.date}, {o.contact}, {o.status}) VALUES (?, ?, ?, 0) "
                     "RETURNING {o.number}");
}

QString lineSql() { return statement("INSERT INTO {L} ({l.order}, {l.tea}, {l.quantity}) VALUES (?, ?, ?)"); }

} // namespace

void fillSampleShop(Database& db)
{
    struct Tea {
        const char* number;
        const char* name;
        double cost;
        double price;
        double stock;
    };
    // Prices per kilogram, in the shop's money.
    static const Tea teas[] = {
        {"T001", "凍頂烏龍茶", 1200, 1800, 25}, {"T002", "阿里山高山茶", 1800, 2600, 18},
        {"T003", "東方美人茶", 2400, 3500, 10}, {"T004", "文山包種茶", 1000, 1500, 30},
        {"T005", "木柵鐵觀音", 1400, 2100, 16}, {"T006", "梨山高冷茶", 2800, 4000, 8},
        {"T007", "日月潭紅茶", 1300, 2000, 20}, {"T008", "三峽碧螺春", 900, 1400, 22},
        {"T009", "杉林溪烏龍", 1600, 2400, 12}, {"T010", "金萱茶", 700, 1100, 40},
        {"T011", "四季春", 500, 800, 50},       {"T012", "普洱茶", 1100, 1650.5, 15},
    };
    for (const Tea& t : teas)
        db.exec(teaSql(), {QString::fromUtf8(t.number), QString::fromUtf8(t.name), t.cost, t.price, t.stock});

    struct Order {
        const char* customer;
        const char* contact;
        const char* date;
        QList<QPair<const char*, int>> lines;
    };
    static const QList<Order> orders = {
        {"王小明", "0912-345-678", "2026-12-01", {{"T001", 2}, {"T007", 1}}},
        {"陳美玲", "台北市大安區和平東路一段 10 號", "2026-12-03", {{"T003", 1}}},
        {"林志豪", "lin.chihhao@example.com", "2026-12-05", {{"T010", 3}, {"T011", 5}, {"T001", 1}}},
    };
    for (const Order& o : orders) {
        QSqlQuery q = db.exec(orderSql(),
                              {QString::fromUtf8(o.customer), QString::fromUtf8(o.date), QString::fromUtf8(o.contact)});
        q.next();
        const qlonglong number = q.value(0).toLongLong();
        q.finish();
        for (const auto& [tea, qty] : o.lines)
            db.exec(lineSql(), {number, QString::fromUtf8(tea), qty});
    }
}

QList<Statement> sampleShopStatements(Database::Kind)
{
    return {
        {QStringLiteral("sample shop: tea"), teaSql()},
        {QStringLiteral("sample shop: order"), orderSql()},
        {QStringLiteral("sample shop: line"), lineSql()},
    };
}

} // namespace lumaro
