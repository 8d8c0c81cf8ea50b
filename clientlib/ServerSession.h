// The one server connection of the program and the thread on which its
// blocking client-library calls run, so that the window never freezes.
//
// The interface thread hands each piece of server work to run(), which sends
// it to the connection's thread and waits for it through the installed call
// waiter: the program's waiter keeps the window painting, holds back the
// user's input and, when a call takes longer than a moment, offers
// "Abbrechen". Cancelling ends a statement on the server with KILL QUERY from
// a second, short-lived connection (and, should the server not answer that,
// breaks the connection); a connect attempt that is cancelled is given up.
//
// Everything here is called from the interface thread only, except the work
// functions, which run on the connection's thread and must not touch a widget.
#pragma once

#include "clientlib/mysql.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

// Where and as whom to connect.
struct ServerEndpoint {
  QString host;
  std::int32_t port = 3306;
  QString user;
  QString password;
  std::int32_t connectTimeout = 30; // seconds
  std::uint32_t clientFlags = 0;
};

// The answer of one client-library call that can fail: its error text and
// number are read on the connection's thread right after the call.
struct ServerReply {
  bool ok = true;
  unsigned int errorNumber = 0;
  QString error;
  static ServerReply Of(MYSQL *handle, bool succeeded);
};

// One call on the connection's thread, as its waiter sees it. Shared between
// the two threads; all members are safe to use from either.
class PendingCall {
public:
  virtual ~PendingCall() = default;
  virtual bool finished() const = 0;
  // Blocks the calling thread until the call has finished.
  virtual void wait() = 0;
  // Arranges for `notify` to be called (on any thread) once the call has
  // finished. Returns false, without storing it, when it already has.
  virtual bool notifyWhenFinished(std::function<void()> notify) = 0;
  // Asks for the call to end early. Safe to call more than once.
  virtual void cancel() = 0;
  virtual bool cancelRequested() const = 0;
};

// How the interface thread waits for a call; `what` names it for the user.
// The default waits without letting anything else happen. Returns the
// waiter it replaced, so that a command can wait its own way for a while.
using CallWaiter = std::function<void(const QString &what, PendingCall &call)>;
CallWaiter SetCallWaiter(CallWaiter waiter);

// Sets the connection options that every connection of the program uses:
// the connect time-out and the utf8mb4 character set. False when the client
// library refuses one of them.
bool ConfigureConnection(MYSQL *handle, const ServerEndpoint &endpoint);

class ServerSession {
public:
  ServerSession();
  ~ServerSession();
  ServerSession(const ServerSession &) = delete;
  ServerSession &operator=(const ServerSession &) = delete;

  // The connection handle: null while no connect attempt has left one. Its
  // owner may replace or clear it while no call runs.
  MYSQL *&handle() { return m_handle; }
  MYSQL *handle() const { return m_handle; }

  // Runs `work(handle())` on the connection's thread and returns its result;
  // an exception thrown by the work is thrown here again. While it runs, the
  // interface thread waits through the call waiter.
  template <typename Work> auto run(const QString &what, Work &&work) {
    using R = std::invoke_result_t<Work &, MYSQL *>;
    std::exception_ptr failure;
    if constexpr (std::is_void_v<R>) {
      execute(what, [&](MYSQL *h) {
        try {
          work(h);
        } catch (...) {
          failure = std::current_exception();
        }
      });
      if (failure)
        std::rethrow_exception(failure);
    } else {
      std::optional<R> result;
      execute(what, [&](MYSQL *h) {
        try {
          result.emplace(work(h));
        } catch (...) {
          failure = std::current_exception();
        }
      });
      if (failure)
        std::rethrow_exception(failure);
      return std::move(*result);
    }
  }

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

  // Whether the user cancelled the last call that run() or connect() waited for.
  bool lastCallCancelled() const { return m_lastCancelled; }
  // For the work of run() while it runs on the connection's thread: whether
  // the user has asked to cancel its call. Work of many statements stops at
  // the next one; the statement that runs is ended by the cancel itself.
  static bool CancelRequested();

  enum class ConnectStep { Connected, InitFailed, OptionsRefused, ConnectFailed, Cancelled };
  struct ConnectOutcome {
    ConnectStep step = ConnectStep::ConnectFailed;
    ServerReply reply; // the library's answer when the connect itself failed
  };
  // Opens a connection on a thread of its own, so that an attempt the user
  // gives up can finish in the background without holding anything up. On
  // success the new connection becomes handle(); on failure handle() is
  // null (a failed attempt's handle is closed at once). `prepare` may set
  // further options on the new handle before it connects. Any handle held
  // before must have been closed by the caller.
  ConnectOutcome connect(const QString &what, const ServerEndpoint &endpoint,
                         const std::function<bool(MYSQL *)> &prepare = {});

  // Closes handle() on the connection's thread and forgets it.
  void close(const QString &what);

  // Whether a given-up connect or a cancel is still under way in the
  // background; the client library must stay loaded until none is.
  static bool BackgroundWorkRunning();
  // Waits up to `milliseconds` for that background work to end.
  static bool WaitForBackgroundWork(int milliseconds);

  // For tests: the seconds a cancel waits for KILL QUERY to end a statement
  // before it breaks the connection instead.
  static void SetCancelGraceForTests(int seconds);

private:
  void execute(const QString &what, const std::function<void(MYSQL *)> &job);
  // Runs `job` on a thread of its own; false when the user gave it up, in
  // which case `discard` runs on that thread once the job has ended.
  bool runAside(const QString &what, std::function<void()> job, std::function<void()> discard);
  struct Worker;
  std::unique_ptr<Worker> m_worker;
  MYSQL *m_handle = nullptr;
  // How the open connection was made, for the short connection that cancels.
  ServerEndpoint m_endpoint;
  std::function<bool(MYSQL *)> m_prepare;
  bool m_lastCancelled = false;
};
