#pragma once

#include "books/Returns.h"
#include "reports/Receipt.h"

#include <QList>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace lumaro {

class Database;

// The 退貨單 the customer gets with the refund: the shop, the sale, each line
// given back with its refund, how it was refunded and why.
QString returnSlipHtml(const returns::Slip& s);
// Writes the slip as a PDF file, whole or not at all; throws DataError.
void saveReturnSlipPdf(const returns::Slip& s, const QString& path);

// One return's slip in a slip window.
class ReturnSlipWindow : public SlipWindow {
    Q_OBJECT
public:
    ReturnSlipWindow(returns::Slip slip, QWidget* parent = nullptr);

    const returns::Slip& slip() const { return m_slip; }

private:
    returns::Slip m_slip;
};

ReturnSlipWindow* showReturnSlip(const returns::Slip& slip, QWidget* parent = nullptr);

// 退貨: the lines of one sale with what was sold, what its returns took back
// and what is left, a box per line for the quantity to give back (in the
// line's unit, or another of the same kind: 4兩, 150g), the reason, where the
// tea goes and how the refund is paid. The refund shows as the quantities are
// typed; 確定退貨 asks first, stores the return and opens its slip. Deletes
// itself when closed.
class Return_frm : public QWidget {
    Q_OBJECT
public:
    Return_frm(Database& db, qlonglong order, QWidget* parent = nullptr);

    void cmdOk_Click();
    void UpdateRefund();

    // The slip of the return stored by 確定退貨, when one was.
    ReturnSlipWindow* slipWindow() const { return m_slipWindow; }

signals:
    void stored();

private:
    QLabel* lblSale = nullptr;
    QTableWidget* grdLines = nullptr;
    QList<QLineEdit*> txtQty; // txtQty_0, txtQty_1 ... one per line
    QLineEdit* txtReason = nullptr;
    QComboBox* cboWhere = nullptr;
    QComboBox* cboWriteOffReason = nullptr; // enabled when the tea is written off
    QComboBox* cboMethod = nullptr;
    QLabel* lblRefund = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

    // The quantities typed, or the first refusal of a box.
    struct Typed {
        QList<std::pair<qlonglong, Money>> quantities;
        Money refund;
        QString problem;
    };
    Typed typed() const;

    Database& m_db;
    returns::Sale m_sale;
    ReturnSlipWindow* m_slipWindow = nullptr;
};

} // namespace lumaro
