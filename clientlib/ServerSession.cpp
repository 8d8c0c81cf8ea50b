#include "clientlib/ServerSession.h"

#include "clientlib/SessionWork.h"
#include "clientlib/TlsProbe.h"
#include "common/Secret.h"

#include <errmsg.h>

#include <stdexcept>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// Threads that outlive the call they served: a given-up connect attempt and
// the cancel connections. They are counted, so that the program can keep the
// client library loaded until they are done with it.
struct BackgroundThreads {
  std::mutex mutex;
  std::condition_variable idle;
  int running = 0;
};
BackgroundThreads &Background() {
  static BackgroundThreads threads;
  return threads;
}

// Starts `body` on a detached thread that counts as background work.
template <typename Body> void StartBackgroundThread(Body body) {
  {
    const std::lock_guard lock(Background().mutex);
    ++Background().running;
  }
  std::thread([body = std::move(body)]() mutable {
    try {
      body();
    } catch (...) {
      // A missing entry point or a failed allocation: the background work is
      // best effort, the call it served reports for itself.
    }
    const std::lock_guard lock(Background().mutex);
    if (--Background().running == 0)
      Background().idle.notify_all();
  }).detach();
}

std::atomic<int> CancelGraceSeconds{5};

// How long a cancel connection may take to connect and to get its KILL through.
constexpr int CancelConnectionSeconds = 5;

// The state of one call, shared by the interface thread, the thread that runs
// the call and a cancel that may outlive both.
class CallState : public PendingCall {
public:
  bool finished() const override {
    const std::lock_guard lock(m_mutex);
    return m_done;
  }

  void wait() override {
    std::unique_lock lock(m_mutex);
    m_finished.wait(lock, [this] { return m_done; });
  }

  bool waitFor(std::chrono::milliseconds time) override {
    std::unique_lock lock(m_mutex);
    return m_finished.wait_for(lock, time, [this] { return m_done; });
  }

  bool notifyWhenFinished(std::function<void()> notify) override {
    const std::lock_guard lock(m_mutex);
    if (m_done)
      return false;
    m_notify = std::move(notify);
    return true;
  }

  void cancel() override {
    if (m_cancelRequested.exchange(true))
      return;
    if (m_onCancel)
      m_onCancel();
  }

  bool cancelRequested() const override { return m_cancelRequested; }

  void setOnCancel(std::function<void()> onCancel) { m_onCancel = std::move(onCancel); }

  // Whether the cancel had to break the connection under the call.
  bool brokeConnection() const { return m_brokeConnection; }
  void setBrokeConnection() { m_brokeConnection = true; }

  // Marks the call finished, unless it was given up; `store` runs under the
  // lock first. Returns false for a call that was given up.
  template <typename Store> bool finish(Store store) {
    std::function<void()> notify;
    {
      const std::lock_guard lock(m_mutex);
      if (m_abandoned || m_done)
        return false;
      store();
      m_done = true;
      notify = std::move(m_notify);
    }
    m_finished.notify_all();
    if (notify)
      notify();
    return true;
  }
  bool finish() {
    return finish([] {});
  }

  // Gives the call up: it counts as finished at once, and what it yields
  // later is thrown away by the thread that runs it.
  void abandon() {
    std::function<void()> notify;
    {
      const std::lock_guard lock(m_mutex);
      if (m_done)
        return;
      m_abandoned = true;
      m_done = true;
      notify = std::move(m_notify);
    }
    m_finished.notify_all();
    if (notify)
      notify();
  }

  bool abandoned() const {
    const std::lock_guard lock(m_mutex);
    return m_abandoned;
  }

  // Runs `action` while the call is certainly still running, so that the
  // call's thread cannot finish (and its owner close the handle) meanwhile.
  template <typename Action> void whileRunning(Action action) {
    const std::lock_guard lock(m_mutex);
    if (!m_done)
      action();
  }

private:
  mutable std::mutex m_mutex;
  std::condition_variable m_finished;
  bool m_done = false;
  bool m_abandoned = false;
  std::function<void()> m_notify;
  std::atomic<bool> m_cancelRequested{false};
  std::atomic<bool> m_brokeConnection{false};
  std::function<void()> m_onCancel;
};

