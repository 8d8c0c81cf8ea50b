// Quellwerk's performance benchmark. Generates a schema on a test server,
// then measures in this one process, offscreen, with the real main window:
// ListCurrentDatabases, ListTables and ListFields against the same requests
// and fetches made directly through the client library (the floor); how
// ListFields scales with the number of tables; and, by starting probe
// processes, the time to a shown main window and the peak memory against a
// minimal Qt program.
//
//   quellwerk_bench [--databases D] [--tables T] [--fields F]
//                   [--scale T1,T2,...] [--repeat N] [--startup-runs N]
//                   [--memory-runs N] [--plot-data FILE]
//
// The server is the one of QW_TEST_HOST, QW_TEST_PORT and QW_TEST_USER (root
// without password), as scripts/test and bench/run-benchmark export them.
#include "app/Forms.h"
#include "app/Interaction.h"
#include "app/mysql_test_main.h"
#include "bench/RawClient.h"
#include "bench/Schema.h"
#include "clientlib/mysql.h"

#include <QApplication>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
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
};

struct Options {
  bench::SchemaSize size;
  int repeat = 31;
  int startupRuns = 21;
  int memoryRuns = 5;
  std::string plotData;
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
    else if (arg == "--plot-data")
      o.plotData = value();
    else
      throw bench::Error("unknown argument " + arg);
  }
  if (o.size.databases < 1 || o.size.tables < 1 || o.size.fields < 1 || o.repeat < 1)
    throw bench::Error("sizes and repetitions must be at least 1");
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
    return static_cast<int>(std::find(v.begin(), v.end(), name) - v.begin());
  }
  int tablePosition(const std::string &database, const std::string &name) {
    c.select_db(h, database.c_str());
    const auto v = names(c.list_tables(h, nullptr));
    return static_cast<int>(std::find(v.begin(), v.end(), name) - v.begin());
  }
};

// ---------------------------------------------------------------------------
// The main window.

void processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void connectForm(TMainForm &form, const bench::ServerAddress &a) {
  MYSQL *handle = mysql::mysql_init(nullptr);
  mysql::mysql_options(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql::mysql_real_connect(handle, a.host.c_str(), a.user.c_str(), a.password.c_str(),
                                 nullptr, a.port, nullptr, 0))
    throw bench::Error(std::string("main window cannot connect: ") + mysql::mysql_error(handle));
  // As a successful connect leaves the window.
  form.MySQLHandle = handle;
  form.connectbtn->setEnabled(false);
  form.cancelbtn->setEnabled(true);
  form.ListCurrentDatabases();
  processEvents();
}

struct Pair {
  Samples quellwerk, call, floor;
  double ratio() const { return quellwerk.median() / floor.median(); }
};

// Runs both sides `repeat` times (after two unrecorded rounds), alternating
// which goes first so that drift and noise fall on both alike. The program's
// time includes the repaint that the call leaves pending.
// Both get the round's number, for calls that alternate between two targets.
Pair measure(int repeat, const std::function<void(int)> &quellwerk,
             const std::function<void(int)> &floor) {
  Pair p;
  for (int i = -2; i < repeat; ++i) {
    auto runQuellwerk = [&] {
      const auto t0 = Clock::now();
      quellwerk(i);
      const auto t1 = Clock::now();
      processEvents();
      const auto t2 = Clock::now();
      if (i >= 0) {
        p.call.add(msSince(t0, t1));
        p.quellwerk.add(msSince(t0, t2));
      }
    };
    auto runFloor = [&] {
      const auto t0 = Clock::now();
      floor(i);
      const auto t1 = Clock::now();
      if (i >= 0)
        p.floor.add(msSince(t0, t1));
    };
    if (i % 2) {
      runQuellwerk();
      runFloor();
    } else {
      runFloor();
      runQuellwerk();
    }
  }
  return p;
}

// ---------------------------------------------------------------------------
// Probe processes.

struct ProbeResult {
  double startupMs = 0;
  long peakKb = 0;
  bool ok = false;
};

