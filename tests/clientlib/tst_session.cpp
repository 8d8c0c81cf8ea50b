// The session's typed operations against the private server, without a
// window: what each gives back, and what it did on the server, read back
// through a connection of the test's own.
#include "clientlib/Listings.h"
#include "clientlib/Statements.h"
#include "tests/support/TestSupport.h"

namespace {
const QString Db = QStringLiteral("qwt_session");
} // namespace

class SessionTest : public QObject {
  Q_OBJECT

  std::unique_ptr<AdminConnection> admin;
  std::unique_ptr<ServerSession> session;

  // A new session through the given client library (the real one when empty).
  void connect(const QString &library = {}) {
    session.reset();
    if (!library.isEmpty())
      QCOMPARE(LoadClientLibraryFile(qPrintable(library)), ClientLibraryState::Complete);
    session = std::make_unique<ServerSession>();
    session->setEndpoint(
        {TestServer::host(), TestServer::port(), TestServer::user(), {}, 10, 0, {}});
    QCOMPARE(session->connect({}, {}).step, ServerSession::ConnectStep::Connected);
    QVERIFY(SelectDatabase(*session, Db).ok);
  }

  static void RealAndFakeLibrary() {
    QTest::addColumn<QString>("library");
    QTest::newRow("real library") << QString();
    QTest::newRow("fake library") << QStringLiteral(QW_FAKE_COMPLETE_LIB);
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    LoadRealClientLibrary();
    admin = std::make_unique<AdminConnection>();
  }
  void init() {
    admin->makeDatabase(Db, {"t"});
    connect();
  }
  void cleanup() {
    session.reset();
    LoadRealClientLibrary();
  }
  void cleanupTestCase() {
    if (admin)
      admin->dropDatabase(Db);
  }

