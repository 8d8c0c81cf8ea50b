// Opening and closing the one server connection of the main window.
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "clientlib/ServerSession.h"
#include "clientlib/TlsProbe.h"
#include "common/Interaction.h"
#include "common/ScopeExit.h"
#include "connection/IntegerText.h"
#include "connection/TlsSettings.h"
#include "connection/verbindungFUnit.h"
#include "structure/StructureForm.h"

#include <QFile>
#include <QLineEdit>
#include <QStatusBar>

#include <errmsg.h>

#include <limits>

namespace {
constexpr std::int32_t DefaultTimeout = 30;

const QString ConnectFailedText = QStringLiteral("Konnte keine Verbindung aufbauen.");

// The login methods of the client library that never hand the password over
// as typed: all it knows but mysql_clear_password and dialog (PAM).
constexpr const char *LoginWithoutClearText =
    "mysql_native_password,mysql_old_password,client_ed25519,sha256_password,"
    "caching_sha2_password,auth_gssapi_client";

// What the client library is told about TLS for one connect.
struct TlsOptions {
  QByteArray caFile;          // check the certificate against this CA
  QByteArray peerFingerprint; // SHA-1: the certificate must be exactly this one
  // Whether the library itself refuses a connection without TLS: only then
  // may a login method send the password as typed.
  bool enforced() const { return !caFile.isEmpty() || !peerFingerprint.isEmpty(); }
};

bool ApplyTlsOptions(MYSQL *handle, const TlsOptions &options) {
  const my_bool on = 1;
  // This option makes the library of Connector/C 3.3 ask for TLS whenever
  // the server offers it; it still goes on without TLS when the server
  // offers none (measured). Without it the library never encrypts.
  if (mysql::mysql_options(handle, MYSQL_OPT_SSL_ENFORCE, &on) != 0)
    return false;
  if (!options.caFile.isEmpty() &&
      (mysql::mysql_options(handle, MYSQL_OPT_SSL_CA, options.caFile.constData()) != 0 ||
       mysql::mysql_options(handle, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on) != 0))
    return false;
  if (!options.peerFingerprint.isEmpty() &&
      mysql::mysql_options(handle, MARIADB_OPT_TLS_PEER_FP, options.peerFingerprint.constData()) !=
          0)
    return false;
  return options.enforced() ||
         mysql::mysql_options(handle, MARIADB_OPT_RESTRICTED_AUTH, LoginWithoutClearText) == 0;
}

// The client library reaches "localhost" (and an empty host) through the
// local socket, not through the network.
bool IsLocalSocket(const QString &host) {
  return host.isEmpty() || host == QLatin1String("localhost");
}

struct ConnectionFacts {
  QString serverVersion;
  QString tlsVersion;
  QString cipher; // empty: not encrypted
};

ConnectionFacts ReadConnectionFacts(MYSQL *handle) {
  ConnectionFacts facts{FromLibrary(mysql::mysql_get_server_info(handle)), {}, {}};
  if (mysql::HasEntryPoint(mysql::OptionalEntryPoint::mysql_get_ssl_cipher))
    facts.cipher = FromLibrary(mysql::mysql_get_ssl_cipher(handle));
  const char *version = nullptr;
  if (!facts.cipher.isEmpty() &&
      mysql::HasEntryPoint(mysql::OptionalEntryPoint::mariadb_get_infov) &&
      mysql::mariadb_get_infov(handle, MARIADB_CONNECTION_TLS_VERSION, &version) == 0)
    facts.tlsVersion = FromLibrary(version);
  return facts;
}

QString StatusText(const ConnectionFacts &facts) {
  const QString server = QStringLiteral("Server %1 – ").arg(facts.serverVersion);
  if (facts.cipher.isEmpty())
    return server + QStringLiteral("unverschlüsselt");
  return server + QStringLiteral("verschlüsselt (%1, %2)").arg(facts.tlsVersion, facts.cipher);
}

QString RefusedNumber(const QString &field, const QString &text, const QString &allowed) {
  return QStringLiteral("Das Feld „%1“ enthält „%2“; erlaubt ist %3. Es wurde keine Verbindung "
                        "aufgebaut.")
      .arg(field, text, allowed);
}
} // namespace

