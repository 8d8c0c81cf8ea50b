#include "ssh/SshTunnel.h"

#include "clientlib/ServerSession.h"
#include "ssh/SshAskpass.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString FailedTitle = QStringLiteral("SSH-Verbindung fehlgeschlagen");

// Seconds between two signs of life that ssh asks of the SSH host, and how
// many may go unanswered before it gives the tunnel up.
constexpr int AliveInterval = 15, AliveCountMax = 3;

// A file descriptor that is closed with its owner.
class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  UniqueFd(UniqueFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd &operator=(UniqueFd &&other) noexcept {
    reset(std::exchange(other.m_fd, -1));
    return *this;
  }
  ~UniqueFd() { reset(); }
  int get() const { return m_fd; }
  void reset(int fd = -1) {
    if (m_fd >= 0)
      ::close(m_fd);
    m_fd = fd;
  }

private:
  int m_fd = -1;
};

bool HasBlankOrControl(const QString &text) {
  return std::any_of(text.cbegin(), text.cend(),
                     [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

bool HasControl(const QString &text) {
  return std::any_of(text.cbegin(), text.cend(),
                     [](QChar c) { return c.category() == QChar::Other_Control; });
}

// What the waiting thread saw.
struct TunnelEvent {
  enum class Kind { Listening, Ended, Question, Stopped };
  Kind kind;
  UniqueFd helper; // Question: the helper's connection, which gets the answer
  QByteArray request;
};

// Whether the forward's socket exists and listens: ssh binds it, then
// listens, once it has logged in. /proc/net/unix tells the two apart.
bool ForwardListening(const QByteArray &path) {
  struct stat status {};
  if (::stat(path.constData(), &status) != 0 || !S_ISSOCK(status.st_mode))
    return false;
  QFile table(QStringLiteral("/proc/net/unix"));
  if (!table.open(QIODevice::ReadOnly))
    return true;
  constexpr unsigned Listening = 0x10000; // __SO_ACCEPTCON
  while (!table.atEnd()) {
    const QList<QByteArray> fields = table.readLine().simplified().split(' ');
    if (fields.size() >= 8 && fields[7] == path)
      return (fields[3].toUInt(nullptr, 16) & Listening) != 0;
  }
  return true;
}

bool Exited(pid_t pid) {
  siginfo_t info{};
  // WNOWAIT: only look; whoever closes the tunnel collects the process.
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid == pid;
}

// A question from the helper: everything it writes before it shuts its side.
bool ReadRequest(int fd, QByteArray &request) {
  constexpr int WaitMilliseconds = 5000;
  constexpr qsizetype Largest = 64 * 1024;
  char buffer[4096];
  for (;;) {
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, WaitMilliseconds) <= 0)
      return false;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0)
      return !request.isEmpty();
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 || request.size() + n > Largest)
      return false;
    request.append(buffer, n);
  }
}

// Ends ssh and its process group (a ProxyJump's ssh runs in it) and collects
// ssh; the group gets SIGKILL if it has not ended within two seconds.
void EndProcessGroup(pid_t pid) {
  if (pid <= 0)
    return;
  ::kill(-pid, SIGTERM);
  bool collected = false;
  for (int i = 0; i < 100 && !collected; ++i) {
    const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
    collected = done == pid || (done < 0 && errno == ECHILD);
    if (!collected)
      ::usleep(20000);
  }
  ::kill(-pid, SIGKILL);
  if (!collected)
    ::waitpid(pid, nullptr, 0);
}

// The lines of ssh's messages worth showing: not the note that a host key
// was added to known_hosts, at most the last twelve.
QString SshMessages(const QString &log) {
  QStringList lines;
  for (const QString &line : log.split(QLatin1Char('\n'))) {
    const QString text = line.trimmed();
    if (!text.isEmpty() && !text.startsWith(QLatin1String("Warning: Permanently added")))
      lines << text;
  }
  return lines.mid(std::max<qsizetype>(0, lines.size() - 12)).join(QLatin1Char('\n'));
}

