// Quellwerk's performance benchmark. Generates a schema on a test server,
// then measures in this one process, offscreen, with the real main window,
// the clicks a user makes against the same requests and fetches made
// directly through the client library (the floor):
//
// - first with the server's time taken away: both sides talk to the server
//   through qwb_replay, which answers every request it has seen once from
//   its recording, so that both measure client work alone;
// - then against the server itself, both sides alternating on connections
//   of their own;
// - how a click scales with the number of tables (replayed);
// - the memory a listed table costs, beside what the library's result holds;
// - the longest time the interface thread does not get to repaint while a
//   click lists the largest database and while a statement waits for a lock;
// - by starting probe processes, the time to a shown main window against a
//   window with what the main window shows (three lists, twelve buttons) and
//   an empty one, and the peak memory.
//
// A click's time runs from the call until no event is left pending: the
// layout and the repaint of the changed lists are inside the clock.
//
//   quellwerk_bench [--databases D] [--tables T] [--fields F]
//                   [--scale T1,T2,...] [--repeat N] [--startup-runs N]
//                   [--memory-runs N] [--gap-runs N] [--plot-data FILE]
//                   [--plain-only] [--x11-clicks N]
//                   [--latency MS,MS,...] [--latency-repeat N] [--tls]
//                   [--keep-schema]
//
// --x11-clicks N measures only what a user sees through a real X server (run
// it under Xvfb with QT_QPA_PLATFORM=xcb), N rounds of each click of the
// headline: the click goes in through XTEST and is over when XDAMAGE has
// reported no paint of the window for 150 ms; its time ends at the last
// paint. Then, --startup-runs times each, the start-up of the three probe
// programs until the X server has drawn their first paint.
//
// --latency 0,50,150 measures only the actions a user makes against a far
// server (see bench/LatencyBench.h): each through qwb_delay at each round
// trip, --latency-repeat rounds, beside the mariadb command-line client; --tls
// says that the server offers TLS (the client then asks for it too);
// --keep-schema leaves the server's databases as they are (the benchmark's
// schema is neither made nor cut to size), to measure next to what it holds.
//
// The server is the one of QW_TEST_HOST, QW_TEST_PORT and QW_TEST_USER (root
// without password), as scripts/test and bench/run-benchmark export them.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "bench/LatencyBench.h"
#include "bench/ProxyProcess.h"
#include "bench/RawClient.h"
#include "bench/Schema.h"
#include "clientlib/mysql.h"
#include "common/Interaction.h"

#if __has_include("clientlib/ServerSession.h")
#include "clientlib/ServerSession.h"
#include "clientlib/SessionWork.h"
#define QWB_HAS_SESSION 1
#endif

#ifdef QWB_HAS_X11
#include "bench/X11Clicker.h"
#endif

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

struct Samples {
  std::vector<double> values;
  void add(double v) { values.push_back(v); }
  double median() const {
    if (values.empty())
      return 0;
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  double min() const {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
  }
  double max() const {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
  }
};

struct Options {
  bench::SchemaSize size;
  int repeat = 31;
  int startupRuns = 21;
  int memoryRuns = 5;
  int gapRuns = 5;
  std::string plotData;
  bool plainOnly = false;
  int x11Clicks = 0;
  bench::LatencyOptions latency;
  bool latencyMode = false;
  bool keepSchema = false;
};

std::vector<int> parseList(const char *text) {
  std::vector<int> values;
  std::string s(text);
  std::size_t pos = 0;
  while (pos <= s.size()) {
    const std::size_t comma = s.find(',', pos);
    const std::string item =
        s.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    if (!item.empty())
      values.push_back(std::stoi(item));
    if (comma == std::string::npos)
      break;
    pos = comma + 1;
  }
  return values;
}

Options parseOptions(int argc, char **argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char * {
      if (i + 1 >= argc)
        throw bench::Error("missing value after " + arg);
      return argv[++i];
    };
    if (arg == "--databases")
      o.size.databases = std::stoi(value());
    else if (arg == "--tables")
      o.size.tables = std::stoi(value());
    else if (arg == "--fields")
      o.size.fields = std::stoi(value());
    else if (arg == "--scale")
      o.size.scaling = parseList(value());
    else if (arg == "--repeat")
      o.repeat = std::stoi(value());
    else if (arg == "--startup-runs")
      o.startupRuns = std::stoi(value());
    else if (arg == "--memory-runs")
      o.memoryRuns = std::stoi(value());
    else if (arg == "--gap-runs")
      o.gapRuns = std::stoi(value());
    else if (arg == "--plot-data")
      o.plotData = value();
    else if (arg == "--plain-only")
      o.plainOnly = true;
    else if (arg == "--x11-clicks")
      o.x11Clicks = std::stoi(value());
    else if (arg == "--latency") {
      o.latency.delays = parseList(value());
      o.latencyMode = !o.latency.delays.empty();
    } else if (arg == "--latency-repeat")
      o.latency.repeat = std::stoi(value());
    else if (arg == "--tls")
      o.latency.tls = true;
    else if (arg == "--keep-schema")
      o.keepSchema = true;
    else
      throw bench::Error("unknown argument " + arg);
  }
  if (o.size.databases < 1 || o.size.tables < 1 || o.size.fields < 1 || o.repeat < 1)
    throw bench::Error("sizes and repetitions must be at least 1");
  // The one-table database is where the clicks that leave a large list go.
  if (std::find(o.size.scaling.begin(), o.size.scaling.end(), 1) == o.size.scaling.end())
    o.size.scaling.insert(o.size.scaling.begin(), 1);
  return o;
}

