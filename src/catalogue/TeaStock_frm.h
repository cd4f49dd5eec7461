#pragma once

#include "platform/Form.h"

namespace lumaro {

class Database;

class TeaStock_frm : public Form {
    Q_OBJECT
public:
    explicit TeaStock_frm(Database& db, QWidget* parent = nullptr);

private:
    Database& m_db;
};

} // namespace lumaro
