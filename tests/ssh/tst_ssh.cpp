// Connections through an SSH tunnel: the private sshd of scripts/test
// forwards to the test servers. ssh reads a configuration of the test's own
// (a wrapper "ssh" first on PATH adds -F), so the user's ~/.ssh is never
// read or written. This program is ssh's askpass helper as Quellwerk is.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "common/WaitWindow.h"
#include "connection/SavedConnections.h"
#include "connection/SshDialog.h"
#include "connection/SshSettings.h"
#include "connection/TlsSettings.h"
#include "connection/verbindungFUnit.h"
#include "ssh/SshAskpass.h"
#include "ssh/SshPromptDialog.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTcpServer>
#include <QTemporaryDir>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

QString sshFile(const QString &name) {
  return qEnvironmentVariable("QW_TEST_SSH_DIR") + '/' + name;
}
int sshPort() { return qEnvironmentVariableIntValue("QW_TEST_SSH_PORT"); }
QString loginName() {
  const passwd *entry = getpwuid(getuid());
  return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QByteArray readFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}
void writeFile(const QString &path, const QByteArray &content) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(content);
}

// The key of a .pub file as known_hosts holds it, and its fingerprint as ssh shows it.
QByteArray knownKey(const QString &pub) { return readFile(pub).split(' ').mid(0, 2).join(' '); }
QByteArray fingerprint(const QString &pub) {
  return "SHA256:" + QCryptographicHash::hash(QByteArray::fromBase64(knownKey(pub).split(' ')[1]),
                                              QCryptographicHash::Sha256)
                         .toBase64(QByteArray::OmitTrailingEquals);
}

// The processes (not ended) whose command line holds `text`.
QList<int> processesWith(const QByteArray &text) {
  QList<int> found;
  for (QDirIterator it(QStringLiteral("/proc")); it.hasNext();) {
    const int pid = it.next().section('/', -1).toInt();
    if (pid > 0 && pid != getpid() && readFile(it.filePath() + "/cmdline").contains(text))
      found << pid;
  }
  return found;
}

} // namespace

