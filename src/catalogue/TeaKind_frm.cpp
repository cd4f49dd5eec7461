#include "catalogue/TeaKind_frm.h"

namespace lumaro {

TeaKind_frm::TeaKind_frm(Database& db, QWidget* parent) : Form(QStringLiteral("茶葉資料表"), parent), m_db(db)
{
    setObjectName(QStringLiteral("TeaKind_frm"));
}

} // namespace lumaro
