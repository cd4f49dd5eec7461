#include "reports/SalesHistory_frm.h"

#include "base/Csv.h"
#include "base/Numbers.h"
#include "books/Kinds.h"
#include "books/People.h"
#include "books/Returns.h"
#include "forms/OwnerApproval.h"
#include "forms/ShapedTextDelegate.h"
#include "platform/Controls.h"
#include "platform/Failure.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"
#include "reports/Export.h"
#include "reports/Receipt.h"
#include "reports/Return_frm.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtMath>

namespace lumaro {

// The lines of one order, read-only. A model rather than a table of items:
// the view asks only for the rows in sight, so an order of hundreds of lines
// is shown as fast as one of three.
class SaleLinesModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setLines(QList<reports::SaleLine> lines)
    {
        beginResetModel();
        m_lines = std::move(lines);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_lines.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 5; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid))
            return {};
        const reports::SaleLine& l = m_lines[index.row()];
        if (role == Qt::TextAlignmentRole)
            return index.column() >= 2 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0:
            return l.tea;
        case 1:
            return l.name;
        case 2:
            return l.unit.isEmpty() ? formatNumber(l.kg) : QString(formatNumber(l.kg) + QLatin1Char(' ') + l.unit);
        case 3:
            return l.price.toString();
        default:
            return l.subtotal.toString();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const QStringList headers{QStringLiteral("茶葉編號"), QStringLiteral("茶葉名稱"), QStringLiteral("公斤"),
                                         QStringLiteral("單價"), QStringLiteral("小計")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers.size())
            return headers[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    QList<reports::SaleLine> m_lines;
};

namespace {

// The look both lists share: read-only, one whole row chosen at a time.
template <class View>
View* table(QWidget* parent, const char* name)
{
    auto* t = new View(parent);
    t->setObjectName(QLatin1String(name));
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    t->setItemDelegate(new ShapedTextDelegate(t));
    return t;
}

QTableWidgetItem* cell(const QString& text, bool number = false)
{
    auto* item = new QTableWidgetItem(text);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QDateEdit* dateEdit(QWidget* parent, const char* name)
{
    auto* d = new QDateEdit(QDate::currentDate(), parent);
    d->setObjectName(QLatin1String(name));
    d->setCalendarPopup(true);
    d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return d;
}

} // namespace

SalesHistory_frm::SalesHistory_frm(Database& db, QWidget* parent) : Form(QStringLiteral("銷售紀錄"), parent), m_db(db)
{
    setObjectName(QStringLiteral("SalesHistory_frm"));
    dtFrom = dateEdit(this, "dtFrom");
    dtTo = dateEdit(this, "dtTo");
    txtCustomer = new QLineEdit(this);
    txtCustomer->setObjectName(QStringLiteral("txtCustomer"));
    txtCustomer->setPlaceholderText(QStringLiteral("客戶名稱的一部分"));
    lblPerson = new QLabel(QStringLiteral("人員："), this);
    lblPerson->setObjectName(QStringLiteral("lblPersonFilter"));
    cboPerson = new QComboBox(this);
    cboPerson->setObjectName(QStringLiteral("cboPerson"));
    cmdSearch = controls::button(this, "cmdSearch", QStringLiteral("查詢"));
    grdSales = table<QTableWidget>(this, "grdSales");
    grdSales->setColumnCount(6);
    grdSales->setHorizontalHeaderLabels({QStringLiteral("訂單編號"), QStringLiteral("結帳時間"),
                                         QStringLiteral("客戶名稱"), QStringLiteral("總價"), QStringLiteral("折扣"),
                                         QStringLiteral("付款方式")});
    // Wide enough for a settling time on one line, whatever the font.
    grdSales->setWordWrap(false);
    grdSales->setColumnWidth(1, grdSales->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 16);
    cmdMore = controls::button(this, "cmdMore", QStringLiteral("顯示更多"));
    lblMethods = new QLabel(this);
    lblMethods->setObjectName(QStringLiteral("lblMethods"));
    lblMethods->setWordWrap(true);
    grdLines = table<QTableView>(this, "grdLines");
    m_lines = new SaleLinesModel(grdLines);
    grdLines->setModel(m_lines);
    lblTotal = new QLabel(this);
    lblTotal->setObjectName(QStringLiteral("lblTotal"));
    cmdReceipt = controls::button(this, "cmdReceipt", QStringLiteral("收據…"));
    cmdExport = controls::button(this, "cmdExport", QStringLiteral("匯出 CSV…"));
    cmdReturn = controls::button(this, "cmdReturn", QStringLiteral("退貨…"));
    cmdVoid = controls::button(this, "cmdVoid", QStringLiteral("作廢…"));

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("從"), this));
    filterRow->addWidget(dtFrom);
    filterRow->addWidget(new QLabel(QStringLiteral("到"), this));
    filterRow->addWidget(dtTo);
    filterRow->addWidget(new QLabel(QStringLiteral("客戶："), this));
    filterRow->addWidget(txtCustomer, 1);
    filterRow->addWidget(lblPerson);
    filterRow->addWidget(cboPerson);
    filterRow->addWidget(cmdSearch);
    filterRow->addWidget(cmdExport);

    auto* left = new QVBoxLayout;
    left->addWidget(grdSales);
    left->addWidget(cmdMore);
    left->addWidget(lblMethods);
    auto* right = new QVBoxLayout;
    right->addWidget(grdLines);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblTotal, 1);
    bottom->addWidget(cmdReceipt);
    bottom->addWidget(cmdReturn);
    bottom->addWidget(cmdVoid);
    right->addLayout(bottom);
    auto* body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addLayout(body, 1);

    connect(cmdSearch, &QPushButton::clicked, this, handler([this] { cmdSearch_Click(); }));
    connect(txtCustomer, &QLineEdit::returnPressed, this, handler([this] { cmdSearch_Click(); }));
    connect(cmdMore, &QPushButton::clicked, this, handler([this] { cmdMore_Click(); }));
    connect(cmdReceipt, &QPushButton::clicked, this, handler([this] { cmdReceipt_Click(); }));
    connect(cmdExport, &QPushButton::clicked, this, handler([this] { cmdExport_Click(); }));
    connect(cmdReturn, &QPushButton::clicked, this, handler([this] { cmdReturn_Click(); }));
    connect(cmdVoid, &QPushButton::clicked, this, handler([this] { cmdVoid_Click(); }));
    connect(grdSales, &QTableWidget::currentCellChanged, this, handler([this] { showLines(); }));

    runHandler([this] {
        fillPeople();
        cmdSearch_Click();
    });
}