ProbeResult runProbe(const std::string &program, const std::vector<std::string> &extraEnv) {
  std::vector<std::string> envStrings;
  for (char **e = environ; *e; ++e)
    if (std::strncmp(*e, "QWB_", 4) != 0)
      envStrings.emplace_back(*e);
  envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char *> envp;
  for (std::string &s : envStrings)
    envp.push_back(s.data());
  envp.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    throw bench::Error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::string path = program;
  char *argv[] = {path.data(), nullptr};
  pid_t pid = 0;
  const auto start = std::chrono::steady_clock::now();
  const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    throw bench::Error("cannot start " + program);
  }
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    out.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);

  ProbeResult r;
  long long shownNs = 0;
  int listed = 0;
  const char *shown = std::strstr(out.c_str(), "shown_ns ");
  const char *lst = std::strstr(out.c_str(), "listed ");
  if (shown)
    shownNs = std::atoll(shown + 9);
  if (lst)
    listed = std::atoi(lst + 7);
  const long long startNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
  r.startupMs = static_cast<double>(shownNs - startNs) / 1e6;
  // Not the rusage of wait4: a spawned child starts its peak from the parent's.
  const char *peak = std::strstr(out.c_str(), "peak_kb ");
  r.peakKb = peak ? std::atol(peak + 8) : -1;
  r.ok = shown && listed == 1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!r.ok)
    throw bench::Error(program + " did not report a shown window (output: " + out + ")");
  return r;
}

void printPair(const char *what, const Pair &p) {
  std::printf("| %s | %.3f | %.3f | %.3f | %.3f | %.3f |\n", what, p.quellwerk.median(),
              p.call.median(), p.floor.median(), p.floor.min(), p.ratio());
}

