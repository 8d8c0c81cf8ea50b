#include "compare/FileIntoTemporary.h"

#include "compare/SqlScan.h"
#include "sqlfile/ScriptFile.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

// A statement as the server reads it: each string as '', each quoted name
// as ``, each comment as a blank, but the code of a versioned comment
// (/*!50001 ... */, /*M!100100 ... */) that the server runs as code; words
// in upper case, with _ for a character beyond ASCII.
struct Code {
  QString text;
  QStringList qualifiers; // the first names of x.y and x.y.z
  // What a text or name is, or where it ends, depends on what the scan
  // cannot know: the server may pass over a versioned comment read here as
  // code (MariaDB one of MySQL 5.7 on, MySQL one of MariaDB) and end it
  // inside, take "..." for a name that no backslash escapes (ANSI_QUOTES), or
  // read bytes that are not UTF-8 (U+FFFD here) in another character set
  // (SET NAMES gbk), where a quote or backslash may end a character.
  bool unclear = false;
};

bool NotUtf8(QStringView text) { return text.contains(QChar::ReplacementCharacter); }

// Where a versioned comment ("/*!", "/*M!" and five or six digits, or none)
// starts at `at`: its length, and whether the server runs what it holds,
// which is where it has no version or no later one than the server.
struct Opening {
  qsizetype length = 0;
  bool runs = false;
};
Opening ExecutableCommentOpening(QStringView s, qsizetype at, int serverVersion) {
  const QStringView rest = s.sliced(at);
  const qsizetype marker = rest.startsWith(u"/*!") ? 3 : rest.startsWith(u"/*M!") ? 4 : 0;
  if (marker == 0)
    return {};
  qsizetype digits = 0;
  while (digits < 6 && marker + digits < rest.size() && rest[marker + digits] >= u'0' &&
         rest[marker + digits] <= u'9')
    ++digits;
  if (digits < 5)
    return {marker, true};
  return {marker + digits,
          serverVersion == 0 || rest.sliced(marker, digits).toInt() <= serverVersion};
}

Code ReadCode(QStringView s, bool backslashEscapes, int serverVersion) {
  Code code;
  code.text.reserve(s.size());
  bool executable = false;
  // The name read last, while it may qualify the next; none after a dot or
  // an @ (the second part of a name, a variable, a host).
  QString name;
  QChar before; // the last character of code that is not a blank
  for (qsizetype i = 0; i < s.size();) {
    const QChar c = s[i];
    if (const Opening opening = ExecutableCommentOpening(s, i, serverVersion); opening.length) {
      if (opening.runs) {
        executable = true;
        i += opening.length;
      } else { // as a comment
        i = SqlScan::SkipQuotedOrComment(s, i);
      }
      code.text += u' ';
      continue;
    }
    if (executable && s.sliced(i).startsWith(u"*/")) {
      executable = false;
      code.text += u' ';
      i += 2;
      continue;
    }
    const bool mayQualify = before != u'.' && before != u'@';
    qsizetype end = SqlScan::SkipQuotedOrComment(s, i, backslashEscapes);
    if (end != i) {
      const QStringView span = s.sliced(i, end - i);
      static const QRegularExpression notUtf8BeforeQuote(QStringLiteral("\\x{FFFD}[\\\\'\"`]"));
      const bool isName = c == u'`' || c == u'"'; // "..." is one where ANSI_QUOTES is on
      const bool quoted = isName || c == u'\'';
      code.unclear |= (executable && c != u'/' && span.contains(u"*/")) ||
                      (c == u'"' && backslashEscapes && span.contains(u'\\')) ||
                      (isName && NotUtf8(span)) ||
                      (quoted && notUtf8BeforeQuote.match(span).hasMatch());
      if (isName) {
        name = mayQualify && span.size() >= 2
                   ? span.sliced(1, span.size() - 2).toString().replace(QString(2, c), QString(c))
                   : QString();
        before = c;
        code.text += c == u'`' ? QLatin1String("``") : QLatin1String("''");
      } else if (quoted) {
        name.clear();
        before = c;
        code.text += QLatin1String("''");
      } else {
        code.text += u' ';
      }
    } else if (SqlScan::IsWordCharacter(c)) {
      while (end < s.size() && SqlScan::IsWordCharacter(s[end]))
        ++end;
      name = mayQualify ? s.sliced(i, end - i).toString() : QString();
      code.unclear |= NotUtf8(s.sliced(i, end - i));
      before = c;
      for (const QChar w : s.sliced(i, end - i))
        code.text += w.unicode() < 0x80 && w != u'$' ? w.toUpper() : u'_';
    } else {
      end = i + 1;
      if (c == u'.' && !name.isEmpty())
        code.qualifiers << name;
      if (!c.isSpace()) {
        name.clear();
        before = c;
      }
      code.text += c;
    }
    i = end;
  }
  return code;
}

