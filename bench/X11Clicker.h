// Clicks through a real X server: XTEST presses the mouse button, XDAMAGE
// reports each paint of a window; both on a display connection of the
// clicker's own, watched on a thread of its own while the calling
// (interface) thread runs its event loop as the program does.
#pragma once

#include <memory>

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
  // Clicks where the pointer is and waits until no paint has come for
  // 150 ms; returns the milliseconds from the click to the last paint.
  double click();

private:
  struct Display;
  std::unique_ptr<Display> m_x;
};

} // namespace bench