// ---------------------------------------------------------------------------
// The floor: the same requests and fetches, straight through the library.

volatile std::size_t g_sink = 0; // keeps the fetched texts from being optimised away

struct Floor {
  const bench::RawClient &c = bench::RawClient::get();
  MYSQL *h;

  void fields(MYSQL_RES *fields) {
    const unsigned int n = c.num_fields(fields);
    for (unsigned int f = 0; f < n; ++f) {
      const MYSQL_FIELD *field = c.fetch_field(fields);
      g_sink = g_sink + static_cast<unsigned char>(field->name[0]) + field->type + field->length;
    }
  }

  // The three listings: databases; the tables of the database at `database`;
  // the fields of the table at `table`. Negative positions stop early.
  void list(int database, int table) {
    MYSQL_RES *dbs = c.list_dbs(h, nullptr);
    if (!dbs)
      throw bench::Error(std::string("mysql_list_dbs: ") + c.error(h));
    const my_ulonglong n = c.num_rows(dbs);
    for (my_ulonglong i = 0; i < n; ++i) {
      MYSQL_ROW row = c.fetch_row(dbs);
      g_sink = g_sink + static_cast<unsigned char>(row[0][0]);
      if (database < 0 || i != static_cast<my_ulonglong>(database))
        continue;
      if (c.select_db(h, row[0]) != 0)
        throw bench::Error(std::string("mysql_select_db: ") + c.error(h));
      MYSQL_RES *tables = c.list_tables(h, nullptr);
      if (!tables)
        throw bench::Error(std::string("mysql_list_tables: ") + c.error(h));
      const my_ulonglong t = c.num_rows(tables);
      for (my_ulonglong j = 0; j < t; ++j) {
        MYSQL_ROW trow = c.fetch_row(tables);
        g_sink = g_sink + static_cast<unsigned char>(trow[0][0]);
        if (table < 0 || j != static_cast<my_ulonglong>(table))
          continue;
        MYSQL_RES *f = c.list_fields(h, trow[0], nullptr);
        if (!f)
          throw bench::Error(std::string("mysql_list_fields: ") + c.error(h));
        fields(f);
        c.free_result(f);
      }
      c.free_result(tables);
    }
    c.free_result(dbs);
  }

  std::vector<std::string> names(MYSQL_RES *r) {
    std::vector<std::string> v;
    while (MYSQL_ROW row = c.fetch_row(r))
      v.emplace_back(row[0]);
    c.free_result(r);
    return v;
  }
  int databasePosition(const std::string &name) {
    const auto v = names(c.list_dbs(h, nullptr));
    const auto found = std::find(v.begin(), v.end(), name);
    if (found == v.end())
      throw bench::Error("database " + name + " not listed");
    return static_cast<int>(found - v.begin());
  }
  int tablePosition(const std::string &database, const std::string &name) {
    c.select_db(h, database.c_str());
    const auto v = names(c.list_tables(h, nullptr));
    return static_cast<int>(std::find(v.begin(), v.end(), name) - v.begin());
  }
};

// ---------------------------------------------------------------------------
// Events: a click is over when no event is left pending.

class EventCounter : public QObject {
public:
  long long delivered = 0;
  bool eventFilter(QObject *, QEvent *) override {
    ++delivered;
    return false;
  }
};

EventCounter *g_events = nullptr;

// Processes events until a pass delivers none: the posted layout, the
// zero-time timers of the views and the repaint all run.
void drainEvents() {
  for (int pass = 0; pass < 1000; ++pass) {
    const long long before = g_events->delivered;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (g_events->delivered == before)
      return;
  }
  throw bench::Error("events keep coming: the window never settles");
}

// Bytes the process has allocated (on this thread's arena and in mappings).
long long allocatedBytes() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<long long>(m.uordblks + m.hblkhd);
}

// ---------------------------------------------------------------------------
// The main window.

// As a successful connect leaves the window, connected to the given server.
void connectForm(TMainForm &form, const bench::ServerAddress &a) {
  form.Session->close(QStringLiteral("Trenne die Verbindung ..."));
  form.Session->setEndpoint({QString::fromStdString(a.host),
                             static_cast<std::int32_t>(a.port),
                             QString::fromStdString(a.user),
                             QString::fromStdString(a.password),
                             30,
                             0,
                             {}});
  const ServerSession::ConnectOutcome outcome = form.Session->connect({}, {});
  if (outcome.step != ServerSession::ConnectStep::Connected)
    throw bench::Error("main window cannot connect: " + outcome.reply.error.toStdString());
  form.connectbtn->setEnabled(false);
  form.cancelbtn->setEnabled(true);
  form.ListCurrentDatabases();
  drainEvents();
}