// Two calls that run at the same time, waited for as one: finished once
// both are, cancelled together.
class BothCalls : public PendingCall {
public:
  BothCalls(std::shared_ptr<CallState> first, std::shared_ptr<CallState> second)
      : m_first(std::move(first)), m_second(std::move(second)) {}

  bool finished() const override { return m_first->finished() && m_second->finished(); }
  void wait() override {
    m_first->wait();
    m_second->wait();
  }
  bool waitFor(std::chrono::milliseconds time) override {
    const auto until = std::chrono::steady_clock::now() + time;
    return m_first->waitFor(time) &&
           m_second->waitFor(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          until - std::chrono::steady_clock::now()),
                                      std::chrono::milliseconds(0)));
  }
  bool notifyWhenFinished(std::function<void()> notify) override {
    // Called by the call that finishes last; a call finished already counts
    // down here, and when that is the last, nobody is notified.
    struct Countdown {
      std::atomic<int> left{2};
      std::function<void()> notify;
    };
    auto countdown = std::make_shared<Countdown>();
    countdown->notify = std::move(notify);
    const auto oneFinished = [countdown] {
      if (--countdown->left == 0)
        countdown->notify();
    };
    int finishedBefore = 0;
    for (CallState *call : {m_first.get(), m_second.get()})
      if (!call->notifyWhenFinished(oneFinished))
        ++finishedBefore;
    for (int i = 0; i < finishedBefore; ++i)
      if (--countdown->left == 0)
        return false;
    return true;
  }
  void cancel() override {
    m_first->cancel();
    m_second->cancel();
  }
  bool cancelRequested() const override {
    return m_first->cancelRequested() || m_second->cancelRequested();
  }

private:
  std::shared_ptr<CallState> m_first, m_second;
};

// The call whose work runs on this thread, if any.
thread_local const CallState *RunningCall = nullptr;

void BlockUntilFinished(const QString &, PendingCall &call) { call.wait(); }

// Counts a call as waited for while it lives.
class Waiting {
public:
  explicit Waiting(int &count) : m_count(count) { ++m_count; }
  ~Waiting() { --m_count; }
  Waiting(const Waiting &) = delete;
  Waiting &operator=(const Waiting &) = delete;

private:
  int &m_count;
};

CallWaiter &Waiter() {
  static CallWaiter waiter = BlockUntilFinished;
  return waiter;
}

// The login methods of the client library that never hand the password
// itself to the server. Not among them: mysql_clear_password and dialog
// (PAM), which send it as typed; caching_sha2_password, which Connector/C
// 3.3 lets send it as typed whenever TLS was asked for, also when the server
// offered none; sha256_password, which encrypts it with whatever RSA key the
// server sends.
constexpr const char *LoginWithoutPassword =
    "mysql_native_password,mysql_old_password,client_ed25519,auth_gssapi_client";

// Sets the connection options that every connection of the program uses: the
// connect time-out, the utf8mb4 character set, no local files, and TLS.
// False when the client library refuses one of them.
bool ConfigureConnection(MYSQL *handle, const ServerEndpoint &endpoint, const TlsOptions &tls) {
  // Names travel as UTF-8 both ways, so that umlauts survive the round trip.
  // No read or write time-out: a long statement is the user's to cancel.
  const std::int32_t timeout = endpoint.connectTimeout;
  // A server may ask for a local file at any statement (LOAD DATA LOCAL);
  // some builds of the library hand it over unless told otherwise.
  const unsigned int noLocalFiles = 0;
  if (mysql::mysql_options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout) != 0 ||
      mysql::mysql_options(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4") != 0 ||
      mysql::mysql_options(handle, MYSQL_OPT_LOCAL_INFILE, &noLocalFiles) != 0)
    return false;
  const my_bool on = 1;
  // This option makes the library of Connector/C 3.3 ask for TLS whenever
  // the server offers it; it still goes on without TLS when the server
  // offers none (measured). Without it the library never encrypts.
  if (mysql::mysql_options(handle, MYSQL_OPT_SSL_ENFORCE, &on) != 0)
    return false;
  if (!tls.caFile.isEmpty() &&
      (mysql::mysql_options(handle, MYSQL_OPT_SSL_CA, tls.caFile.constData()) != 0 ||
       (tls.checkHostName &&
        mysql::mysql_options(handle, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on) != 0)))
    return false;
  if (!tls.peerFingerprint.isEmpty() &&
      mysql::mysql_options(handle, MARIADB_OPT_TLS_PEER_FP, tls.peerFingerprint.constData()) != 0)
    return false;
  return tls.enforced() ||
         mysql::mysql_options(handle, MARIADB_OPT_RESTRICTED_AUTH, LoginWithoutPassword) == 0;
}

