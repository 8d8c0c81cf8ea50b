// qwb_schema_sql: the schema as SQL beside the MariaDB tools. On a database
// of T InnoDB tables (each with a foreign key to the one before it, every
// hundredth closing a circle of a hundred), a view on every tenth table, a
// view on every tenth of those views and a trigger on every tenth table, it
// measures, each as a new connection or process would:
//
// - export: Quellwerk's "Struktur exportieren" (read the structure, write the
//   file) against `mariadb-dump --no-data`;
// - load: Quellwerk's "SQL-Datei ausführen" of that file into an empty
//   database against `mariadb < file`;
//
// against the server directly and through qwb_delay at a round trip of D ms
// (on a database of T2 tables: every round trip of the tools costs D ms
// there). Then the peak memory of a process that runs a file of each of the
// given sizes, so that it shows whether the memory grows with the file.
//
//   qwb_schema_sql [--tables T] [--repeat N] [--delay D] [--delay-tables T2]
//                  [--delay-repeat N] [--memory-mb A,B,...] [--work DIR]
//
// The server is the one of QW_TEST_HOST, QW_TEST_PORT and QW_TEST_USER (root
// without password). The generated databases are kept (qwb_sql_<T>), so a
// second run starts at once; the loads go into qwb_sql_load.
#include "bench/ProxyProcess.h"
#include "bench/RawClient.h"
#include "clientlib/SchemaExport.h"
#include "clientlib/StatementBatch.h"
#include "clientlib/mysql.h"
#include "connection/SavedConnections.h"
#include "sqlfile/SchemaScript.h"
#include "sqlfile/ScriptFile.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int tables = 10000;
  int repeat = 3;
  int delay = 50;
  int delayTables = 1000;
  int delayRepeat = 1;
  std::vector<int> memoryMb{10, 100};
  std::string work = "/tmp";
};

std::string Name(const char *prefix, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%05d", prefix, i);
  return name;
}

std::string Database(int tables) { return "qwb_sql_" + std::to_string(tables); }
const std::string LoadDatabase = "qwb_sql_load";

int Count(bench::Connection &admin, const std::string &query) {
  const std::vector<std::string> rows = admin.column(query);
  return rows.empty() ? -1 : std::stoi(rows.front());
}

