#include "clientlib/FieldTypeText.h"

QString FieldTypeName(unsigned int typeCode) {
  switch (typeCode & 0xFFu) {
  case 0: return QStringLiteral("DECIMAL");
  case 1: return QStringLiteral("TINY");
  case 2: return QStringLiteral("SHORT");
  case 3: return QStringLiteral("LONG");
  case 4: return QStringLiteral("FLOAT");
  case 5: return QStringLiteral("DOUBLE");
  case 6: return QStringLiteral("NULL");
  case 7: return QStringLiteral("TIMESTAMP");
  case 8: return QStringLiteral("LONGLONG");
  case 9: return QStringLiteral("INT24");
  case 10: return QStringLiteral("DATE");
  case 11: return QStringLiteral("TIME");
  case 12: return QStringLiteral("DATETIME");
  case 13: return QStringLiteral("YEAR");
  case 14: return QStringLiteral("NEWDATE");
  // Codes that current servers send for columns.
  case 16: return QStringLiteral("BIT");
  case 245: return QStringLiteral("JSON");
  case 246: return QStringLiteral("NEWDECIMAL");
  case 247: return QStringLiteral("ENUM");
  case 248: return QStringLiteral("SET");
  case 249: return QStringLiteral("TINY BLOB");
  case 250: return QStringLiteral("MEDIUM BLOB");
  case 251: return QStringLiteral("LONG BLOB");
  case 252: return QStringLiteral("BLOB");
  case 253: return QStringLiteral("VAR STRING");
  case 254: return QStringLiteral("STRING");
  case 255: return QStringLiteral("GEOMETRY");
  default: return {};
  }
}

QString FieldTypeText(unsigned int type, unsigned long length, unsigned int decimals,
                      unsigned int flags) {
  QString text = FieldTypeName(type);
  text += QLatin1String(" (");
  text += QString::number(length);
  text += QLatin1Char(',');
  text += QString::number(decimals);
  text += QLatin1Char(')');
  if (flags & 2u)
    text += QLatin1String(" PRIMARY");
  if (flags & 4u)
    text += QLatin1String(" UNIQUE");
  if (flags & 8u)
    text += QLatin1String(" KEY");
  return text;
}
