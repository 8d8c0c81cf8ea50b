// A tunnel to a database server that is reachable only through an SSH host.
//
// The system's OpenSSH client does the work, so that everything users have
// set up for it applies as on the command line: ~/.ssh/config (Host aliases,
// User, Port, IdentityFile, ProxyJump), the SSH agent, every key format of
// OpenSSH, and the host keys in known_hosts. It forwards a Unix socket in a
// folder of this user's own (mode 0700) to the database server's host and
// port as the SSH host sees them; the client library connects to that socket.
// ssh asks its questions (an unknown host key, a passphrase, a password)
// through this program as its SSH_ASKPASS helper (ssh/SshAskpass.h). A host
// key that changed is refused, never passed over.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QSocketNotifier;
class QWidget;
class ServerSession;

// The way to a database server through an SSH host.
struct SshRoute {
  // The SSH host as ssh takes it: a name, an address or a Host alias of
  // ~/.ssh/config. User, port (0) and key file may stay empty: ssh then takes
  // them from its configuration or its defaults.
  QString host;
  QString user;
  std::int32_t port = 0;
  QString keyFile;
  // The database server as the SSH host reaches it.
  QString targetHost;
  std::int32_t targetPort = 3306;
  std::int32_t connectTimeout = 30; // seconds, for reaching the SSH host
};

// Why a route cannot be handed to ssh (no host, a name that ssh would take
// for an option, a blank or control character, a port out of range), in
// German; empty when it can.
QString SshRouteProblem(const SshRoute &route);

class SshTunnel : public QObject {
  Q_OBJECT
public:
  // What came of Open: a tunnel, or a German title and text saying why there
  // is none. Neither: the user gave up ("Abbrechen", "Nein" to a host key).
  struct Opening {
    std::unique_ptr<SshTunnel> tunnel;
    QString title;
    QString error;
  };
  // Starts ssh and waits until the forward listens, through the session's
  // call waiter ("Bitte warten", whose "Abbrechen" gives the tunnel up),
  // asking ssh's questions on the way.
  static Opening Open(const SshRoute &route, ServerSession &session, QWidget *parent);

  ~SshTunnel() override; // closes

  // The local end to connect to: a Unix socket that only this user can reach.
  QString localSocket() const;
  // For the status bar: "über SSH bastion".
  QString routeText() const;
  // Whether ssh still runs.
  bool alive() const;
  // ssh's last messages (a forward the SSH host could not make, for one),
  // for the message about a connect through the tunnel that failed.
  QString messages() const;
  // Ends ssh and whatever it started (a ProxyJump's ssh), and removes the
  // tunnel's folder. Safe to call more than once.
  void close();

signals:
  // ssh ended by itself while the tunnel was open; `message` says so in German.
  void broken(const QString &message);

private:
  struct Process;
  SshTunnel(std::shared_ptr<Process> process, QString sshHost);
  void watch();
  void processEnded();
  std::shared_ptr<Process> m_process;
  QString m_sshHost;
  QSocketNotifier *m_notifier = nullptr;
};
