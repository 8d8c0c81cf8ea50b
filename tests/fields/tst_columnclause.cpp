// SQL text of column definitions: quoting, escaping, the clauses and the
// CREATE TABLE, ALTER TABLE ... ADD and ... CHANGE statements.
#include "fields/ColumnClause.h"

#include <QtTest>

namespace {

// A field row from its name, type, length, decimals, default and the eight
// flags as one string of 'j' (ja) and 'n' (nein), in row order.
FieldRow row(const QString &name, const QString &type, const QString &length = {},
             const QString &decimals = {}, const QString &defaultValue = {},
             const char *flags = "jnnnnnnn") {
  FieldRow r{name, type, length, decimals, defaultValue};
  for (std::size_t i = 0; i < 8; ++i)
    r[CellNull + i] = flags[i] == 'j' ? QStringLiteral("ja") : QStringLiteral("nein");
  return r;
}

const LiteralEscaper escape = EscapeStringLiteral;

} // namespace

class ColumnClauseTest : public QObject {
  Q_OBJECT
private slots:
  void quotingAndEscaping() {
    QCOMPARE(QuoteIdentifier("kunden"), QStringLiteral("`kunden`"));
    QCOMPARE(QuoteIdentifier("a`b"), QStringLiteral("`a``b`"));
    QCOMPARE(QuoteIdentifier("`"), QStringLiteral("````"));
    QCOMPARE(QuoteIdentifier("a, b"), QStringLiteral("`a, b`"));
    QCOMPARE(QuoteIdentifier(""), QStringLiteral("``"));
    QCOMPARE(QuoteIdentifier("Größe"), QStringLiteral("`Größe`"));

    QCOMPARE(EscapeStringLiteral("it's"), QStringLiteral("it\\'s"));
    QCOMPARE(EscapeStringLiteral("C:\\temp"), QStringLiteral("C:\\\\temp"));
    QCOMPARE(EscapeStringLiteral("\\'"), QStringLiteral("\\\\\\'"));
    QCOMPARE(EscapeStringLiteral("say \"hi\""), QStringLiteral("say \\\"hi\\\""));
    QCOMPARE(EscapeStringLiteral(QString::fromUtf16(u"a\0b", 3)), QStringLiteral("a\\0b"));
    QCOMPARE(EscapeStringLiteral("1\n2\r3\x1a"), QStringLiteral("1\\n2\\r3\\Z"));
    QCOMPARE(EscapeStringLiteral("Ä ß €"), QStringLiteral("Ä ß €"));
  }

  void lengthPart() {
    QCOMPARE(LengthPart(row("a", "DECIMAL", "12", "2")), QStringLiteral("(12,2)"));
    QCOMPARE(LengthPart(row("a", "VARCHAR", "12")), QStringLiteral("(12)"));
    // Decimals without a length give no length part at all.
    QCOMPARE(LengthPart(row("a", "DECIMAL", "", "2")), QString());
    QCOMPARE(LengthPart(row("a", "DATE")), QString());
    // A row carrying both is written as it is, whatever its type.
    QCOMPARE(ColumnClause(row("a", "VARCHAR", "12", "2"), escape),
             QStringLiteral("`a` VARCHAR(12,2)"));
    QCOMPARE(ColumnClause(row("a", "DECIMAL", "", "2"), escape), QStringLiteral("`a` DECIMAL"));
  }

  void flagWords() {
    QCOMPARE(FlagWords(row("a", "INT", {}, {}, {}, "jnnnnnnn")), QString());
    QCOMPARE(FlagWords(row("a", "INT", {}, {}, {}, "nnnnnnnn")), QStringLiteral("NOT NULL "));
    // Fixed order, whatever the row's cell order.
    QCOMPARE(FlagWords(row("a", "INT", {}, {}, {}, "nnjjjjjj")),
             QStringLiteral("unsigned zerofill binary NOT NULL AUTO_INCREMENT "));
    // A primary-key column is NOT NULL even when null is allowed.
    QCOMPARE(FlagWords(row("a", "INT", {}, {}, {}, "jjnnnnnn")), QStringLiteral("NOT NULL "));
    // Only exactly "ja" counts.
    for (const QString &almost :
         {QStringLiteral("Ja"), QStringLiteral("JA"), QStringLiteral("ja "), QStringLiteral(" ja"),
          QStringLiteral("yes"), QStringLiteral("1"), QString()}) {
      FieldRow r = row("a", "INT", {}, {}, {}, "jnnnnnnn");
      for (std::size_t c = CellPrimary; c <= CellIndex; ++c)
        r[c] = almost;
      QCOMPARE(FlagWords(r), QString());
      KeyLists keys;
      AddToKeyLists(r, keys);
      QVERIFY(keys.primary.isEmpty() && keys.unique.isEmpty() && keys.index.isEmpty());
      r[CellNull] = almost; // null not allowed unless exactly "ja"
      QCOMPARE(FlagWords(r), QStringLiteral("NOT NULL "));
    }
  }

