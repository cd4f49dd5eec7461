#include "reports/Return_frm.h"

#include "base/Failures.h"
#include "base/Units.h"
#include "books/Kinds.h"
#include "books/Payments.h"
#include "data/DataError.h"
#include "forms/OwnerApproval.h"
#include "platform/Controls.h"
#include "platform/Failure.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"
#include "reports/Receipt.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumaro {

namespace {

const QString kTitle = QStringLiteral("退貨");

QString esc(const QString& s) { return s.toHtmlEscaped(); }

// A quantity with its unit named, 公斤 included: a return slip is read
// without the screen beside it.
QString quantity(Money q, const QString& unit)
{
    return q.toString() + QLatin1Char(' ') + (unit.isEmpty() ? units::kilogram().name : unit);
}

QTableWidgetItem* cell(const QString& text, bool number = false)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

QString returnSlipHtml(const returns::Slip& s)
{
    QString h = QStringLiteral("<html><body>");
    h += QStringLiteral("<h2 align=\"center\">%1</h2>").arg(esc(s.shopName));
    if (!s.shopAddress.isEmpty())
        h += QStringLiteral("<p align=\"center\">%1</p>").arg(esc(s.shopAddress));
    if (!s.shopPhone.isEmpty())
        h += QStringLiteral("<p align=\"center\">電話：%1</p>").arg(esc(s.shopPhone));
    h += QStringLiteral("<h3 align=\"center\">%1</h3>")
             .arg(s.kind == moves::kind::Void.name ? QStringLiteral("作廢單") : QStringLiteral("退貨單"));
    h += QStringLiteral("<p>訂單編號：%1<br>結帳日期：%2<br>客戶：%3<br>%4日期：%5</p>")
             .arg(s.order)
             .arg(s.settled.toString(QStringLiteral("yyyy-MM-dd HH:mm")), esc(s.customer), esc(s.kind),
                  s.made.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    h += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">"
                        "<tr><th align=\"left\" width=\"46%\">茶葉</th><th align=\"right\">數量</th>"
                        "<th align=\"right\">退款</th></tr>");
    for (const returns::Slip::Line& l : s.lines)
        h += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2</td><td align=\"right\">%3</td></tr>")
                 .arg(esc(l.name), esc(quantity(l.quantity, l.unit)), l.refund.toString());
    h += QStringLiteral("</table><hr>");
    h += QStringLiteral("<p align=\"right\"><b>退款：%1</b><br>退款方式：%2</p>")
             .arg(s.refund.toString(), esc(s.method));
    h += QStringLiteral("<p>原因：%1<br>茶葉：%2</p>")
             .arg(esc(s.reason), s.writtenOff ? QStringLiteral("報廢") : QStringLiteral("放回庫存"));
    h += QStringLiteral("</body></html>");
    return h;
}

void saveReturnSlipPdf(const returns::Slip& s, const QString& path)
{
    saveSlipPdf(returnSlipHtml(s), QStringLiteral("%1單 %2").arg(s.kind).arg(s.order), path);
}

ReturnSlipWindow::ReturnSlipWindow(returns::Slip slip, QWidget* parent)
    : SlipWindow(QStringLiteral("ReturnSlipWindow"), QStringLiteral("txtSlip"), slip.kind + QStringLiteral("單"),
                 slip.order, returnSlipHtml(slip), parent),
      m_slip(std::move(slip))
{
}

