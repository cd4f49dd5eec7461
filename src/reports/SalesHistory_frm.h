#pragma once

#include "books/Reports.h"
#include "platform/Form.h"

#include <array>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;

namespace lumaro {

class Database;
class SaleLinesModel;

// 銷售紀錄: settled orders newest first, for a date range (today when the
// screen opens) and a part of the customer's name, with the lines of the
// chosen order as they were charged. Orders come a page at a time, so ten
// years of sales open as fast as one day.
class SalesHistory_frm : public Form {
    Q_OBJECT
public:
    explicit SalesHistory_frm(Database& db, QWidget* parent = nullptr);

    static constexpr int kPage = 200;

    void cmdSearch_Click();
    void cmdMore_Click();
    void cmdReceipt_Click();
    void cmdExport_Click();
    void cmdReturn_Click();
    void cmdVoid_Click();
    // The order of the current row of grdSales; 0 when none.
    qlonglong currentOrder() const;
    void showLines();

private:
    QDateEdit* dtFrom = nullptr;
    QDateEdit* dtTo = nullptr;
    QLineEdit* txtCustomer = nullptr;
    // Whose sales: everyone, or one person; shown only where the shop keeps
    // more than one.
    QLabel* lblPerson = nullptr;
    QComboBox* cboPerson = nullptr;
    QPushButton* cmdSearch = nullptr;
    QTableWidget* grdSales = nullptr;
    QPushButton* cmdMore = nullptr;
    QTableView* grdLines = nullptr;
    SaleLinesModel* m_lines = nullptr; // what grdLines shows
    QLabel* lblTotal = nullptr;
    QLabel* lblMethods = nullptr; // the listed sales' takings per method
    QPushButton* cmdReceipt = nullptr;
    QPushButton* cmdExport = nullptr;
    QPushButton* cmdReturn = nullptr;
    QPushButton* cmdVoid = nullptr;

    reports::SalesFilter filter() const;
    void fillPeople();
    void appendPage();
    // How wide a cell of grdSales must be for the text.
    int textWidth(const QString& text) const;
    // The list read again after a return, the same order chosen.
    void reloadKeeping(qlonglong order);

    Database& m_db;
    reports::SalesFilter m_shown;
    QString m_cursor;
    QList<reports::Paid> m_byMethod;    // of the sales listed
    std::array<int, 2> m_moneyWidths{}; // the widest total and discount listed
};

} // namespace lumaro
