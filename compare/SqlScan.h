// Reading SQL text as the server writes it back (SHOW CREATE TABLE, view
// definitions, trigger bodies): where quoted strings, quoted names and
// comments end, which parenthesis closes which, and the parts of a list.
// Nothing here evaluates SQL; it only finds its way through the quoting.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

namespace SqlScan {

// The index just past the string, quoted name or comment that starts at
// `at`, or `at` itself when none starts there. A string in '...' or "..."
// ends at its quote (a doubled quote and a backslash escape stay inside); a
// name in `...` at its backquote (a doubled one stays inside); a comment is
// "-- " or "#" to the end of the line or "/* ... */". Something left open
// runs to the end of the text. Without `backslashEscapes` (the server's
// NO_BACKSLASH_ESCAPES mode) a backslash is a character like any other.
qsizetype SkipQuotedOrComment(QStringView text, qsizetype at, bool backslashEscapes = true);

// Whether `c` may stand in a name without quotes.
bool IsWordCharacter(QChar c);

// The index of the parenthesis that closes the one at `open`, or -1.
qsizetype ClosingParenthesis(QStringView text, qsizetype open);

// The parts of `text` between its commas outside parentheses, strings and
// comments, each without the white space around it.
QStringList SplitList(QStringView text);

// The name in the backquotes that start at `at` (a doubled backquote is one),
// and the index after it; nothing when no quoted name starts there.
struct QuotedName {
  QString name;
  qsizetype end = 0;
};
std::optional<QuotedName> ReadQuotedName(QStringView text, qsizetype at);

// The first index at or after `from` that is not white space.
qsizetype SkipSpace(QStringView text, qsizetype from);

// The index of `word` (any letter case, as a whole word) outside strings,
// names, comments and parentheses, at or after `from`; -1 if none.
qsizetype FindWord(QStringView text, QStringView word, qsizetype from = 0);

// Calls `visit` for each quoted name `database` that qualifies another
// quoted name (`database`.`x`), with x, the character after it (a dot for
// `database`.`x`.`column`, "(" for a function) and where the quoted
// database name starts and ends. Names in strings and comments are passed over.
using QualifiedVisit =
    std::function<void(const QString &name, QChar followedBy, qsizetype start, qsizetype end)>;
void ForEachQualified(QStringView text, const QString &database, const QualifiedVisit &visit);

// `text` with the database `from` written as `to` where it qualifies a name
// for which `qualifies(name, followedBy)` holds.
QString Requalify(QStringView text, const QString &from, const QString &to,
                  const std::function<bool(const QString &name, QChar followedBy)> &qualifies);

} // namespace SqlScan
