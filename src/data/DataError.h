#pragma once

#include "platform/Failure.h"

namespace lumaro {

// A failure of the database or of a data control. Its description is the
// database's own text, or for the control's own refusals a plain sentence.
class DataError : public Failure {
public:
    using Failure::Failure;
};

// The database server asked for a password that was missing or wrong.
class ServerPasswordError : public DataError {
public:
    using DataError::DataError;
};

// A number that cannot be read or written.
class NumberError : public Failure {
public:
    using Failure::Failure;
};

} // namespace lumaro
