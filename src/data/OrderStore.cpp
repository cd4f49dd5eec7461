#include "data/OrderStore.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Numbers.h"

#include <QSqlQuery>

namespace lumaro::OrderStore {

namespace {

// Lines in the order they were added, so the summary reads as the line grid.
const QString kPricedLines = QStringLiteral(
    "SELECT l.茶葉編號, l.數量, t.名稱, t.訂價, t.編號 "
    "FROM 訂單明細表 l LEFT JOIN 茶葉資料表 t ON t.編號 = l.茶葉編號 "
    "WHERE l.訂單編號 = ? ORDER BY l.明細編號");

int affectedRows(QSqlQuery& q)
{
    const int n = q.numRowsAffected();
    q.finish();
    return n;
}

} // namespace

QList<PricedLine> pricedLines(Database& db, qlonglong order)
{
    QSqlQuery q = db.exec(kPricedLines, {order});
    QList<PricedLine> out;
    while (q.next()) {
        PricedLine l;
        l.tea = q.value(0);
        l.quantity = q.value(1);
        l.name = q.value(2);
        l.price = q.value(3);
        l.teaFound = !q.value(4).isNull();
        out.append(l);
    }
    q.finish();
    return out;
}

QString missingTeaText(const QVariant& tea) { return QStringLiteral("找不到茶葉：") + tea.toString(); }

void requireTeas(const QList<PricedLine>& lines)
{
    for (const PricedLine& l : lines)
        if (!l.teaFound)
            throw DataError(missingTeaText(l.tea));
}

std::optional<double> subtotal(const PricedLine& line)
{
    if (line.quantity.isNull() || line.price.isNull())
        return std::nullopt;
    return line.quantity.toDouble() * line.price.toDouble();
}

double checkoutTotal(const QList<PricedLine>& lines)
{
    double total = 0;
    for (const PricedLine& l : lines) {
        const std::optional<double> s = subtotal(l);
        const double amount = s ? readNumber(formatNumber(*s)) : 0;
        total = readNumber(formatNumber(total + amount));
    }
    return total;
}

QString noLinesText() { return QStringLiteral("此訂單沒有明細"); }
QString alreadySettledText() { return QStringLiteral("這張訂單已經結帳，不能再結帳一次。"); }
QString chooseOrderFirstText() { return QStringLiteral("請先選擇訂單"); }
QString orderGoneText() { return QStringLiteral("找不到這張訂單，它可能已被刪除。"); }

double settleOrder(Database& db, qlonglong order, std::optional<double> expectedTotal)
{
    Transaction t(db);

    // Marking the order first takes its row: a second terminal settling the
    // same order waits here and then finds it settled.
    QSqlQuery mark = db.exec(QStringLiteral("UPDATE 訂單資料表 SET 訂單狀態 = 1 WHERE 訂單編號 = ? AND 訂單狀態 = 0"),
                             {order});
    if (affectedRows(mark) != 1) {
        const QVariant status = db.scalar(QStringLiteral("SELECT 訂單狀態 FROM 訂單資料表 WHERE 訂單編號 = ?"), {order});
        throw DataError(status.isNull() ? orderGoneText() : alreadySettledText());
    }

    const QList<PricedLine> lines = pricedLines(db, order);
    if (lines.isEmpty())
        throw DataError(noLinesText());
    requireTeas(lines);
    const double total = checkoutTotal(lines);
    if (expectedTotal && *expectedTotal != total)
        throw DataError(QStringLiteral("這張訂單的明細或價格剛被修改，應收金額已不是 %1 元；沒有結帳，請重新結帳。")
                            .arg(formatNumber(*expectedTotal)));

    QSqlQuery take = db.prepare(QStringLiteral("UPDATE 茶葉資料表 SET 庫存 = %1 WHERE 編號 = ?")
                                    .arg(db.roundedAmount(QStringLiteral("COALESCE(庫存, 0) - ?"))));
    for (const PricedLine& l : lines) {
        db.run(take, {l.quantity.isNull() ? 0 : l.quantity.toLongLong(), l.tea});
        if (take.numRowsAffected() != 1)
            throw DataError(missingTeaText(l.tea));
    }
    take.finish();

    // The shop's balances live in the account table's first row.
    QSqlQuery credit = db.exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = %1 WHERE 帳號 = "
                                              "(SELECT 帳號 FROM 帳款資料表 ORDER BY 帳號 LIMIT 1)")
                                   .arg(db.roundedAmount(QStringLiteral("COALESCE(現金, 0) + ?"))),
                               {total});
    if (affectedRows(credit) != 1)
        throw DataError(QStringLiteral("帳款資料表沒有資料，無法把貨款記入現金。"));

    t.commit();
    return total;
}

} // namespace lumaro::OrderStore
