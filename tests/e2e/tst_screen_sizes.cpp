// Every screen in the main window at the sizes shops use: each control the
// user sees lies inside its screen and clear of every other one, so none is
// hidden or cut by another.
//
// With LUMARO_SCREENSHOTS naming a folder, each screen at each size is also
// saved there as a PNG, for looking at.

#include "app/MDI_frm.h"
#include "catalogue/TeaStock_frm.h"
#include "orders/OrderScreen.h"
#include "support/TestShop.h"

#include "books/Payments.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>

using namespace lumaro;
using namespace lumaro::test;

namespace {

QString describe(const QWidget* w)
{
    const QRect g = w->geometry();
    return QStringLiteral("%1 (%2,%3 %4×%5)").arg(w->objectName()).arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
}

// The controls placed directly on a container, as the user sees them.
QList<QWidget*> shownControls(QWidget* container)
{
    QList<QWidget*> out;
    for (QWidget* w : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(container) && !w->isWindow())
            out << w;
    return out;
}

// What is wrong with the places of the controls on a container; empty when
// all is well.
QStringList misplaced(QWidget* container)
{
    QStringList wrong;
    const QList<QWidget*> controls = shownControls(container);
    for (int i = 0; i < controls.size(); ++i) {
        if (!container->rect().contains(controls[i]->geometry()))
            wrong << describe(controls[i]) + QStringLiteral(" outside ") + describe(container);
        for (int j = i + 1; j < controls.size(); ++j)
            if (controls[i]->geometry().intersects(controls[j]->geometry()))
                wrong << describe(controls[i]) + QStringLiteral(" overlaps ") + describe(controls[j]);
    }
    return wrong;
}

// Where a line edit or a label draws its text's baseline, in its parent.
int baseline(const QWidget* w)
{
    const QFontMetrics fm(w->font());
    return w->y() + (w->height() - fm.height() + 1) / 2 + fm.ascent();
}

} // namespace

class tst_screen_sizes : public QObject {
    Q_OBJECT

private slots:
    void everyControlIsInsideAndClear_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1024x768") << QSize(1024, 768);
        QTest::newRow("1366x768") << QSize(1366, 768);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }

    void everyControlIsInsideAndClear()
    {
        QFETCH(QSize, size);
        TestShop shop;
        PromptScope prompts;
        shop.balances(12345.67, 89012.5);
        shop.tea(QStringLiteral("A001"), QStringLiteral("阿里山高山烏龍"), 1234.5, 1680, 120)
            .tea(QStringLiteral("A002"), QStringLiteral("梨山高冷茶"), 2150.75, 2980, 45);
        const qlonglong order = shop.order(QStringLiteral("王小明"), QStringLiteral("0912-345-678"));
        shop.line(order, QStringLiteral("A001"), 2);
        // The payment and discount controls shown filled in: the net, a split
        // and the change must stand clear of the rest too.
        payments::setOrderDiscount(shop.db(), order, QStringLiteral("10%"));

        MDI_frm mdi(shop.db());
        mdi.showNormal();
        mdi.resize(size);
        QVERIFY(QTest::qWaitForWindowExposed(&mdi));
        const QString pictures = qEnvironmentVariable("LUMARO_SCREENSHOTS");

        for (const char* item : {"EditTea", "StoreTea", "EditMoney", "EditOrder", "StockCount", "Losses"}) {
            mdi.findChild<QAction*>(QString::fromLatin1(item))->trigger();
            QApplication::processEvents();
            auto* sub = mdi.findChild<QMdiArea*>(QStringLiteral("mdiArea"))->activeSubWindow();
            QVERIFY(sub && sub->isMaximized());
            QWidget* screen = sub->widget();
            if (qstrcmp(item, "EditOrder") == 0) { // a total beside the lines
                OrderScreen(*mdi.orderScreen()).grdDataGrid->selectRow(0);
                control<QComboBox>(screen, "cboPayment2")->setCurrentText(QStringLiteral("刷卡"));
                control<QLineEdit>(screen, "txtPayment2")->setText(QStringLiteral("1000"));
                control<QLineEdit>(screen, "txtTendered")->setText(QStringLiteral("3000"));
            }
            QStringList wrong = misplaced(screen);
            if (auto* frame = screen->findChild<QWidget*>(QStringLiteral("Frame1")))
                wrong += misplaced(frame);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
            if (!pictures.isEmpty())
                mdi.grab().save(QDir(pictures).filePath(
                    QStringLiteral("%1-%2x%3.png").arg(screen->objectName()).arg(size.width()).arg(size.height())));
        }

        // On the stock screen "Kg" stands on the line of the quantity beside it,
        // and the grid begins right under that row.
        QWidget* stock = mdi.teaStockScreen();
        auto* kg = control<QWidget>(stock, "Label2");
        auto* quantity = control<QWidget>(stock, "Money");
        QVERIFY2(qAbs(baseline(kg) - baseline(quantity)) <= 1,
                 qPrintable(QStringLiteral("%1 / %2").arg(baseline(kg)).arg(baseline(quantity))));
        QVERIFY(control<QWidget>(stock, "grdDataGrid")->y() - quantity->geometry().bottom() < 15);
    }
};

QTEST_MAIN(tst_screen_sizes)
#include "tst_screen_sizes.moc"