// The host the client library is given: through a local socket (an SSH
// tunnel's) "localhost", which makes it use that socket; the endpoint keeps
// naming the server itself.
QByteArray LibraryHost(const ServerEndpoint &endpoint) {
  return endpoint.localSocket.isEmpty() ? ToLibrary(endpoint.host) : QByteArray("localhost");
}

// What the client library is given for one login, as UTF-8. Made on the
// interface thread, so that no other thread reads the endpoint's password;
// the bytes of the password are overwritten once the library has taken them.
struct LibraryLogin {
  explicit LibraryLogin(const ServerEndpoint &endpoint)
      : host(LibraryHost(endpoint)), user(ToLibrary(endpoint.user)),
        password(ToLibrary(endpoint.password)), socket(ToLibrary(endpoint.localSocket)),
        port(static_cast<unsigned int>(endpoint.port)), flags(endpoint.clientFlags) {}
  ~LibraryLogin() { WipeBytes(password); }
  LibraryLogin(LibraryLogin &&) = default;
  LibraryLogin &operator=(LibraryLogin &&) = default;
  LibraryLogin(const LibraryLogin &) = default;
  LibraryLogin &operator=(const LibraryLogin &) = default;

  // Connects `handle`. The library keeps its own copy of the password for a
  // reconnect, which the program never asks for: it is overwritten at once.
  // (A failed attempt frees that copy inside the library.)
  bool connect(MYSQL *handle) {
    const bool connected =
        mysql::mysql_real_connect(handle, host.constData(), user.constData(), password.constData(),
                                  nullptr, port, socket.isEmpty() ? nullptr : socket.constData(),
                                  flags) != nullptr;
    WipeBytes(password);
    if (connected)
      WipeCharacters(handle->passwd);
    return connected;
  }

  QByteArray host, user, password, socket;
  unsigned int port;
  unsigned long flags;
};

// How the open connection logged in, for the short connection that cancels:
// its endpoint, whose password is the one copy the program keeps while
// connected, and its TLS options. A cancel under way shares it; the last
// holder overwrites the password.
struct CancelLogin {
  ServerEndpoint endpoint;
  TlsOptions tls;
  CancelLogin(ServerEndpoint e, TlsOptions t) : endpoint(std::move(e)), tls(std::move(t)) {}
  ~CancelLogin() { WipeText(endpoint.password); }
  CancelLogin(const CancelLogin &) = delete;
  CancelLogin &operator=(const CancelLogin &) = delete;
};

// Where the library reaches the server when not over TCP: the tunnel's
// socket, or for "localhost" its own default socket.
QString LocalSocketOf(const ServerEndpoint &endpoint) {
  if (!endpoint.localSocket.isEmpty())
    return endpoint.localSocket;
  if (endpoint.host.isEmpty() || endpoint.host == QLatin1String("localhost"))
    return qEnvironmentVariable("MYSQL_UNIX_PORT", QStringLiteral(MARIADB_UNIX_ADDR));
  return {};
}

ServerSession::ConnectFailure FailureOf(unsigned int errorNumber) {
  switch (errorNumber) {
  case CR_PLUGIN_NOT_ALLOWED: return ServerSession::ConnectFailure::LoginMethodRefused;
  case CR_SSL_CONNECTION_ERROR: return ServerSession::ConnectFailure::TlsFailed;
  default: return ServerSession::ConnectFailure::Other;
  }
}

