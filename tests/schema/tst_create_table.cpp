// "Neue Tabelle...": the designer's rows become one CREATE TABLE statement,
// checked by reading the created table back from the server.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "fields/EditFieldFUnit.h"
#include "fields/FieldTypeRules.h"
#include "schema/NewTableFUnit.h"
#include "tests/support/TestSupport.h"

#include <QLineEdit>

namespace {
const QString Db = QStringLiteral("qwt_create");

FieldRow Row(std::initializer_list<QString> cells) {
  FieldRow row;
  std::fill(row.begin(), row.end(), QStringLiteral("nein"));
  row[CellLength] = row[CellDecimals] = row[CellDefault] = QString();
  std::size_t i = 0;
  for (const QString &c : cells)
    row[i++] = c;
  return row;
}
} // namespace

class CreateTableTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;

  void selectDatabase(const QString &name) { ClickCaption(form->ListView1, name); }
  // Scripts the designer: the table name, then each row through the field
  // editor as a user would enter it.
  void design(ModalScript &script, const QString &table, const QList<FieldRow> &rows,
              bool ok = true) {
    script.push([=](QDialog &dialog) {
      auto &designer = static_cast<TNewTableForm &>(dialog);
      designer.TableNameEd->setText(table);
      for (int i = 0; i < rows.size(); ++i)
        designer.NewFieldBtnClick();
      return int(ok && designer.BitBtnXP1->isEnabled() ? QDialog::Accepted : QDialog::Rejected);
    });
    // The designer shows the field editor once per row, right after it opens.
    for (const FieldRow &row : rows)
      script.push([row](QDialog &d) {
        static_cast<TEditFieldForm &>(d).FillFromRow(row);
        return int(QDialog::Accepted);
      });
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    admin = std::make_unique<AdminConnection>();
    LoadRealClientLibrary();
  }
  void init() {
    admin->makeDatabase(Db, {"vorher"});
    form = OpenMainForm(true);
    QVERIFY(form->connected());
    selectDatabase(Db);
  }
  void cleanup() { CloseMainForm(form); }
  void cleanupTestCase() {
    if (admin)
      admin->dropDatabase(Db);
  }

  void workedExample() {
    MessageRecorder messages;
    ModalScript script;
    design(script, QStringLiteral("kunden"),
           {Row({"id", "INT", "11", "", "", "ja", "ja", "ja", "nein", "nein", "ja"}),
            Row({"name", "VARCHAR", "30", "", "", "ja"})});
    const int dbRow = form->ListView1->selectedRow();
    form->NewTableBtn->click();
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join('|')));
    const QList<QStringList> columns = admin->columns(Db, QStringLiteral("kunden"));
    QCOMPARE(columns.size(), 2);
    QCOMPARE(columns[0],
             (QStringList{"id", "int(11) unsigned", "NO", QString(), "auto_increment", "PRI"}));
    QCOMPARE(columns[1], (QStringList{"name", "varchar(30)", "YES", "NULL", "", ""}));
    // The table list is rebuilt with the database selected again.
    QCOMPARE(form->ListView1->selectedRow(), dbRow);
    QVERIFY(Captions(form->ListView2).contains(QStringLiteral("kunden")));
    QVERIFY(!form->ListView2->hasSelection());
  }

  void everyTypeOfTheEditor() {
    // One column of each of the thirty types, with the controls the type
    // leaves enabled at sensible values, and one with keys and defaults.
    QList<FieldRow> rows;
    for (std::size_t i = 0; i < FieldTypeRules.size(); ++i) {
      const FieldTypeRule &rule = FieldTypeRules[i];
      const QString word = QString::fromLatin1(rule.word);
      FieldRow row = Row({QStringLiteral("spalte_%1").arg(i), word});
      // The server takes no length for the tiny, medium and long text and blob
      // types: their length box is left empty, as the editor allows.
      const bool noLength =
          (word.endsWith(QLatin1String("BLOB")) || word.endsWith(QLatin1String("TEXT"))) &&
          word != QLatin1String("BLOB") && word != QLatin1String("TEXT");
      if (rule.length && !noLength)
        row[CellLength] = word == QLatin1String("TIMESTAMP") ? QStringLiteral("6")
                          : rule.decimals                    ? QStringLiteral("10")
                                                             : QStringLiteral("20");
      if (rule.decimals)
        row[CellDecimals] = QStringLiteral("2");
      if (rule.unsignedFlag)
        row[CellUnsigned] = QStringLiteral("ja");
      row[CellNull] = QStringLiteral("ja");
      rows << row;
    }
    rows << Row({"schlüssel", "INT", "11", "", "", "nein", "ja", "ja", "nein", "nein", "ja"})
         << Row({"kennung", "CHAR", "8", "", "A'b\\c", "nein", "nein", "nein", "nein", "ja", "nein",
                 "ja"})
         << Row({"preis", "DECIMAL", "10", "2", "1.50", "nein", "nein", "nein", "ja", "nein",
                 "nein", "nein", "ja"});
    MessageRecorder messages;
    ModalScript script;
    design(script, QStringLiteral("alle typen"), rows);
    form->NewTableBtn->click();
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join('|')));
    const QList<QStringList> columns = admin->columns(Db, QStringLiteral("alle typen"));
    QCOMPARE(columns.size(), rows.size());
    QStringList types;
    for (const QStringList &c : columns)
      types << c[1];
    QCOMPARE(types.mid(0, 12),
             (QStringList{"bigint(20) unsigned", "bit(1)", "tinyblob", "tinyint(1)", "char(20)",
                          "date", "datetime", "decimal(10,2)", "double(10,2)", "double(10,2)",
                          "float(10,2)", "int(20) unsigned"}));
    QCOMPARE(columns[23][1], QStringLiteral("timestamp(6)"));
    QCOMPARE(columns[27][1], QStringLiteral("varchar(20)"));
    QCOMPARE(columns[30], (QStringList{"schlüssel", "int(11) unsigned", "NO", QString(),
                                       "auto_increment", "PRI"}));
    QCOMPARE(columns[31][5], QStringLiteral("UNI"));
    QCOMPARE(columns[32][1], QStringLiteral("decimal(10,2) unsigned zerofill"));
    QCOMPARE(columns[32][5], QStringLiteral("MUL"));

    // The defaults arrive as typed: a quote and a backslash included.
    admin->exec(QStringLiteral("INSERT INTO `qwt_create`.`alle typen` (`spalte_0`) VALUES (1)"));
    QCOMPARE(admin->rows(QStringLiteral("SELECT kennung, preis FROM `qwt_create`.`alle typen`")),
             (QList<QStringList>{{"A'b\\c", "00000001.50"}}));
  }

  void defaultsUnderNoBackslashEscapes() {
    // The default is escaped on the live connection, so it arrives as typed
    // whatever the server's sql_mode.
    QVERIFY(form->Session
                ->query({}, QStringLiteral(
                                "SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES,STRICT_ALL_TABLES'"))
                .ok());
    MessageRecorder messages;
    ModalScript script;
    design(script, QStringLiteral("modus"),
           {Row({"a", "VARCHAR", "20", "", "x\\'y\\\\", "ja"}), Row({"b", "INT", "5", "", "-7"})});
    form->NewTableBtn->click();
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join('|')));
    admin->exec(QStringLiteral("INSERT INTO `qwt_create`.`modus` () VALUES ()"));
    QCOMPARE(admin->rows(QStringLiteral("SELECT a, b FROM `qwt_create`.`modus`")),
             (QList<QStringList>{{"x\\'y\\\\", "-7"}}));
  }

  void refusalAndPreconditions() {
    MessageRecorder messages;
    ModalScript script;
    // Duplicate field names: the server's text, no title, lists rebuilt.
    admin->exec(QStringLiteral("CREATE TABLE `qwt_create`.`inzwischen` (id INT)"));
    design(script, QStringLiteral("doppelt"), {Row({"a", "INT", "11"}), Row({"a", "DATE"})});
    form->NewTableBtn->click();
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY2(messages.shown[0].text.contains(QLatin1String("Duplicate column name")),
             qPrintable(messages.shown[0].text));
    QCOMPARE(messages.shown[0].title, QString());
    QVERIFY(!admin->tables(Db).contains(QStringLiteral("doppelt")));
    QVERIFY(Captions(form->ListView2).contains(QStringLiteral("inzwischen")));

    // The refused design is offered again, also after a field command has
    // carried its row through the designer's grid; once, then it opens empty.
    ClickCaption(form->ListView2, QStringLiteral("inzwischen"));
    script.push([](QDialog &) { return int(QDialog::Rejected); });
    form->NewFieldBtn->click();
    messages.clear();
    for (const int rows : {2, 0}) {
      script.push([&, rows](QDialog &dialog) {
        auto &designer = static_cast<TNewTableForm &>(dialog);
        [&] {
          QCOMPARE(designer.TableName(), rows ? QStringLiteral("doppelt") : QString());
          QCOMPARE(designer.RowCount(), rows);
          QCOMPARE(designer.BitBtnXP1->isEnabled(), rows > 0);
        }();
        return int(QDialog::Rejected);
      });
      form->NewTableBtn->click();
    }
    admin->exec(QStringLiteral("CREATE TABLE `qwt_create`.`ungesehen` (id INT)"));
    script.push([](QDialog &) { return int(QDialog::Rejected); });
    form->NewTableBtn->click();
    // Cancelled: nothing sent, nothing rebuilt.
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(!Captions(form->ListView2).contains(QStringLiteral("ungesehen")));

    // The database is gone: its refusal, no statement, the lists rebuilt.
    admin->makeDatabase(QStringLiteral("qwt_create_weg"));
    form->ListCurrentDatabases();
    selectDatabase(QStringLiteral("qwt_create_weg"));
    admin->dropDatabase(QStringLiteral("qwt_create_weg"));
    design(script, QStringLiteral("t"), {Row({"a", "INT", "11"})});
    form->NewTableBtn->click();
    QCOMPARE(messages.texts(), QStringList{"Konnte Datenbank nicht auswählen"});
    QVERIFY(messages.shown[0].title.contains(QLatin1String("qwt_create_weg")));
    QVERIFY(!Captions(form->ListView1).contains(QStringLiteral("qwt_create_weg")));

    // Not connected but a database selected: only the message, no designer.
    messages.clear();
    const int shown = script.shownCount;
    form->cancelbtnClick();
    form->ListView1->items().appendRow(Db);
    form->ListView1->selectRow(0);
    form->NewTableBtn->click();
    QCOMPARE(messages.texts(), QStringList{"Sie müssen mit der MySQL Server verbunden sein!"});
    // No database selected: nothing at all.
    messages.clear();
    form->ListView1->clearSelection();
    form->NewTableBtn->click();
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(script.shownCount, shown);
  }
};

QTEST_MAIN(CreateTableTest)
#include "tst_create_table.moc"
