#pragma once

#include "platform/Form.h"

#include "base/Money.h"

#include <optional>

class QComboBox;
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
    // Beside 進貨, after the grid in the Tab chain: what was paid (empty:
    // quantity x 進價), where from (現金 or 銀行) and a note for the
    // supplier.
    QLabel* lblPaid = nullptr;
    QLineEdit* txtPaid = nullptr;
    QComboBox* cboPaidFrom = nullptr;
    QLabel* lblSupplierNote = nullptr;
    QLineEdit* txtSupplierNote = nullptr;

    void buildControls();
    // Every control in its place; the Kg label's text on the amount's line.
    void placeControls();
    // Label2 names the unit of the chosen tea: "Kg" for a tea in 公斤.
    void showUnit();
    // The amount to pay offered in txtPaid's place holder: quantity x 進價 of
    // the chosen tea, or nothing when it cannot be worked out.
    void showCost();
    // What the quantity box holds, in the chosen tea's unit, or nothing after
    // the refusal was shown.
    std::optional<lumaro::Money> typedQuantity(const QString& tea);
    // Asks first when the setting says so and the purchase would take the
    // balance it is paid from below zero; true to go on.
    bool belowZeroAgreed(lumaro::Money cost, bool fromBank);

    Database& m_db;
};

} // namespace lumaro