struct Pair {
  Samples quellwerk, call, floor;
  double ratio() const { return quellwerk.median() / floor.median(); }
};

using Step = std::function<void(int round)>;

// Runs the program's side and the library's side of round `round`, the
// program first in odd rounds, so that drift and noise fall on both alike.
template <typename Program, typename Library>
void inAlternatingOrder(int round, Program program, Library library) {
  if (round % 2) {
    program();
    library();
  } else {
    library();
    program();
  }
}

// Runs both sides `repeat` times (after two unrecorded rounds, which also
// fill the replay proxy's recording), alternating which goes first so that
// drift and noise fall on both alike. Each round first makes the unmeasured
// step `before` (if any), then the measured one. The program's time runs
// until no event is left pending; both get the round's number, for clicks
// that alternate between two targets.
Pair measure(int repeat, const Step &quellwerk, const Step &floor, const Step &quellwerkBefore = {},
             const Step &floorBefore = {}) {
  Pair p;
  for (int i = -2; i < repeat; ++i) {
    auto runQuellwerk = [&] {
      if (quellwerkBefore) {
        quellwerkBefore(i);
        drainEvents();
      }
      const auto t0 = Clock::now();
      quellwerk(i);
      const auto t1 = Clock::now();
      drainEvents();
      const auto t2 = Clock::now();
      if (i >= 0) {
        p.call.add(msSince(t0, t1));
        p.quellwerk.add(msSince(t0, t2));
      }
    };
    auto runFloor = [&] {
      if (floorBefore)
        floorBefore(i);
      const auto t0 = Clock::now();
      floor(i);
      const auto t1 = Clock::now();
      if (i >= 0)
        p.floor.add(msSince(t0, t1));
    };
    inAlternatingOrder(i, runQuellwerk, runFloor);
  }
  return p;
}

