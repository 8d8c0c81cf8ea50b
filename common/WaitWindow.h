// How the interface waits for a server call: the window keeps repainting,
// the user's input to the program's windows is held back (no second command
// can start), the wait cursor shows, and when the call takes longer than a
// moment a small modal window "Bitte warten" names what runs and offers
// "Abbrechen".
#pragma once

#include "common/BitBtnXP.h"

#include <QDialog>

#include <functional>

class QLabel;

class TWaitForm : public QDialog {
  Q_OBJECT
public:
  // `cancel` asks the call to end early; the window calls it once at most.
  TWaitForm(const QString &what, std::function<void()> cancel, QWidget *parent);

  QLabel *WhatLabel;
  BitBtnXP *CancelBtn;

protected:
  void reject() override; // Escape and the close box cancel as "Abbrechen" does
  void keyPressEvent(QKeyEvent *event) override;

private:
  void CancelBtnClick();
  std::function<void()> m_cancel;
  bool m_cancelling = false;
};

// What the wait needs of the call it waits for. Each function may be called
// from the interface thread only; `notifyWhenFinished` arranges for its
// argument to run (on any thread) once the call has finished, and returns
// false, without keeping it, when the call already has.
struct WaitedCall {
  std::function<bool()> finished;
  std::function<bool(std::function<void()>)> notifyWhenFinished;
  std::function<void()> cancel;
};

// Waits for the call as described above; returns once it has finished.
void WaitWithWindow(const QString &what, const WaitedCall &call);
// How long a call runs before "Bitte warten" shows (400 ms; tests shorten it).
void SetWaitWindowDelay(int milliseconds);
