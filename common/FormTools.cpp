#include "common/FormTools.h"

#include <QGuiApplication>
#include <QScreen>

void CentreOnScreen(QWidget *window) {
  QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}
