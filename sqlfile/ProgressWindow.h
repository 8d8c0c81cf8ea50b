// The wait window of a long job on the connection's thread (an SQL file run,
// a structure read), with a bar and a line of figures: how far the job has
// come. It is the call's waiter while the job runs and shows at once; it
// polls the job's progress a few times a second, so the window paints and
// answers all the while, and holds the user's input to the other windows
// back (it is application modal). "Abbrechen" cancels the call as in the
// wait window: the job stops at its next statement.
#pragma once

#include "clientlib/JobProgress.h"
#include "common/WaitWindow.h"

#include <functional>

class PendingCall;
class QProgressBar;

class TProgressForm : public TWaitForm {
  Q_OBJECT
public:
  TProgressForm(const QString &title, const QString &what, PendingCall &call, QWidget *parent);

  QProgressBar *ProgressBar;
  QLabel *FiguresLabel;

  // Per mille done (below 0: not known yet) and the line of figures.
  void showProgress(int perMille, const QString &figures);
};

// What the window shows of a job's progress after `elapsedMs`.
struct ProgressView {
  int perMille = -1;
  QString figures;
};
using ProgressText = std::function<ProgressView(const JobProgress &, qint64 elapsedMs)>;

// Runs `job`, whose one server call waits in the progress window.
void WithProgressWindow(const QString &title, const QString &what, const JobProgress &progress,
                        const ProgressText &text, const std::function<void()> &job);
