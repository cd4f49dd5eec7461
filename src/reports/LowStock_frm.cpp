#include "reports/LowStock_frm.h"

#include "base/Numbers.h"
#include "books/Reports.h"
#include "books/Settings.h"
#include "platform/Handler.h"

#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumaro {

double lowStockLevel(Database& db)
{
    bool ok = false;
    const double level = settings::get(db, settings::key::LowStockLevel, QStringLiteral("5")).toDouble(&ok);
    return ok ? level : 5.0;
}

LowStock_frm::LowStock_frm(Database& db, QWidget* parent) : Form(QStringLiteral("低庫存"), parent), m_db(db)
{
    setObjectName(QStringLiteral("LowStock_frm"));
    lblLevel = new QLabel(this);
    lblLevel->setObjectName(QStringLiteral("lblLevel"));
    grdLow = new QTableWidget(0, 4, this);
    grdLow->setObjectName(QStringLiteral("grdLow"));
    grdLow->setHorizontalHeaderLabels({QStringLiteral("茶葉編號"), QStringLiteral("茶葉名稱"),
                                       QStringLiteral("庫存（公斤）"), QStringLiteral("近 30 天售出（公斤）")});
    grdLow->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdLow->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdLow->verticalHeader()->hide();
    grdLow->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblLevel);
    layout->addWidget(grdLow, 1);
    runHandler([this] { reload(); });
}

void LowStock_frm::Form_Activate() { reload(); }

void LowStock_frm::reload()
{
    const double level = lowStockLevel(m_db);
    const QList<reports::LowStock> rows = reports::lowStock(m_db, level, QDate::currentDate());
    lblLevel->setText(rows.isEmpty()
                          ? QStringLiteral("沒有庫存低於 %1 公斤的茶葉。").arg(formatNumber(level))
                          : QStringLiteral("庫存低於 %1 公斤的茶葉：%2 種").arg(formatNumber(level)).arg(rows.size()));
    grdLow->setRowCount(int(rows.size()));
    int row = 0;
    for (const reports::LowStock& s : rows) {
        // A tea not in 公斤 names its unit beside both figures ("12 兩").
        auto number = [&s](double x) {
            auto* item = new QTableWidgetItem(s.unit.isEmpty() ? formatNumber(x)
                                                               : QString(formatNumber(x) + QLatin1Char(' ') + s.unit));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            return item;
        };
        grdLow->setItem(row, 0, new QTableWidgetItem(s.tea));
        grdLow->setItem(row, 1, new QTableWidgetItem(s.name));
        grdLow->setItem(row, 2, number(s.stock));
        grdLow->setItem(row, 3, number(s.soldLast30));
        ++row;
    }
}

} // namespace lumaro