bool Has(const QString &code, const QRegularExpression &pattern) {
  return pattern.match(code).hasMatch();
}

QRegularExpression Pattern(const QString &pattern) {
  return QRegularExpression(pattern, QRegularExpression::DontCaptureOption |
                                         QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

LoadVerdict JudgeLoadedStatement(QStringView statement, bool backslashEscapes,
                                 const LoadServer &server) {
  static const QString user = QStringLiteral(
      "(?:CURRENT_USER(?:\\s*\\(\\s*\\))?|(?:\\w+|''|``)(?:\\s*@\\s*(?:\\w+|''|``))?)");
  // What describes the compared objects, and the settings, locks and
  // transactions a dump puts around them.
  static const QRegularExpression runs =
      Pattern(QStringLiteral(
                  "^\\s*(?:(?:CREATE(?:\\s+OR\\s+REPLACE)?|ALTER|DROP)(?:\\s+(?:TEMPORARY|UNIQUE|"
                  "FULLTEXT|SPATIAL|ONLINE|IGNORE|ALGORITHM\\s*=\\s*\\w+|SQL\\s+SECURITY\\s+\\w+|"
                  "DEFINER\\s*=\\s*%1))*\\s+(?:TABLE|VIEW|TRIGGER|INDEX|SEQUENCE)\\b|RENAME\\s+"
                  "TABLE\\b|(?:UN)?LOCK\\s+TABLES?\\b|START\\s+TRANSACTION\\b|SET\\b|(?:BEGIN|"
                  "COMMIT|ROLLBACK)(?:\\s+WORK)?\\s*$)")
                  .arg(user));
  // A SET of more than the session.
  static const QRegularExpression beyondSession = Pattern(
      QStringLiteral("^\\s*SET\\b.*\\b(?:GLOBAL|PERSIST|PERSIST_ONLY|PASSWORD|ROLE|STATEMENT)\\b"));
  static const QRegularExpression elsewhere =
      Pattern(QStringLiteral("\\b(?:(?:DATA|INDEX)\\s+DIRECTORY|CONNECTION\\s*=?\\s*'')"));
  static const QRegularExpression intoFile =
      Pattern(QStringLiteral("\\bINTO\\s+(?:OUTFILE|DUMPFILE)\\b"));

  const Code code = ReadCode(statement, backslashEscapes, server.version);
  if (!Has(code.text, runs) || Has(code.text, beyondSession))
    return {LoadVerdict::Kind::Skip, {}, false};
  const auto refuse = [](const QString &reason) {
    return LoadVerdict{LoadVerdict::Kind::Refuse, reason, false};
  };
  if (code.unclear)
    return refuse(QStringLiteral("lässt sich nicht eindeutig lesen (ein Text oder Name reicht über "
                                 "das Ende eines /*!...*/-Kommentars, ein Text in \"...\" enthält "
                                 "einen Backslash, oder sie enthält Bytes, die kein UTF-8 sind)"));
  for (const QString &qualifier : code.qualifiers)
    if (server.otherDatabases.contains(qualifier, Qt::CaseInsensitive))
      return refuse(QStringLiteral("betrifft die Datenbank „%1“").arg(qualifier));
  if (Has(code.text, elsewhere))
    return refuse(QStringLiteral("legt Daten außerhalb der temporären Datenbank ab (DATA "
                                 "DIRECTORY, INDEX DIRECTORY oder CONNECTION)"));
  if (Has(code.text, intoFile))
    return refuse(QStringLiteral("schreibt eine Datei auf dem Server (INTO OUTFILE oder INTO "
                                 "DUMPFILE)"));
  return {LoadVerdict::Kind::Run, {}, code.text.contains(u';')};
}

void FileIntoTemporary::begin(bool backslashEscapes, qint64 longest) {
  m_backslashEscapes = backslashEscapes;
  m_file.begin(backslashEscapes, longest);
}

void FileIntoTemporary::modeSet(bool backslashEscapes) {
  m_backslashEscapes = backslashEscapes;
  m_file.modeSet(backslashEscapes);
}

bool FileIntoTemporary::next(ScriptStatement &statement) {
  while (m_file.next(statement)) {
    const LoadVerdict verdict =
        JudgeLoadedStatement(QString::fromUtf8(statement.text), m_backslashEscapes, m_server);
    switch (verdict.kind) {
    case LoadVerdict::Kind::Skip: continue;
    case LoadVerdict::Kind::Run: statement.alone = verdict.alone; return true;
    case LoadVerdict::Kind::Refuse: {
      const QLocale german(QLocale::German);
      m_refusal = QStringLiteral("Anweisung %1 (Zeile %2) %3; die Datei wird nur in eine temporäre "
                                 "Datenbank geladen und darf nichts anderes ändern.")
                      .arg(german.toString(statement.number), german.toString(statement.line),
                           verdict.reason);
      return false;
    }
    }
  }
  return false;
}
