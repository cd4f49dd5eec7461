// Every grid of every screen keeps Qt's model contract while the shop is used:
// rows added and deleted, lists re-read, read on as a grid scrolls, and a
// grid's data control given another record source.

#include "app/MDI_frm.h"
#include "app/Startup.h"
#include "data/DataControl.h"
#include "forms/DataGrid.h"
#include "forms/ShapedTextDelegate.h"
#include "support/TestShop.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>
#include <vector>

using namespace lumaro;
using namespace lumaro::test;

class GridModels : public QObject {
    Q_OBJECT

private slots:
    // The grids' own delegate draws each cell to the pixel as Qt's would:
    // either alignment, chosen or not, text too long for its cell, a cell
    // with a background, in the shop's font and in Qt's.
    void cellsPaintAsQtDoes()
    {
        auto grid = [](bool ours, const QFont& font) {
            auto* t = new QTableWidget(6, 3);
            t->setFont(font);
            if (ours)
                t->setItemDelegate(new ShapedTextDelegate(t));
            t->setSelectionBehavior(QAbstractItemView::SelectRows);
            const QStringList texts = {QStringLiteral("凍頂烏龍"), QStringLiteral("31127.5"), QString(),
                                       QStringLiteral("客戶299 的一個很長很長很長的名字"), QStringLiteral("Ag|y 現金")};
            for (int r = 0; r < 6; ++r) {
                t->setRowHeight(r, 22 + r); // each parity, where rounding shows
                for (int c = 0; c < 3; ++c) {
                    auto* item = new QTableWidgetItem(texts[(r + c) % texts.size()]);
                    item->setTextAlignment(c == 1 ? Qt::AlignRight | Qt::AlignVCenter
                                                  : Qt::AlignLeft | Qt::AlignVCenter);
                    if (r == 4 && c == 2)
                        item->setBackground(Qt::yellow);
                    t->setItem(r, c, item);
                }
            }
            t->resize(420, 260);
            t->show();
            t->selectRow(2);
            return std::unique_ptr<QTableWidget>(t);
        };
        // One grid on screen at a time, so both are painted as the active window.
        for (const QFont& font : {QApplication::font(), shopFont()}) {
            const QImage ours = grid(true, font)->grab().toImage();
            QCOMPARE(ours, grid(false, font)->grab().toImage());
        }
    }

    void everyGridKeepsTheContract()
    {
        TestShop shop;
        PromptScope prompts;
        shop.balances(5000, 0);
        for (int i = 1; i <= 100; ++i)
            shop.tea(QStringLiteral("T%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("茶%1").arg(i), 10, 20, 50);
        for (int o = 0; o < 3; ++o)
            shop.line(shop.order(QStringLiteral("客%1").arg(o)), QStringLiteral("T001"), 1);

        MDI_frm mdi(shop.db());
        mdi.resize(1024, 768);
        mdi.show();
        for (const char* item : {"EditTea", "StoreTea", "EditOrder"})
            mdi.findChild<QAction*>(QString::fromLatin1(item))->trigger();
        std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
        const QList<DataGrid*> grids = mdi.findChildren<DataGrid*>();
        QCOMPARE(grids.size(), 5);
        for (DataGrid* g : grids)
            testers.push_back(
                std::make_unique<QAbstractItemModelTester>(g->model(),
                                                           QAbstractItemModelTester::FailureReportingMode::QtTest));

        auto button = [&](const char* screen, const char* name) {
            QWidget* s = mdi.findChild<QWidget*>(QString::fromLatin1(screen));
            s->findChild<QPushButton*>(QString::fromLatin1(name))->click();
            QCoreApplication::processEvents();
        };
        auto grid = [&](const char* screen, const char* name) {
            return mdi.findChild<QWidget*>(QString::fromLatin1(screen))
                ->findChild<DataGrid*>(QString::fromLatin1(name));
        };

        // The catalogue: add, store, delete, re-read, and read on to its end.
        button("TeaKind_frm", "cmdAdd");
        auto* number = mdi.findChild<QWidget*>(QStringLiteral("TeaKind_frm"))
                           ->findChild<QLineEdit*>(QStringLiteral("txtFields_0"));
        number->setFocus();
        QTest::keyClicks(number, QStringLiteral("T500"));
        button("TeaKind_frm", "cmdUpdate");
        button("TeaKind_frm", "cmdDelete");
        button("TeaKind_frm", "cmdRefresh");
        DataGrid* catalogue = grid("TeaKind_frm", "grdDataGrid");
        while (catalogue->model()->canFetchMore({}))
            catalogue->model()->fetchMore({});
        QCOMPARE(catalogue->model()->rowCount(), 100);

        // Buying re-reads one tea of the stock list.
        grid("TeaStock_frm", "grdDataGrid")->selectRow(2);
        button("TeaStock_frm", "Buy");

        // Orders: another order's lines (a new record source), a line added and
        // deleted, checkout, and the list re-read.
        DataGrid* orders = grid("Order_frm", "grdDataGrid");
        orders->selectRow(1);
        grid("Order_frm", "DataGrid2")->selectRow(3);
        button("Order_frm", "Command1");
        grid("Order_frm", "DataGrid1")->selectRow(0);
        button("Order_frm", "Command2");
        prompts->queueAnswer(Answer::Yes);
        orders->selectRow(1);
        button("Order_frm", "Command3");
        button("Order_frm", "cmdRefresh");
        QCOMPARE(orders->model()->rowCount(), 2);
        QCOMPARE(shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單資料表 WHERE 訂單狀態 = 1")).toInt(), 1);
    }
};

QTEST_MAIN(GridModels)
#include "tst_grid_models.moc"
