#include "clientlib/SqlText.h"

QString QuoteIdentifier(const QString &name) {
  QString quoted = name;
  quoted.replace(QLatin1Char('`'), QLatin1String("``"));
  return QLatin1Char('`') + quoted + QLatin1Char('`');
}

QString QuoteQualified(const QString &database, const QString &table) {
  return QuoteIdentifier(database) + QLatin1Char('.') + QuoteIdentifier(table);
}

QString EscapeStringLiteral(const QString &value) {
  QString escaped;
  escaped.reserve(value.size() + 8);
  for (const QChar c : value) {
    switch (c.unicode()) {
    case 0: escaped += QLatin1String("\\0"); break;
    case '\n': escaped += QLatin1String("\\n"); break;
    case '\r': escaped += QLatin1String("\\r"); break;
    case '\\': escaped += QLatin1String("\\\\"); break;
    case '\'': escaped += QLatin1String("\\'"); break;
    case '"': escaped += QLatin1String("\\\""); break;
    case 0x1a: escaped += QLatin1String("\\Z"); break;
    default: escaped += c;
    }
  }
  return escaped;
}
