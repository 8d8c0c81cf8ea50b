// The field row that "Feld ändern..." starts from, made from a column's
// definition as the server reports it; columns the editor cannot show
// exactly are refused, never converted.
#include "fields/ColumnDefinition.h"

#include <QtTest>

namespace {
ColumnFacts Column(const QString &dataType, const QString &columnType, bool nullable = true,
                   const QString &def = {}, const QString &extra = {}) {
  ColumnFacts c;
  c.name = QStringLiteral("spalte");
  c.dataType = dataType;
  c.columnType = columnType;
  c.nullable = nullable;
  c.defaultValue = def;
  c.extra = extra;
  c.tableCollation = QStringLiteral("utf8mb4_general_ci");
  c.tableType = QStringLiteral("BASE TABLE");
  if (dataType.contains(QLatin1String("char")) || dataType.contains(QLatin1String("text")))
    c.collation = c.tableCollation;
  return c;
}
// name, type, length, decimals, default, then the eight flags as a string of j/n.
QStringList Cells(const EditableColumn &e) {
  if (!e.row)
    return {e.refusal};
  QStringList cells{(*e.row)[CellType], (*e.row)[CellLength], (*e.row)[CellDecimals],
                    (*e.row)[CellDefault]};
  QString flags;
  for (std::size_t i = CellNull; i <= CellIndex; ++i)
    flags += (*e.row)[i] == QLatin1String("ja")     ? 'j'
             : (*e.row)[i] == QLatin1String("nein") ? 'n'
                                                    : '?';
  return cells << flags;
}
} // namespace

