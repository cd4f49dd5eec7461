#include "reports/DayReport_frm.h"

#include "base/Csv.h"
#include "base/Money.h"
#include "base/Numbers.h"
#include "books/MoneyMoves.h"
#include "forms/OwnerApproval.h"
#include "platform/Controls.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"
#include "reports/Export.h"
#include "reports/TakingsChart.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <optional>

namespace lumaro {

namespace {

const QString kTitle = QStringLiteral("盤點");

QString n(double kg) { return formatNumber(kg); }
QString n(Money amount) { return amount.toString(); }
// A quantity of a tea not in 公斤 names its unit ("4 兩").
QString withUnit(const QString& figure, const QString& unit)
{
    return unit.isEmpty() ? figure : QString(figure + QLatin1Char(' ') + unit.toHtmlEscaped());
}

} // namespace

QString DayReport_frm::reportHtml(const reports::DayReport& d)
{
    QString h;
    auto row = [&h](const QString& label, const QString& value) {
        h += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2</td></tr>").arg(label, value);
    };
    h += QStringLiteral("<h3>%1 日結</h3><table cellspacing=\"0\" cellpadding=\"3\">").arg(d.day.toString(Qt::ISODate));
    row(QStringLiteral("結帳訂單"), QStringLiteral("%1 張").arg(d.orders));
    // With returns, the takings are what the sales took less what was given back.
    if (!d.returns.isEmpty()) {
        row(QStringLiteral("銷售"), n(d.sales));
        row(QStringLiteral("退貨退款"), QStringLiteral("%1 筆，%2").arg(d.returns.size()).arg(n(-d.refunds)));
    }
    row(QStringLiteral("營業額"), n(d.takings));
    if (d.discounts != Money())
        row(QStringLiteral("折扣"), n(d.discounts));
    row(QStringLiteral("進貨"), QStringLiteral("%1 公斤，%2").arg(n(d.purchaseKg), n(d.purchaseCost)));
    row(QStringLiteral("存入銀行"), n(d.deposits));
    row(QStringLiteral("從銀行提出"), n(d.withdrawals));
    if (d.adjustments != Money())
        row(QStringLiteral("調整（盤點）"), n(d.adjustments));
    row(QStringLiteral("期初現金 / 期末現金"), QStringLiteral("%1 / %2").arg(n(d.openingCash), n(d.closingCash)));
    row(QStringLiteral("期初銀行 / 期末銀行"), QStringLiteral("%1 / %2").arg(n(d.openingBank), n(d.closingBank)));
    h += QStringLiteral("</table>");
    auto teas = [&h](const QString& title, const QString& amountHeader, const QList<reports::DayReport::TeaKg>& list) {
        if (list.isEmpty())
            return;
        h += QStringLiteral("<h4>%1</h4><table cellspacing=\"0\" cellpadding=\"3\"><tr><th align=\"left\">茶葉</th>"
                            "<th align=\"right\">公斤</th><th align=\"right\">%2</th></tr>")
                 .arg(title, amountHeader);
        for (const auto& t : list)
            h += QStringLiteral("<tr><td>%1 %2</td><td align=\"right\">%3</td><td align=\"right\">%4</td></tr>")
                     .arg(t.tea.toHtmlEscaped(), t.name.toHtmlEscaped(), withUnit(n(t.kg), t.unit), n(t.amount));
        h += QStringLiteral("</table>");
    };
    // What each method took in, to count against the drawer and the card
    // slips; only the drawer's part is in the cash above.
    if (!d.byMethod.isEmpty()) {
        h += QStringLiteral("<h4>各付款方式</h4><table cellspacing=\"0\" cellpadding=\"3\"><tr><th align=\"left\">"
                            "付款方式</th><th align=\"right\">筆數</th><th align=\"right\">金額</th></tr>");
        for (const reports::Paid& p : d.byMethod)
            h += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2</td><td align=\"right\">%3</td></tr>")
                     .arg(p.method.toHtmlEscaped())
                     .arg(p.sales)
                     .arg(n(p.amount));
        h += QStringLiteral("</table>");
    }
    if (!d.returns.isEmpty()) {
        h += QStringLiteral(
            "<h4>退貨與作廢</h4><table cellspacing=\"0\" cellpadding=\"3\"><tr><th align=\"left\">時間"
            "</th><th align=\"left\">訂單</th><th align=\"left\">種類</th><th align=\"left\">退款方式</th>"
            "<th align=\"right\">退款</th><th align=\"left\">原因</th></tr>");
        for (const reports::DayReport::Returned& r : d.returns)
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td align=\"right\">%5</td>"
                                "<td>%6</td></tr>")
                     .arg(r.made.toString(QStringLiteral("HH:mm")))
                     .arg(r.order)
                     .arg(r.kind.toHtmlEscaped(), r.method.toHtmlEscaped(), n(r.refund), r.reason.toHtmlEscaped());
        h += QStringLiteral("</table><h4>各付款方式退款</h4><table cellspacing=\"0\" cellpadding=\"3\"><tr>"
                            "<th align=\"left\">付款方式</th><th align=\"right\">筆數</th><th align=\"right\">金額"
                            "</th></tr>");
        for (const reports::Paid& p : d.refundsByMethod)
            h += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2</td><td align=\"right\">%3</td></tr>")
                     .arg(p.method.toHtmlEscaped())
                     .arg(p.sales)
                     .arg(n(p.amount));
        h += QStringLiteral("</table>");
    }
    // Who did what: the sales and discounts, the returns and voids, the
    // adjustments, and how many of their moves an owner allowed.
    if (!d.byPerson.isEmpty()) {
        h += QStringLiteral("<h4>各人員</h4><table cellspacing=\"0\" cellpadding=\"3\"><tr><th align=\"left\">人員"
                            "</th><th align=\"right\">結帳</th><th align=\"right\">營業額</th><th align=\"right\">"
                            "折扣</th><th align=\"right\">退貨與作廢</th><th align=\"right\">調整</th>"
                            "<th align=\"right\">老闆核准</th></tr>");
        for (const reports::DayReport::ByPerson& p : d.byPerson)
            h += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2 張</td><td align=\"right\">%3</td>"
                                "<td align=\"right\">%4</td><td align=\"right\">%5 筆，%6</td>"
                                "<td align=\"right\">%7 筆，%8</td><td align=\"right\">%9 筆</td></tr>")
                     .arg(p.name.toHtmlEscaped())
                     .arg(p.sales)
                     .arg(n(p.takings), n(p.discounts))
                     .arg(p.returns)
                     .arg(n(p.refunds))
                     .arg(p.adjustments)
                     .arg(n(p.adjusted))
                     .arg(p.approved);
        h += QStringLiteral("</table>");
    }
    teas(QStringLiteral("各茶葉售出"), QStringLiteral("金額"), d.sold);
    teas(QStringLiteral("各茶葉進貨"), QStringLiteral("成本"), d.bought);
    return h;
}

