// The saved connections' passwords in a real keyring: gnome-keyring-daemon,
// started by this test on the private session bus that CTest runs it on
// (dbus-run-session), so that it never reaches the user's bus or keyring.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "common/FormStorage.h"
#include "connection/PasswordStore.h"
#include "connection/verbindungFUnit.h"
#include "tests/connection/FileTestTools.h"
#include "tests/support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>

using namespace filetest;

namespace {

QStringList placesShown(const TDialog &d) {
  QStringList places;
  for (int row = 0; row < d.ListView1->count(); ++row)
    places << d.ListView1->items().cell(row, 2);
  return places;
}

void addRow(TDialog &d, const SavedConnection &row) {
  d.EditHost->setText(row.host);
  d.EditUser->setText(row.user);
  d.EditPass->setText(row.password);
  d.EditPort->setText(row.port);
  d.AddBtn->click();
}

Keyring::Answer inKeyring(const ConnectionKey &key) { return Keyring().read(key); }

} // namespace

class KeyringTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_home;
  QProcess m_keyring;

  QString optionsPath() const { return m_home.filePath(QStringLiteral("options.dat")); }

private slots:
  void initTestCase() {
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
    SetSavedConnectionsProgramDirectory(m_home.path());
    // A bus of this test's own: no keyring is on it before the test starts one.
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run through ctest (dbus-run-session)");
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QVERIFY(!bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString folder : {"XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
      QVERIFY(QDir().mkpath(m_home.filePath(folder)) && setMode(m_home.filePath(folder), 0700));
      environment.insert(folder, m_home.filePath(folder));
    }
    m_keyring.setProcessEnvironment(environment);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {"--foreground", "--unlock", "--components=secrets"});
    QVERIFY2(m_keyring.waitForStarted(), qPrintable(m_keyring.errorString()));
    m_keyring.write("Schlüsselbund-Test"); // the new login keyring's password
    m_keyring.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")),
                             20000);
    LoadRealClientLibrary();
  }

  void cleanupTestCase() {
    m_keyring.terminate();
    m_keyring.waitForFinished(10000);
  }

  void init() {
    QFile::remove(optionsPath());
    QFile::remove(FormStorageFile());
  }

  // Typed, or found in clear text in options.dat and moved at the next save:
  // the file keeps its byte format with an empty password, the next start
  // connects with the password from the keyring, a renamed row takes it
  // along, and it leaves the keyring with the last row of its connection.
  void passwordsLiveInTheKeyring_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("inFileBefore");
    QTest::addColumn<int>("rows"); // of the same connection
    QTest::newRow("typed") << TestServer::password() << false << 1;
    QTest::newRow("moved from options.dat") << TestServer::password() << true << 1;
    QTest::newRow("umlauts, twice") << QStringLiteral("Pässwört-€-ß") << false << 2;
  }
  void passwordsLiveInTheKeyring() {
    QW_REQUIRE_SERVER();
    QFETCH(QString, password);
    QFETCH(bool, inFileBefore);
    QFETCH(int, rows);
    const SavedConnection typed{TestServer::host(), TestServer::passwordUser(), password,
                                QString::number(TestServer::port())};
    const ConnectionKey key = ConnectionKey::Of(typed);
    MessageRecorder messages;
    if (inFileBefore) {
      QVERIFY(
          WriteSavedConnectionsFile(optionsPath(), QList<SavedConnection>(rows, typed), nullptr));
      TDialog before;
      QCOMPARE(placesShown(before), QStringList(rows, "gespeichert"));
      before.SaveOptions();
    } else {
      TDialog d;
      for (int i = 0; i < rows; ++i)
        addRow(d, typed);
    }
    QCOMPARE(
        readAll(optionsPath()),
        le32(rows) +
            row(typed.host.toUtf8(), typed.user.toUtf8(), "", typed.port.toUtf8()).repeated(rows));
    QCOMPARE(inKeyring(key).password, password);

    std::unique_ptr<TMainForm> form = OpenMainForm(false);
    QCOMPARE(placesShown(*form->Dialog), QStringList(rows, "im Schlüsselbund"));
    ModalScript script;
    script.push([](QDialog &dialog) {
      auto &d = static_cast<TDialog &>(dialog);
      d.ListView1->selectRow(0);
      d.ListView1DblClick();
      return d.result();
    });
    form->connectbtn->click(); // the server refuses another password
    QCOMPARE(form->Session->endpoint().password, password);
    QCOMPARE(form->connected(), password == TestServer::password());
    CloseMainForm(form);
    QCOMPARE(messages.shown.size(), password == TestServer::password() ? 0 : 1);

    TDialog d;
    const ConnectionKey renamed{QStringLiteral("umbenannt.example"), key.port, key.user};
    d.ListView1->items().setCell(0, 0, renamed.host); // as an edit in place does
    QTRY_COMPARE(DecodeSavedConnections(readAll(optionsPath())).rows.value(0).host, renamed.host);
    QCOMPARE(inKeyring(renamed).password, password);
    QCOMPARE(inKeyring(key).outcome,
             rows > 1 ? Keyring::Outcome::Done : Keyring::Outcome::NotFound);
    while (d.ListView1->count() > 0) {
      d.ListView1->selectRow(d.ListView1->count() - 1);
      d.DelBtn->click();
    }
    QCOMPARE(inKeyring(key).outcome, Keyring::Outcome::NotFound);
    QCOMPARE(inKeyring(renamed).outcome, Keyring::Outcome::NotFound);
    QCOMPARE(LoadPasswordPlace(renamed), PasswordPlace::None);
  }

  // A keyring that stops answering is given up after the time-out: the user
  // chooses where the password goes, and is not kept waiting again.
  void keyringThatStopsAnswering() {
    SetKeyringTimeout(2000);
    QVERIFY(::kill(pid_t(m_keyring.processId()), SIGSTOP) == 0);
    const auto resume = qScopeGuard([this] {
      ::kill(pid_t(m_keyring.processId()), SIGCONT);
      SetKeyringTimeout(25000);
    });
    MessageRecorder messages;
    TDialog d;
    addRow(d, {"eins.example", "anna", "eins", "3306"});
    addRow(d, {"zwei.example", "anna", "zwei", "3306"});
    QCOMPARE(messages.shown.size(), 2);
    for (const Message &shown : messages.shown)
      QVERIFY2(shown.text.contains("der Schlüsselbund hat nach 2 Sekunden nicht geantwortet"),
               qPrintable(shown.text));
    QCOMPARE(placesShown(d), QStringList(2, "wird erfragt"));
  }
};

QTEST_MAIN(KeyringTest)
#include "tst_keyring.moc"