// Ends the statement that `call` runs on connection `threadId`: KILL QUERY
// from a connection of its own, logged in and checked as the connection was;
// when the statement has not ended a few seconds later (the server does not
// answer, or the KILL did not get through), breaks the connection under it
// so that the call returns.
void CancelStatement(std::shared_ptr<CallState> call, MYSQL *handle, unsigned long threadId,
                     std::shared_ptr<const CancelLogin> login) {
  ServerEndpoint quick = login->endpoint;
  quick.connectTimeout = std::min(quick.connectTimeout, CancelConnectionSeconds);
  quick.clientFlags = 0;
  LibraryLogin libraryLogin(quick);
  WipeText(quick.password); // shared with the connection's: only let go
  StartBackgroundThread(
      [call, handle, threadId, login, quick, libraryLogin = std::move(libraryLogin)]() mutable {
        if (threadId != 0 && !quick.host.isNull()) {
          if (MYSQL *killer = mysql::mysql_init(nullptr)) {
            const unsigned int ioTimeout = CancelConnectionSeconds;
            if (ConfigureConnection(killer, quick, login->tls) &&
                mysql::mysql_options(killer, MYSQL_OPT_READ_TIMEOUT, &ioTimeout) == 0 &&
                mysql::mysql_options(killer, MYSQL_OPT_WRITE_TIMEOUT, &ioTimeout) == 0 &&
                libraryLogin.connect(killer)) {
              const QByteArray kill = "KILL QUERY " + QByteArray::number(qulonglong(threadId));
              mysql::mysql_query(killer, kill.constData());
            }
            mysql::mysql_close(killer);
          }
        }
        login.reset();
        if (call->waitFor(std::chrono::seconds(CancelGraceSeconds.load())))
          return;
        call->whileRunning([&] {
          if (mysql::HasEntryPoint(mysql::OptionalEntryPoint::mariadb_cancel)) {
            mysql::mariadb_cancel(handle);
            call->setBrokeConnection();
          }
        });
      });
}

} // namespace

CallWaiter SetCallWaiter(CallWaiter waiter) {
  return std::exchange(Waiter(), waiter ? std::move(waiter) : CallWaiter(BlockUntilFinished));
}

QStringList LoginMethodsWithoutPassword() {
  return QString::fromLatin1(LoginWithoutPassword).split(QLatin1Char(','));
}

// The open connection: its handle, how it logged in (for the short
// connection that cancels), and whether a cancel broke it.
struct ServerSession::Connection {
  MYSQL *handle = nullptr;
  std::shared_ptr<const CancelLogin> login;
  bool broken = false;
};

// The connection's thread: runs one job after the other.
struct ServerSession::Worker {
  Worker() : thread([this] { loop(); }) {}
  ~Worker() {
    {
      const std::lock_guard lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    thread.join();
  }
  void post(std::function<void()> job) {
    {
      const std::lock_guard lock(mutex);
      jobs.push_back(std::move(job));
    }
    wake.notify_all();
  }
  void loop() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return stopping || !jobs.empty(); });
        if (jobs.empty())
          return;
        job = std::move(jobs.front());
        jobs.pop_front();
      }
      job();
    }
  }

  // Posts `job` as a call on `session`'s connection thread; a cancel goes
  // through the connection `cancelThrough` was made as.
  static std::shared_ptr<CallState> Begin(ServerSession &session, MYSQL *handle,
                                          const Connection *cancelThrough,
                                          std::function<void(MYSQL *)> job) {
    if (!session.m_worker)
      session.m_worker = std::make_unique<Worker>();
    auto call = std::make_shared<CallState>();
    if (cancelThrough)
      call->setOnCancel(
          [weak = std::weak_ptr<CallState>(call), handle, login = cancelThrough->login] {
            if (std::shared_ptr<CallState> running = weak.lock())
              CancelStatement(std::move(running), handle, mysql::mysql_thread_id(handle), login);
          });
    session.m_worker->post([call, handle, job = std::move(job)] {
      RunningCall = call.get();
      job(handle);
      RunningCall = nullptr;
      call->finish();
    });
    return call;
  }
  // What the session keeps of a call that has finished.
  static void End(ServerSession &session, const CallState &call, MYSQL *handle) {
    session.m_lastCancelled = call.cancelRequested();
    if (call.brokeConnection() && session.m_connection && session.m_connection->handle == handle &&
        !session.m_connection->broken) {
      session.m_connection->broken = true;
      if (session.m_brokenHandler)
        session.m_brokenHandler();
    }
  }

  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> jobs;
  bool stopping = false;
  std::thread thread; // last: starts once the rest exists
};