ReturnSlipWindow* showReturnSlip(const returns::Slip& slip, QWidget* parent)
{
    auto* w = new ReturnSlipWindow(slip, parent);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

Return_frm::Return_frm(Database& db, qlonglong order, QWidget* parent)
    : QWidget(parent, Qt::Window), m_db(db), m_sale(returns::sale(db, order))
{
    setObjectName(QStringLiteral("Return_frm"));
    setWindowTitle(QStringLiteral("退貨 - 訂單 %1").arg(order));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setBackground(this, lightYellow());

    lblSale = new QLabel(this);
    lblSale->setObjectName(QStringLiteral("lblSale"));
    QString sale = QStringLiteral("訂單 %1，%2 結帳，客戶：%3，付款 %4 元（%5）")
                       .arg(m_sale.order)
                       .arg(m_sale.settled.toString(QStringLiteral("yyyy-MM-dd HH:mm")), m_sale.customer,
                            m_sale.total.toString(), m_sale.method);
    if (m_sale.refunded != Money())
        sale += QStringLiteral("，已退款 %1 元").arg(m_sale.refunded.toString());
    lblSale->setText(sale);
    lblSale->setWordWrap(true);

    grdLines = new QTableWidget(int(m_sale.lines.size()), 7, this);
    grdLines->setObjectName(QStringLiteral("grdLines"));
    grdLines->setHorizontalHeaderLabels({QStringLiteral("茶葉編號"), QStringLiteral("茶葉名稱"), QStringLiteral("賣出"),
                                         QStringLiteral("已退"), QStringLiteral("可退"), QStringLiteral("實付"),
                                         QStringLiteral("退貨數量")});
    grdLines->verticalHeader()->hide();
    grdLines->setSelectionMode(QAbstractItemView::NoSelection);
    grdLines->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < m_sale.lines.size(); ++i) {
        const returns::SoldLine& l = m_sale.lines[i];
        grdLines->setItem(i, 0, cell(l.tea));
        grdLines->setItem(i, 1, cell(l.name));
        grdLines->setItem(i, 2, cell(quantity(l.quantity, l.unit), true));
        grdLines->setItem(i, 3, cell(l.returned == Money() ? QString() : quantity(l.returned, l.unit), true));
        grdLines->setItem(i, 4, cell(quantity(l.left(), l.unit), true));
        grdLines->setItem(i, 5, cell(l.net.toString(), true));
        auto* box = new QLineEdit(grdLines);
        box->setObjectName(QStringLiteral("txtQty_%1").arg(i));
        box->setEnabled(l.left() > Money());
        grdLines->setCellWidget(i, 6, box);
        txtQty << box;
        connect(box, &QLineEdit::textChanged, this, handler([this] { UpdateRefund(); }));
    }
    grdLines->resizeColumnsToContents();

    txtReason = new QLineEdit(this);
    txtReason->setObjectName(QStringLiteral("txtReason"));
    cboWhere = new QComboBox(this);
    cboWhere->setObjectName(QStringLiteral("cboWhere"));
    cboWhere->addItems({QStringLiteral("回庫存"), QStringLiteral("報廢")});
    // Why tea that comes back unfit is written off: what 損耗報表 files it under.
    cboWriteOffReason = new QComboBox(this);
    cboWriteOffReason->setObjectName(QStringLiteral("cboWriteOffReason"));
    for (const QString& r : moves::reason::all())
        if (r != moves::reason::Counted)
            cboWriteOffReason->addItem(r);
    cboWriteOffReason->setCurrentText(moves::reason::Damaged);
    cboWriteOffReason->setEnabled(false);
    connect(cboWhere, &QComboBox::currentIndexChanged, this,
            [this](int index) { cboWriteOffReason->setEnabled(index == 1); });
    cboMethod = new QComboBox(this);
    cboMethod->setObjectName(QStringLiteral("cboMethod"));
    for (const payments::Method& m : payments::activeMethods(m_db))
        cboMethod->addItem(m.name);
    if (cboMethod->findText(m_sale.method) < 0)
        cboMethod->addItem(m_sale.method); // retired since, still the sale's own
    cboMethod->setCurrentText(m_sale.method);
    lblRefund = new QLabel(this);
    lblRefund->setObjectName(QStringLiteral("lblRefund"));
    cmdOk = controls::button(this, "cmdOk", QStringLiteral("確定退貨"));
    cmdCancel = controls::button(this, "cmdCancel", QStringLiteral("取消"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("原因："), txtReason);
    form->addRow(QStringLiteral("茶葉："), cboWhere);
    form->addRow(QStringLiteral("報廢原因："), cboWriteOffReason);
    form->addRow(QStringLiteral("退款方式："), cboMethod);
    form->addRow(QStringLiteral("退款："), lblRefund);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSale);
    layout->addWidget(grdLines, 1);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(720, 420);

    connect(cmdOk, &QPushButton::clicked, this, handler([this] { cmdOk_Click(); }));
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
    UpdateRefund();
}

