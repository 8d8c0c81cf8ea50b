// "Verbinden..." and "Trennen": opening and closing the one server
// connection of the main window, with the connection dialog's entries and
// the connection's TLS settings.
//
// No password leaves unprotected. Before anything is sent, the server's TLS
// is looked at where that decides anything, and the client library is held
// to what was seen: a certificate trusted before, or at first use, is pinned
// (so that neither another server nor a server without TLS gets the login);
// a look without a clear answer never leads to a login that the answer would
// have stopped; a server without TLS is let in only once the user agreed.
// On a connection whose TLS the library does not enforce, no login method
// may hand the password itself to the server (clientlib/ServerSession).
// The connect time-out covers the look and the login together.
#pragma once

#include "clientlib/ServerSession.h"
#include "clientlib/TlsProbe.h"

#include <QDeadlineTimer>
#include <QString>

#include <memory>
#include <optional>

class QWidget;
class SshTunnel;
class TDialog;
struct ConnectionRequest;
struct SshSettings;
struct TlsSettings;

class ConnectionCommands {
public:
  // `tunnel` holds the SSH tunnel of a connection that goes through an SSH
  // host: it lives as long as the connection, and longer than the session's
  // use of it.
  ConnectionCommands(ServerSession &session, TDialog &dialog, QWidget *window,
                     std::unique_ptr<SshTunnel> &tunnel);
  // For a connection without the dialog, such as a second one to a saved
  // connection's server: only Open() and Disconnect().
  ConnectionCommands(ServerSession &session, QWidget *window, std::unique_ptr<SshTunnel> &tunnel);

  struct Attempt {
    enum class Outcome { DialogCancelled, NotConnected, Connected };
    Outcome outcome = Outcome::NotConnected;
    // When connected: the server's version, the encryption and the route.
    QString status;
  };
  // Shows the dialog and connects as it says; a failure has been reported.
  // Once connected, the dialog no longer holds the password: the connection
  // keeps the one copy until "Trennen".
  Attempt Connect();
  // Connects as `request` says (its TLS and SSH settings, its password); a
  // failure has been reported. The session's connection, if any, is closed
  // first.
  Attempt Open(ConnectionRequest request);
  // Closes the connection and its tunnel.
  void Disconnect();

private:
  // Opens the tunnel of a connection set to go through an SSH host; false
  // (after saying why, unless the user gave up) when there is none.
  bool OpenTunnel(const SshSettings &ssh);
  // "host:port" for messages.
  QString HostAndPort() const;
  // A connect refused before or after the library was asked.
  void RefuseConnection(const QString &reason,
                        const QString &title = QStringLiteral("Verbindung abgelehnt"));
  // What the client library is to insist on, after a look at the server's
  // TLS where that decides anything, and the user's word on a server met for
  // the first time (stored as trust). False: do not connect (said why,
  // unless the user said no or gave up).
  bool PrepareTls(TlsSettings &tls, const QDeadlineTimer &deadline, TlsOptions &options);
  // The look at the server: nothing when the user gave it up.
  std::optional<TlsProbe> Probe(const QDeadlineTimer &deadline, const QString &caFile);
  // Says why the library refused the login, where that is a matter of TLS
  // or of the login method; false for any other failure.
  bool ExplainRefusal(const TlsSettings &tls, const ServerSession::ConnectOutcome &outcome,
                      const QDeadlineTimer &deadline);

  ServerSession &m_session;
  TDialog *m_dialog;
  QWidget *m_window;
  std::unique_ptr<SshTunnel> &m_tunnel;
};
