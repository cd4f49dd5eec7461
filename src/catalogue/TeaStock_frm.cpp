#include "catalogue/TeaStock_frm.h"

namespace lumaro {

TeaStock_frm::TeaStock_frm(Database& db, QWidget* parent) : Form(QStringLiteral("茶葉資料表"), parent), m_db(db)
{
    setObjectName(QStringLiteral("TeaStock_frm"));
}

} // namespace lumaro
