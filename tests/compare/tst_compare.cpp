// The schema comparison against the private server. For each pair of
// schemas: what may lose data is marked so, the script without it keeps
// every column and value of B, the whole script makes B equal to A (comparing
// again finds nothing), and B's data in the columns that stay is unchanged.
#include "app/mysql_test_main.h"
#include "clientlib/SchemaCalls.h"
#include "common/WaitWindow.h"
#include "compare/CompareCommand.h"
#include "compare/CompareForm.h"
#include "compare/ComparisonRun.h"
#include "compare/FileIntoTemporary.h"
#include "compare/SchemaCompare.h"
#include "compare/SqlScan.h"
#include "connection/SavedConnections.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace {

// Hostile on purpose: every statement must quote them.
const QString DbA = QStringLiteral("qwt vgl`A 'ä'");
const QString DbB = QStringLiteral("qwt vgl`B");

// A table of every kind the server knows, a cycle of foreign keys, views on
// views and a trigger with semicolons in its body.
const QStringList Everything{
    "CREATE TABLE kunde (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, name VARCHAR(60) NOT NULL "
    "DEFAULT 'it''s \\\\ „ä“' COMMENT 'Name 😀', email VARCHAR(100) CHARACTER SET latin1 COLLATE "
    "latin1_bin, punkte DECIMAL(8,2) UNSIGNED DEFAULT 0.5 CHECK (punkte < 1000), geburt DATE, "
    "geaendert TIMESTAMP NOT NULL DEFAULT current_timestamp() ON UPDATE current_timestamp(), "
    "doppelt DECIMAL(9,2) AS (punkte * 2) VIRTUAL, versteckt INT INVISIBLE, notiz TEXT, ort POINT "
    "NOT NULL, status ENUM('neu','alt') NOT NULL DEFAULT 'neu', UNIQUE KEY u_mail (email(20), "
    "name DESC), KEY i_name (name), FULLTEXT KEY ft (notiz), SPATIAL KEY sp (ort), CONSTRAINT "
    "c_name CHECK (name <> '')) COMMENT='Kunden ü'",
    "CREATE TABLE henne (id INT PRIMARY KEY, ei_id INT, KEY (ei_id))",
    "CREATE TABLE ei (id INT PRIMARY KEY, henne_id INT, CONSTRAINT ei_henne FOREIGN KEY "
    "(henne_id) REFERENCES henne (id) ON DELETE CASCADE)",
    "ALTER TABLE henne ADD CONSTRAINT henne_ei FOREIGN KEY (ei_id) REFERENCES ei (id)",
    "CREATE VIEW v1 AS SELECT id, name FROM kunde WHERE id > 0 WITH CHECK OPTION",
    "CREATE VIEW v2 AS SELECT v1.name, henne.id FROM v1 JOIN henne ON henne.id = v1.id",
    "CREATE TRIGGER tr_kunde BEFORE INSERT ON kunde FOR EACH ROW BEGIN SET NEW.name = "
    "TRIM(NEW.name); SET NEW.notiz = 'x;y'; END",
};

const QString Small = QStringLiteral(
    "CREATE TABLE t (id INT NOT NULL PRIMARY KEY, a INT, b VARCHAR(20), c TEXT, d DATETIME, "
    "e VARCHAR(10) CHARACTER SET latin1, f VARCHAR(10), g INT, KEY i_a (a))");
const QString SmallRows = QStringLiteral(
    "INSERT INTO t VALUES (1, 10, 'eins', 'ä 😀', '2020-01-02 03:04:05', 'x', 'f', 7), "
    "(2, NULL, 'zwei', NULL, NULL, NULL, NULL, NULL)");

// One column's values of every row, as text, for comparing before and after.
using Values = QMap<QString, QMap<QString, QStringList>>; // table → column (folded) → values

} // namespace

class CompareTest : public QObject {
  Q_OBJECT

  std::unique_ptr<AdminConnection> admin;
  std::unique_ptr<ServerSession> session;
  QTemporaryDir files;

  void make(const QString &database, const QStringList &statements) {
    admin->dropDatabase(database);
    admin->exec(QStringLiteral("CREATE DATABASE ") + QuoteName(database));
    admin->exec(QStringLiteral("USE ") + QuoteName(database));
    for (const QString &statement : statements)
      admin->exec(statement);
  }

  SchemaModel model(const QString &database) {
    const SchemaRows rows = ReadSchemaRows(*session, database);
    if (!rows.reply.ok)
      qWarning("reading %s: %s", qPrintable(database), qPrintable(rows.reply.error));
    return BuildSchemaModel(database, rows);
  }

