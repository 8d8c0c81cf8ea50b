// Connecting, disconnecting and the three lists, against the private server.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "connection/IntegerText.h"
#include "connection/verbindungFUnit.h"
#include "fields/EditFieldFUnit.h"
#include "schema/RenameTableFUnit.h"
#include "structure/StructureForm.h"
#include "tests/support/RequestCounter.h"
#include "tests/support/TestSupport.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>

#include <array>

namespace {
const QString Db = QStringLiteral("qwt_lists");
const QString EmptyDb = QStringLiteral("qwt_lists_leer");
const QString UmlautDb = QStringLiteral("qwt_Größe_äöü");
} // namespace

class ConnectListsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;

  void connectForm() {
    ConnectTo(*form);
    QVERIFY(form->connected());
  }

private slots:
  void initTestCase() {
    LoadRealClientLibrary();
    QW_REQUIRE_SERVER();
    admin = std::make_unique<AdminConnection>();
    admin->makeDatabase(Db, {"kunden", "artikel", "bestellungen"});
    // Tables side by side with other columns: a field list left over from
    // the table before shows as wrong.
    admin->exec(QStringLiteral("ALTER TABLE qwt_lists.artikel ADD artikelnummer INT"));
    admin->exec(
        QStringLiteral("ALTER TABLE qwt_lists.bestellungen ADD bestellnummer INT, ADD menge INT"));
    admin->makeDatabase(EmptyDb);
    admin->makeDatabase(UmlautDb, {"Übersicht", "maß"});
    admin->exec(QStringLiteral(
        "CREATE TABLE `qwt_lists`.`schlüssel` (id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY "
        "KEY, code VARCHAR(20) UNIQUE, kunde INT, preis DECIMAL(10,2), notiz TEXT, "
        "KEY (kunde), KEY (code, kunde))"));
    // Tables with columns that the server hides: the hash of a long UNIQUE
    // key, the period of system versioning; and columns of a table's own
    // that bear those names.
    admin->exec("CREATE TABLE qwt_lists.lang_eindeutig (t TEXT, u TEXT, UNIQUE (t), UNIQUE (u))");
    admin->exec("CREATE TABLE qwt_lists.versioniert (a INT) WITH SYSTEM VERSIONING");
    admin->exec("CREATE TABLE qwt_lists.eigene (row_start INT, DB_ROW_HASH_1 INT, t TEXT, "
                "UNIQUE (t))");
  }
  void init() { form = OpenMainForm(false); }
  void cleanup() {
    CloseMainForm(form);
    if (CurrentClientLibraryState() != ClientLibraryState::EntryPointAbsent)
      LoadRealClientLibrary();
  }
  void cleanupTestCase() {
    if (admin) {
      admin->dropDatabase(Db);
      admin->dropDatabase(EmptyDb);
      admin->dropDatabase(UmlautDb);
    }
    admin.reset();
  }

  void integerTexts() {
    QCOMPARE(TextToInteger(u"3306"), std::optional<std::int32_t>(3306));
    QCOMPARE(TextToInteger(u" 12"), std::optional<std::int32_t>(12));
    QCOMPARE(TextToInteger(u"  -12"), std::optional<std::int32_t>(-12));
    QCOMPARE(TextToInteger(u"+7"), std::optional<std::int32_t>(7));
    QCOMPARE(TextToInteger(u"$CEA"), std::optional<std::int32_t>(3306));
    QCOMPARE(TextToInteger(u"$cea"), std::optional<std::int32_t>(3306));
    QCOMPARE(TextToInteger(u"-$10"), std::optional<std::int32_t>(-16));
    QCOMPARE(TextToInteger(u"$FFFFFFFF"), std::optional<std::int32_t>(-1));
    QCOMPARE(TextToInteger(u"2147483647"), std::optional<std::int32_t>(2147483647));
    QCOMPARE(TextToInteger(u"-2147483648"), std::optional<std::int32_t>(INT32_MIN));
    // The last three are 2^32 + 3306, 2^64 + 3306 and 2^64 + 30: an overflow in the digit loop
    // would read them as a port of 3306 or a time-out of 30 seconds.
    for (const char16_t *bad :
         {u"", u"abc", u"12 ", u"1 2", u"$", u"-", u"+", u"$G", u"12a", u"2147483648",
          u"-2147483649", u"$100000000", u"0x10", u"\t12", u"١٢", u"4294970602",
          u"18446744073709554922", u"18446744073709551646"})
      QVERIFY2(!TextToInteger(bad).has_value(), qPrintable(QString::fromUtf16(bad)));
    QCOMPARE(TextToInteger(u"abc", 3306), 3306);
  }

  void connectListsExactlyTheServersDatabases() {
    QW_REQUIRE_SERVER();
    connectForm();
    QVERIFY(!form->connectbtn->isEnabled());
    QVERIFY(form->cancelbtn->isEnabled());
    QCOMPARE(Captions(form->ListView1), admin->databases());
    QVERIFY(Captions(form->ListView1).contains(UmlautDb));
    QVERIFY(!form->ListView1->hasSelection());
    QCOMPARE(form->ListView2->count(), 0);
    QCOMPARE(form->ListView3->count(), 0);
    const ServerEndpoint &endpoint = form->Session->endpoint();
    QCOMPARE(endpoint.host, TestServer::host());
    QCOMPARE(endpoint.port, TestServer::port());
    QCOMPARE(endpoint.connectTimeout, 30);
    QCOMPARE(endpoint.clientFlags, 0u);

    // "Trennen" empties the lists; a new connect lists afresh.
    form->cancelbtn->click();
    QVERIFY(form->connectbtn->isEnabled() && !form->cancelbtn->isEnabled());
    QCOMPARE(form->ListView1->count(), 0);
    admin->makeDatabase(QStringLiteral("qwt_lists_neu"));
    connectForm();
    QVERIFY(Captions(form->ListView1).contains(QStringLiteral("qwt_lists_neu")));
    admin->dropDatabase(QStringLiteral("qwt_lists_neu"));
  }

  void connectFailures() {
    QW_REQUIRE_SERVER();
    MessageRecorder messages;
    ConnectTo(*form, TestServer::passwordUser(), QStringLiteral("falsch"));
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("Konnte keine Verbindung aufbauen."));
    QVERIFY2(messages.shown[0].title.contains(QLatin1String("Access denied")),
             qPrintable(messages.shown[0].title));
    QCOMPARE(messages.shown[0].icon, MessageIcon::Critical);
    QCOMPARE(messages.shown[0].buttons, MessageButtons::Ok);
    QVERIFY(form->connectbtn->isEnabled() && !form->cancelbtn->isEnabled());
    QCOMPARE(form->ListView1->count(), 0);
    // The entries stay in the dialog for the next attempt.
    QCOMPARE(form->Dialog->EditUser->text(), TestServer::passwordUser());

    // The right password on a second attempt connects.
    messages.clear();
    ConnectTo(*form, TestServer::passwordUser(), TestServer::password());
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(form->connected());
    QVERIFY(Captions(form->ListView1).contains(Db));
    form->cancelbtnClick();

    // A port or time-out that is not what it says is refused, naming the
    // field, and nothing connects; empty ones mean 3306 and 30.
    ModalScript script;
    const QList<std::array<QString, 3>> refused{
        {"abc", "30", "Port"},     {"4270x", "30", "Port"},  {"68932", "30", "Port"},
        {"0", "30", "Port"},       {"-3306", "30", "Port"},  {"3306", "0", "Timeout"},
        {"3306", "-1", "Timeout"}, {"3306", "1x", "Timeout"}};
    for (const auto &[port, timeout, field] : refused) {
      messages.clear();
      script.push([&](QDialog &) {
        form->Dialog->EditPort->setText(port);
        form->Dialog->EditTime->setText(timeout);
        return int(QDialog::Accepted);
      });
      form->connectbtn->click();
      QCOMPARE(messages.texts(),
               QStringList{QStringLiteral("Das Feld „%1“ enthält „%2“; erlaubt "
                                          "ist %3. Es wurde keine Verbindung "
                                          "aufgebaut.")
                               .arg(field, field == "Port" ? port : timeout,
                                    field == "Port" ? "eine ganze Zahl von 1 bis 65535"
                                                    : "eine ganze Zahl von Sekunden ab 1")});
      QVERIFY(!form->connected());
    }
    script.push([&](QDialog &) {
      form->Dialog->EditHost->setText(QStringLiteral("127.0.0.1"));
      form->Dialog->EditPort->setText(QString());
      form->Dialog->EditTime->setText(QString());
      form->Dialog->EditUser->setText(QStringLiteral("nobody-here"));
      return int(QDialog::Accepted);
    });
    form->connectbtn->click();
    QCOMPARE(form->Session->endpoint().port, 3306);
    QCOMPARE(form->Session->endpoint().connectTimeout, 30);
    QVERIFY(form->connectbtn->isEnabled());
    script.push([&](QDialog &) {
      form->Dialog->EditPort->setText(QStringLiteral("$%1").arg(TestServer::port(), 0, 16));
      form->Dialog->EditTime->setText(QStringLiteral(" 12"));
      form->Dialog->EditUser->setText(TestServer::user());
      form->Dialog->EditPass->clear();
      return int(QDialog::Accepted);
    });
    form->connectbtn->click();
    QCOMPARE(form->Session->endpoint().port, TestServer::port());
    QCOMPARE(form->Session->endpoint().connectTimeout, 12);
    QVERIFY(form->connected());
  }

  // A row reached with the keyboard, or selected by a screen reader, is
  // listed as a click lists it: the lists to its right never show another
  // row's contents beside it.
  void keyboardMovesRefillTheLists() {
    QW_REQUIRE_SERVER();
    connectForm();
    ClickCaption(form->ListView1, Db);
    ClickCaption(form->ListView2, QStringLiteral("artikel"));
    QTest::keyClick(form->ListView2, Qt::Key_Down);
    const QString table = form->ListView2->caption(form->ListView2->selectedRow());
    QCOMPARE(table, QStringLiteral("bestellungen"));
    QCOMPARE(Captions(form->ListView3), (QStringList{"id", "bestellnummer", "menge"}));
    QCOMPARE(Captions(form->ListView3), admin->columnNames(Db, table));

    QTest::keyClick(form->ListView1, Qt::Key_Down);
    const QString database = form->ListView1->caption(form->ListView1->selectedRow());
    QCOMPARE(database, EmptyDb);
    QCOMPARE(form->ListView2->count(), 0);
    QCOMPARE(form->ListView3->count(), 0);

    ClickCaption(form->ListView1, Db);
    const int artikel = RowOf(form->ListView2, QStringLiteral("artikel"));
    QAccessibleInterface *tables = QAccessible::queryAccessibleInterface(form->ListView2);
    QVERIFY(tables->tableInterface()->selectRow(artikel));
    QCOMPARE(form->ListView2->caption(form->ListView2->selectedRow()), QStringLiteral("artikel"));
    QCOMPARE(Captions(form->ListView3), admin->columnNames(Db, QStringLiteral("artikel")));
  }

  void clientLibraryFailures() {
    QW_REQUIRE_SERVER();
    QCOMPARE(LoadClientLibraryFile(QW_FAKE_COMPLETE_LIB), ClientLibraryState::Complete);
    MessageRecorder messages;
    FakeFailCalls("mysql_init");
    ConnectTo(*form);
    QCOMPARE(messages.texts(), QStringList{"Couldn't init PMYSQL object"});
    QCOMPARE(messages.shown[0].title, QString());
    QCOMPARE(messages.shown[0].icon, MessageIcon::None);
    QVERIFY(!form->connected());

    messages.clear();
    FakeFailCalls("mysql_options");
    ConnectTo(*form);
    QCOMPARE(messages.texts(), QStringList{"Konnte Optionen nicht setzen"});
    QCOMPARE(messages.shown[0].title, QString());
    QVERIFY(!form->connected());

    FakeFailCalls("");
    messages.clear();
    ConnectTo(*form);
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(form->connected());
  }

  void tablesAndFields() {
    QW_REQUIRE_SERVER();
    connectForm();
    const int db = RowOf(form->ListView1, Db);
    QVERIFY(db >= 0);
    ClickRow(form->ListView1, db);
    QCOMPARE(form->ListView1->selectedRow(), db);
    QCOMPARE(Captions(form->ListView2), admin->tables(Db));
    QVERIFY(form->DropDBBtn->isEnabled() && form->NewTableBtn->isEnabled());
    QVERIFY(!form->ListView2->hasSelection());

    const int table = RowOf(form->ListView2, QStringLiteral("schlüssel"));
    ClickRow(form->ListView2, table);
    QCOMPARE(form->ListView1->selectedRow(), db);
    QCOMPARE(form->ListView2->selectedRow(), table);
    QVERIFY(!form->ListView3->hasSelection());
    QVERIFY(form->NewFieldBtn->isEnabled() && form->DelTableBtn->isEnabled());
    QCOMPARE(Captions(form->ListView3), (QStringList{"id", "code", "kunde", "preis", "notiz"}));
    QCOMPARE(form->ListView3->items().cell(0, 1), QStringLiteral("LONG (10,0) PRIMARY"));

    // Selecting a field enables its buttons; a click on the database again lists anew.
    ClickRow(form->ListView3, 2);
    QVERIFY(form->DelFieldBtn->isEnabled() && form->ChangeFieldBnt->isEnabled());
    ClickRow(form->ListView1, db);
    QCOMPARE(form->ListView3->count(), 0);
    QCOMPARE(Captions(form->ListView2), admin->tables(Db));

    // Only the table's own columns, also in the check before a command sends.
    for (const auto &[table, fields] : {std::pair{"lang_eindeutig", QStringList{"t", "u"}},
                                        {"versioniert", {"a"}},
                                        {"eigene", {"row_start", "DB_ROW_HASH_1", "t"}}}) {
      ClickCaption(form->ListView2, QString::fromUtf8(table));
      QCOMPARE(Captions(form->ListView3), fields);
    }
    {
      MessageRecorder asked;
      ClickCaption(form->ListView3, QStringLiteral("row_start"));
      form->DelFieldBtn->click();
      QCOMPARE(asked.shown.size(), 1);
      QCOMPARE(admin->columnNames(Db, QStringLiteral("eigene")),
               (QStringList{"DB_ROW_HASH_1", "t"}));
    }

    // A database without tables: an empty table list, no message.
    MessageRecorder messages;
    ClickRow(form->ListView1, RowOf(form->ListView1, EmptyDb));
    QCOMPARE(form->ListView2->count(), 0);
    QVERIFY(messages.shown.isEmpty());

    // Umlauts come back exactly.
    ClickRow(form->ListView1, RowOf(form->ListView1, UmlautDb));
    QCOMPARE(Captions(form->ListView2), admin->tables(UmlautDb));
    QVERIFY(Captions(form->ListView2).contains(QStringLiteral("Übersicht")));
  }

  // Every refill finds the database and table again by name, whatever
  // another session's new or dropped objects did to the rows; one that is
  // gone is said so, and nothing else is selected in its place.
  void rowsFoundByName_data() {
    QTest::addColumn<QString>("change");   // what another session does before the click
    QTest::addColumn<QString>("database"); // the row then clicked
    QTest::addColumn<QString>("table");    // (empty: the database's)
    QTest::addColumn<QString>("said");     // the message, if any
    QTest::newRow("a table made before the clicked one")
        << "CREATE TABLE qwt_lists.`aaa` (a INT)" << Db << "schlüssel"
        << "";
    QTest::newRow("a database made before the clicked one")
        << "CREATE DATABASE qwt_lista" << Db << ""
        << "";
    QTest::newRow("a database dropped before the clicked one")
        << "DROP DATABASE qwt_list" << Db << "kunden"
        << "";
    QTest::newRow("the clicked table dropped")
        << "DROP TABLE qwt_lists.weg" << Db << "weg"
        << "Die Tabelle „weg“ gibt es in der Datenbank „qwt_lists“ nicht mehr; die Liste der "
           "Tabellen wurde neu gelesen.";
    QTest::newRow("the clicked database dropped")
        << "DROP DATABASE qwt_lists_weg"
        << "qwt_lists_weg"
        << ""
        << "Die Datenbank „qwt_lists_weg“ gibt es nicht mehr; die Liste der Datenbanken wurde neu "
           "gelesen.";
  }
  void rowsFoundByName() {
    QFETCH(QString, change);
    QFETCH(QString, database);
    QFETCH(QString, table);
    QFETCH(QString, said);
    admin->dropDatabase(QStringLiteral("qwt_lista"));
    admin->makeDatabase(QStringLiteral("qwt_list"), {"x"});
    admin->makeDatabase(QStringLiteral("qwt_lists_weg"), {"x"});
    admin->exec(QStringLiteral("CREATE TABLE IF NOT EXISTS qwt_lists.weg (w INT)"));
    const auto restore = qScopeGuard([&] {
      for (const char *made : {"qwt_lista", "qwt_list", "qwt_lists_weg"})
        admin->dropDatabase(QString::fromUtf8(made));
      admin->exec(QStringLiteral("DROP TABLE IF EXISTS qwt_lists.aaa, qwt_lists.weg"));
    });
    connectForm();
    ClickCaption(form->ListView1, database);
    admin->exec(change);
    MessageRecorder messages;
    if (table.isEmpty())
      ClickCaption(form->ListView1, database);
    else
      ClickCaption(form->ListView2, table);
    QCOMPARE(messages.texts(), said.isEmpty() ? QStringList() : QStringList{said});
    QCOMPARE(Captions(form->ListView1), admin->databases());
    const TMainForm::Selection s = form->CurrentSelection();
    if (said.isEmpty()) {
      QCOMPARE(s.databaseName, database);
      QCOMPARE(Captions(form->ListView2), admin->tables(database));
      QCOMPARE(s.tableName, table);
      QCOMPARE(Captions(form->ListView3),
               table.isEmpty() ? QStringList() : admin->columnNames(database, table));
    } else if (table.isEmpty()) {
      QCOMPARE(s.database, -1);
      QCOMPARE(form->ListView2->count(), 0);
    } else {
      QCOMPARE(s.databaseName, database);
      QCOMPARE(Captions(form->ListView2), admin->tables(database));
      QCOMPARE(s.table, -1);
    }
    if (!said.isEmpty())
      QCOMPARE(form->ListView3->count(), 0);
  }

  // The requests (round trips) each action sends, counted by a proxy: the
  // listings and the database switch of one refill go as one request, and
  // nothing selects the database that is current already (the general log).
  void requestsPerAction_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("requests");
    QTest::newRow("click a database") << "database" << 1;
    QTest::newRow("click a table") << "table" << 1;
    QTest::newRow("F5") << "F5" << 1;
    // With InnoDB's dictionary readable, the structure is one request.
    QTest::newRow("structure window") << "structure" << 1;
    // ADD has nothing to check: database, statement and field list at once.
    QTest::newRow("Neue Feld...") << "NewFieldBtn" << 1;
    QTest::newRow("Neue Feld..., Abbrechen") << "NewFieldBtn cancelled" << 0;
    // The database and the check, then the statement and the list.
    QTest::newRow("Feld löschen") << "DelFieldBtn" << 2;
    QTest::newRow("Tabelle löschen") << "DelTableBtn" << 2;
    QTest::newRow("Tabelle umbenennen") << "TableRenameBtn" << 2;
    // The column's facts, the trial on a copy, then the check and the statement.
    QTest::newRow("Feld ändern, OK unchanged") << "ChangeFieldBnt unchanged" << 4;
  }
  void requestsPerAction() {
    QFETCH(QString, action);
    QFETCH(int, requests);
    QW_REQUIRE_SERVER();
    admin->exec(QStringLiteral("CREATE TABLE IF NOT EXISTS qwt_lists.zaehlen (a INT, b INT)"));
    const auto restore = qScopeGuard([&] {
      admin->stopQueryLog();
      admin->exec(QStringLiteral("DROP TABLE IF EXISTS qwt_lists.zaehlen, qwt_lists.gezaehlt"));
    });
    RequestCounter counter;
    ConnectTo(*form, TestServer::user(), {}, counter.port());
    QVERIFY(form->connected());
    ClickCaption(form->ListView1, Db);
    ClickCaption(form->ListView2, QStringLiteral("zaehlen"));
    ClickCaption(form->ListView3, QStringLiteral("b"));
    MessageRecorder messages;
    admin->startQueryLog();
    counter.reset();
    if (action == QLatin1String("database"))
      ClickCaption(form->ListView1, Db);
    else if (action == QLatin1String("table"))
      ClickCaption(form->ListView2, QStringLiteral("kunden"));
    else if (action == QLatin1String("F5"))
      QTest::keyClick(form->ListView3, Qt::Key_F5);
    else if (action == QLatin1String("structure"))
      QVERIFY(form->Structures->Open(Db, QStringLiteral("zaehlen")));
    else {
      ModalScript editor;
      const bool cancelled = action.endsWith(QLatin1String(" cancelled"));
      editor.push([cancelled, action](QDialog &dialog) {
        if (auto *rename = dynamic_cast<TRenameTableForm *>(&dialog))
          rename->TableNameEd->setText(QStringLiteral("gezaehlt"));
        else if (!action.endsWith(QLatin1String(" unchanged")))
          static_cast<TEditFieldForm &>(dialog).Edit1->setText(QStringLiteral("neu"));
        return int(cancelled ? QDialog::Rejected : QDialog::Accepted);
      });
      form->findChild<QPushButton *>(action.section(' ', 0, 0))->click();
    }
    const QStringList sent = admin->requestsOf(form->Session->connectionId());
    QVERIFY2(counter.requests() == requests,
             qPrintable(QString::number(counter.requests()) + ": " + sent.join(" | ")));
    QVERIFY2(sent.filter(QStringLiteral("Init DB")).isEmpty(), qPrintable(sent.join('|')));
    // The question of a drop, the "dd" box of a change.
    QCOMPARE(messages.shown.size(),
             action.startsWith(QLatin1String("Del")) || action.startsWith(QLatin1String("Change"))
                 ? 1
                 : 0);
    if (action == QLatin1String("NewFieldBtn"))
      QCOMPARE(Captions(form->ListView3), (QStringList{"a", "b", "neu"}));
    if (action == QLatin1String("DelFieldBtn")) {
      QCOMPARE(admin->columnNames(Db, QStringLiteral("zaehlen")), QStringList{"a"});
      QCOMPARE(Captions(form->ListView3), QStringList{"a"});
    }
    if (action == QLatin1String("DelTableBtn"))
      QVERIFY(!Captions(form->ListView2).contains(QStringLiteral("zaehlen")));
    if (action == QLatin1String("TableRenameBtn"))
      QCOMPARE(Captions(form->ListView2), admin->tables(Db));
  }

  // F5 lists all three anew and selects again by name: a database, table and
  // field that others added meanwhile shift the rows; a table dropped
  // meanwhile is said so and leaves its database selected and no fields
  // listed.
  void f5RefreshesKeepingTheSelection() {
    QW_REQUIRE_SERVER();
    const QString ours = QStringLiteral("qwt_lists_f5"), before = QStringLiteral("qwt_lists_a");
    admin->makeDatabase(ours, {"eins", "zwei"});
    admin->exec(QStringLiteral("ALTER TABLE `qwt_lists_f5`.`zwei` ADD `name` TEXT"));
    connectForm();
    ClickCaption(form->ListView1, ours);
    ClickCaption(form->ListView2, QStringLiteral("zwei"));
    form->ListView3->selectRow(RowOf(form->ListView3, QStringLiteral("name")));
    admin->makeDatabase(before);
    admin->exec(QStringLiteral("CREATE TABLE `qwt_lists_f5`.`aaa` (id INT)"));
    admin->exec(QStringLiteral("ALTER TABLE `qwt_lists_f5`.`zwei` ADD `aaa` INT FIRST"));
    QTest::keyClick(form->ListView2, Qt::Key_F5);
    QCOMPARE(Captions(form->ListView1), admin->databases());
    QCOMPARE(Captions(form->ListView2), admin->tables(ours));
    QCOMPARE(Captions(form->ListView3), (QStringList{"aaa", "id", "name"}));
    const TMainForm::Selection kept = form->CurrentSelection();
    QCOMPARE(kept.databaseName + "." + kept.tableName + "." + kept.fieldName, ours + ".zwei.name");
    QVERIFY(form->ChangeFieldBnt->isEnabled());

    admin->exec(QStringLiteral("DROP TABLE `qwt_lists_f5`.`zwei`"));
    MessageRecorder messages;
    QTest::keyClick(form->ListView3, Qt::Key_F5);
    QCOMPARE(messages.texts(),
             QStringList{"Die Tabelle „zwei“ gibt es in der Datenbank „qwt_lists_f5“ nicht mehr; "
                         "die Liste der Tabellen wurde neu gelesen."});
    QCOMPARE(form->CurrentSelection().databaseName, ours);
    QCOMPARE(Captions(form->ListView2), admin->tables(ours));
    QVERIFY(!form->ListView2->hasSelection());
    QCOMPARE(form->ListView3->count(), 0);
    admin->dropDatabase(ours);
    admin->dropDatabase(before);
  }

  void failingListingsShowTheirBoxAndFreeEveryResult() {
    QW_REQUIRE_SERVER();
    QCOMPARE(LoadClientLibraryFile(QW_FAKE_COMPLETE_LIB), ClientLibraryState::Complete);
    connectForm();
    const int db = RowOf(form->ListView1, Db);
    form->ListTables(Db);
    const QStringList databases = Captions(form->ListView1);
    const QStringList tables = Captions(form->ListView2);
    QVERIFY(!tables.isEmpty());
    const QString table = tables.first();

    struct Case {
      const char *failing; // the statement the server refuses
      QString text;
      bool titled;
      int tables; // rows in the table list afterwards (-1: unchanged)
    };
    const QList<Case> cases{
        {"SHOW DATABASES", "Konnte die Liste der Datenbanken nicht abrufen.", true, -1},
        {"USE", "Konnte Datenbank nicht auswählen!", false, 0},
        {"SHOW TABLES", "Konnte Liste mit Tabellen nicht abrufen!", true, 0},
        {"EXECUTE", "Konnte Liste mit Feldern nicht abrufen!", true,
         static_cast<int>(tables.size())}};
    for (const Case &c : cases) {
      form->ListFields(Db, table);
      QVERIFY(form->ListView3->count() > 0);
      MessageRecorder messages;
      int databasesDuringBox = -1;
      messages.onShow = [&](const Message &) { databasesDuringBox = form->ListView1->count(); };
      FakeResetCounts();
      FakeFailStatements(c.failing);
      form->ListFields(Db, table);
      FakeFailStatements("");
      QCOMPARE(messages.texts(), QStringList{c.text});
      QCOMPARE(messages.shown[0].title.isEmpty(), !c.titled);
      if (c.titled)
        QCOMPARE(messages.shown[0].title, QStringLiteral("Fake failure of ") + c.failing);
      QCOMPARE(messages.shown[0].icon, MessageIcon::None);
      QCOMPARE(FakeResultsOut(), FakeResultsFreed());
      if (c.tables < 0) {
        // Nothing could be listed: all three lists are emptied rather than
        // left looking refreshed.
        for (ReportListView *list : {form->ListView1, form->ListView2, form->ListView3})
          QCOMPARE(list->count(), 0);
        continue;
      }
      // The box came during the refill, the database list's new rows (taken
      // over whole) already built, and the refill ended once it closed.
      QCOMPARE(databasesDuringBox, static_cast<int>(databases.size()));
      QCOMPARE(Captions(form->ListView1), databases);
      QCOMPARE(form->ListView1->selectedRow(), db);
      QCOMPARE(form->ListView2->count(), c.tables);
      QCOMPARE(form->ListView3->count(), 0);
    }

    // The same for the table listing, and every result freed on success too.
    for (const char *failing : {"SHOW DATABASES", "USE", "SHOW TABLES", ""}) {
      MessageRecorder messages;
      FakeResetCounts();
      FakeFailStatements(failing);
      form->ListTables(Db);
      FakeFailStatements("");
      QCOMPARE(messages.shown.size(), *failing ? 1 : 0);
      QCOMPARE(FakeResultsOut(), FakeResultsFreed());
    }
    FakeResetCounts();
    form->ListCurrentDatabases();
    QCOMPARE(FakeResultsOut(), 1);
    QCOMPARE(FakeResultsFreed(), 1);

    // A library that hands out fewer rows than it announced ends the listing
    // early instead of crashing.
    FakeFailFetchAfter(2);
    form->ListCurrentDatabases();
    FakeFailFetchAfter(-1);
    QCOMPARE(form->ListView1->count(), 2);
  }

  // A server that died is said once, in German, with what to do; the
  // program treats the connection as gone.
  void serverKilledWhileConnected() {
    const auto restore = qScopeGuard(RestoreServer);
    connectForm();
    const int db = RowOf(form->ListView1, Db);
    ClickRow(form->ListView1, db);
    admin.reset();
    QVERIFY(ServerControl(QStringLiteral("kill")));

    MessageRecorder messages;
    ClickRow(form->ListView1, db);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].title, QStringLiteral("Verbindung abgebrochen"));
    QCOMPARE(messages.shown[0].icon, MessageIcon::Critical);
    QVERIFY2(messages.shown[0].text.contains(QStringLiteral("„Verbinden...“")),
             qPrintable(messages.shown[0].text));
    // No list goes on showing what it showed before, and the program is no
    // longer connected: the next command does not try the dead connection.
    for (ReportListView *list : {form->ListView1, form->ListView2, form->ListView3})
      QCOMPARE(list->count(), 0);
    QVERIFY(!form->connected());
    QVERIFY(form->connectbtn->isEnabled() && !form->cancelbtn->isEnabled());
    QVERIFY(form->isVisible());

    QVERIFY(ServerControl(QStringLiteral("start")));
    admin = std::make_unique<AdminConnection>();
    messages.clear();
    connectForm();
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(Captions(form->ListView1), admin->databases());
  }
};

QTEST_MAIN(ConnectListsTest)
#include "tst_connect_lists.moc"
