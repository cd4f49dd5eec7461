#pragma once

#include "platform/Form.h"

class QLabel;
class QTableWidget;

namespace lumaro {

class Database;

// 低庫存: the teas whose stock is below the level set in 系統設定, with the
// kilograms sold in the last 30 days beside each, so the owner sees what to
// buy first. Read afresh whenever the screen becomes active.
class LowStock_frm : public Form {
    Q_OBJECT
public:
    explicit LowStock_frm(Database& db, QWidget* parent = nullptr);

    void reload();

protected:
    void Form_Activate() override;

private:
    QLabel* lblLevel = nullptr;
    QTableWidget* grdLow = nullptr;

    Database& m_db;
};

// The low-stock level in kg from the settings (5 when unset or unreadable).
double lowStockLevel(Database& db);

} // namespace lumaro