class ColumnDefinitionTest : public QObject {
  Q_OBJECT
private slots:
  void exactColumns() {
    using L = QStringList;
    // flags: null primary unsigned zerofill binary autoinc unique index
    QCOMPARE(
        Cells(EditableFromColumn(Column("int", "int(10) unsigned", false, {}, "auto_increment"))),
        (L{"INT", "10", "", "", "nnjnnjnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("decimal", "decimal(10,2)", false, "1.50"))),
             (L{"DECIMAL", "10", "2", "1.50", "nnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("decimal", "decimal(10,0)", true, "NULL"))),
             (L{"DECIMAL", "10", "", "", "jnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("varchar", "varchar(30)", true, "NULL"))),
             (L{"VARCHAR", "30", "", "", "jnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("date", "date", false))),
             (L{"DATE", "", "", "", "nnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("text", "text", true, "NULL"))),
             (L{"TEXT", "", "", "", "jnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("float", "float", true, "-1.5e10"))),
             (L{"FLOAT", "", "", "-1.5e10", "jnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("tinyint", "tinyint(1)", false, "0"))),
             (L{"TINYINT", "1", "", "0", "nnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("bit", "bit(1)"))),
             (L{"BIT", "", "", "", "jnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("year", "year(4)"))),
             (L{"YEAR (4)", "", "", "", "jnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("timestamp", "timestamp(6)", false))),
             (L{"TIMESTAMP", "6", "", "", "nnnnnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("timestamp", "timestamp", false))),
             (L{"TIMESTAMP", "", "", "", "nnnnnnnn"}));
    // Zero-fill makes a column unsigned; the editor shows unsigned only where it may.
    QCOMPARE(Cells(EditableFromColumn(Column("int", "int(5) unsigned zerofill"))),
             (L{"INT", "5", "", "", "jnjjnnnn"}));
    QCOMPARE(Cells(EditableFromColumn(Column("decimal", "decimal(8,3) unsigned zerofill"))),
             (L{"DECIMAL", "8", "3", "", "jnnjnnnn"}));
    // Quoted defaults come back as typed.
    QCOMPARE(Cells(EditableFromColumn(Column("varchar", "varchar(9)", true, "'it''s'"))).value(3),
             QStringLiteral("it's"));
    QCOMPARE(Cells(EditableFromColumn(Column("varchar", "varchar(9)", true, "'a\\\\b'"))).value(3),
             QStringLiteral("a\\b"));
    // The binary collation of the table's character set is "Binär".
    ColumnFacts binary = Column("varchar", "varchar(10)");
    binary.collation = QStringLiteral("utf8mb4_bin");
    QCOMPARE(Cells(EditableFromColumn(binary)), (L{"VARCHAR", "10", "", "", "jnnnjnnn"}));
  }

  void defaultsWithLineBreaksAndNulKeepTheirCharacters() {
    // information_schema.COLUMNS writes a text default with a quote doubled
    // and NUL, line feed, carriage return and backslash as \0, \n, \r and \\,
    // (measured on MariaDB 10.11 with the defaults l1<LF>l2, n<NUL>n, c<CR>r, x\n).
    // Read as they stand, a CHANGE would turn a line break into a backslash
    // and an n.
    const auto defaultOf = [](const QString &serverDefault) {
      return Cells(EditableFromColumn(Column("varchar", "varchar(20)", true, serverDefault)))
          .value(3);
    };
    QCOMPARE(defaultOf(QStringLiteral("'l1\\nl2'")), QStringLiteral("l1\nl2"));
    QCOMPARE(defaultOf(QStringLiteral("'n\\0n'")),
             QString(QStringLiteral("n") + QChar(0) + QStringLiteral("n")));
    QCOMPARE(defaultOf(QStringLiteral("'c\\rr'")), QStringLiteral("c\rr"));
    // A backslash and an n typed as such stay two characters.
    QCOMPARE(defaultOf(QStringLiteral("'x\\\\n'")), QStringLiteral("x\\n"));
    QCOMPARE(defaultOf(QStringLiteral("'\\\\'''")), QStringLiteral("\\'"));
    // Tab, Ctrl-Z and double quote come as they are.
    QCOMPARE(defaultOf(QStringLiteral("'t\tz\x1a\"'")), QStringLiteral("t\tz\x1a\""));
    // What the server never writes is refused, not guessed.
    for (const char *odd : {"'a'b'", "'a\\'", "'a\\tb'", "'a\\'b'"})
      QVERIFY2(
          !EditableFromColumn(Column("varchar", "varchar(20)", true, QString::fromLatin1(odd))).row,
          odd);
  }

  void refusedColumns() {
    auto refusal = [](const ColumnFacts &c) {
      const EditableColumn e = EditableFromColumn(c);
      return e.row ? QString() : e.refusal;
    };
    const QString enumRefusal = refusal(Column("enum", "enum('rot','grün')"));
    QVERIFY(enumRefusal.contains(QStringLiteral("„spalte“")));
    QVERIFY(enumRefusal.contains(QStringLiteral("enum('rot','grün')")));
    QVERIFY(enumRefusal.contains(QStringLiteral("Typliste")));
    for (const ColumnFacts &c :
         {Column("set", "set('a')"), Column("bit", "bit(8)"), Column("datetime", "datetime(6)"),
          Column("time", "time(3)"), Column("decimal", "decimal(10,2) unsigned"),
          Column("double", "double unsigned"), Column("varbinary", "varbinary(10)"),
          Column("point", "point"), Column("varchar", "varchar(5)", false, "''"),
          Column("datetime", "datetime", false, "current_timestamp()"),
          Column("bit", "bit(1)", true, "b'1'"),
          Column("timestamp", "timestamp", false, "current_timestamp()",
                 "on update current_timestamp()"),
          Column("int", "int(11)", true, "NULL", "VIRTUAL GENERATED"),
          Column("float", "float(7,0)"), Column("double", "double(10,0)"),
          Column("varchar", "varchar(10001)"), Column("blob", "blob /*M!100301 COMPRESSED*/")}) {
      QVERIFY2(!refusal(c).isEmpty(), qPrintable(c.columnType + " " + c.defaultValue));
    }
    ColumnFacts commented = Column("int", "int(11)");
    commented.comment = QStringLiteral("Wichtig");
    QVERIFY(refusal(commented).contains(QStringLiteral("Kommentar")));
    ColumnFacts latin = Column("varchar", "varchar(10)");
    latin.collation = QStringLiteral("latin1_swedish_ci");
    QVERIFY(refusal(latin).contains(QStringLiteral("latin1_swedish_ci")));
    ColumnFacts binaryText = Column("text", "text");
    binaryText.collation = QStringLiteral("utf8mb4_bin");
    QVERIFY(!refusal(binaryText).isEmpty());
  }

  void queryNamesColumnsByteForByte() {
    const QString q = ColumnFactsQuery("d", "t", "c");
    QVERIFY(q.contains(QLatin1String("BINARY c.TABLE_SCHEMA = 'd'")));
    QVERIFY(q.contains(QLatin1String("BINARY c.TABLE_NAME = 't'")));
    QVERIFY(q.contains(QLatin1String("BINARY c.COLUMN_NAME = 'c'")));
    // Placeholders inside a name are not filled in again.
    QVERIFY(ColumnFactsQuery("%2", "x", "y").contains(QLatin1String("= '%2'")));
  }
};

QTEST_MAIN(ColumnDefinitionTest)
#include "tst_columndefinition.moc"
