// Linked into a program beside its own main(): when QWB_PROBE is set, it
// notes the moment the first top-level window has been exposed (shown and
// painted: the probe has the window handle its first expose event, which
// paints it), writes it to standard output as nanoseconds of
// CLOCK_MONOTONIC, and ends the process at once. The parent that started the process knows
// when it did, so the difference is the time from process start to a shown
// window.
//
// QWB_PROBE=memory instead lists the generated schema first when the program
// is Quellwerk (built with QWB_PROBE_LISTS): it connects the main window to
// the server of QW_TEST_HOST/QW_TEST_PORT/QW_TEST_USER, lists the database
// QWB_DATABASE and its table QWB_TABLE, lets the window repaint, and then
// reports the peak resident memory (VmHWM) as well.
#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

#ifdef QWB_PROBE_LISTS
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"

#include <QApplication>
#endif

namespace {

long long monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

long peakResidentKb() {
  FILE *f = std::fopen("/proc/self/status", "r");
  if (!f)
    return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "VmHWM:", 6) == 0)
      kb = std::strtol(line + 6, nullptr, 10);
  std::fclose(f);
  return kb;
}

#ifdef QWB_PROBE_LISTS
int rowOf(const ReportListView *list, const QString &caption) {
  for (int i = 0; i < list->count(); ++i)
    if (list->caption(i) == caption)
      return i;
  return -1;
}

// Lists the schema as a user would see it: the database, then its table.
bool listSchema() {
  TMainForm *form = nullptr;
  for (QWidget *w : QApplication::topLevelWidgets())
    if ((form = qobject_cast<TMainForm *>(w)))
      break;
  if (!form)
    return false;
  const QString host = qEnvironmentVariable("QW_TEST_HOST"),
                user = qEnvironmentVariable("QW_TEST_USER");
  const int port = qEnvironmentVariableIntValue("QW_TEST_PORT");
  form->Session->setEndpoint({host, port, user, {}, 30, 0, {}});
  const ServerSession::ConnectOutcome outcome = form->Session->connect({}, {});
  if (outcome.step != ServerSession::ConnectStep::Connected) {
    std::fprintf(stderr, "probe: cannot connect: %s\n", qPrintable(outcome.reply.error));
    return false;
  }
  form->connectbtn->setEnabled(false);
  form->cancelbtn->setEnabled(true);
  form->ListCurrentDatabases();
  const int database = rowOf(form->ListView1, qEnvironmentVariable("QWB_DATABASE"));
  form->ListTables(database);
  const int table = rowOf(form->ListView2, qEnvironmentVariable("QWB_TABLE"));
  form->ListFields(database, table);
  QCoreApplication::processEvents();
  std::fprintf(stderr, "probe: listed %d databases, %d tables, %d fields\n",
               form->ListView1->count(), form->ListView2->count(), form->ListView3->count());
  return database >= 0 && table >= 0 && form->ListView3->count() > 0;
}
#endif

class Probe : public QObject {
public:
  explicit Probe(bool memory) : m_memory(memory) {}

  bool eventFilter(QObject *watched, QEvent *event) override {
    if (!m_seen && event->type() == QEvent::Expose) {
      auto *window = qobject_cast<QWindow *>(watched);
      if (window && window->isTopLevel() && window->isVisible()) {
        m_seen = true;
        if (m_memory) {
          // Lists once the expose event (and with it the first paint) is done.
          QMetaObject::invokeMethod(
              this, [this] { report(); }, Qt::QueuedConnection);
        } else {
          // The window paints while it handles the event; the moment after
          // is the one reported, whatever the program does next.
          static_cast<QObject *>(window)->event(event);
          report();
        }
      }
    }
    return false;
  }

private:
  void report() {
    const long long shown = monotonicNs();
    bool listed = true;
#ifdef QWB_PROBE_LISTS
    if (m_memory)
      listed = listSchema();
#endif
    std::printf("shown_ns %lld\nlisted %d\npeak_kb %ld\n", shown, listed ? 1 : 0, peakResidentKb());
    std::fflush(stdout);
    _exit(listed ? 0 : 3);
  }

  bool m_memory;
  bool m_seen = false;
};

void installProbe() {
  const QByteArray mode = qgetenv("QWB_PROBE");
  if (mode.isEmpty())
    return;
  auto *probe = new Probe(mode == "memory");
  probe->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(probe);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
