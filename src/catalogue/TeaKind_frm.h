#pragma once

#include "platform/Form.h"

namespace lumaro {

class Database;

class TeaKind_frm : public Form {
    Q_OBJECT
public:
    explicit TeaKind_frm(Database& db, QWidget* parent = nullptr);

private:
    Database& m_db;
};

} // namespace lumaro
