// "Verbinden..." and "Trennen": opening and closing the one server
// connection of the main window, with the connection dialog's entries and
// the connection's TLS settings.
#pragma once

#include "clientlib/ServerSession.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QWidget;
class SshTunnel;
class TDialog;
struct SshSettings;
struct TlsSettings;

class ConnectionCommands {
public:
  // `tunnel` holds the SSH tunnel of a connection that goes through an SSH
  // host: it lives as long as the connection, and longer than the session's
  // use of it.
  ConnectionCommands(ServerSession &session, TDialog &dialog, QWidget *window,
                     std::unique_ptr<SshTunnel> &tunnel);

  struct Attempt {
    enum class Outcome { DialogCancelled, NotConnected, Connected };
    Outcome outcome = Outcome::NotConnected;
    // When connected: the server's version, the encryption and the route.
    QString status;
  };
  // Shows the dialog and connects as it says; a failure has been reported.
  Attempt Connect();
  // Closes the connection and its tunnel.
  void Disconnect();

private:
  // Opens the tunnel of a connection set to go through an SSH host; false
  // (after saying why, unless the user gave up) when there is none.
  bool OpenTunnel(const SshSettings &ssh);
  // "host:port" for messages.
  QString HostAndPort() const;
  // A connect refused before or after the library was asked.
  void RefuseConnection(const QString &reason);
  // The server's certificate looked at and judged before anything is sent
  // (false: do not connect); the fingerprint the client library is to
  // insist on set.
  bool CheckServerIdentity(TlsSettings &tls, QByteArray &peerFingerprint);
  // Why a library connect failed, when it is a matter of TLS or the login method.
  QString TlsFailureReason(const TlsSettings &tls, ServerSession::ConnectFailure failure) const;

  ServerSession &m_session;
  TDialog &m_dialog;
  QWidget *m_window;
  std::unique_ptr<SshTunnel> &m_tunnel;
};
