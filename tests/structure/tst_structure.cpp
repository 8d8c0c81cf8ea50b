// The structure window against the private server: every tab shows what
// information_schema says; indexes and foreign keys with hostile names are
// added and dropped exactly, each statement shown as the server received it.
#include "app/mysql_test_main.h"
#include "structure/NewForeignKeyForm.h"
#include "structure/NewIndexForm.h"
#include "structure/StructureForm.h"
#include "tests/support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
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
        "PRIMARY KEY (id), UNIQUE KEY eindeutig (name(10), kunde DESC), KEY kunde (kunde), "
        "KEY ignoriert (zitat) IGNORED, FULLTEXT KEY volltext (notiz), SPATIAL KEY lage (ort), "
        "CONSTRAINT zum_kunden FOREIGN KEY (kunde) REFERENCES kunden (nr) ON DELETE SET NULL)"));
    admin->exec(QStringLiteral(
        "CREATE TABLE qwt_struktur.kind (id INT, haupt_id INT, KEY (haupt_id), CONSTRAINT "
        "zum_haupt FOREIGN KEY (haupt_id) REFERENCES haupt (id) ON UPDATE CASCADE)"));
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
                                 {"eindeutig", "UNIQUE", "name(10), kunde DESC", "ja"},
                                 {"kunde", "INDEX", "kunde", "ja"},
                                 {"ignoriert", "INDEX", "zitat", "nein"},
                                 {"lage", "SPATIAL", "ort(32)", "ja"},
                                 {"volltext", "FULLTEXT", "notiz", "ja"}}));
    QStringList names;
    for (const QStringList &row : Cells(w->IndexList))
      names << row[0];
    QCOMPARE(names, admin->column("SELECT DISTINCT INDEX_NAME FROM information_schema.STATISTICS "
                                  "WHERE TABLE_SCHEMA = 'qwt_struktur' AND TABLE_NAME = 'haupt'"));
    // Fremdschlüssel: its own, and the one of another table that refers to it.
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

  void changesExactlyThatObject_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("foreignKey");
    for (const char *name : {"a`b", "it's", "mit Leer", "Größe", "<img src=/dev/zero>"}) {
      QTest::addRow("index %s", name) << QString::fromUtf8(name) << false;
      QTest::addRow("foreign key %s", name) << QString::fromUtf8(name) << true;
    }
  }
  void changesExactlyThatObject() {
    QFETCH(QString, name);
    QFETCH(bool, foreignKey);
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
    // The main window's field list follows the change.
    QVERIFY(
        std::any_of(log.begin(), log.end(), [&](const QString &s) { return s.startsWith(table); }));
    QStringList expected = before;
    expected << (foreignKey ? QStringLiteral("FK %1:id").arg(name) : name + ":ö, x,id");
    expected.sort();
    QStringList after = objects(table);
    after.sort();
    QCOMPARE(after, expected);

    // Dropping it again, from its row in the window.
    QTreeWidget *list = foreignKey ? w->ForeignKeyList : w->IndexList;
    Select(list, name);
    w->Tabs->setCurrentWidget(list->parentWidget());
    QApplication::setActiveWindow(w);
    list->setFocus();
    messages.clear();
    admin->startQueryLog();
    QTest::keyClick(list, Qt::Key_Delete);
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
