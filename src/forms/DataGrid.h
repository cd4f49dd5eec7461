#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>

#include <functional>

#include "data/DataControl.h"
#include <QTableView>

class QFrame;
class QLabel;
class QLineEdit;

namespace lumaro {

// The rows of a data control as a read-only table model; headers are the
// column names.
class DataControlModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataControlModel(DataControl* control, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A paged source is read on as the view scrolls down.
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // Cells of quantities or stock that name the unit of a tea not in 公斤
    // ("12 兩"); the values themselves stay numbers. The tea's number is in
    // teaColumn. The units are read again with every re-read of the rows.
    void setUnitCells(int teaColumn, const QList<int>& columns);

private:
    void readUnits();

    QPointer<DataControl> m_control;
    bool m_announcing = false;
    int m_teaColumn = -1;
    QList<int> m_unitColumns;
    QHash<QString, QString> m_units;
};

// A grid over a data control. Choosing a row makes it the control's current
// row; a move of the control by code moves the grid's selection with it.
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);

    void setDataControl(DataControl* control);
    DataControl* dataControl() const { return m_control; }

    // The current row counted from 0 among the rows shown (the first visible
    // row is 0); -1 without a current row.
    int row() const;
    // The current row's index among all rows; -1 without one.
    int currentDataRow() const;
    int col() const;

    // Makes a row current as a user's click would (for keyboard-free tests).
    void selectRow(int dataRow);

    // The key of the next row that matches the text, after the given key (or
    // from the first when it is null), going round; null when none matches.
    using FindNext = std::function<QVariant(const QString& text, const QVariant& after)>;
    // Ctrl+F opens a small find box over the grid: typing selects the first
    // row that matches, Enter the next one, Esc closes it. keyColumn is the
    // control's column that holds the keys findNext answers with; hint says in
    // the empty box what may be typed.
    void setFind(int keyColumn, FindNext findNext, const QString& hint);
    // See DataControlModel::setUnitCells.
    void setUnitCells(int teaColumn, const QList<int>& columns) { m_model->setUnitCells(teaColumn, columns); }

signals:
    // The current cell moved to another row or column.
    void rowColChange(int previousRow, int previousColumn);
    // The grid's notification without arguments: a double click.
    void notified();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    void followControl();
    void fetchBefore();
    void highlightCurrentRow();
    void openFind();
    void closeFind();
    void placeFind();
    // Selects the first match after `after`, as a click on its row would.
    void findFrom(const QVariant& after);

    QPointer<DataControl> m_control;
    DataControlModel* m_model = nullptr;
    QList<int> m_columnWidths;
    bool m_syncing = false;
    bool m_fetchingBefore = false;

    FindNext m_findNext;
    int m_findKeyColumn = 0;
    QString m_findHint;
    QFrame* m_findBox = nullptr;
    QLineEdit* m_findText = nullptr;
    QLabel* m_findNote = nullptr;
};

} // namespace lumaro
