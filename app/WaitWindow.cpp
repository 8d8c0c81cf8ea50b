#include "app/WaitWindow.h"

#include "app/BitBtnXP.h"
#include "app/Interaction.h"
#include "clientlib/ServerSession.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

int &WaitWindowDelay() {
  static int milliseconds = 400;
  return milliseconds;
}

bool IsUserInput(const QEvent *event) {
  switch (event->type()) {
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonRelease:
  case QEvent::MouseButtonDblClick:
  case QEvent::KeyPress:
  case QEvent::KeyRelease:
  case QEvent::ShortcutOverride:
  case QEvent::Shortcut:
  case QEvent::Wheel:
  case QEvent::ContextMenu:
  case QEvent::TouchBegin:
  case QEvent::TouchUpdate:
  case QEvent::TouchEnd:
  case QEvent::DragEnter:
  case QEvent::Drop: return true;
  // A window closed from outside would end the program in the middle of the call.
  case QEvent::Close: return event->spontaneous();
  default: return false;
  }
}

// Holds back the user's input to every window but the wait window while a
// call runs. Input is dropped, not kept for later: a click meant for what
// the window showed before the call must not act on what it shows after.
class InputHold : public QObject {
public:
  InputHold() { qApp->installEventFilter(this); }
  ~InputHold() override { qApp->removeEventFilter(this); }
  InputHold(const InputHold &) = delete;
  InputHold &operator=(const InputHold &) = delete;
  void allow(QWidget *window) { m_allowed = window; }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (!IsUserInput(event))
      return false;
    if (IsAllowed(watched))
      return false;
    if (event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    return true;
  }

private:
  // The window system hands input to the wait window's QWindow first, and
  // Qt passes it on to the widget under the mouse or with the focus.
  bool IsAllowed(QObject *watched) const {
    if (!m_allowed)
      return false;
    if (watched->isWidgetType())
      return watched == m_allowed.data() ||
             m_allowed->isAncestorOf(static_cast<QWidget *>(watched));
    return watched->isWindowType() && watched == m_allowed->windowHandle();
  }

  QPointer<QWidget> m_allowed;
};

void WaitWithWindow(const QString &what, PendingCall &call) {
  WaitCursor cursor;
  InputHold hold;
  std::unique_ptr<TWaitForm> window;
  QTimer later;
  later.setSingleShot(true);
  QObject::connect(&later, &QTimer::timeout, [&] {
    if (call.finished())
      return;
    window = std::make_unique<TWaitForm>(what, call, QApplication::activeWindow());
    hold.allow(window.get());
    window->show();
  });
  later.start(WaitWindowDelay());
  RunEventsUntilFinished(call);
}

} // namespace

void RunEventsUntilFinished(PendingCall &call) {
  QEventLoop loop;
  QObject relay; // lives on this thread: the call's thread finishes through it
  if (call.notifyWhenFinished([&relay, &loop] {
        QMetaObject::invokeMethod(
            &relay, [&loop] { loop.quit(); }, Qt::QueuedConnection);
      }))
    loop.exec();
}

TWaitForm::TWaitForm(const QString &what, PendingCall &call, QWidget *parent)
    : QDialog(parent), m_call(call) {
  setObjectName(QStringLiteral("WaitForm"));
  setWindowTitle(QStringLiteral("Bitte warten"));
  setWindowModality(Qt::ApplicationModal);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  WhatLabel = new QLabel(what, this);
  WhatLabel->setObjectName(QStringLiteral("WhatLabel"));
  // A table's name is shown as the characters it is made of, never as markup.
  WhatLabel->setTextFormat(Qt::PlainText);
  WhatLabel->setWordWrap(true);
  WhatLabel->setMinimumWidth(360);
  CancelBtn = new BitBtnXP(QStringLiteral("Abbrechen"), BitBtnXP::Kind::Cancel, this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setDesignSize(96, 25);
  CancelBtn->setAccessibleDescription(QStringLiteral("Bricht den laufenden Vorgang ab"));
  connect(CancelBtn, &QPushButton::clicked, this, &TWaitForm::CancelBtnClick);

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->setSpacing(12);
  layout->addWidget(WhatLabel);
  layout->addWidget(CancelBtn, 0, Qt::AlignHCenter);
  setFixedSize(sizeHint());
}

void TWaitForm::CancelBtnClick() {
  if (m_call.cancelRequested())
    return;
  WhatLabel->setText(QStringLiteral("Wird abgebrochen ..."));
  CancelBtn->setEnabled(false);
  m_call.cancel();
}

void TWaitForm::reject() { CancelBtnClick(); }

void TWaitForm::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape) {
    CancelBtnClick();
    return;
  }
  QDialog::keyPressEvent(event);
}

void InstallWaitWindow() { SetCallWaiter(WaitWithWindow); }

void SetWaitWindowDelay(int milliseconds) { WaitWindowDelay() = milliseconds; }
