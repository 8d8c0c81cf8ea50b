// Names and values as they are written into SQL text.
#pragma once

#include <QString>

#include <functional>

// A database, table or column name between backquotes; a backquote inside
// the name is doubled, so no name can end the quoting early.
QString QuoteIdentifier(const QString &name);
// `database`.`table`, both quoted.
QString QuoteQualified(const QString &database, const QString &table);

// Turns a value into the inside of a '...' string literal. The program passes
// one that escapes on the live connection (mysql_real_escape_string), so that
// the server's NO_BACKSLASH_ESCAPES mode is followed.
using LiteralEscaper = std::function<QString(const QString &)>;

// The escaping of mysql_real_escape_string for a server in the normal
// sql_mode (backslash escapes on): NUL, line feed, carriage return, backslash,
// single and double quote and Ctrl-Z get a backslash form.
QString EscapeStringLiteral(const QString &value);
