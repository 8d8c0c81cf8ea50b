// Opening and closing the one server connection of the main window.
#include "app/mysql_test_main.h"
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

#include <limits>

namespace {
constexpr std::int32_t DefaultTimeout = 30;

const QString ConnectFailedText = QStringLiteral("Konnte keine Verbindung aufbauen.");

// The client library reaches "localhost" (and an empty host) through the
// local socket, not through the network.
bool IsLocalSocket(const QString &host) {
  return host.isEmpty() || host == QLatin1String("localhost");
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
  Session->setEndpoint({Dialog->EditHost->text(), *port, Dialog->EditUser->text(),
                        Dialog->EditPass->text(), *timeout, 0});
  const ServerEndpoint &endpoint = Session->endpoint();

  // A connection left from before is closed before it is replaced.
  Session->close(QStringLiteral("Schließe die alte Verbindung ..."));
  TlsSettings tls = LoadTlsSettings(endpoint.host, endpoint.port, endpoint.user);
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
  if ((tls.required || tls.check != TlsSettings::Check::None) && !IsLocalSocket(endpoint.host) &&
      !CheckServerIdentity(tls, options.peerFingerprint))
    return;

  const ServerSession::ConnectOutcome outcome =
      Session->connect(QStringLiteral("Verbinde mit „%1“ ...").arg(endpoint.host), options);
  switch (outcome.step) {
  case ServerSession::ConnectStep::InitFailed:
    ShowMessage(this, QStringLiteral("Couldn't init PMYSQL object"));
    return;
  case ServerSession::ConnectStep::OptionsRefused:
    ShowMessage(this, QStringLiteral("Konnte Optionen nicht setzen"));
    return;
  case ServerSession::ConnectStep::ConnectFailed:
    ShowMessage(this, ConnectFailedText + TlsFailureReason(tls, outcome.failure),
                outcome.reply.error, MessageButtons::Ok, MessageIcon::Critical);
    return;
  case ServerSession::ConnectStep::Cancelled: // the user gave the attempt up
    return;
  case ServerSession::ConnectStep::Connected: break;
  }
  const ConnectionFacts facts = ReadConnectionFacts(*Session);
  // Only the local socket, or a server the probe could not ask, gets here unencrypted.
  if (tls.required && facts.cipher.isEmpty()) {
    Session->close(QStringLiteral("Trenne die Verbindung ..."));
    RefuseConnection(QStringLiteral("Die Verbindung zu „%1“ ist nicht verschlüsselt, für diese "
                                    "Verbindung ist Verschlüsselung (TLS) aber verlangt. Die "
                                    "Verbindung wurde wieder getrennt.")
                         .arg(endpoint.host));
    return;
  }
  connectbtn->setEnabled(false);
  cancelbtn->setEnabled(true);
  StatusBar1->showMessage(StatusText(facts));
  ListCurrentDatabases();
}

QString TMainForm::HostAndPort() const {
  return QStringLiteral("%1:%2").arg(Session->endpoint().host).arg(Session->endpoint().port);
}

void TMainForm::RefuseConnection(const QString &reason) {
  ShowMessage(this, ConnectFailedText + QStringLiteral("\n\n") + reason,
              QStringLiteral("Verbindung abgelehnt"), MessageButtons::Ok, MessageIcon::Critical);
}

bool TMainForm::CheckServerIdentity(TlsSettings &tls, QByteArray &peerFingerprint) {
  const QString place = HostAndPort();
  const std::optional<TlsProbe> probe = Session->aside(
      QStringLiteral("Frage den Server „%1“ nach seinem Zertifikat ...").arg(place),
      [endpoint = Session->endpoint()] {
        return ProbeServerTls(endpoint.host, static_cast<std::uint16_t>(endpoint.port),
                              endpoint.connectTimeout);
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
    StoreTlsSettings(Session->endpoint().host, Session->endpoint().port, Session->endpoint().user,
                     tls);
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

QString TMainForm::TlsFailureReason(const TlsSettings &tls,
                                    ServerSession::ConnectFailure failure) const {
  const QString place = HostAndPort();
  QString reason;
  using Failure = ServerSession::ConnectFailure;
  if (failure == Failure::LoginMethodRefused)
    reason = QStringLiteral("Der Server „%1“ verlangt eine Anmeldung, bei der das Passwort im "
                            "Klartext übertragen würde, die Verbindung ist aber nicht "
                            "verschlüsselt. Das Passwort wurde nicht gesendet.")
                 .arg(place);
  else if (failure == Failure::TlsFailed && tls.check == TlsSettings::Check::CaFile)
    reason = QStringLiteral("Das Zertifikat des Servers „%1“ ließ sich mit der CA-Datei „%2“ "
                            "nicht bestätigen, oder der Server bietet keine Verschlüsselung an. "
                            "Es wurde nichts gesendet.")
                 .arg(place, tls.caFile);
  else if (failure == Failure::TlsFailed)
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