void printHeader() {
  std::printf(
      "| Click | Quellwerk ms | of it the call ms | library ms | library min ms | ratio |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
}

void printPair(const std::string &what, const Pair &p) {
  std::printf("| %s | %.3f | %.3f | %.3f | %.3f | %.2f |\n", what.c_str(), p.quellwerk.median(),
              p.call.median(), p.floor.median(), p.floor.min(), p.ratio());
}

// The positions the clicks need, read once through the floor's connection
// (the library's listing goes by position), and the names of the databases
// and tables there (the program's by name).
struct Places {
  int main = -1, twin = -1, one = -1, largest = -1, largestTables = 0;
  int wide = -1, secondWide = -1;
  QStringList databases; // by position
  QStringList mainTables;
  QString database(int position) const { return databases.value(position); }
  QString table(int position) const { return mainTables.value(position); }
};

Places findPlaces(Floor &floor, const bench::SchemaSize &size) {
  Places p;
  p.main = floor.databasePosition(bench::MainDatabase);
  p.one = floor.databasePosition(bench::ScalingDatabase(1));
  if (std::find(size.scaling.begin(), size.scaling.end(), size.tables) != size.scaling.end())
    p.twin = floor.databasePosition(bench::ScalingDatabase(size.tables));
  p.largestTables = *std::max_element(size.scaling.begin(), size.scaling.end());
  p.largest = floor.databasePosition(bench::ScalingDatabase(p.largestTables));
  p.wide = floor.tablePosition(bench::MainDatabase, bench::WideTable(size));
  p.secondWide = floor.tablePosition(bench::MainDatabase, bench::SecondWideTable(size));
  if (p.secondWide >= size.tables)
    p.secondWide = -1;
  for (const std::string &name : floor.names(floor.c.list_dbs(floor.h, nullptr)))
    p.databases << QString::fromStdString(name);
  floor.c.select_db(floor.h, bench::MainDatabase.c_str());
  for (const std::string &name : floor.names(floor.c.list_tables(floor.h, nullptr)))
    p.mainTables << QString::fromStdString(name);
  return p;
}

// A click on the database at `database`, or on the table of qwb_main at `table`.
void clickDatabase(TMainForm &form, const Places &at, int database) {
  form.ListTables(at.database(database));
}
void clickTable(TMainForm &form, const Places &at, int table) {
  form.ListFields(at.database(at.main), at.table(table));
}

int alternate(int round, int a, int b) { return round & 1 ? b : a; }

// One click and the events it leaves, and the library's same listing, each
// in a function of its own that a profiler can be told to count alone.
[[gnu::noinline]] void profiledClick(const std::function<void()> &click) {
  click();
  drainEvents();
}
[[gnu::noinline]] void profiledLibrary(Floor &floor, int database, int table) {
  floor.list(database, table);
}

void profileClicks(const QByteArray &kind, TMainForm &form, Floor &floor, const Places &at,
                   int repeat) {
  for (int i = -2; i < repeat; ++i) {
    int database = at.main, table = -1, before = -1;
    if (kind == "changed") {
      database = alternate(i, at.main, at.twin);
    } else if (kind == "leave") {
      before = at.largest;
      database = at.one;
    } else if (kind == "enter") {
      before = at.one;
      database = at.largest;
    } else if (kind == "fields") {
      table = alternate(i, at.wide, at.secondWide);
    } else {
      throw bench::Error("QWB_PROFILE: changed, leave, enter or fields");
    }
    if (before >= 0) {
      clickDatabase(form, at, before);
      drainEvents();
      floor.list(before, -1);
    }
    auto click = [&] {
      if (table >= 0)
        clickTable(form, at, table);
      else
        clickDatabase(form, at, database);
    };
    if (i < 0) { // the first rounds fill the proxy's recording
      click();
      drainEvents();
      floor.list(database, table);
      continue;
    }
    profiledClick(click);
    profiledLibrary(floor, database, table);
  }
}

// The clicks a user feels, each against the library doing the same.
void measureClicks(TMainForm &form, Floor &floor, const Places &at, const Options &o,
                   bool headline) {
  const int T = o.size.tables, L = at.largestTables;
  printHeader();
  if (at.twin >= 0)
    printPair("database of " + std::to_string(T) + " tables, list changes (other database)",
              measure(
                  o.repeat, [&](int i) { clickDatabase(form, at, alternate(i, at.main, at.twin)); },
                  [&](int i) { floor.list(alternate(i, at.main, at.twin), -1); }));
  if (L > 1) {
    printPair("from the " + std::to_string(L) + "-table database to a 1-table one",
              measure(
                  o.repeat, [&](int) { clickDatabase(form, at, at.one); },
                  [&](int) { floor.list(at.one, -1); },
                  [&](int) { clickDatabase(form, at, at.largest); },
                  [&](int) { floor.list(at.largest, -1); }));
    printPair("database of " + std::to_string(L) + " tables, from a 1-table one",
              measure(
                  o.repeat, [&](int) { clickDatabase(form, at, at.largest); },
                  [&](int) { floor.list(at.largest, -1); },
                  [&](int) { clickDatabase(form, at, at.one); },
                  [&](int) { floor.list(at.one, -1); }));
  }
  if (at.secondWide >= 0)
    printPair("table of " + std::to_string(o.size.fields) + " fields, list changes (other table)",
              measure(
                  o.repeat,
                  [&](int i) { clickTable(form, at, alternate(i, at.wide, at.secondWide)); },
                  [&](int i) { floor.list(at.main, alternate(i, at.wide, at.secondWide)); }));
  if (!headline)
    return;
  // The same lists again: a click that re-lists what is shown.
  printPair("same database again (" + std::to_string(T) + " tables, unchanged)",
            measure(
                o.repeat, [&](int) { clickDatabase(form, at, at.main); },
                [&](int) { floor.list(at.main, -1); }));
  printPair(
      "databases listed again (" + std::to_string(form.ListView1->count()) + ", unchanged)",
      measure(
          o.repeat, [&](int) { form.ListCurrentDatabases(); }, [&](int) { floor.list(-1, -1); }));
}

// How a click into a database of T tables (from the 1-table one) grows with T.
void measureScaling(TMainForm &form, Floor &floor, const Places &at, const Options &o) {
  std::printf("\n| T | Quellwerk ms | library ms | Quellwerk us/table | library us/table | "
              "ratio |\n|---:|---:|---:|---:|---:|---:|\n");
  FILE *plot = o.plotData.empty() ? nullptr : std::fopen(o.plotData.c_str(), "w");
  if (plot)
    std::fprintf(plot, "# T quellwerk_ms library_ms quellwerk_us_per_table library_us_per_table\n");
  for (int t : o.size.scaling) {
    if (t == 1)
      continue;
    const int db = floor.databasePosition(bench::ScalingDatabase(t));
    const Pair p = measure(
        o.repeat, [&](int) { clickDatabase(form, at, db); }, [&](int) { floor.list(db, -1); },
        [&](int) { clickDatabase(form, at, at.one); }, [&](int) { floor.list(at.one, -1); });
    if (form.ListView2->count() != t)
      throw bench::Error("the table list does not show every table");
    const double q = p.quellwerk.median(), f = p.floor.median();
    std::printf("| %d | %.3f | %.3f | %.3f | %.3f | %.2f |\n", t, q, f, q * 1000 / t, f * 1000 / t,
                p.ratio());
    if (plot)
      std::fprintf(plot, "%d %.4f %.4f %.4f %.4f\n", t, q, f, q * 1000 / t, f * 1000 / t);
  }
  if (plot)
    std::fclose(plot);
}

// What a listed table costs in memory: the program's lists after a click
// into the largest database, against the library's result of its tables.
void measureMemory(TMainForm &form, Floor &floor, const Places &at) {
  const double tables = at.largestTables;
  floor.list(at.largest, -1); // records the answers, when replayed
  clickDatabase(form, at, at.one);
  drainEvents();
  malloc_trim(0);
  const long long before = allocatedBytes();
  clickDatabase(form, at, at.largest);
  drainEvents();
  const long long after = allocatedBytes();
  floor.c.select_db(floor.h, bench::ScalingDatabase(at.largestTables).c_str());
  const long long libraryBefore = allocatedBytes();
  MYSQL_RES *result = floor.c.list_tables(floor.h, nullptr);
  const long long libraryAfter = allocatedBytes();
  floor.c.free_result(result);
  clickDatabase(form, at, at.one);
  drainEvents();
  const double q = static_cast<double>(after - before) / tables;
  const double l = static_cast<double>(libraryAfter - libraryBefore) / tables;
  std::printf("\n### Memory per listed table, %d tables listed (bytes allocated on the interface "
              "thread)\n\n",
              at.largestTables);
  std::printf("| Holder | bytes per table |\n|---|---:|\n");
  std::printf("| Quellwerk's lists | %.1f |\n| the library's result | %.1f |\n", q, l);
  std::printf("| Quellwerk beyond the library | %.1f |\n", q - l);
}

// The longest interval between the ticks of a 1 ms timer on the interface
// thread while `action` runs from the event loop.
double longestGap(const std::function<void()> &action) {
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  auto last = Clock::now();
  double longest = 0;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    longest = std::max(longest, msSince(last, now));
    last = now;
  });
  bool done = false;
  QTimer::singleShot(20, [&] {
    action();
    done = true;
  });
  tick.start(1);
  last = Clock::now();
  const auto start = Clock::now();
  while (!done || msSince(start, Clock::now()) < 60)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  tick.stop();
  return longest;
}

