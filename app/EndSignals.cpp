#include "app/EndSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe through which a signal reaches the interface thread: writing to it
// is all a signal handler may safely do.
int SignalPipe[2] = {-1, -1};

void NoteSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(SignalPipe[1], &byte, 1);
  errno = saved;
}

void Handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal, &action, nullptr);
}

} // namespace

EndSignals::EndSignals(std::function<void()> end) : m_end(std::move(end)) {
  if (SignalPipe[0] < 0 && ::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return; // without the pipe the signals keep ending the program at once
  m_notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(SignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_end)
      m_end();
  });
  Handle(SIGTERM, NoteSignal);
  Handle(SIGHUP, NoteSignal);
}

EndSignals::~EndSignals() {
  Handle(SIGTERM, SIG_DFL);
  Handle(SIGHUP, SIG_DFL);
}
