// The type text of the field list.
#include "clientlib/FieldTypeText.h"

#include <QtTest>

class FieldTypeTextTest : public QObject {
  Q_OBJECT
private slots:
  void everyCodeHasItsName() {
    const QMap<unsigned, QString> names{
        {0, "DECIMAL"},      {1, "TINY"},          {2, "SHORT"},       {3, "LONG"},
        {4, "FLOAT"},        {5, "DOUBLE"},        {6, "NULL"},        {7, "TIMESTAMP"},
        {8, "LONGLONG"},     {9, "INT24"},         {10, "DATE"},       {11, "TIME"},
        {12, "DATETIME"},    {13, "YEAR"},         {14, "NEWDATE"},    {16, "BIT"},
        {245, "JSON"},       {246, "NEWDECIMAL"},  {247, "ENUM"},      {248, "SET"},
        {249, "TINY BLOB"},  {250, "MEDIUM BLOB"}, {251, "LONG BLOB"}, {252, "BLOB"},
        {253, "VAR STRING"}, {254, "STRING"},      {255, "GEOMETRY"}};
    for (unsigned code = 0; code < 256; ++code)
      QCOMPARE(FieldTypeName(code), names.value(code));
    // Only the low eight bits count.
    QCOMPARE(FieldTypeName(0x100 + 3), QStringLiteral("LONG"));
  }

  void textParts() {
    QCOMPARE(FieldTypeText(3, 11, 0, 2), QStringLiteral("LONG (11,0) PRIMARY"));
    QCOMPARE(FieldTypeText(253, 50, 0, 0), QStringLiteral("VAR STRING (50,0)"));
    // A code without a name: the text starts with the blank.
    QCOMPARE(FieldTypeText(15, 20, 0, 0), QStringLiteral(" (20,0)"));
    // Marks each by itself, in fixed order; other flag bits are ignored.
    QCOMPARE(FieldTypeText(3, 11, 0, 4 | 8), QStringLiteral("LONG (11,0) UNIQUE KEY"));
    QCOMPARE(FieldTypeText(3, 11, 0, 2 | 4 | 8 | 1 | 32 | 512),
             QStringLiteral("LONG (11,0) PRIMARY UNIQUE KEY"));
    // Lengths and decimals are unsigned.
    QCOMPARE(FieldTypeText(252, 4294967295ul, 0, 0), QStringLiteral("BLOB (4294967295,0)"));
    QCOMPARE(FieldTypeText(246, 12, 4294967295u, 0), QStringLiteral("NEWDECIMAL (12,4294967295)"));
  }
};

QTEST_MAIN(FieldTypeTextTest)
#include "tst_fieldtypetext.moc"
