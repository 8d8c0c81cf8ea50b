// "Verbinden..." and "Trennen": opening and closing the one server
// connection of the main window, with the connection dialog's entries and
// the connection's TLS settings.
#pragma once

#include "clientlib/ServerSession.h"

#include <QByteArray>
#include <QString>

class QWidget;
class TDialog;
struct TlsSettings;

class ConnectionCommands {
public:
  ConnectionCommands(ServerSession &session, TDialog &dialog, QWidget *window);

  struct Attempt {
    enum class Outcome { DialogCancelled, NotConnected, Connected };
    Outcome outcome = Outcome::NotConnected;
    QString status; // when connected: the server's version and the encryption
  };
  // Shows the dialog and connects as it says; a failure has been reported.
  Attempt Connect();
  // Closes the connection.
  void Disconnect();

private:
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
};
