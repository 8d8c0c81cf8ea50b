#include "common/WaitWindow.h"

#include "common/BitBtnXP.h"
#include "common/Interaction.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <chrono>

namespace {

int &WaitWindowDelay() {
  static int milliseconds = 400;
  return milliseconds;
}

struct DoubleClickKeeper {
  QPointer<QWidget> widget;
  std::function<void(const QPoint &)> handler;
};

QList<DoubleClickKeeper> &DoubleClickKeepers() {
  static QList<DoubleClickKeeper> keepers;
  return keepers;
}

} // namespace

void KeepDoubleClickDuringCalls(QWidget *widget, std::function<void(const QPoint &)> handler) {
  QList<DoubleClickKeeper> &keepers = DoubleClickKeepers();
  keepers.removeIf([](const DoubleClickKeeper &k) { return !k.widget; });
  keepers.append({widget, std::move(handler)});
}

InputHold::~InputHold() {
  qApp->removeEventFilter(this);
  if (!m_keptFor)
    return;
  for (const DoubleClickKeeper &keeper : DoubleClickKeepers())
    if (keeper.widget == m_keptFor)
      // After the handler that made the call has gone on, not in the middle of it.
      QMetaObject::invokeMethod(
          keeper.widget, [handler = keeper.handler, at = m_keptAt] { handler(at); },
          Qt::QueuedConnection);
}

bool InputHold::eventFilter(QObject *watched, QEvent *event) {
  if (!IsUserInput(event))
    return false;
  if (IsAllowed(watched))
    return false;
  if (event->type() == QEvent::Close) {
    event->ignore();
    return true;
  }
  if (event->type() == QEvent::MouseButtonDblClick)
    KeepIfAsked(watched, event);
  return true;
}

bool InputHold::IsAllowed(QObject *watched) const {
  if (!m_allowed)
    return false;
  if (watched->isWidgetType())
    return watched == m_allowed.data() || m_allowed->isAncestorOf(static_cast<QWidget *>(watched));
  return watched->isWindowType() && watched == m_allowed->windowHandle();
}

void InputHold::KeepIfAsked(QObject *watched, const QEvent *event) {
  const QPoint global = static_cast<const QMouseEvent *>(event)->globalPosition().toPoint();
  for (const DoubleClickKeeper &keeper : DoubleClickKeepers()) {
    QWidget *widget = keeper.widget;
    if (!widget || !widget->isVisible())
      continue;
    // Aimed at it: through its window, or at it or a widget in it directly.
    const bool throughItsWindow = watched == widget->window()->windowHandle();
    const bool atIt = watched->isWidgetType() &&
                      (watched == widget || widget->isAncestorOf(static_cast<QWidget *>(watched)));
    const QPoint at = widget->mapFromGlobal(global);
    if ((throughItsWindow || atIt) && widget->rect().contains(at)) {
      m_keptFor = widget;
      m_keptAt = at;
      return;
    }
  }
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

// A call that ends within a moment is waited for without showing that the
// program waits: no wait cursor for a few milliseconds, and no repaint of the
// half-done state (a row newly selected beside the lists of the row before)
// ahead of the lists that the call refills. Input that comes meanwhile is
// handled after it, as between any two events.
constexpr std::chrono::milliseconds Moment{15};

void WaitWithWindow(const QString &what, const WaitedCall &call) {
  if (call.waitFor(Moment))
    return;
  WaitCursor cursor;
  InputHold hold;
  std::unique_ptr<TWaitForm> window;
  QTimer later;
  later.setSingleShot(true);
  QObject::connect(&later, &QTimer::timeout, [&] {
    if (call.finished())
      return;
    window = std::make_unique<TWaitForm>(what, call.cancel, QApplication::activeWindow());
    hold.allow(window.get());
    window->show();
  });
  later.start(std::max(0, WaitWindowDelay() - static_cast<int>(Moment.count())));
  RunEventsUntilFinished(call);
}

void RunEventsUntilFinished(const WaitedCall &call) {
  QEventLoop loop;
  QObject relay; // lives on this thread: the call's thread finishes through it
  if (call.notifyWhenFinished([&relay, &loop] {
        QMetaObject::invokeMethod(
            &relay, [&loop] { loop.quit(); }, Qt::QueuedConnection);
      }))
    loop.exec();
}

TWaitForm::TWaitForm(const QString &what, std::function<void()> cancel, QWidget *parent)
    : QDialog(parent), m_cancel(std::move(cancel)) {
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
  if (m_cancelling)
    return;
  m_cancelling = true;
  WhatLabel->setText(QStringLiteral("Wird abgebrochen ..."));
  CancelBtn->setEnabled(false);
  m_cancel();
}

void TWaitForm::reject() { CancelBtnClick(); }

void TWaitForm::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape) {
    CancelBtnClick();
    return;
  }
  QDialog::keyPressEvent(event);
}

void SetWaitWindowDelay(int milliseconds) { WaitWindowDelay() = milliseconds; }
