#pragma once

#include "data/Database.h"
#include "data/Statements.h"

namespace lumaro {

// Commits with commit(); rolls back when left without a commit, so an
// exception in the middle of a move stores nothing.
class Transaction {
public:
    explicit Transaction(Database& db) : m_db(db) { m_db.begin(); }
    ~Transaction()
    {
        if (!m_done)
            m_db.rollback();
    }
    void commit()
    {
        m_done = true;
        m_db.commit();
    }
    void commitMove(const Database::MoveLookup& stored)
    {
        m_done = true;
        m_db.commitMove(stored);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    Database& m_db;
    bool m_done = false;
};

// The statements of beginning, committing and rolling back, for the test that
// prepares every statement.
QList<Statement> transactionStatements(Dialect dialect);

} // namespace lumaro
