#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

// How a statement's text is made: one template language for every statement
// of the program, so that a table or column is named the same way everywhere.
//
// A template is SQL with words in braces: {T} names a table, {t.price} a
// column of it, {k.checkout} a literal, as a dictionary says (the schema's is
// schema::statement's); {1} to {9} are pieces made at run time (a list of
// columns, a placeholder list, an optional clause), inserted as given. A word
// the dictionary does not know stays as written, so the statement fails to
// prepare and names it. Values are never pasted in: they are bound.
namespace lumaro::sql {

// A dictionary: word (without braces) -> its SQL text.
using Words = QHash<QString, QString>;

// The template with its words and pieces filled in.
QString fill(const Words& words, QStringView text, const QStringList& pieces = {});

// Whether name can stand in a statement as it is: letters (Chinese
// included), digits and underscores, not starting with a digit.
bool isPlainName(const QString& name);
// A table or column name as an identifier: always in double quotes, a quote
// inside doubled. For names that come from outside the schema (a record
// source, a column list), so that no name can end the identifier early.
QString quoted(const QString& name);
// A name of the schema's own as a dictionary holds it: as it is when plain,
// else quoted.
QString name(const QString& name);
// Names quoted and joined with ", ".
QString quotedList(const QStringList& names);
// n placeholders, joined by separator: "?, ?, ?".
QString marks(qsizetype n, const QString& separator = QStringLiteral(", "));
// A text literal: in single quotes, a quote inside doubled.
QString literal(const QString& text);
// A number literal in its shortest form, an exponent without its plus sign
// (1e12, 0.5, -3).
QString number(double x);

} // namespace lumaro::sql
