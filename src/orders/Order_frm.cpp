#include "orders/Order_frm.h"

namespace lumaro {

Order_frm::Order_frm(Database& db, QWidget* parent) : Form(QStringLiteral("訂單資料表"), parent), m_db(db)
{
    setObjectName(QStringLiteral("Order_frm"));
}

} // namespace lumaro