void SalesHistory_frm::fillPeople()
{
    const QVariant chosen = cboPerson->currentData();
    const QList<people::Person> everyone = people::all(m_db);
    cboPerson->clear();
    cboPerson->addItem(QStringLiteral("全部人員"));
    for (const people::Person& p : everyone)
        cboPerson->addItem(p.retired ? QStringLiteral("%1（停用）").arg(p.name) : p.name, p.id);
    const int again = chosen.isNull() ? 0 : cboPerson->findData(chosen);
    cboPerson->setCurrentIndex(again < 0 ? 0 : again);
    // A shop of one sees the screen as it always was.
    lblPerson->setVisible(everyone.size() > 1);
    cboPerson->setVisible(everyone.size() > 1);
}

reports::SalesFilter SalesHistory_frm::filter() const
{
    reports::SalesFilter f;
    f.from = dtFrom->date();
    f.to = dtTo->date();
    if (f.to < f.from)
        std::swap(f.from, f.to);
    f.customer = txtCustomer->text().trimmed();
    f.person = cboPerson->currentData();
    return f;
}

void SalesHistory_frm::cmdSearch_Click()
{
    m_shown = filter();
    m_cursor.clear();
    grdSales->setRowCount(0);
    m_byMethod.clear();
    appendPage();
    if (grdSales->rowCount() > 0)
        grdSales->setCurrentCell(0, 0);
    else
        showLines();
}

void SalesHistory_frm::cmdMore_Click() { appendPage(); }