void measureGaps(TMainForm &form, const bench::ServerAddress &server, const Places &at,
                 const Options &o) {
  Samples listing, waiting;
  for (int i = 0; i < o.gapRuns; ++i) {
    clickDatabase(form, at, at.one);
    drainEvents();
    listing.add(longestGap([&] { clickDatabase(form, at, at.largest); }));
  }
#ifdef QWB_HAS_SESSION
  // A statement that waits for a table another connection holds locked; the
  // lock goes after a second, so that the "Bitte warten" window comes too.
  bench::Connection locker(server);
  const std::string table =
      "`" + bench::ScalingDatabase(1) + "`.`" + bench::ScalingTableName(0) + "`";
  for (int i = 0; i < o.gapRuns; ++i) {
    locker.exec("LOCK TABLES " + table + " WRITE");
    std::thread unlock([&] {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      locker.exec("UNLOCK TABLES");
    });
    waiting.add(longestGap([&] {
      form.Session->run(QStringLiteral("Lese die Tabelle ..."), [&](MYSQL *handle) {
        const std::string sql = "SELECT COUNT(*) FROM " + table;
        if (mysql::mysql_real_query(handle, sql.data(), sql.size()) == 0)
          Result(mysql::mysql_store_result(handle));
        return 0;
      });
    }));
    unlock.join();
    drainEvents();
  }
#else
  (void)server;
#endif
  std::printf("\n### Longest interval without repaint on the interface thread (%d runs)\n\n",
              o.gapRuns);
  std::printf("| While | median ms | max ms |\n|---|---:|---:|\n");
  std::printf("| a click lists %d tables | %.1f | %.1f |\n", at.largestTables, listing.median(),
              listing.max());
  if (!waiting.values.empty())
    std::printf("| a statement waits 1 s for a lock | %.1f | %.1f |\n", waiting.median(),
                waiting.max());
}

// ---------------------------------------------------------------------------
// Probe processes.

struct ProbeResult {
  double startupMs = 0;
  double cpuMs = 0; // user and system time of the process, all its threads
  long peakKb = 0;
};

// Starts `program` with this process's environment less the benchmark's own
// QWB_ settings, plus `extraEnv`; its standard output goes to `out` (or
// stays this process's when `out` is -1).
pid_t spawnProgram(const std::string &program, const std::vector<std::string> &extraEnv,
                   int out = -1) {
  std::vector<std::string> envStrings;
  for (char **e = environ; *e; ++e)
    if (std::strncmp(*e, "QWB_", 4) != 0)
      envStrings.emplace_back(*e);
  envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char *> envp;
  for (std::string &s : envStrings)
    envp.push_back(s.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out >= 0)
    posix_spawn_file_actions_adddup2(&actions, out, 1);
  std::string path = program;
  char *argv[] = {path.data(), nullptr};
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
    throw bench::Error("cannot start " + program);
  return pid;
}

ProbeResult runProbe(const std::string &program, const std::vector<std::string> &extraEnv) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    throw bench::Error("pipe failed");
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  try {
    pid = spawnProgram(program, extraEnv, fds[1]);
  } catch (...) {
    close(fds[0]);
    close(fds[1]);
    throw;
  }
  close(fds[1]);
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    out.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);

  ProbeResult r;
  r.cpuMs = (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
             static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
  const char *shown = std::strstr(out.c_str(), "shown_ns ");
  const char *lst = std::strstr(out.c_str(), "listed ");
  const long long shownNs = shown ? std::atoll(shown + 9) : 0;
  const int listed = lst ? std::atoi(lst + 7) : 0;
  const long long startNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
  r.startupMs = static_cast<double>(shownNs - startNs) / 1e6;
  // Not the rusage of wait4: a spawned child starts its peak from the parent's.
  const char *peak = std::strstr(out.c_str(), "peak_kb ");
  r.peakKb = peak ? std::atol(peak + 8) : -1;
  if (!(shown && listed == 1 && WIFEXITED(status) && WEXITSTATUS(status) == 0))
    throw bench::Error(program + " did not report a shown window (output: " + out + ")");
  return r;
}

