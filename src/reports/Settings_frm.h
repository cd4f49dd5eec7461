#pragma once

#include "books/Payments.h"
#include "platform/Form.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace lumaro {

class Database;

// 系統設定: the shop's name, address and phone for receipts, whether to offer
// a receipt after each checkout, the low-stock level, how long backups are
// kept and after how many idle minutes the program locks itself; beside them
// the payment methods (added, renamed, retired) and the cap on discounts. Kept
// in the shop file; 儲存 stores all of them together or, on a bad value, none.
class Settings_frm : public Form {
    Q_OBJECT
public:
    explicit Settings_frm(Database& db, QWidget* parent = nullptr);

    void load();
    void cmdSave_Click();
    void cmdAddMethod_Click();

private:
    QLineEdit* txtShopName = nullptr;
    QLineEdit* txtShopAddress = nullptr;
    QLineEdit* txtShopPhone = nullptr;
    QCheckBox* chkReceiptAfterCheckout = nullptr;
    QCheckBox* chkPurchaseAskBelowZero = nullptr;
    QLineEdit* txtLowStockLevel = nullptr;
    QLineEdit* txtBackupDays = nullptr;
    QLineEdit* txtBackupMonths = nullptr;
    QLineEdit* txtIdleLockMinutes = nullptr;
    QPushButton* cmdSave = nullptr;

    // Payment methods: name, booked to 現金 or 銀行, retired. 現金 is fixed.
    QTableWidget* grdMethods = nullptr;
    QPushButton* cmdAddMethod = nullptr;
    QLabel* lblMethodsDamaged = nullptr;
    QLineEdit* txtDiscountCap = nullptr; // percent

    void showMethods(const QList<payments::Method>& list);
    void addMethodRow(const payments::Method& m);
    QList<payments::Method> typedMethods() const;
    // As read, so that saving leaves a setting never changed unset.
    QList<payments::Method> m_loadedMethods;
    bool m_methodsDamaged = false;
    QString m_loadedCap;

    Database& m_db;
};

} // namespace lumaro
