// How the interface waits for a server call: the window keeps repainting,
// the user's input to the program's windows is held back (no second command
// can start), the wait cursor shows, and when the call takes longer than a
// moment a small modal window "Bitte warten" names what runs and offers
// "Abbrechen".
#pragma once

#include "app/BitBtnXP.h"

#include <QDialog>

class QLabel;
class PendingCall;

class TWaitForm : public QDialog {
  Q_OBJECT
public:
  TWaitForm(const QString &what, PendingCall &call, QWidget *parent);

  QLabel *WhatLabel;
  BitBtnXP *CancelBtn;

protected:
  void reject() override; // Escape and the close box cancel as "Abbrechen" does
  void keyPressEvent(QKeyEvent *event) override;

private:
  void CancelBtnClick();
  PendingCall &m_call;
};

// Makes every server call of the program wait this way.
void InstallWaitWindow();
// Lets the interface thread go on (paint, run its timers) until `call` has
// finished; returns at once when it already has.
void RunEventsUntilFinished(PendingCall &call);
// How long a call runs before "Bitte warten" shows (400 ms; tests shorten it).
void SetWaitWindowDelay(int milliseconds);