void SalesHistory_frm::appendPage()
{
    const QList<reports::Sale> page = reports::salesPage(m_db, m_shown, kPage, m_cursor);
    int row = grdSales->rowCount();
    // The list's first page sets the widths of the money columns again, a
    // later one only widens them.
    if (row == 0)
        m_moneyWidths = {};
    grdSales->setRowCount(row + int(page.size()));
    for (const reports::Sale& s : page) {
        // The sale's data goes on its first cell before the cell is in the
        // list, which would otherwise repaint it for each value.
        QTableWidgetItem* first = cell(QString::number(s.order), true);
        first->setData(Qt::UserRole, s.order);
        first->setData(Qt::UserRole + 1, s.estimated);
        first->setData(Qt::UserRole + 2, s.move);
        first->setData(Qt::UserRole + 3, QVariant::fromValue(s.refunded.units()));
        grdSales->setItem(row, 0, first);
        // An order settled before the journal has its order date, often without a time.
        const bool dateOnly = s.estimated && s.settled.time() == QTime(0, 0);
        grdSales->setItem(row, 1,
                          cell(s.settled.toString(dateOnly ? QStringLiteral("yyyy-MM-dd")
                                                           : QStringLiteral("yyyy-MM-dd HH:mm"))));
        grdSales->setItem(row, 2, cell(s.customer));
        // A sale with returns shows what it comes to now, and what was given back.
        grdSales->setItem(row, 3,
                          cell(s.refunded == Money()
                                   ? s.total.toString()
                                   : QStringLiteral("%1（已退 %2）")
                                         .arg((s.total - s.refunded).toString(), s.refunded.toString()),
                               true));
        grdSales->setItem(row, 4, cell(s.discount == Money() ? QString() : s.discount.toString(), true));
        for (int c : {3, 4})
            m_moneyWidths[c - 3] = std::max(m_moneyWidths[c - 3], textWidth(grdSales->item(row, c)->text()));
        grdSales->setItem(row, 5, cell(s.methods));
        ++row;
    }
    // A sale with returns shows two figures in its total; the discounts give
    // it the room. Each column is as wide as its header or its widest text,
    // measured once per text rather than laid out cell by cell.
    for (int c : {3, 4})
        grdSales->setColumnWidth(c, std::max(grdSales->horizontalHeader()->sectionSizeHint(c), m_moneyWidths[c - 3]));
    if (!page.isEmpty())
        m_cursor = page.last().cursor;
    // The takings per method of the sales listed so far: summed as the pages
    // come, so ten years of sales cost nothing more than the page shown.
    // Refunds are taken off the method they were paid back by.
    for (const reports::Sale& s : page) {
        auto add = [this](const reports::Paid& p) {
            auto same = std::find_if(m_byMethod.begin(), m_byMethod.end(),
                                     [&](const reports::Paid& q) { return q.method == p.method; });
            if (same == m_byMethod.end())
                m_byMethod << p;
            else
                *same = reports::Paid{p.method, same->amount + p.amount, same->sales + p.sales};
        };
        for (const reports::Paid& p : s.paid)
            add(p);
        for (const reports::Paid& p : s.refunds)
            add(reports::Paid{p.method, -p.amount, 0});
    }
    QStringList methods;
    for (const reports::Paid& p : m_byMethod)
        methods << QStringLiteral("%1 %2（%3 筆）").arg(p.method, p.amount.toString()).arg(p.sales);
    lblMethods->setText(
        methods.isEmpty() ? QString() : QStringLiteral("列出的訂單各付款方式：") + methods.join(QStringLiteral("、")));
    cmdMore->setEnabled(page.size() == kPage);
}

int SalesHistory_frm::textWidth(const QString& text) const
{
    if (text.isEmpty())
        return 0;
    // What the view's own measure adds to a cell's text: the item's margins
    // either side and the grid line.
    const int margin = 2 * (grdSales->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grdSales) + 1);
    // The text's own width, rounded up: a width rounded down leaves the
    // cell a fraction short, and the view elides the figure.
    const qreal advance = QFontMetricsF(grdSales->font()).horizontalAdvance(text);
    return qCeil(advance) + margin + (grdSales->showGrid() ? 1 : 0);
}

qlonglong SalesHistory_frm::currentOrder() const
{
    const int row = grdSales->currentRow();
    if (row < 0 || !grdSales->item(row, 0))
        return 0;
    return grdSales->item(row, 0)->data(Qt::UserRole).toLongLong();
}

void SalesHistory_frm::showLines()
{
    m_lines->setLines({});
    const qlonglong order = currentOrder();
    cmdReceipt->setEnabled(order != 0);
    const bool journaled = order != 0 && !grdSales->item(grdSales->currentRow(), 0)->data(Qt::UserRole + 1).toBool();
    cmdReturn->setEnabled(journaled);
    cmdVoid->setEnabled(journaled);
    if (!order) {
        lblTotal->setText(grdSales->rowCount() ? QString() : QStringLiteral("這段期間沒有結帳的訂單"));
        return;
    }
    const int current = grdSales->currentRow();
    QList<reports::SaleLine> lines = reports::saleLines(m_db, order);
    // Each return follows the lines, its quantities and refunds negative.
    const Money refunded = Money::fromUnits(grdSales->item(current, 0)->data(Qt::UserRole + 3).toLongLong());
    QStringList given;
    if (refunded != Money())
        for (const returns::Given& g :
             returns::returnsOf(m_db, grdSales->item(current, 0)->data(Qt::UserRole + 2).toString())) {
            for (const returns::Slip::Line& l : returns::slip(m_db, g.move).lines) {
                reports::SaleLine r;
                r.tea = l.tea;
                r.name = QStringLiteral("（%1）%2").arg(g.kind, l.name);
                r.kg = -l.quantity.toDouble();
                r.unit = l.unit;
                r.subtotal = -l.refund;
                // What each unit given back was refunded, its share of the
                // discounts taken off.
                if (l.quantity != Money())
                    r.price = Money::fromDouble(l.refund.toDouble() / l.quantity.toDouble());
                lines << r;
            }
            given << QStringLiteral("%1 %2 %3 元（%4）")
                         .arg(g.made.toString(QStringLiteral("MM-dd HH:mm")), g.kind, g.refund.toString(), g.method);
        }
    m_lines->setLines(lines);
    grdLines->resizeColumnToContents(1);
    QString total = QStringLiteral("訂單 %1 總價：%2").arg(order).arg(grdSales->item(current, 3)->text());
    if (const QString discount = grdSales->item(current, 4)->text(); !discount.isEmpty())
        total += QStringLiteral("（折扣 %1）").arg(discount);
    if (grdSales->item(current, 0)->data(Qt::UserRole + 1).toBool())
        total += QStringLiteral("（帳務日誌啟用前結帳，依目前訂價估計）");
    if (!given.isEmpty())
        total += QStringLiteral("；") + given.join(QStringLiteral("、"));
    lblTotal->setText(total);
}

