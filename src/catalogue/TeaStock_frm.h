#pragma once

#include "platform/Form.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace lumaro {

class Database;
class DataControl;
class DataGrid;
class BoundTextBox;

// 茶葉資料表 (stock purchasing): pick a tea in the grid, set the kilograms
// with the scroll bar or by typing, and 進貨 buys them into stock, paid from
// the shop's cash.
class TeaStock_frm : public Form {
    Q_OBJECT
public:
    explicit TeaStock_frm(Database& db, QWidget* parent = nullptr);

    // The margin the grid leaves below itself, past the hidden tea list
    // control's bar, in twips.
    static constexpr double kGridBottomMargin = 200;
    // The grid's height on a form with the given inner height (twips, single
    // precision); may be negative on a very small form.
    static double gridHeight(double innerHeight);

    void HScroll1_Change();
    void Buy_Click();

protected:
    void Form_Resize() override;
    void Form_Unload() override;

private:
    DataControl* datPrimaryRS = nullptr;
    QLabel* Label1 = nullptr;
    BoundTextBox* TeaNum = nullptr;
    BoundTextBox* TeaName = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QLineEdit* Money = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Buy = nullptr;
    DataGrid* grdDataGrid = nullptr;

    void buildControls();
    // Every control in its place; the Kg label's text on the amount's line.
    void placeControls();
    // Label2 names the unit of the chosen tea: "Kg" for a tea in 公斤.
    void showUnit();

    Database& m_db;
};

} // namespace lumaro