  void columnClause() {
    QCOMPARE(ColumnClause(row("kunde", "VARCHAR", "12"), escape),
             QStringLiteral("`kunde` VARCHAR(12)"));
    QCOMPARE(ColumnClause(row("id", "INT", "11", {}, {}, "jjjnnjnn"), escape),
             QStringLiteral("`id` INT(11) unsigned NOT NULL AUTO_INCREMENT"));
    QCOMPARE(ColumnClause(row("preis", "DECIMAL", "10", "2", "0", "nnnjnnnn"), escape),
             QStringLiteral("`preis` DECIMAL(10,2) zerofill NOT NULL default '0'"));
    QCOMPARE(ColumnClause(row("jahr", "YEAR (4)"), escape), QStringLiteral("`jahr` YEAR (4)"));
    QCOMPARE(ColumnClause(row("d", "DOUBLE PRECISION", "12", "2", "1.5"), escape),
             QStringLiteral("`d` DOUBLE PRECISION(12,2) default '1.5'"));
    // Defaults reach the server as typed: quotes and backslashes are escaped.
    QCOMPARE(ColumnClause(row("t", "VARCHAR", "20", {}, "it's"), escape),
             QStringLiteral("`t` VARCHAR(20) default 'it\\'s'"));
    QCOMPARE(ColumnClause(row("p", "VARCHAR", "20", {}, "C:\\"), escape),
             QStringLiteral("`p` VARCHAR(20) default 'C:\\\\'"));
    // A default of blanks is a default.
    QCOMPARE(ColumnClause(row("b", "CHAR", "2", {}, " "), escape),
             QStringLiteral("`b` CHAR(2) default ' '"));
    QCOMPARE(ColumnClause(row("a`b", "INT"), escape), QStringLiteral("`a``b` INT"));

    // The caller's escaper is used, and only for a non-empty default.
    int calls = 0;
    const LiteralEscaper doubling = [&calls](const QString &v) {
      ++calls;
      return QString(v).replace(QLatin1Char('\''), QLatin1String("''"));
    };
    QCOMPARE(ColumnClause(row("t", "TEXT", {}, {}, "it's \\"), doubling),
             QStringLiteral("`t` TEXT default 'it''s \\'"));
    QCOMPARE(calls, 1);
    QCOMPARE(ColumnClause(row("t", "TEXT"), doubling), QStringLiteral("`t` TEXT"));
    QCOMPARE(calls, 1);
  }

  void positionClause() {
    QCOMPARE(PositionClause(FieldPosition::Last, "ort"), QString());
    QCOMPARE(PositionClause(FieldPosition::First, ""), QStringLiteral(" FIRST"));
    // "Als erstes Feld" wins over a filled name.
    QCOMPARE(PositionClause(FieldPosition::First, "ort"), QStringLiteral(" FIRST"));
    QCOMPARE(PositionClause(FieldPosition::After, "ort"), QStringLiteral(" AFTER `ort`"));
    QCOMPARE(PositionClause(FieldPosition::After, ""), QString());
    // The name is taken as typed, blanks included, and quoted.
    QCOMPARE(PositionClause(FieldPosition::After, " ort"), QStringLiteral(" AFTER ` ort`"));
    QCOMPARE(PositionClause(FieldPosition::After, "o`rt"), QStringLiteral(" AFTER `o``rt`"));
  }

  void createTable() {
    // The worked example: a primary key, no defaults.
    const FieldRow id = row("id", "INT", "11", {}, {}, "jjjnnjnn");
    const FieldRow name = row("name", "VARCHAR", "30");
    QCOMPARE(CreateTableStatement("kunden", {id, name}, escape),
             QStringLiteral("CREATE TABLE `kunden` (`id` INT(11) unsigned NOT NULL "
                            "AUTO_INCREMENT,\r`name` VARCHAR(30), PRIMARY KEY (`id`))"));

    // One field: no separator at all.
    const QString one = CreateTableStatement("t", {row("a", "DATE")}, escape);
    QCOMPARE(one, QStringLiteral("CREATE TABLE `t` (`a` DATE)"));
    QVERIFY(!one.contains(QLatin1Char('\r')) && !one.contains(QLatin1Char('\n')));

    // Three fields: two separators of a comma and one carriage return; each
    // row's length from its own cells.
    const QString three = CreateTableStatement(
        "t", {row("a", "VARCHAR", "40"), row("b", "INT", "11"), row("c", "TEXT")}, escape);
    QCOMPARE(three, QStringLiteral("CREATE TABLE `t` (`a` VARCHAR(40),\r`b` INT(11),\r`c` TEXT)"));
    QCOMPARE(three.count(QLatin1Char('\r')), 2);
    QVERIFY(!three.contains(QLatin1Char('\n')));

    // Keys come after all columns in the order PRIMARY KEY, UNIQUE, INDEX,
    // whatever the row order; within a list, names keep grid order.
    const QString keys = CreateTableStatement(
        "t",
        {row("i1", "INT", {}, {}, {}, "jnnnnnnj"), row("u", "INT", {}, {}, {}, "jnnnnnjn"),
         row("p", "INT", {}, {}, {}, "jjnnnnnn"), row("i2", "INT", {}, {}, {}, "jnnnnnnj"),
         row("all", "INT", {}, {}, {}, "jjnnnnjj")},
        escape);
    QCOMPARE(keys, QStringLiteral("CREATE TABLE `t` (`i1` INT,\r`u` INT,\r`p` INT NOT NULL,\r"
                                  "`i2` INT,\r`all` INT NOT NULL, PRIMARY KEY (`p`,`all`), "
                                  "UNIQUE (`u`,`all`), INDEX (`i1`,`i2`,`all`))"));

    // Two primary-key rows make one key over both columns.
    QCOMPARE(CreateTableStatement(
                 "t",
                 {row("a", "INT", {}, {}, {}, "njnnnnnn"), row("b", "INT", {}, {}, {}, "jjnnnnnn")},
                 escape),
             QStringLiteral("CREATE TABLE `t` (`a` INT NOT NULL,\r`b` INT NOT NULL, "
                            "PRIMARY KEY (`a`,`b`))"));

    // Backquotes in the table name and in key lists are doubled.
    QCOMPARE(CreateTableStatement("x`y", {row("a`b", "INT", {}, {}, {}, "jjnnnnjj")}, escape),
             QStringLiteral("CREATE TABLE `x``y` (`a``b` INT NOT NULL, PRIMARY KEY (`a``b`), "
                            "UNIQUE (`a``b`), INDEX (`a``b`))"));
    // A name like "a, b" stays one name.
    QCOMPARE(CreateTableStatement("a, b", {row("c", "INT")}, escape),
             QStringLiteral("CREATE TABLE `a, b` (`c` INT)"));
  }

