#pragma once

#include "platform/Form.h"

namespace lumaro {

class Database;

class Money_frm : public Form {
    Q_OBJECT
public:
    explicit Money_frm(Database& db, QWidget* parent = nullptr);

private:
    Database& m_db;
};

} // namespace lumaro
