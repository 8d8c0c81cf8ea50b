#include "connection/ConnectionCommands.h"

#include "common/Interaction.h"
#include "common/ScopeExit.h"
#include "connection/SshSettings.h"
#include "connection/TlsSettings.h"
#include "connection/verbindungFUnit.h"
#include "ssh/SshTunnel.h"

#include <QFile>

#include <utility>

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
    : m_session(session), m_dialog(&dialog), m_window(window), m_tunnel(tunnel) {}

ConnectionCommands::ConnectionCommands(ServerSession &session, QWidget *window,
                                       std::unique_ptr<SshTunnel> &tunnel)
    : m_session(session), m_dialog(nullptr), m_window(window), m_tunnel(tunnel) {}

ConnectionCommands::Attempt ConnectionCommands::Connect() {
  if (ExecModal(*m_dialog) != QDialog::Accepted)
    return {Attempt::Outcome::DialogCancelled, {}};
  const Attempt attempt = Open(m_dialog->Request());
  if (attempt.outcome == Attempt::Outcome::Connected)
    m_dialog->ForgetPassword();
  return attempt;
}

ConnectionCommands::Attempt ConnectionCommands::Open(ConnectionRequest request) {
  using Outcome = Attempt::Outcome;
  if (!request.refusal.isEmpty()) {
    ShowMessage(m_window, request.refusal);
    return {};
  }
  // The password joins the endpoint only when the library is asked, so that
  // no refusal before leaves a copy behind.
  const QString password = std::exchange(request.endpoint.password, QString());
  // A connection left from before is closed before it is replaced.
  m_session.close(QStringLiteral("Schließe die alte Verbindung ..."));
  m_tunnel.reset();
  m_session.setEndpoint(request.endpoint);
  const ServerEndpoint &endpoint = m_session.endpoint();
  TlsSettings tls = request.tls;
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
  // One time-out for the look at the server and the login together.
  const QDeadlineTimer deadline(qint64(endpoint.connectTimeout) * 1000);
  TlsOptions options;
  if (!PrepareTls(tls, deadline, options))
    return {};
  if (deadline.hasExpired()) {
    RefuseConnection(QStringLiteral("Der Server „%1“ hat nicht innerhalb der Wartezeit von %2 "
                                    "Sekunden geantwortet. Es wurde nichts gesendet.")
                         .arg(HostAndPort())
                         .arg(endpoint.connectTimeout));
    return {};
  }
  ServerEndpoint login = endpoint;
  login.password = password;
  if (m_tunnel)
    login.localSocket = m_tunnel->localSocket();
  m_session.setEndpoint(login);
  const ServerSession::ConnectOutcome outcome =
      m_session.connect(QStringLiteral("Verbinde mit „%1“ ...").arg(login.host), options, deadline);
  switch (outcome.step) {
  case ServerSession::ConnectStep::InitFailed:
    ShowMessage(m_window, QStringLiteral("Couldn't init PMYSQL object"));
    return {};
  case ServerSession::ConnectStep::OptionsRefused:
    ShowMessage(m_window, QStringLiteral("Konnte Optionen nicht setzen"));
    return {};
  case ServerSession::ConnectStep::ConnectFailed:
    if (!ExplainRefusal(tls, outcome, deadline))
      ShowMessage(m_window, ConnectFailedText + SshReport(m_tunnel.get()), outcome.reply.error,
                  MessageButtons::Ok, MessageIcon::Critical);
    return {};
  case ServerSession::ConnectStep::Cancelled: // the user gave the attempt up
    return {};
  case ServerSession::ConnectStep::Connected: break;
  }
  const ConnectionFacts facts = ReadConnectionFacts(m_session);
  // Only the local socket, or a server the probe could not ask, gets here
  // unencrypted; where the library was to enforce TLS, a login method may
  // have handed over the password: never without encryption.
  if ((tls.required || options.enforced()) && facts.cipher.isEmpty()) {
    Disconnect();
    RefuseConnection(QStringLiteral("Die Verbindung zu „%1“ ist nicht verschlüsselt, für diese "
                                    "Verbindung ist Verschlüsselung (TLS) aber verlangt. Die "
                                    "Verbindung wurde wieder getrennt.")
                         .arg(login.host));
    return {};
  }
  return {Outcome::Connected,
          StatusText(facts) +
              (m_tunnel ? QStringLiteral(" – ") + m_tunnel->routeText() : QString())};
}

