#pragma once

// Driving the order screen as a user would, for the order suites.

#include "data/DataControl.h"
#include "forms/DataGrid.h"
#include "orders/Order_frm.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace lumaro::test {

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
inline QList<qlonglong> listedOrders(const Order_frm& f)
{
    QList<qlonglong> out;
    for (int r = 0; r < f.datPrimaryRS->recordCount(); ++r)
        out << f.datPrimaryRS->value(r, 0).toLongLong();
    return out;
}

// The tea numbers of the lines the line grid shows.
inline QStringList shownLineTeas(const Order_frm& f)
{
    QStringList out;
    for (int r = 0; r < f.Adodc1->recordCount(); ++r)
        out << f.Adodc1->value(r, 1).toString();
    return out;
}

inline int rowOfOrder(const Order_frm& f, qlonglong order) { return listedOrders(f).indexOf(order); }

inline int rowOfTea(const Order_frm& f, const QString& tea)
{
    for (int r = 0; r < f.Adodc2->recordCount(); ++r)
        if (f.Adodc2->value(r, 0).toString() == tea)
            return r;
    return -1;
}

} // namespace lumaro::test
