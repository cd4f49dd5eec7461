#pragma once

#include <QString>

#include <functional>

namespace lumaro {

class CsvFile;

// Asks where to save, writes the rows through write and tells how many were
// written. Cancelling the question writes nothing. Returns the path written,
// or an empty text.
QString exportCsv(const QString& title, const QString& fileName, const std::function<qint64(CsvFile&)>& write);

} // namespace lumaro