// The programs whose start-up is compared: Quellwerk first, the fair floor second.
std::vector<std::string> startupPrograms() {
  const std::string dir = QCoreApplication::applicationDirPath().toStdString();
  return {dir + "/quellwerk_startprobe", dir + "/qwb_fair_window", dir + "/qwb_minimal_window"};
}
const char *const StartupProgramNames[] = {
    "Quellwerk", "three lists and twelve buttons (fair floor)", "empty window"};

void measureStartup(const Options &o) {
  const std::vector<std::string> programs = startupPrograms();
  const char *const *names = StartupProgramNames;
  if (o.startupRuns > 0) {
    std::vector<Samples> times(programs.size()), cpu(programs.size());
    for (const std::string &p : programs) // the first runs fill the file cache
      runProbe(p, {"QWB_PROBE=startup"});
    for (int i = 0; i < o.startupRuns; ++i)
      for (std::size_t k = 0; k < programs.size(); ++k) {
        const std::size_t which = (k + static_cast<std::size_t>(i)) % programs.size();
        const ProbeResult r = runProbe(programs[which], {"QWB_PROBE=startup"});
        times[which].add(r.startupMs);
        cpu[which].add(r.cpuMs);
      }
    std::printf("\n### Start-up, process start to first paint (%d runs each, rotating order, "
                "medians)\n\n",
                o.startupRuns);
    std::printf("| Program | median ms | min ms | Quellwerk's ratio | CPU time ms | Quellwerk's "
                "CPU ratio |\n|---|---:|---:|---:|---:|---:|\n");
    for (std::size_t k = 0; k < programs.size(); ++k)
      std::printf("| %s | %.1f | %.1f | %.2f | %.1f | %.2f |\n", names[k], times[k].median(),
                  times[k].min(), times[0].median() / times[k].median(), cpu[k].median(),
                  cpu[0].median() / cpu[k].median());
  }
  if (o.memoryRuns > 0) {
    Samples q, m;
    const std::vector<std::string> env{"QWB_PROBE=memory", "QWB_DATABASE=" + bench::MainDatabase,
                                       "QWB_TABLE=" + bench::WideTable(o.size)};
    for (int i = 0; i < o.memoryRuns; ++i) {
      q.add(static_cast<double>(runProbe(programs[0], env).peakKb));
      m.add(static_cast<double>(runProbe(programs[2], env).peakKb));
    }
    std::printf("\n### Peak resident memory (VmHWM), Quellwerk with %d tables and %d fields listed "
                "(%d runs, medians)\n\n",
                o.size.tables, o.size.fields, o.memoryRuns);
    std::printf("| Program | peak MB |\n|---|---:|\n");
    std::printf("| Quellwerk | %.1f |\n", q.median() / 1024);
    std::printf("| empty window | %.1f |\n", m.median() / 1024);
    std::printf("| difference | %.1f |\n", (q.median() - m.median()) / 1024);
  }
}

#ifdef QWB_HAS_X11
// What any click costs on its way through the X server and Qt: a window of
// the list's size that repaints one row where it is pressed, and does
// nothing else. No program can answer a click faster than this.
class EchoWindow : public QWidget {
public:
  EchoWindow() { resize(231, 378); }

protected:
  void mousePressEvent(QMouseEvent *event) override {
    m_row = QRect(0, event->position().toPoint().y() / 14 * 14, width(), 14);
    m_dark = !m_dark;
    update(m_row);
  }
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    painter.fillRect(m_row, m_dark ? palette().highlight() : palette().base());
  }

private:
  QRect m_row;
  bool m_dark = false;
};

void measureX11Echo(const Options &o) {
  EchoWindow echo;
  echo.show();
  for (int i = 0; i < 1000 && !(echo.windowHandle() && echo.windowHandle()->isExposed()); ++i)
    drainEvents();
  bench::X11Clicker clicker(echo.winId());
  const QPoint centre = echo.mapToGlobal(echo.rect().center());
  clicker.moveTo(centre.x(), centre.y());
  Samples ms, cpu;
  for (int i = -2; i < o.x11Clicks; ++i) {
    const bench::X11Clicker::Click click = clicker.click();
    if (i >= 0) {
      ms.add(click.ms);
      cpu.add(click.threadCpuMs);
    }
  }
  std::printf("| the floor of the path: a Qt window that repaints one row where pressed | %.3f | "
              "%.3f | | | %.3f | | | |\n",
              ms.median(), ms.min(), cpu.median());
  std::fflush(stdout);
}

