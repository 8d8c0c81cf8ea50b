#include "connection/ConnectionCommands.h"

#include "clientlib/TlsProbe.h"
#include "common/Interaction.h"
#include "common/ScopeExit.h"
#include "connection/SshSettings.h"
#include "connection/TlsSettings.h"
#include "connection/verbindungFUnit.h"
#include "ssh/SshTunnel.h"

#include <QFile>

namespace {

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

// What ssh said, for a connect through the tunnel that failed.
QString SshReport(const SshTunnel *tunnel) {
  const QString messages = tunnel ? tunnel->messages() : QString();
  return messages.isEmpty() ? messages : QStringLiteral("\n\nssh meldet:\n") + messages;
}

} // namespace

ConnectionCommands::ConnectionCommands(ServerSession &session, TDialog &dialog, QWidget *window,
                                       std::unique_ptr<SshTunnel> &tunnel)
    : m_session(session), m_dialog(dialog), m_window(window), m_tunnel(tunnel) {}

ConnectionCommands::Attempt ConnectionCommands::Connect() {
  using Outcome = Attempt::Outcome;
  if (ExecModal(m_dialog) != QDialog::Accepted)
    return {Outcome::DialogCancelled, {}};
  const ConnectionRequest request = m_dialog.Request();
  if (!request.refusal.isEmpty()) {
    ShowMessage(m_window, request.refusal);
    return {};
  }
  // A connection left from before is closed before it is replaced.
  m_session.close(QStringLiteral("Schließe die alte Verbindung ..."));
  m_tunnel.reset();
  m_session.setEndpoint(request.endpoint);
  const ServerEndpoint &endpoint = m_session.endpoint();
  TlsSettings tls = request.tls;
  TlsOptions options;
  if (tls.check == TlsSettings::Check::CaFile)
    options.caFile = QFile::encodeName(tls.caFile);
  if (tls.check == TlsSettings::Check::Fingerprint)
    options.peerFingerprint = tls.libraryFingerprint.toLatin1();
  if (tls.check == TlsSettings::Check::CaFile && tls.caFile.isEmpty()) {
    RefuseConnection(QStringLiteral("Der Server soll mit einer CA-Datei geprüft werden, es ist "
                                    "aber keine angegeben (Schaltfläche „TLS...“)."));
    return {};
  }
  // A connection set to go through an SSH host gets its tunnel first; every
  // way out of here without a connection closes it again. Through it,
  // "localhost" is the SSH host's, so the server is checked as any other.
  if (request.ssh.enabled && !OpenTunnel(request.ssh))
    return {};
  ScopeExit tunnelUnlessConnected([this] {
    if (!m_session.connected())
      m_tunnel.reset();
  });
  if ((tls.required || tls.check != TlsSettings::Check::None) &&
      (!IsLocalSocket(endpoint.host) || m_tunnel) &&
      !CheckServerIdentity(tls, options.peerFingerprint))
    return {};
  if (m_tunnel && tls.check == TlsSettings::Check::CaFile) {
    options.checkHostName = false;
    if (options.peerFingerprint.isEmpty()) { // the probe could not check the name
      RefuseConnection(QStringLiteral("Das Zertifikat des Servers „%1“ ließ sich durch den "
                                      "SSH-Tunnel nicht prüfen. Es wurde nichts gesendet.")
                           .arg(HostAndPort()));
      return {};
    }
  }
  if (m_tunnel) {
    ServerEndpoint tunnelled = endpoint;
    tunnelled.localSocket = m_tunnel->localSocket();
    m_session.setEndpoint(tunnelled);
  }

  const ServerSession::ConnectOutcome outcome =
      m_session.connect(QStringLiteral("Verbinde mit „%1“ ...").arg(endpoint.host), options);
  switch (outcome.step) {
  case ServerSession::ConnectStep::InitFailed:
    ShowMessage(m_window, QStringLiteral("Couldn't init PMYSQL object"));
    return {};
  case ServerSession::ConnectStep::OptionsRefused:
    ShowMessage(m_window, QStringLiteral("Konnte Optionen nicht setzen"));
    return {};
  case ServerSession::ConnectStep::ConnectFailed:
    ShowMessage(m_window,
                ConnectFailedText + TlsFailureReason(tls, outcome.failure) +
                    SshReport(m_tunnel.get()),
                outcome.reply.error, MessageButtons::Ok, MessageIcon::Critical);
    return {};
  case ServerSession::ConnectStep::Cancelled: // the user gave the attempt up
    return {};
  case ServerSession::ConnectStep::Connected: break;
  }
  const ConnectionFacts facts = ReadConnectionFacts(m_session);
  // Only the local socket, or a server the probe could not ask, gets here unencrypted.
  if (tls.required && facts.cipher.isEmpty()) {
    Disconnect();
    RefuseConnection(QStringLiteral("Die Verbindung zu „%1“ ist nicht verschlüsselt, für diese "
                                    "Verbindung ist Verschlüsselung (TLS) aber verlangt. Die "
                                    "Verbindung wurde wieder getrennt.")
                         .arg(endpoint.host));
    return {};
  }
  return {Outcome::Connected,
          StatusText(facts) +
              (m_tunnel ? QStringLiteral(" – ") + m_tunnel->routeText() : QString())};
}

