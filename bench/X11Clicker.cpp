#include "bench/X11Clicker.h"

#include "bench/RawClient.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pthread.h>
#include <set>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

// After every Qt header: Xlib's macros (None, Bool, ...) clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

// Runs `work` on a thread of its own while this thread runs its event loop
// as the program does: asleep until an event comes. (Processing events in a
// loop of its own would keep this thread busy, in competition with the X
// server and the program's other threads.)
template <typename Work> double besideEventLoop(Work work) {
  QEventLoop loop;
  double result = 0;
  std::thread watcher([&] {
    result = work();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  watcher.join();
  return result;
}

// Opens $DISPLAY and checks for XTEST and DAMAGE; the first event number of DAMAGE.
::Display *openDisplay(int *damageEvent) {
  int event = 0, error = 0, major = 0, minor = 0;
  ::Display *display = XOpenDisplay(nullptr);
  if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor) ||
      !XDamageQueryExtension(display, damageEvent, &error))
    throw Error("no X display with XTEST and DAMAGE");
  return display;
}

// Processor time in milliseconds of a thread's clock.
double cpuMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Processor time in milliseconds of all threads of the process `pid`
// (from the scheduler's statistics, in nanoseconds), or -1.
double processCpuMs(const std::string &pid) {
  if (pid.empty())
    return -1;
  double ms = 0;
  const std::filesystem::path tasks = "/proc/" + pid + "/task";
  std::error_code error;
  for (const auto &task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream stat(task.path() / "schedstat");
    unsigned long long ns = 0;
    if (stat >> ns)
      ms += static_cast<double>(ns) / 1e6;
  }
  return error ? -1 : ms;
}

// A window of a program that ended meanwhile is gone, and with it its
// damage object: the errors that this brings are expected.
int ignoreXError(::Display *, XErrorEvent *) { return 0; }

} // namespace

struct X11Clicker::Display {
  ::Display *display = nullptr;
  int damageEvent = 0;
  Damage damage = 0;
  clockid_t interfaceThread{}; // the processor clock of the thread that made the clicker
  std::string serverPid = qEnvironmentVariable("QWB_XSERVER_PID").toStdString();

  // What the click has cost when its last paint came.
  struct Moment {
    Clock::time_point time;
    double threadCpuMs = 0, serverCpuMs = -1;
  };
  Moment now() const { return {Clock::now(), cpuMs(interfaceThread), processCpuMs(serverPid)}; }

  // Waits until no paint has come for 150 ms; the moment of the last one.
  Moment lastPaintAfter(const Moment &start) {
    Moment last = start;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
      while (XPending(display)) {
        XEvent e;
        XNextEvent(display, &e);
        if (e.type == damageEvent + XDamageNotify) {
          last = now();
          XDamageSubtract(display, damage, 0, 0);
          XFlush(display);
        }
      }
      if (poll(&fd, 1, 150) == 0)
        return last;
    }
  }
};

X11Clicker::X11Clicker(unsigned long window) : m_x(std::make_unique<Display>()) {
  m_x->display = openDisplay(&m_x->damageEvent);
  m_x->damage = XDamageCreate(m_x->display, window, XDamageReportNonEmpty);
  XFlush(m_x->display);
  pthread_getcpuclockid(pthread_self(), &m_x->interfaceThread);
}

X11Clicker::~X11Clicker() {
  XDamageDestroy(m_x->display, m_x->damage);
  XCloseDisplay(m_x->display);
}

void X11Clicker::moveTo(int x, int y) {
  besideEventLoop([&] {
    XTestFakeMotionEvent(m_x->display, -1, x, y, 0);
    XFlush(m_x->display);
    m_x->lastPaintAfter(m_x->now());
    return 0.0;
  });
}

X11Clicker::Click X11Clicker::click() {
  Click result;
  besideEventLoop([&] {
    XDamageSubtract(m_x->display, m_x->damage, 0, 0);
    const Display::Moment start = m_x->now();
    XTestFakeButtonEvent(m_x->display, 1, True, 0);
    XTestFakeButtonEvent(m_x->display, 1, False, 0);
    XFlush(m_x->display);
    const Display::Moment end = m_x->lastPaintAfter(start);
    result.ms = msBetween(start.time, end.time);
    result.threadCpuMs = end.threadCpuMs - start.threadCpuMs;
    if (start.serverCpuMs >= 0 && end.serverCpuMs >= 0)
      result.serverCpuMs = end.serverCpuMs - start.serverCpuMs;
    return 0.0;
  });
  return result;
}

// Every window that appears on the screen is watched for damage from the
// moment it is created, before its program can draw into it; the first
// damage of a window after it was mapped is the program's first paint.
double MsToFirstPaint(const std::function<pid_t()> &start) {
  int damageEvent = 0;
  ::Display *display = openDisplay(&damageEvent);
  const auto previousHandler = XSetErrorHandler(ignoreXError);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  std::vector<Damage> damages;
  std::set<Window> mapped;
  const auto begin = Clock::now();
  const pid_t pid = start();
  double ms = -1;
  pollfd fd{ConnectionNumber(display), POLLIN, 0};
  while (ms < 0) {
    while (ms < 0 && XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == CreateNotify)
        damages.push_back(XDamageCreate(display, e.xcreatewindow.window, XDamageReportNonEmpty));
      else if (e.type == MapNotify)
        mapped.insert(e.xmap.window);
      else if (e.type == damageEvent + XDamageNotify &&
               mapped.count(reinterpret_cast<XDamageNotifyEvent &>(e).drawable))
        ms = msBetween(begin, Clock::now());
      XFlush(display);
    }
    if (ms < 0 && poll(&fd, 1, 10000) == 0)
      break;
  }
  for (Damage d : damages)
    XDamageDestroy(display, d);
  XSync(display, False);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  XSync(display, False);
  XSetErrorHandler(previousHandler);
  XCloseDisplay(display);
  if (ms < 0)
    throw Error("a started program showed no window within 10 s");
  return ms;
}

} // namespace bench
