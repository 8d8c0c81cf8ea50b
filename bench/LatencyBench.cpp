#include "bench/LatencyBench.h"

#include "app/mysql_test_main.h"
#include "bench/ProxyProcess.h"
#include "clientlib/ServerSession.h"
#include "common/Interaction.h"
#include "common/ReportListView.h"
#include "connection/verbindungFUnit.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NameDialog.h"
#include "structure/StructureForm.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

const std::string Nothing = "-- nothing\n";
// The table of the field commands made anew before each round: InnoDB keeps
// a column dropped in place hidden in the table, so that adding and dropping
// one again and again fills the row ("Row size too large") after some rounds.
const std::string ZaehlenBegin =
    "DROP TABLE IF EXISTS qwb_far.zaehlen; CREATE TABLE qwb_far.zaehlen (a INT, b INT";
const QString Far = QStringLiteral("qwb_far"), FarOther = QStringLiteral("qwb_far_b");

// The databases the actions work in: a few InnoDB tables, one of them with a
// foreign key, beside the benchmark's schema.
void MakeFixture(Connection &admin) {
  std::string sql = "DROP DATABASE IF EXISTS qwb_far; CREATE DATABASE qwb_far;"
                    "DROP DATABASE IF EXISTS qwb_far_b; CREATE DATABASE qwb_far_b;"
                    "CREATE TABLE qwb_far_b.eins (id INT) ENGINE=InnoDB;"
                    "CREATE TABLE qwb_far.kunden (id INT PRIMARY KEY, name VARCHAR(40) NOT NULL "
                    "DEFAULT '', menge DECIMAL(8,2), KEY name (name)) ENGINE=InnoDB;"
                    "CREATE TABLE qwb_far.bestellung (id INT PRIMARY KEY, kunde INT, KEY kunde "
                    "(kunde), CONSTRAINT bestellung_kunde FOREIGN KEY (kunde) REFERENCES "
                    "qwb_far.kunden (id)) ENGINE=InnoDB;"
                    "CREATE TABLE qwb_far.zaehlen (a INT, b INT) ENGINE=InnoDB;";
  for (int i = 1; i <= 20; ++i)
    sql += "CREATE TABLE qwb_far.t" + std::to_string(100 + i) + " (id INT) ENGINE=InnoDB;";
  admin.exec(sql);
}

// The mariadb command-line client, connected for as long as this object
// lives, fed statements on its standard input.
class CommandLineClient {
public:
  CommandLineClient(const ServerAddress &a, bool tls) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
      throw Error("pipe failed");
    std::vector<std::string> args{"mariadb",          "--no-defaults",
                                  "--host=" + a.host, "--port=" + std::to_string(a.port),
                                  "--user=" + a.user, "--skip-column-names",
                                  "--batch",          "--unbuffered",
                                  "--force",          "--default-character-set=utf8mb4"};
    if (!a.password.empty())
      args.push_back("--password=" + a.password);
    if (tls)
      args.push_back("--ssl");
    args.push_back(Far.toStdString());
    std::vector<char *> argv;
    for (std::string &arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&m_pid, "mariadb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    m_in = in[1];
    m_out = out[0];
    if (rc != 0)
      throw Error("cannot start mariadb");
    run({}); // connected and ready
  }
  ~CommandLineClient() {
    close(m_in);
    close(m_out);
    int status = 0;
    waitpid(m_pid, &status, 0);
  }
  CommandLineClient(const CommandLineClient &) = delete;
  CommandLineClient &operator=(const CommandLineClient &) = delete;

