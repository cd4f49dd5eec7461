// Checkout: the priced summary of the selected order, and on Yes the order
// settled, the stock lowered and the cash raised in one transaction.

#include "orders/Order_frm.h"

#include "base/DisplayText.h"
#include "base/Numbers.h"
#include "books/OrderStore.h"
#include "books/Payments.h"
#include "books/TeaUnits.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "orders/Controls.h"
#include "platform/Failure.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QLabel>
#include <QPushButton>

namespace lumaro {

namespace {

const QChar kBreak(13); // the shop's message texts break lines with a lone CR

QString rule() { return QString(62, QLatin1Char('-')); }

// 結 帳 stands on the row above the lines, as high as the buttons beside it.
constexpr TwipsRect kCommand3{4440, 2700, 975, 300};

} // namespace

void Order_frm::buildCheckout()
{
    Command3 = controls::button(this, "Command3", QStringLiteral("結 帳"), kCommand3);
    connect(Command3, &QPushButton::clicked, this, handler([this] { Command3_Click(); }));
}

QString Order_frm::checkoutSummary(const QList<OrderStore::PricedLine>& lines, const OrderStore::Bill& bill)
{
    const QString ten(10, QLatin1Char(' '));
    const QString twelve(12, QLatin1Char(' '));
    QString text = QStringLiteral("您的訂單如下:") + kBreak;
    text += QStringLiteral("茶葉名稱") + ten + QStringLiteral("單價") + ten + QStringLiteral("數量") + ten +
            QStringLiteral("小計") + kBreak;
    text += rule() + kBreak;
    // A line of a tea not in 公斤 names its unit after the quantity ("4兩").
    const QHash<QString, QString> named = teaUnits::namedUnits(m_db);
    for (const OrderStore::PricedLine& line : lines) {
        const std::optional<lumaro::Money> sub = OrderStore::subtotal(line);
        const QString subText = sub ? sub->toString() : QString();
        text += displayText(line.name) + twelve + displayText(line.price) + twelve + displayText(line.quantity) +
                units::suffix(named.value(line.tea.toString())) + twelve + subText + kBreak;
    }
    showMoney(OrderStore::checkoutTotal(lines).toString());
    text += rule() + kBreak;
    // Without a discount the total is the label's, as it always was.
    if (bill.discount() == lumaro::Money())
        return text + QStringLiteral("總計:") + Money->text();
    text += QStringLiteral("折扣:-") + bill.discount().toString() + kBreak;
    return text + QStringLiteral("總計:") + bill.net().toString();
}

void Order_frm::Command3_Click()
{
    const QVariant order = currentOrder();
    if (order.isNull()) {
        prompts().message(OrderStore::chooseOrderFirstText());
        return;
    }
    // The summary and the charge are the selected order's own lines, read
    // afresh, whatever the line grid showed before.
    readLinesOf(order);
    const QList<OrderStore::PricedLine> lines = showTotal(); // a line whose tea is gone stops here
    if (lines.isEmpty()) {
        prompts().message(OrderStore::noLinesText());
        return;
    }
    OrderStore::requireChargeable(lines);
    // The discounts and the payment are refused before the question, with
    // the reason, rather than after the customer said yes.
    OrderStore::Bill bill;
    OrderStore::Payment payment;
    try {
        bill = OrderStore::bill(m_db, order.toLongLong(), lines);
        payment = typedPayment();
        OrderStore::charges(payments::activeMethods(m_db), bill.net(), payment);
    } catch (const DataError& e) {
        prompts().message(e.description());
        return;
    }

    const QString summary = checkoutSummary(lines, bill);
    bool settled = false;
    QVariantList changed;
    if (prompts().message(summary, Buttons::YesNo, QStringLiteral("訂單結帳")) == Answer::Yes) {
        try {
            // Settled for exactly the figure the customer was shown, or not at all.
            OrderStore::settleOrder(m_db, order.toLongLong(), OrderStore::Settle{bill.net(), bill.discount(), payment});
            settled = true;
            resetPayment();
            for (const OrderStore::PricedLine& line : lines)
                changed << line.tea;
        } catch (const Failure& f) {
            prompts().message(f.description());
        }
    }
    refreshAfterCheckout(changed);
    if (settled)
        emit orderSettled(order.toLongLong());
}

void Order_frm::refreshAfterCheckout(const QVariantList& teas)
{
    cmdRefresh_Click();
    if (datPrimaryRS->rowCount() > 0) {
        // Keep going to the tea list even when these lines cannot be totalled.
        runHandler([this] {
            datPrimaryRS->moveFirst();
            readLines();
        });
    }
    // The tea list shows the new stock of the teas sold, read back alone, and
    // stands on its first tea again, as after a re-read.
    Adodc2->refreshRows(teas);
    if (Adodc2->rowCount() > 0)
        Adodc2->moveFirst();
}

} // namespace lumaro
