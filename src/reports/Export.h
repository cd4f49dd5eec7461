#pragma once

#include <QString>

#include <functional>

namespace lumaro {

class CsvFile;
class Database;

// Asks where to save, writes the rows through write and tells how many were
// written. Cancelling the question writes nothing. Returns the path written,
// or an empty text. Every file of the shop's data goes out this way, so a
// 店員 is asked for a 老闆's password here, before anything is written.
QString exportCsv(Database& db, const QString& title, const QString& fileName,
                  const std::function<qint64(CsvFile&)>& write);

} // namespace lumaro