Return_frm::Typed Return_frm::typed() const
{
    Typed t;
    for (int i = 0; i < txtQty.size(); ++i) {
        const QString text = txtQty[i]->text().trimmed();
        if (text.isEmpty())
            continue;
        const returns::SoldLine& l = m_sale.lines[i];
        const units::Unit* unit = l.unit.isEmpty() ? &units::kilogram() : units::find(l.unit);
        units::Reading r{0, QStringLiteral("單位不明")};
        std::optional<Money> q;
        try {
            if (unit)
                r = units::readExact(text, *unit);
            if (r.ok() && r.value > 0)
                q = Money::fromDouble(r.value);
        } catch (const NumberError&) {
            r.refusal = QStringLiteral("數值溢位");
        }
        if (!q || *q == Money()) {
            t.problem = QStringLiteral("茶葉 %1 的退貨數量「%2」不是可以退的數量%3。")
                            .arg(l.tea, text, r.ok() ? QString() : QStringLiteral("：") + r.refusal);
            return t;
        }
        if (unit && unit->measure == units::Measure::Count && q->units() % Money::Scale != 0) {
            t.problem = QStringLiteral("茶葉 %1 以「%2」計，退貨數量要是整數。").arg(l.tea, unit->name);
            return t;
        }
        if (*q > l.left()) {
            t.problem = QStringLiteral("茶葉 %1 只剩 %2 可以退，不能退 %3。")
                            .arg(l.tea, quantity(l.left(), l.unit), quantity(*q, l.unit));
            return t;
        }
        t.quantities << std::pair{l.row, *q};
        t.refund += returns::refundOf(l, *q);
    }
    return t;
}

void Return_frm::UpdateRefund()
{
    const Typed t = typed();
    lblRefund->setText(!t.problem.isEmpty() ? t.problem : QStringLiteral("%1 元").arg(t.refund.toString()));
    cmdOk->setEnabled(t.problem.isEmpty() && !t.quantities.isEmpty());
}

void Return_frm::cmdOk_Click()
{
    const Typed t = typed();
    if (!t.problem.isEmpty()) {
        prompts().message(t.problem, Buttons::Ok, kTitle);
        return;
    }
    if (t.quantities.isEmpty()) {
        prompts().message(QStringLiteral("請在要退的明細填上數量。"), Buttons::Ok, kTitle);
        return;
    }
    const QString reason = txtReason->text().trimmed();
    if (reason.isEmpty()) {
        prompts().message(QStringLiteral("請寫下退貨的原因。"), Buttons::Ok, kTitle);
        return;
    }
    const bool writeOff = cboWhere->currentIndex() == 1;
    const QString question = QStringLiteral("退貨 %1 元給客戶（%2），茶葉%3。\r確定嗎？")
                                 .arg(t.refund.toString(), cboMethod->currentText(),
                                      writeOff ? QStringLiteral("報廢") : QStringLiteral("放回庫存"));
    if (prompts().message(question, Buttons::YesNo, kTitle) != Answer::Yes)
        return;
    returns::Request request;
    request.order = m_sale.order;
    request.quantities = t.quantities;
    request.reason = reason;
    request.destination = writeOff ? returns::Destination::WriteOff : returns::Destination::Stock;
    if (writeOff)
        request.writeOffReason = cboWriteOffReason->currentText();
    request.method = cboMethod->currentText();
    request.expectedRefund = t.refund;
    returns::Slip slip;
    try {
        // Asked at the moment the return is stored, so the owner approves the
        // return as typed and the approval is on its journal rows.
        if (!withRight(m_db, people::Right::ReturnOrVoid, [&] { slip = returns::returnSale(m_db, request); }))
            return;
    } catch (const Failure& f) {
        prompts().message(f.description(), Buttons::Ok, kTitle);
        return;
    }
    emit stored();
    m_slipWindow = showReturnSlip(slip, parentWidget());
    close();
}

} // namespace lumaro
