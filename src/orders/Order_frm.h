#pragma once

#include "books/OrderStore.h"
#include "platform/Form.h"

#include <QVariant>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace lumaro {

class BoundTextBox;
class Database;
class DataControl;
class DataGrid;

// The order screen: the open orders at the top (edited like any record list),
// the selected order's lines below with the tea list to order from, the order's
// total, and checkout.
class Order_frm : public Form {
    Q_OBJECT
public:
    explicit Order_frm(Database& db, QWidget* parent = nullptr);

    // Order list buttons; 重新整理 is also run by checkout.
    void cmdAdd_Click();
    void cmdUpdate_Click();
    void cmdDelete_Click();
    void cmdRefresh_Click();

    // Order lines.
    void grdDataGrid_RowColChange();
    void DataGrid2_RowColChange();
    void DataGrid1_Notified();
    void HScroll1_Change();
    void Command1_Click();
    void Command2_Click();
    // Enter in the typed quantity: sets the quantity bar from a text such as
    // 4兩 or 半斤, converted to the chosen tea's unit, or refuses it.
    void txtQuantity_KeyPress();
    // Recomputes the total of the lines into Money and leaves the lines with
    // no current line, as after walking them.
    void UpdateTotal();

    // Checkout.
    void Command3_Click();

    // Payment and discounts, beside checkout. A discount is stored as soon
    // as it is typed (Enter or leaving the box); an empty text removes it.
    void txtLineDiscount_Commit();
    void txtOrderDiscount_Commit();
    void txtTendered_Change();

signals:
    // An order was settled and stored (after the screen has been refreshed).
    void orderSettled(qlonglong order);

protected:
    void Form_Activate() override;
    void Form_Unload() override;

private:
    // The controls, each named as its objectName (see CONTRIBUTING.md). The
    // total label Money hides the type: spell it lumaro::Money in this class.

    // Order list.
    DataControl* datPrimaryRS = nullptr; // open orders, hidden
    QLabel* Label1 = nullptr;
    BoundTextBox* custom = nullptr;
    QLabel* Label2 = nullptr;
    BoundTextBox* contact = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QLabel* Label3 = nullptr;
    DataGrid* grdDataGrid = nullptr;

    // Order lines.
    DataControl* Adodc1 = nullptr; // lines of the selected order, hidden
    DataControl* Adodc2 = nullptr; // tea list, hidden
    QLabel* Label4 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Money = nullptr;
    DataGrid* DataGrid1 = nullptr;
    QLabel* Label5 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QLabel* Buy = nullptr;
    QPushButton* Command1 = nullptr;
    DataGrid* DataGrid2 = nullptr;
    QLabel* lblBuyUnit = nullptr;     // the chosen tea's unit beside Buy; empty for 公斤
    QLineEdit* txtQuantity = nullptr; // the quantity typed in any unit of its measure

    // Checkout.
    QPushButton* Command3 = nullptr;

    // Payment and discounts.
    QComboBox* cboPayment = nullptr;  // the method, 現金 at first
    QComboBox* cboPayment2 = nullptr; // a second method, for a split
    QLineEdit* txtPayment2 = nullptr; // what the second method pays
    QLabel* lblLineDiscount = nullptr;
    QLineEdit* txtLineDiscount = nullptr; // of the line chosen in the line grid
    QLabel* lblOrderDiscount = nullptr;
    QLineEdit* txtOrderDiscount = nullptr;
    QLabel* lblNet = nullptr; // what is left to pay, shown when there is a discount
    QLabel* lblTendered = nullptr;
    QLineEdit* txtTendered = nullptr; // the cash handed over
    QLabel* lblChange = nullptr;      // 找零

    // The screen's own parts.
    void buildOrderList();
    void buildOrderLines();
    void buildCheckout();
    void openControls();
    void setFocusOrder();
    void placeBuyUnit();

    // The current order's number; null when no saved order is current.
    QVariant currentOrder() const;
    // Re-reads the current order's lines and shows their total.
    void readLines();
    void readLinesOf(const QVariant& order);
    // Shows the total of the lines the line grid holds and returns them
    // priced; fails, with Money blank, when a line's tea is gone.
    QList<OrderStore::PricedLine> showTotal();
    void showMoney(const QString& text);
    // Builds the checkout text; the running total grows in Money as it goes.
    // With a discount, a line of its own and the net as 總計.
    QString checkoutSummary(const QList<OrderStore::PricedLine>& lines, const OrderStore::Bill& bill);
    // teas: those whose stock the checkout changed.
    void refreshAfterCheckout(const QVariantList& teas);

    void buildPayment();
    // The methods offered, read afresh (the owner may have changed them).
    void loadMethods();
    // The discounts of the order whose lines the grid shows, and the net.
    void showDiscounts(qlonglong order, const QList<OrderStore::PricedLine>& lines);
    void showLineDiscount();
    // The payment as the controls give it; fails with a text for the user.
    OrderStore::Payment typedPayment() const;
    void resetPayment();
    std::optional<lumaro::Money> m_net; // what the lines come to after their discounts

    Database& m_db;
};

} // namespace lumaro
