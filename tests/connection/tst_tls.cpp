// Encrypted connections against the servers scripts/test starts: one that
// offers TLS, one that insists on it, the main one without TLS, and a fake
// server that asks for the password in clear text.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "clientlib/TlsProbe.h"
#include "connection/SavedConnections.h"
#include "connection/TlsSettings.h"
#include "tests/support/TestSupport.h"

#include <QSslCertificate>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const QString Secret = QStringLiteral("GUI-Secret-77");

QString certificateFile(const QString &server, const QString &file) {
  return qEnvironmentVariable("QW_TEST_TLS_DIR") + QLatin1Char('/') + server + QLatin1Char('/') +
         file;
}

QString fingerprintOf(const QString &server, QCryptographicHash::Algorithm algorithm) {
  const auto certificates = QSslCertificate::fromPath(certificateFile(server, "server-cert.pem"));
  return certificates.isEmpty() ? QString()
                                : CertificateFingerprint(certificates[0].toDer(), algorithm);
}

// Greets as a server without TLS, takes the login and asks for the password
// in clear text; keeps every byte it receives. Serves the probe and the login.
struct ClearTextServer {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int port = 0;
  QByteArray received;
  std::thread thread;
  static QByteArray packet(char number, const QByteArray &payload) {
    const auto n = static_cast<quint32>(payload.size());
    const char header[] = {char(n), char(n >> 8), char(n >> 16), number};
    return QByteArray(header, 4) + payload;
  }
  ClearTextServer() {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    bind(listener, reinterpret_cast<sockaddr *>(&address), size);
    listen(listener, 2);
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size);
    port = ntohs(address.sin_port);
    thread = std::thread([this] {
      const timeval wait{3, 0};
      for (int connection = 0; connection < 2; ++connection) {
        const int peer = accept(listener, nullptr, nullptr);
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        // Protocol 10, version, id, scramble, capabilities 4.1 and secure
        // connection (no TLS), utf8, status, plugin auth, scramble, plugin.
        static const char greeting[] = "\x0a"
                                       "5.5.5-fake\0"
                                       "\1\0\0\0"
                                       "abcdefgh\0"
                                       "\0\x82"
                                       "\x21"
                                       "\2\0"
                                       "\x08\0"
                                       "\x15"
                                       "\0\0\0\0\0\0\0\0\0\0"
                                       "ijklmnopqrst\0"
                                       "mysql_native_password";
        send(peer, packet(0, QByteArray(greeting, sizeof greeting)).constData(),
             sizeof greeting + 4, MSG_NOSIGNAL);
        char buffer[4096];
        for (bool asked = false;;) {
          const ssize_t n = recv(peer, buffer, sizeof buffer, 0);
          if (n <= 0)
            break;
          received.append(buffer, n);
          if (!asked) {
            asked = true;
            const QByteArray clearText("\xfe"
                                       "mysql_clear_password\0",
                                       22);
            send(peer, packet(2, clearText).constData(), 26, MSG_NOSIGNAL);
          }
        }
        close(peer);
      }
    });
  }
  // What arrived, once the server has ended.
  QByteArray finish() {
    if (thread.joinable()) {
      shutdown(listener, SHUT_RDWR);
      thread.join();
      close(listener);
    }
    return received;
  }
  ~ClearTextServer() { finish(); }
};

} // namespace

class TlsTest : public QObject {
  Q_OBJECT
  QTemporaryDir m_home;
  std::unique_ptr<TMainForm> form;

private slots:
  void initTestCase() {
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
    SetSavedConnectionsProgramDirectory(m_home.path());
    LoadRealClientLibrary();
  }

  void connections_data() {
    QTest::addColumn<QString>("server"); // tls, secure, plain or cleartext
    QTest::addColumn<bool>("required");
    QTest::addColumn<int>("check");
    QTest::addColumn<QString>("setting"); // the CA's server, or the trusted certificate's
    QTest::addColumn<int>("answer");      // to the fingerprint question; -1: none expected
    QTest::addColumn<QString>("refusal"); // part of the message; empty: connects
    QTest::addColumn<bool>("encrypted");
    const int none = int(TlsSettings::Check::None), ca = int(TlsSettings::Check::CaFile),
              fp = int(TlsSettings::Check::Fingerprint), yes = int(MessageAnswer::Yes),
              no = int(MessageAnswer::No);
    QTest::newRow("TLS by default, trusted at first use")
        << "tls" << false << fp << "" << yes << "" << true;
    QTest::newRow("'Nein' connects nothing") << "tls" << false << fp << "" << no << "-" << false;
    QTest::newRow("trusted certificate") << "tls" << false << fp << "tls" << -1 << "" << true;
    QTest::newRow("another certificate")
        << "secure" << false << fp << "tls" << -1 << "Identität des Servers" << false;
    QTest::newRow("server insists on TLS") << "secure" << false << fp << "" << yes << "" << true;
    QTest::newRow("unchecked TLS") << "tls" << false << none << "" << -1 << "" << true;
    QTest::newRow("no TLS offered") << "plain" << false << fp << "" << -1 << "" << false;
    QTest::newRow("TLS required, none offered")
        << "plain" << true << none << "" << -1 << "bietet keine Verschlüsselung" << false;
    QTest::newRow("trusted server without TLS")
        << "plain" << false << fp << "tls" << -1 << "keine Verschlüsselung (TLS) mehr" << false;
    QTest::newRow("right CA") << "tls" << true << ca << "tls" << -1 << "" << true;
    QTest::newRow("wrong CA") << "tls" << false << ca << "secure" << -1 << "CA-Datei" << false;
    QTest::newRow("clear-text password over plain TCP")
        << "cleartext" << false << fp << "" << -1 << "Klartext" << false;
  }

