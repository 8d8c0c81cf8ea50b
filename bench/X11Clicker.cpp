#include "bench/X11Clicker.h"

#include "bench/RawClient.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <thread>

// After every Qt header: Xlib's macros (None, Bool, ...) clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// Runs `work` on a thread of its own while this thread runs its event loop.
template <typename Work> double besideEventLoop(Work work) {
  std::atomic<bool> done{false};
  double result = 0;
  std::thread watcher([&] {
    result = work();
    done = true;
  });
  while (!done)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  watcher.join();
  return result;
}

} // namespace

struct X11Clicker::Display {
  ::Display *display = nullptr;
  int damageEvent = 0;
  Damage damage = 0;

  // Waits until no paint has come for 150 ms; the moment of the last one.
  Clock::time_point lastPaintAfter(Clock::time_point start) {
    Clock::time_point last = start;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
      while (XPending(display)) {
        XEvent e;
        XNextEvent(display, &e);
        if (e.type == damageEvent + XDamageNotify) {
          last = Clock::now();
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
  int event = 0, error = 0, major = 0, minor = 0;
  m_x->display = XOpenDisplay(nullptr);
  if (!m_x->display || !XTestQueryExtension(m_x->display, &event, &error, &major, &minor) ||
      !XDamageQueryExtension(m_x->display, &m_x->damageEvent, &error))
    throw Error("no X display with XTEST and DAMAGE");
  m_x->damage = XDamageCreate(m_x->display, window, XDamageReportNonEmpty);
  XFlush(m_x->display);
}

X11Clicker::~X11Clicker() {
  XDamageDestroy(m_x->display, m_x->damage);
  XCloseDisplay(m_x->display);
}

void X11Clicker::moveTo(int x, int y) {
  besideEventLoop([&] {
    XTestFakeMotionEvent(m_x->display, -1, x, y, 0);
    XFlush(m_x->display);
    m_x->lastPaintAfter(Clock::now());
    return 0.0;
  });
}

double X11Clicker::click() {
  return besideEventLoop([&] {
    XDamageSubtract(m_x->display, m_x->damage, 0, 0);
    const auto start = Clock::now();
    XTestFakeButtonEvent(m_x->display, 1, True, 0);
    XTestFakeButtonEvent(m_x->display, 1, False, 0);
    XFlush(m_x->display);
    return std::chrono::duration<double, std::milli>(m_x->lastPaintAfter(start) - start).count();
  });
}

} // namespace bench