void TMainForm::connectbtnClick() {
  if (ExecModal(*Dialog) != QDialog::Accepted) {
    close();
    return;
  }
  // A number that is not what it says (a port beyond 65535 that would wrap,
  // "4270x", a time-out of 0 that would wait for ever) is refused, naming
  // the field; an empty field means the usual value.
  const std::optional<std::int32_t> port =
      NumberInRange(Dialog->EditPort->text(), 1, 65535, DefaultPort);
  const std::optional<std::int32_t> timeout = NumberInRange(
      Dialog->EditTime->text(), 1, std::numeric_limits<std::int32_t>::max(), DefaultTimeout);
  if (!port || !timeout) {
    ShowMessage(this, !port ? RefusedNumber(QStringLiteral("Port"), Dialog->EditPort->text(),
                                            QStringLiteral("eine ganze Zahl von 1 bis 65535"))
                            : RefusedNumber(QStringLiteral("Timeout"), Dialog->EditTime->text(),
                                            QStringLiteral("eine ganze Zahl von Sekunden ab 1")));
    return;
  }
  Host = Dialog->EditHost->text();
  Port = *port;
  User = Dialog->EditUser->text();
  Password = Dialog->EditPass->text();
  Timeout = *timeout;
  ClientFlags = 0;

  // A handle left from before is released before it is replaced.
  if (MySQLHandle)
    Session->close(QStringLiteral("Schließe die alte Verbindung ..."));
  TlsSettings tls = LoadTlsSettings(Host, Port, User);
  TlsOptions options;
  if (tls.check == TlsSettings::Check::CaFile)
    options.caFile = QFile::encodeName(tls.caFile);
  if (tls.check == TlsSettings::Check::Fingerprint)
    options.peerFingerprint = tls.libraryFingerprint.toLatin1();
  if (tls.check == TlsSettings::Check::CaFile && tls.caFile.isEmpty()) {
    RefuseConnection(QStringLiteral("Der Server soll mit einer CA-Datei geprüft werden, es ist "
                                    "aber keine angegeben (Schaltfläche „TLS...“)."));
    return;
  }
  if ((tls.required || tls.check != TlsSettings::Check::None) && !IsLocalSocket(Host) &&
      !CheckServerIdentity(tls, options.peerFingerprint))
    return;

  const ServerSession::ConnectOutcome outcome =
      Session->connect(QStringLiteral("Verbinde mit „%1“ ...").arg(Host),
                       {Host, Port, User, Password, Timeout, ClientFlags},
                       [options](MYSQL *handle) { return ApplyTlsOptions(handle, options); });
  switch (outcome.step) {
  case ServerSession::ConnectStep::InitFailed:
    ShowMessage(this, QStringLiteral("Couldn't init PMYSQL object"));
    return;
  case ServerSession::ConnectStep::OptionsRefused:
    ShowMessage(this, QStringLiteral("Konnte Optionen nicht setzen"));
    return;
  case ServerSession::ConnectStep::ConnectFailed:
    ShowMessage(this, ConnectFailedText + TlsFailureReason(tls, outcome.reply.errorNumber),
                outcome.reply.error, MessageButtons::Ok, MessageIcon::Critical);
    return;
  case ServerSession::ConnectStep::Cancelled: // the user gave the attempt up
    return;
  case ServerSession::ConnectStep::Connected: break;
  }
  const ConnectionFacts facts =
      Session->run(QStringLiteral("Lese die Verbindungsdaten ..."), ReadConnectionFacts);
  // Only the local socket, or a server the probe could not ask, gets here unencrypted.
  if (tls.required && facts.cipher.isEmpty()) {
    Session->close(QStringLiteral("Trenne die Verbindung ..."));
    RefuseConnection(QStringLiteral("Die Verbindung zu „%1“ ist nicht verschlüsselt, für diese "
                                    "Verbindung ist Verschlüsselung (TLS) aber verlangt. Die "
                                    "Verbindung wurde wieder getrennt.")
                         .arg(Host));
    return;
  }
  connectbtn->setEnabled(false);
  cancelbtn->setEnabled(true);
  StatusBar1->showMessage(StatusText(facts));
  ListCurrentDatabases();
}

QString TMainForm::HostAndPort() const { return QStringLiteral("%1:%2").arg(Host).arg(Port); }

void TMainForm::RefuseConnection(const QString &reason) {
  ShowMessage(this, ConnectFailedText + QStringLiteral("\n\n") + reason,
              QStringLiteral("Verbindung abgelehnt"), MessageButtons::Ok, MessageIcon::Critical);
}