ServerSession::ServerSession() = default;

ServerSession::~ServerSession() {
  // A connection still open when the window goes is closed, without waiting
  // for the user's eye: the program is ending.
  if (m_connection) {
    MYSQL *closing = m_connection->handle;
    m_connection.reset();
    auto call = std::make_shared<CallState>();
    if (!m_worker)
      m_worker = std::make_unique<Worker>();
    m_worker->post([closing, call] {
      try {
        ForgetConnectionOn(closing);
        mysql::mysql_close(closing);
      } catch (...) {
      }
      call->finish();
    });
    call->wait();
  }
}

bool ServerSession::connected() const { return m_connection != nullptr; }

bool ServerSession::connectionBroken() const { return m_connection && m_connection->broken; }

void SessionAccess::Execute(ServerSession &session, const QString &what,
                            const std::function<void(MYSQL *)> &job) {
  if (session.m_interrupted)
    throw CallInterrupted();
  if (!session.m_connection)
    throw std::runtime_error("Es besteht keine Verbindung zum Server");
  std::optional<QString> lost;
  ExecuteOn(session, what, session.m_connection->handle, session.m_connection.get(),
            [&](MYSQL *handle) {
              job(handle);
              lost = ConnectionLossOn(handle);
            });
  if (lost) {
    // Every later call would fail the same way: the connection is closed,
    // and the caller learns it once.
    session.close(QStringLiteral("Schließe die abgebrochene Verbindung ..."));
    throw ConnectionLost(*lost);
  }
  if (session.m_interrupted)
    throw CallInterrupted();
}

void SessionAccess::ExecuteOn(ServerSession &session, const QString &what, MYSQL *handle,
                              const ServerSession::Connection *cancelThrough,
                              const std::function<void(MYSQL *)> &job) {
  using Worker = ServerSession::Worker;
  const std::shared_ptr<CallState> call = Worker::Begin(session, handle, cancelThrough, job);
  const Waiting waiting(session.m_waiting);
  const std::weak_ptr<PendingCall> outer = std::exchange(session.m_current, call);
  Waiter()(what, *call);
  // A waiter returns once the call has finished; the job refers to the
  // caller's frame, so make sure of it.
  call->wait();
  session.m_current = outer;
  Worker::End(session, *call, handle);
}

void SessionAccess::ExecuteTogether(ServerSession &first, ServerSession &second,
                                    const QString &what,
                                    const std::function<void(MYSQL *)> &firstJob,
                                    const std::function<void(MYSQL *)> &secondJob) {
  using Worker = ServerSession::Worker;
  for (ServerSession *session : {&first, &second}) {
    if (session->m_interrupted)
      throw CallInterrupted();
    if (!session->m_connection)
      throw std::runtime_error("Es besteht keine Verbindung zum Server");
  }
  struct Side {
    ServerSession &session;
    const std::function<void(MYSQL *)> &job;
    MYSQL *handle;
    std::optional<QString> lost;
    std::exception_ptr failure;
    std::shared_ptr<CallState> call;
  };
  std::array<Side, 2> sides{Side{first, firstJob, first.m_connection->handle, {}, {}, {}},
                            Side{second, secondJob, second.m_connection->handle, {}, {}, {}}};
  for (Side &side : sides)
    side.call = Worker::Begin(side.session, side.handle, side.session.m_connection.get(),
                              [&side](MYSQL *handle) {
                                try {
                                  side.job(handle);
                                } catch (...) {
                                  side.failure = std::current_exception();
                                }
                                side.lost = ConnectionLossOn(handle);
                              });
  const auto both = std::make_shared<BothCalls>(sides[0].call, sides[1].call);
  const Waiting waitingFirst(first.m_waiting), waitingSecond(second.m_waiting);
  const std::weak_ptr<PendingCall> outerFirst = std::exchange(first.m_current, both),
                                   outerSecond = std::exchange(second.m_current, both);
  Waiter()(what, *both);
  both->wait();
  first.m_current = outerFirst;
  second.m_current = outerSecond;
  std::optional<QString> lost;
  for (Side &side : sides) {
    Worker::End(side.session, *side.call, side.handle);
    if (side.lost) {
      side.session.close(QStringLiteral("Schließe die abgebrochene Verbindung ..."));
      lost = lost ? lost : side.lost;
    }
  }
  if (lost)
    throw ConnectionLost(*lost);
  for (const Side &side : sides)
    if (side.failure)
      std::rethrow_exception(side.failure);
  if (first.m_interrupted || second.m_interrupted)
    throw CallInterrupted();
}

