// The saved connections' passwords in a real keyring: gnome-keyring-daemon
// on a private session bus, both started by this test, so that it never
// reaches the user's bus or keyring. A password saved, read back at the next
// start and used to connect to the test server; moved out of options.dat;
// following a renamed row and leaving with the last row of its connection;
// and a keyring that stops answering.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "connection/FormStorage.h"
#include "connection/PasswordStore.h"
#include "connection/verbindungFUnit.h"
#include "tests/connection/FileTestTools.h"
#include "tests/support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QScopeGuard>

#include <climits>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace filetest;

namespace {

const QString SecretService = QStringLiteral("org.freedesktop.secrets");

// The password cells of the list.
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

} // namespace

class KeyringTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_home;
  QProcess m_keyring;

  QString optionsPath() const { return m_home.filePath(QStringLiteral("program/options.dat")); }

private slots:
  void initTestCase() {
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("program"))));
    SetSavedConnectionsProgramDirectory(m_home.filePath(QStringLiteral("program")));
    // A bus of this test's own: no keyring is on it before the test starts one.
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QVERIFY(bus);
    QVERIFY(!bus->isServiceRegistered(SecretService));
    // Its files, its socket and its login keyring in the test's home.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *folder : {"XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
      const QString path = m_home.filePath(QString::fromLatin1(folder));
      QVERIFY(QDir().mkpath(path) && setMode(path, 0700));
      environment.insert(QString::fromLatin1(folder), path);
    }
    m_keyring.setProcessEnvironment(environment);
    m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {"--foreground", "--unlock", "--components=secrets"});
    QVERIFY2(m_keyring.waitForStarted(), qPrintable(m_keyring.errorString()));
    m_keyring.write("Schlüsselbund-Test");
    m_keyring.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered(SecretService), 20000);
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

  // Typed into the dialog, or found in clear text in options.dat and moved at
  // the next save: the file keeps its byte format with an empty password, the
  // keyring holds the password, and the next start connects with it.
  void passwordsLiveInTheKeyring_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("inFileBefore");
    QTest::newRow("typed") << TestServer::password() << false;
    QTest::newRow("moved from options.dat") << TestServer::password() << true;
    QTest::newRow("umlauts, typed") << QStringLiteral("Pässwört-€-ß") << false;
  }
  void passwordsLiveInTheKeyring() {
    QW_REQUIRE_SERVER();
    QFETCH(QString, password);
    QFETCH(bool, inFileBefore);
    const SavedConnection typed{TestServer::host(), TestServer::passwordUser(), password,
                                QString::number(TestServer::port())};
    const ConnectionKey key = ConnectionKey::Of(typed);
    MessageRecorder messages;
    if (inFileBefore) {
      QVERIFY(WriteSavedConnectionsFile(optionsPath(), {typed}, nullptr));
      TDialog before;
      QCOMPARE(placesShown(before), QStringList{"gespeichert"});
      before.SaveOptions();
    } else {
      TDialog d;
      addRow(d, typed);
    }
    QCOMPARE(readAll(optionsPath()),
             le32(1) + row(typed.host.toUtf8(), typed.user.toUtf8(), "", typed.port.toUtf8()));
    QCOMPARE(Keyring().read(key).password, password);
    QCOMPARE(LoadPasswordPlace(key), PasswordPlace::Keyring);

    // The next start says where the password is, and a double-click takes it from there.
    std::unique_ptr<TMainForm> form = OpenMainForm(false);
    QCOMPARE(placesShown(*form->Dialog), QStringList{"im Schlüsselbund"});
    ModalScript script;
    script.push([](QDialog &dialog) {
      auto &d = static_cast<TDialog &>(dialog);
      d.ListView1->selectRow(0);
      d.ListView1DblClick();
      return d.result();
    });
    form->connectbtn->click(); // the server refuses another password
    QCOMPARE(form->Password, password);
    QCOMPARE(form->connected(), password == TestServer::password());
    CloseMainForm(form);
    QCOMPARE(messages.shown.size(), password == TestServer::password() ? 0 : 1);
  }

  // A renamed row takes its password along, and a password leaves the
  // keyring with the last row of its connection.
  void renamingAndDeleting() {
    MessageRecorder messages;
    TDialog d;
    const SavedConnection first{"alt.example", "anna", "eins", "3310"};
    addRow(d, first);
    addRow(d, first); // the same connection twice: one password
    const ConnectionKey old = ConnectionKey::Of(first);
    const ConnectionKey renamed{"neu.example", 3310, "anna"};
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.ListView1->setFocus();
    d.ListView1->selectRow(0);
    QTest::keyClick(d.ListView1, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, renamed.host);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(DecodeSavedConnections(readAll(optionsPath())).rows.value(0).host, renamed.host);
    QCOMPARE(Keyring().read(renamed).password, QStringLiteral("eins"));
    QCOMPARE(Keyring().read(old).password, QStringLiteral("eins"));
    QCOMPARE(placesShown(d), (QStringList{"im Schlüsselbund", "im Schlüsselbund"}));

    d.ListView1->selectRow(1);
    d.DelBtn->click();
    QCOMPARE(Keyring().read(old).outcome, Keyring::Outcome::NotFound);
    QCOMPARE(LoadPasswordPlace(old), PasswordPlace::None);
    d.ListView1->selectRow(0);
    d.DelBtn->click();
    QCOMPARE(Keyring().read(renamed).outcome, Keyring::Outcome::NotFound);
    QVERIFY(messages.shown.isEmpty());
    d.reject();
  }

  // A keyring that stops answering is given up after the time-out: the user
  // chooses where the password goes, and is not kept waiting again.
  void keyringThatStopsAnswering() {
    SetKeyringTimeout(1000);
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
    for (const Message &shown : messages.shown) {
      QCOMPARE(shown.buttons, MessageButtons::PlainFileOrAsk);
      QVERIFY2(shown.text.contains("der Schlüsselbund hat nach 1 Sekunden nicht geantwortet"),
               qPrintable(shown.text));
    }
    QCOMPARE(placesShown(d), (QStringList{"wird erfragt", "wird erfragt"}));
    QCOMPARE(DecodeSavedConnections(readAll(optionsPath())).rows.value(1).password, QString());
  }
};

// Runs itself again on a private session bus (dbus-run-session), so that no
// keyring of the user's is ever reached.
int main(int argc, char **argv) {
  if (qEnvironmentVariable("QW_TEST_SESSION_BUS") != QLatin1String("private")) {
    qputenv("QW_TEST_SESSION_BUS", "private");
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
      return 1;
    std::vector<char *> args{const_cast<char *>("dbus-run-session"),
                             const_cast<char *>("--config-file=" QW_TEST_BUS_CONFIG),
                             const_cast<char *>("--"), self};
    for (int i = 1; i < argc; ++i)
      args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    std::perror("dbus-run-session");
    return 1;
  }
  QApplication app(argc, argv);
  KeyringTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_keyring.moc"