class SshTest : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  QString m_config, m_knownHosts;
  QProcess m_agent;
  std::unique_ptr<TMainForm> form;

  // ssh's own processes: those that read the test's configuration.
  QList<int> sshProcesses() const { return processesWith(QFile::encodeName(m_config)); }
  // The logins in the general log whose text is LIKE `what`.
  int logins(AdminConnection &admin, const QString &what) {
    return admin
        .column("SELECT COUNT(*) FROM mysql.general_log WHERE command_type = 'Connect' AND "
                "argument LIKE " +
                QuoteLiteral(what))
        .value(0)
        .toInt();
  }
  // Sets the SSH host of the test server's connection to `port` and presses
  // "Verbinden..."; `modal` holds the scripts of the dialogs that follow the
  // connection dialog.
  void connectThrough(const QString &sshHost, const QString &keyFile, int port,
                      ModalScript &modal) {
    const bool alias = sshHost != QLatin1String("127.0.0.1");
    StoreSshSettings(
        TestServer::host(), port, TestServer::user(),
        {true, sshHost, alias ? QString() : loginName(), alias ? 0 : sshPort(), keyFile});
    modal.scripts.push_front([port](QDialog &dialog) {
      auto &d = static_cast<TDialog &>(dialog);
      d.EditHost->setText(TestServer::host());
      d.EditPort->setText(QString::number(port));
      d.EditUser->setText(TestServer::user());
      d.EditPass->clear();
      return int(QDialog::Accepted);
    });
    form->connectbtn->click();
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    QVERIFY2(sshPort() > 0, "no test sshd (QW_TEST_SSH_PORT): run the tests through scripts/test");
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
    SetSavedConnectionsProgramDirectory(m_home.path());
    LoadRealClientLibrary();
    SetWaitWindowDelay(50);
    m_config = m_home.filePath("ssh_config");
    m_knownHosts = m_home.filePath("known_hosts");
    QDir(m_home.path()).mkdir("bin");
    const QString wrapper = m_home.filePath("bin/ssh");
    writeFile(wrapper,
              "#!/bin/sh\nexec /usr/bin/ssh -F '" + QFile::encodeName(m_config) + "' \"$@\"\n");
    QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", QFile::encodeName(m_home.filePath("bin")) + ':' + qgetenv("PATH"));
    m_agent.start("ssh-agent", {"-D", "-a", m_home.filePath("agent")});
    QTRY_VERIFY(QFile::exists(m_home.filePath("agent")));
  }
  void cleanupTestCase() {
    m_agent.kill();
    m_agent.waitForFinished();
  }
  void init() { form = OpenMainForm(false); }
  void cleanup() { CloseMainForm(form); }

  void tunnel_data() {
    QTest::addColumn<QString>("sshHost"); // 127.0.0.1 (user and port set), or an alias
    QTest::addColumn<QString>("key");     // client, phrase, agent, or config (the alias's)
    QTest::addColumn<QString>("known");   // the host key in known_hosts: known, unknown, changed
    QTest::addColumn<QString>("server");  // plain, closed (no server), tls, tls-ca, tls-wrong-ca
    QTest::addColumn<QStringList>("answers"); // Ja, Nein, phrase (typed into the dialog)
    QTest::addColumn<QString>("refusal");     // part of the message; "-": none; empty: connects
    const QString ip = QStringLiteral("127.0.0.1");
    QTest::newRow("key file, known host") << ip << "client"
                                          << "known"
                                          << "plain" << QStringList() << "";
    QTest::newRow("unknown host, 'Nein'") << ip << "client"
                                          << "unknown"
                                          << "plain" << QStringList{"Nein"} << "-";
    QTest::newRow("unknown host, 'Ja'") << ip << "client"
                                        << "unknown"
                                        << "plain" << QStringList{"Ja"} << "";
    QTest::newRow("changed host key") << ip << "client"
                                      << "changed"
                                      << "plain" << QStringList() << "Identität des SSH-Hosts";
    QTest::newRow("key in the agent") << ip << "agent"
                                      << "known"
                                      << "plain" << QStringList() << "";
    QTest::newRow("key with passphrase") << ip << "phrase"
                                         << "known"
                                         << "plain" << QStringList{"phrase"} << "";
    QTest::newRow("alias with ProxyJump") << "qwjump"
                                          << "config"
                                          << "known"
                                          << "plain" << QStringList() << "";
    QTest::newRow("no server behind the forward") << ip << "client"
                                                  << "known"
                                                  << "closed" << QStringList() << "open failed";
    QTest::newRow("TLS, fingerprint trusted") << ip << "client"
                                              << "known"
                                              << "tls" << QStringList{"Ja"} << "";
    QTest::newRow("TLS, CA and host name") << ip << "client"
                                           << "known"
                                           << "tls-ca" << QStringList() << "";
    QTest::newRow("TLS, another CA") << ip << "client"
                                     << "known"
                                     << "tls-wrong-ca" << QStringList() << "CA-Datei";
  }

  void tunnel() {
    QFETCH(QString, sshHost);
    QFETCH(QString, key);
    QFETCH(QString, known);
    QFETCH(QString, server);
    QFETCH(QStringList, answers);
    QFETCH(QString, refusal);
    // The alias jumps through the sshd to the same sshd by another name (ssh
    // refuses a jump to the very host it jumps through).
    const QByteArray hostLine =
        QStringLiteral("[127.0.0.1]:%1,[localhost]:%1 ").arg(sshPort()).toUtf8();
    const QByteArray hostKey = knownKey(sshFile("host_ed25519.pub")),
                     otherKey = knownKey(sshFile("other_host_ed25519.pub"));
    writeFile(m_knownHosts, known == "unknown"
                                ? QByteArray()
                                : hostLine + (known == "known" ? hostKey : otherKey));
    writeFile(m_config,
              "UserKnownHostsFile " + QFile::encodeName(m_knownHosts) +
                  "\nGlobalKnownHostsFile /dev/null\nIdentityFile " +
                  QFile::encodeName(sshFile(key == "config" ? "client" : "none")) +
                  QStringLiteral("\nHost qwjump\n  HostName localhost\n  Port %1\n  User %2\n"
                                 "  ProxyJump %2@127.0.0.1:%1\n")
                      .arg(sshPort())
                      .arg(loginName())
                      .toUtf8());
    if (key == "agent") {
      qputenv("SSH_AUTH_SOCK", QFile::encodeName(m_home.filePath("agent")));
      QCOMPARE(QProcess::execute("ssh-add", {"-q", sshFile("client")}), 0);
    } else {
      qunsetenv("SSH_AUTH_SOCK");
    }
    int port = TestServer::port();
    QTcpServer unused;
    if (server == "closed")
      unused.listen(QHostAddress::LocalHost), port = unused.serverPort(), unused.close();
    else if (server.startsWith("tls"))
      port = qEnvironmentVariableIntValue("QW_TEST_TLS_PORT");
    const QString tlsDir = qEnvironmentVariable("QW_TEST_TLS_DIR");
    TlsSettings tls;
    if (server.endsWith("-ca"))
      tls = {true,
             TlsSettings::Check::CaFile,
             tlsDir + (server == "tls-ca" ? "/tls/ca.pem" : "/secure/ca.pem"),
             {},
             {}};
    StoreTlsSettings(TestServer::host(), port, TestServer::user(), tls);

    AdminConnection admin;
    admin.startQueryLog();
    MessageRecorder messages;
    ModalScript modal;
    for (const QString &answer : answers) {
      if (answer == "phrase")
        modal.push([](QDialog &dialog) {
          auto &prompt = static_cast<TSshPromptDialog &>(dialog);
          if (!prompt.PromptLabel->text().contains("Passphrase für den SSH-Schlüssel"))
            return int(QDialog::Rejected);
          prompt.EditAnswer->setText(readFile(sshFile("client-phrase.passphrase")));
          return int(QDialog::Accepted);
        });
      else
        messages.answers.push_back(answer == "Ja" ? MessageAnswer::Yes : MessageAnswer::No);
    }
    connectThrough(sshHost,
                   key == "client"   ? sshFile("client")
                   : key == "phrase" ? sshFile("client-phrase")
                                     : QString(),
                   port, modal);
    qunsetenv("SSH_AUTH_SOCK");

    QStringList texts = messages.texts();
    QVERIFY(modal.scripts.empty()); // the passphrase was asked for
    if (known == "unknown")
      QVERIFY2(!texts.isEmpty() &&
                   texts.takeFirst().contains(fingerprint(sshFile("host_ed25519.pub"))),
               qPrintable(messages.texts().join('\n')));
    if (server == "tls") { // trusted for the server's own host and port, not the tunnel's socket
      QVERIFY(!texts.isEmpty() && texts.takeFirst().contains("Zertifikat"));
      QVERIFY(!LoadTlsSettings(TestServer::host(), port, TestServer::user()).fingerprint.isEmpty());
    }
    QCOMPARE(form->connected(), refusal.isEmpty());
    if (refusal.isEmpty() || refusal == "-")
      QVERIFY2(texts.isEmpty(), qPrintable(texts.join('\n')));
    else
      QVERIFY2(texts.size() == 1 && texts[0].contains(refusal), qPrintable(texts.join('\n')));
    // A host key is added only when the user said so; a changed one stays as it was.
    const bool added = answers.value(0) == "Ja" && known == "unknown";
    QCOMPARE(readFile(m_knownHosts).contains(hostKey), known == "known" || added);
    QCOMPARE(readFile(m_knownHosts).contains(otherKey), known == "changed");

    if (form->connected()) {
      QVERIFY2(form->StatusBar1->currentMessage().endsWith(" – über SSH " + sshHost) &&
                   form->StatusBar1->currentMessage().contains(
                       server == "plain" ? "unverschlüsselt" : "verschlüsselt (TLS"),
               qPrintable(form->StatusBar1->currentMessage()));
      // The client library speaks to a local socket; the server saw TCP from sshd.
      QCOMPARE(ReadConnectionFacts(*form->Session).route, "Localhost via UNIX socket");
      if (server == "plain")
        QCOMPARE(logins(admin, "%using TCP/IP"), 1);
      QVERIFY(!sshProcesses().isEmpty());
      form->cancelbtn->click();
    } else if (server == "plain") {
      QCOMPARE(logins(admin, "%"), 0); // nothing reached the server
    }
    admin.stopQueryLog();
    QTRY_VERIFY_WITH_TIMEOUT(sshProcesses().isEmpty(), 2000);
    QVERIFY(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR"))
                .entryList({"quellwerk-ssh-*"}, QDir::Dirs)
                .isEmpty());
  }

  void brokenTunnel() {
    writeFile(m_knownHosts, QStringLiteral("[127.0.0.1]:%1 ").arg(sshPort()).toUtf8() +
                                knownKey(sshFile("host_ed25519.pub")));
    writeFile(m_config, "UserKnownHostsFile " + QFile::encodeName(m_knownHosts) + "\n");
    ModalScript modal;
    connectThrough("127.0.0.1", sshFile("client"), TestServer::port(), modal);
    QVERIFY(form->connected());
    AdminConnection admin;
    admin.startQueryLog();
    MessageRecorder messages;
    for (const int pid : sshProcesses())
      kill(pid, SIGKILL);
    QTRY_VERIFY(!form->connected());
    QCOMPARE(messages.texts().size(), 1);
    QVERIFY(messages.texts()[0].contains("abgebrochen") &&
            messages.texts()[0].contains("nicht von selbst neu"));
    QTest::qWait(300);
    QCOMPARE(logins(admin, "%"), 0); // and nothing connected anywhere by itself
    admin.stopQueryLog();
  }

  // An SSH host that never answers: "Abbrechen" in "Bitte warten" gives the tunnel up.
  void givenUp() {
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    writeFile(m_config, "UserKnownHostsFile " + QFile::encodeName(m_knownHosts) + "\n");
    StoreSshSettings(TestServer::host(), TestServer::port(), TestServer::user(),
                     {true, "127.0.0.1", {}, silent.serverPort(), {}});
    CancelWhenWaiting cancel;
    ConnectTo(*form);
    QVERIFY(cancel.presses() >= 1);
    QVERIFY(!form->connected());
    QTRY_VERIFY_WITH_TIMEOUT(sshProcesses().isEmpty(), 2000);
  }

  void settingsDialog_data() {
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("refusal"); // empty: stored
    QTest::newRow("alias only") << true << "bastion"
                                << ""
                                << "";
    QTest::newRow("host and port") << true << "ssh.example.org"
                                   << "2222"
                                   << "";
    QTest::newRow("no host") << true << ""
                             << ""
                             << "Bitte geben Sie den SSH-Host an";
    QTest::newRow("an option for a host") << true << "-oProxyCommand=touch x"
                                          << ""
                                          << "kein gültiger Name";
    QTest::newRow("port beyond 65535") << true << "bastion"
                                       << "70000"
                                       << "SSH-Port";
    QTest::newRow("port not a number") << true << "bastion"
                                       << "22x"
                                       << "SSH-Port";
    QTest::newRow("off, whatever the fields say") << false << "-x"
                                                  << "x"
                                                  << "";
  }

  void settingsDialog() {
    QFETCH(bool, enabled);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, refusal);
    const SshSettings before{true, "before", "", 0, ""};
    StoreSshSettings("db.example.org", 3306, "anna", before);
    ModalScript modal;
    modal.push([&](QDialog &dialog) {
      auto &d = static_cast<TDialog &>(dialog);
      d.EditHost->setText("db.example.org");
      d.EditPort->setText("3306");
      d.EditUser->setText("anna");
      d.SshBtn->click();
      return int(QDialog::Rejected);
    });
    modal.push([&](QDialog &dialog) {
      auto &d = static_cast<TSshDialog &>(dialog);
      for (QLineEdit *edit : d.findChildren<QLineEdit *>())
        if (edit->accessibleName().isEmpty())
          QTest::qFail("an edit without accessible name", __FILE__, __LINE__);
      d.UseSshBox->setChecked(enabled);
      d.EditSshHost->setText(host);
      d.EditSshPort->setText(port);
      d.setResult(QDialog::Rejected);
      d.ButtonOK->click();
      return d.result();
    });
    MessageRecorder messages;
    ExecModal(*form->Dialog);
    QCOMPARE(messages.texts().size(), int(!refusal.isEmpty()));
    const SshSettings after = LoadSshSettings("db.example.org", 3306, "anna");
    if (!refusal.isEmpty()) {
      QVERIFY2(messages.texts()[0].contains(refusal), qPrintable(messages.texts()[0]));
      QCOMPARE(after, before);
    } else {
      QCOMPARE(after.enabled, enabled);
      QCOMPARE(after.host, host);
      QCOMPARE(after.port, port.toInt());
    }
  }
};

int main(int argc, char *argv[]) {
  if (const std::optional<int> exitCode = RunAsSshAskpass(argc, argv))
    return *exitCode;
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  SshTest test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}
#include "tst_ssh.moc"