  void connections() {
    QW_REQUIRE_SERVER();
    QFETCH(QString, server);
    QFETCH(bool, required);
    QFETCH(int, check);
    QFETCH(QString, setting);
    QFETCH(int, answer);
    QFETCH(QString, refusal);
    QFETCH(bool, encrypted);
    std::unique_ptr<ClearTextServer> fake;
    int port = TestServer::port();
    if (server == QLatin1String("cleartext"))
      fake = std::make_unique<ClearTextServer>(), port = fake->port;
    else if (server != QLatin1String("plain"))
      port = qEnvironmentVariableIntValue(server == QLatin1String("tls") ? "QW_TEST_TLS_PORT"
                                                                         : "QW_TEST_SECURE_PORT");
    QVERIFY(port > 0);
    TlsSettings settings{required, TlsSettings::Check(check), {}, {}, {}};
    if (!setting.isEmpty() && settings.check == TlsSettings::Check::CaFile)
      settings.caFile = certificateFile(setting, "ca.pem");
    else if (!setting.isEmpty())
      settings.fingerprint = fingerprintOf(setting, QCryptographicHash::Sha256),
      settings.libraryFingerprint = fingerprintOf(setting, QCryptographicHash::Sha1);
    StoreTlsSettings(TestServer::host(), port, TestServer::user(), settings);
    const QString savedFile = SavedConnectionsFilePath();
    QString reason;
    QVERIFY(WriteSavedConnectionsFile(savedFile, {{"db", "root", "x", "1"}}, &reason));
    const auto fileBytes = [&] {
      QFile file(savedFile);
      return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = fileBytes();

    form = OpenMainForm(false);
    MessageRecorder messages;
    if (answer >= 0)
      messages.answers.push_back(MessageAnswer(answer));
    ConnectTo(*form, TestServer::user(), server == QLatin1String("cleartext") ? Secret : QString(),
              port);
    QCOMPARE(form->Session->endpoint().port, port);

    QStringList texts = messages.texts();
    if (answer >= 0) {
      QVERIFY2(!texts.isEmpty() && texts.takeFirst().contains(
                                       fingerprintOf(server, QCryptographicHash::Sha256).left(47)),
               qPrintable(messages.texts().join('\n')));
      const TlsSettings after = LoadTlsSettings(TestServer::host(), port, TestServer::user());
      QCOMPARE(after.fingerprint.isEmpty(), answer == int(MessageAnswer::No));
    }
    QCOMPARE(form->connected(), refusal.isEmpty());
    if (refusal.isEmpty() || refusal == QLatin1String("-"))
      QVERIFY2(texts.isEmpty(), qPrintable(texts.join('\n')));
    else
      QVERIFY2(texts.size() == 1 && texts[0].contains(refusal), qPrintable(texts.join('\n')));
    if (form->connected()) {
      const QString cipher =
          form->Session->query({}, QStringLiteral("SHOW SESSION STATUS LIKE 'Ssl_cipher'"))
              .text(0, 1);
      QCOMPARE(!cipher.isEmpty(), encrypted);
      const QString status = form->StatusBar1->currentMessage();
      QVERIFY2(status.contains(encrypted ? "verschlüsselt (TLSv1." : "unverschlüsselt") &&
                   status.contains(cipher),
               qPrintable(status));
      form->cancelbtn->click();
      QCOMPARE(form->StatusBar1->currentMessage(), QString());
    }
    if (fake) {
      const QByteArray arrived = fake->finish();
      QVERIFY(!arrived.isEmpty());
      QVERIFY(!arrived.contains(Secret.toUtf8()));
    }
    QCOMPARE(fileBytes(), before);
  }
};

QTEST_MAIN(TlsTest)
#include "tst_tls.moc"