  // Sends the statements and then a query for a mark, and returns when the
  // mark has come back: all answers are in.
  void run(const std::string &statements) {
    const std::string mark = "qwb_mark_" + std::to_string(++m_marks);
    const std::string text = statements + "\nSELECT '" + mark + "';\n";
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t n = write(m_in, text.data() + done, text.size() - done);
      if (n <= 0)
        throw Error("mariadb ended");
      done += static_cast<std::size_t>(n);
    }
    std::string seen = "\n";
    const std::string line = "\n" + mark + "\n";
    char buffer[65536];
    while (seen.find(line) == std::string::npos) {
      const ssize_t n = read(m_out, buffer, sizeof buffer);
      if (n <= 0)
        throw Error("mariadb ended");
      // Only the end can hold the mark, and a mark can span two reads.
      seen = seen.substr(seen.size() > line.size() ? seen.size() - line.size() : 0) +
             std::string(buffer, static_cast<std::size_t>(n));
    }
  }

private:
  pid_t m_pid = 0;
  int m_in = -1, m_out = -1;
  int m_marks = 0;
};

// The requests and connections the proxy has seen so far.
struct Counts {
  long requests = 0, connections = 0;
};
Counts Count(ProxyProcess &proxy) {
  Counts c;
  if (std::sscanf(proxy.ask('c').c_str(), "requests %ld connections %ld", &c.requests,
                  &c.connections) != 2)
    throw Error("the delaying proxy did not count");
  return c;
}

// The statements one connection sent, from the server's general log, as the
// command-line client would send them (one request each).
std::string StatementsFromLog(Connection &admin, unsigned long connection) {
  std::string script;
  for (const std::string &entry :
       admin.column("SELECT CONCAT(command_type, CHAR(1), CONVERT(argument USING utf8mb4)) FROM "
                    "mysql.general_log WHERE thread_id = " +
                    std::to_string(connection) + " ORDER BY event_time")) {
    const std::size_t split = entry.find('\1');
    const std::string type = entry.substr(0, split), argument = entry.substr(split + 1);
    if (type == "Query")
      script += argument + (argument.ends_with(';') ? "\n" : ";\n");
    else if (type == "Init DB")
      script += "USE `" + argument + "`;\n";
    else if (type == "Field List")
      script += "SHOW COLUMNS FROM `" + argument + "`;\n";
  }
  return script;
}

void ClickRow(ReportListView *list, const QString &caption) {
  const int row = list->rowOf(caption);
  if (row < 0)
    throw Error("no row " + caption.toStdString());
  const QModelIndex index = list->model()->index(row, 0);
  list->scrollTo(index);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

bool Lists(ReportListView *list, const QString &caption) { return list->rowOf(caption) >= 0; }

// The last message shown, for the report of an action that failed.
QString g_lastMessage;

// What a user answers: go on, run, trust the server.
MessageAnswer Consent(QWidget *, const Message &m) {
  g_lastMessage = m.title + QStringLiteral(": ") + m.text;
  switch (m.buttons) {
  case MessageButtons::Ok: return MessageAnswer::Ok;
  case MessageButtons::RunCancel: return MessageAnswer::Run;
  case MessageButtons::YesAlwaysNo: return MessageAnswer::Always;
  case MessageButtons::PlainFileOrAsk: return MessageAnswer::No;
  default: return MessageAnswer::Yes;
  }
}

struct Action {
  std::string name;
  std::string careful; // the count of a careful client
  int carefulMost = -1;
  std::string restore;         // SQL sent directly before each round
  std::function<void()> setup; // unmeasured clicks that lead to the action
  std::function<void()> act;   // what is measured
  std::function<bool()> done;  // the action did what it should
  bool reconnects = false;     // the client side starts a new connection
};

struct Figures {
  std::vector<double> ms, cliMs;
  long requests = -1, connections = 0, cliRequests = -1, cliConnections = 0;
};

} // namespace

