// The structure window against the private server: every tab shows what
// information_schema says; indexes and foreign keys with hostile names are
// added and dropped exactly, each statement shown as the server received it.
#include "app/mysql_test_main.h"
#include "structure/ColumnEditorForm.h"
#include "structure/NewForeignKeyForm.h"
#include "structure/NewIndexForm.h"
#include "structure/StructureForm.h"
#include "structure/TableOptionsForm.h"
#include "tests/support/ColumnKinds.h"
#include "tests/support/RequestCounter.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

namespace {
const QString Db = QStringLiteral("qwt_struktur");

QList<QStringList> Cells(const QTreeWidget *list) {
  QList<QStringList> rows;
  for (int r = 0; r < list->topLevelItemCount(); ++r) {
    QStringList row;
    for (int c = 0; c < list->columnCount(); ++c)
      row << list->topLevelItem(r)->text(c);
    rows << row;
  }
  return rows;
}

void Select(QTreeWidget *list, const QString &first) {
  const QList<QTreeWidgetItem *> found = list->findItems(first, Qt::MatchExactly);
  QVERIFY2(!found.isEmpty(), qPrintable(first));
  list->setCurrentItem(found.first());
}

// Sets the column editor's controls as a user would, from "control=value"
// pairs separated by ";".
void Edit(TColumnEditorForm &e, const QString &edits) {
  const QHash<QString, QCheckBox *> boxes{{"unsigned", e.UnsignedBox},
                                          {"zerofill", e.ZerofillBox},
                                          {"compressed", e.CompressedBox},
                                          {"null", e.NullBox},
                                          {"autoinc", e.AutoIncrementBox},
                                          {"invisible", e.InvisibleBox},
                                          {"unversioned", e.WithoutVersioningBox}};
  const QHash<QString, QLineEdit *> texts{
      {"name", e.NameEd},       {"length", e.LengthEd},     {"decimals", e.DecimalsEd},
      {"default", e.DefaultEd}, {"onupdate", e.OnUpdateEd}, {"expression", e.ExpressionEd},
      {"check", e.CheckEd}};
  const QHash<QString, QComboBox *> lists{{"kind", e.DefaultKindBox},
                                          {"generation", e.GenerationBox},
                                          {"charset", e.CharsetBox},
                                          {"collation", e.CollationBox},
                                          {"place", e.PlaceBox}};
  for (const QString &edit : edits.split(';', Qt::SkipEmptyParts)) {
    const QString key = edit.section('=', 0, 0), value = edit.section('=', 1);
    if (boxes.contains(key)) {
      boxes[key]->setChecked(value == "1");
    } else if (texts.contains(key)) {
      texts[key]->setText(value);
    } else if (lists.contains(key)) {
      QComboBox *box = lists[key];
      const int index = box->findData(value) >= 0 ? box->findData(value) : box->findText(value);
      QVERIFY2(index >= 0, qPrintable(edit));
      box->setCurrentIndex(index);
    } else if (key == "type") {
      e.TypeBox->setCurrentText(value);
    } else if (key == "comment") {
      e.CommentEd->setPlainText(value);
    } else if (key == "values") {
      while (e.ValueList->count() > 0) {
        e.ValueList->setCurrentRow(0);
        e.RemoveValueBtn->click();
      }
      for (const QString &v : value.split('|')) {
        const QList<QLineEdit *> open = e.ValueList->viewport()->findChildren<QLineEdit *>();
        e.AddValueBtn->click();
        QLineEdit *editor = nullptr;
        for (QLineEdit *child : e.ValueList->viewport()->findChildren<QLineEdit *>())
          if (!open.contains(child))
            editor = child;
        QVERIFY2(editor, "no editor for the new value");
        editor->setText(v);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the list takes the value after the key
      }
    } else {
      QVERIFY2(key == "swap", qPrintable(edit));
    }
  }
}
} // namespace

class StructureTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;

  TStructureForm *open(const QString &table) {
    ClickCaption(form->ListView1, Db);
    ClickCaption(form->ListView2, table);
    QApplication::setActiveWindow(form.get()); // a structure window may have been the active one
    form->ListView2->setFocus();
    QTest::keyClick(form->ListView2, Qt::Key_I, Qt::ControlModifier);
    return form->Structures->Find(Db, table);
  }
  // What `what` names in information_schema, as "name:column,column" rows.
  QStringList objects(const QString &table) {
    return admin->column(
        QStringLiteral(
            "SELECT CONCAT(INDEX_NAME, ':', GROUP_CONCAT(COLUMN_NAME ORDER BY SEQ_IN_INDEX)) FROM "
            "information_schema.STATISTICS WHERE TABLE_SCHEMA = '%1' AND BINARY TABLE_NAME = %2 "
            "GROUP BY INDEX_NAME UNION ALL SELECT CONCAT('FK ', CONSTRAINT_NAME, ':', "
            "GROUP_CONCAT(COLUMN_NAME)) FROM information_schema.KEY_COLUMN_USAGE WHERE "
            "TABLE_SCHEMA "
            "= '%1' AND BINARY TABLE_NAME = %2 AND REFERENCED_TABLE_NAME IS NOT NULL GROUP BY "
            "CONSTRAINT_NAME ORDER BY 1")
            .arg(Db, QuoteLiteral(table)));
  }

