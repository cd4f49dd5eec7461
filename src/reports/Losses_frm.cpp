#include "reports/Losses_frm.h"

#include "base/Csv.h"
#include "base/Money.h"
#include "base/Numbers.h"
#include "books/StockCount.h"
#include "platform/Controls.h"
#include "platform/Handler.h"
#include "reports/Export.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumaro {

namespace {

QDateEdit* monthBox(QWidget* parent, const char* name, const QDate& month)
{
    auto* box = controls::make<QDateEdit>(parent, name);
    box->setDisplayFormat(QStringLiteral("yyyy-MM"));
    box->setCalendarPopup(true);
    box->setDate(month);
    return box;
}

QTableWidgetItem* cell(const QString& text, bool number = false)
{
    auto* item = new QTableWidgetItem(text);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

Losses_frm::Losses_frm(Database& db, QWidget* parent) : Form(QStringLiteral("損耗報表"), parent), m_db(db)
{
    setObjectName(QStringLiteral("Losses_frm"));
    const QDate today = QDate::currentDate();
    const QDate thisMonth(today.year(), today.month(), 1);
    // The last twelve months, this one included.
    dtFrom = monthBox(this, "dtFrom", thisMonth.addMonths(-11));
    dtTo = monthBox(this, "dtTo", thisMonth);
    cmdExport = controls::button(this, "cmdExport", QStringLiteral("匯出 CSV…"));
    grdLosses = controls::make<QTableWidget>(this, "grdLosses");
    grdLosses->setColumnCount(7);
    grdLosses->setHorizontalHeaderLabels({QStringLiteral("月份"), QStringLiteral("編號"), QStringLiteral("名稱"),
                                          QStringLiteral("原因"), QStringLiteral("數量"), QStringLiteral("單位"),
                                          QStringLiteral("成本")});
    grdLosses->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdLosses->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdLosses->verticalHeader()->hide();
    grdLosses->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    grdLosses->horizontalHeader()->setMinimumSectionSize(72);
    lblTotal = controls::make<QLabel>(this, "lblTotal");
    lblTotal->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("月份："), this));
    top->addWidget(dtFrom);
    top->addWidget(new QLabel(QStringLiteral("到"), this));
    top->addWidget(dtTo);
    top->addStretch();
    top->addWidget(cmdExport);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(new QLabel(QStringLiteral("數量與成本是減少的庫存；盤點多出來的以負數表示。"), this));
    layout->addWidget(grdLosses, 1);
    layout->addWidget(lblTotal);

    connect(dtFrom, &QDateEdit::dateChanged, this, handler([this] { reload(); }));
    connect(dtTo, &QDateEdit::dateChanged, this, handler([this] { reload(); }));
    connect(cmdExport, &QPushButton::clicked, this, handler([this] { cmdExport_Click(); }));
    runHandler([this] { reload(); });
}

void Losses_frm::Form_Activate() { reload(); }

void Losses_frm::reload()
{
    const QList<stock::Loss> rows = stock::losses(m_db, dtFrom->date(), dtTo->date());
    grdLosses->setRowCount(int(rows.size()));
    QMap<QString, Money> byReason;
    Money total;
    int row = 0;
    for (const stock::Loss& l : rows) {
        grdLosses->setItem(row, 0, cell(l.month.toString(QStringLiteral("yyyy-MM"))));
        grdLosses->setItem(row, 1, cell(l.tea));
        grdLosses->setItem(row, 2, cell(l.name));
        grdLosses->setItem(row, 3, cell(l.reason));
        grdLosses->setItem(row, 4, cell(formatNumber(l.quantity), true));
        grdLosses->setItem(row, 5, cell(l.unit));
        grdLosses->setItem(row, 6, cell(l.cost.toString(), true));
        byReason[l.reason] += l.cost;
        total += l.cost;
        ++row;
    }
    grdLosses->resizeColumnsToContents();
    if (rows.isEmpty()) {
        lblTotal->setText(QStringLiteral("這段期間沒有試喝、報廢、分裝損耗或盤點差異。"));
        return;
    }
    QStringList parts;
    for (auto it = byReason.cbegin(); it != byReason.cend(); ++it)
        parts << it.key() + QLatin1Char(' ') + it.value().toString();
    lblTotal->setText(QStringLiteral("成本合計 %1（%2）").arg(total.toString(), parts.join(QStringLiteral("、"))));
}

void Losses_frm::cmdExport_Click()
{
    const QDate from = dtFrom->date(), to = dtTo->date();
    exportCsv(m_db, QStringLiteral("匯出損耗報表"),
              QStringLiteral("損耗-%1-%2.csv")
                  .arg(from.toString(QStringLiteral("yyyy-MM")), to.toString(QStringLiteral("yyyy-MM"))),
              [&](CsvFile& csv) { return stock::exportLosses(m_db, csv, from, to); });
}

} // namespace lumaro
