// "Struktur exportieren..." and "SQL-Datei ausführen..." against the private
// server: a database with every kind of object and hostile names goes out to
// a file, into an empty database and out again, and both files and both
// databases' information_schema agree; a file whose third statement fails
// reports that statement and runs nothing after it; "Abbrechen" ends a run.
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "sqlfile/ExportForm.h"
#include "sqlfile/ProgressWindow.h"
#include "sqlfile/SqlFileCommands.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>

namespace {

const QString Source = QStringLiteral("qwt_sql_quelle"), Copy = QStringLiteral("qwt_sql_ziel"),
              Other = QStringLiteral("qwt_sql_fremd"), Runs = QStringLiteral("qwt_sql_lauf");

QByteArray ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// A database's objects as information_schema describes them, with the
// database's own name left out.
QString Described(AdminConnection &admin, const QString &db) {
  const QStringList queries{
      "SELECT TABLE_NAME, TABLE_TYPE, ENGINE, ROW_FORMAT, TABLE_COLLATION, CREATE_OPTIONS, "
      "TABLE_COMMENT FROM information_schema.TABLES WHERE TABLE_SCHEMA = '%1' ORDER BY 1",
      "SELECT TABLE_NAME, COLUMN_NAME, ORDINAL_POSITION, COLUMN_DEFAULT, IS_NULLABLE, "
      "COLUMN_TYPE, COLLATION_NAME, COLUMN_KEY, EXTRA, COLUMN_COMMENT, IS_GENERATED, "
      "GENERATION_EXPRESSION FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = '%1' "
      "ORDER BY 1, 3",
      "SELECT TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX, COLUMN_NAME, SUB_PART, INDEX_TYPE, "
      "NON_UNIQUE FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = '%1' ORDER BY 1, 2, 3",
      "SELECT k.TABLE_NAME, k.CONSTRAINT_NAME, k.COLUMN_NAME, k.REFERENCED_TABLE_SCHEMA, "
      "k.REFERENCED_TABLE_NAME, k.REFERENCED_COLUMN_NAME, r.UPDATE_RULE, r.DELETE_RULE FROM "
      "information_schema.KEY_COLUMN_USAGE k JOIN information_schema.REFERENTIAL_CONSTRAINTS r "
      "USING (CONSTRAINT_SCHEMA, CONSTRAINT_NAME, TABLE_NAME) WHERE k.TABLE_SCHEMA = '%1' "
      "ORDER BY 1, 2",
      "SELECT TABLE_NAME, CONSTRAINT_NAME, CHECK_CLAUSE FROM information_schema.CHECK_CONSTRAINTS "
      "WHERE CONSTRAINT_SCHEMA = '%1' ORDER BY 1, 2",
      "SELECT TABLE_NAME, VIEW_DEFINITION, CHECK_OPTION, DEFINER, SECURITY_TYPE, "
      "CHARACTER_SET_CLIENT, COLLATION_CONNECTION FROM information_schema.VIEWS WHERE "
      "TABLE_SCHEMA = '%1' ORDER BY 1",
      "SELECT TRIGGER_NAME, EVENT_MANIPULATION, EVENT_OBJECT_TABLE, ACTION_ORDER, "
      "ACTION_STATEMENT, ACTION_TIMING, SQL_MODE, DEFINER, CHARACTER_SET_CLIENT, "
      "COLLATION_CONNECTION, DATABASE_COLLATION FROM information_schema.TRIGGERS WHERE "
      "TRIGGER_SCHEMA = '%1' ORDER BY 1",
      "SELECT ROUTINE_NAME, ROUTINE_TYPE, DTD_IDENTIFIER, ROUTINE_DEFINITION, IS_DETERMINISTIC, "
      "SQL_DATA_ACCESS, SECURITY_TYPE, SQL_MODE, DEFINER, CHARACTER_SET_CLIENT, "
      "COLLATION_CONNECTION, DATABASE_COLLATION FROM information_schema.ROUTINES WHERE "
      "ROUTINE_SCHEMA = '%1' ORDER BY 1",
      "SELECT EVENT_NAME, DEFINER, TIME_ZONE, EVENT_DEFINITION, EVENT_TYPE, INTERVAL_VALUE, "
      "INTERVAL_FIELD, SQL_MODE, STARTS, STATUS, ON_COMPLETION, CHARACTER_SET_CLIENT, "
      "COLLATION_CONNECTION, DATABASE_COLLATION FROM information_schema.EVENTS WHERE "
      "EVENT_SCHEMA = '%1' ORDER BY 1"};
  QStringList lines;
  for (const QString &query : queries)
    for (const QStringList &row : admin.rows(query.arg(db)))
      lines << row.join(QStringLiteral(" | ")).replace(db, QStringLiteral("<db>"));
  return lines.join(QLatin1Char('\n'));
}

// Clicks "Abbrechen" in the progress window once it has been up a moment.
class CancelProgress {
public:
  CancelProgress() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *progress = qobject_cast<TProgressForm *>(w);
            progress && progress->isVisible() && ++m_ticks > 5)
          progress->CancelBtn->click();
    });
    m_timer.start(100);
  }