// Why ssh ended before the tunnel stood, in German; a changed host key gets
// the warning it deserves.
SshTunnel::Opening FailureOf(const SshRoute &route, const QString &all) {
  if (all.contains(QLatin1String("REMOTE HOST IDENTIFICATION HAS CHANGED"))) {
    static const QRegularExpression offered(
        QStringLiteral("key sent by the remote host is\\s+(\\S+?)\\.?\\s*$"),
        QRegularExpression::MultilineOption);
    static const QRegularExpression offending(QStringLiteral("Offending \\S+ key in (\\S+)"));
    return {nullptr, QStringLiteral("Identität des SSH-Hosts geändert"),
            QStringLiteral(
                "WARNUNG: Die Identität des SSH-Hosts „%1“ hat sich geändert!\n\nEr weist sich "
                "mit einem anderen Schlüssel aus als dem, der in known_hosts steht (%2).\n\n"
                "Jetzt angeboten:\n%3\n\nDas kann heißen, dass jemand die Verbindung abfängt und "
                "sich als dieser Host ausgibt. Es kann auch heißen, dass der Betreiber den "
                "Schlüssel erneuert hat. Es wurde keine Anmeldung gesendet. Erst wenn Sie sicher "
                "sind, dass der neue Schlüssel echt ist, entfernen Sie den alten aus known_hosts "
                "(„ssh-keygen -R“).")
                .arg(route.host, offending.match(all).captured(1), offered.match(all).captured(1))};
  }
  const QString messages = SshMessages(all);
  return {nullptr, FailedTitle,
          QStringLiteral("Der SSH-Tunnel über „%1“ kam nicht zustande.%2")
              .arg(route.host,
                   messages.isEmpty() ? QString() : QStringLiteral(" ssh meldet:\n\n") + messages)};
}

// The forward's far end as ssh's -L takes it: an IPv6 address in brackets.
QString ForwardTarget(const SshRoute &route) {
  const QString host = route.targetHost.isEmpty() ? QStringLiteral("localhost") : route.targetHost;
  return QStringLiteral("%1:%2")
      .arg(host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host)
      .arg(route.targetPort);
}

QStringList SshArguments(const SshRoute &route, const QString &forwardPath) {
  QStringList arguments{QStringLiteral("-N")};
  // Whatever the user's configuration says: ask about an unknown host key
  // and refuse a changed one; ask through the helper; end when the forward
  // cannot be made or the host stops answering; stay one process of our
  // own (no shared master connection, no going to the background); the
  // socket for this user only.
  const QStringList options{QStringLiteral("BatchMode=no"),
                            QStringLiteral("StrictHostKeyChecking=ask"),
                            QStringLiteral("ExitOnForwardFailure=yes"),
                            QStringLiteral("ServerAliveInterval=%1").arg(AliveInterval),
                            QStringLiteral("ServerAliveCountMax=%1").arg(AliveCountMax),
                            QStringLiteral("ConnectTimeout=%1").arg(route.connectTimeout),
                            QStringLiteral("ControlMaster=no"),
                            QStringLiteral("ControlPath=none"),
                            QStringLiteral("ForkAfterAuthentication=no"),
                            QStringLiteral("StreamLocalBindMask=0177"),
                            QStringLiteral("StreamLocalBindUnlink=yes")};
  for (const QString &option : options)
    arguments << QStringLiteral("-o") << option;
  arguments << QStringLiteral("-L") << forwardPath + QLatin1Char(':') + ForwardTarget(route);
  if (!route.user.isEmpty())
    arguments << QStringLiteral("-l") << route.user;
  if (route.port > 0)
    arguments << QStringLiteral("-p") << QString::number(route.port);
  if (!route.keyFile.isEmpty())
    arguments << QStringLiteral("-i") << route.keyFile;
  arguments << QStringLiteral("--") << route.host;
  return arguments;
}

} // namespace

struct SshTunnel::Process {
  pid_t pid = -1;
  // ssh's messages (its standard error): they end when ssh does. ssh keeps
  // no other descriptor of ours open, its standard output included.
  UniqueFd errors;
  mutable std::mutex logMutex;
  mutable QByteArray log;
  UniqueFd relay; // the helper's questions arrive here while ssh logs in
  UniqueFd stopRead, stopWrite;
  QString folder;
  QByteArray forwardPath, relayPath;

