// Small helpers shared by the forms.
#pragma once

#include <QWidget>

#include <initializer_list>

// Sets the keyboard tab order to the given sequence.
inline void SetTabChain(std::initializer_list<QWidget *> widgets) {
  QWidget *previous = nullptr;
  for (QWidget *w : widgets) {
    if (previous)
      QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

// Moves a top-level window to the centre of its screen.
void CentreOnScreen(QWidget *window);