int run(int argc, char **argv) {
  const Options o = parseOptions(argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");

  mysql::LoadClientLibrary();
  if (!mysql::ClientLibraryHandle)
    throw bench::Error("cannot load the client library");
  const bench::ServerAddress address = bench::ServerAddress::fromEnvironment();
  {
    bench::Connection admin(address, true);
    const auto start = Clock::now();
    bench::GenerateSchema(admin, o.size);
    std::fprintf(stderr, "schema ready in %.1f s\n", msSince(start, Clock::now()) / 1000);
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(ApplicationTitle);
  InstallGermanTranslations();
  std::unique_ptr<TMainForm> form = CreateForms();
  form->show();
  for (int i = 0; i < 1000 && !(form->windowHandle() && form->windowHandle()->isExposed()); ++i)
    processEvents();
  connectForm(*form, address);

  bench::Connection floorConnection(address);
  Floor floor{bench::RawClient::get(), floorConnection.handle()};
  const int database = floor.databasePosition(bench::MainDatabase);
  const int table = floor.tablePosition(bench::MainDatabase, bench::WideTable(o.size));

  std::printf("Schema: %d databases listed, %s with %d tables, table %s with %d columns\n",
              form->ListView1->count(), bench::MainDatabase.c_str(), o.size.tables,
              bench::WideTable(o.size).c_str(), o.size.fields);
  std::printf("Repetitions: %d per figure (medians; the program's time includes the repaint)\n\n",
              o.repeat);

  const bool twin = std::find(o.size.scaling.begin(), o.size.scaling.end(), o.size.tables) !=
                    o.size.scaling.end();
  const int twinDatabase =
      twin ? floor.databasePosition(bench::ScalingDatabase(o.size.tables)) : -1;
  const int secondTable = floor.tablePosition(bench::MainDatabase, bench::SecondWideTable(o.size));
  auto alternate = [](int round, int a, int b) { return round & 1 ? b : a; };

  // QWB_PROFILE=databases|tables|fields|othertables|otherfields repeats that
  // one call (for a profiler) and stops.
  const QByteArray profile = qgetenv("QWB_PROFILE");
  if (!profile.isEmpty()) {
    for (int i = 0; i < o.repeat; ++i) {
      if (profile == "databases")
        form->ListCurrentDatabases();
      else if (profile == "tables")
        form->ListTables(database);
      else if (profile == "othertables")
        form->ListTables(alternate(i, database, twinDatabase));
      else if (profile == "otherfields")
        form->ListFields(database, alternate(i, table, secondTable));
      else
        form->ListFields(database, table);
      processEvents();
    }
    return 0;
  }

  const Pair dbs = measure(
      o.repeat, [&](int) { form->ListCurrentDatabases(); }, [&](int) { floor.list(-1, -1); });
  const Pair tables = measure(
      o.repeat, [&](int) { form->ListTables(database); }, [&](int) { floor.list(database, -1); });
  if (form->ListView2->count() != o.size.tables)
    throw bench::Error("the table list does not show every table");
  const Pair fields = measure(
      o.repeat, [&](int) { form->ListFields(database, table); },
      [&](int) { floor.list(database, table); });
  if (form->ListView3->count() != o.size.fields || form->ListView2->selectedRow() != table ||
      form->ListView1->selectedRow() != database)
    throw bench::Error("the field list does not show every field");

  // The same calls when the list they fill changes every time: ListTables
  // switching between qwb_main and the scaling database of as many tables
  // (other names), ListFields between the two wide tables (other columns).
  Pair otherTables, otherFields;
  if (twin)
    otherTables = measure(
        o.repeat, [&](int i) { form->ListTables(alternate(i, database, twinDatabase)); },
        [&](int i) { floor.list(alternate(i, database, twinDatabase), -1); });
  const bool second = secondTable < o.size.tables;
  if (second)
    otherFields = measure(
        o.repeat, [&](int i) { form->ListFields(database, alternate(i, table, secondTable)); },
        [&](int i) { floor.list(database, alternate(i, table, secondTable)); });

  std::printf("| Call | Quellwerk ms | of it the call ms | floor ms | floor min ms | ratio |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  printPair("ListCurrentDatabases", dbs);
  printPair("ListTables", tables);
  printPair("ListFields", fields);
  if (twin)
    printPair("ListTables, other database each call", otherTables);
  if (second)
    printPair("ListFields, other table each call", otherFields);

  std::printf("\nScaling of ListFields with the number of tables (a 3-column table is listed)\n\n");
  std::printf("| T | Quellwerk ms | floor ms | Quellwerk us/table | floor us/table | ratio |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|\n");
  FILE *plot = o.plotData.empty() ? nullptr : std::fopen(o.plotData.c_str(), "w");
  if (plot)
    std::fprintf(plot, "# T quellwerk_ms floor_ms quellwerk_us_per_table floor_us_per_table\n");
  for (int t : o.size.scaling) {
    const int db = floor.databasePosition(bench::ScalingDatabase(t));
    const Pair p = measure(
        o.repeat, [&](int) { form->ListFields(db, 0); }, [&](int) { floor.list(db, 0); });
    if (form->ListView2->count() != t)
      throw bench::Error("the table list does not show every table");
    const double q = p.quellwerk.median(), f = p.floor.median();
    std::printf("| %d | %.3f | %.3f | %.3f | %.3f | %.3f |\n", t, q, f, q * 1000 / t, f * 1000 / t,
                p.ratio());
    if (plot)
      std::fprintf(plot, "%d %.4f %.4f %.4f %.4f\n", t, q, f, q * 1000 / t, f * 1000 / t);
  }
  if (plot)
    std::fclose(plot);
  std::fflush(stdout);

  form->cancelbtnClick();
  form.reset();

  const std::string dir = QCoreApplication::applicationDirPath().toStdString();
  const std::string quellwerk = dir + "/quellwerk_startprobe";
  const std::string minimal = dir + "/qwb_minimal_window";
  if (o.startupRuns > 0) {
    Samples q, m;
    runProbe(quellwerk, {"QWB_PROBE=startup"}); // the first runs fill the file cache
    runProbe(minimal, {"QWB_PROBE=startup"});
    for (int i = 0; i < o.startupRuns; ++i) {
      if (i % 2) {
        q.add(runProbe(quellwerk, {"QWB_PROBE=startup"}).startupMs);
        m.add(runProbe(minimal, {"QWB_PROBE=startup"}).startupMs);
      } else {
        m.add(runProbe(minimal, {"QWB_PROBE=startup"}).startupMs);
        q.add(runProbe(quellwerk, {"QWB_PROBE=startup"}).startupMs);
      }
    }
    std::printf("\nStart-up, process start to shown window, offscreen (%d runs each, medians)\n\n",
                o.startupRuns);
    std::printf("| Program | median ms | min ms |\n|---|---:|---:|\n");
    std::printf("| Quellwerk | %.1f | %.1f |\n", q.median(), q.min());
    std::printf("| minimal Qt program | %.1f | %.1f |\n", m.median(), m.min());
    std::printf("| ratio | %.3f | |\n", q.median() / m.median());
  }
  if (o.memoryRuns > 0) {
    Samples q, m;
    const std::vector<std::string> env{"QWB_PROBE=memory", "QWB_DATABASE=" + bench::MainDatabase,
                                       "QWB_TABLE=" + bench::WideTable(o.size)};
    for (int i = 0; i < o.memoryRuns; ++i) {
      q.add(static_cast<double>(runProbe(quellwerk, env).peakKb));
      m.add(static_cast<double>(runProbe(minimal, env).peakKb));
    }
    std::printf("\nPeak resident memory (VmHWM), Quellwerk with %d tables and %d fields listed "
                "(%d runs, medians)\n\n",
                o.size.tables, o.size.fields, o.memoryRuns);
    std::printf("| Program | peak MB |\n|---|---:|\n");
    std::printf("| Quellwerk | %.1f |\n", q.median() / 1024);
    std::printf("| minimal Qt program | %.1f |\n", m.median() / 1024);
    std::printf("| difference | %.1f |\n", (q.median() - m.median()) / 1024);
  }
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