private slots:
  void statements_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("expected");
    const QString d = QStringLiteral("d`b"), t = QStringLiteral("t'x <b>");
    const QString at = QStringLiteral("ALTER TABLE `d``b`.`t'x <b>` ");
    using K = IndexKind;
    QTest::newRow("index") << AddIndexStatement(d, t, {"i`x", K::Index, {{"a`b", 10}, {"c"}}})
                           << at + "ADD INDEX `i``x` (`a``b`(10), `c`)";
    QTest::newRow("unique") << AddIndexStatement(d, t, {"u", K::Unique, {{"a", 0, true}}})
                            << at + "ADD UNIQUE INDEX `u` (`a` DESC)";
    QTest::newRow("primary") << AddIndexStatement(d, t, {"", K::Primary, {{"a"}, {"b"}}})
                             << at + "ADD PRIMARY KEY (`a`, `b`)";
    QTest::newRow("fulltext") << AddIndexStatement(d, t, {"f", K::Fulltext, {{"a"}}})
                              << at + "ADD FULLTEXT INDEX `f` (`a`)";
    QTest::newRow("spatial") << AddIndexStatement(d, t, {"s", K::Spatial, {{"a"}}})
                             << at + "ADD SPATIAL INDEX `s` (`a`)";
    QTest::newRow("drop index") << DropIndexStatement(d, t, "i`x") << at + "DROP INDEX `i``x`";
    QTest::newRow("drop primary") << DropIndexStatement(d, t, "PRIMARY") << at + "DROP PRIMARY KEY";
    QTest::newRow("foreign key")
        << AddForeignKeyStatement(
               d, t, {"f`k", {"a", "b`"}, "o`d", "r", {"x", "y"}, "SET NULL", "CASCADE"})
        << at + "ADD CONSTRAINT `f``k` FOREIGN KEY (`a`, `b```) REFERENCES `o``d`.`r` (`x`, `y`) "
                "ON DELETE SET NULL ON UPDATE CASCADE";
    QTest::newRow("foreign key, server's name")
        << AddForeignKeyStatement(d, t, {"", {"a"}, "d`b", "r", {"x"}})
        << at + "ADD FOREIGN KEY (`a`) REFERENCES `d``b`.`r` (`x`) ON DELETE RESTRICT ON UPDATE "
                "RESTRICT";
    QTest::newRow("drop foreign key")
        << DropForeignKeyStatement(d, t, "f`k") << at + "DROP FOREIGN KEY `f``k`";
  }
  void statements() {
    QFETCH(QString, statement);
    QFETCH(QString, expected);
    QCOMPARE(statement, expected);
  }

  void initTestCase() {
    QW_REQUIRE_SERVER();
    QStandardPaths::setTestModeEnabled(true); // quellwerk.ini of the test's own
    admin = std::make_unique<AdminConnection>();
    LoadRealClientLibrary();
    admin->makeDatabase(Db);
    admin->exec(QStringLiteral("CREATE TABLE qwt_struktur.kunden (nr INT PRIMARY KEY)"));
    admin->exec(QStringLiteral(
        "CREATE TABLE qwt_struktur.haupt (id INT NOT NULL AUTO_INCREMENT, "
        "name VARCHAR(60) CHARACTER SET latin1 NOT NULL DEFAULT 'NULL' COMMENT 'Anzeige', "
        "notiz TEXT DEFAULT NULL, zitat VARCHAR(20) DEFAULT 'it''s', ort POINT NOT NULL, "
        "kunde INT, doppelt INT AS (id * 2) VIRTUAL, versteckt INT INVISIBLE, "
        "geändert TIMESTAMP NOT NULL DEFAULT current_timestamp() ON UPDATE current_timestamp(), "
        "PRIMARY KEY (id), UNIQUE KEY eindeutig (name(10), kunde DESC), "
        "UNIQUE KEY zum_kunden (kunde), KEY ignoriert (zitat) IGNORED, "
        "FULLTEXT KEY volltext (notiz), SPATIAL KEY lage (ort), "
        "CONSTRAINT zum_kunden FOREIGN KEY (kunde) REFERENCES kunden (nr) ON DELETE SET NULL)"));
    admin->exec(QStringLiteral(
        "CREATE TABLE qwt_struktur.kind (id INT, haupt_id INT, KEY (haupt_id), CONSTRAINT "
        "zum_haupt FOREIGN KEY (haupt_id) REFERENCES haupt (id) ON UPDATE CASCADE)"));
    // Every kind of column, and more of those the column editor must carry.
    admin->exec(QStringLiteral("USE qwt_struktur"));
    for (const auto &[create, kinds] : ColumnKinds)
      admin->exec(
          "SET STATEMENT sql_mode = 'IGNORE_BAD_TABLE_OPTIONS' FOR " +
          QString(create).replace(
              "%1", QString(kinds).remove(QRegularExpression("\\|[^;]*")).replace(';', ',')));
    // Two tables alike but for one column, whose names another session swaps.
    for (const char *name : {"extras", "extras_b"})
      admin->exec(
          QStringLiteral("CREATE TABLE %1 (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, "
                         "e2 ENUM('a,b','it''s','x\\\\y') CHARACTER SET latin1 DEFAULT 'it''s', "
                         "s2 SET('a b','c''d') NOT NULL DEFAULT '', "
                         "k2 INT COMMENT 'it''s \"x\"\\nzwei', co VARCHAR(5) COLLATE utf8mb4_bin, "
                         "ou3 TIMESTAMP(3) NOT NULL DEFAULT CURRENT_TIMESTAMP(3) ON UPDATE "
                         "CURRENT_TIMESTAMP(3), od DATETIME DEFAULT now() ON UPDATE now(), "
                         "kv VARCHAR(100) COMPRESSED, gv2 INT AS (um * 2) VIRTUAL INVISIBLE, "
                         "ex DATE DEFAULT (curdate() + interval 1 day), nn VARCHAR(10), um INT%2)")
              .arg(QLatin1String(name), QLatin1String(name[6] ? ", nur_b INT" : "")));
    admin->exec(QStringLiteral("INSERT INTO extras (nn) VALUES (NULL), (NULL)"));
    admin->exec(QStringLiteral("CREATE TABLE optionen (id INT PRIMARY KEY, t VARCHAR(10)) "
                               "ENGINE=InnoDB CHARSET utf8mb4 COLLATE utf8mb4_general_ci"));
    admin->exec(QStringLiteral("USE mysql"));
    form = OpenMainForm(true);
    QVERIFY(form->connected());
  }
  void cleanupTestCase() {
    form.reset();
    if (admin)
      admin->dropDatabase(Db);
  }

  void tabsShowWhatTheServerSays() {
    TStructureForm *w = open(QStringLiteral("haupt"));
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Struktur von „haupt“"));
    // Felder: cell by cell against information_schema.COLUMNS.
    const QList<QStringList> columns = admin->rows(QStringLiteral(
        "SELECT COLUMN_NAME, COLUMN_TYPE, IF(IS_NULLABLE = 'YES', 'ja', 'nein'), "
        "CONCAT(EXTRA, IF(GENERATION_EXPRESSION IS NULL, '', CONCAT(' AS (', "
        "GENERATION_EXPRESSION, ')'))), IFNULL(CHARACTER_SET_NAME, ''), "
        "IFNULL(COLLATION_NAME, ''), COLUMN_COMMENT FROM information_schema.COLUMNS WHERE "
        "TABLE_SCHEMA = 'qwt_struktur' AND TABLE_NAME = 'haupt' ORDER BY ORDINAL_POSITION"));
    QList<QStringList> shown = Cells(w->FieldList);
    QStringList defaults;
    for (QStringList &row : shown)
      defaults << row.takeAt(3);
    QCOMPARE(shown, columns);
    QCOMPARE(defaults, (QStringList{"", "'NULL'", "NULL", "'it's'", "", "NULL", "NULL", "NULL",
                                    "current_timestamp()"}));
    QVERIFY(!w->FieldList->topLevelItem(1)->font(3).italic());
    QVERIFY(w->FieldList->topLevelItem(2)->font(3).italic());
    // Indizes: in the server's order of keys, parts in order with prefix and sort order.
    QCOMPARE(Cells(w->IndexList),
             (QList<QStringList>{{"PRIMARY", "PRIMARY", "id", "ja"},
                                 {"zum_kunden", "UNIQUE", "kunde", "ja"},
                                 {"eindeutig", "UNIQUE", "name(10), kunde DESC", "ja"},
                                 {"ignoriert", "INDEX", "zitat", "nein"},
                                 {"lage", "SPATIAL", "ort(32)", "ja"},
                                 {"volltext", "FULLTEXT", "notiz", "ja"}}));
    QStringList names;
    for (const QStringList &row : Cells(w->IndexList))
      names << row[0];
    QCOMPARE(names, admin->column("SELECT DISTINCT INDEX_NAME FROM information_schema.STATISTICS "
                                  "WHERE TABLE_SCHEMA = 'qwt_struktur' AND TABLE_NAME = 'haupt'"));
    // Fremdschlüssel: its own, whose name a UNIQUE key shares, and the one of
    // another table that refers to it.
    QCOMPARE(Cells(w->ForeignKeyList),
             (QList<QStringList>{{"zum_kunden", "kunde", "kunden", "nr", "SET NULL", "RESTRICT"}}));
    QCOMPARE(Cells(w->ReferencedByList),
             (QList<QStringList>{{"kind", "zum_haupt", "haupt_id", "id", "RESTRICT", "CASCADE"}}));
    QCOMPARE(w->CreateText->toPlainText(),
             admin->rows("SHOW CREATE TABLE qwt_struktur.haupt").value(0).value(1));

    // One window per table: asking again raises the same one.
    QCOMPARE(open(QStringLiteral("haupt")), w);
    QCOMPARE(form->Structures->Windows().size(), 1);

    // A statement the server refuses is told in German with the server's text.
    MessageRecorder messages;
    ModalScript modal;
    modal.push([](QDialog &d) {
      auto &f = static_cast<TNewIndexForm &>(d);
      f.NameEd->setText(QStringLiteral("falsch"));
      f.KindBox->setCurrentText(QStringLiteral("FULLTEXT"));
      f.ColumnList->setCurrentRow(0);
      f.AddBtn->click();
      return int(QDialog::Accepted);
    });
    w->NewIndexBtn->click();
    QCOMPARE(messages.shown.size(), 2);
    QVERIFY2(messages.shown[1].text.startsWith(
                 QStringLiteral("Der Server hat die Änderung der Tabelle „haupt“ abgelehnt:\n")) &&
                 messages.shown[1].text.contains(QStringLiteral("FULLTEXT")),
             qPrintable(messages.shown[1].text));
  }

  // An account that may not read InnoDB's dictionary (no PROCESS
  // privilege): the keys that refer to the table are searched database by
  // database, in a second request, and found the same.
  void referencesFoundWithoutTheDictionary() {
    const QString user = QStringLiteral("qwt_ohne_process");
    admin->exec(
        QStringLiteral("CREATE USER IF NOT EXISTS '%1'@'%' IDENTIFIED BY 'Geheim-7'").arg(user));
    const auto drop =
        qScopeGuard([&] { admin->exec(QStringLiteral("DROP USER IF EXISTS '%1'@'%'").arg(user)); });
    admin->exec(QStringLiteral("GRANT ALL PRIVILEGES ON qwt_struktur.* TO '%1'@'%'").arg(user));
    std::unique_ptr<TMainForm> other = OpenMainForm(false);
    RequestCounter counter;
    ConnectTo(*other, user, QStringLiteral("Geheim-7"), counter.port());
    QVERIFY(other->connected());
    ClickCaption(other->ListView1, Db);
    counter.reset();
    TStructureForm *w = other->Structures->Open(Db, QStringLiteral("haupt"));
    QVERIFY(w);
    QCOMPARE(counter.requests(), 2);
    QCOMPARE(Cells(w->ReferencedByList),
             (QList<QStringList>{{"kind", "zum_haupt", "haupt_id", "id", "RESTRICT", "CASCADE"}}));
    QCOMPARE(w->ReferencedByLabel->text(),
             QStringLiteral("&Verweise anderer Tabellen auf diese Tabelle:"));
    other->cancelbtnClick();
  }

  void changesExactlyThatObject_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("foreignKey");
    QTest::addColumn<bool>("swapped"); // the table swapped with a twin before the drop
    for (const char *name : {"a`b", "it's", "mit Leer", "Größe", "<img src=/dev/zero>"}) {
      QTest::addRow("index %s", name) << QString::fromUtf8(name) << false << false;
      QTest::addRow("foreign key %s", name) << QString::fromUtf8(name) << true << false;
    }
    QTest::addRow("index, table swapped") << QStringLiteral("it's") << false << true;
    QTest::addRow("foreign key, table swapped") << QStringLiteral("it's") << true << true;
  }
  void changesExactlyThatObject() {
    QFETCH(QString, name);
    QFETCH(bool, foreignKey);
    QFETCH(bool, swapped);
    const QString table = QStringLiteral("t`' ü <b>");
    admin->exec(QStringLiteral("DROP TABLE IF EXISTS qwt_struktur.`t``' ü <b>`"));
    admin->exec(QStringLiteral("CREATE TABLE qwt_struktur.`t``' ü <b>` (id INT PRIMARY KEY, "
                               "`ö, x` VARCHAR(30), KEY vorher (id))"));
    ClickCaption(form->ListView1, Db);
    TStructureForm *w = open(table);
    QVERIFY(w);
    const QStringList before = objects(table);
    MessageRecorder messages;
    ModalScript modal;
    if (foreignKey) {
      modal.push([&](QDialog &d) {
        auto &f = static_cast<TNewForeignKeyForm &>(d);
        f.NameEd->setText(name);
        f.TableBox->setCurrentText(QStringLiteral("kunden"));
        f.ColumnBox->setCurrentIndex(0);
        f.AddBtn->click();
        f.OnDeleteBox->setCurrentText(QStringLiteral("CASCADE"));
        return int(QDialog::Accepted);
      });
    } else {
      modal.push([&](QDialog &d) {
        auto &f = static_cast<TNewIndexForm &>(d);
        f.NameEd->setText(name);
        f.ColumnList->setCurrentRow(1);
        f.AddBtn->click();
        f.PrefixEd->setValue(7);
        f.ColumnList->setCurrentRow(0);
        f.AddBtn->click();
        return int(QDialog::Accepted);
      });
    }
    admin->startQueryLog();
    (foreignKey ? w->NewForeignKeyBtn : w->NewIndexBtn)->click();
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].buttons, MessageButtons::RunCancel);
    const QString added = messages.shown[0].text;
    const QStringList log = admin->statementsOf(form->Session->connectionId());
    QVERIFY(log.contains(added));
    // The main window's field list follows the change: its read names the
    // table (as a hex literal).
    const QString tableHex = QString::fromLatin1(table.toUtf8().toHex());
    QVERIFY(std::any_of(log.begin(), log.end(), [&](const QString &s) {
      return s.contains(tableHex, Qt::CaseInsensitive);
    }));
    QStringList expected = before;
    expected << (foreignKey ? QStringLiteral("FK %1:id").arg(name) : name + ":ö, x,id");
    expected.sort();
    QStringList after = objects(table);
    after.sort();
    QCOMPARE(after, expected);

    // Another session swaps the table's name with a twin's (an index of the
    // same name, other columns) while the window shows it: nothing is dropped.
    admin->exec(QStringLiteral("DROP TABLE IF EXISTS qwt_struktur.zwilling"));
    const auto dropTwin = qScopeGuard(
        [&] { admin->exec(QStringLiteral("DROP TABLE IF EXISTS qwt_struktur.zwilling")); });
    if (swapped) {
      admin->exec(QStringLiteral("CREATE TABLE qwt_struktur.zwilling (id INT PRIMARY KEY, y INT, "
                                 "KEY `%1` (y))")
                      .arg(QString(name).replace('`', "``")));
      admin->exec(QStringLiteral(
          "RENAME TABLE qwt_struktur.`t``' ü <b>` TO qwt_struktur.zwischen, qwt_struktur.zwilling "
          "TO qwt_struktur.`t``' ü <b>`, qwt_struktur.zwischen TO qwt_struktur.zwilling"));
    }
    const QStringList twin = objects(table);

    // Dropping it again, from its row in the window.
    QTreeWidget *list = foreignKey ? w->ForeignKeyList : w->IndexList;
    Select(list, name);
    w->Tabs->setCurrentWidget(list->parentWidget());
    QApplication::setActiveWindow(w);
    list->setFocus();
    messages.clear();
    admin->startQueryLog();
    QTest::keyClick(list, Qt::Key_Delete);
    if (swapped) {
      admin->stopQueryLog();
      QCOMPARE(messages.shown.size(), 2);
      QVERIFY2(messages.shown[1].text.contains(QStringLiteral("nicht mehr die angezeigte")),
               qPrintable(messages.shown[1].text));
      QCOMPARE(objects(table), twin);
      after = objects(QStringLiteral("zwilling"));
      after.sort();
      QCOMPARE(after, expected);
      w->close();
      return;
    }
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY(admin->statementsOf(form->Session->connectionId()).contains(messages.shown[0].text));
    admin->stopQueryLog();
    after = objects(table);
    after.sort();
    expected.removeAll(foreignKey ? QStringLiteral("FK %1:id").arg(name) : name + ":ö, x,id");
    QCOMPARE(after, expected);
    QVERIFY(list->findItems(name, Qt::MatchExactly).isEmpty());
    w->close();
  }

  // Every kind of column in the column editor. Accepted unchanged, it sends
  // nothing; with one attribute changed, the statement shown first changes
  // exactly that part of the column's line in SHOW CREATE TABLE.
  void columnEditor_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");  // "+": a new column
    QTest::addColumn<QString>("edit");    // see Edit(); "-": no editor offered
    QTest::addColumn<QString>("from");    // in the column's line (empty: at its end) ...
    QTest::addColumn<QString>("to");      // ... becomes this; "!word": refused, saying so
    QTest::addColumn<QString>("warning"); // in the question: what the change may cost
    const auto row = [](const char *table, const char *column, const char *edit, const char *from,
                        const char *to, const char *warning = "") {
      QTest::addRow("%s.%s %s", table, column, edit)
          << QString::fromUtf8(table) << QString::fromUtf8(column) << QString::fromUtf8(edit)
          << QString::fromUtf8(from) << QString::fromUtf8(to) << QString::fromUtf8(warning);
    };
    const char *note = " COMMENT 'Hinweis'";
    row("arten", "id", "comment=Hinweis", "", note);
    row("arten", "bi", "unsigned=1", "bigint(20)", "bigint(20) unsigned", "negative");
    row("arten", "b1", "length=4", "bit(1)", "bit(4)");
    row("arten", "bl", "compressed=1", "blob", "blob /*M!100301 COMPRESSED*/");
    row("arten", "bz", "null=1", "NOT NULL ", "");
    row("arten", "b100", "invisible=1", "tinyblob", "tinyblob INVISIBLE");
    row("arten", "ch", "length=3", "char(1)", "char(3)");
    row("arten", "bo", "default=0", "DEFAULT 1", "DEFAULT 0");
    row("arten", "c5", "default=\"a'b\"", "'a''b'", "'\"a''b\"'");
    row("arten", "da", "kind=NULL", "'2024-02-29'", "NULL");
    row("arten", "dt", "onupdate=current_timestamp()", "", " ON UPDATE current_timestamp()");
    row("arten", "de", "decimals=2", "decimal(10,0)", "decimal(10,2)");
    row("arten", "d102", "comment=Hinweis", "", note);
    row("arten", "dp", "type=float", "double", "float", "Typ");
    row("arten", "d83", "length=9", "double(8,3)", "double(9,3)");
    row("arten", "fl", "null=0", "DEFAULT NULL", "NOT NULL");
    row("arten", "f72", "decimals=1", "float(7,2)", "float(7,1)", "Nachkommastellen");
    row("arten", "ix", "length=8", "int(5)", "int(8)");
    row("arten", "ig", "type=bigint", "int(11)", "bigint(11)", "Typ");
    row("arten", "lb", "type=mediumblob", "longblob", "mediumblob", "Typ");
    row("arten", "lt", "collation=utf8mb4_bin", "longtext",
        "longtext CHARACTER SET utf8mb4 COLLATE utf8mb4_bin");
    row("arten", "mb", "comment=Hinweis", "", note);
    row("arten", "mi", "unsigned=0", "mediumint(8) unsigned", "mediumint(8)");
    row("arten", "mt", "charset=latin1", "mediumtext",
        "mediumtext CHARACTER SET latin1 COLLATE latin1_swedish_ci", "Zeichensatz");
    row("arten", "nu", "zerofill=1", "decimal(12,4)", "decimal(12,4) unsigned zerofill",
        "negative");
    row("arten", "re", "kind=Zahl oder Ausdruck;default=1.5", "DEFAULT NULL", "DEFAULT 1.5");
    row("arten", "si", "default=-4", "DEFAULT -3", "DEFAULT -4");
    row("arten", "tx", "default=a\nb", "'x\\\\y'", "'a\\nb'");
    row("arten", "ti", "length=3", "time", "time(3)");
    row("arten", "ts", "null=0", "NULL DEFAULT NULL", "NOT NULL");
    row("arten", "tb", "type=blob", "tinyblob", "blob", "Typ");
    row("arten", "tt", "comment=Hinweis", "", note);
    row("arten", "t3", "kind=Zahl oder Ausdruck;default=current_timestamp(3)",
        "'2020-01-02 03:04:05.678'", "current_timestamp(3)");
    row("arten", "tn", "type=text", "tinytext", "text", "Typ");
    row("arten", "ye", "comment=Hinweis", "", note);
    row("arten", "vmax", "length=9000", "varchar(10000)", "varchar(9000)", "kürzer");
    row("arten", "vq", "name=vq neu", "`vq`", "`vq neu`");
    row("arten", "vb", "collation=utf8mb4_general_ci", " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin",
        "");
    row("arten", "chk", "check=`chk` > 1", "`chk` > 0", "`chk` > 1");
    row("arten", "en", "values=a|b|c,d", "enum('a','b')", "enum('a','b','c,d')");
    row("arten", "f70", "length=6", "float(7,0)", "float(6,0)", "kürzer");
    row("arten", "d100", "comment=Hinweis", "", note);
    row("arten", "se", "values=a|it's", "set('a')", "set('a','it''s')");
    row("arten", "u6", "comment=Hinweis", "", note);
    row("arten", "dt6", "length=3", "datetime(6)", "datetime(3)", "kürzer");
    row("arten", "b8", "kind=Zahl oder Ausdruck;default=b'101'", "DEFAULT NULL", "DEFAULT b'101'");
    row("arten", "du", "unsigned=0", "decimal(5,1) unsigned", "decimal(5,1)");
    row("arten", "ko", "comment=it's \"x\"\nzwei", "'x'", "'it''s \"x\"\\nzwei'");
    row("arten", "inv", "invisible=0", " INVISIBLE", "");
    row("arten", "kz", "compressed=0", " /*M!100301 COMPRESSED*/", "");
    row("arten", "gv", "expression=`ix` + 3", "`ix` + 1", "`ix` + 3");
    row("arten", "gs", "comment=Hinweis", "", note);
    row("arten", "ou", "onupdate=", " ON UPDATE current_timestamp()", "");
    row("arten", "la", "collation=latin1_german2_ci", "latin1_swedish_ci", "latin1_german2_ci");
    row("arten", "le", "default=ä", "DEFAULT ''", "DEFAULT 'ä'");
    row("arten", "op", "comment=Hinweis", "", "!farbe");
    row("lang", "lang", "length=16001", "varchar(16000)", "varchar(16001)");
    row("aria", "ax", "comment=Hinweis", "", note);
    row("aria", "ay", "length=6", "varchar(5)", "varchar(6)");
    row("arten_bin", "js", "comment=JSON", "DEFAULT NULL", "DEFAULT NULL COMMENT 'JSON'");
    row("arten_bin", "vt", "collation=utf8mb4_unicode_ci", "varchar(5)",
        "varchar(5) CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci");
    row("versioniert", "a", "comment=Hinweis", "", note, "systemversioniert");
    row("sequenz", "increment", "-", "", "");
    row("sicht", "eins", "-", "", "");
    row("extras", "e2", "values=a,b|it's|x\\y|neu \"x\"", "'x\\\\y')", "'x\\\\y','neu \"x\"')");
    row("extras", "s2", "values=a b", "set('a b','c''d')", "set('a b')", "'c''d'");
    row("extras", "k2", "kind=Zahl oder Ausdruck;default=42", "DEFAULT NULL", "DEFAULT 42");
    row("extras", "co", "charset=latin1;collation=latin1_german2_ci", "utf8mb4 COLLATE utf8mb4_bin",
        "latin1 COLLATE latin1_german2_ci", "Zeichensatz");
    row("extras", "ou3", "invisible=1", "NOT NULL", "NOT NULL INVISIBLE");
    row("extras", "od", "onupdate=", " ON UPDATE current_timestamp()", "");
    row("extras", "kv", "length=120", "varchar(100)", "varchar(120)");
    row("extras", "gv2", "expression=`um` * 3", "`um` * 2", "`um` * 3");
    row("extras", "ex", "comment=morgen", "", " COMMENT 'morgen'");
    // The server refuses NOT NULL while rows hold NULL: warned, then nothing changes.
    row("extras", "nn", "null=0", "", "", "2 Zeilen haben NULL");
    row("extras", "um", "place=an erster Stelle", "", "");
    row("extras", "+", "name=neu;type=int;length=;place=nach „k2“", "",
        "`neu` int(11) DEFAULT NULL");
    // Another session swapped the table's name with another's meanwhile.
    row("extras", "k2", "swap;comment=vertauscht", "", "!nicht mehr die angezeigte");
  }
  void columnEditor() {
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(QString, edit);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, warning);
    TStructureForm *w = open(table);
    QVERIFY(w);
    w->RefreshOrClose();
    const bool added = column == "+";
    if (!added)
      Select(w->FieldList, column);
    QPushButton *button = added ? w->NewColumnBtn : w->EditColumnBtn;
    if (edit == "-") {
      QVERIFY(!button->isEnabled() && !w->NewColumnBtn->isEnabled());
      return;
    }
    const auto created = [&] {
      return admin->rows("SHOW CREATE TABLE qwt_struktur." + QuoteName(table)).value(0).value(1);
    };
    const auto sentChanges = [&] {
      return admin->statementsOf(form->Session->connectionId())
          .filter(QRegularExpression("^(ALTER|SET STATEMENT)"));
    };
    const QString before = created();
    MessageRecorder messages;
    ModalScript modal;
    admin->startQueryLog();
    if (!added) {
      modal.push([](QDialog &) { return int(QDialog::Accepted); });
      button->click();
      if (to.startsWith('!') && !edit.startsWith("swap")) {
        QCOMPARE(modal.shownCount, 0);
        QVERIFY2(messages.texts().join('|').contains(to.mid(1)),
                 qPrintable(messages.texts().join('|')));
        QCOMPARE(created(), before);
        return;
      }
      QCOMPARE(modal.shownCount, 1);
      QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join('|')));
      QVERIFY(sentChanges().isEmpty());
    }
    modal.push([&](QDialog &d) {
      Edit(static_cast<TColumnEditorForm &>(d), edit);
      return int(QDialog::Accepted);
    });
    const QString swap = "RENAME TABLE qwt_struktur.extras TO qwt_struktur.tausch, "
                         "qwt_struktur.extras_b TO qwt_struktur.extras, "
                         "qwt_struktur.tausch TO qwt_struktur.extras_b";
    if (edit.startsWith("swap"))
      messages.onShow = [&](const Message &m) {
        if (m.buttons == MessageButtons::RunCancel)
          admin->exec(swap);
      };
    button->click();
    QVERIFY(!messages.shown.isEmpty());
    const Message &asked = messages.shown[0];
    QCOMPARE(asked.buttons, MessageButtons::RunCancel);
    QVERIFY2(asked.text.contains(warning) &&
                 (asked.icon == MessageIcon::Warning) == (!warning.isEmpty()),
             qPrintable(asked.text));
    const QStringList sent = sentChanges();
    if (to.startsWith('!')) {
      QVERIFY(sent.isEmpty());
      QVERIFY(messages.texts().last().contains(to.mid(1)));
      const QString swappedBack = created();
      admin->exec(swap);
      QCOMPARE(created(), before);
      QVERIFY(swappedBack != before);
      return;
    }
    QCOMPARE(sent.size(), 1);
    QVERIFY2(asked.text.startsWith(sent[0]), qPrintable(asked.text));
    // Only the question, no refusal (but where one is the point of the row).
    QVERIFY2(messages.shown.size() == 1 || (from.isEmpty() && to.isEmpty()),
             qPrintable(messages.texts().join('|')));
    // Exactly that part of the column's line changed, nothing else.
    QStringList expected = before.split('\n'), after = created().split('\n');
    if (added) {
      QVERIFY(after.removeOne("  " + to + ","));
    } else if (edit.startsWith("place=")) {
      QCOMPARE(admin->columnNames(Db, table).value(0), column);
      std::sort(expected.begin(), expected.end());
      std::sort(after.begin(), after.end());
    } else {
      const qsizetype line = expected.indexOf(
          QRegularExpression("^  " + QRegularExpression::escape(QuoteName(column)) + " .*"));
      QVERIFY(line >= 0);
      QVERIFY2(from.isEmpty() || expected[line].contains(from), qPrintable(expected[line]));
      if (from.isEmpty())
        expected[line].insert(
            expected[line].endsWith(',') ? expected[line].size() - 1 : expected[line].size(), to);
      else
        expected[line].replace(from, to);
    }
    QCOMPARE(after, expected);
  }

  // The "Tabelle" tab shows the server's row of information_schema.TABLES;
  // "Tabelle ändern..." changes exactly the option chosen, statement shown
  // first. A view or a sequence offers no change.
  void tableOptions_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("edit");   // "option=value", "-": nothing offered
    QTest::addColumn<QString>("option"); // the column of information_schema.TABLES
    QTest::addColumn<QString>("to");
    const auto row = [](const char *name, const char *table, const char *edit,
                        const char *option = "", const char *to = "") {
      QTest::newRow(name) << QString::fromUtf8(table) << QString::fromUtf8(edit)
                          << QString::fromUtf8(option) << QString::fromUtf8(to);
    };
    row("unverändert", "optionen", "");
    row("Zeilenformat", "optionen", "rowformat=REDUNDANT", "ROW_FORMAT", "Redundant");
    row("Sortierfolge", "optionen", "collation=utf8mb4_bin", "TABLE_COLLATION", "utf8mb4_bin");
    row("Kommentar", "optionen", "comment=it's \"x\"\nzwei", "TABLE_COMMENT", "it's \"x\"\nzwei");
    // The row format follows the engine.
    row("Engine", "optionen", "engine=Aria", "ENGINE", "Aria");
    // MyISAM and Aria take a foreign key without a word and keep only an index.
    row("Fremdschlüssel auf Aria", "aria", "foreignkey");
    row("Sequenz", "sequenz", "-");
    row("Sicht", "sicht", "-");
  }

  void tableOptions() {
    QFETCH(QString, table);
    QFETCH(QString, edit);
    QFETCH(QString, option);
    QFETCH(QString, to);
    TStructureForm *w = open(table);
    QVERIFY(w);
    w->RefreshOrClose();
    const auto facts = [&] {
      return admin
          ->rows(QStringLiteral("SELECT ENGINE, ROW_FORMAT, TABLE_COLLATION, TABLE_COMMENT, "
                                "TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                                "'qwt_struktur' AND TABLE_NAME = %1")
                     .arg(QuoteLiteral(table)))
          .value(0);
    };
    const QStringList before = facts();
    const auto columns = [&] {
      return admin->rows(QStringLiteral("SELECT COLUMN_NAME, COLUMN_TYPE, COLLATION_NAME FROM "
                                        "information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                                        "'qwt_struktur' AND TABLE_NAME = %1 ORDER BY 1")
                             .arg(QuoteLiteral(table)));
    };
    const QList<QStringList> columnsBefore = columns();
    const bool view = before.value(4) == "VIEW";
    QCOMPARE(w->Tabs->isTabVisible(w->Tabs->indexOf(w->ChangeTableBtn->parentWidget())), !view);
    const QString shown = before.value(4) == "SEQUENCE" ? "SHOW CREATE SEQUENCE qwt_struktur."
                                                        : "SHOW CREATE TABLE qwt_struktur.";
    QCOMPARE(w->CreateText->toPlainText(),
             admin->rows(shown + QuoteName(table)).value(0).value(1).remove("`qwt_struktur`."));
    if (!view) {
      QCOMPARE((QStringList{w->EngineEd->text(), w->RowFormatEd->text(), w->CollationEd->text(),
                            w->CommentText->toPlainText()}),
               before.mid(0, 4));
      QVERIFY(w->RowsEd->text().contains("Schätzung"));
    }
    if (edit == "-") {
      QVERIFY(!w->ChangeTableBtn->isEnabled() && !w->NewIndexBtn->isEnabled() &&
              !w->NewForeignKeyBtn->isEnabled());
      return;
    }
    MessageRecorder messages;
    ModalScript modal;
    admin->startQueryLog();
    if (edit == "foreignkey") {
      modal.push([&](QDialog &d) {
        auto &f = static_cast<TNewForeignKeyForm &>(d);
        // A system-versioned table can be referred to.
        [&] { QVERIFY(f.TableBox->findText(QStringLiteral("versioniert")) >= 0); }();
        f.TableBox->setCurrentText(QStringLiteral("kunden"));
        f.ColumnBox->setCurrentIndex(0);
        f.AddBtn->click();
        // A name longer than the server allows is refused, not cut short.
        f.NameEd->setText(QString(65, QChar(u'ä')));
        f.OkBtn->click();
        f.NameEd->clear();
        return int(QDialog::Accepted);
      });
      messages.answers = {MessageAnswer::Ok, MessageAnswer::Cancel};
      w->NewForeignKeyBtn->click();
      QCOMPARE(messages.shown.size(), 2);
      QVERIFY(messages.shown[0].text.contains("65 Zeichen"));
      QCOMPARE(messages.shown[1].icon, MessageIcon::Warning);
      QVERIFY(messages.shown[1].text.contains("kennt keine Fremdschlüssel"));
      QCOMPARE(objects(table), QStringList{});
      return;
    }
    modal.push([&](QDialog &d) {
      auto &f = static_cast<TTableOptionsForm &>(d);
      const QString key = edit.section('=', 0, 0), value = edit.section('=', 1);
      QComboBox *box = key == "engine"      ? f.EngineBox
                       : key == "rowformat" ? f.RowFormatBox
                       : key == "collation" ? f.CollationBox
                                            : nullptr;
      if (box)
        box->setCurrentIndex(box->findData(value));
      else if (key == "comment")
        f.CommentEd->setPlainText(value);
      return int(QDialog::Accepted);
    });
    w->ChangeTableBtn->click();
    QCOMPARE(modal.shownCount, 1);
    const QStringList sent =
        admin->statementsOf(form->Session->connectionId()).filter(QRegularExpression("^ALTER"));
    QStringList expected = before;
    if (edit.isEmpty()) {
      QVERIFY2(messages.shown.isEmpty() && sent.isEmpty(), qPrintable(messages.texts().join('|')));
    } else {
      QCOMPARE(messages.texts().size(), 1);
      QCOMPARE(sent, QStringList{messages.texts()[0]});
      expected[QStringList{"ENGINE", "ROW_FORMAT", "TABLE_COLLATION", "TABLE_COMMENT"}.indexOf(
          option)] = to;
    }
    const QStringList after = facts();
    if (option == "ENGINE")
      expected[1] = after.value(1);
    QCOMPARE(after, expected);
    // The columns are as they were.
    QCOMPARE(columns(), columnsBefore);
  }

  void windowsCloseWithTheConnectionAndKeepTheirSize() {
    // A double click opens the window, and so does the menu key.
    const QString kind = QStringLiteral("kind");
    ClickCaption(form->ListView2, kind);
    const QRect row = form->ListView2->visualRect(form->ListView2->currentIndex());
    QTest::mouseDClick(form->ListView2->viewport(), Qt::LeftButton, {}, row.center());
    QVERIFY(form->Structures->Find(Db, kind));
    form->Structures->Find(Db, kind)->close();
    QTRY_VERIFY(!form->Structures->Find(Db, kind));
    QApplication::setActiveWindow(form.get());
    QTest::keyClick(form->ListView2, Qt::Key_Menu);
    TStructureForm *w = form->Structures->Find(Db, kind);
    QVERIFY(w);
    w->resize(640, 333);
    w->close();
    QTRY_VERIFY(!form->Structures->Find(Db, kind));
    w = open(kind);
    QCOMPARE(w->size(), QSize(640, 333));
    // Over the main window, wholly on the screen.
    QVERIFY(w->screen()->availableGeometry().contains(w->frameGeometry()));
    // A table that is gone closes its window after saying so (F5 reads anew).
    QPointer<TStructureForm> alive = w;
    admin->exec(QStringLiteral("DROP TABLE qwt_struktur.kind"));
    MessageRecorder messages;
    QTest::keyClick(w, Qt::Key_F5);
    QCOMPARE(messages.texts(),
             QStringList{"Die Tabelle „kind“ gibt es in der Datenbank „qwt_struktur“ nicht mehr."});
    QTRY_VERIFY(!alive);
    // "Trennen" closes the others.
    alive = form->Structures->Find(Db, QStringLiteral("haupt"));
    QVERIFY(alive);
    form->cancelbtnClick();
    QTRY_VERIFY(!alive);
  }
};

QTEST_MAIN(StructureTest)
#include "tst_structure.moc"
