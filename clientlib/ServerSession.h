// The one server connection of the program and the thread on which its
// blocking client-library calls run, so that the window never freezes.
//
// The session offers typed operations that return plain values: connect and
// close, escape, one statement (query) or several (batch); the other files of
// clientlib/ add the reads and statements of the program's commands. Each
// runs on the connection's thread while the interface thread waits through
// the installed call waiter: the program's waiter keeps the window painting,
// holds back the user's input and, when a call takes longer than a moment,
// offers "Abbrechen". Cancelling ends a statement on the server with KILL
// QUERY from a second, short-lived connection (and, should the server not
// answer that, breaks the connection); a connect attempt that is cancelled is
// given up.
//
// Everything here is called from the interface thread only. Nothing outside
// clientlib/ sees the client library or its handle.
#pragma once

#include "clientlib/QueryResult.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

// Where and as whom to connect.
struct ServerEndpoint {
  QString host;
  std::int32_t port = 3306;
  QString user;
  // Taken by ServerSession::connect: the open connection keeps it, as the one
  // copy the program holds while connected, until it is closed.
  QString password;
  std::int32_t connectTimeout = 30; // seconds
  std::uint32_t clientFlags = 0;
  // Through an SSH tunnel: the Unix socket of its forward; the client library
  // is then given "localhost" while `host` keeps naming the server. Never
  // empty for a tunnelled connection, so that nothing can go to a local
  // server instead once the tunnel is gone.
  QString localSocket;
};

// What the client library is told about TLS for one connect. It always asks
// for TLS where the server offers it.
struct TlsOptions {
  QByteArray caFile;          // check the certificate against this CA
  QByteArray peerFingerprint; // SHA-1: the certificate must be exactly this one
  // Whether the library compares the certificate's name with the host. Not
  // through an SSH tunnel, where it would compare it with "localhost": the
  // probe has compared it with the server's name, and the library is held
  // to that very certificate.
  bool checkHostName = true;
  // Whether the library itself refuses a connection without TLS, or with
  // another server than the one checked: only then may a login method hand
  // the password itself to the server.
  bool enforced() const { return !caFile.isEmpty() || !peerFingerprint.isEmpty(); }
};

// The login methods the client library may use on a connection whose TLS it
// does not enforce: those that never hand the password itself to the server.
QStringList LoginMethodsWithoutPassword();

// The server's version and how the open connection is encrypted.
struct ConnectionFacts {
  QString serverVersion;
  QString tlsVersion;
  QString cipher; // empty: not encrypted
  QString characterSet;
  QString route; // how the library reaches the server: "Localhost via UNIX socket", "h via TCP/IP"
};

// One call on the connection's thread, as its waiter sees it. Shared between
// the two threads; all members are safe to use from either.
class PendingCall {
public:
  virtual ~PendingCall() = default;
  virtual bool finished() const = 0;
  // Blocks the calling thread until the call has finished.
  virtual void wait() = 0;
  // The same for at most `time`; whether the call has finished.
  virtual bool waitFor(std::chrono::milliseconds time) = 0;
  // Arranges for `notify` to be called (on any thread) once the call has
  // finished. Returns false, without storing it, when it already has.
  virtual bool notifyWhenFinished(std::function<void()> notify) = 0;
  // Asks for the call to end early. Safe to call more than once.
  virtual void cancel() = 0;
  virtual bool cancelRequested() const = 0;
};

// Thrown by a call that found the connection gone: the server ended,
// restarted or broke it, or another session killed it. The session has
// closed its end and counts as not connected; whether a statement sent in
// that call was carried out is not known. `error` is the client library's
// text.
class ConnectionLost : public std::runtime_error {
public:
  explicit ConnectionLost(const QString &error)
      : std::runtime_error(error.toStdString()), error(error) {}
  QString error;
};

// Thrown by a call that the program gave up because it ends the command
// that made it (ServerSession::interruptCalls): the statement under way was
// ended on the server, and no later call was sent.
class CallInterrupted : public std::runtime_error {
public:
  CallInterrupted() : std::runtime_error("call interrupted") {}
};

// How the interface thread waits for a call; `what` names it for the user.
// The default waits without letting anything else happen. Returns the
// waiter it replaced, so that a command can wait its own way for a while.
using CallWaiter = std::function<void(const QString &what, PendingCall &call)>;
CallWaiter SetCallWaiter(CallWaiter waiter);

class ServerSession {
public:
  ServerSession();
  ~ServerSession();
  ServerSession(const ServerSession &) = delete;
  ServerSession &operator=(const ServerSession &) = delete;

  // Whether a connection is open: a connect succeeded and nothing closed it
  // since (a connection the server broke counts until it is closed).
  bool connected() const;
  // Whether the open connection is known to be broken: a cancel had to break
  // it, since the server did not end the statement. Every call on it fails
  // at once until it is closed.
  bool connectionBroken() const;
  // Runs on the interface thread right after the call that broke the
  // connection, while the command that made the call still runs.
  void setConnectionBrokenHandler(std::function<void()> handler) {
    m_brokenHandler = std::move(handler);
  }

  // The connection parameters of the program: where the next connect goes,
  // as last set, whether or not a connect followed; the password only until
  // a connect takes it.
  const ServerEndpoint &endpoint() const { return m_endpoint; }
  void setEndpoint(const ServerEndpoint &endpoint) { m_endpoint = endpoint; }