// The clicks of the headline, through the X server: each on a row of the
// database list, and the library's same listing beside it, the two in
// alternating order; a click that leaves or enters a list first clicks
// (unmeasured) the database it comes from.
void measureX11Clicks(TMainForm &form, Floor &floor, const Places &at, const Options &o) {
  if (at.twin < 0)
    throw bench::Error("--x11-clicks needs the scaling size equal to --tables");
  bench::X11Clicker clicker(form.winId());
  ReportListView *databases = form.ListView1;
  auto clickRow = [&](int row) {
    databases->scrollTo(databases->model()->index(row, 0));
    drainEvents();
    const QPoint centre = databases->viewport()->mapToGlobal(
        databases->visualRect(databases->model()->index(row, 0)).center());
    clicker.moveTo(centre.x(), centre.y());
    return clicker.click();
  };
  // Processor time of the library's listing: it runs on this thread alone.
  auto threadCpuMs = [] {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
  };
  struct Kind {
    std::string what;
    std::function<int(int)> target;
    int before = -1; // the database the click comes from, or -1
    int tables = 0;  // the tables the click lists
  };
  const int T = o.size.tables, L = at.largestTables;
  std::vector<Kind> kinds{{"database of " + std::to_string(T) + " tables, list changes",
                           [&](int i) { return alternate(i, at.main, at.twin); }, -1, T}};
  if (L > 1) {
    kinds.push_back({"from the " + std::to_string(L) + "-table database to a 1-table one",
                     [&](int) { return at.one; }, at.largest, 1});
    kinds.push_back({"database of " + std::to_string(L) + " tables, from a 1-table one",
                     [&](int) { return at.largest; }, at.one, L});
  }
  std::printf("\n### Clicks through the X server (XTEST in, last paint seen by XDAMAGE; "
              "%d rounds, alternating, medians)\n\n",
              o.x11Clicks);
  std::printf("| Click | Quellwerk ms | min ms | library ms | ratio | interface thread CPU ms | "
              "library CPU ms | CPU ratio | X server CPU ms |\n"
              "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Kind &kind : kinds) {
    Samples quellwerk, library, quellwerkCpu, libraryCpu, serverCpu;
    for (int i = -2; i < o.x11Clicks; ++i) {
      const int target = kind.target(i);
      if (kind.before >= 0) {
        clickRow(kind.before);
        floor.list(kind.before, -1);
      }
      auto runQuellwerk = [&] {
        const bench::X11Clicker::Click click = clickRow(target);
        if (databases->selectedRow() != target || form.ListView2->count() != kind.tables)
          throw bench::Error("the click through the X server did not list the database");
        if (i >= 0) {
          quellwerk.add(click.ms);
          quellwerkCpu.add(click.threadCpuMs);
          serverCpu.add(click.serverCpuMs);
        }
      };
      auto runLibrary = [&] {
        const auto t0 = Clock::now();
        const double cpu0 = threadCpuMs();
        floor.list(target, -1);
        if (i >= 0) {
          library.add(msSince(t0, Clock::now()));
          libraryCpu.add(threadCpuMs() - cpu0);
        }
      };
      inAlternatingOrder(i, runQuellwerk, runLibrary);
    }
    std::printf("| %s | %.3f | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f | %.3f |\n",
                kind.what.c_str(), quellwerk.median(), quellwerk.min(), library.median(),
                quellwerk.median() / library.median(), quellwerkCpu.median(), libraryCpu.median(),
                quellwerkCpu.median() / libraryCpu.median(), serverCpu.median());
    std::fflush(stdout);
  }
  // QWB_SCREENSHOT=file.png keeps a picture of the window as the clicks left it.
  if (const QString file = qEnvironmentVariable("QWB_SCREENSHOT"); !file.isEmpty())
    form.grab().save(file);
  measureX11Echo(o);
}

// Start-up through the X server: from starting the program until the X
// server has drawn its window's first paint, the programs in rotating order.
void measureX11Startup(const Options &o) {
  const std::vector<std::string> programs = startupPrograms();
  std::vector<Samples> times(programs.size());
  for (int i = -1; i < o.startupRuns; ++i) // the first round fills the file cache
    for (std::size_t k = 0; k < programs.size(); ++k) {
      const std::size_t which = (k + static_cast<std::size_t>(std::max(i, 0))) % programs.size();
      const double ms = bench::MsToFirstPaint([&] { return spawnProgram(programs[which], {}); });
      if (i >= 0)
        times[which].add(ms);
    }
  std::printf("\n### Start-up through the X server, process start to the first paint drawn "
              "(XDAMAGE; %d runs each, rotating order, medians)\n\n",
              o.startupRuns);
  std::printf("| Program | median ms | min ms | Quellwerk's ratio |\n|---|---:|---:|---:|\n");
  for (std::size_t k = 0; k < programs.size(); ++k)
    std::printf("| %s | %.1f | %.1f | %.2f |\n", StartupProgramNames[k], times[k].median(),
                times[k].min(), times[0].median() / times[k].median());
}
#endif

