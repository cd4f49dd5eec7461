#pragma once

#include "platform/Failure.h"

namespace lumaro {

// What kind of refusal the database gave, told by its result code (SQLite's
// extended result code, PostgreSQL's SQLSTATE), never by its wording.
enum class DataFault {
    Other,
    Duplicate,    // a key that is already there
    MissingValue, // NOT NULL
    WrongType,    // text in a number column
    OutOfRange,   // a number the column refuses
    Busy,         // another terminal holds the lock
    Full,         // disk full or failing
    ReadOnly,
    Damaged,
    MissingTable,
    CannotOpen,
    ConnectionLost,
};

// A failure of the database or of a data control. Its description is a
// sentence for the user; for refusals of the database it ends with the
// database's own text, which original() holds alone.
class DataError : public Failure {
public:
    explicit DataError(const QString& description, DataFault fault = DataFault::Other,
                       const QString& original = QString())
        : Failure(description), m_fault(fault), m_original(original)
    {
    }
    DataFault fault() const noexcept { return m_fault; }
    const QString& original() const noexcept { return m_original; }

private:
    DataFault m_fault;
    QString m_original;
};

// The database server asked for a password that was missing or wrong.
class ServerPasswordError : public DataError {
public:
    using DataError::DataError;
};

} // namespace lumaro
