// Reads tables out of a Jet (.mdb) file with libmdb and writes them as a stream of
// records (see MdbStream.h). This runs only inside the reader process: libmdb trusts
// the file it reads and can crash on a damaged one.
#pragma once

#include "MdbStream.h"

#include <cstddef>
#include <string>
#include <vector>

namespace lumaro::legacy {

// Sends the named tables (all user tables when names is empty), in that order; a name
// the file does not hold is sent as missing. Text comes out as UTF-8; Jet 3 text is
// decoded with MDB_JET3_CHARSET when set, otherwise with the file's own code page.
// Returns false when the file could not be read; the reason has then been sent as a
// failure record.
bool readJetFile(const std::string& path, const std::vector<std::string>& names, StreamWriter& out);

// The same over bytes in memory (used by the fuzzer).
bool readJetBuffer(const void* data, std::size_t size, const std::vector<std::string>& names, StreamWriter& out);

} // namespace lumaro::legacy
