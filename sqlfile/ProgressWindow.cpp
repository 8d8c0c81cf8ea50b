#include "sqlfile/ProgressWindow.h"

#include "clientlib/ServerSession.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int PollMilliseconds = 100;

void WaitWithProgress(const QString &title, const QString &what, PendingCall &call,
                      const JobProgress &progress, const ProgressText &text) {
  if (call.finished())
    return;
  QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  const auto cursor = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
  TProgressForm window(title, what, call, QApplication::activeWindow());
  QElapsedTimer clock;
  clock.start();
  const auto show = [&] {
    const ProgressView view = text(progress, clock.elapsed());
    window.showProgress(view.perMille, view.figures);
  };
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, show);
  show();
  window.show();
  poll.start(PollMilliseconds);
  RunEventsUntilFinished(WaitedCallOf(call));
}

} // namespace

TProgressForm::TProgressForm(const QString &title, const QString &what, PendingCall &call,
                             QWidget *parent)
    : TWaitForm(
          what, [&call] { call.cancel(); }, parent) {
  setObjectName(QStringLiteral("ProgressForm"));
  setWindowTitle(title);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setTextVisible(false);
  FiguresLabel = new QLabel(this);
  FiguresLabel->setObjectName(QStringLiteral("FiguresLabel"));
  FiguresLabel->setTextFormat(Qt::PlainText);
  FiguresLabel->setMinimumHeight(FiguresLabel->fontMetrics().height()); // a line, also while empty
  auto *column = static_cast<QVBoxLayout *>(layout());
  column->insertWidget(1, ProgressBar);
  column->insertWidget(2, FiguresLabel);
  WhatLabel->setMinimumWidth(420);
  setFixedSize(sizeHint());
}

void TProgressForm::showProgress(int perMille, const QString &figures) {
  if (perMille < 0) {
    ProgressBar->setRange(0, 0); // busy, until a share is known
  } else {
    ProgressBar->setRange(0, 1000);
    ProgressBar->setValue(std::min(perMille, 1000));
  }
  FiguresLabel->setText(figures);
}

void WithProgressWindow(const QString &title, const QString &what, const JobProgress &progress,
                        const ProgressText &text, const std::function<void()> &job) {
  CallWaiter before = SetCallWaiter([&](const QString &, PendingCall &call) {
    WaitWithProgress(title, what, call, progress, text);
  });
  const auto restore = qScopeGuard([&] { SetCallWaiter(std::move(before)); });
  job();
}
