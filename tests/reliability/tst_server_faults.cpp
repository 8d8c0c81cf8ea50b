// Server faults while connected, for every command that talks to the server:
// the server killed (SIGKILL), the server restarted, the connection killed
// from another session, and a server that stops answering (SIGSTOP). Each
// command must show the client library's error in its German message box,
// leave no list showing data as if a refresh had succeeded, change nothing on
// the server, and "Trennen" followed by a new connect must work.
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "common/WaitWindow.h"
#include "connection/verbindungFUnit.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NeueDBFUnit.h"
#include "schema/NewTableFUnit.h"
#include "schema/RenameTableFUnit.h"
#include "tests/reliability/SchemaSnapshot.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QThread>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

namespace {

const QString Db = QStringLiteral("qwr_faults");
const QString Table = QStringLiteral("kunden");
const QString Field = QStringLiteral("name");

enum class Fault { Kill, Restart, KillConnection, Stop };
enum class Command {
  ClickDatabase,
  ClickTable,
  NewDatabase,
  DropDatabase,
  NewTable,
  DropTable,
  RenameTable,
  NewField,
  ChangeField,
  DropField,
};

const QList<std::pair<Command, const char *>> Commands{
    {Command::ClickDatabase, "click database"},   {Command::ClickTable, "click table"},
    {Command::NewDatabase, "Neue Datenbank"},     {Command::DropDatabase, "Datenbank löschen"},
    {Command::NewTable, "Neue Tabelle"},          {Command::DropTable, "Tabelle löschen"},
    {Command::RenameTable, "Tabelle umbenennen"}, {Command::NewField, "Neue Feld"},
    {Command::ChangeField, "Feld ändern"},        {Command::DropField, "Feld löschen"}};

// What the client library says when the connection is gone: 2013 while a
// call was waiting or after the server closed the connection, 2006 for every
// call after that.
const QRegularExpression LibraryConnectionError(
    QStringLiteral("^(Lost connection to server during query|Server has gone away)$"));

const QString NoDatabaseList =
    QStringLiteral("Konnte die Liste mit dem Datenbanken nicht abrufen.");
const QString NoDatabaseSelected = QStringLiteral("Konnte Datenbank nicht auswählen");

// One expected message box: its text, or (empty text) the library's error
// as the text; whether the library's error is the title; whether it asks.
struct Box {
  QString text;
  bool errorTitle = false;
  bool question = false;
};

// The boxes a command shows when every call to the server fails, and whether
// it then refreshes the lists (which fails too).
struct Expectation {
  QList<Box> boxes;
  bool refreshes = true;
};

Expectation Expected(Command command) {
  const Box listing{NoDatabaseList, true};
  const Box select{NoDatabaseSelected, true};
  const Box ask{QString(), false, true};
  switch (command) {
  case Command::ClickDatabase:
  case Command::ClickTable: return {{listing}};
  case Command::NewDatabase:
    return {{{QStringLiteral("Konnte Datenbank nicht erzeugen!"), true}, listing}};
  case Command::DropDatabase:
    return {{ask, {QStringLiteral("Konnte Datenbank nicht löschen!"), true}, listing}};
  case Command::NewTable:
  case Command::RenameTable: return {{select, listing}};
  case Command::DropTable:
  case Command::DropField: return {{ask, select, listing}};
  // The two field editors end when the database cannot be selected, or the
  // column's definition cannot be read, without refreshing: nothing was sent.
  case Command::NewField: return {{select}, false};
  case Command::ChangeField: return {{Box{}}, false};
  }
  return {};
}

// Resumes a stopped server when a call has not ended after a generous while,
// so that a call that would block for ever fails the test instead of hanging it.
class Watchdog {
public:
  explicit Watchdog(std::chrono::seconds patience) {
    m_thread = std::thread([this, patience] {
      std::unique_lock lock(m_mutex);
      if (!m_done.wait_for(lock, patience, [this] { return m_finished; })) {
        m_fired = true;
        ResumeServer();
      }
    });
  }
  ~Watchdog() { finish(); }
  // Returns whether the watchdog had to resume the server.
  bool finish() {
    {
      std::lock_guard lock(m_mutex);
      m_finished = true;
    }
    m_done.notify_all();
    if (m_thread.joinable())
      m_thread.join();
    return m_fired;
  }
  static void ResumeServer() {
    QFile file(qEnvironmentVariable("QW_TEST_RUNDIR") + QStringLiteral("/mysqld.pid"));
    if (file.open(QIODevice::ReadOnly)) {
      const int pid = QString::fromLatin1(file.readAll()).trimmed().toInt();
      if (pid > 0)
        ::kill(pid, SIGCONT);
    }
  }

private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  bool m_fired = false;
  std::thread m_thread;
};

} // namespace

class ServerFaultsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;

  // Pushes the connection dialog's answer: the test server, and `timeout` as
  // the connect time-out text.
  void pushConnect(ModalScript &script, const QString &timeout = QStringLiteral("30")) {
    script.push([timeout](QDialog &dialog) {
      auto &d = static_cast<TDialog &>(dialog);
      d.EditHost->setText(TestServer::host());
      d.EditPort->setText(QString::number(TestServer::port()));
      d.EditUser->setText(TestServer::user());
      d.EditPass->clear();
      d.EditTime->setText(timeout);
      return int(QDialog::Accepted);
    });
  }
  void prepareDatabase() {
    admin->dropDatabase(QStringLiteral("qwr_faults_neu"));
    admin->makeDatabase(Db, {QStringLiteral("zweite")});
    admin->exec(QStringLiteral("CREATE TABLE `qwr_faults`.`kunden` (id INT NOT NULL PRIMARY KEY, "
                               "name VARCHAR(40), ort VARCHAR(20) DEFAULT 'Bonn')"));
  }
  // SIGSTOP takes effect thread by thread: waits until every thread of the
  // server is stopped, so that no call of the command is still answered.
  static bool waitUntilStopped() {
    QFile file(qEnvironmentVariable("QW_TEST_RUNDIR") + QStringLiteral("/mysqld.pid"));
    if (!file.open(QIODevice::ReadOnly))
      return false;
    const QString task =
        QStringLiteral("/proc/%1/task").arg(QString::fromLatin1(file.readAll()).trimmed());
    for (int i = 0; i < 1000; ++i) {
      bool all = true;
      for (const QString &thread : QDir(task).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(task + QLatin1Char('/') + thread + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
          continue;
        // "pid (name) state ...": the state follows the closing parenthesis.
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const char state = close >= 0 && close + 2 < line.size() ? line[close + 2] : '?';
        all = all && (state == 'T' || state == 't');
      }
      if (all)
        return true;
      QThread::msleep(10);
    }
    return false;
  }
  // Waits until the server has ended a connection's thread (a stopped and
  // resumed server may still be carrying out its last request).
  bool waitUntilGone(unsigned long connection) {
    const QString query =
        QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = %1")
            .arg(connection);
    for (int i = 0; i < 600; ++i) {
      if (admin->column(query).value(0) == QLatin1String("0"))
        return true;
      QTest::qWait(100);
    }
    return false;
  }
  // Selects what a command needs: the database, the table, the field.
  void select(Command command) {
    const int db = RowOf(form->ListView1, Db);
    QVERIFY(db >= 0);
    ClickRow(form->ListView1, db);
    if (command == Command::ClickDatabase || command == Command::NewDatabase ||
        command == Command::DropDatabase || command == Command::NewTable)
      return;
    const int table = RowOf(form->ListView2, Table);
    QVERIFY(table >= 0);
    ClickRow(form->ListView2, table);
    if (command == Command::ChangeField || command == Command::DropField) {
      const int field = RowOf(form->ListView3, Field);
      QVERIFY(field >= 0);
      ClickRow(form->ListView3, field);
      QVERIFY(form->ListView3->hasSelection());
    }
  }
  // Scripts the dialogs of a command and runs it as the user would.
  void run(Command command, ModalScript &script) {
    switch (command) {
    case Command::ClickDatabase: ClickRow(form->ListView1, form->ListView1->selectedRow()); break;
    case Command::ClickTable: ClickRow(form->ListView2, form->ListView2->selectedRow()); break;
    case Command::NewDatabase:
      script.push([this](QDialog &) {
        form->NewDBForm->DBNameEd->setText(QStringLiteral("qwr_faults_neu"));
        return int(QDialog::Accepted);
      });
      form->NewDBBtn->click();
      break;
    case Command::DropDatabase: form->DropDBBtn->click(); break;
    case Command::NewTable:
      script.push([](QDialog &dialog) {
        auto &designer = static_cast<TNewTableForm &>(dialog);
        designer.TableNameEd->setText(QStringLiteral("neu"));
        designer.NewFieldBtnClick();
        return int(QDialog::Accepted);
      });
      script.push([](QDialog &dialog) {
        static_cast<TEditFieldForm &>(dialog).Edit1->setText(QStringLiteral("id"));
        return int(QDialog::Accepted);
      });
      form->NewTableBtn->click();
      break;
    case Command::DropTable: form->DelTableBtn->click(); break;
    case Command::RenameTable:
      script.push([this](QDialog &) {
        form->RenameTableForm->TableNameEd->setText(QStringLiteral("umbenannt"));
        return int(QDialog::Accepted);
      });
      form->TableRenameBtn->click();
      break;
    case Command::NewField:
      script.push([](QDialog &dialog) {
        auto &editor = static_cast<TEditFieldForm &>(dialog);
        editor.Edit1->setText(QStringLiteral("neu"));
        editor.RadioButton1->setChecked(true);
        return int(QDialog::Accepted);
      });
      form->NewFieldBtn->click();
      break;
    case Command::ChangeField:
      // The column's definition cannot be read: the editor does not open.
      form->ChangeFieldBnt->click();
      break;
    case Command::DropField: form->DelFieldBtn->click(); break;
    }
  }
  void inject(Fault fault) {
    switch (fault) {
    case Fault::Kill:
      admin.reset();
      QVERIFY(ServerControl(QStringLiteral("kill")));
      break;
    case Fault::Restart:
      admin.reset();
      QVERIFY(ServerControl(QStringLiteral("restart")));
      break;
    case Fault::KillConnection:
      admin->exec(QStringLiteral("KILL CONNECTION %1").arg(form->Session->connectionId()));
      break;
    case Fault::Stop:
      QVERIFY(ServerControl(QStringLiteral("stop-signal")));
      QVERIFY(waitUntilStopped());
      break;
    }
  }
  void recover(Fault fault) {
    if (fault == Fault::Kill)
      QVERIFY(ServerControl(QStringLiteral("start")));
    if (fault == Fault::Stop)
      QVERIFY(ServerControl(QStringLiteral("cont-signal")));
    if (!admin)
      admin = std::make_unique<AdminConnection>();
  }
  // The messages shown match the command's expectation, each failure box
  // carrying the client library's text.
  void checkBoxes(const QList<Message> &shown, const Expectation &expected) {
    QStringList texts;
    for (const Message &m : shown)
      texts << m.text + QStringLiteral(" [") + m.title + QLatin1Char(']');
    qInfo("%s", qPrintable(texts.join(QLatin1String(" / "))));
    QVERIFY2(shown.size() == expected.boxes.size(), qPrintable(texts.join(QLatin1String(" / "))));
    for (qsizetype i = 0; i < shown.size(); ++i) {
      const Message &m = shown[i];
      const Box &box = expected.boxes[i];
      if (box.question) {
        QCOMPARE(m.buttons, MessageButtons::YesNoCancel);
        continue;
      }
      QCOMPARE(m.buttons, MessageButtons::Ok);
      if (box.text.isEmpty()) {
        QVERIFY2(LibraryConnectionError.match(m.text).hasMatch(), qPrintable(m.text));
        QCOMPARE(m.title, QString());
      } else {
        QCOMPARE(m.text, box.text);
        QVERIFY2(LibraryConnectionError.match(m.title).hasMatch(), qPrintable(m.title));
      }
    }
  }
  // After "Trennen" a new connect lists the server's databases afresh.
  void reconnect(ModalScript &script, MessageRecorder &messages) {
    form->cancelbtn->click();
    QVERIFY(form->connectbtn->isEnabled() && !form->cancelbtn->isEnabled());
    for (ReportListView *list : {form->ListView1, form->ListView2, form->ListView3})
      QCOMPARE(list->count(), 0);
    messages.clear();
    pushConnect(script);
    form->connectbtn->click();
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join(QLatin1Char('|'))));
    QVERIFY(form->connected());
    QCOMPARE(Captions(form->ListView1), admin->databases());
    // The lists work again.
    ClickRow(form->ListView1, RowOf(form->ListView1, Db));
    QCOMPARE(Captions(form->ListView2), admin->tables(Db));
    QVERIFY(messages.shown.isEmpty());
  }

  void commandUnderFault(Fault fault, Command command) {
    ModalScript script;
    MessageRecorder messages;
    select(command);
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join(QLatin1Char('|'))));
    const SchemaSnapshot before = TakeSnapshot(*admin);
    const QList<QStringList> listsBefore{Captions(form->ListView1), Captions(form->ListView2),
                                         Captions(form->ListView3)};
    const QList<int> selectedBefore{form->ListView1->selectedRow(), form->ListView2->selectedRow(),
                                    form->ListView3->selectedRow()};

    const unsigned long connection = form->Session->connectionId();
    inject(fault);
    if (QTest::currentTestFailed())
      return;
    bool watchdogFired = false;
    {
      // A server that stops answering holds a call until the user presses
      // "Abbrechen" in the wait window.
      std::optional<CancelWhenWaiting> user;
      if (fault == Fault::Stop)
        user.emplace();
      Watchdog watchdog(std::chrono::seconds(90));
      run(command, script);
      watchdogFired = watchdog.finish();
    }
    QVERIFY2(!watchdogFired, "the command did not end until the stopped server was resumed");
    QVERIFY(form->isVisible());
    // The program still counts as connected: only "Trennen" ends that.
    QVERIFY(form->connected());

    const Expectation expected = Expected(command);
    checkBoxes(messages.shown, expected);
    if (expected.refreshes) {
      // The refresh failed: no list goes on showing what it showed before as
      // if it had been listed again.
      for (ReportListView *list : {form->ListView1, form->ListView2, form->ListView3})
        QVERIFY2(list->count() == 0, qPrintable(Captions(list).join(QLatin1Char('|'))));
    } else {
      // Nothing was sent and nothing refreshed: the lists are those of the
      // last refresh that succeeded.
      QCOMPARE((QList<QStringList>{Captions(form->ListView1), Captions(form->ListView2),
                                   Captions(form->ListView3)}),
               listsBefore);
      QCOMPARE((QList<int>{form->ListView1->selectedRow(), form->ListView2->selectedRow(),
                           form->ListView3->selectedRow()}),
               selectedBefore);
    }
    // A failing connection never slips into another command's dialog.
    QVERIFY(script.scripts.empty());

    recover(fault);
    // The server has finished with the lost connection.
    QVERIFY(waitUntilGone(connection));
    const SchemaSnapshot after = TakeSnapshot(*admin);
    const bool unchanged =
        after.only(Db) == before.only(Db) && after.databases.keys() == before.databases.keys();
    const QString difference =
        before.only(Db).differenceTo(after.only(Db)) + QStringLiteral("\ndatabases before: ") +
        before.databases.keys().join(QLatin1Char('|')) + QStringLiteral("\ndatabases after: ") +
        after.databases.keys().join(QLatin1Char('|'));
    if (fault == Fault::Stop &&
        (command == Command::NewDatabase || command == Command::DropDatabase)) {
      // CREATE and DROP DATABASE went out as the first call: the request lay
      // in the stopped server's socket when the time-out struck, and the
      // resumed server may still carry it out. Either nothing changed or
      // exactly that; the message said the connection was lost, not that
      // the statement failed.
      QStringList databases = before.databases.keys();
      SchemaSnapshot changed = before.only(Db);
      if (command == Command::NewDatabase) {
        databases << QStringLiteral("qwr_faults_neu");
        databases.sort();
      } else {
        databases.removeOne(Db);
        changed = {};
      }
      const bool done = after.only(Db) == changed && after.databases.keys() == databases;
      qInfo("the resumed server %s the statement", done ? "carried out" : "dropped");
      QVERIFY2(unchanged || done, qPrintable(difference));
    } else {
      QVERIFY2(unchanged, qPrintable(difference));
    }
    if (!admin->databases().contains(Db))
      prepareDatabase();
    reconnect(script, messages);
  }

  static void addMatrix() {
    QTest::addColumn<int>("command");
    for (const auto &[command, name] : Commands)
      QTest::newRow(name) << int(command);
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    LoadRealClientLibrary();
    admin = std::make_unique<AdminConnection>();
    SetWaitWindowDelay(50);
    ServerSession::SetCancelGraceForTests(1);
  }
  void init() {
    if (!admin)
      admin = std::make_unique<AdminConnection>();
    prepareDatabase();
    form = OpenMainForm(true);
    QVERIFY(form->connected());
  }
  void cleanup() {
    // Whatever failed, the server answers again for the next test.
    RestoreServer();
    CloseMainForm(form);
    admin.reset();
    admin = std::make_unique<AdminConnection>();
  }
  void cleanupTestCase() {
    if (admin) {
      admin->dropDatabase(Db);
      admin->dropDatabase(QStringLiteral("qwr_faults_neu"));
    }
  }

  void serverKilled_data() { addMatrix(); }
  void serverKilled() {
    QFETCH(int, command);
    commandUnderFault(Fault::Kill, Command(command));
  }

  void serverRestarted_data() { addMatrix(); }
  void serverRestarted() {
    QFETCH(int, command);
    commandUnderFault(Fault::Restart, Command(command));
  }

  void connectionKilled_data() { addMatrix(); }
  void connectionKilled() {
    QFETCH(int, command);
    commandUnderFault(Fault::KillConnection, Command(command));
  }

  // A server that stops answering: each command waits until the user
  // cancels, then ends with the library's error.
  void serverStopsAnswering_data() { addMatrix(); }
  void serverStopsAnswering() {
    QFETCH(int, command);
    commandUnderFault(Fault::Stop, Command(command));
  }

  // Connecting while the server is down, or stopped, fails with the
  // library's text and leaves the program not connected; once the server
  // answers again the connect works.
  void connectUnderFault() {
    ModalScript script;
    MessageRecorder messages;
    form->cancelbtn->click();

    admin.reset();
    QVERIFY(ServerControl(QStringLiteral("kill")));
    pushConnect(script);
    form->connectbtn->click();
    QCOMPARE(messages.texts(), QStringList{"Konnte keine Verbindung aufbauen."});
    QVERIFY2(messages.shown[0].title.startsWith(QLatin1String("Can't connect to server on")),
             qPrintable(messages.shown[0].title));
    QCOMPARE(messages.shown[0].icon, MessageIcon::Critical);
    QVERIFY(!form->connected());
    QCOMPARE(form->ListView1->count(), 0);
    recover(Fault::Kill);

    // A stopped server accepts the connection in the kernel but never greets:
    // the connect time-out of the dialog ends the attempt.
    messages.clear();
    QVERIFY(ServerControl(QStringLiteral("stop-signal")));
    bool watchdogFired = false;
    {
      Watchdog watchdog(std::chrono::seconds(90));
      pushConnect(script, QStringLiteral("2"));
      form->connectbtn->click();
      watchdogFired = watchdog.finish();
    }
    recover(Fault::Stop);
    QVERIFY(!watchdogFired);
    QCOMPARE(messages.texts(), QStringList{"Konnte keine Verbindung aufbauen."});
    QVERIFY2(messages.shown[0].title.startsWith(QLatin1String("Lost connection to server at")),
             qPrintable(messages.shown[0].title));
    QVERIFY(!form->connected());

    // After a restart the connect works as ever.
    admin.reset();
    QVERIFY(ServerControl(QStringLiteral("restart")));
    recover(Fault::Restart);
    messages.clear();
    pushConnect(script);
    form->connectbtn->click();
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(form->connected());
    QCOMPARE(Captions(form->ListView1), admin->databases());
  }
};

QTEST_MAIN(ServerFaultsTest)
#include "tst_server_faults.moc"
