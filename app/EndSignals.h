// The desktop ends a program with SIGTERM (and a closed terminal with
// SIGHUP): Quellwerk then ends as on "Ende", so that a statement under way is
// ended on the server first instead of running on there after the program
// has gone. The signal only notes itself; the interface thread acts on it.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class EndSignals : public QObject {
public:
  // `end` runs on the interface thread for each SIGTERM or SIGHUP, until this
  // object is destroyed; then the two signals end the program at once again.
  explicit EndSignals(std::function<void()> end);
  ~EndSignals() override;
  EndSignals(const EndSignals &) = delete;
  EndSignals &operator=(const EndSignals &) = delete;

private:
  std::function<void()> m_end;
  QSocketNotifier *m_notifier = nullptr;
};
