// The statement splitter against tricky scripts, each fed whole and in
// pieces of every small size (so that a delimiter, a "-- ", a 4-byte UTF-8
// character or a DELIMITER line is cut at every place): the statements, the
// lines they start on and the faults must not depend on where the pieces end.
#include "sqlfile/StatementSplitter.h"

#include <QtTest>

namespace {

struct Split {
  QStringList statements; // "line|text"
  QString fault;          // "", or the fault and its statement and line
  QList<qint64> ends;
};

Split SplitInPieces(const QByteArray &script, qsizetype piece, qint64 longest, bool escapes) {
  StatementSplitter splitter(longest, escapes);
  Split split;
  ScriptStatement s;
  const auto take = [&] {
    for (;;) {
      while (splitter.next(s)) {
        split.statements << QStringLiteral("%1|%2").arg(s.line).arg(QString::fromUtf8(s.text));
        split.ends << s.end;
      }
      if (!splitter.waiting())
        return;
      // As the server reads strings after a change of sql_mode.
      splitter.resume(!s.text.toUpper().contains("NO_BACKSLASH_ESCAPES"));
    }
  };
  for (qsizetype at = 0; at < script.size(); at += piece) {
    splitter.feed(QByteArrayView(script).sliced(at, std::min(piece, script.size() - at)));
    take();
  }
  splitter.finish();
  take();
  static const char *const names[] = {"", "open", "too long", "delimiter"};
  if (splitter.fault() != StatementSplitter::Fault::None)
    split.fault = QStringLiteral("%1 %2/%3")
                      .arg(QLatin1String(names[static_cast<int>(splitter.fault())]))
                      .arg(splitter.faultStatement())
                      .arg(splitter.faultLine());
  return split;
}

} // namespace

