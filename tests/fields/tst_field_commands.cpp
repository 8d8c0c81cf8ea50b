// "Neue Feld...", "Feld ändern..." and "Feld löschen..." against the private
// server, judged by reading the table back and by the server's query log.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "fields/EditFieldFUnit.h"
#include "fields/FieldTypeRules.h"
#include "schema/RenameTableFUnit.h"
#include "tests/support/ColumnKinds.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace {
const QString Db = QStringLiteral("qwt_fields");
const QString Table = QStringLiteral("kunden");

TEditFieldForm &Editor(QDialog &d) { return static_cast<TEditFieldForm &>(d); }

} // namespace

class FieldCommandsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;
  MessageRecorder *messages = nullptr;

  void selectTable(const QString &table = Table) {
    ClickCaption(form->ListView1, Db);
    ClickCaption(form->ListView2, table);
  }
  void selectField(const QString &field) { ClickCaption(form->ListView3, field); }
  QStringList columns(const QString &table = Table) { return admin->columnNames(Db, table); }
  QStringList definition(const QString &column) {
    for (QStringList c : admin->columns(Db, Table))
      if (c[0] == column) {
        c.removeFirst();
        return c;
      }
    return {};
  }
  // The statements the form's connection sent since the log was cleared.
  QStringList sent() {
    QStringList statements;
    for (const QString &s : admin->statementsOf(form->Session->connectionId()))
      if ((s.startsWith(QLatin1String("ALTER")) || s.startsWith(QLatin1String("SELECT c."))) &&
          !s.contains(QLatin1String("quellwerk_probe")))
        statements << s;
    return statements;
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    admin = std::make_unique<AdminConnection>();
    // Through the fake library, which holds every escape to its buffer size.
    QCOMPARE(LoadClientLibraryFile(QW_FAKE_COMPLETE_LIB), ClientLibraryState::Complete);
  }
  void init() {
    admin->makeDatabase(Db);
    admin->exec(QStringLiteral(
        "CREATE TABLE `qwt_fields`.`kunden` (id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY, "
        "preis DECIMAL(10,2) NOT NULL DEFAULT 1.50, name VARCHAR(40) NULL, geburtstag DATE, "
        "notiz TEXT, farbe ENUM('rot','grün'), zitat VARCHAR(20) NOT NULL DEFAULT 'it''s \\\\ x', "
        "UNIQUE KEY (name))"));
    form = OpenMainForm(true);
    QVERIFY(form->connected());
    selectTable();
    messages = new MessageRecorder;
    admin->startQueryLog();
  }
  void cleanup() {
    admin->stopQueryLog();
    delete messages;
    messages = nullptr;
    CloseMainForm(form);
  }
  void cleanupTestCase() {
    if (admin)
      admin->dropDatabase(Db);
  }

  void addField() {
    ModalScript script;
    struct Case {
      QString name;
      FieldPosition position;
      QString after;
      int keyBox; // 1 primary, 6 unique, 7 index (CheckBox2, 7, 8), 0 none
      QStringList expectedOrder;
      QString key;
    };
    const QList<Case> cases{
        {"am_ende",
         FieldPosition::Last,
         "",
         0,
         {"id", "preis", "name", "geburtstag", "notiz", "farbe", "zitat", "am_ende"},
         ""},
        {"vorne",
         FieldPosition::First,
         "preis",
         6,
         {"vorne", "id", "preis", "name", "geburtstag", "notiz", "farbe", "zitat", "am_ende"},
         "UNI"},
        {"nach preis",
         FieldPosition::After,
         "preis",
         7,
         {"vorne", "id", "preis", "nach preis", "name", "geburtstag", "notiz", "farbe", "zitat",
          "am_ende"},
         "MUL"},
        {"ohne ort",
         FieldPosition::After,
         "",
         0,
         {"vorne", "id", "preis", "nach preis", "name", "geburtstag", "notiz", "farbe", "zitat",
          "am_ende", "ohne ort"},
         ""}};
    for (const Case &c : cases) {
      script.push([&](QDialog &d) {
        TEditFieldForm &e = Editor(d);
        // Prepared as a new field, with the position controls on.
        [&] {
          QCOMPARE(e.Edit1->text(), QString());
          QCOMPARE(e.Edit2->text(), QString());
          QCOMPARE(e.ComboBox1->currentText(), QStringLiteral("VARCHAR"));
          QVERIFY(!e.BitBtnXP1->isEnabled());
          QVERIFY(e.RadioButton1->isEnabled() && e.RadioButton3->isEnabled() &&
                  e.Edit3->isEnabled());
        }();
        e.Edit1->setText(c.name);
        for (QCheckBox *box : e.flagBoxes())
          box->setChecked(false);
        if (c.keyBox)
          e.flagBoxes()[c.keyBox]->setChecked(true);
        (c.position == FieldPosition::First   ? e.RadioButton2
         : c.position == FieldPosition::After ? e.RadioButton3
                                              : e.RadioButton1)
            ->setChecked(true);
        e.Edit3->setText(c.after);
        return int(QDialog::Accepted);
      });
      const int dbRow = form->ListView1->selectedRow(), tableRow = form->ListView2->selectedRow();
      form->NewFieldBtn->click();
      QVERIFY2(messages->shown.isEmpty(), qPrintable(messages->texts().join('|')));
      QCOMPARE(columns(), c.expectedOrder);
      QCOMPARE(definition(c.name).value(0), QStringLiteral("varchar(12)"));
      QCOMPARE(definition(c.name).value(4), c.key);
      // The field list is rebuilt with the same database and table selected.
      QCOMPARE(Captions(form->ListView3), c.expectedOrder);
      QCOMPARE(form->ListView1->selectedRow(), dbRow);
      QCOMPARE(form->ListView2->selectedRow(), tableRow);
      QVERIFY(!form->ListView3->hasSelection());
    }
    // A primary key on a table that has one: the server refuses, the list is rebuilt.
    script.push([&](QDialog &d) {
      Editor(d).Edit1->setText(QStringLiteral("zweiter"));
      Editor(d).RadioButton1->setChecked(true);
      Editor(d).CheckBox2->setChecked(true);
      return int(QDialog::Accepted);
    });
    selectField(QStringLiteral("id"));
    form->NewFieldBtn->click();
    QCOMPARE(messages->shown.size(), 1);
    QVERIFY2(messages->shown[0].text.contains(QLatin1String("primary key")),
             qPrintable(messages->shown[0].text));
    QCOMPARE(messages->shown[0].title, QString());
    QVERIFY(!form->ListView3->hasSelection());
    QVERIFY(!columns().contains(QStringLiteral("zweiter")));
  }

  void changeThatRenamesKeepsTheColumn() {
    ModalScript script;
    for (const char *c : {"id", "preis", "name", "geburtstag", "notiz", "zitat"}) {
      const QString column = QString::fromUtf8(c);
      const QStringList before = definition(column);
      const QString newName = column + QStringLiteral(" neu");
      script.push([&](QDialog &d) {
        TEditFieldForm &e = Editor(d);
        [&] {
          QCOMPARE(e.Edit1->text(), column);
          QVERIFY(e.BitBtnXP1->isEnabled());
          QVERIFY(!e.CheckBox2->isChecked() && !e.CheckBox7->isChecked() &&
                  !e.CheckBox8->isChecked());
          // The column keeps its place: no position, whatever the last use chose.
          QVERIFY(e.RadioButton1->isChecked());
        }();
        e.Edit1->setText(newName);
        return int(QDialog::Accepted);
      });
      selectField(column);
      admin->exec(QStringLiteral("TRUNCATE mysql.general_log"));
      // As if the last use of the editor had placed a field first.
      form->EditFieldForm->RadioButton2->setChecked(true);
      form->ChangeFieldBnt->click();
      // The "dd" box showed exactly the statement that was sent, after the
      // column was read when the editor opened and again just before.
      QCOMPARE(messages->shown.size(), 1);
      QCOMPARE(messages->shown[0].title, QStringLiteral("dd"));
      QCOMPARE(messages->shown[0].icon, MessageIcon::None);
      const QStringList statements = sent();
      QCOMPARE(statements.size(), 3);
      QCOMPARE(statements[2], messages->shown[0].text);
      QVERIFY(statements[2].startsWith(QStringLiteral("ALTER TABLE `kunden` CHANGE `") + column +
                                       QStringLiteral("` `") + newName + QStringLiteral("` ")));
      QCOMPARE(definition(newName), before);
      messages->clear();
    }
    QCOMPARE(columns(), (QStringList{"id neu", "preis neu", "name neu", "geburtstag neu",
                                     "notiz neu", "farbe", "zitat neu"}));
  }

  void changeUnchangedKeepsOrRefuses_data() {
    QTest::addColumn<QString>("sqlMode");
    QTest::addColumn<bool>("trial"); // whether the user may make the temporary copy
    QTest::newRow("strict") << QStringLiteral("STRICT_ALL_TABLES") << true;
    QTest::newRow("leer") << QString() << true;
    QTest::newRow("ohne temporäre Tabellen") << QStringLiteral("STRICT_ALL_TABLES") << false;
  }
  // Every kind of column opened with "Feld ändern..." and accepted unchanged:
  // an editable one comes back identical, any other is refused before the
  // editor opens, naming the column and why; judged by the whole table. A
  // user who may not make temporary tables gets the same answers without the
  // trial on a copy.
  void changeUnchangedKeepsOrRefuses() {
    QFETCH(QString, sqlMode);
    QFETCH(bool, trial);
    if (!trial) {
      const QString user = QStringLiteral("qwt_ohne_temp");
      admin->exec("CREATE OR REPLACE USER qwt_ohne_temp@'127.0.0.1' IDENTIFIED BY 'Probe-7'");
      admin->exec("GRANT SELECT, INSERT, CREATE, DROP, ALTER, INDEX, CREATE VIEW, SHOW VIEW ON "
                  "qwt_fields.* TO qwt_ohne_temp@'127.0.0.1'");
      form->cancelbtnClick();
      ConnectTo(*form, user, QStringLiteral("Probe-7"));
      QVERIFY(form->connected());
    }
    QVERIFY(form->Session->query({}, "SET sql_mode = '" + sqlMode + "'").ok());
    admin->exec("USE qwt_fields");
    for (const auto &[create, kinds] : ColumnKinds)
      admin->exec(
          "SET STATEMENT sql_mode = 'IGNORE_BAD_TABLE_OPTIONS' FOR " +
          QString(create).replace(
              "%1", QString(kinds).remove(QRegularExpression("\\|[^;]*")).replace(';', ',')));
    admin->exec("INSERT INTO lang VALUES (REPEAT('x', 12000))");
    form->ListCurrentDatabases();
    ModalScript script;
    for (const auto &[create, kinds] : ColumnKinds)
      for (const QString &kind : kinds.split(QRegularExpression("\\s*;\\s*"))) {
        const QString table = create.section(' ', 2, 2), refusal = kind.section('|', 1);
        const QString column = kind.section(' ', 0, 0).section('|', 0, 0);
        const auto state = [&] {
          return admin->rows("SHOW CREATE TABLE " + table) + admin->rows("CHECKSUM TABLE " + table);
        };
        const QList<QStringList> before = state();
        selectTable(table);
        selectField(column);
        messages->clear();
        if (refusal.isEmpty())
          script.push([](QDialog &) { return int(QDialog::Accepted); });
        form->ChangeFieldBnt->click();
        QCOMPARE(state(), before);
        const QString shown = messages->texts().join('|');
        QVERIFY2(messages->shown.size() == 1 &&
                     (refusal.isEmpty()
                          ? messages->shown[0].title == "dd"
                          : shown.contains("„" + column + "“") && shown.contains(refusal)),
                 qPrintable(column + ": " + shown));
      }
  }

  void changedMeanwhileIsNotUndone() {
    ModalScript script;
    selectField(QStringLiteral("name"));
    script.push([&](QDialog &) {
      admin->exec("ALTER TABLE qwt_fields.kunden MODIFY name VARCHAR(10) NOT NULL DEFAULT 'neu'");
      return int(QDialog::Accepted);
    });
    form->ChangeFieldBnt->click();
    QCOMPARE(messages->shown.size(), 2); // the "dd" box, then why nothing was sent
    QVERIFY(messages->shown[1].text.contains(QStringLiteral("„name“ der Tabelle „kunden“")));
    QCOMPARE(definition("name").mid(0, 3), (QStringList{"varchar(10)", "NO", "'neu'"}));
    QVERIFY(!form->ListView3->hasSelection());
  }

  void swappedTablesAreLeftAlone_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QStringList>("a"); // the columns of a afterwards: name and type
    QTest::addColumn<QStringList>("b");
    const QString swap = QStringLiteral("RENAME TABLE qwt_fields.a TO qwt_fields.c, qwt_fields.b "
                                        "TO qwt_fields.a, qwt_fields.c TO qwt_fields.b");
    // The names stay, one type changes: a check of the names alone would pass.
    const QString modify = QStringLiteral("ALTER TABLE qwt_fields.a MODIFY x BIGINT");
    const QStringList swappedA{"wert varchar(5)", "y int(11)"},
        swappedB{"wert int(11)", "x int(11)"};
    const QStringList modifiedA{"wert int(11)", "x bigint(20)"},
        keptB{"wert varchar(5)", "y int(11)"};
    for (const char *button : {"DelFieldBtn", "DelTableBtn", "TableRenameBtn"}) {
      QTest::addRow("%s, tables swapped", button) << button << swap << swappedA << swappedB;
      QTest::addRow("%s, a type changed", button) << button << modify << modifiedA << keptB;
    }
  }
  // Another client swaps the names of two tables, or changes the type of a
  // column, while the question or the rename dialog is open: the command
  // acts on neither table.
  void swappedTablesAreLeftAlone() {
    QFETCH(QString, button);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, a);
    QFETCH(QStringList, b);
    admin->exec("CREATE TABLE qwt_fields.a (wert INT, x INT)");
    admin->exec("CREATE TABLE qwt_fields.b (wert VARCHAR(5), y INT)");
    form->ListCurrentDatabases();
    selectTable(QStringLiteral("a"));
    selectField(QStringLiteral("wert"));
    bool changed = false;
    const auto change = [&] {
      if (!std::exchange(changed, true))
        admin->exec(meanwhile);
    };
    messages->onShow = [&](const Message &) { change(); };
    ModalScript script;
    script.push([&](QDialog &) {
      change();
      form->RenameTableForm->TableNameEd->setText(QStringLiteral("neu"));
      return int(QDialog::Accepted);
    });
    form->findChild<QPushButton *>(button)->click();
    QVERIFY(messages->texts().last().contains(QStringLiteral("„a“ ist nicht mehr die angezeigte")));
    const auto columnsOf = [&](const QString &table) {
      QStringList described;
      for (const QStringList &c : admin->columns(Db, table))
        described << c.value(0) + " " + c.value(1);
      return described;
    };
    QCOMPARE(columnsOf(QStringLiteral("a")), a);
    QCOMPARE(columnsOf(QStringLiteral("b")), b);
    QVERIFY(!admin->tables(Db).contains(QStringLiteral("neu")));
  }

  void changeToAnotherType() {
    ModalScript script;
    script.push([&](QDialog &d) {
      TEditFieldForm &e = Editor(d);
      e.ComboBox1->setCurrentIndex(FieldTypeIndex(QStringLiteral("INT")));
      e.ComboBox1Change();
      e.CheckBox3->setChecked(true);
      e.RadioButton2->setChecked(true);
      return int(QDialog::Accepted);
    });
    selectField(QStringLiteral("geburtstag"));
    admin->exec(QStringLiteral("UPDATE `qwt_fields`.`kunden` SET geburtstag = NULL"));
    form->ChangeFieldBnt->click();
    QCOMPARE(messages->texts().size(), 1);
    // The DATE column had no length, and the length box stays empty for INT.
    QCOMPARE(definition(QStringLiteral("geburtstag")).value(0), QStringLiteral("int(10) unsigned"));
    QCOMPARE(columns().value(0), QStringLiteral("geburtstag"));
  }

  void columnsTheEditorCannotShowAreRefused() {
    ModalScript script;
    selectField(QStringLiteral("farbe"));
    form->ChangeFieldBnt->click();
    QCOMPARE(messages->shown.size(), 1);
    QVERIFY(messages->shown[0].text.contains(QStringLiteral("enum('rot','grün')")));
    QCOMPARE(script.shownCount, 0);
    QVERIFY(sent().filter(QStringLiteral("ALTER")).isEmpty());
    QCOMPARE(definition(QStringLiteral("farbe")).value(0), QStringLiteral("enum('rot','grün')"));
  }

  void dropField() {
    admin->exec(QStringLiteral(
        "CREATE TABLE `qwt_fields`.`spalten` (`mit blank` INT, `a, b` INT, a INT, b INT, "
        "`back``quote` INT, `größe` INT, `select` INT, bleibt INT)"));
    form->ListTables(Db);
    selectTable(QStringLiteral("spalten"));
    for (const char *n : {"mit blank", "a, b", "back`quote", "größe", "select"}) {
      const QString name = QString::fromUtf8(n);
      QStringList expected = columns(QStringLiteral("spalten"));
      expected.removeOne(name);
      selectField(name);
      messages->clear();
      form->DelFieldBtn->click();
      QCOMPARE(messages->shown.size(), 1);
      QCOMPARE(messages->shown[0].text, QStringLiteral("Wollen Sie das Feld ") + name +
                                            QStringLiteral(" in der Tabelle spalten in der "
                                                           "Datenbank qwt_fields wirklich "
                                                           "entgültig löschen?"));
      QCOMPARE(messages->shown[0].title, QStringLiteral("Feld löschen?"));
      QCOMPARE(messages->shown[0].icon, MessageIcon::Question);
      QCOMPARE(messages->shown[0].buttons, MessageButtons::YesNoCancel);
      QCOMPARE(columns(QStringLiteral("spalten")), expected);
      QCOMPARE(Captions(form->ListView3), expected);
    }
    // No and Cancel: nothing sent, nothing rebuilt.
    selectField(QStringLiteral("bleibt"));
    for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Cancel}) {
      messages->answers = {answer};
      form->DelFieldBtn->click();
      QVERIFY(columns(QStringLiteral("spalten")).contains(QStringLiteral("bleibt")));
      QVERIFY(form->ListView3->hasSelection());
    }
  }

  void failurePaths() {
    ModalScript script;
    auto acceptAs = [&](const QString &name) {
      script.push([=](QDialog &d) {
        Editor(d).Edit1->setText(name);
        Editor(d).RadioButton1->setChecked(true);
        for (QCheckBox *box : Editor(d).flagBoxes())
          box->setChecked(false);
        return int(QDialog::Accepted);
      });
    };
    // Cancelled editor: nothing sent, no refresh.
    selectField(QStringLiteral("name"));
    script.push([](QDialog &) { return int(QDialog::Rejected); });
    form->NewFieldBtn->click();
    script.push([](QDialog &) { return int(QDialog::Rejected); });
    form->ChangeFieldBnt->click();
    QVERIFY(form->ListView3->hasSelection());
    QVERIFY(messages->shown.isEmpty());
    QVERIFY(sent().filter(QStringLiteral("ALTER")).isEmpty());

    // The server refuses (a duplicate name): its text, and the list is rebuilt.
    acceptAs(QStringLiteral("preis"));
    form->NewFieldBtn->click();
    QCOMPARE(messages->shown.size(), 1);
    QVERIFY(messages->shown[0].text.contains(QLatin1String("Duplicate column name")));
    QVERIFY(!form->ListView3->hasSelection());

    // The database is gone when the statement is due: ADD and CHANGE report it
    // and leave the field list as it was; DROP reports it and rebuilds.
    selectField(QStringLiteral("name"));
    messages->clear();
    script.push([&](QDialog &d) {
      admin->dropDatabase(Db);
      Editor(d).Edit1->setText(QStringLiteral("neu"));
      return int(QDialog::Accepted);
    });
    form->ChangeFieldBnt->click();
    // CHANGE selects the database with its check, after the "dd" box.
    QCOMPARE(messages->shown.size(), 2);
    QCOMPARE(messages->shown[0].title, QStringLiteral("dd"));
    QCOMPARE(messages->shown[1].text, QStringLiteral("Konnte Datenbank nicht auswählen"));
    QVERIFY(messages->shown[1].title.contains(QLatin1String("qwt_fields")));
    QVERIFY(form->ListView3->hasSelection());
    messages->clear();
    acceptAs(QStringLiteral("neu"));
    form->NewFieldBtn->click();
    QCOMPARE(messages->texts(), QStringList{"Konnte Datenbank nicht auswählen"});
    QVERIFY(form->ListView3->hasSelection());
    messages->clear();
    form->DelFieldBtn->click();
    QCOMPARE(messages->shown.size(), 2);
    QCOMPARE(messages->shown[1].text, QStringLiteral("Konnte Datenbank nicht auswählen"));
    QVERIFY(!Captions(form->ListView1).contains(Db));

    // A column that is gone when "Feld ändern..." reads it: said so, and the
    // lists are rebuilt instead of showing it any longer.
    admin->makeDatabase(Db, {"t"});
    form->ListCurrentDatabases();
    selectTable(QStringLiteral("t"));
    selectField(QStringLiteral("id"));
    admin->exec(QStringLiteral("ALTER TABLE `qwt_fields`.`t` ADD x INT, DROP COLUMN id"));
    messages->clear();
    form->ChangeFieldBnt->click();
    QCOMPARE(messages->texts(),
             QStringList{"Die Spalte „id“ gibt es in der Tabelle „t“ nicht mehr."});
    QCOMPARE(Captions(form->ListView3), QStringList{"x"});

    // Not connected: ADD and CHANGE end silently, DROP says so.
    form->cancelbtnClick();
    for (ReportListView *list : {form->ListView1, form->ListView2, form->ListView3}) {
      list->items().appendRow(QStringLiteral("x"));
      list->selectRow(0);
    }
    messages->clear();
    const int shown = script.shownCount;
    form->NewFieldBtn->click();
    form->ChangeFieldBnt->click();
    QVERIFY(messages->shown.isEmpty());
    form->DelFieldBtn->click();
    QCOMPARE(messages->texts(), QStringList{"Sie müssen mit der MySQL Server verbunden sein!"});
    QCOMPARE(script.shownCount, shown);
  }
};

QTEST_MAIN(FieldCommandsTest)
#include "tst_field_commands.moc"