  // Wakes a thread that still waits for the tunnel after the user gave up.
  void stopWaiting() const {
    if (stopWrite.get() < 0)
      return;
    [[maybe_unused]] const ssize_t written = ::write(stopWrite.get(), "x", 1);
  }

  bool makeFolder(QString &error) {
    QByteArray base =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    const QByteArray name = "/quellwerk-ssh-XXXXXX";
    constexpr qsizetype longestFile = sizeof "/askpass";
    // A socket's path has a short limit, and ssh's -L reads a colon in it as
    // the end of the path (a blank is best kept out as well).
    if (base.isEmpty() ||
        base.size() + name.size() + longestFile > qsizetype(sizeof(sockaddr_un::sun_path)) ||
        base.contains(':') || base.contains(' '))
      base = "/tmp";
    QByteArray path = base + name;
    if (!::mkdtemp(path.data())) { // mode 0700
      error = QStringLiteral("Der Ordner für den SSH-Tunnel ließ sich nicht anlegen (%1).")
                  .arg(QString::fromLocal8Bit(std::strerror(errno)));
      return false;
    }
    folder = QFile::decodeName(path);
    forwardPath = path + "/db";
    relayPath = path + "/askpass";
    return true;
  }

  bool listenForQuestions(QString &error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, relayPath.constData(), std::size_t(relayPath.size()) + 1);
    relay.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    int stop[2];
    if (relay.get() < 0 ||
        ::bind(relay.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(relay.get(), 4) != 0 || ::pipe2(stop, O_CLOEXEC) != 0) {
      error = QStringLiteral("Quellwerk kann die Fragen von ssh nicht entgegennehmen (%1).")
                  .arg(QString::fromLocal8Bit(std::strerror(errno)));
      return false;
    }
    stopRead.reset(stop[0]);
    stopWrite.reset(stop[1]);
    return true;
  }