bool TMainForm::CheckServerIdentity(TlsSettings &tls, QByteArray &peerFingerprint) {
  const QString place = HostAndPort();
  const std::optional<TlsProbe> probe =
      Session->aside(QStringLiteral("Frage den Server „%1“ nach seinem Zertifikat ...").arg(place),
                     [host = Host, port = Port, timeout = Timeout] {
                       return ProbeServerTls(host, static_cast<std::uint16_t>(port), timeout);
                     });
  if (!probe) // given up
    return false;
  switch (probe->outcome) {
  case TlsProbe::Outcome::Unknown: // the client library will say what it finds
    return true;
  case TlsProbe::Outcome::Plain:
    if (tls.required || tls.check == TlsSettings::Check::CaFile) {
      RefuseConnection(QStringLiteral("Der Server „%1“ bietet keine Verschlüsselung (TLS) an, für "
                                      "diese Verbindung ist sie aber verlangt. Es wurde nichts "
                                      "gesendet.")
                           .arg(place));
      return false;
    }
    if (!tls.fingerprint.isEmpty()) {
      RefuseConnection(
          QStringLiteral("Der Server „%1“ bietet keine Verschlüsselung (TLS) mehr an, obwohl er "
                         "sich bisher mit einem vertrauten Zertifikat auswies. Jemand könnte die "
                         "Verbindung abfangen und sich als dieser Server ausgeben. Es wurde nichts "
                         "gesendet.")
              .arg(place));
      return false;
    }
    return true;
  case TlsProbe::Outcome::Encrypted: break;
  }
  const QString sha256 = CertificateFingerprint(probe->certificate, QCryptographicHash::Sha256);
  const QString sha1 = CertificateFingerprint(probe->certificate, QCryptographicHash::Sha1);
  if (tls.check == TlsSettings::Check::Fingerprint && tls.fingerprint.isEmpty()) {
    const QString question =
        QStringLiteral("Der Server „%1“ ist für diese Verbindung noch nicht bekannt. Sein "
                       "Zertifikat hat den SHA-256-Fingerabdruck\n\n%2\n\nVergleichen Sie ihn mit "
                       "dem Fingerabdruck, den der Betreiber des Servers nennt. Wollen Sie diesem "
                       "Zertifikat vertrauen und sich verbinden?")
            .arg(place, FingerprintLines(sha256));
    if (ShowMessage(this, question, QStringLiteral("Unbekannter Server"), MessageButtons::YesNo,
                    MessageIcon::Question) != MessageAnswer::Yes)
      return false;
    tls.fingerprint = sha256;
    tls.libraryFingerprint = sha1;
    StoreTlsSettings(Host, Port, User, tls);
  } else if (tls.check == TlsSettings::Check::Fingerprint && tls.fingerprint != sha256) {
    ShowMessage(
        this,
        QStringLiteral("WARNUNG: Die Identität des Servers „%1“ hat sich geändert!\n\nEr weist "
                       "sich mit einem anderen Zertifikat aus als dem, dem Sie vertraut haben.\n\n"
                       "Vertraut (SHA-256):\n%2\n\nJetzt angeboten (SHA-256):\n%3\n\nDas kann "
                       "heißen, dass jemand die Verbindung abfängt und sich als dieser Server "
                       "ausgibt. Es kann auch heißen, dass der Betreiber das Zertifikat erneuert "
                       "hat. Es wurde nichts gesendet. Erst wenn Sie sicher sind, dass das neue "
                       "Zertifikat echt ist, vergessen Sie den alten Fingerabdruck unter "
                       "„TLS...“ im Verbindungsdialog.")
            .arg(place, FingerprintLines(tls.fingerprint), FingerprintLines(sha256)),
        QStringLiteral("Identität des Servers geändert"), MessageButtons::Ok,
        MessageIcon::Critical);
    return false;
  }
  // The library connects only to the very certificate seen here, so that
  // TLS cannot be taken away between this look and the login either.
  if (tls.check != TlsSettings::Check::CaFile)
    peerFingerprint = sha1.toLatin1();
  return true;
}

QString TMainForm::TlsFailureReason(const TlsSettings &tls, unsigned int errorNumber) const {
  const QString place = HostAndPort();
  QString reason;
  if (errorNumber == CR_PLUGIN_NOT_ALLOWED)
    reason = QStringLiteral("Der Server „%1“ verlangt eine Anmeldung, bei der das Passwort im "
                            "Klartext übertragen würde, die Verbindung ist aber nicht "
                            "verschlüsselt. Das Passwort wurde nicht gesendet.")
                 .arg(place);
  else if (errorNumber == CR_SSL_CONNECTION_ERROR && tls.check == TlsSettings::Check::CaFile)
    reason = QStringLiteral("Das Zertifikat des Servers „%1“ ließ sich mit der CA-Datei „%2“ "
                            "nicht bestätigen, oder der Server bietet keine Verschlüsselung an. "
                            "Es wurde nichts gesendet.")
                 .arg(place, tls.caFile);
  else if (errorNumber == CR_SSL_CONNECTION_ERROR)
    reason = QStringLiteral("Die verschlüsselte Verbindung zu „%1“ kam nicht zustande, oder der "
                            "Server wies sich nicht mit dem vertrauten Zertifikat aus. Es wurde "
                            "nichts gesendet.")
                 .arg(place);
  return reason.isEmpty() ? reason : QStringLiteral("\n\n") + reason;
}

void TMainForm::cancelbtnClick() {
  if (!connected())
    return;
  // The structure windows read and change through this connection; after a
  // reconnect, perhaps to another server, they would show and change another
  // table of the same name.
  Structures->CloseAll();
  ScopeExit disconnected([this] {
    connectbtn->setEnabled(true);
    cancelbtn->setEnabled(false);
    ListView1->clear();
    ListView2->clear();
    ListView3->clear();
    StatusBar1->clearMessage();
  });
  // The closed handle is forgotten, so that nothing can use or close it twice.
  Session->close(QStringLiteral("Trenne die Verbindung ..."));
}

void TMainForm::FormClose() { cancelbtnClick(); }
