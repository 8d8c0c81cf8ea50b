// The built quellwerk started as from a shell, with a cleaned environment:
// its command line, and a start without a display.
#include <QProcess>
#include <QtTest>

class CommandLineTest : public QObject {
  Q_OBJECT
private slots:
  void commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("display"); // empty: no DISPLAY at all
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // how standard output starts
    QTest::addColumn<QString>("err"); // how the one line on standard error starts
    const QString noDisplay = QStringLiteral("quellwerk: Keine Anzeige gefunden");
    QTest::newRow("help") << QStringList{"--help"} << "" << 0 << "Aufruf: quellwerk [Optionen]\n"
                          << "";
    QTest::newRow("version") << QStringList{"--version"} << "" << 0 << "Quellwerk 1.0\n"
                             << "";
    QTest::newRow("unknown option") << QStringList{"--gibts-nicht"} << "" << 2 << ""
                                    << "quellwerk: Unbekannte Option „--gibts-nicht“";
    QTest::newRow("argument") << QStringList{"datei.sql"} << "" << 2 << ""
                              << "quellwerk: Unerwartetes Argument „datei.sql“";
    QTest::newRow("no display") << QStringList{} << "" << 1 << "" << noDisplay;
    QTest::newRow("display unreachable") << QStringList{} << ":4711" << 1 << "" << noDisplay;
    // Qt's own options pass the command line and reach Qt.
    QTest::newRow("Qt option") << QStringList{"-platform", "gibts-nicht"} << "" << 1 << ""
                               << noDisplay;
  }
  void commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, display);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    if (!display.isEmpty())
      environment.insert(QStringLiteral("DISPLAY"), display);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QW_PROGRAM), arguments);
    QVERIFY2(program.waitForFinished(30000), "the program did not end by itself");
    const QString stdOut = QString::fromUtf8(program.readAllStandardOutput());
    const QString stdErr = QString::fromUtf8(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    // (A null string starts with no empty one: compare the beginnings.)
    QVERIFY2(stdOut.left(out.size()) == out && (exitCode == 0) != stdOut.isEmpty(),
             qPrintable(stdOut));
    if (out.startsWith(QLatin1String("Quellwerk")))
      QCOMPARE(stdOut, out);
    QVERIFY2(stdErr.left(err.size()) == err &&
                 stdErr.count(QLatin1Char('\n')) == (err.isEmpty() ? 0 : 1),
             qPrintable(stdErr));
  }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
