#pragma once

#include "platform/Failure.h"

namespace lumaro {

// A figure that cannot be read or worked with: not a number, or past what the
// shop records.
class NumberError : public Failure {
public:
    using Failure::Failure;
};

// A file the program was asked to write that it cannot write, or must not
// replace.
class FileError : public Failure {
public:
    using Failure::Failure;
};

} // namespace lumaro
