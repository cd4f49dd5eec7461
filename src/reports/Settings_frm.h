#pragma once

#include "platform/Form.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace lumaro {

class Database;

// 系統設定: the shop's name, address and phone for receipts, whether to offer
// a receipt after each checkout, the low-stock level, how long backups are
// kept and after how many idle minutes the program locks itself. Kept in the
// shop file; 儲存 stores all of them together or, on a bad value, none.
class Settings_frm : public Form {
    Q_OBJECT
public:
    explicit Settings_frm(Database& db, QWidget* parent = nullptr);

    void load();
    void cmdSave_Click();

private:
    QLineEdit* txtShopName = nullptr;
    QLineEdit* txtShopAddress = nullptr;
    QLineEdit* txtShopPhone = nullptr;
    QCheckBox* chkReceiptAfterCheckout = nullptr;
    QLineEdit* txtLowStockLevel = nullptr;
    QLineEdit* txtBackupDays = nullptr;
    QLineEdit* txtBackupMonths = nullptr;
    QLineEdit* txtIdleLockMinutes = nullptr;
    QPushButton* cmdSave = nullptr;

    Database& m_db;
};

} // namespace lumaro