void ConnectionCommands::Disconnect() {
  // The closed connection is forgotten, so that nothing can use or close it
  // twice; its password is overwritten.
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

void ConnectionCommands::RefuseConnection(const QString &reason, const QString &title) {
  ShowMessage(m_window,
              ConnectFailedText + QStringLiteral("\n\n") + reason + SshReport(m_tunnel.get()),
              title, MessageButtons::Ok, MessageIcon::Critical);
}

std::optional<TlsProbe> ConnectionCommands::Probe(const QDeadlineTimer &deadline,
                                                  const QString &caFile) {
  return m_session.aside(
      QStringLiteral("Frage den Server „%1“ nach seinem Zertifikat ...").arg(HostAndPort()),
      [endpoint = m_session.endpoint(), deadline,
       route = TlsProbeRoute{m_tunnel ? m_tunnel->localSocket() : QString(), caFile}] {
        return ProbeServerTls(endpoint.host, static_cast<std::uint16_t>(endpoint.port), deadline,
                              route);
      });
}

bool ConnectionCommands::PrepareTls(TlsSettings &tls, const QDeadlineTimer &deadline,
                                    TlsOptions &options) {
  using Check = TlsSettings::Check;
  if (tls.check == Check::CaFile)
    options.caFile = QFile::encodeName(tls.caFile);
  // The local socket never leaves the machine.
  if (IsLocalSocket(m_session.endpoint().host) && !m_tunnel)
    return true;
  if (tls.check == Check::Fingerprint && !tls.fingerprint.isEmpty()) {
    // The library connects to that very certificate only, and to no server
    // without TLS: nothing to look at first.
    options.peerFingerprint = tls.libraryFingerprint.toLatin1();
    return true;
  }
  if (!tls.required && tls.check == Check::None)
    return true;
  // Through the tunnel the library could compare the certificate's name with
  // "localhost" only: the probe checks the CA and the server's name, and the
  // library is held to the certificate it saw.
  const bool caThroughTunnel = m_tunnel && tls.check == Check::CaFile;
  if (caThroughTunnel)
    options.checkHostName = false;
  const std::optional<TlsProbe> probe = Probe(deadline, caThroughTunnel ? tls.caFile : QString());
  if (!probe) // given up
    return false;
  const QString place = HostAndPort();
  switch (probe->outcome) {
  case TlsProbe::Outcome::Unknown:
    // With the CA file the library's own check stops whatever the answer
    // would have stopped; a server the user let in without TLS gets the
    // login it gets without TLS. Otherwise the login would go out unchecked.
    if ((tls.check == Check::CaFile && !m_tunnel) || (tls.acceptedWithoutTls && !tls.required))
      return true;
    RefuseConnection(QStringLiteral("Der Server „%1“ gab auf die Frage nach seiner "
                                    "Verschlüsselung keine klare Antwort (%2). Ohne sie lässt "
                                    "sich nicht prüfen, ob die Verbindung sicher ist. Es wurde "
                                    "nichts gesendet.")
                         .arg(place, probe->error));
    return false;
  case TlsProbe::Outcome::Untrusted:
    RefuseConnection(QStringLiteral("Das Zertifikat des Servers „%1“ ließ sich mit der CA-Datei "
                                    "„%2“ nicht bestätigen (%3). Es wurde nichts gesendet.")
                         .arg(place, tls.caFile, probe->error));
    return false;
  case TlsProbe::Outcome::Plain: {
    if (tls.required || tls.check == Check::CaFile) {
      RefuseConnection(QStringLiteral("Der Server „%1“ bietet keine Verschlüsselung (TLS) an, für "
                                      "diese Verbindung ist sie aber verlangt. Es wurde nichts "
                                      "gesendet.")
                           .arg(place));
      return false;
    }
    if (tls.acceptedWithoutTls)
      return true;
    const MessageAnswer answer = ShowMessage(
        m_window,
        QStringLiteral("Der Server „%1“ bietet keine Verschlüsselung an. Alles, was Sie mit ihm "
                       "austauschen, ginge unverschlüsselt über das Netz: Wer die Verbindung "
                       "abhören kann, liest mit, und wer sie abfangen kann, kann sich als dieser "
                       "Server ausgeben. (Das Passwort selbst wird dabei nie im Klartext "
                       "gesendet.)\n\nTrotzdem verbinden?")
            .arg(place),
        QStringLiteral("Server ohne Verschlüsselung"), MessageButtons::YesAlwaysNo,
        MessageIcon::Question);
    if (answer == MessageAnswer::Always) {
      tls.acceptedWithoutTls = true;
      StoreTlsSettings(m_session.endpoint().host, m_session.endpoint().port,
                       m_session.endpoint().user, tls);
    }
    return answer == MessageAnswer::Yes || answer == MessageAnswer::Always;
  }
  case TlsProbe::Outcome::Encrypted: break;
  }
  const QString sha1 = CertificateFingerprint(probe->certificate, QCryptographicHash::Sha1);
  if (tls.check == Check::Fingerprint) {
    const QString sha256 = CertificateFingerprint(probe->certificate, QCryptographicHash::Sha256);
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
    tls.acceptedWithoutTls = false;
    StoreTlsSettings(m_session.endpoint().host, m_session.endpoint().port,
                     m_session.endpoint().user, tls);
  }
  // The library connects only to the very certificate seen here, so that
  // TLS cannot be taken away between this look and the login either.
  if (tls.check != Check::CaFile || m_tunnel)
    options.peerFingerprint = sha1.toLatin1();
  return true;
}

bool ConnectionCommands::ExplainRefusal(const TlsSettings &tls,
                                        const ServerSession::ConnectOutcome &outcome,
                                        const QDeadlineTimer &deadline) {
  const QString place = HostAndPort();
  using Failure = ServerSession::ConnectFailure;
  if (outcome.failure == Failure::LoginMethodRefused) {
    const QString method = outcome.loginMethod.isEmpty()
                               ? QStringLiteral("einer Anmeldeart")
                               : QStringLiteral("„%1“").arg(outcome.loginMethod);
    RefuseConnection(QStringLiteral("Der Server „%1“ verlangt die Anmeldung mit %2. Dabei ginge "
                                    "das Passwort selbst an den Server, im Klartext oder "
                                    "verschlüsselt mit einem Schlüssel, den der Server schickt. "
                                    "Das geschieht nur über eine Verbindung, deren "
                                    "Verschlüsselung geprüft ist (mit einer CA-Datei oder einem "
                                    "bestätigten Fingerabdruck, siehe „TLS...“); diese ist es "
                                    "nicht. Das Passwort wurde nicht gesendet.")
                         .arg(place, method));
    return true;
  }
  if (outcome.failure != Failure::TlsFailed)
    return false;
  if (tls.check == TlsSettings::Check::CaFile) {
    RefuseConnection(QStringLiteral("Das Zertifikat des Servers „%1“ ließ sich mit der CA-Datei "
                                    "„%2“ nicht bestätigen, oder der Server bietet keine "
                                    "Verschlüsselung an. Es wurde nichts gesendet.")
                         .arg(place, tls.caFile));
    return true;
  }
  // The library held the login to the trusted certificate: another look
  // (which sends nothing) says what the server shows instead.
  const std::optional<TlsProbe> probe =
      tls.fingerprint.isEmpty() ? std::nullopt : Probe(deadline, QString());
  if (probe && probe->outcome == TlsProbe::Outcome::Plain) {
    RefuseConnection(
        QStringLiteral("Der Server „%1“ bietet keine Verschlüsselung (TLS) mehr an, obwohl er "
                       "sich bisher mit einem vertrauten Zertifikat auswies. Jemand könnte die "
                       "Verbindung abfangen und sich als dieser Server ausgeben. Es wurde nichts "
                       "gesendet.")
            .arg(place));
    return true;
  }
  const QString offered =
      probe && probe->outcome == TlsProbe::Outcome::Encrypted
          ? CertificateFingerprint(probe->certificate, QCryptographicHash::Sha256)
          : QString();
  if (!offered.isEmpty() && offered != tls.fingerprint) {
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
            .arg(place, FingerprintLines(tls.fingerprint), FingerprintLines(offered)),
        QStringLiteral("Identität des Servers geändert"), MessageButtons::Ok,
        MessageIcon::Critical);
    return true;
  }
  RefuseConnection(QStringLiteral("Die verschlüsselte Verbindung zu „%1“ kam nicht zustande, oder "
                                  "der Server wies sich nicht mit dem vertrauten Zertifikat aus. "
                                  "Es wurde nichts gesendet.")
                       .arg(place));
  return true;
}
