#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QVariant>

namespace lumaro {

// An order date is a date alone (2021-06-15) or a date with the time of day
// it was taken (2021-06-15 14:30:00), as SQLite's date functions read it.

// The stored form: the date alone at midnight, else date and time.
QString storedDate(const QDate& date, const QTime& time = QTime(0, 0));

// As a shop owner reads it: 2021-06-15, 2021-06-15 14:30, and the seconds
// only when there are some. A text that is no date is shown as it is.
QString dateText(const QVariant& value);

} // namespace lumaro
