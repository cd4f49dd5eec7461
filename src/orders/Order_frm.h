#pragma once

#include "platform/Form.h"

namespace lumaro {

class Database;

class Order_frm : public Form {
    Q_OBJECT
public:
    explicit Order_frm(Database& db, QWidget* parent = nullptr);

private:
    Database& m_db;
};

} // namespace lumaro
