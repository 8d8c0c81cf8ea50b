// Small helpers shared by the forms.
#pragma once

#include <QWidget>

class BitBtnXP;
class QDialog;
class QHBoxLayout;

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

// Names and titles a dialog with a fixed frame and a close box only.
void SetUpFixedDialog(QDialog *dialog, const QString &objectName, const QString &title);

// The "OK" (default) and "Abbrechen" buttons of a small dialog, made in
// `parent` and set at the right end of the row that is returned.
QHBoxLayout *OkCancelRow(QWidget *parent, BitBtnXP *&ok, BitBtnXP *&cancel);
