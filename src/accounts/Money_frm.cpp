#include "accounts/Money_frm.h"

namespace lumaro {

Money_frm::Money_frm(Database& db, QWidget* parent) : Form(QStringLiteral("帳款管理"), parent), m_db(db)
{
    setObjectName(QStringLiteral("Money_frm"));
}

} // namespace lumaro
