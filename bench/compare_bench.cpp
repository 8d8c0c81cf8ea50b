// The schema comparison's benchmark: two databases of T tables each that
// differ in P places (a changed column type, an added column, a dropped
// index, a changed table comment, a table only one side has), compared as
// "Vergleichen mit..." compares them: both schemas read through the
// program's session, modelled, compared. Prints the time of each part and
// the requests sent, for the first comparison after the databases were made
// (no table open yet) and as the median of the runs after it.
//
//   quellwerk_compare_bench [--tables T] [--repeat N] [--engine InnoDB|MEMORY]
//
// The server is the one of QW_TEST_HOST, QW_TEST_PORT and QW_TEST_USER (root
// without password), as scripts/test and bench/run-benchmark export them.
// The two databases (qwbcmp_a, qwbcmp_b) are kept for later runs; their names stay
// clear of the main benchmark's qwb_ databases, which it keeps to its own list.
#include "bench/RawClient.h"
#include "clientlib/SchemaCalls.h"
#include "clientlib/mysql.h"
#include "compare/SchemaCompare.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string DatabaseA = "qwbcmp_a";
const std::string DatabaseB = "qwbcmp_b";

struct Options {
  int tables = 10000;
  int repeat = 5;
  std::string engine = "InnoDB";
  int connections = 2;
};

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty()      ? 0
         : v.size() % 2 ? v[v.size() / 2]
                        : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string TableName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "t%05d", i);
  return name;
}

// The places where B differs from A: spread over the tables, each kind in
// turn. A table that only A has is never one that another table refers to.
enum class Change { ColumnType, AddedColumn, DroppedIndex, Comment, OnlyInA };
struct Place {
  int table;
  Change change;
};
std::vector<Place> Places(int tables) {
  const int count = std::min(100, tables / 3);
  std::vector<Place> places;
  for (int p = 0; p < count; ++p)
    places.push_back({p * (tables / count) + 2, static_cast<Change>(p % 5)});
  return places;
}

// Every tenth table refers to the one before it.
std::string CreateTable(const std::string &database, int i, const Options &o, const Place *change) {
  const bool refers = i % 10 == 1;
  const auto is = [&](Change c) { return change && change->change == c; };
  std::string sql = "CREATE TABLE `" + database + "`.`" + TableName(i) +
                    "` (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, name VARCHAR(40) NOT NULL "
                    "DEFAULT '', menge " +
                    (is(Change::ColumnType) ? "DECIMAL(10,2)" : "DECIMAL(8,2)") +
                    ", ref INT, note VARCHAR(200)";
  if (is(Change::AddedColumn))
    sql += ", extra INT";
  if (!is(Change::DroppedIndex))
    sql += ", KEY (name)";
  if (refers && o.engine == "InnoDB")
    sql += ", KEY (ref), CONSTRAINT `fk" + TableName(i) + "` FOREIGN KEY (ref) REFERENCES `" +
           TableName(i - 1) + "` (id) ON DELETE CASCADE";
  sql += ") ENGINE=" + o.engine;
  if (is(Change::Comment))
    sql += " COMMENT 'geändert'";
  return sql;
}

int CountTables(bench::Connection &admin, const std::string &database) {
  return static_cast<int>(
      admin
          .column("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" +
                  database + "'")
          .size());
}

// Makes both databases unless they are there with the right number of
// tables of the right engine.
void Generate(bench::Connection &admin, const Options &o) {
  const std::vector<Place> places = Places(o.tables);
  const int onlyInA = static_cast<int>(std::count_if(
      places.begin(), places.end(), [](auto &p) { return p.change == Change::OnlyInA; }));
  const auto engine = admin.column("SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                                   "TABLE_SCHEMA = '" +
                                   DatabaseA + "' AND ENGINE = '" + o.engine + "'");
  if (CountTables(admin, DatabaseA) == o.tables &&
      CountTables(admin, DatabaseB) == o.tables - onlyInA && !engine.empty() &&
      engine.front() == std::to_string(o.tables))
    return;
  std::fprintf(stderr, "making %s and %s with %d %s tables each ...\n", DatabaseA.c_str(),
               DatabaseB.c_str(), o.tables, o.engine.c_str());
  const auto start = Clock::now();
  admin.exec("SET GLOBAL innodb_flush_log_at_trx_commit = 0");
  for (const std::string &database : {DatabaseA, DatabaseB}) {
    admin.exec("DROP DATABASE IF EXISTS `" + database + "`; CREATE DATABASE `" + database +
               "` CHARACTER SET utf8mb4");
    std::string batch;
    int inBatch = 0;
    std::size_t next = 0;
    for (int i = 0; i < o.tables; ++i) {
      const Place *place =
          next < places.size() && places[next].table == i ? &places[next++] : nullptr;
      if (database == DatabaseB && place && place->change == Change::OnlyInA)
        continue;
      batch += (batch.empty() ? "" : ";\n") +
               CreateTable(database, i, o, database == DatabaseB ? place : nullptr);
      if (++inBatch == 200) {
        admin.exec(batch);
        batch.clear();
        inBatch = 0;
      }
    }
    if (!batch.empty())
      admin.exec(batch);
  }
  admin.exec("SET GLOBAL innodb_flush_log_at_trx_commit = 1");
  std::fprintf(stderr, "made in %.1f s\n", msSince(start) / 1000);
}

