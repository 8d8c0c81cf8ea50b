// Creating and dropping databases, dropping and renaming tables, against the
// private server: each command acts on exactly the selected object.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "schema/NeueDBFUnit.h"
#include "schema/RenameTableFUnit.h"
#include "tests/support/TestSupport.h"

#include <QLineEdit>

namespace {
// Names that a statement must carry intact: a blank, a comma between the
// names of two neighbours, quotes of both kinds, a reserved word, umlauts,
// and the longest name the server allows.
QStringList HostileNames() {
  return {QStringLiteral("mit blank"),      QStringLiteral("qa, qb"),
          QStringLiteral("back`quote"),     QStringLiteral("it's"),
          QStringLiteral("select"),         QStringLiteral("Größe_äöüß"),
          QStringLiteral("x").repeated(64), QStringLiteral("<h1>orders</h1><!--")};
}
const QString TableDb = QStringLiteral("qwt_tables");
} // namespace

class DatabaseTableCommandsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;

  void selectDatabase(const QString &name) { ClickCaption(form->ListView1, name); }
  void selectTable(const QString &database, const QString &table) {
    selectDatabase(database);
    ClickCaption(form->ListView2, table);
    QCOMPARE(form->ListView2->caption(form->ListView2->selectedRow()), table);
  }
  // Scripts the new-database dialog to be confirmed with `name`.
  void typeName(ModalScript &script, QLineEdit *edit, const QString &name, bool ok = true) {
    script.push([=](QDialog &) {
      edit->setText(name);
      return int(ok ? QDialog::Accepted : QDialog::Rejected);
    });
  }
  QStringList sorted(QStringList list) {
    list.sort();
    return list;
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    admin = std::make_unique<AdminConnection>();
    LoadRealClientLibrary();
  }
  void init() {
    form = OpenMainForm(true);
    QVERIFY(form->connected());
  }
  void cleanup() { CloseMainForm(form); }
  void cleanupTestCase() {
    if (!admin)
      return;
    for (const QString &db : admin->databases())
      if (db.startsWith(QLatin1String("qwt_")) || db.startsWith(QLatin1String(" qwt_")) ||
          HostileNames().contains(db) || db == QLatin1String("qa") || db == QLatin1String("qb"))
        admin->dropDatabase(db);
  }

  void createDatabase() {
    MessageRecorder messages;
    ModalScript script;
    admin->dropDatabase(QStringLiteral("qwt_neu"));
    typeName(script, form->NewDBForm->DBNameEd, QStringLiteral("qwt_neu"));
    form->NewDBBtn->click();
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(admin->databases().contains(QStringLiteral("qwt_neu")));
    QVERIFY(Captions(form->ListView1).contains(QStringLiteral("qwt_neu")));
    QVERIFY(!form->ListView1->hasSelection());

    // The dialog opens empty every time.
    script.push([&](QDialog &) {
      [&] { QCOMPARE(form->NewDBForm->DBNameEd->text(), QString()); }();
      return int(QDialog::Rejected);
    });
    form->NewDBBtn->click();
    QVERIFY(messages.shown.isEmpty());

    // Differing only in the case of a to z: exists; nothing is sent but the
    // list is rebuilt.
    admin->makeDatabase(QStringLiteral("qwt_meanwhile"));
    typeName(script, form->NewDBForm->DBNameEd, QStringLiteral("QWT_Neu"));
    const QStringList before = admin->databases();
    form->NewDBBtn->click();
    QCOMPARE(messages.texts(), QStringList{"Diese Datenbank existiert bereits!"});
    QCOMPARE(messages.shown[0].title, QString());
    QCOMPARE(admin->databases(), before);
    QVERIFY(Captions(form->ListView1).contains(QStringLiteral("qwt_meanwhile")));

    // An umlaut in another case is a new name.
    messages.clear();
    admin->makeDatabase(QStringLiteral("qwt_ä"));
    form->ListCurrentDatabases();
    typeName(script, form->NewDBForm->DBNameEd, QStringLiteral("qwt_Ä"));
    form->NewDBBtn->click();
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(admin->databases().contains(QStringLiteral("qwt_Ä")));
    QVERIFY(admin->databases().contains(QStringLiteral("qwt_ä")));

    // Blanks go to the server as typed: a leading one is accepted, a trailing
    // one refused, with the server's text as the title.
    typeName(script, form->NewDBForm->DBNameEd, QStringLiteral(" qwt_vorn"));
    form->NewDBBtn->click();
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(admin->databases().contains(QStringLiteral(" qwt_vorn")));
    typeName(script, form->NewDBForm->DBNameEd, QStringLiteral("qwt_hinten "));
    form->NewDBBtn->click();
    QCOMPARE(messages.texts(), QStringList{"Konnte Datenbank nicht erzeugen!"});
    QVERIFY2(messages.shown[0].title.contains(QLatin1String("qwt_hinten ")),
             qPrintable(messages.shown[0].title));
    QVERIFY(!admin->databases().contains(QStringLiteral("qwt_hinten ")));

    // Empty name: a message, and the list is not rebuilt.
    messages.clear();
    admin->makeDatabase(QStringLiteral("qwt_unseen"));
    typeName(script, form->NewDBForm->DBNameEd, QString());
    form->NewDBBtn->click();
    QCOMPARE(messages.texts(), QStringList{"Das Feld für den Namen darf nicht leer sein!"});
    QVERIFY(!Captions(form->ListView1).contains(QStringLiteral("qwt_unseen")));

    // Cancelled: nothing happens.
    messages.clear();
    typeName(script, form->NewDBForm->DBNameEd, QStringLiteral("qwt_nie"), false);
    form->NewDBBtn->click();
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(!admin->databases().contains(QStringLiteral("qwt_nie")));
    QVERIFY(!Captions(form->ListView1).contains(QStringLiteral("qwt_unseen")));

    // Not connected: the message, and the dialog is not shown.
    form->cancelbtnClick();
    const int shown = script.shownCount;
    form->NewDBBtn->click();
    QCOMPARE(messages.texts(), QStringList{"Sie müssen mit der MySQL Server verbunden sein!"});
    QCOMPARE(script.shownCount, shown);
  }

  void dropDatabaseActsOnExactlyTheSelectedOne() {
    const QStringList names = HostileNames();
    for (const QString &name : names)
      admin->makeDatabase(name, {"t"});
    admin->makeDatabase(QStringLiteral("qa"));
    admin->makeDatabase(QStringLiteral("qb"));
    form->ListCurrentDatabases();
    MessageRecorder messages;
    for (const QString &name : names) {
      const QStringList before = admin->databases();
      selectDatabase(name);
      messages.clear();
      form->DropDBBtn->click();
      QCOMPARE(messages.shown.size(), 1);
      QCOMPARE(messages.shown[0].text, QStringLiteral("Wollen Sie die Datenbank ") + name +
                                           QStringLiteral(" wirklich entgültig löschen?"));
      QCOMPARE(messages.shown[0].title, QStringLiteral("Datenbank löschen?"));
      QCOMPARE(messages.shown[0].buttons, MessageButtons::YesNoCancel);
      QCOMPARE(messages.shown[0].icon, MessageIcon::Question);
      QStringList expected = before;
      expected.removeOne(name);
      QCOMPARE(admin->databases(), expected);
      QCOMPARE(Captions(form->ListView1), expected);
      QVERIFY(!form->ListView1->hasSelection());
      QCOMPARE(form->ListView2->count(), 0);
    }
    admin->dropDatabase(QStringLiteral("qa"));
    admin->dropDatabase(QStringLiteral("qb"));
  }

  void dropDatabaseRefusalsAndAnswers() {
    admin->makeDatabase(QStringLiteral("qwt_bleibt"), {"t"});
    form->ListCurrentDatabases();
    selectDatabase(QStringLiteral("qwt_bleibt"));
    MessageRecorder messages;
    for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Cancel}) {
      messages.answers = {answer};
      admin->makeDatabase(QStringLiteral("qwt_unseen2"));
      form->DropDBBtn->click();
      QVERIFY(admin->databases().contains(QStringLiteral("qwt_bleibt")));
      // Nothing rebuilt.
      QVERIFY(!Captions(form->ListView1).contains(QStringLiteral("qwt_unseen2")));
      QVERIFY(form->ListView1->hasSelection());
    }
    // Dropped meanwhile by someone else: the server's refusal, the list rebuilt.
    messages.clear();
    admin->dropDatabase(QStringLiteral("qwt_bleibt"));
    form->DropDBBtn->click();
    QCOMPARE(messages.shown.size(), 2);
    QCOMPARE(messages.shown[1].text, QStringLiteral("Konnte Datenbank nicht löschen!"));
    QVERIFY(messages.shown[1].title.contains(QLatin1String("qwt_bleibt")));
    QVERIFY(Captions(form->ListView1).contains(QStringLiteral("qwt_unseen2")));

    // Nothing selected: nothing at all, even when not connected.
    messages.clear();
    form->DropDBBtn->click();
    form->cancelbtnClick();
    form->DropDBBtn->click();
    QVERIFY(messages.shown.isEmpty());
    // Selected but not connected: the connection message only.
    form->ListView1->items().appendRow(QStringLiteral("qwt_unseen2"));
    form->ListView1->selectRow(0);
    form->DropDBBtn->click();
    QCOMPARE(messages.texts(), QStringList{"Sie müssen mit der MySQL Server verbunden sein!"});
    QVERIFY(admin->databases().contains(QStringLiteral("qwt_unseen2")));
  }

  void dropTableActsOnExactlyTheSelectedOne() {
    QStringList tables = HostileNames();
    tables << QStringLiteral("qa") << QStringLiteral("qb") << QStringLiteral("andere");
    admin->makeDatabase(TableDb, tables);
    form->ListCurrentDatabases();
    MessageRecorder messages;
    for (const QString &name : HostileNames()) {
      selectTable(TableDb, name);
      const int dbRow = form->ListView1->selectedRow();
      const QStringList before = admin->tables(TableDb);
      messages.clear();
      form->DelTableBtn->click();
      QCOMPARE(messages.shown.size(), 1);
      QCOMPARE(messages.shown[0].text, QStringLiteral("Wollen Sie die Tabelle ") + name +
                                           QStringLiteral(" in der Datenbank ") + TableDb +
                                           QStringLiteral(" wirklich entgültig löschen?"));
      QCOMPARE(messages.shown[0].title, QStringLiteral("Tabelle löschen?"));
      QCOMPARE(messages.shown[0].format, Qt::PlainText);
      QCOMPARE(messages.shown[0].buttons, MessageButtons::YesNoCancel);
      QCOMPARE(messages.shown[0].icon, MessageIcon::Question);
      QStringList expected = before;
      expected.removeOne(name);
      QCOMPARE(sorted(admin->tables(TableDb)), sorted(expected));
      QCOMPARE(sorted(Captions(form->ListView2)), sorted(expected));
      QCOMPARE(form->ListView1->selectedRow(), dbRow);
      QVERIFY(!form->ListView2->hasSelection());
      QCOMPARE(form->ListView3->count(), 0);
    }

    // No and Cancel send nothing and rebuild nothing.
    selectTable(TableDb, QStringLiteral("andere"));
    for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Cancel}) {
      messages.answers = {answer};
      form->DelTableBtn->click();
      QVERIFY(admin->tables(TableDb).contains(QStringLiteral("andere")));
      QVERIFY(form->ListView2->hasSelection());
    }

    // The database is gone when the command runs: its refusal, no statement,
    // the lists rebuilt.
    admin->makeDatabase(QStringLiteral("qwt_kurz"), {"t"});
    form->ListCurrentDatabases();
    selectTable(QStringLiteral("qwt_kurz"), QStringLiteral("t"));
    admin->dropDatabase(QStringLiteral("qwt_kurz"));
    messages.clear();
    form->DelTableBtn->click();
    QCOMPARE(messages.shown.size(), 2);
    QCOMPARE(messages.shown[1].text, QStringLiteral("Konnte Datenbank nicht auswählen"));
    QVERIFY(messages.shown[1].title.contains(QLatin1String("qwt_kurz")));
    QVERIFY(!Captions(form->ListView1).contains(QStringLiteral("qwt_kurz")));

    // The server refuses the statement: its text, no title, lists rebuilt.
    selectTable(TableDb, QStringLiteral("andere"));
    admin->exec(QStringLiteral("DROP TABLE `qwt_tables`.`andere`"));
    messages.clear();
    form->DelTableBtn->click();
    QCOMPARE(messages.shown.size(), 2);
    QVERIFY(messages.shown[1].text.contains(QLatin1String("andere")));
    QCOMPARE(messages.shown[1].title, QString());
    QVERIFY(!Captions(form->ListView2).contains(QStringLiteral("andere")));
  }

  void renameTable() {
    QStringList tables = HostileNames();
    tables << QStringLiteral("qa") << QStringLiteral("qb");
    admin->makeDatabase(TableDb, tables);
    form->ListCurrentDatabases();
    MessageRecorder messages;
    ModalScript script;
    int n = 0;
    for (const QString &name : HostileNames()) {
      selectTable(TableDb, name);
      const int dbRow = form->ListView1->selectedRow();
      const QString newName = QStringLiteral("neu `%1, ä").arg(++n);
      script.push([&, name, newName](QDialog &) {
        [&] { QCOMPARE(form->RenameTableForm->TableNameEd->text(), name); }();
        form->RenameTableForm->TableNameEd->setText(newName);
        return int(QDialog::Accepted);
      });
      const QStringList before = admin->tables(TableDb);
      form->TableRenameBtn->click();
      QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join('|')));
      QStringList expected = before;
      expected.replace(expected.indexOf(name), newName);
      QCOMPARE(sorted(admin->tables(TableDb)), sorted(expected));
      QCOMPARE(sorted(Captions(form->ListView2)), sorted(expected));
      QCOMPARE(form->ListView1->selectedRow(), dbRow);
      QVERIFY(!form->ListView2->hasSelection());
    }

    // OK without a change: the server's answer is shown as it comes.
    selectTable(TableDb, QStringLiteral("qa"));
    script.push([](QDialog &) { return int(QDialog::Accepted); });
    form->TableRenameBtn->click();
    QVERIFY(admin->tables(TableDb).contains(QStringLiteral("qa")));

    // Cancelled, or the name cleared: nothing sent.
    messages.clear();
    selectTable(TableDb, QStringLiteral("qa"));
    typeName(script, form->RenameTableForm->TableNameEd, QStringLiteral("nie"), false);
    form->TableRenameBtn->click();
    typeName(script, form->RenameTableForm->TableNameEd, QString());
    form->TableRenameBtn->click();
    QCOMPARE(messages.texts(),
             QStringList{"Das Feld für den Namen der Tabelle darf nicht leer sein!"});
    QVERIFY(admin->tables(TableDb).contains(QStringLiteral("qa")));

    // A name the server refuses: its text, lists rebuilt.
    messages.clear();
    typeName(script, form->RenameTableForm->TableNameEd, QStringLiteral("qb"));
    form->TableRenameBtn->click();
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY(messages.shown[0].text.contains(QLatin1String("qb")));
    QCOMPARE(messages.shown[0].title, QString());
    QVERIFY(!form->ListView2->hasSelection());

    // A table selected without a database, or the reverse: nothing at all.
    messages.clear();
    selectTable(TableDb, QStringLiteral("qa"));
    form->ListView1->clearSelection();
    form->TableRenameBtn->click();
    form->DelTableBtn->click();
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(script.shownCount, 4 + HostileNames().size());
  }
};

QTEST_MAIN(DatabaseTableCommandsTest)
#include "tst_database_table_commands.moc"
