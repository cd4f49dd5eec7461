#pragma once

#include "base/Money.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace lumaro::units {

// What a unit measures: a weight converts to every other weight, a count
// only to itself.
enum class Measure { Weight, Count };

struct Unit {
    QString name;
    Measure measure;
    std::int64_t decigrams; // a weight's size in tenths of a gram; 0 for a count
};

// Every unit a tea may be kept in, 公斤 first: 公斤, 台斤, 兩, 公克, 個, 盒, 罐, 包.
const QList<Unit>& all();
// The unit every tea had before units existed, and the one a tea without a
// unit of its own is in.
const Unit& kilogram();
// The unit of that name (only the names of all()), or null.
const Unit* find(const QString& name);
// A unit as stored: NULL or empty reads as 公斤; a name the program does not
// know is no unit (null).
const Unit* fromStored(const QVariant& stored);
// The stored form of a unit: empty (NULL) for 公斤, its name otherwise.
QString toStored(const Unit& unit);
// What a cell or read-out shows after a number: empty for 公斤, so a shop in
// 公斤 reads as it always has; the unit's name otherwise.
QString suffix(const QVariant& storedUnit);

// An amount in from, as an amount in to, exact to 1/10000 of to; nothing when
// the two measure different things or the result is not exact.
std::optional<Money> convert(Money amount, const Unit& from, const Unit& to);
// A price per from as a price per to, exact to 1/10000; nothing likewise.
std::optional<Money> convertPrice(Money price, const Unit& from, const Unit& to);

// A quantity typed for a tea kept in unit. A text that names no unit, or the
// tea's own unit, reads as the lenient reading reads it (12kg, 2.5 and 1,000
// on a tea in 公斤 as they always have). A text naming another unit of the
// same measure (4兩, 半斤, 1.5斤, 150g, 0.5kg, 四兩) is converted to unit.
// refusal is set, and value left 0, when the text names a unit of another
// measure, its number cannot be read, or it does not convert exactly.
// value is the lenient reading's double where the text was read as it always
// was (so every caller keeps its own checks of range and precision), or the
// converted amount; a lenient reading too large for a number throws
// NumberError as it always has.
struct Reading {
    double value = 0;
    QString refusal;
    bool converted = false; // the text named another unit
    bool ok() const { return refusal.isEmpty(); }
};
Reading read(const QString& text, const Unit& unit);
// The same, where a whole number is needed (an order line): an amount that
// is not a whole number of unit is refused, naming the nearest amounts that
// are ("150公克 = 4兩").
Reading readWhole(const QString& text, const Unit& unit);
// The same, where the figure is taken as typed (a stock count): the number,
// in the tea's unit, in none, or in another of the same measure, must be a
// plain number (or a small one in Chinese) of at most four decimals. No
// lenient reading here: "1,000" or "abc" is refused, never read as 1 or 0.
Reading readExact(const QString& text, const Unit& unit);

} // namespace lumaro::units