DayReport_frm::DayReport_frm(Database& db, QWidget* parent) : Form(QStringLiteral("日結"), parent), m_db(db)
{
    setObjectName(QStringLiteral("DayReport_frm"));
    dtDay = new QDateEdit(QDate::currentDate(), this);
    dtDay->setObjectName(QStringLiteral("dtDay"));
    dtDay->setCalendarPopup(true);
    dtDay->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    txtReport = new QTextBrowser(this);
    txtReport->setObjectName(QStringLiteral("txtReport"));
    chartTakings = new TakingsChart(this);
    cmdExport = controls::button(this, "cmdExport", QStringLiteral("匯出當日日誌 CSV…"));

    lblBookCash = new QLabel(this);
    lblBookCash->setObjectName(QStringLiteral("lblBookCash"));
    txtCounted = new QLineEdit(this);
    txtCounted->setObjectName(QStringLiteral("txtCounted"));
    lblDifference = new QLabel(this);
    lblDifference->setObjectName(QStringLiteral("lblDifference"));
    txtReason = new QLineEdit(QStringLiteral("盤點"), this);
    txtReason->setObjectName(QStringLiteral("txtReason"));
    cmdAdjust = controls::button(this, "cmdAdjust", QStringLiteral("存成調整"));

    auto* count = new QGroupBox(QStringLiteral("盤點現金"), this);
    auto* grid = new QGridLayout(count);
    grid->addWidget(new QLabel(QStringLiteral("帳上現金："), count), 0, 0);
    grid->addWidget(lblBookCash, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("抽屜裡點算的現金："), count), 1, 0);
    grid->addWidget(txtCounted, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("差額："), count), 2, 0);
    grid->addWidget(lblDifference, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("原因："), count), 3, 0);
    grid->addWidget(txtReason, 3, 1);
    grid->addWidget(cmdAdjust, 4, 1, Qt::AlignRight);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("日期："), this));
    top->addWidget(dtDay);
    top->addStretch();
    top->addWidget(cmdExport);
    auto* side = new QVBoxLayout;
    side->addWidget(count);
    side->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(txtReport, 3);
    body->addLayout(side, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(body, 1);
    layout->addWidget(chartTakings, 1);

    connect(dtDay, &QDateEdit::dateChanged, this, handler([this] { reload(); }));
    connect(txtCounted, &QLineEdit::textChanged, this, handler([this] { txtCounted_Change(); }));
    connect(cmdAdjust, &QPushButton::clicked, this, handler([this] { cmdAdjust_Click(); }));
    connect(cmdExport, &QPushButton::clicked, this, handler([this] { cmdExport_Click(); }));
    runHandler([this] { reload(); });
}