  void alterStatements() {
    const FieldRow plz = row("plz", "CHAR", "5", {}, {}, "nnnnnnnn");
    QCOMPARE(AddFieldStatement("kunden", plz, {FieldPosition::After, "ort"}, escape),
             QStringLiteral("ALTER TABLE `kunden` ADD `plz` CHAR(5) NOT NULL AFTER `ort`"));
    QCOMPARE(AddFieldStatement("kunden", plz, {FieldPosition::Last, "ort"}, escape),
             QStringLiteral("ALTER TABLE `kunden` ADD `plz` CHAR(5) NOT NULL"));
    QCOMPARE(AddFieldStatement("kunden", plz, {FieldPosition::After, ""}, escape),
             QStringLiteral("ALTER TABLE `kunden` ADD `plz` CHAR(5) NOT NULL"));

    const FieldRow renamed = row("postleitzahl", "VARCHAR", "10", {}, {}, "jnnnnnnj");
    QCOMPARE(ChangeFieldStatement("kunden", "plz", renamed, {FieldPosition::First, "ort"}, escape),
             QStringLiteral("ALTER TABLE `kunden` CHANGE `plz` `postleitzahl` VARCHAR(10) FIRST, "
                            "ADD INDEX (`postleitzahl`)"));
    // Keeping the name still writes it twice.
    QCOMPARE(ChangeFieldStatement("kunden", "plz", row("plz", "VARCHAR", "10", {}, {}, "jnnnnnnj"),
                                  {FieldPosition::First, {}}, escape),
             QStringLiteral("ALTER TABLE `kunden` CHANGE `plz` `plz` VARCHAR(10) FIRST, "
                            "ADD INDEX (`plz`)"));

    // The ALTER key words, after the position clause, in fixed order.
    const FieldRow keyed = row("k", "INT", "11", {}, "7", "jjjnnnjj");
    QCOMPARE(AddFieldStatement("t", keyed, {FieldPosition::After, "a"}, escape),
             QStringLiteral("ALTER TABLE `t` ADD `k` INT(11) unsigned NOT NULL default '7' "
                            "AFTER `a`, ADD PRIMARY KEY (`k`), ADD UNIQUE (`k`), "
                            "ADD INDEX (`k`)"));
    QCOMPARE(ChangeFieldStatement("t", "old", keyed, {}, escape),
             QStringLiteral("ALTER TABLE `t` CHANGE `old` `k` INT(11) unsigned NOT NULL "
                            "default '7', ADD PRIMARY KEY (`k`), ADD UNIQUE (`k`), "
                            "ADD INDEX (`k`)"));

    // Backquotes everywhere a name goes.
    const FieldRow odd = row("n`1", "INT", {}, {}, "it's", "jjnnnnnn");
    QCOMPARE(ChangeFieldStatement("t`1", "o`1", odd, {FieldPosition::After, "a`1"}, escape),
             QStringLiteral("ALTER TABLE `t``1` CHANGE `o``1` `n``1` INT NOT NULL "
                            "default 'it\\'s' AFTER `a``1`, ADD PRIMARY KEY (`n``1`)"));
    QCOMPARE(AddFieldStatement("t`1", odd, {FieldPosition::After, "a`1"}, escape),
             QStringLiteral("ALTER TABLE `t``1` ADD `n``1` INT NOT NULL default 'it\\'s' "
                            "AFTER `a``1`, ADD PRIMARY KEY (`n``1`)"));
  }
};

QTEST_MAIN(ColumnClauseTest)
#include "tst_columnclause.moc"