bool ServerSession::runAside(const QString &what, std::function<void()> job,
                             std::function<void()> discard) {
  auto call = std::make_shared<CallState>();
  call->setOnCancel([weak = std::weak_ptr<CallState>(call)] {
    if (std::shared_ptr<CallState> running = weak.lock())
      running->abandon();
  });
  StartBackgroundThread([call, job = std::move(job), discard = std::move(discard)] {
    job();
    if (!call->finish() && discard)
      discard();
  });
  const Waiting waiting(m_waiting);
  const std::weak_ptr<PendingCall> outer = std::exchange(m_current, call);
  Waiter()(what, *call);
  call->wait();
  m_current = outer;
  m_lastCancelled = call->cancelRequested();
  return !call->abandoned();
}

ServerSession::ConnectOutcome ServerSession::connect(const QString &what, const TlsOptions &tls,
                                                     QDeadlineTimer deadline) {
  struct Attempt {
    MYSQL *handle = nullptr; // kept only when connected
    ConnectOutcome outcome;
    std::exception_ptr failure;
  };
  // The password leaves the endpoint: the library's copy is made here, on
  // this thread, and the endpoint's goes to the connection, if one opens.
  ServerEndpoint endpoint = m_endpoint;
  WipeText(m_endpoint.password); // shared with `endpoint`: only let go
  if (!deadline.isForever())
    endpoint.connectTimeout = static_cast<std::int32_t>(std::clamp<qint64>(
        (deadline.remainingTime() + 999) / 1000, 1, std::max(endpoint.connectTimeout, 1)));
  LibraryLogin login(endpoint);
  ServerEndpoint where = endpoint;
  where.password = QString();
  auto attempt = std::make_shared<Attempt>();
  const bool finished = runAside(
      what,
      [attempt, endpoint = where, tls, login = std::move(login), deadline]() mutable {
        ConnectOutcome &outcome = attempt->outcome;
        MYSQL *handle = nullptr;
        try {
          handle = mysql::mysql_init(nullptr);
          if (!handle)
            outcome.step = ConnectStep::InitFailed;
          else if (!ConfigureConnection(handle, endpoint, tls))
            outcome.step = ConnectStep::OptionsRefused;
          else if (!login.connect(handle)) {
            const ServerReply reply = ReplyOf(handle, false);
            outcome = {ConnectStep::ConnectFailed, reply, FailureOf(reply.errorNumber), {}};
          } else {
            outcome.step = ConnectStep::Connected;
          }
        } catch (...) {
          attempt->failure = std::current_exception();
        }
        // A failed attempt's handle is closed at once: nothing uses it again.
        if (outcome.step == ConnectStep::Connected && !attempt->failure)
          attempt->handle = handle;
        else if (handle)
          mysql::mysql_close(handle);
        // The library's text garbles the method's name: ask the server.
        if (outcome.failure == ConnectFailure::LoginMethodRefused)
          outcome.loginMethod = ProbeLoginMethod(
              endpoint.host, static_cast<std::uint16_t>(endpoint.port),
              deadline.isForever() ? QDeadlineTimer(endpoint.connectTimeout * 1000) : deadline,
              {LocalSocketOf(endpoint), {}}, endpoint.user, LoginMethodsWithoutPassword());
      },
      [attempt] {
        if (attempt->handle)
          mysql::mysql_close(attempt->handle);
      });
  if (!finished || attempt->failure || !attempt->handle)
    WipeText(endpoint.password);
  if (!finished)
    return {ConnectStep::Cancelled, {}, ConnectFailure::Other, {}};
  if (attempt->failure)
    std::rethrow_exception(attempt->failure);
  if (attempt->handle)
    m_connection.reset(new Connection{
        attempt->handle, std::make_shared<const CancelLogin>(std::move(endpoint), tls), false});
  return attempt->outcome;
}