  // Starts ssh in a session of its own (so that its whole process group can
  // be ended), its messages coming through a pipe. Should this program die,
  // ssh gets SIGTERM (the thread that starts it is the interface thread,
  // which lives as long as the program).
  bool start(const QString &program, const QStringList &arguments, QString &error) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SSH_ASKPASS"), QCoreApplication::applicationFilePath());
    environment.insert(QStringLiteral("SSH_ASKPASS_REQUIRE"), QStringLiteral("force"));
    environment.insert(QString::fromLatin1(AskpassRelayVariable), QFile::decodeName(relayPath));
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &argument : arguments)
      storage.push_back(argument.toLocal8Bit());
    const std::size_t argumentCount = storage.size();
    for (const QString &variable : environment.toStringList())
      storage.push_back(variable.toLocal8Bit());
    std::vector<char *> argv, envp;
    for (std::size_t i = 0; i < storage.size(); ++i)
      (i < argumentCount ? argv : envp).push_back(storage[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int errorPipe[2], execPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
      return failed(error);
    errors.reset(errorPipe[0]);
    UniqueFd errorEnd(errorPipe[1]);
    if (::pipe2(execPipe, O_CLOEXEC) != 0)
      return failed(error);
    UniqueFd execRead(execPipe[0]), execWrite(execPipe[1]);
    const UniqueFd nothing(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (nothing.get() < 0)
      return failed(error);
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid < 0)
      return failed(error);
    if (pid == 0) {
      // Only async-signal-safe calls from here to exec.
      ::setsid();
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent)
        ::_exit(127);
      sigset_t none;
      ::sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      struct sigaction usual {};
      usual.sa_handler = SIG_DFL;
      ::sigaction(SIGPIPE, &usual, nullptr);
      if (::dup2(nothing.get(), 0) < 0 || ::dup2(nothing.get(), 1) < 0 ||
          ::dup2(errorEnd.get(), 2) < 0 || ::dup2(execWrite.get(), 3) < 0)
        ::_exit(127);
      // Nothing else of this program's (a database connection) goes with ssh.
      ::close_range(4, ~0U, 0);
      ::fcntl(3, F_SETFD, FD_CLOEXEC);
      ::execve(argv[0], argv.data(), envp.data());
      const int reason = errno;
      [[maybe_unused]] const ssize_t told = ::write(3, &reason, sizeof reason);
      ::_exit(127);
    }
    execWrite.reset();
    int reason = 0;
    ssize_t n;
    while ((n = ::read(execRead.get(), &reason, sizeof reason)) < 0 && errno == EINTR) {
    }
    if (n == sizeof reason) {
      ::waitpid(pid, nullptr, 0);
      pid = -1;
      errno = reason;
      return failed(error);
    }
    return true;
  }

  bool failed(QString &error) const {
    error = QStringLiteral("ssh ließ sich nicht starten (%1).")
                .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }

  // Reads what ssh wrote to its standard error (one read, which does not
  // block once the descriptor is readable); false once ssh has ended.
  bool readMessages() const {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(errors.get(), buffer, sizeof buffer)) < 0 && errno == EINTR) {
    }
    if (n <= 0)
      return false;
    const std::lock_guard lock(logMutex);
    // The start and the latest messages are what matter; a long chatter is cut in between.
    constexpr qsizetype Largest = 64 * 1024;
    if (log.size() + n > Largest)
      log.remove(Largest / 2, log.size() + n - Largest);
    log.append(buffer, n);
    return true;
  }

  // Reads whatever ssh has written by now, without waiting for more.
  void drainMessages() const {
    for (;;) {
      pollfd readable{errors.get(), POLLIN, 0};
      if (::poll(&readable, 1, 0) <= 0 || !(readable.revents & POLLIN) || !readMessages())
        return;
    }
  }

  QString messages() const {
    const std::lock_guard lock(logMutex);
    return QString::fromUtf8(log);
  }

  // Runs on a thread of its own: waits for ssh to listen, to ask, or to end.
  TunnelEvent wait() const {
    for (;;) {
      pollfd watched[] = {
          {stopRead.get(), POLLIN, 0}, {errors.get(), POLLIN, 0}, {relay.get(), POLLIN, 0}};
      if (::poll(watched, 3, 100) < 0 && errno != EINTR)
        return {TunnelEvent::Kind::Ended, {}, {}};
      if (watched[0].revents)
        return {TunnelEvent::Kind::Stopped, {}, {}};
      if (watched[1].revents && !readMessages())
        return {TunnelEvent::Kind::Ended, {}, {}};
      if (watched[2].revents & POLLIN) {
        UniqueFd helper(::accept4(relay.get(), nullptr, nullptr, SOCK_CLOEXEC));
        QByteArray request;
        if (helper.get() >= 0 && ReadRequest(helper.get(), request))
          return {TunnelEvent::Kind::Question, std::move(helper), request};
      }
      if (Exited(pid))
        return {TunnelEvent::Kind::Ended, {}, {}};
      if (ForwardListening(forwardPath))
        return {TunnelEvent::Kind::Listening, {}, {}};
    }
  }
};

QString SshRouteProblem(const SshRoute &route) {
  if (route.host.isEmpty())
    return QStringLiteral("Bitte geben Sie den SSH-Host an.");
  const auto name = [](const QString &text) {
    return text.startsWith(QLatin1Char('-')) || HasBlankOrControl(text);
  };
  if (name(route.host))
    return QStringLiteral("Der SSH-Host „%1“ ist kein gültiger Name: er darf nicht mit „-“ "
                          "beginnen und keine Leer- oder Steuerzeichen enthalten.")
        .arg(route.host);
  if (name(route.user))
    return QStringLiteral("Der SSH-Benutzer „%1“ ist kein gültiger Name: er darf nicht mit „-“ "
                          "beginnen und keine Leer- oder Steuerzeichen enthalten.")
        .arg(route.user);
  if (route.port < 0 || route.port > 65535)
    return QStringLiteral("Der SSH-Port muss eine ganze Zahl von 1 bis 65535 sein (leer: der Port "
                          "aus ~/.ssh/config oder 22).");
  if (HasControl(route.keyFile) || HasBlankOrControl(route.targetHost))
    return QStringLiteral("Die Schlüsseldatei oder der Host der Datenbank enthält ein "
                          "Steuerzeichen.");
  return {};
}

