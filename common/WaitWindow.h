// How the interface waits for a server call: the window keeps repainting,
// the user's input to the program's windows is held back (no second command
// can start), the wait cursor shows, and when the call takes longer than a
// moment a small modal window "Bitte warten" names what runs and offers
// "Abbrechen".
#pragma once

#include "common/BitBtnXP.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QPoint>
#include <QPointer>
#include <QWindow>

#include <chrono>
#include <functional>
#include <utility>

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
  // Blocks for at most the given time; whether the call finished meanwhile.
  std::function<bool(std::chrono::milliseconds)> waitFor;
  std::function<bool(std::function<void()>)> notifyWhenFinished;
  std::function<void()> cancel;
};

// The WaitedCall of any call that offers these functions itself (the
// session's PendingCall).
template <typename Call> WaitedCall WaitedCallOf(Call &call) {
  return {
      [&call] { return call.finished(); },
      [&call](std::chrono::milliseconds time) { return call.waitFor(time); },
      [&call](std::function<void()> notify) { return call.notifyWhenFinished(std::move(notify)); },
      [&call] { call.cancel(); }};
}

// Waits for the call as described above; returns once it has finished.
void WaitWithWindow(const QString &what, const WaitedCall &call);
// Lets the interface thread go on (paint, run its timers) until the call has
// finished; returns at once when it already has.
void RunEventsUntilFinished(const WaitedCall &call);
// How long a call runs before "Bitte warten" shows (400 ms; tests shorten it).
void SetWaitWindowDelay(int milliseconds);

// Whether an event is the user's input (or a close request from the window
// system), which a wait holds back.
bool IsUserInput(const QEvent *event);

// Holds back the user's input to every window but the wait window while a
// call runs, or to every window while the program waits for another program
// (the keyring). Input is dropped, not kept for later: a click meant for what
// the window showed before the call must not act on what it shows after.
// The one exception is a double click on a widget that asked to keep it
// (KeepDoubleClickDuringCalls): the call of a click on a remote server takes
// as long as a double click, whose second click would otherwise be lost.
class InputHold : public QObject {
public:
  InputHold() { qApp->installEventFilter(this); }
  ~InputHold() override;
  InputHold(const InputHold &) = delete;
  InputHold &operator=(const InputHold &) = delete;
  void allow(QWidget *window) { m_allowed = window; }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  // The window system hands input to the wait window's QWindow first, and
  // Qt passes it on to the widget under the mouse or with the focus.
  bool IsAllowed(QObject *watched) const;
  void KeepIfAsked(QObject *watched, const QEvent *event);

  QPointer<QWidget> m_allowed;
  // A double click kept for its widget, with its position there.
  QPointer<QWidget> m_keptFor;
  QPoint m_keptAt;
};

// A double click on `widget` that comes while the program waits is kept:
// once the wait is over, `handler` gets its position in `widget`. For as long
// as `widget` lives.
void KeepDoubleClickDuringCalls(QWidget *widget, std::function<void(const QPoint &)> handler);