void ConnectionCommands::Disconnect() {
  // The closed connection is forgotten, so that nothing can use or close it twice.
  m_session.close(QStringLiteral("Trenne die Verbindung ..."));
  m_tunnel.reset(); // the tunnel ends with the connection
}

bool ConnectionCommands::OpenTunnel(const SshSettings &ssh) {
  const ServerEndpoint &endpoint = m_session.endpoint();
  SshTunnel::Opening opening =
      SshTunnel::Open({ssh.host, ssh.user, ssh.port, ssh.keyFile, endpoint.host, endpoint.port,
                       endpoint.connectTimeout},
                      m_session, m_window);
  if (!opening.tunnel) {
    if (!opening.error.isEmpty())
      ShowMessage(m_window, ConnectFailedText + QStringLiteral("\n\n") + opening.error,
                  opening.title, MessageButtons::Ok, MessageIcon::Critical);
    return false;
  }
  m_tunnel = std::move(opening.tunnel);
  return true;
}

QString ConnectionCommands::HostAndPort() const {
  return QStringLiteral("%1:%2").arg(m_session.endpoint().host).arg(m_session.endpoint().port);
}

void ConnectionCommands::RefuseConnection(const QString &reason) {
  ShowMessage(m_window, ConnectFailedText + QStringLiteral("\n\n") + reason,
              QStringLiteral("Verbindung abgelehnt"), MessageButtons::Ok, MessageIcon::Critical);
}

bool ConnectionCommands::CheckServerIdentity(TlsSettings &tls, QByteArray &peerFingerprint) {
  const QString place = HostAndPort();
  const std::optional<TlsProbe> probe = m_session.aside(
      QStringLiteral("Frage den Server „%1“ nach seinem Zertifikat ...").arg(place),
      [endpoint = m_session.endpoint(),
       // through the tunnel, and there with the CA check
       route = TlsProbeRoute{m_tunnel ? m_tunnel->localSocket() : QString(),
                             m_tunnel && tls.check == TlsSettings::Check::CaFile ? tls.caFile
                                                                                 : QString()}] {
        return ProbeServerTls(endpoint.host, static_cast<std::uint16_t>(endpoint.port),
                              endpoint.connectTimeout, route);
      });
  if (!probe) // given up
    return false;
  switch (probe->outcome) {
  case TlsProbe::Outcome::Unknown: // the client library will say what it finds
    return true;
  case TlsProbe::Outcome::Untrusted:
    RefuseConnection(QStringLiteral("Das Zertifikat des Servers „%1“ ließ sich mit der CA-Datei "
                                    "„%2“ nicht bestätigen (%3). Es wurde nichts gesendet.")
                         .arg(place, tls.caFile, probe->error));
    return false;
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
    if (ShowMessage(m_window, question, QStringLiteral("Unbekannter Server"), MessageButtons::YesNo,
                    MessageIcon::Question) != MessageAnswer::Yes)
      return false;
    tls.fingerprint = sha256;
    tls.libraryFingerprint = sha1;
    StoreTlsSettings(m_session.endpoint().host, m_session.endpoint().port,
                     m_session.endpoint().user, tls);
  } else if (tls.check == TlsSettings::Check::Fingerprint && tls.fingerprint != sha256) {
    ShowMessage(
        m_window,
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
  if (tls.check != TlsSettings::Check::CaFile || m_tunnel)
    peerFingerprint = sha1.toLatin1();
  return true;
}

QString ConnectionCommands::TlsFailureReason(const TlsSettings &tls,
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