SshTunnel::Opening SshTunnel::Open(const SshRoute &route, ServerSession &session, QWidget *parent) {
  if (const QString problem = SshRouteProblem(route); !problem.isEmpty())
    return {nullptr, FailedTitle, problem};
  const QString program = QStandardPaths::findExecutable(QStringLiteral("ssh"));
  if (program.isEmpty())
    return {nullptr, FailedTitle,
            QStringLiteral("Das Programm „ssh“ (OpenSSH) wurde nicht gefunden. Für Verbindungen "
                           "über SSH installieren Sie bitte das Paket „openssh-client“.")};
  auto process = std::make_shared<Process>();
  QString error;
  // From here on every way out closes the tunnel, unless it is handed out.
  std::unique_ptr<SshTunnel> tunnel(new SshTunnel(process, route.host));
  if (!process->makeFolder(error) || !process->listenForQuestions(error) ||
      !process->start(program, SshArguments(route, QFile::decodeName(process->forwardPath)), error))
    return {nullptr, FailedTitle, error};
  const QString what = QStringLiteral("Öffne den SSH-Tunnel über „%1“ ...").arg(route.host);
  for (;;) {
    std::optional<TunnelEvent> event = session.aside(what, [process] { return process->wait(); });
    if (!event) // given up
      return {};
    switch (event->kind) {
    case TunnelEvent::Kind::Listening:
      // No more questions: the helper of anything ssh starts later finds no one.
      process->relay.reset();
      ::unlink(process->relayPath.constData());
      tunnel->watch();
      return {std::move(tunnel), {}, {}};
    case TunnelEvent::Kind::Ended: return FailureOf(route, process->messages());
    case TunnelEvent::Kind::Stopped: return {};
    case TunnelEvent::Kind::Question: {
      const std::optional<QByteArray> answer =
          AskSshQuestion(parent, SshQuestion::FromRequest(event->request));
      const QByteArray reply = SshReply(answer);
      SendAll(event->helper.get(), reply.constData(), std::size_t(reply.size()));
      if (!answer)
        return {};
      break;
    }
    }
  }
}

SshTunnel::SshTunnel(std::shared_ptr<Process> process, QString sshHost)
    : m_process(std::move(process)), m_sshHost(std::move(sshHost)) {}

SshTunnel::~SshTunnel() { close(); }

QString SshTunnel::localSocket() const {
  return m_process ? QFile::decodeName(m_process->forwardPath) : QString();
}

QString SshTunnel::routeText() const { return QStringLiteral("über SSH %1").arg(m_sshHost); }

bool SshTunnel::alive() const { return m_process && m_process->pid > 0 && !Exited(m_process->pid); }

QString SshTunnel::messages() const {
  if (!m_process)
    return {};
  // A call that failed within a moment left no time for the watch to read
  // what ssh said about it.
  m_process->drainMessages();
  return SshMessages(m_process->messages());
}

void SshTunnel::close() {
  // Closing may be what its own signal led to.
  if (m_notifier)
    m_notifier->deleteLater();
  m_notifier = nullptr;
  if (!m_process)
    return;
  m_process->stopWaiting();
  EndProcessGroup(m_process->pid);
  m_process->pid = -1;
  if (!m_process->folder.isEmpty())
    QDir(m_process->folder).removeRecursively();
  // A thread that still waits keeps its share until it has seen the stop.
  m_process.reset();
}

void SshTunnel::watch() {
  m_notifier = new QSocketNotifier(m_process->errors.get(), QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] {
    if (!m_process->readMessages())
      processEnded();
  });
}

void SshTunnel::processEnded() {
  m_notifier->setEnabled(false);
  EndProcessGroup(m_process->pid);
  m_process->pid = -1;
  const QString messages = SshMessages(m_process->messages());
  emit broken(QStringLiteral("Die SSH-Verbindung über „%1“ ist abgebrochen.%2")
                  .arg(m_sshHost, messages.isEmpty()
                                      ? QString()
                                      : QStringLiteral(" ssh meldet:\n\n") + messages));
}