  void connectAndClose() {
    const ConnectionFacts facts = ReadConnectionFacts(*session);
    QCOMPARE(facts.characterSet, QStringLiteral("utf8mb4"));
    QVERIFY(facts.serverVersion.contains(QLatin1String("MariaDB")));
    QCOMPARE(QString::number(session->connectionId()),
             session->query({}, QStringLiteral("SELECT CONNECTION_ID()")).text(0, 0));
    session->close({});
    QVERIFY(!session->connected());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, session->escape(QStringLiteral("x")));
  }

  void queryResults_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QList<QueryCell>>("row"); // the first row, if any
    QTest::addColumn<unsigned>("refusal");     // the server's error number, 0 for none
    QTest::newRow("cells") << "SELECT 1 AS eins, NULL AS nichts, '' AS leer, 'Größe' AS text"
                           << QStringList{"eins", "nichts", "leer", "text"}
                           << QList<QueryCell>{QByteArray("1"), std::nullopt, QByteArray(""),
                                               QByteArray("Größe")}
                           << 0u;
    QTest::newRow("bytes as sent") << "SELECT _binary 0xFF0041 AS b" << QStringList{"b"}
                                   << QList<QueryCell>{QByteArray("\xff\0A", 3)} << 0u;
    QTest::newRow("no result") << "INSERT INTO t VALUES (1), (2)" << QStringList{}
                               << QList<QueryCell>{} << 0u;
    QTest::newRow("refused") << "SELECT * FROM fehlt" << QStringList{} << QList<QueryCell>{}
                             << 1146u;
    // One statement is one statement, also after a batch switched that off and on.
    QTest::newRow("two statements")
        << "SELECT 1; DROP TABLE t" << QStringList{} << QList<QueryCell>{} << 1064u;
  }
  void queryResults() {
    QFETCH(QString, statement);
    QFETCH(QStringList, columns);
    QFETCH(QList<QueryCell>, row);
    QFETCH(unsigned, refusal);
    QVERIFY(session->batch({}, {QStringLiteral("SELECT 1"), QStringLiteral("SELECT 2")}).ok());
    const QueryResult result = session->query({}, statement);
    QCOMPARE(result.reply.errorNumber, refusal);
    QCOMPARE(result.ok(), refusal == 0);
    QCOMPARE(result.columns, columns);
    QVERIFY(result.rows.value(0) == row);
    if (statement.startsWith(QLatin1String("INSERT")))
      QCOMPARE(result.affectedRows, 2u);
    QCOMPARE(admin->tables(Db), QStringList{"t"});
  }

  // Through the real library in one request, and one by one through the fake
  // library, which lacks the calls for that.
  void batchRunsEachStatementUntilOneIsRefused_data() { RealAndFakeLibrary(); }
  void batchRunsEachStatementUntilOneIsRefused() {
    QFETCH(QString, library);
    if (!library.isEmpty())
      connect(library);
    const BatchResult done = session->batch(
        {}, {QStringLiteral("CREATE TABLE b1 (id INT) -- am Ende"),
             QStringLiteral("INSERT INTO b1 VALUES (7)"), QStringLiteral("SELECT id FROM b1")});
    QVERIFY2(done.ok(), qPrintable(done.reply.error));
    QCOMPARE(done.results.size(), 3);
    QCOMPARE(done.results[1].affectedRows, 1u);
    QCOMPARE(done.results[2].texts(), QList<QStringList>{{"7"}});

    const BatchResult refused = session->batch({}, {QStringLiteral("CREATE TABLE b2 (id INT)"),
                                                    QStringLiteral("SELECT * FROM fehlt"),
                                                    QStringLiteral("CREATE TABLE b3 (id INT)")});
    QCOMPARE(refused.failed, 1);
    QCOMPARE(refused.reply.errorNumber, 1146u);
    QCOMPARE(refused.results.size(), 1);
    QCOMPARE(admin->tables(Db), (QStringList{"b1", "b2", "t"}));
    QVERIFY(session->batch({}, {}).ok());
    // The connection goes on as before.
    QCOMPARE(session->query({}, QStringLiteral("SELECT COUNT(*) FROM b1")).text(0, 0), "1");
  }

  // What escape gives reaches the server as the value itself, whatever its mode.
  void escapeFollowsTheServersMode_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("backslash escapes") << QString();
    QTest::newRow("no backslash escapes") << QStringLiteral("NO_BACKSLASH_ESCAPES");
  }
  void escapeFollowsTheServersMode() {
    QFETCH(QString, mode);
    QVERIFY(session->query({}, QStringLiteral("SET sql_mode = '%1'").arg(mode)).ok());
    const QString value = QStringLiteral("it's \\ a \"b\"\n\r\t%_ äß ") + QChar(0) + QChar(0x1a);
    const QueryResult back =
        session->query({}, QStringLiteral("SELECT '%1'").arg(session->escape(value)));
    QVERIFY2(back.ok(), qPrintable(back.reply.error));
    QCOMPARE(back.text(0, 0), value);
  }

  void listingByPosition() {
    admin->exec(QStringLiteral(
        "CREATE TABLE qwt_session.`schlüssel` (id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY "
        "KEY, code VARCHAR(20) UNIQUE, kunde INT, preis DECIMAL(10,2), notiz TEXT, "
        "KEY (kunde), KEY (code, kunde))"));
    const Listing databases = ReadListing(*session, {}, std::nullopt, std::nullopt);
    QVERIFY(databases.databases && !databases.tables);
    QStringList names;
    for (qsizetype i = 0; i < databases.databases->size(); ++i)
      names << databases.databases->text(i);
    QCOMPARE(names, admin->databases());

    const int db = int(names.indexOf(Db));
    const Listing tables = ReadListing(*session, {}, db, std::nullopt);
    QCOMPARE(tables.tables->size(), 2);
    const int table = tables.tables->text(0) == QLatin1String("t") ? 1 : 0;
    QCOMPARE(tables.tables->text(table), QStringLiteral("schlüssel"));
    const QList<ListedField> fields = *ReadListing(*session, {}, db, table).fields;
    QCOMPARE(fields.size(), 5);
    QVERIFY(fields.first() == (ListedField{"id", "LONG (10,0) PRIMARY"}));
    QCOMPARE(fields[1].type, QStringLiteral("VAR STRING (80,0) UNIQUE KEY"));
    QCOMPARE(fields[2].type, QStringLiteral("LONG (11,0) KEY"));
    QCOMPARE(fields[3].type, QStringLiteral("NEWDECIMAL (12,2)"));
    QVERIFY(fields[4].type.startsWith(QLatin1String("BLOB (")));
  }

  // Nothing is sent unless the object is still the one shown.
  void checksBeforeSending() {
    const QString drop = QStringLiteral("DROP TABLE t");
    const QList<ListedField> shown{{"id", "LONG (11,0)"}};
    admin->exec(QStringLiteral("ALTER TABLE qwt_session.t ADD neu INT"));
    CheckedSend sent = SelectCheckAndSend(*session, {}, Db, drop, TableFieldsStill{"t", shown});
    QVERIFY(sent.select.ok && !sent.holds && sent.send.ok);
    QCOMPARE(admin->tables(Db), QStringList{"t"});

    const ColumnReading read = ReadColumnFacts(*session, {}, Db, "t", "neu");
    QVERIFY(read.reply.ok && read.facts && read.facts->columnType == QLatin1String("int(11)"));
    admin->exec(QStringLiteral("ALTER TABLE qwt_session.t MODIFY neu BIGINT"));
    sent = SelectCheckAndSend(*session, {}, Db, drop, ColumnStill{Db, "t", "neu", *read.facts});
    QVERIFY(!sent.holds);
    QVERIFY(!ReadColumnFacts(*session, {}, Db, "t", "fehlt").facts);

    sent = SelectCheckAndSend(*session, {}, QStringLiteral("qwt_fehlt"), drop);
    QCOMPARE(sent.select.errorNumber, 1049u);
    QCOMPARE(admin->tables(Db), QStringList{"t"});
    // While the list shows no fields, the table being there is enough.
    sent = SelectCheckAndSend(*session, {}, Db, drop, TableFieldsStill{"t", {}});
    QVERIFY(sent.holds && sent.send.ok);
    QCOMPARE(admin->tables(Db), QStringList{});
  }

  // With the statement, and with the old entry points of the fake library.
  void createAndDropDatabase_data() { RealAndFakeLibrary(); }
  void createAndDropDatabase() {
    QFETCH(QString, library);
    if (!library.isEmpty())
      connect(library);
    const QString name = QStringLiteral("qwt_neu`, x");
    admin->dropDatabase(name);
    QVERIFY(CreateDatabase(*session, name).ok);
    QVERIFY(admin->databases().contains(name));
    QCOMPARE(CreateDatabase(*session, name).errorNumber, 1007u);
    QVERIFY(DropDatabase(*session, name).ok);
    QVERIFY(!admin->databases().contains(name));
    if (library.isEmpty())
      return;
    FakeFailCalls("mysql_create_db");
    QCOMPARE(CreateDatabase(*session, name).error,
             QStringLiteral("Fake failure of mysql_create_db"));
    FakeFailCalls("");
    QVERIFY(!admin->databases().contains(name));
  }
};

QTEST_MAIN(SessionTest)
#include "tst_session.moc"