class StatementSplitterTest : public QObject {
  Q_OBJECT

private slots:
  void split_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("escapes"); // backslash escapes in strings
    QTest::addColumn<int>("longest");
    const int any = 1 << 20;
    QTest::newRow("plain") << QByteArray("SELECT 1;SELECT 2;\n")
                           << QStringList{"1|SELECT 1", "1|SELECT 2"} << "" << true << any;
    QTest::newRow("delimiter in quotes and backquotes")
        << QByteArray("SELECT ';', \";\";\nCREATE TABLE `a;b` (`c``;` INT);")
        << QStringList{"1|SELECT ';', \";\"", "2|CREATE TABLE `a;b` (`c``;` INT)"} << "" << true
        << any;
    QTest::newRow("escaped and doubled quotes")
        << QByteArray("SELECT 'it\\'s;', 'it''s;';SELECT `a\\`;")
        << QStringList{"1|SELECT 'it\\'s;', 'it''s;'", "1|SELECT `a\\`"} << "" << true << any;
    QTest::newRow("server without backslash escapes")
        << QByteArray("SELECT 'C:\\';SELECT 2;") << QStringList{"1|SELECT 'C:\\'", "1|SELECT 2"}
        << "" << false << any;
    QTest::newRow("sql_mode set on the way")
        << QByteArray("SELECT 'a\\';';\nSET sql_mode = 'NO_BACKSLASH_ESCAPES';\nSELECT 'C:\\';\n"
                      "SET SQL_MODE = '';\nSELECT 'b\\';';")
        << QStringList{"1|SELECT 'a\\';'", "2|SET sql_mode = 'NO_BACKSLASH_ESCAPES'",
                       "3|SELECT 'C:\\'", "4|SET SQL_MODE = ''", "5|SELECT 'b\\';'"}
        << "" << true << any;
    QTest::newRow("comments before are left out, inside are sent")
        << QByteArray("-- a;b\n# c;d\n/* e;\nf */ SELECT /* ; */ 1 # g;\n;SELECT 1--2;")
        << QStringList{"4|SELECT /* ; */ 1 # g;\n", "5|SELECT 1--2"} << "" << true << any;
    QTest::newRow("executable comment is code")
        << QByteArray("/*!40101 SET NAMES utf8mb4 */;\n/*M!100100 SET @a = 1 */;")
        << QStringList{"1|/*!40101 SET NAMES utf8mb4 */", "2|/*M!100100 SET @a = 1 */"} << ""
        << true << any;
    QTest::newRow("DELIMITER $$ body")
        << QByteArray("DELIMITER $$\nCREATE PROCEDURE p()\nBEGIN\n  SELECT 1; SELECT '$$';\nEND"
                      "$$\n  delimiter ;\nSELECT 3;")
        << QStringList{"2|CREATE PROCEDURE p()\nBEGIN\n  SELECT 1; SELECT '$$';\nEND", "7|SELECT 3"}
        << "" << true << any;
    QTest::newRow("DELIMITER quoted, and as text")
        << QByteArray("delimiter '//' and the rest\nSELECT '\nDELIMITER ;\n'//SELECT 1\n"
                      "DELIMITER ;//")
        << QStringList{"2|SELECT '\nDELIMITER ;\n'", "4|SELECT 1\nDELIMITER ;"} << "" << true
        << any;
    QTest::newRow("line comment at the end keeps its line end")
        << QByteArray("SELECT 1 -- eins\n;\nSELECT 2 -- zwei")
        << QStringList{"1|SELECT 1 -- eins\n", "3|SELECT 2 -- zwei\n"} << "" << true << any;
    QTest::newRow("empty statements, byte order mark")
        << QByteArray("\xEF\xBB\xBF;; ;\n;SELECT 1") << QStringList{"2|SELECT 1"} << "" << true
        << any;
    QTest::newRow("4-byte character, NUL byte")
        << QByteArray("SELECT '\xF0\x9F\x98\x80;' AS `\xC3\xA4`, '\0';", 28)
        << QStringList{QString::fromUtf8("1|SELECT '\xF0\x9F\x98\x80;' AS `\xC3\xA4`, '\0'", 29)}
        << "" << true << any;
    QTest::newRow("file cut in a string") << QByteArray("SELECT 1;\nSELECT 'abc;\n")
                                          << QStringList{"1|SELECT 1"} << "open 2/2" << true << any;
    QTest::newRow("file cut in a comment")
        << QByteArray("SELECT 1 /* abc;") << QStringList{} << "open 1/1" << true << any;
    QTest::newRow("file cut in a DELIMITER body")
        << QByteArray("DELIMITER $$\nCREATE PROCEDURE p() BEGIN SELECT 1;")
        << QStringList{"2|CREATE PROCEDURE p() BEGIN SELECT 1;"} << "" << true << any;
    QTest::newRow("DELIMITER without a delimiter")
        << QByteArray("SELECT 1;\nDELIMITER\nSELECT 2;") << QStringList{"1|SELECT 1"}
        << "delimiter 2/2" << true << any;
    QTest::newRow("blanks before a statement do not count against the limit")
        << QByteArray("\t\t\t\t\t\t\t\t\t\t\t\t\t\tSELECT 1;") << QStringList{"1|SELECT 1"} << ""
        << true << 12;
    QTest::newRow("statement longer than the server takes")
        << QByteArray("SELECT 1;\nSELECT 1234567890;") << QStringList{"1|SELECT 1"}
        << "too long 2/2" << true << 12;
  }
  void split() {
    QFETCH(QByteArray, script);
    QFETCH(QStringList, statements);
    QFETCH(QString, fault);
    QFETCH(bool, escapes);
    QFETCH(int, longest);
    for (qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(5), qsizetype(7),
                            qsizetype(1) << 20}) {
      const Split split = SplitInPieces(script, piece, longest, escapes);
      const QByteArray where = "pieces of " + QByteArray::number(piece);
      QVERIFY2(split.statements == statements,
               where + ": " + split.statements.join(QStringLiteral(" ¦ ")).toUtf8());
      QVERIFY2(split.fault == fault, where + ": " + split.fault.toUtf8());
      // Each statement ends after its delimiter (or at the end), in order.
      for (qsizetype i = 0; i < split.ends.size(); ++i) {
        QVERIFY(split.ends[i] <= script.size());
        QVERIFY(i == 0 || split.ends[i] > split.ends[i - 1]);
        const char last = script[split.ends[i] - 1];
        QVERIFY2(last == ';' || last == '$' || last == '/' || split.ends[i] == script.size(),
                 where);
      }
    }
  }

  void firstWord_data() {
    QTest::addColumn<QByteArray>("statement");
    QTest::addColumn<QByteArray>("word");
    QTest::newRow("plain") << QByteArray("create table t (i int)") << QByteArray("CREATE");
    QTest::newRow("executable comments")
        << QByteArray("/*!50003 /*M!100100 call */ p()") << QByteArray("CALL");
    QTest::newRow("parenthesis") << QByteArray("(SELECT 1)") << QByteArray();
  }
  void firstWord() {
    QFETCH(QByteArray, statement);
    QFETCH(QByteArray, word);
    QCOMPARE(FirstWord(statement), word);
  }
};

QTEST_GUILESS_MAIN(StatementSplitterTest)
#include "tst_statement_splitter.moc"