void DayReport_frm::Form_Activate() { reload(); }

void DayReport_frm::reload()
{
    const QDate day = dtDay->date();
    m_report = reports::dayReport(m_db, day);
    txtReport->setHtml(reportHtml(m_report));
    chartTakings->setTakings(day, reports::dailyTakings(m_db, day, 30));
    // The figure a count is stored against: read as the move reads it.
    m_bookCash = money::accountRow(m_db).cash;
    lblBookCash->setText(m_bookCash.toString());
    txtCounted_Change();
}

void DayReport_frm::txtCounted_Change()
{
    bool tooFine = false;
    const std::optional<Money> counted = Money::readExact(txtCounted->text(), &tooFine);
    if (!counted) {
        lblDifference->setText(txtCounted->text().trimmed().isEmpty() ? QString()
                               : tooFine                              ? QStringLiteral("（最多四位小數）")
                                                                      : QStringLiteral("（不是金額）"));
        cmdAdjust->setEnabled(false);
        return;
    }
    const Money diff = *counted - m_bookCash;
    lblDifference->setText(diff == Money()  ? QStringLiteral("0（相符）")
                           : diff > Money() ? QStringLiteral("多 %1").arg(diff.toString())
                                            : QStringLiteral("少 %1").arg((-diff).toString()));
    cmdAdjust->setEnabled(diff != Money());
}

void DayReport_frm::cmdAdjust_Click()
{
    bool tooFine = false;
    const std::optional<Money> counted = Money::readExact(txtCounted->text(), &tooFine);
    if (!counted) {
        prompts().message(tooFine ? moneyPrecisionRefusal(QStringLiteral("點算的現金"), txtCounted->text().trimmed())
                                  : QStringLiteral("請輸入抽屜裡點算的現金金額。"),
                          Buttons::Ok, kTitle);
        return;
    }
    const QString reason = txtReason->text().trimmed();
    if (reason.isEmpty()) {
        prompts().message(QStringLiteral("請寫下調整的原因。"), Buttons::Ok, kTitle);
        return;
    }
    // What is stored is the count, against the book cash the question shows.
    // When the books change before the answer (another terminal sold, or
    // stored this same count), the move refuses and the question is asked
    // again with the new difference.
    QString changed;
    for (;;) {
        m_bookCash = money::accountRow(m_db).cash;
        const Money diff = *counted - m_bookCash;
        if (diff == Money()) {
            prompts().message(changed + QStringLiteral("點算的現金與帳上相符，不需要調整。"), Buttons::Ok, kTitle);
            reload();
            return;
        }
        const QString question = changed + QStringLiteral("帳上現金 %1，點算 %2，差額 %3。\r要把差額存成調整嗎？")
                                               .arg(m_bookCash.toString(), counted->toString(), diff.toString());
        if (prompts().message(question, Buttons::YesNo, kTitle) != Answer::Yes)
            return;
        try {
            if (!withRight(m_db, people::Right::Adjust, [&] { money::countCash(m_db, *counted, m_bookCash, reason); }))
                return;
            break;
        } catch (const money::CashChanged& c) {
            changed = c.description() + QChar(13);
            reload(); // the screen shows the new book cash and difference too
        }
    }
    // Stored once: the count is cleared, so a second click has nothing to store.
    txtCounted->clear();
    reload();
}

void DayReport_frm::cmdExport_Click()
{
    const QDate day = dtDay->date();
    exportCsv(m_db, QStringLiteral("匯出日誌"), QStringLiteral("日誌-%1.csv").arg(day.toString(Qt::ISODate)),
              [&](CsvFile& csv) { return reports::exportJournal(m_db, csv, day, day); });
}

} // namespace lumaro
