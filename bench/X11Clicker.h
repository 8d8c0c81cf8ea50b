// Clicks and start-ups through a real X server: XTEST presses the mouse
// button, XDAMAGE reports each paint of a window; both on a display
// connection of the benchmark's own, watched on a thread of its own while the
// calling (interface) thread runs its event loop as the program does.
#pragma once

#include <functional>
#include <memory>
#include <sys/types.h>

namespace bench {

class X11Clicker {
public:
  // Watches the paints of the top-level window `window` on $DISPLAY.
  explicit X11Clicker(unsigned long window);
  ~X11Clicker();
  X11Clicker(const X11Clicker &) = delete;
  X11Clicker &operator=(const X11Clicker &) = delete;

  // Moves the pointer to (x, y) on the screen and waits until the window is quiet.
  void moveTo(int x, int y);
  struct Click {
    double ms = 0;           // from the click to the last paint
    double threadCpuMs = 0;  // the calling thread's processor time until then
    double serverCpuMs = -1; // the X server's (QWB_XSERVER_PID), or -1
  };
  // Clicks where the pointer is and waits until no paint has come for 150 ms.
  Click click();

private:
  struct Display;
  std::unique_ptr<Display> m_x;
};

// The milliseconds from calling `start` (which starts a program on $DISPLAY
// and returns its process id) until the X server has drawn the first paint
// of a window that the program mapped. The program is ended after that.
double MsToFirstPaint(const std::function<pid_t()> &start);

} // namespace bench