  // What the server holds of temporary comparison databases and connections.
  QStringList leftBehind() {
    return admin->column(
        QStringLiteral("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME "
                       "LIKE 'qw\\_vergleich\\_%'"));
  }
  // Logged-in connections only: the server may still list a probe's
  // connection that has already hung up before its login.
  int connections() {
    return admin
        ->column(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST "
                                "WHERE USER <> 'unauthenticated user'"))
        .value(0)
        .toInt();
  }
  // Writes an SQL file into the test's folder.
  QString sqlFile(const QString &name, const QStringList &statements) {
    const QString path = files.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(statements.join(QStringLiteral(";\n")).toUtf8() + ";\n") < 0)
      qWarning("cannot write %s", qPrintable(path));
    return path;
  }
  // Chooses the source of the other side in the source window.
  static void choose(TCompareSourceForm &source, int tab, const QString &item) {
    source.Sources->setCurrentIndex(tab);
    if (tab == 2) {
      source.FileEd->setText(item);
      return;
    }
    QTreeWidget *list = tab == 1 ? source.ConnectionList : source.DatabaseList;
    list->setCurrentItem(list->findItems(item, Qt::MatchExactly).value(0));
  }

  Values values(const QString &database) {
    Values all;
    for (const QString &table :
         admin->column(QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES WHERE "
                                      "TABLE_SCHEMA = %1 AND TABLE_TYPE = 'BASE TABLE'")
                           .arg(QuoteLiteral(database))))
      for (const QString &column : admin->columnNames(database, table)) {
        QStringList cells =
            admin->column(QStringLiteral("SELECT CONCAT('=', %1) FROM %2.%3")
                              .arg(QuoteName(column), QuoteName(database), QuoteName(table)));
        cells.sort();
        all[table.toLower()][column.toLower()] = cells;
      }
    return all;
  }

  static QString describe(const SchemaComparison &c) {
    QStringList lines;
    for (const SchemaDifference &d : c.differences)
      lines << QStringLiteral("%1 %2: A=%3 B=%4").arg(d.object, d.detail, d.inA, d.inB);
    for (const ComparisonStatement &s : BuildScript(c, QList<bool>(c.steps.size(), true)))
      lines << s.text;
    return lines.join(QLatin1Char('\n'));
  }

  // Runs the steps that `choose` picks; the run must complete.
  void apply(const SchemaComparison &c, const std::function<bool(const ScriptStep &)> &choose) {
    QList<bool> chosen;
    for (const ScriptStep &step : c.steps)
      chosen << choose(step);
    const QList<ComparisonStatement> script = BuildScript(c, chosen);
    JobProgress progress;
    const ComparisonRun run = RunComparison(*session, c, script, progress);
    QVERIFY2(run.complete(), qPrintable(ComparisonRunReport(run, c, script) + "\n" + describe(c)));
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    admin = std::make_unique<AdminConnection>();
    LoadRealClientLibrary();
    session = std::make_unique<ServerSession>();
    session->setEndpoint(
        {TestServer::host(), TestServer::port(), TestServer::user(), {}, 10, 0, {}});
    QCOMPARE(session->connect(QStringLiteral("Verbinde ..."), {}).step,
             ServerSession::ConnectStep::Connected);
  }
  void cleanupTestCase() {
    SetSavedConnectionsProgramDirectory({});
    session.reset();
    if (admin) {
      admin->dropDatabase(DbA);
      admin->dropDatabase(DbB);
    }
  }

  // What may lose data: from B's column type to A's.
  void lossMarking_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("loses");
    const auto row = [](const char *from, const char *to, bool loses) {
      QTest::addRow("%s -> %s", from, to) << QString(from) << QString(to) << loses;
    };
    row("int(11)", "bigint(20)", false);
    row("bigint(20)", "int(11)", true);
    row("int(10) unsigned", "int(11)", true);
    row("int(11)", "int(10) unsigned", true);
    row("int(10) unsigned", "bigint(20)", false);
    row("varchar(20)", "varchar(10)", true);
    row("char(10)", "varchar(10)", false);
    row("varchar(10)", "char(10)", true);
    row("varchar(100)", "text", false);
    row("text", "varchar(100)", true);
    row("decimal(10,2)", "decimal(12,2)", false);
    row("decimal(10,2)", "decimal(10,3)", true);
    row("enum('a','b')", "enum('a','b','c')", false);
    row("enum('a','b')", "enum('b','a')", true);
    row("datetime", "date", true);
    row("datetime", "datetime(3)", false);
    row("float", "double", false);
    row("double", "float", true);
  }
  void lossMarking() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, loses);
    ColumnModel b, a;
    b.type = from;
    a.type = to;
    QCOMPARE(MayLoseData(b, a), loses);
  }

  // Spellings that the servers treat alike are no difference: widths of
  // integer types on MySQL 8, the AUTO_INCREMENT counter, a character set
  // spelled out or left to the table's default, the letter case of table
  // names where the server ignores it.
  void sameForTheServer_data() {
    QTest::addColumn<QStringList>("a"); // version, lower_case_table_names, table, CREATE TABLE
    QTest::addColumn<QStringList>("b");
    QTest::addColumn<int>("differences");
    const QString intA = "CREATE TABLE `t` (\n  `id` int NOT NULL\n) ENGINE=InnoDB";
    const QString intB = "CREATE TABLE `t` (\n  `id` int(11) NOT NULL\n) ENGINE=InnoDB";
    QTest::newRow("integer widths") << QStringList{"8.0.36", "0", "t", intA}
                                    << QStringList{"10.11.6-MariaDB", "0", "t", intB} << 0;
    QTest::newRow("integer widths kept") << QStringList{"8.0.18", "0", "t", intA}
                                         << QStringList{"10.11.6-MariaDB", "0", "t", intB} << 1;
    QTest::newRow("counter") << QStringList{"10.11.6-MariaDB", "0", "t",
                                            intB + " AUTO_INCREMENT=57 DEFAULT CHARSET=latin1"}
                             << QStringList{"10.11.6-MariaDB", "0", "t",
                                            intB + " DEFAULT CHARSET=latin1"}
                             << 0;
    QTest::newRow("letter case ignored")
        << QStringList{"10.11.6-MariaDB", "1", "kunden", intB}
        << QStringList{"10.11.6-MariaDB", "2", "Kunden", intB} << 0;
    QTest::newRow("letter case counts") << QStringList{"10.11.6-MariaDB", "0", "kunden", intB}
                                        << QStringList{"10.11.6-MariaDB", "0", "Kunden", intB} << 2;
    QTest::newRow("character set spelled out")
        << QStringList{"10.11.6-MariaDB", "0", "t",
                       "CREATE TABLE `t` (\n  `c` varchar(9) DEFAULT NULL\n) DEFAULT "
                       "CHARSET=latin1"}
        << QStringList{"10.11.6-MariaDB", "0", "t",
                       "CREATE TABLE `t` (\n  `c` varchar(9) CHARACTER SET latin1 COLLATE "
                       "latin1_swedish_ci DEFAULT NULL\n) DEFAULT CHARSET=latin1"}
        << 0;
  }
  void sameForTheServer() {
    QFETCH(QStringList, a);
    QFETCH(QStringList, b);
    QFETCH(int, differences);
    const auto modelOf = [](const QStringList &side) {
      SchemaRows rows;
      rows.serverVersion = side[0];
      rows.lowerCaseTableNames = side[1].toInt();
      rows.tables = {{side[2], "BASE TABLE", "InnoDB", "latin1_swedish_ci", ""}};
      const bool text = side[3].contains("varchar");
      rows.columns = {{side[2], text ? "c" : "id", text ? "varchar(9)" : side[3].section(' ', 5, 5),
                       "YES", QString(), "", text ? "latin1" : QString(),
                       text ? "latin1_swedish_ci" : QString(), ""}};
      rows.createStatements.insert(side[2], side[3]);
      return BuildSchemaModel("d", rows);
    };
    const SchemaComparison c = CompareSchemas(modelOf(a), modelOf(b));
    QVERIFY2(c.differences.size() == differences, qPrintable(describe(c)));
  }

  // A's own objects named in B's database, in SQL as the server writes it:
  // not in strings or comments, not an alias that is spelled like the database.
  void requalify_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::newRow("columns and tables") << "select `a`.`t`.`x` AS `x` from `a`.`t`"
                                        << "select `b``c`.`t`.`x` AS `x` from `b``c`.`t`";
    QTest::newRow("string") << "select '`a`.`t`' from `a`.`v`"
                            << "select '`a`.`t`' from `b``c`.`v`";
    QTest::newRow("comments") << "-- it's `a`.`t`\nset @x = (select 1 from `a`.`t`) # `a`.`t`"
                              << "-- it's `a`.`t`\nset @x = (select 1 from `b``c`.`t`) # `a`.`t`";
    QTest::newRow("alias") << "select `a`.`spalte` from `a`.`t` `a`"
                           << "select `a`.`spalte` from `b``c`.`t` `a`";
    QTest::newRow("function") << "select `a`.`f`(1)"
                              << "select `b``c`.`f`(1)";
  }
  void requalify() {
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    const auto objects = [](const QString &name, QChar followedBy) {
      return followedBy == '.' || followedBy == '(' || name == "t" || name == "v";
    };
    QCOMPARE(SqlScan::Requalify(sql, "a", "b`c", objects), expected);
  }

  // What of a file runs while it is loaded for a comparison, read as the
  // server reads it: dumps load, nothing else runs, and a statement that
  // would reach another database (however it is written) stops the load.
  void loadVerdict_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("backslashEscapes");
    QTest::addColumn<QString>("verdict"); // run, alone, skip, or what the refusal says
    const auto row = [](const char *name, const QString &statement, const QString &verdict,
                        bool escapes = true) {
      QTest::newRow(name) << statement << escapes << verdict;
    };
    row("session mode", "SET @@session.sql_mode = 'ANSI'", "run");
    row("temporary", "CREATE OR REPLACE TEMPORARY TABLE IF NOT EXISTS x (a INT)", "run");
    row("sequence", "CREATE SEQUENCE s", "run");
    row("transaction", "BEGIN", "run");
    row("dumped trigger",
        "/*!50003 CREATE*/ /*!50017 DEFINER=`root`@`localhost`*/ /*!50003 TRIGGER tr BEFORE "
        "INSERT ON t FOR EACH ROW BEGIN SET NEW.a = 1; END */",
        "alone");
    row("names in strings and comments",
        "CREATE TABLE t (a INT COMMENT 'production.users') /* production.users */", "run");
    row("routine", "CREATE DEFINER=view@x PROCEDURE p() DROP TABLE production.users", "skip");
    row("event", "CREATE EVENT e ON SCHEDULE EVERY 1 SECOND DO DROP TABLE t", "skip");
    row("block", "BEGIN NOT ATOMIC DROP TABLE t; END", "skip");
    row("statement", "SET STATEMENT max_statement_time = 1 FOR DROP TABLE t", "skip");
    row("qualified", "DROP TABLE IF EXISTS t, production.users",
        "betrifft die Datenbank „production“");
    row("in an executable comment", "CREATE VIEW v AS SELECT 1 FROM /*!50001 production*/.users",
        "betrifft die Datenbank „production“");
    row("in ANSI quotes", "ALTER TABLE t RENAME TO \"production\".t",
        "betrifft die Datenbank „production“");
    row("without backslash escapes",
        "ALTER TABLE t COMMENT 'x\\', RENAME TO production.t, COMMENT 'y\\'",
        "betrifft die Datenbank „production“", false);
    row("string past a versioned comment", "RENAME TABLE t /*!50701 ' */ TO production.t /* ' */",
        "nicht eindeutig");
    row("later version", "/*M!999999\\- enable the sandbox mode */ SET @a = 1", "run");
    row("later version's code", "/*!110000 DROP TABLE production.t */ DROP TABLE t", "run");
    row("backslash in double quotes", "CREATE TABLE t (a INT) COMMENT \"x\\\" production.t \"",
        "nicht eindeutig");
    // GBK's "\xbf\x5c" is one character, not UTF-8, and ends on a backslash.
    row("another character set",
        "ALTER TABLE t COMMENT '\uFFFD\\', RENAME TO production.t, COMMENT '\uFFFD\\'",
        "nicht eindeutig");
  }
  void loadVerdict() {
    QFETCH(QString, statement);
    QFETCH(bool, backslashEscapes);
    QFETCH(QString, verdict);
    const LoadVerdict v =
        JudgeLoadedStatement(statement, backslashEscapes, {{"production", "mysql"}, 101106});
    switch (v.kind) {
    case LoadVerdict::Kind::Run: QCOMPARE(v.alone ? "alone" : "run", verdict); break;
    case LoadVerdict::Kind::Skip: QCOMPARE("skip", verdict); break;
    case LoadVerdict::Kind::Refuse: QVERIFY2(v.reason.contains(verdict), qPrintable(v.reason));
    }
  }

  // A database of many tables is read in a few requests, not one a table.
  void readsInFewRequests() {
    QW_REQUIRE_SERVER();
    QStringList tables;
    for (int i = 0; i < 60; ++i)
      tables << QStringLiteral("CREATE TABLE t%1 (id INT PRIMARY KEY)").arg(i);
    make(DbA, tables);
    const SchemaRows rows = ReadSchemaRows(*session, DbA);
    QVERIFY(rows.reply.ok);
    QCOMPARE(rows.createStatements.size(), 60);
    QVERIFY2(rows.requests <= 10, qPrintable(QString::number(rows.requests)));
  }

  void fixedPoint_data() {
    QTest::addColumn<QStringList>("a");
    QTest::addColumn<QStringList>("b");
    QTest::addColumn<QStringList>("losing"); // the titles of the steps that may lose data

    QTest::newRow("a copy of itself") << Everything << Everything << QStringList();
    QTest::newRow("everything made anew") << Everything << QStringList() << QStringList();
    QTest::newRow("everything dropped")
        << QStringList() << Everything
        << QStringList{"Tabelle „ei“ löschen", "Tabelle „henne“ löschen",
                       "Tabelle „kunde“ löschen"};
    QTest::newRow("changed columns of each kind")
        << QStringList{"CREATE TABLE t (id INT NOT NULL PRIMARY KEY, a BIGINT, b VARCHAR(30) "
                       "NOT NULL DEFAULT 'x', C TEXT COMMENT 'neu', e VARCHAR(10) CHARACTER SET "
                       "utf8mb4, f VARCHAR(10) COLLATE utf8mb4_bin, d DATETIME DEFAULT "
                       "current_timestamp() ON UPDATE current_timestamp(), g INT INVISIBLE, "
                       "KEY i_a (a))"}
        << QStringList{Small, SmallRows} << QStringList();
    QTest::newRow("added, dropped and narrowed columns")
        << QStringList{"CREATE TABLE t (id INT NOT NULL PRIMARY KEY, a TINYINT, b VARCHAR(5), "
                       "neu INT DEFAULT 3, c TEXT, d DATETIME, e VARCHAR(10) CHARACTER SET "
                       "latin1, g INT, KEY i_a (a))"}
        << QStringList{Small, SmallRows}
        << QStringList{"Spalte „a“ der Tabelle „t“ ändern (int(11) → tinyint(4))",
                       "Spalte „b“ der Tabelle „t“ ändern (varchar(20) → varchar(5))",
                       "Spalte „f“ der Tabelle „t“ löschen"};
    QTest::newRow("renamed index, changed primary key")
        << QStringList{"CREATE TABLE t (id INT NOT NULL AUTO_INCREMENT, a INT, b INT, PRIMARY KEY "
                       "(id, a), KEY neu (a, b))"}
        << QStringList{"CREATE TABLE t (id INT NOT NULL, a INT NOT NULL, b INT, PRIMARY KEY (id), "
                       "KEY alt (a, b))",
                       "INSERT INTO t VALUES (1, 2, 3)"}
        << QStringList();
    QTest::newRow("changed foreign key rule, widened key columns")
        << QStringList{"CREATE TABLE p (id BIGINT PRIMARY KEY)",
                       "CREATE TABLE c (id INT PRIMARY KEY, p_id BIGINT, CONSTRAINT c_p FOREIGN "
                       "KEY (p_id) REFERENCES p (id) ON DELETE CASCADE ON UPDATE SET NULL)"}
        << QStringList{"CREATE TABLE p (id INT PRIMARY KEY)",
                       "CREATE TABLE c (id INT PRIMARY KEY, p_id INT, CONSTRAINT c_p FOREIGN KEY "
                       "(p_id) REFERENCES p (id))",
                       "INSERT INTO p VALUES (1), (2)", "INSERT INTO c VALUES (1, 1), (2, 2)"}
        << QStringList();
    QTest::newRow("key columns moved, commented, not null")
        << QStringList{"CREATE TABLE p (id INT PRIMARY KEY, a INT)",
                       "CREATE TABLE c (id INT PRIMARY KEY, p_id INT NOT NULL COMMENT 'x', "
                       "FOREIGN KEY (p_id) REFERENCES p (id))"}
        << QStringList{"CREATE TABLE p (a INT, id INT PRIMARY KEY)",
                       "CREATE TABLE c (id INT PRIMARY KEY, p_id INT, FOREIGN KEY (p_id) "
                       "REFERENCES p (id))",
                       "INSERT INTO p VALUES (5, 1)", "INSERT INTO c VALUES (1, 1)"}
        << QStringList();
    QTest::newRow("changed engine, collation, row format, comment")
        << QStringList{"CREATE TABLE t (id INT PRIMARY KEY, s VARCHAR(10)) ENGINE=MyISAM "
                       "COLLATE=utf8mb4_bin COMMENT='neu'",
                       "CREATE TABLE r (id INT PRIMARY KEY)"}
        << QStringList{"CREATE TABLE t (id INT PRIMARY KEY, s VARCHAR(10)) ENGINE=InnoDB "
                       "ROW_FORMAT=COMPACT",
                       "CREATE TABLE r (id INT PRIMARY KEY) ROW_FORMAT=REDUNDANT",
                       "INSERT INTO t VALUES (1, 'ä')", "ALTER DATABASE CHARACTER SET latin1"}
        << QStringList();
    QTest::newRow("views changed, added, dropped, on views")
        << QStringList{"CREATE TABLE t (id INT PRIMARY KEY, s VARCHAR(10))",
                       "CREATE VIEW basis AS SELECT id, s FROM t WHERE id > 2",
                       "CREATE VIEW oben AS SELECT s FROM basis",
                       "CREATE ALGORITHM=TEMPTABLE SQL SECURITY INVOKER VIEW nur_a AS SELECT id "
                       "FROM t"}
        << QStringList{"CREATE TABLE t (id INT PRIMARY KEY, s VARCHAR(10))",
                       "CREATE VIEW basis AS SELECT id FROM t",
                       "CREATE VIEW nur_b AS SELECT * FROM basis"}
        << QStringList();
    QTest::newRow("a cycle of foreign keys on each side")
        << QStringList{"CREATE TABLE x (id INT PRIMARY KEY, y_id INT, KEY (y_id))",
                       "CREATE TABLE y (id INT PRIMARY KEY, x_id INT, FOREIGN KEY (x_id) "
                       "REFERENCES x (id))",
                       "ALTER TABLE x ADD FOREIGN KEY (y_id) REFERENCES y (id)"}
        << QStringList{"CREATE TABLE p (id INT PRIMARY KEY, q_id INT, KEY (q_id))",
                       "CREATE TABLE q (id INT PRIMARY KEY, p_id INT, FOREIGN KEY (p_id) "
                       "REFERENCES p (id))",
                       "ALTER TABLE p ADD FOREIGN KEY (q_id) REFERENCES q (id)"}
        << QStringList{"Tabelle „p“ löschen", "Tabelle „q“ löschen"};
    QTest::newRow("checks and triggers changed")
        << QStringList{"CREATE TABLE t (id INT PRIMARY KEY, n INT CHECK (n > 0), CONSTRAINT k "
                       "CHECK (n < 100))",
                       "CREATE TRIGGER t1 BEFORE INSERT ON t FOR EACH ROW SET NEW.n = 1",
                       "CREATE TRIGGER t2 BEFORE INSERT ON t FOR EACH ROW SET NEW.n = NEW.n + 1",
                       "SET SESSION sql_mode = 'ANSI_QUOTES'",
                       "CREATE TRIGGER t3 AFTER DELETE ON t FOR EACH ROW SET @x = 'a'",
                       "SET SESSION sql_mode = DEFAULT"}
        << QStringList{"CREATE TABLE t (id INT PRIMARY KEY, n INT, CONSTRAINT k CHECK (n < 50), "
                       "CONSTRAINT weg CHECK (id > 0))",
                       "CREATE TRIGGER t2 BEFORE INSERT ON t FOR EACH ROW SET NEW.n = NEW.n + 1",
                       "CREATE TRIGGER t1 BEFORE INSERT ON t FOR EACH ROW SET NEW.n = 1",
                       "CREATE TRIGGER nur_b BEFORE UPDATE ON t FOR EACH ROW SET NEW.n = 2",
                       "INSERT INTO t VALUES (1, 5)"}
        << QStringList();
    QTest::newRow("hostile names")
        << QStringList{"CREATE TABLE `a, b` (`sel``ect` INT PRIMARY KEY, `it's` VARCHAR(5), "
                       "`<b>ä ö</b>` INT, KEY `x``y` (`it's`))",
                       "CREATE TABLE `select` (id INT PRIMARY KEY, r INT, CONSTRAINT `f``k 1` "
                       "FOREIGN KEY (r) REFERENCES `a, b` (`sel``ect`))",
                       "CREATE VIEW `v``w` AS SELECT `it's` FROM `a, b`",
                       "CREATE TRIGGER `t``r` BEFORE INSERT ON `select` FOR EACH ROW SET NEW.r "
                       "= 1"}
        << QStringList{"CREATE TABLE `a, b` (`sel``ect` INT PRIMARY KEY, `<b>ä ö</b>` BIGINT, "
                       "`it's` VARCHAR(5))",
                       "CREATE TABLE `select` (id INT PRIMARY KEY, r INT)",
                       "CREATE TABLE `a` (id INT)", "CREATE TABLE `b` (id INT)",
                       "INSERT INTO `a, b` VALUES (1, 2, 'o''k')"}
        << QStringList{"Spalte „<b>ä ö</b>“ der Tabelle „a, b“ ändern (bigint(20) → int(11))",
                       "Tabelle „a“ löschen", "Tabelle „b“ löschen"};
  }
  void fixedPoint() {
    QFETCH(QStringList, a);
    QFETCH(QStringList, b);
    QFETCH(QStringList, losing);
    make(DbA, a);
    make(DbB, b);
    const Values before = values(DbB);

    const SchemaComparison first = CompareSchemas(model(DbA), model(DbB));
    if (a == b)
      QVERIFY2(first.differences.isEmpty() && first.steps.isEmpty(), qPrintable(describe(first)));
    QStringList marked;
    for (const ScriptStep &step : first.steps)
      if (step.losesData)
        marked << step.title;
    QCOMPARE(marked, losing);

    // What is chosen at first keeps every column of B and all it holds.
    apply(first, [](const ScriptStep &step) { return !step.losesData; });
    const Values kept = values(DbB);
    for (auto table = before.begin(); table != before.end(); ++table)
      for (auto column = table->begin(); column != table->end(); ++column)
        QVERIFY2(kept.value(table.key()).value(column.key()) == *column,
                 qPrintable(table.key() + "." + column.key()));

    // The rest too, then nothing is left, and what stays holds what it held.
    apply(CompareSchemas(model(DbA), model(DbB)), [](const ScriptStep &) { return true; });
    const SchemaComparison again = CompareSchemas(model(DbA), model(DbB));
    QVERIFY2(again.differences.isEmpty() && again.steps.isEmpty(), qPrintable(describe(again)));
    const Values after = values(DbB);
    for (auto table = after.begin(); table != after.end(); ++table)
      for (auto column = table->begin(); column != table->end(); ++column)
        if (before.value(table.key()).contains(column.key()))
          QVERIFY2(before[table.key()][column.key()] == *column,
                   qPrintable(table.key() + "." + column.key()));
  }

  // A statement that fails ends the run there: the report names it and the
  // server's reason, nothing after it is sent, the session's sql_mode is back.
  void runStopsAtTheFirstError() {
    QW_REQUIRE_SERVER();
    make(DbA, {"CREATE TABLE t (id INT PRIMARY KEY, a INT, UNIQUE KEY u (a))",
               "CREATE VIEW v AS SELECT a FROM t"});
    make(DbB,
         {"CREATE TABLE t (id INT PRIMARY KEY, a INT)", "INSERT INTO t VALUES (1, 5), (2, 5)"});
    const SchemaComparison c = CompareSchemas(model(DbA), model(DbB));
    const QList<ComparisonStatement> script = BuildScript(c, QList<bool>(c.steps.size(), true));
    QCOMPARE(script.size(), 2);
    const auto mode = [&] {
      return session->query({}, QStringLiteral("SELECT @@SESSION.sql_mode")).text(0, 0);
    };
    const QString before = mode();
    JobProgress progress;
    const ComparisonRun run = RunComparison(*session, c, script, progress);
    QCOMPARE(run.outcome.failed.number, 2); // after the sql_mode
    QCOMPARE(run.done(), 0);
    const QString report = ComparisonRunReport(run, c, script);
    QVERIFY2(report.startsWith("Anweisung 1 (Zeile 6 des Skripts) ist fehlgeschlagen:\n\nALTER "
                               "TABLE") &&
                 report.contains("Duplicate entry") && report.contains("0 von 2 Anweisungen"),
             qPrintable(report));
    QVERIFY(admin
                ->column("SELECT TABLE_NAME FROM information_schema.VIEWS WHERE TABLE_SCHEMA = " +
                         QuoteLiteral(DbB))
                .isEmpty());
    QCOMPARE(mode(), before);
  }

  // Through the main window: the other database is chosen, the whole script
  // is shown with what loses data left out, saved as it is shown, run only
  // after a question when data may go, and the window then compares anew.
  void windowShowsTheScriptBeforeItRuns() {
    QW_REQUIRE_SERVER();
    QStandardPaths::setTestModeEnabled(true);
    const QStringList a{"CREATE TABLE t (id INT NOT NULL PRIMARY KEY, a INT, neu INT)",
                        "CREATE TRIGGER tr BEFORE INSERT ON t FOR EACH ROW BEGIN SET NEW.a = 1; "
                        "SET NEW.neu = 2; END"};
    const QStringList b{"CREATE TABLE t (id INT NOT NULL PRIMARY KEY, a INT, alt INT)",
                        "INSERT INTO t VALUES (1, 2, 3)"};
    make(DbA, a);
    make(DbB, b);
    std::unique_ptr<TMainForm> form = OpenMainForm(true);
    QVERIFY(form->connected());
    ClickCaption(form->ListView1, DbA);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("skript.sql"));
    QString shown;
    ModalScript modal;
    MessageRecorder messages;
    modal.push([&](QDialog &d) {
      auto &source = static_cast<TCompareSourceForm &>(d);
      if (!source.DatabaseList->findItems(DbA, Qt::MatchExactly).isEmpty())
        return int(QDialog::Rejected); // A is no choice
      source.DatabaseList->setCurrentItem(
          source.DatabaseList->findItems(DbB, Qt::MatchExactly).value(0));
      return int(QDialog::Accepted);
    });
    modal.push([&](QDialog &d) {
      auto &w = static_cast<TCompareForm &>(d);
      shown = w.ScriptText->toPlainText();
      [&] {
        QCOMPARE(shown, ScriptFileText(w.comparison(), w.ChosenScript()));
        QVERIFY(shown.contains("ADD COLUMN `neu`") && !shown.contains("DROP COLUMN"));
        modal.push([&](QDialog &save) {
          static_cast<QFileDialog &>(save).selectFile(file);
          return int(QDialog::Accepted);
        });
        w.SaveBtn->click();
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(saved.readAll()), shown);
        // A place no file can go (under a file): said, naming the file.
        const QString nowhere = file + QStringLiteral("/skript.sql");
        modal.push([&](QDialog &save) {
          static_cast<QFileDialog &>(save).selectFile(nowhere);
          return int(QDialog::Accepted);
        });
        w.SaveBtn->click();
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY(messages.shown.first().text.contains(nowhere));
        messages.clear();
        // The step that drops a column, chosen: asked first, "Nein" sends nothing.
        for (int i = 0; i < w.StepList->topLevelItemCount(); ++i)
          w.StepList->topLevelItem(i)->setCheckState(0, Qt::Checked);
        QVERIFY(w.ScriptText->toPlainText().contains("DROP COLUMN `alt`"));
        messages.answers = {MessageAnswer::No};
        w.RunBtn->click();
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(admin->columnNames(DbB, "t"), QStringList({"id", "a", "alt"}));
        messages.answers = {MessageAnswer::Yes};
        w.RunBtn->click();
        QCOMPARE(messages.shown.size(), 2);
        QVERIFY2(w.SummaryLabel->text().contains("dieselbe Struktur"),
                 qPrintable(w.RunLabel->text()));
        QVERIFY(w.sent());
      }();
      return int(QDialog::Rejected);
    });
    form->CompareDatabase();
    QCOMPARE(modal.shownCount, 4);
    QCOMPARE(admin->columnNames(DbB, "t"), QStringList({"id", "a", "neu"}));

    // A database that went away meanwhile is said to be gone; nothing opens.
    messages.clear();
    modal.push([&](QDialog &d) {
      auto &source = static_cast<TCompareSourceForm &>(d);
      source.DatabaseList->setCurrentItem(source.DatabaseList->topLevelItem(0));
      return int(QDialog::Accepted);
    });
    QVERIFY(!CompareWithOtherDatabase(form.get(), *form->Session, DbA, {"qwt_vgl_weg"}));
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown.first().text, "Die Datenbank „qwt_vgl_weg“ gibt es nicht mehr.");
    CloseMainForm(form);

    // The saved script is one the mariadb client runs as it stands.
    make(DbB, b);
    QProcess client;
    client.setStandardInputFile(file);
    client.start(QStringLiteral("mariadb"),
                 {"--no-defaults", "-h", TestServer::host(), "-P",
                  QString::number(TestServer::port()), "-u", TestServer::user()});
    QVERIFY(client.waitForFinished(60000));
    QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());
    const SchemaComparison left = CompareSchemas(model(DbA), model(DbB));
    QCOMPARE(left.steps.size(), 1);
    QVERIFY(left.steps.first().losesData);

    // The program's connection lost while the script runs: the window
    // closes, and the loss is said once, as after any other command.
    make(DbB, b);
    form = OpenMainForm(true);
    ClickCaption(form->ListView1, DbA);
    modal.push([&](QDialog &d) {
      auto &source = static_cast<TCompareSourceForm &>(d);
      source.DatabaseList->setCurrentItem(
          source.DatabaseList->findItems(DbB, Qt::MatchExactly).value(0));
      return int(QDialog::Accepted);
    });
    modal.push([&](QDialog &d) {
      admin->exec(QStringLiteral("KILL %1").arg(form->Session->connectionId()));
      static_cast<TCompareForm &>(d).RunBtn->click();
      return int(QDialog::Rejected);
    });
    messages.clear();
    form->CompareAction->trigger();
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].title, QStringLiteral("Verbindung abgebrochen"));
    QVERIFY(!form->connected());
    CloseMainForm(form);
  }

  // The other side through another saved connection (here a second entry
  // for the test server), an SQL file, or what mariadb-dump writes of A
  // (with its rows): the window names what the script changes, the script
  // makes the two alike, the other connection and the file's temporary
  // database are gone afterwards, and the file's USE and CREATE DATABASE
  // reached no other database.
  void otherSources_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("changed");
    QTest::addColumn<bool>("dump");
    QTest::newRow("another saved connection") << 1 << DbA << DbB << false;
    QTest::newRow("an SQL file") << 2 << DbB << DbB << false;
    QTest::newRow("a dump") << 2 << DbB << DbB << true;
  }
  void otherSources() {
    QW_REQUIRE_SERVER();
    QFETCH(int, tab);
    QFETCH(QString, selected);
    QFETCH(QString, changed);
    QFETCH(bool, dump);
    const QStringList a{"CREATE TABLE t (id INT NOT NULL PRIMARY KEY, a BIGINT, neu INT)",
                        "CREATE VIEW v AS SELECT id, a FROM t",
                        "CREATE TRIGGER tr BEFORE INSERT ON t FOR EACH ROW BEGIN SET NEW.a = 1; "
                        "SET NEW.neu = 2; END",
                        "INSERT INTO t VALUES (1, 2, 3)"};
    make(DbA, a);
    make(DbB,
         {"CREATE TABLE t (id INT NOT NULL PRIMARY KEY, a INT)", "INSERT INTO t VALUES (1, 2)"});
    const QString server = QStringLiteral("%1@%2:%3")
                               .arg(TestServer::user(), TestServer::host())
                               .arg(TestServer::port());
    SetSavedConnectionsProgramDirectory(files.path());
    QString reason;
    QVERIFY2(
        WriteSavedConnectionsFile(
            SavedConnectionsFilePath(),
            {{TestServer::host(), TestServer::user(), {}, QString::number(TestServer::port())}},
            &reason),
        qPrintable(reason));
    QStringList written{"CREATE DATABASE qwt_vgl_anderswo", "USE qwt_vgl_anderswo"};
    for (const QString &statement : a)
      written << (statement.contains(';') ? "DELIMITER //\n" + statement + "//\nDELIMITER "
                                          : statement);
    QString file = sqlFile("a.sql", written);
    if (dump) {
      file = files.filePath("a-dump.sql");
      QProcess mariadbDump;
      mariadbDump.setStandardOutputFile(file);
      mariadbDump.start(QStringLiteral("mariadb-dump"),
                        {"--no-defaults", "-h", TestServer::host(), "-P",
                         QString::number(TestServer::port()), "-u", TestServer::user(),
                         "--databases", DbA});
      QVERIFY(mariadbDump.waitForFinished(60000));
      QVERIFY2(mariadbDump.exitCode() == 0, mariadbDump.readAllStandardError().constData());
    }
    std::unique_ptr<TMainForm> form = OpenMainForm(true);
    QVERIFY(form->connected());
    const int before = connections();
    ClickCaption(form->ListView1, selected);
    ModalScript modal;
    MessageRecorder messages;
    modal.push([&](QDialog &d) {
      choose(static_cast<TCompareSourceForm &>(d), tab, tab == 1 ? server : file);
      return int(QDialog::Accepted);
    });
    if (tab == 1)
      modal.push([&](QDialog &d) {
        auto &databases = static_cast<TCompareSourceForm &>(d);
        [&] { QVERIFY(databases.DatabaseList->findItems("mysql", Qt::MatchExactly).isEmpty()); }();
        choose(databases, 0, DbB);
        return int(QDialog::Accepted);
      });
    modal.push([&](QDialog &d) {
      auto &w = static_cast<TCompareForm &>(d);
      [&] {
        QVERIFY2(w.ChangesLabel->text().startsWith(
                     QStringLiteral("Das Skript ändert „%1“ auf %2").arg(changed, server)),
                 qPrintable(w.ChangesLabel->text()));
        QVERIFY(connections() > before);
        for (int i = 0; i < w.StepList->topLevelItemCount(); ++i)
          w.StepList->topLevelItem(i)->setCheckState(0, Qt::Checked);
        w.RunBtn->click();
        QVERIFY2(w.SummaryLabel->text().contains("dieselbe Struktur"),
                 qPrintable(w.RunLabel->text() + messages.texts().join('\n')));
      }();
      return int(QDialog::Rejected);
    });
    form->CompareDatabase();
    QVERIFY2(modal.shownCount == (tab == 1 ? 3 : 2), qPrintable(messages.texts().join("\n")));
    QVERIFY(leftBehind().isEmpty());
    QVERIFY(!admin->databases().contains("qwt_vgl_anderswo"));
    QTRY_COMPARE(connections(), before);
    const SchemaComparison left = CompareSchemas(model(DbA), model(DbB));
    QVERIFY2(left.differences.isEmpty(), qPrintable(describe(left)));
    CloseMainForm(form);
  }

  // The temporary database of a file goes whatever happens to the load: a
  // statement that fails (said with its number, nothing compared), a cancel,
  // the loss of the connection that loads it.
  void temporaryDatabaseAlwaysGoes_data() {
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<int>("interference"); // 0 none, 1 "Abbrechen", 2 the connection killed
    QTest::addColumn<QString>("said");
    QTest::newRow("statement 2 fails")
        << QStringList{"CREATE TABLE t (id INT)", "CREATE TABLE t (id INT)",
                       "CREATE TABLE u (i INT)"}
        << 0 << "Anweisung 2 (ab Zeile 2) ist fehlgeschlagen";
    QTest::newRow("cancelled") << QStringList{"CREATE TABLE t (id INT)", "SET @s = SLEEP(60)"} << 1
                               << "Abgebrochen.";
    QTest::newRow("connection lost") << QStringList{"CREATE TABLE t (id INT)", "SET @s = SLEEP(60)"}
                                     << 2 << "Die zweite Verbindung zum Server ist abgebrochen";
  }
  void temporaryDatabaseAlwaysGoes() {
    QW_REQUIRE_SERVER();
    QFETCH(QStringList, statements);
    QFETCH(int, interference);
    QFETCH(QString, said);
    make(DbA, {});
    std::unique_ptr<TMainForm> form = OpenMainForm(true);
    ClickCaption(form->ListView1, DbA);
    const QString file = sqlFile("fehler.sql", statements);
    ModalScript modal;
    MessageRecorder messages;
    modal.push([&](QDialog &d) {
      choose(static_cast<TCompareSourceForm &>(d), 2, file);
      return int(QDialog::Accepted);
    });
    // Once the load sleeps: "Abbrechen", or the connection that loads killed.
    QTimer interfere;
    QObject::connect(&interfere, &QTimer::timeout, [&] {
      for (const QString &id : admin->column("SELECT ID FROM information_schema.PROCESSLIST WHERE "
                                             "INFO LIKE '%= SLEEP(60)%' AND ID <> CONNECTION_ID()"))
        if (interference == 2)
          admin->exec("KILL CONNECTION " + id);
        else
          for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *wait = qobject_cast<TWaitForm *>(w); wait && wait->isVisible())
              wait->CancelBtn->click();
    });
    if (interference > 0)
      interfere.start(200);
    form->CompareDatabase();
    interfere.stop();
    QCOMPARE(modal.shownCount, 1);
    QVERIFY2(messages.texts().join('\n').contains(said), qPrintable(messages.texts().join('\n')));
    QVERIFY(leftBehind().isEmpty());
    QVERIFY(form->connected());
    CloseMainForm(form);
  }

  // A file that reaches beyond its temporary database, inside an ordinary
  // dump: what only a load would run is passed over, and a statement that
  // runs but names another database, places files elsewhere or hides a
  // second statement stops the load before it is sent. Either way another
  // database, the users, events, routines, the server's settings and its
  // files are as before, and the temporary database is gone.
  void fileReachesNothingElse_data() {
    QTest::addColumn<QStringList>("hostile");
    QTest::addColumn<QString>("said"); // empty: loaded and compared
    const QString outfile = QDir::temp().filePath(QStringLiteral("qwt_ausgabe.txt"));
    QTest::newRow("a table dropped") << QStringList{"DROP TABLE qwt_opfer.t"}
                                     << "Anweisung 5 (Zeile 5) betrifft die Datenbank „qwt_opfer“; "
                                        "die Datei wird nur in eine temporäre Datenbank geladen "
                                        "und darf nichts anderes ändern.";
    QTest::newRow("a table created")
        << QStringList{"CREATE TABLE `QWT_OPFER` . t2 (a INT)"} << "„QWT_OPFER“";
    QTest::newRow("rows") << QStringList{"INSERT INTO qwt_opfer.t VALUES (3)",
                                         "DELETE FROM qwt_opfer.t", "TRUNCATE qwt_opfer.t"}
                          << "";
    QTest::newRow("a user") << QStringList{"CREATE USER qwt_eindringling",
                                           "GRANT ALL ON *.* TO qwt_eindringling"}
                            << "";
    QTest::newRow("server settings") << QStringList{"SET GLOBAL max_connections = 77",
                                                    "/*!40101 SET @@GLOBAL.max_connections=78 */"}
                                     << "";
    QTest::newRow("event and routine")
        << QStringList{"CREATE EVENT ev ON SCHEDULE EVERY 1 SECOND DO DELETE FROM qwt_opfer.t",
                       "CREATE PROCEDURE p() DELETE FROM qwt_opfer.t", "CALL p()"}
        << "";
    QTest::newRow("a file") << QStringList{"SELECT 1 INTO OUTFILE '" + outfile + "'"} << "";
    QTest::newRow("a file from a statement that runs")
        << QStringList{"SET @x = (SELECT 1 INTO OUTFILE '" + outfile + "')"} << "INTO OUTFILE";
    QTest::newRow("table files elsewhere")
        << QStringList{"CREATE TABLE d (a INT) DATA DIRECTORY = '/tmp'"} << "DATA DIRECTORY";
    QTest::newRow("a second statement after a semicolon")
        << QStringList{"DELIMITER //\nCREATE TABLE x (a INT); SET GLOBAL max_connections = 79//\n"
                       "DELIMITER "}
        << "Anweisung 5 (ab Zeile 6) ist fehlgeschlagen";
  }
  void fileReachesNothingElse() {
    QW_REQUIRE_SERVER();
    QFETCH(QStringList, hostile);
    QFETCH(QString, said);
    const QString outfile = QDir::temp().filePath(QStringLiteral("qwt_ausgabe.txt"));
    const QString connections = admin->column("SELECT @@GLOBAL.max_connections").value(0);
    const auto restore = qScopeGuard([&] {
      admin->exec("SET GLOBAL max_connections = " + connections);
      admin->exec("DROP USER IF EXISTS qwt_eindringling");
      QFile::remove(outfile);
    });
    make("qwt_opfer", {"CREATE TABLE t (id INT PRIMARY KEY)", "INSERT INTO t VALUES (1), (2)"});
    const Values victim = values("qwt_opfer");
    const QString everywhere = "SELECT (SELECT COUNT(*) FROM information_schema.EVENTS) + "
                               "(SELECT COUNT(*) FROM information_schema.ROUTINES)";
    const QString elsewhere = admin->column(everywhere).value(0);
    const QStringList dump{"/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */",
                           "/*!40101 SET NAMES utf8mb4 */",
                           "DROP TABLE IF EXISTS `t`",
                           "CREATE TABLE `t` (`id` int(11) NOT NULL, PRIMARY KEY (`id`))",
                           "LOCK TABLES `t` WRITE",
                           "INSERT INTO `t` VALUES (1),(2)",
                           "UNLOCK TABLES"};
    make(DbA, {dump[3]});
    std::unique_ptr<TMainForm> form = OpenMainForm(true);
    ClickCaption(form->ListView1, DbA);
    const QString file = sqlFile("feindlich.sql", dump.mid(0, 4) + hostile + dump.mid(4));
    ModalScript modal;
    MessageRecorder messages;
    modal.push([&](QDialog &d) {
      choose(static_cast<TCompareSourceForm &>(d), 2, file);
      return int(QDialog::Accepted);
    });
    modal.push([&](QDialog &) {
      // Loaded: the temporary database holds the table without its rows, and
      // nothing that could run later.
      [&] {
        QCOMPARE(admin->column("SELECT COUNT(*) FROM " + QuoteName(leftBehind().value(0)) + ".t"),
                 QStringList{"0"});
        QCOMPARE(admin->column(everywhere).value(0), elsewhere);
      }();
      return int(QDialog::Rejected);
    });
    form->CompareDatabase();
    QCOMPARE(modal.shownCount, said.isEmpty() ? 2 : 1);
    QCOMPARE(messages.shown.size(), said.isEmpty() ? 0 : 1);
    if (!said.isEmpty())
      QVERIFY2(messages.shown[0].text.contains(said), qPrintable(messages.shown[0].text));
    QVERIFY(leftBehind().isEmpty());
    QCOMPARE(values("qwt_opfer"), victim);
    QCOMPARE(admin->column("SELECT COUNT(*) FROM mysql.user WHERE User = 'qwt_eindringling'"),
             QStringList{"0"});
    QCOMPARE(admin->column(everywhere).value(0), elsewhere);
    QCOMPARE(admin->column("SELECT @@GLOBAL.max_connections").value(0), connections);
    QVERIFY(!QFile::exists(outfile));
    admin->dropDatabase("qwt_opfer");
    CloseMainForm(form);
  }
};

QTEST_MAIN(CompareTest)
#include "tst_compare.moc"
