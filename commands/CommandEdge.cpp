#include "commands/CommandEdge.h"

#include <QApplication>
#include <QTimer>

void CommandEdge::Refuse() { QApplication::beep(); }

void CommandEdge::later(QWidget *parent, std::function<void()> action) {
  if (!running()) {
    run(parent, action);
    return;
  }
  if (m_depth == 0) {
    // A call of code outside any command: looked at again shortly.
    QTimer::singleShot(
        50, this, [this, window = QPointer<QWidget>(parent), action] { later(window, action); });
    return;
  }
  m_waiting.emplace_back(parent, std::move(action));
}

void CommandEdge::endCommandThen(QWidget *parent, std::function<void()> action) {
  if (running())
    m_session.interruptCalls();
  later(parent, std::move(action));
}

void CommandEdge::leave(QWidget *parent) {
  if (--m_depth > 0)
    return;
  // The command has unwound: its calls were the ones to end.
  m_session.allowCalls();
  if (const std::optional<QString> lost = std::exchange(m_lost, std::nullopt);
      lost && connectionLost)
    run(parent, [&] { connectionLost(*lost); });
  while (!m_waiting.empty() && !running()) {
    auto [waitingParent, action] = std::move(m_waiting.front());
    m_waiting.erase(m_waiting.begin());
    run(waitingParent, action);
  }
}