private:
  QTimer m_timer;
  int m_ticks = 0;
};

} // namespace

class SqlFilesTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;
  QTemporaryDir folder;

  QString path(const QString &name) const { return folder.filePath(name); }

  void exportStructure(const QString &db, const QString &file, const QStringList &tables = {}) {
    ModalScript modal;
    modal.push([&](QDialog &dialog) {
      auto &exporting = dynamic_cast<TExportForm &>(dialog);
      exporting.FileEd->setText(file);
      exporting.EventsCheck->setChecked(true);
      return int(QDialog::Accepted);
    });
    form->SqlFiles->ExportStructure(db, tables);
    QCOMPARE(modal.shownCount, 1);
  }

  QStringList run(const QString &db, const QString &file) {
    MessageRecorder messages;
    form->SqlFiles->RunFile(db, file);
    QStringList texts = messages.texts();
    if (!texts.isEmpty() && texts.first().startsWith(QStringLiteral("Die SQL-Datei")))
      texts.removeFirst();
    return texts;
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    QVERIFY(folder.isValid());
    admin = std::make_unique<AdminConnection>();
    LoadRealClientLibrary();
    for (const QString &db : {Source, Copy, Other, Runs})
      admin->dropDatabase(db);
    admin->exec("CREATE DATABASE " + Other);
    admin->exec("CREATE TABLE " + Other + ".ref (id INT PRIMARY KEY)");
    admin->exec("CREATE DATABASE " + Source);
    admin->exec("USE " + Source);
    for (const char *statement :
         {"CREATE SEQUENCE folge",
          "CREATE TABLE `a``b` (id INT NOT NULL AUTO_INCREMENT, `it's` VARCHAR(40) NOT NULL "
          "DEFAULT 'x''y' COMMENT 'Größe \xF0\x9F\x98\x80', `mit blank` TEXT, code CHAR(8), "
          "doppelt INT AS (partner * 2) VIRTUAL, gespeichert INT AS (fremd + 1) STORED, "
          "ort POINT NOT NULL, fremd INT, partner INT, PRIMARY KEY (id), "
          "UNIQUE KEY zusammen (code, `it's`(10)), KEY `präfix` (`mit blank`(20)), "
          "FULLTEXT KEY volltext (`mit blank`), SPATIAL KEY lage (ort), KEY (partner), "
          "CONSTRAINT zum_fremden FOREIGN KEY (fremd) REFERENCES qwt_sql_fremd.ref (id), "
          "CONSTRAINT `prüfung` CHECK (code <> '\xF0\x9F\x98\x80')) COMMENT 'Tabelle'",
          "CREATE TABLE `Größe` (id INT PRIMARY KEY, back INT, bin BINARY(2) DEFAULT 0xFF00, "
          "KEY (back), CONSTRAINT `zurück` FOREIGN KEY (back) REFERENCES `a``b` (id) "
          "ON UPDATE CASCADE)",
          "ALTER TABLE `a``b` ADD CONSTRAINT zum_partner FOREIGN KEY (partner) REFERENCES "
          "`Größe` (id) ON DELETE SET NULL",
          "CREATE VIEW `z sicht` AS SELECT id, `it's` FROM `a``b`",
          "CREATE VIEW `a sicht` AS SELECT id FROM `z sicht` WHERE `it's` <> "
          "'\xF0\x9F\x98\x80'",
          "CREATE TRIGGER vorher BEFORE INSERT ON `a``b` FOR EACH ROW SET NEW.code = "
          "'ä\xF0\x9F\x98\x80' -- Kommentar \xF0\x9F\x98\x80",
          "CREATE TRIGGER `vorher 2` BEFORE INSERT ON `a``b` FOR EACH ROW PRECEDES vorher "
          "SET NEW.`it's` = 'b;;'",
          "CREATE FUNCTION `zähle`(x INT) RETURNS INT DETERMINISTIC RETURN x + 1 /* "
          "\xF0\x9F\x98\x80 */",
          "CREATE PROCEDURE `tu es`() BEGIN SELECT 1; SELECT ';;'; END",
          "SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES'",
          "CREATE PROCEDURE pfad() SELECT 'C:\\', ';;'", "SET SESSION sql_mode = DEFAULT",
          "CREATE EVENT `täglich` ON SCHEDULE EVERY 1 DAY STARTS '2030-01-01 00:00:00' "
          "DISABLE DO DELETE FROM `Größe`"})
      admin->exec(QString::fromUtf8(statement));
    admin->exec("CREATE DATABASE " + Copy);
    form = OpenMainForm(true);
    QVERIFY(form->connected());
  }
  void cleanupTestCase() {
    CloseMainForm(form);
    if (admin)
      for (const QString &db : {Source, Copy, Other, Runs})
        admin->dropDatabase(db);
  }

  void exportLoadExportReproducesTheStructure() {
    const QString first = path("quelle.sql"), second = path("ziel.sql");
    exportStructure(Source, first);
    QCOMPARE(run(Copy, first), QStringList());
    exportStructure(Copy, second);
    QByteArray expected = ReadAll(first);
    QVERIFY(expected.contains("CREATE TABLE `a``b`"));
    QCOMPARE(ReadAll(second), expected.replace(Source.toUtf8(), Copy.toUtf8()));
    QCOMPARE(Described(*admin, Copy), Described(*admin, Source));
  }

  void exportOfATableHoldsItAndItsTriggers() {
    // The file is replaced, never written through a link in its place.
    const QString file = path("tabelle.sql"), elsewhere = path("anderswo.txt");
    Write(elsewhere, "bleibt");
    QVERIFY(QFile::link(elsewhere, file));
    exportStructure(Source, file, {"a`b"});
    QCOMPARE(ReadAll(elsewhere), QByteArray("bleibt"));
    QVERIFY(!QFileInfo(file).isSymLink());
    const QByteArray text = ReadAll(file);
    QVERIFY(text.contains("CREATE TABLE `a``b`") && text.contains("TRIGGER vorher") &&
            text.contains("TRIGGER `vorher 2`"));
    QVERIFY(!text.contains("CREATE TABLE `Gr") && !text.contains("VIEW") &&
            !text.contains("FUNCTION"));
    // A table gone meanwhile: said so, and no file.
    MessageRecorder messages;
    exportStructure(Source, path("weg.sql"), {"weg"});
    QCOMPARE(messages.texts(), QStringList{"„weg“ gibt es in der Datenbank „qwt_sql_quelle“ nicht "
                                           "mehr. Es wurde keine Datei geschrieben."});
    QVERIFY(!QFile::exists(path("weg.sql")));
  }

  void failedStatementIsNamedAndNothingAfterItRuns() {
    admin->makeDatabase(Runs);
    const QString file = path("drei.sql");
    admin->startQueryLog();
    Write(file, "SET SESSION foreign_key_checks = 0, sql_mode = 'ANSI_QUOTES';\n"
                "SET NAMES latin1;\n"
                "-- the third one fails\n"
                "CREATE TABLE nicht_da.eins (i INT);\n"
                "CREATE TABLE vier (i INT);\n"
                "CREATE TABLE `fünf` (i INT);\n");
    const QStringList shown = run(Runs, file);
    admin->stopQueryLog();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith(
                 "Anweisung 3 (ab Zeile 4) ist fehlgeschlagen:\nFehler 1049: Unknown database "
                 "'nicht_da'\n\nSie beginnt so:\nCREATE TABLE nicht_da.eins (i INT)\n\n"),
             qPrintable(shown.first()));
    QVERIFY(shown.first().endsWith(
        "Ausgeführt wurden die Anweisungen 1 bis 2; Anweisung 3 und alle folgenden nicht."));
    QCOMPARE(admin->tables(Runs), QStringList());
    // The four after the change of sql_mode went to the server in one request.
    const QStringList log = admin->statementsOf(form->Session->connectionId());
    QCOMPARE(log.filter(QStringLiteral("CREATE TABLE vier")).size(), 1);
    QVERIFY(log.filter(QStringLiteral("CREATE TABLE vier")).first().startsWith("SET NAMES"));
    // What the file set does not stay for the program's own statements.
    const QueryResult now = form->Session->query(
        QStringLiteral("Test"), QStringLiteral("SELECT @@foreign_key_checks, "
                                               "@@character_set_client, @@sql_mode LIKE '%ANSI%'"));
    QCOMPARE(now.texts().value(0), (QStringList{"1", "utf8mb4", "0"}));
  }

  void runReportsWhatRan_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("tables");
    QTest::newRow("CALL answers with several results, counted as one statement")
        << QByteArray("DELIMITER //\nCREATE PROCEDURE p() BEGIN SELECT 1; SELECT 2; END//\n"
                      "DELIMITER ;\nCALL p();\nCREATE TABLE eins (i INT);\n"
                      "CREATE TABLE eins (i INT);\nCREATE TABLE zwei (i INT);\n")
        << "Anweisung 4 (ab Zeile 6) ist fehlgeschlagen:\nFehler 1050: Table 'eins' already "
           "exists\n\nSie beginnt so:\nCREATE TABLE eins (i INT)\n\nAusgeführt wurden die "
           "Anweisungen 1 bis 3; Anweisung 4 und alle folgenden nicht."
        << QStringList{"eins"};
    QTest::newRow("file cut in a string")
        << QByteArray("CREATE TABLE eins (i INT);\nCREATE TABLE `zwei (i INT);\n")
        << "Die Datei endet mitten in Anweisung 2 (ab Zeile 2): ein Name in `...` ist nicht "
           "geschlossen; die Anweisung wurde nicht gesendet.\n\nAusgeführt wurde nur Anweisung "
           "1; Anweisung 2 und alle folgenden nicht."
        << QStringList{"eins"};
  }
  void runReportsWhatRan() {
    QFETCH(QByteArray, script);
    QFETCH(QString, message);
    QFETCH(QStringList, tables);
    admin->makeDatabase(Runs);
    Write(path("skript.sql"), script);
    QCOMPARE(run(Runs, path("skript.sql")), QStringList{message});
    QCOMPARE(admin->tables(Runs), tables);
  }

  // A client library that cannot send several statements in a request
  // (here, one without the entry points) sends one at a time, and frees
  // every result it reads.
  void oneStatementPerRequestWithoutMultiStatements() {
    CloseMainForm(form);
    QCOMPARE(LoadClientLibraryFile(QW_FAKE_COMPLETE_LIB), ClientLibraryState::Complete);
    const auto real = qScopeGuard([&] {
      CloseMainForm(form);
      LoadRealClientLibrary();
      form = OpenMainForm(true);
    });
    form = OpenMainForm(true);
    QVERIFY(form->connected());
    admin->makeDatabase(Runs);
    Write(path("einzeln.sql"), "SELECT 1;\nCREATE TABLE eins (i INT);\nSHOW TABLES;\n"
                               "CREATE TABLE eins (i INT);\nCREATE TABLE zwei (i INT);\n");
    FakeResetCounts();
    const QStringList shown = run(Runs, path("einzeln.sql"));
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith("Anweisung 4 (ab Zeile 4) ist fehlgeschlagen:"),
             qPrintable(shown.first()));
    QCOMPARE(admin->tables(Runs), QStringList{"eins"});
    QCOMPARE(FakeResultsOut(), FakeResultsFreed());
  }

  void cancelEndsTheRun() {
    admin->makeDatabase(Runs);
    const QString file = path("gesperrt.sql");
    Write(file, "CREATE TABLE erst (i INT);\nINSERT INTO gesperrt VALUES (1);\n"
                "CREATE TABLE danach (i INT);\n");
    admin->exec("CREATE TABLE " + Runs + ".gesperrt (i INT)");
    admin->exec("LOCK TABLES " + Runs + ".gesperrt WRITE");
    const auto unlock = qScopeGuard([&] { admin->exec(QStringLiteral("UNLOCK TABLES")); });
    CancelProgress cancel;
    QElapsedTimer clock;
    clock.start();
    const QStringList shown = run(Runs, file);
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(shown, QStringList{"Abgebrochen. Ausgeführt wurde nur Anweisung 1; Anweisung 2 und "
                                "alle folgenden nicht."});
    QCOMPARE(admin->tables(Runs), (QStringList{"erst", "gesperrt"}));
  }
};

QTEST_MAIN(SqlFilesTest)
#include "tst_sql_files.moc"