int run(int argc, char **argv) {
  const Options o = parseOptions(argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");

  mysql::LoadClientLibrary();
  if (!mysql::ClientLibraryHandle)
    throw bench::Error("cannot load the client library");
  const bench::ServerAddress server = bench::ServerAddress::fromEnvironment();
  if (!(o.latencyMode && o.keepSchema)) {
    bench::Connection admin(server, true);
    const auto start = Clock::now();
    bench::GenerateSchema(admin, o.size);
    std::fprintf(stderr, "schema ready in %.1f s\n", msSince(start, Clock::now()) / 1000);
  }

  // The latency mode connects as a user does, and the program keeps what it
  // learns of a server (its certificate trusted) in its settings: in a
  // folder of its own, not the user's.
  QTemporaryDir settings;
  if (o.latencyMode)
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());

  QApplication app(argc, argv);
  QApplication::setApplicationName(ApplicationTitle);
  InstallGermanTranslations();
  EventCounter events;
  g_events = &events;
  app.installEventFilter(&events);
  std::unique_ptr<TMainForm> form = CreateForms();
  form->show();
  for (int i = 0; i < 1000 && !(form->windowHandle() && form->windowHandle()->isExposed()); ++i)
    drainEvents();

  const std::string dir = QCoreApplication::applicationDirPath().toStdString();
  if (o.latencyMode) {
    bench::LatencyOptions latency = o.latency;
    latency.programDir = dir;
    bench::MeasureLatency(*form, server, latency, drainEvents);
    return 0;
  }
  bench::ProxyProcess proxy(dir + "/qwb_replay", server);
  auto direct = std::make_unique<bench::Connection>(server);
  auto replayed = std::make_unique<bench::Connection>(proxy.address());
  Floor floor{bench::RawClient::get(), direct->handle()};
  const Places at = findPlaces(floor, o.size);

  // QWB_PROFILE=changed|leave|enter|fields repeats one kind of click through
  // the proxy, and the library's same listing after it, and stops: for
  // valgrind --tool=callgrind --toggle-collect='*profiled*' (see
  // docs/performance.md).
  if (const QByteArray profile = qgetenv("QWB_PROFILE"); !profile.isEmpty()) {
    connectForm(*form, proxy.address());
    Floor replayFloor{bench::RawClient::get(), replayed->handle()};
    profileClicks(profile, *form, replayFloor, at, o.repeat);
    return 0;
  }

  std::printf("Schema: %zu databases, %s with %d tables, tables of %d columns; the largest "
              "database has %d tables\n",
              floor.names(floor.c.list_dbs(floor.h, nullptr)).size(), bench::MainDatabase.c_str(),
              o.size.tables, o.size.fields, at.largestTables);
  std::printf("Repetitions: %d per figure, medians; a click is timed until no event is left "
              "pending (layout and repaint included)\n",
              o.repeat);

  // Server time removed: both sides through the replay proxy.
  connectForm(*form, proxy.address());
  Floor replayFloor{bench::RawClient::get(), replayed->handle()};
  // First, while the table list has never held more than a row (a list
  // keeps the room it once needed).
  if (!o.plainOnly && o.x11Clicks == 0)
    measureMemory(*form, replayFloor, at);
  if (o.x11Clicks > 0) {
#ifdef QWB_HAS_X11
    measureX11Clicks(*form, replayFloor, at, o);
    if (o.startupRuns > 0)
      measureX11Startup(o);
    return 0;
#else
    throw bench::Error("built without X11, XTEST and DAMAGE");
#endif
  }
  // The click that lists the same database again, against one side's floor.
  const auto printPlainClick = [&](Floor &side) {
    printHeader();
    printPair("same database again (plain click)",
              measure(
                  o.repeat, [&](int) { clickDatabase(*form, at, at.main); },
                  [&](int) { side.list(at.main, -1); }));
  };
  std::printf("\n### Client work per click (server answers replayed)\n\n");
  if (o.plainOnly) {
    printPlainClick(replayFloor);
#ifdef QWB_HAS_SESSION
    // The hop alone: an empty job sent to the connection's thread and back.
    Samples hop;
    for (int i = -2; i < o.repeat; ++i) {
      const auto t0 = Clock::now();
      form->Session->run(QStringLiteral("Nichts"), [](MYSQL *) { return 0; });
      if (i >= 0)
        hop.add(msSince(t0, Clock::now()));
    }
    std::printf("| the thread hop alone (an empty job) | %.3f | | | %.3f | |\n", hop.median(),
                hop.min());
#endif
  } else {
    measureClicks(*form, replayFloor, at, o, true);
    std::printf("\n### Scaling: a click into a database of T tables, from a 1-table one "
                "(replayed)\n");
    measureScaling(*form, replayFloor, at, o);
  }

  // With the server's own time: both sides on connections of their own.
  connectForm(*form, server);
  std::printf("\n### The same clicks against the server\n\n");
  if (o.plainOnly) {
    printPlainClick(floor);
    return 0;
  }
  measureClicks(*form, floor, at, o, false);
  measureGaps(*form, server, at, o);
  std::fflush(stdout);

  form->cancelbtnClick();
  form.reset();
  replayed.reset();
  direct.reset();
  measureStartup(o);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "quellwerk_bench: %s\n", e.what());
    return 1;
  }
}