void SalesHistory_frm::cmdReceipt_Click()
{
    const qlonglong order = currentOrder();
    if (!order) {
        prompts().message(QStringLiteral("請先選擇訂單"));
        return;
    }
    showReceipt(m_db, order, this);
}

void SalesHistory_frm::reloadKeeping(qlonglong order)
{
    const int row = std::max(grdSales->currentRow(), 0);
    cmdSearch_Click();
    for (int r = 0; r < grdSales->rowCount(); ++r)
        if (grdSales->item(r, 0)->data(Qt::UserRole).toLongLong() == order) {
            grdSales->setCurrentCell(r, 0);
            return;
        }
    if (grdSales->rowCount() > 0)
        grdSales->setCurrentCell(std::min(row, grdSales->rowCount() - 1), 0);
}

void SalesHistory_frm::cmdReturn_Click()
{
    const qlonglong order = currentOrder();
    if (!order) {
        prompts().message(QStringLiteral("請先選擇訂單"));
        return;
    }
    auto* w = new Return_frm(m_db, order, this);
    connect(w, &Return_frm::stored, this, handler([this, order] { reloadKeeping(order); }));
    w->show();
}

void SalesHistory_frm::cmdVoid_Click()
{
    const QString title = QStringLiteral("作廢");
    const qlonglong order = currentOrder();
    if (!order) {
        prompts().message(QStringLiteral("請先選擇訂單"));
        return;
    }
    const returns::Sale sale = returns::sale(m_db, order);
    if (sale.settled.date() != QDate::currentDate()) {
        prompts().message(QStringLiteral("訂單 %1 不是今天結帳的（%2），不能作廢；請改用退貨。")
                              .arg(order)
                              .arg(sale.settled.toString(QStringLiteral("yyyy-MM-dd HH:mm"))),
                          Buttons::Ok, title);
        return;
    }
    Money refund;
    bool anyLeft = false;
    for (const returns::SoldLine& l : sale.lines)
        if (l.left() > Money()) {
            anyLeft = true;
            refund += returns::refundOf(l, l.left());
        }
    if (!anyLeft) {
        prompts().message(QStringLiteral("訂單 %1 已經全部退貨，沒有可以作廢的。").arg(order), Buttons::Ok, title);
        return;
    }
    const QString question = QStringLiteral("作廢訂單 %1：退 %2 元給客戶（%3），茶葉放回庫存。\r確定嗎？")
                                 .arg(order)
                                 .arg(refund.toString(), sale.method);
    if (prompts().message(question, Buttons::YesNo, title) != Answer::Yes)
        return;
    returns::Request request;
    request.order = order;
    request.isVoid = true;
    request.reason = QStringLiteral("作廢");
    request.expectedRefund = refund;
    returns::Slip slip;
    try {
        if (!withRight(m_db, people::Right::ReturnOrVoid, [&] { slip = returns::returnSale(m_db, request); }))
            return;
    } catch (const Failure& f) {
        prompts().message(f.description(), Buttons::Ok, title);
        return;
    }
    reloadKeeping(order);
    showReturnSlip(slip, this);
}

void SalesHistory_frm::cmdExport_Click()
{
    // The file holds what the list shows: a filter typed but not yet searched
    // is searched first.
    const reports::SalesFilter typed = filter();
    if (typed.from != m_shown.from || typed.to != m_shown.to || typed.customer != m_shown.customer)
        cmdSearch_Click();
    const reports::SalesFilter f = m_shown;
    exportCsv(m_db, QStringLiteral("匯出銷售紀錄"),
              QStringLiteral("銷售紀錄-%1-%2.csv").arg(f.from.toString(Qt::ISODate), f.to.toString(Qt::ISODate)),
              [&](CsvFile& csv) { return reports::exportSales(m_db, csv, f); });
}

} // namespace lumaro