// CPU time, which the load of a shared machine stretches less than the
// clock: this process's (all its threads), and the server's where its
// process is at hand (the same machine).
double OwnCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double ServerCpuMs(int pid) {
  if (pid <= 0)
    return 0;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  double ticks = 0;
  // After the name in parentheses: the 14th and 15th fields are the user
  // and system time.
  for (int i = 1; i <= 15 && stat >> field; ++i)
    if (i >= 14)
      ticks += std::stod(field);
  return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int ServerPid(bench::Connection &admin) {
  const auto file = admin.column("SELECT @@pid_file");
  std::ifstream pid(file.empty() ? std::string() : file.front());
  int value = 0;
  return pid >> value ? value : 0;
}

struct Run {
  double read = 0, model = 0, compare = 0;
  double clientCpu = 0, serverCpu = 0;
  int requests = 0;
  SchemaComparison result;
  double total() const { return read + model + compare; }
};

// Reads both databases at once over two connections, as the program does,
// or with `second` null one after the other over one.
Run Compare(ServerSession &session, ServerSession *second, int serverPid) {
  Run run;
  const double ownBefore = OwnCpuMs(), serverBefore = ServerCpuMs(serverPid);
  auto start = Clock::now();
  SchemaRows a, b;
  if (second) {
    std::tie(a, b) = ReadSchemaRowsTogether(session, QString::fromStdString(DatabaseA), *second,
                                            QString::fromStdString(DatabaseB));
  } else {
    a = ReadSchemaRows(session, QString::fromStdString(DatabaseA));
    b = ReadSchemaRows(session, QString::fromStdString(DatabaseB));
  }
  run.read = msSince(start);
  if (!a.reply.ok || !b.reply.ok)
    throw bench::Error("reading a schema failed: " +
                       (a.reply.ok ? b.reply.error : a.reply.error).toStdString());
  run.requests = a.requests + b.requests;
  start = Clock::now();
  const SchemaModel modelA = BuildSchemaModel(QString::fromStdString(DatabaseA), a);
  const SchemaModel modelB = BuildSchemaModel(QString::fromStdString(DatabaseB), b);
  run.model = msSince(start);
  start = Clock::now();
  run.result = CompareSchemas(modelA, modelB);
  run.compare = msSince(start);
  run.clientCpu = OwnCpuMs() - ownBefore;
  run.serverCpu = ServerCpuMs(serverPid) - serverBefore;
  return run;
}

int Main(int argc, char **argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc)
      throw bench::Error("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--tables")
      o.tables = std::stoi(value);
    else if (arg == "--repeat")
      o.repeat = std::stoi(value);
    else if (arg == "--engine")
      o.engine = value;
    else if (arg == "--connections")
      o.connections = std::stoi(value);
    else
      throw bench::Error("unknown argument " + arg);
  }
  if (o.tables < 3 || o.repeat < 1 || (o.engine != "InnoDB" && o.engine != "MEMORY") ||
      (o.connections != 1 && o.connections != 2))
    throw bench::Error("--tables 3 or more, --repeat 1 or more, --engine InnoDB or MEMORY, "
                       "--connections 1 or 2");

  mysql::LoadClientLibrary();
  if (!mysql::ClientLibraryHandle)
    throw bench::Error("cannot load the client library");
  const bench::ServerAddress server = bench::ServerAddress::fromEnvironment();
  int serverPid = 0;
  {
    bench::Connection admin(server, true);
    serverPid = ServerPid(admin);
    Generate(admin, o);
    // The first comparison meets no table opened before.
    admin.exec("FLUSH TABLES");
  }
  ServerSession session;
  session.setEndpoint({QString::fromStdString(server.host),
                       static_cast<int>(server.port),
                       QString::fromStdString(server.user),
                       QString::fromStdString(server.password),
                       30,
                       0,
                       {}});
  const ServerSession::ConnectOutcome connected = session.connect(QStringLiteral("bench"), {});
  if (connected.step != ServerSession::ConnectStep::Connected)
    throw bench::Error("cannot connect: " + connected.reply.error.toStdString());

  ServerSession secondSession;
  ServerSession *second = nullptr;
  if (o.connections == 2) {
    if (secondSession.connectLike(QStringLiteral("bench"), session).step !=
        ServerSession::ConnectStep::Connected)
      throw bench::Error("cannot open the second connection");
    second = &secondSession;
  }

  const auto expected = static_cast<qsizetype>(Places(o.tables).size());
  const Run first = Compare(session, second, serverPid);
  std::vector<double> read, model, compare, total, clientCpu, serverCpu;
  int requests = 0;
  for (int r = 0; r < o.repeat; ++r) {
    const Run run = Compare(session, second, serverPid);
    read.push_back(run.read);
    model.push_back(run.model);
    compare.push_back(run.compare);
    total.push_back(run.total());
    clientCpu.push_back(run.clientCpu);
    serverCpu.push_back(run.serverCpu);
    requests = run.requests;
    if (run.result.differences.size() != expected)
      throw bench::Error("found " + std::to_string(run.result.differences.size()) +
                         " differences, made " + std::to_string(expected));
  }
  std::printf(
      "Two databases of %d %s tables each (every tenth with a foreign key), %lld places "
      "apart; %lld steps written. Server answered directly (0 ms added); %d connection(s).\n\n",
      o.tables, o.engine.c_str(), static_cast<long long>(expected),
      static_cast<long long>(first.result.steps.size()), o.connections);
  std::printf("| Comparison | read both ms | model ms | compare ms | total ms | requests | "
              "client CPU ms | server CPU ms |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
  std::printf("| first, no table open | %.0f | %.0f | %.0f | %.0f | %d | %.0f | %.0f |\n",
              first.read, first.model, first.compare, first.total(), first.requests,
              first.clientCpu, first.serverCpu);
  std::printf("| median of %d after it | %.0f | %.0f | %.0f | %.0f | %d | %.0f | %.0f |\n",
              o.repeat, Median(read), Median(model), Median(compare), Median(total), requests,
              Median(clientCpu), Median(serverCpu));
  return first.result.differences.size() == expected ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "quellwerk_compare_bench: %s\n", e.what());
    return 1;
  }
}
