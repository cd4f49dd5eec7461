#pragma once

// Driving the order screen as a user would, for the order suites.

#include "data/DataControl.h"
#include "forms/BoundTextBox.h"
#include "forms/DataGrid.h"
#include "orders/Order_frm.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "support/Controls.h"

namespace lumaro::test {

// The order screen and its controls, by name.
struct OrderScreen {
    explicit OrderScreen(Order_frm& f) : form(f) {}
    Order_frm& form;
    DataControl* datPrimaryRS = control<DataControl>(&form, "datPrimaryRS");
    DataControl* Adodc1 = control<DataControl>(&form, "Adodc1");
    DataControl* Adodc2 = control<DataControl>(&form, "Adodc2");
    BoundTextBox* custom = control<BoundTextBox>(&form, "custom");
    BoundTextBox* contact = control<BoundTextBox>(&form, "contact");
    QPushButton* cmdAdd = control<QPushButton>(&form, "cmdAdd");
    QPushButton* cmdRefresh = control<QPushButton>(&form, "cmdRefresh");
    QPushButton* cmdDelete = control<QPushButton>(&form, "cmdDelete");
    QPushButton* cmdUpdate = control<QPushButton>(&form, "cmdUpdate");
    DataGrid* grdDataGrid = control<DataGrid>(&form, "grdDataGrid");
    QPushButton* Command1 = control<QPushButton>(&form, "Command1");
    QPushButton* Command2 = control<QPushButton>(&form, "Command2");
    QPushButton* Command3 = control<QPushButton>(&form, "Command3");
    QLabel* Money = control<QLabel>(&form, "Money");
    QLabel* Buy = control<QLabel>(&form, "Buy");
    DataGrid* DataGrid1 = control<DataGrid>(&form, "DataGrid1");
    DataGrid* DataGrid2 = control<DataGrid>(&form, "DataGrid2");
    QScrollBar* HScroll1 = control<QScrollBar>(&form, "HScroll1");
};

// Clicks a cell of the given row, in another column than the current one, so
// the grid reports the move even when the row was already current.
inline void chooseRow(DataGrid* grid, int row)
{
    QVERIFY(row < grid->model()->rowCount());
    const int column = grid->currentIndex().column() == 1 ? 0 : 1;
    grid->setCurrentIndex(grid->model()->index(row, column));
}

// Types text as key presses (Chinese included), as the user would.
inline void typeText(QWidget* box, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

inline void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// The order numbers the order list shows, top to bottom.
inline QList<qlonglong> listedOrders(const OrderScreen& f)
{
    QList<qlonglong> out;
    for (int r = 0; r < f.datPrimaryRS->recordCount(); ++r)
        out << f.datPrimaryRS->value(r, 0).toLongLong();
    return out;
}

// The tea numbers of the lines the line grid shows.
inline QStringList shownLineTeas(const OrderScreen& f)
{
    QStringList out;
    for (int r = 0; r < f.Adodc1->recordCount(); ++r)
        out << f.Adodc1->value(r, 1).toString();
    return out;
}

inline int rowOfOrder(const OrderScreen& f, qlonglong order) { return listedOrders(f).indexOf(order); }

inline int rowOfTea(const OrderScreen& f, const QString& tea)
{
    for (int r = 0; r < f.Adodc2->recordCount(); ++r)
        if (f.Adodc2->value(r, 0).toString() == tea)
            return r;
    return -1;
}

} // namespace lumaro::test