  // For files of clientlib/ only (defined in clientlib/SessionWork.h): runs
  // `work(MYSQL *)` on the connection's thread with the open connection and
  // returns its result; an exception thrown by the work is thrown here
  // again. While it runs, the interface thread waits through the call waiter.
  // A call that finds the connection gone throws ConnectionLost.
  template <typename Work> auto run(const QString &what, Work &&work);

  // Runs `work()`, which needs no connection, on a thread of its own, the
  // interface thread waiting as for run(). The user may give it up: then
  // nothing is returned at once and the work ends in the background.
  template <typename Work> auto aside(const QString &what, Work work) {
    using R = std::invoke_result_t<Work &>;
    struct Outcome {
      std::optional<R> value;
      std::exception_ptr failure;
    };
    auto outcome = std::make_shared<Outcome>();
    const bool finished = runAside(what,
                                   [outcome, work = std::move(work)]() mutable {
                                     try {
                                       outcome->value.emplace(work());
                                     } catch (...) {
                                       outcome->failure = std::current_exception();
                                     }
                                   },
                                   {});
    if (finished && outcome->failure)
      std::rethrow_exception(outcome->failure);
    return finished ? std::move(outcome->value) : std::optional<R>();
  }

  // Whether the user cancelled the last call that the session waited for.
  bool lastCallCancelled() const { return m_lastCancelled; }
  // Whether `reply`, the answer of that last call, says that the user's
  // cancel ended its statement before it was carried out (nothing changed).
  bool cancelledByUser(const ServerReply &reply) const;
  // Whether a call of run(), aside() or connect() is being waited for.
  bool busy() const { return m_waiting > 0; }
  // For the work of run() while it runs on the connection's thread: whether
  // the user has asked to cancel its call. Work of many statements stops at
  // the next one; the statement that runs is ended by the cancel itself.
  static bool CancelRequested();

  // Ends the statement of the call being waited for (as "Abbrechen" does)
  // and makes that call, and every call of run() after it, throw
  // CallInterrupted instead of going to the server, until allowCalls().
  // Closing the connection stays possible.
  void interruptCalls();
  void allowCalls() { m_interrupted = false; }
  bool callsInterrupted() const { return m_interrupted; }

  enum class ConnectStep { Connected, InitFailed, OptionsRefused, ConnectFailed, Cancelled };
  // Why the client library refused a connect, where it is a matter of the
  // login method (one that would send the password as typed over a
  // connection without TLS) or of TLS (no handshake, or not the certificate
  // asked for).
  enum class ConnectFailure { Other, LoginMethodRefused, TlsFailed };
  struct ConnectOutcome {
    ConnectStep step = ConnectStep::ConnectFailed;
    ServerReply reply; // the library's answer when the connect itself failed
    ConnectFailure failure = ConnectFailure::Other;
    // LoginMethodRefused: the method the server asked for, where it said.
    QString loginMethod;
  };
  // Connects to endpoint() on a thread of its own, so that an attempt the
  // user gives up can finish in the background without holding anything
  // up; a failed attempt leaves no connection. Any connection open before
  // must have been closed. The library's connect time-out is the endpoint's,
  // or what is left until `deadline` when that is less. The password leaves
  // the endpoint: a failed attempt lets it go, an open connection keeps it.
  ConnectOutcome connect(const QString &what, const TlsOptions &tls,
                         QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));

  // Connects to `other`'s server as `other` is connected (its endpoint and
  // password, its TLS options, its SSH tunnel), so that two connections can
  // work at the same time. `other` must be connected; this one must not be.
  ConnectOutcome connectLike(const QString &what, const ServerSession &other);

  // Closes the open connection on the connection's thread, if there is one.
  void close(const QString &what);

  // The server's number for the open connection (its thread id), as its
  // process list and query log name it.
  unsigned long connectionId();
  // A value for the inside of a '...' literal as the server of the open
  // connection reads it (its NO_BACKSLASH_ESCAPES mode included).
  QString escape(const QString &value);
  // Sends one statement and reads its result; a text of several statements
  // is refused by the server.
  QueryResult query(const QString &what, const QString &statement);
  // Sends the statements (each one statement, without a final semicolon) in
  // one request where the client library can, otherwise one after the other.
  // The server's consent to several statements in one request is asked once
  // per connection (a round trip of its own) and kept.
  BatchResult batch(const QString &what, const QStringList &statements);

  // Whether a given-up connect or a cancel is still under way in the
  // background; the client library must stay loaded until none is.
  static bool BackgroundWorkRunning();
  // Waits up to `milliseconds` for that background work to end.
  static bool WaitForBackgroundWork(int milliseconds);

  // For tests: the seconds a cancel waits for KILL QUERY to end a statement
  // before it breaks the connection instead.
  static void SetCancelGraceForTests(int seconds);
  // For tests without a server: a handle that never connected counts as
  // the open connection, until it is closed.
  void PretendConnectedForTests();

private:
  friend struct SessionAccess;
  // Runs `job` on a thread of its own; false when the user gave it up, in
  // which case `discard` runs on that thread once the job has ended.
  bool runAside(const QString &what, std::function<void()> job, std::function<void()> discard);
  struct Worker;
  struct Connection;
  std::unique_ptr<Worker> m_worker;
  std::unique_ptr<Connection> m_connection; // the open connection, if any
  ServerEndpoint m_endpoint;
  std::function<void()> m_brokenHandler;
  bool m_lastCancelled = false;
  int m_waiting = 0;
  bool m_interrupted = false;
  // The call being waited for, so that it can be interrupted.
  std::weak_ptr<PendingCall> m_current;
};

// The server's version and the encryption of the open connection.
ConnectionFacts ReadConnectionFacts(ServerSession &session);