ServerSession::ConnectOutcome ServerSession::connectLike(const QString &what,
                                                         const ServerSession &other) {
  if (!other.m_connection)
    throw std::runtime_error("Es besteht keine Verbindung zum Server");
  const CancelLogin &login = *other.m_connection->login;
  // Shares the other connection's password, which connect() only lets go.
  m_endpoint = login.endpoint;
  return connect(what, login.tls);
}

void ServerSession::close(const QString &what) {
  if (!m_connection)
    return;
  // Forgotten before it is closed, so that nothing can use or close it twice.
  const std::unique_ptr<Connection> closing = std::move(m_connection);
  SessionAccess::ExecuteOn(*this, what, closing->handle, nullptr, [](MYSQL *handle) {
    ForgetConnectionOn(handle);
    mysql::mysql_close(handle);
  });
}

bool ServerSession::cancelledByUser(const ServerReply &reply) const {
  constexpr unsigned int QueryInterrupted = 1317; // ER_QUERY_INTERRUPTED
  return m_lastCancelled && !reply.ok && reply.errorNumber == QueryInterrupted;
}

void ServerSession::interruptCalls() {
  m_interrupted = true;
  if (const std::shared_ptr<PendingCall> current = m_current.lock())
    current->cancel();
}

unsigned long ServerSession::connectionId() {
  return run(QStringLiteral("Frage die Nummer der Verbindung ab ..."),
             [](MYSQL *handle) { return mysql::mysql_thread_id(handle); });
}

QString ServerSession::escape(const QString &value) {
  return run(QStringLiteral("Bereite einen Text für den Server auf ..."),
             [&](MYSQL *handle) { return EscapeLiteralOn(handle, value); });
}

QueryResult ServerSession::query(const QString &what, const QString &statement) {
  return run(what, [&](MYSQL *handle) {
    OneStatementPerRequestOn(handle);
    return QueryOn(handle, statement);
  });
}

BatchResult ServerSession::batch(const QString &what, const QStringList &statements) {
  return run(what, [&](MYSQL *handle) { return BatchOn(handle, statements); });
}

void ServerSession::PretendConnectedForTests() {
  m_connection.reset(new Connection{mysql::mysql_init(nullptr),
                                    std::make_shared<const CancelLogin>(m_endpoint, TlsOptions{}),
                                    false});
}

ConnectionFacts ReadConnectionFacts(ServerSession &session) {
  return session.run(QStringLiteral("Lese die Verbindungsdaten ..."), [](MYSQL *handle) {
    ConnectionFacts facts{FromLibrary(mysql::mysql_get_server_info(handle)),
                          {},
                          {},
                          FromLibrary(mysql::mysql_character_set_name(handle)),
                          FromLibrary(mysql::mysql_get_host_info(handle))};
    if (mysql::HasEntryPoint(mysql::OptionalEntryPoint::mysql_get_ssl_cipher))
      facts.cipher = FromLibrary(mysql::mysql_get_ssl_cipher(handle));
    const char *version = nullptr;
    if (!facts.cipher.isEmpty() &&
        mysql::HasEntryPoint(mysql::OptionalEntryPoint::mariadb_get_infov) &&
        mysql::mariadb_get_infov(handle, MARIADB_CONNECTION_TLS_VERSION, &version) == 0)
      facts.tlsVersion = FromLibrary(version);
    return facts;
  });
}

bool ServerSession::CancelRequested() { return RunningCall && RunningCall->cancelRequested(); }

bool ServerSession::BackgroundWorkRunning() {
  const std::lock_guard lock(Background().mutex);
  return Background().running > 0;
}

bool ServerSession::WaitForBackgroundWork(int milliseconds) {
  std::unique_lock lock(Background().mutex);
  return Background().idle.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                    [] { return Background().running == 0; });
}

void ServerSession::SetCancelGraceForTests(int seconds) {
  CancelGraceSeconds = seconds > 0 ? seconds : 5;
}