// Makes the database of `tables` tables unless it is there in that shape.
void Generate(bench::Connection &admin, int tables) {
  const std::string db = Database(tables);
  const std::string in = " WHERE TABLE_SCHEMA = '" + db + "'";
  if (Count(admin, "SELECT COUNT(*) FROM information_schema.TABLES" + in +
                       " AND TABLE_TYPE = 'BASE TABLE'") == tables &&
      Count(admin, "SELECT COUNT(*) FROM information_schema.VIEWS" + in) ==
          (tables + 9) / 10 + (tables + 99) / 100 &&
      Count(admin, "SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = '" +
                       db + "'") == (tables + 9) / 10)
    return;
  std::fprintf(stderr, "qwb_schema_sql: making %s (%d tables) ...\n", db.c_str(), tables);
  admin.exec("DROP DATABASE IF EXISTS " + db);
  admin.exec("CREATE DATABASE " + db);
  admin.exec("USE " + db);
  admin.exec("SET FOREIGN_KEY_CHECKS = 0");
  std::string batch;
  const auto add = [&](const std::string &statement) {
    batch += statement + ";";
    if (batch.size() > 64 * 1024) {
      admin.exec(batch);
      batch.clear();
    }
  };
  for (int i = 0; i < tables; ++i) {
    const int ref = i % 100 == 0 ? std::min(i + 99, tables - 1) : i - 1;
    add("CREATE TABLE " + Name("t", i) +
        " (id INT PRIMARY KEY, ref INT, name VARCHAR(40) NOT NULL DEFAULT '', "
        "menge DECIMAL(8,2), KEY ref (ref), CONSTRAINT " +
        Name("fk", i) + " FOREIGN KEY (ref) REFERENCES " + Name("t", ref) + " (id)) ENGINE=InnoDB");
  }
  for (int i = 0; i < tables; i += 10) {
    add("CREATE VIEW " + Name("v", i) + " AS SELECT id, name FROM " + Name("t", i));
    add("CREATE TRIGGER " + Name("tr", i) + " BEFORE INSERT ON " + Name("t", i) +
        " FOR EACH ROW SET NEW.name = UPPER(NEW.name)");
  }
  for (int i = 0; i < tables; i += 100)
    add("CREATE VIEW " + Name("w", i) + " AS SELECT id FROM " + Name("v", i));
  if (!batch.empty())
    admin.exec(batch);
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Ms(const timeval &t) {
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

// Processor time (user and system) of this process or of its ended children.
double CpuMs(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return Ms(usage.ru_utime) + Ms(usage.ru_stime);
}

// Processor time of the server (QWB_SERVER_PID, which bench/run-schema-sql
// sets), or 0 when it is not known.
double ServerCpuMs() {
  const char *pid = std::getenv("QWB_SERVER_PID");
  if (!pid || !*pid)
    return 0;
  FILE *stat = std::fopen((std::string("/proc/") + pid + "/stat").c_str(), "r");
  if (!stat)
    return 0;
  char text[1024] = {};
  const std::size_t n = std::fread(text, 1, sizeof text - 1, stat);
  std::fclose(stat);
  text[n] = 0;
  // After the name in parentheses: state is field 3, utime and stime 14 and 15.
  const char *rest = std::strrchr(text, ')');
  unsigned long long utime = 0, stime = 0;
  if (!rest || std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
                           &utime, &stime) != 2)
    return 0;
  return static_cast<double>(utime + stime) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Wall-clock time, the processor time of the client side (this process for
// Quellwerk, the tool's process for the tools) and of the server.
struct Cost {
  double ms = 0, clientCpuMs = 0, serverCpuMs = 0;
};

template <typename Work> Cost Measured(int who, Work work) {
  const double client0 = CpuMs(who), server0 = ServerCpuMs();
  const Clock::time_point start = Clock::now();
  work();
  Cost c;
  c.ms = Since(start);
  c.clientCpuMs = CpuMs(who) - client0;
  c.serverCpuMs = ServerCpuMs() - server0;
  return c;
}

ServerEndpoint Endpoint(const bench::ServerAddress &a) {
  ServerEndpoint e;
  e.host = QString::fromStdString(a.host);
  e.port = static_cast<std::int32_t>(a.port);
  e.user = QString::fromStdString(a.user);
  e.password = QString::fromStdString(a.password);
  return e;
}

void Connect(ServerSession &session, const bench::ServerAddress &a) {
  session.setEndpoint(Endpoint(a));
  const auto outcome = session.connect(QStringLiteral("connect"), {});
  if (outcome.step != ServerSession::ConnectStep::Connected)
    throw bench::Error("cannot connect: " + outcome.reply.error.toStdString());
}

// Quellwerk's export, as the command does it: connect, read, write the file.
double ExportOurs(const bench::ServerAddress &a, const std::string &db, const std::string &file) {
  const Clock::time_point start = Clock::now();
  ServerSession session;
  Connect(session, a);
  JobProgress progress;
  SchemaRequest request;
  request.database = QString::fromStdString(db);
  const SchemaRead read = ReadSchema(session, QStringLiteral("export"), request, progress);
  if (!read.reply.ok)
    throw bench::Error("export: " + read.reply.error.toStdString());
  QString reason;
  if (!ReplaceFile(QString::fromStdString(file),
                   SchemaScript(read, QString::fromStdString(db), QStringLiteral("qwb")),
                   FileAccess::Shared, &reason))
    throw bench::Error("export: " + reason.toStdString());
  session.close(QStringLiteral("close"));
  return Since(start);
}

// Quellwerk's run of an SQL file, as the command does it.
double LoadOurs(const bench::ServerAddress &a, const std::string &db, const std::string &file) {
  const Clock::time_point start = Clock::now();
  ServerSession session;
  Connect(session, a);
  ScriptFile script;
  if (!script.open(QString::fromStdString(file)))
    throw bench::Error("load: " + script.failure().toStdString());
  JobProgress progress;
  const ScriptOutcome outcome =
      RunScript(session, QStringLiteral("load"), QString::fromStdString(db), script, progress);
  if (outcome.failed.number > 0 || !script.failure().isEmpty() || !outcome.databaseSelected)
    throw bench::Error("load: statement " + std::to_string(outcome.failed.number) + ": " +
                       outcome.reply.error.toStdString() + script.failure().toStdString());
  session.close(QStringLiteral("close"));
  return Since(start);
}

std::string Client(const char *program, const bench::ServerAddress &a) {
  return std::string(program) + " --no-defaults --host=" + a.host +
         " --port=" + std::to_string(a.port) + " --user=" + a.user;
}

double Shell(const std::string &command) {
  const Clock::time_point start = Clock::now();
  if (std::system(command.c_str()) != 0)
    throw bench::Error("failed: " + command);
  return Since(start);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

Cost Median(const std::vector<Cost> &costs) {
  std::vector<double> ms, client, server;
  for (const Cost &c : costs) {
    ms.push_back(c.ms);
    client.push_back(c.clientCpuMs);
    server.push_back(c.serverCpuMs);
  }
  return {Median(ms), Median(client), Median(server)};
}

void FreshLoadDatabase(bench::Connection &admin) {
  admin.exec("DROP DATABASE IF EXISTS " + LoadDatabase);
  admin.exec("CREATE DATABASE " + LoadDatabase);
}

// Export and load, ours and the tools', alternating, at one address.
void Measure(bench::Connection &admin, const bench::ServerAddress &a, int tables, int repeat,
             const std::string &work, const std::string &label) {
  const std::string db = Database(tables), ours = work + "/qwb_ours.sql",
                    dump = work + "/qwb_dump.sql";
  std::vector<Cost> exportOurs, exportDump, loadOurs, loadClient;
  const auto exportBoth = [&] {
    exportOurs.push_back(Measured(RUSAGE_SELF, [&] { ExportOurs(a, db, ours); }));
    exportDump.push_back(Measured(RUSAGE_CHILDREN, [&] {
      Shell(Client("mariadb-dump", a) + " --no-data " + db + " > " + dump);
    }));
  };
  const auto loadOne = [&](bool quellwerk) {
    FreshLoadDatabase(admin);
    if (quellwerk)
      loadOurs.push_back(Measured(RUSAGE_SELF, [&] { LoadOurs(a, LoadDatabase, ours); }));
    else
      loadClient.push_back(Measured(RUSAGE_CHILDREN, [&] {
        Shell(Client("mariadb", a) + " " + LoadDatabase + " < " + ours);
      }));
  };
  exportBoth(); // the file both load
  // Each side goes first every other round, so that neither always meets the
  // server's clearing up after the other.
  for (int round = 0; round < repeat; ++round) {
    loadOne(round % 2 == 0);
    loadOne(round % 2 != 0);
    if (round + 1 < repeat)
      exportBoth();
  }
  const auto row = [&](const char *what, const Cost &q, const Cost &t) {
    std::printf("| %s, %s, %d tables | %.0f | %.0f | **%.2f** | %.0f | %.0f | %.0f | %.0f |\n",
                what, label.c_str(), tables, q.ms, t.ms, q.ms / t.ms, q.clientCpuMs, t.clientCpuMs,
                q.serverCpuMs, t.serverCpuMs);
  };
  row("export", Median(exportOurs), Median(exportDump));
  row("load", Median(loadOurs), Median(loadClient));
  std::fflush(stdout);
}

// A file of `megabytes` of statements of about a kilobyte each; returns how many.
qint64 BigFile(const std::string &path, int megabytes) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw bench::Error("cannot write " + path);
  const QByteArray statement = "DO 0 /* " + QByteArray(1000, 'x') + " */;\n";
  qint64 count = 0;
  for (; count * statement.size() < qint64(megabytes) << 20; ++count)
    file.write(statement);
  return count;
}

// The child that runs one file and says its peak memory.
int MemoryChild(const bench::ServerAddress &a, const std::string &file) {
  const double ms = LoadOurs(a, LoadDatabase, file);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%ld %.0f\n", usage.ru_maxrss, ms);
  return 0;
}

void MeasureMemory(const Options &o, const char *self) {
  for (int mb : o.memoryMb) {
    const std::string file = o.work + "/qwb_big_" + std::to_string(mb) + ".sql";
    const qint64 statements = BigFile(file, mb);
    FILE *child = popen((std::string(self) + " --memory-child " + file).c_str(), "r");
    long peakKb = 0;
    double ms = 0;
    if (!child || std::fscanf(child, "%ld %lf", &peakKb, &ms) != 2)
      throw bench::Error("memory child failed");
    pclose(child);
    std::remove(file.c_str());
    std::printf("| run of a %d MB file (%lld statements) | %.1f MB | %.0f ms |\n", mb,
                static_cast<long long>(statements), peakKb / 1024.0, ms);
  }
}

std::vector<int> ParseList(const char *text) {
  std::vector<int> values;
  for (std::string rest = text; !rest.empty();) {
    const std::size_t comma = rest.find(',');
    values.push_back(std::stoi(rest.substr(0, comma)));
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
  }
  return values;
}

} // namespace

int main(int argc, char **argv) {
  Options o;
  if (const char *tmp = std::getenv("TMPDIR"))
    o.work = tmp;
  std::string memoryChild;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char *value = i + 1 < argc ? argv[i + 1] : "";
    if (arg == "--tables")
      o.tables = std::atoi(value);
    else if (arg == "--repeat")
      o.repeat = std::atoi(value);
    else if (arg == "--delay")
      o.delay = std::atoi(value);
    else if (arg == "--delay-tables")
      o.delayTables = std::atoi(value);
    else if (arg == "--delay-repeat")
      o.delayRepeat = std::atoi(value);
    else if (arg == "--memory-mb")
      o.memoryMb = ParseList(value);
    else if (arg == "--work")
      o.work = value;
    else if (arg == "--memory-child")
      memoryChild = value;
    else {
      std::fprintf(stderr, "qwb_schema_sql: unknown argument %s\n", arg.c_str());
      return 2;
    }
    ++i;
  }
  try {
    mysql::LoadClientLibrary();
    const bench::ServerAddress server = bench::ServerAddress::fromEnvironment();
    if (!memoryChild.empty())
      return MemoryChild(server, memoryChild);
    bench::Connection admin(server, true);
    Generate(admin, o.tables);
    Generate(admin, o.delayTables);
    std::printf(
        "| Schema as SQL | Quellwerk ms | MariaDB tool ms | ratio | Quellwerk CPU ms | tool "
        "CPU ms | server CPU ms, Quellwerk | server CPU ms, tool |\n"
        "|---|---:|---:|---:|---:|---:|---:|---:|\n");
    Measure(admin, server, o.tables, o.repeat, o.work, "0 ms");
    {
      const std::string self = argv[0];
      const std::string delay = self.substr(0, self.rfind('/') + 1) + "qwb_delay";
      bench::ProxyProcess far(delay, server, {std::to_string(o.delay)});
      Measure(admin, far.address(), o.delayTables, o.delayRepeat, o.work,
              std::to_string(o.delay) + " ms");
    }
    std::printf("\n| Memory | peak | time |\n|---|---:|---:|\n");
    MeasureMemory(o, argv[0]);
    admin.exec("DROP DATABASE IF EXISTS " + LoadDatabase);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "qwb_schema_sql: %s\n", e.what());
    return 1;
  }
  return 0;
}