void MeasureLatency(TMainForm &form, const ServerAddress &server, const LatencyOptions &o,
                    const std::function<void()> &settle) {
  Connection admin(server, true);
  MakeFixture(admin);
  const auto tablesStart = Clock::now();
  const std::string tables = admin.column("SELECT COUNT(*) FROM information_schema.TABLES").front();
  const double countMs = MsSince(tablesStart);

  const MessageHandler oldMessages = SetMessageHandler(&Consent);
  std::function<int(QDialog &)> dialogAnswer;
  const ModalHandler oldModal =
      SetModalHandler([&](QDialog &dialog) { return dialogAnswer ? dialogAnswer(dialog) : 0; });

  ServerAddress far; // the proxy of the round trip measured now
  const auto connect = [&] {
    dialogAnswer = [&](QDialog &dialog) {
      auto &d = static_cast<TDialog &>(dialog);
      d.EditHost->setText(QString::fromStdString(far.host));
      d.EditPort->setText(QString::number(far.port));
      d.EditUser->setText(QString::fromStdString(far.user));
      d.EditPass->setText(QString::fromStdString(far.password));
      return int(QDialog::Accepted);
    };
    form.connectbtn->click();
    dialogAnswer = {};
  };
  const auto fieldEditor = [&](const QString &name, bool accept) {
    dialogAnswer = [name, accept](QDialog &dialog) {
      auto &editor = static_cast<TEditFieldForm &>(dialog);
      if (!name.isEmpty())
        editor.Edit1->setText(name);
      const FieldRow row = editor.ReadFieldRow();
      g_lastMessage = QStringLiteral("editor:");
      for (const QString &cell : row)
        g_lastMessage += QLatin1Char(' ') + cell;
      return int(accept ? QDialog::Accepted : QDialog::Rejected);
    };
  };
  const auto table = [&](const QString &name) {
    ClickRow(form.ListView1, Far);
    ClickRow(form.ListView2, name);
  };

  const std::vector<Action> actions{
      {"click a database", "1", 1, "", [&] { ClickRow(form.ListView1, FarOther); },
       [&] { ClickRow(form.ListView1, Far); },
       [&] { return Lists(form.ListView2, QStringLiteral("kunden")); }},
      {"click a table", "1", 1, "", [&] { table(QStringLiteral("zaehlen")); },
       [&] { ClickRow(form.ListView2, QStringLiteral("kunden")); },
       [&] { return form.ListView3->count() == 3; }},
      {"structure window", "2", 2, "",
       [&] {
         form.Structures->CloseAll();
         table(QStringLiteral("kunden"));
       },
       [&] { form.Structures->Open(Far, QStringLiteral("kunden")); },
       [&] { return form.Structures->Find(Far, QStringLiteral("kunden")) != nullptr; }},
      {"\"Neue Feld...\" OK", "2 + re-check", 3, ZaehlenBegin + ")",
       [&] { table(QStringLiteral("zaehlen")); },
       [&] {
         fieldEditor(QStringLiteral("neu"), true);
         form.NewFieldBtn->click();
       },
       [&] { return Lists(form.ListView3, QStringLiteral("neu")); }},
      {"\"Feld ändern...\" OK unchanged", "4-5", 5, "",
       [&] {
         table(QStringLiteral("zaehlen"));
         ClickRow(form.ListView3, QStringLiteral("b"));
       },
       [&] {
         fieldEditor({}, true);
         form.ChangeFieldBnt->click();
       },
       [&] { return Lists(form.ListView3, QStringLiteral("b")); }},
      {"\"Feld löschen...\"", "3", 3, ZaehlenBegin + ", neu INT)",
       [&] {
         table(QStringLiteral("zaehlen"));
         ClickRow(form.ListView3, QStringLiteral("neu"));
       },
       [&] { form.DelFieldBtn->click(); },
       [&] { return !Lists(form.ListView3, QStringLiteral("neu")); }},
      {"\"Tabelle umbenennen...\"", "3", 3,
       "DROP TABLE IF EXISTS qwb_far.alt2; CREATE TABLE IF NOT EXISTS qwb_far.alt (id INT)",
       [&] { table(QStringLiteral("alt")); },
       [&] {
         dialogAnswer = [](QDialog &dialog) {
           static_cast<TNameDialog &>(dialog).NameEd->setText(QStringLiteral("alt2"));
           return int(QDialog::Accepted);
         };
         form.TableRenameBtn->click();
       },
       [&] { return Lists(form.ListView2, QStringLiteral("alt2")); }},
      {"\"Tabelle löschen...\"", "3", 3, "CREATE TABLE IF NOT EXISTS qwb_far.weg (id INT)",
       [&] { table(QStringLiteral("weg")); }, [&] { form.DelTableBtn->click(); },
       [&] { return !Lists(form.ListView2, QStringLiteral("weg")); }},
      {"F5", "1-3", 3, "", [&] { table(QStringLiteral("kunden")); },
       [&] { QTest::keyClick(form.ListView3, Qt::Key_F5); },
       [&] { return form.ListView3->count() == 3; }},
      {"connect, fingerprint already trusted", "1 connection + 2", -1, "",
       [&] { form.cancelbtn->click(); }, connect, [&] { return form.connected(); }, true},
      {"\"Neue Feld...\", then \"Abbrechen\"", "0", 0, ZaehlenBegin + ")",
       [&] { table(QStringLiteral("zaehlen")); },
       [&] {
         fieldEditor(QStringLiteral("neu"), false);
         form.NewFieldBtn->click();
       },
       [&] { return !Lists(form.ListView3, QStringLiteral("neu")); }},
  };

  // Per action and round trip; the statements the client replays come from
  // the program's first round at the first round trip.
  std::map<std::pair<std::size_t, int>, Figures> figures;
  std::vector<std::string> statements(actions.size());
  for (const int delay : o.delays) {
    ProxyProcess proxy(o.programDir + "/qwb_delay", server, {std::to_string(delay)});
    far = proxy.address();
    // The first connect answers the questions of an unknown server (trusts
    // its certificate, or takes it without TLS), so that the measured ones
    // find it trusted.
    if (form.connected())
      form.cancelbtn->click();
    connect();
    settle();
    if (!form.connected())
      throw Error("the main window did not connect through the delaying proxy");
    CommandLineClient cli(far, o.tls);
    for (std::size_t a = 0; a < actions.size(); ++a) {
      const Action &action = actions[a];
      Figures &f = figures[{a, delay}];
      std::vector<double> markMs;
      // Round -1 warms up, the program first: its statements, from the
      // server's general log, are what the client sends.
      for (int round = -1; round < o.repeat; ++round) {
        const bool logged = statements[a].empty() && round == -1;
        auto program = [&] {
          if (!action.restore.empty())
            admin.exec(action.restore);
          action.setup();
          settle();
          if (logged)
            admin.exec("SET GLOBAL log_output = 'TABLE'; TRUNCATE mysql.general_log; "
                       "SET GLOBAL general_log = 1");
          const Counts before = Count(proxy);
          const auto start = Clock::now();
          action.act();
          settle();
          const double ms = MsSince(start);
          const Counts after = Count(proxy);
          if (logged) {
            admin.exec("SET GLOBAL general_log = 0");
            statements[a] = StatementsFromLog(admin, form.Session->connectionId());
            if (statements[a].empty())
              statements[a] = Nothing;
          }
          if (!action.done())
            throw Error("the action \"" + action.name +
                        "\" did not do what it should (last "
                        "message: " +
                        g_lastMessage.toStdString() + "; sent: " + statements[a] + ")");
          if (round >= 0) {
            f.ms.push_back(ms);
            f.requests = std::max(f.requests, after.requests - before.requests);
            f.connections = std::max(f.connections, after.connections - before.connections);
          }
        };
        // The client sends the statements after a mark (a query whose answer
        // says that all before it has come) that is timed alone: its time
        // and request are taken off. To connect, it starts anew, and its
        // first mark says that it is connected.
        auto client = [&] {
          if (statements[a] == Nothing) {
            f.cliMs.push_back(0);
            markMs.push_back(0);
            f.cliRequests = 0;
            return;
          }
          if (!action.restore.empty())
            admin.exec(action.restore);
          std::optional<CommandLineClient> fresh;
          auto start = Clock::now();
          cli.run({});
          const double mark = MsSince(start);
          const Counts before = Count(proxy);
          start = Clock::now();
          if (action.reconnects)
            fresh.emplace(far, o.tls);
          (fresh ? *fresh : cli).run(statements[a]);
          const double ms = MsSince(start) - (fresh ? mark : 0);
          const Counts after = Count(proxy);
          if (round >= 0) {
            markMs.push_back(mark);
            f.cliMs.push_back(ms);
            f.cliRequests = after.requests - before.requests - (fresh ? 2 : 1);
            f.cliConnections = after.connections - before.connections;
          }
        };
        if (round % 2) {
          program();
          client();
        } else {
          client();
          program();
        }
      }
      // The client's time without its mark's round trip.
      const double mark = Median(markMs);
      for (double &ms : f.cliMs)
        ms -= mark;
      std::fprintf(stderr, "latency %d ms: %s done\n", delay, action.name.c_str());
    }
    form.cancelbtn->click();
    settle();
  }
  SetMessageHandler(oldMessages);
  SetModalHandler(oldModal);

  // The table: requests, then the times per round trip, then the target.
  const int far150 = o.delays.back(), own = o.delays.front();
  std::printf("\n### Round trips and time per action, through qwb_delay (%d rounds, medians; "
              "the server holds %s tables, counted in %.0f ms)\n\n",
              o.repeat, tables.c_str(), countMs);
  std::printf("| Action | careful client | Quellwerk requests | mariadb requests |");
  for (const int delay : o.delays)
    std::printf(" Quellwerk ms at %d | mariadb ms at %d |", delay, delay);
  std::printf(" target ms at %d | met |\n|---|---:|---:|---:|", far150);
  for (std::size_t i = 0; i < o.delays.size(); ++i)
    std::printf("---:|---:|");
  std::printf("---:|---|\n");
  for (std::size_t a = 0; a < actions.size(); ++a) {
    const Action &action = actions[a];
    // The counts at the longest round trip: there the bytes a client sends
    // at once reach the proxy before any answer, also during TLS handshakes.
    const Figures &first = figures[{a, own}], &farthest = figures[{a, far150}];
    std::string requests = std::to_string(farthest.requests);
    if (farthest.connections > 0)
      requests = std::to_string(farthest.connections) + " connection + " + requests;
    std::string cli = farthest.cliRequests < 0 ? "" : std::to_string(farthest.cliRequests);
    if (farthest.cliConnections > 0)
      cli = std::to_string(farthest.cliConnections) + " connection + " + cli;
    std::printf("| %s | %s | %s | %s |", action.name.c_str(), action.careful.c_str(),
                requests.c_str(), cli.c_str());
    for (const int delay : o.delays) {
      const Figures &f = figures[{a, delay}];
      std::printf(" %.0f |", Median(f.ms));
      if (f.cliMs.empty())
        std::printf(" |");
      else
        std::printf(" %.0f |", Median(f.cliMs));
    }
    // Each careful request one round trip, 1.2 times, and the own time.
    if (action.carefulMost < 0) {
      std::printf(" | |\n");
      continue;
    }
    // Nothing sent: the time is the dialog's alone, and the count says it all.
    const bool countMet = farthest.requests <= action.carefulMost;
    if (action.carefulMost == 0) {
      std::printf(" | %s |\n", countMet ? "yes" : "no");
      continue;
    }
    const double target = 1.2 * far150 * action.carefulMost + Median(first.ms);
    const double measured = Median(farthest.ms);
    std::printf(" %.0f | %s |\n", target,
                measured <= target && countMet ? "yes" : (countMet ? "time: no" : "no"));
  }
  std::printf("\nWhat the command-line client sent (the program's statements from the "
              "server's general log, one request each):\n\n");
  for (std::size_t a = 0; a < actions.size(); ++a)
    std::printf("- %s: `%s`\n", actions[a].name.c_str(),
                QString::fromStdString(statements[a]).simplified().left(400).toStdString().c_str());
  std::fflush(stdout);
}

} // namespace bench
