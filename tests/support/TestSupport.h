// What the tests share: recording message boxes and scripting their answers,
// scripting modal dialogs, the private test server, a direct connection to it
// for setting up and reading back the schema, and the fake client libraries.
#pragma once

#include "clientlib/ClientLibrary.h"
#include "clientlib/ServerSession.h"
#include "common/Interaction.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>

struct st_mysql;
class TMainForm;
class QDialog;
class QTimer;

// Every test program starts with handlers that fail the running test at once
// on a message box or modal dialog (outside a test function they end the
// program); MessageRecorder and ModalScript replace them while they live.

// Records every message box instead of showing it, and answers from a queue
// (when the queue is empty: Yes for a question, "Ausführen" for a statement,
// "Bei jeder Verbindung fragen" for where a password goes, and Ok otherwise).
class MessageRecorder {
public:
  MessageRecorder();
  ~MessageRecorder();
  QList<Message> shown;
  std::deque<MessageAnswer> answers;
  // Runs while a box is "shown", for tests that look at the window meanwhile.
  std::function<void(const Message &)> onShow;
  QStringList texts() const;
  void clear() { shown.clear(); }

private:
  MessageHandler m_outer;
};

// Answers modal dialogs from a queue of scripts; each script may fill in the
// dialog and returns its result. An empty queue fails the test and rejects.
class ModalScript {
public:
  ModalScript();
  ~ModalScript();
  std::deque<std::function<int(QDialog &)>> scripts;
  int shownCount = 0;
  void push(std::function<int(QDialog &)> script) { scripts.push_back(std::move(script)); }

private:
  ModalHandler m_outer;
};

// The private server that scripts/test starts.
struct TestServer {
  static QString host();
  static int port();
  static QString user();         // root, without password
  static QString passwordUser(); // a user with a password
  static QString password();
  static bool available();
  // Whoever runs the tests asked to leave out those that need a server
  // (QW_SKIP_SERVER_TESTS=1).
  static bool leftOut();
};

// A test that needs the server fails when none answers, unless the server
// tests were left out on purpose: a run must never look green on skipped work.
#define QW_REQUIRE_SERVER()                                                                        \
  do {                                                                                             \
    if (TestServer::leftOut())                                                                     \
      QSKIP("the server tests are left out (QW_SKIP_SERVER_TESTS)");                               \
    QVERIFY2(TestServer::available(),                                                              \
             "no test server answers (QW_TEST_HOST/QW_TEST_PORT): run the tests through "          \
             "scripts/test, or set QW_SKIP_SERVER_TESTS=1 to leave them out");                     \
  } while (0)

// A connection of the test's own through the binding, for setting up and
// reading back the schema. Throws std::runtime_error on a failed statement.
class AdminConnection {
public:
  AdminConnection();
  ~AdminConnection();
  AdminConnection(const AdminConnection &) = delete;
  AdminConnection &operator=(const AdminConnection &) = delete;

  void exec(const QString &sql);
  // All rows of a query, each row its columns as text (NULL as a null QString).
  QList<QStringList> rows(const QString &sql);
  QStringList column(const QString &sql);
  QStringList databases();
  QStringList tables(const QString &database);
  // Drops the database if it exists.
  void dropDatabase(const QString &database);
  // A database with the given tables (each with one INT column `id`), made afresh.
  void makeDatabase(const QString &database, const QStringList &tables = {});
  // The columns of a table in order: name, COLUMN_TYPE, IS_NULLABLE,
  // COLUMN_DEFAULT, EXTRA, COLUMN_KEY.
  QList<QStringList> columns(const QString &database, const QString &table);
  QStringList columnNames(const QString &database, const QString &table);
  // The server's general query log, kept in a table while a test needs it:
  // the statements that one connection sent since the log was last cleared.
  void startQueryLog();
  void stopQueryLog();
  QStringList statementsOf(unsigned long threadId);

private:
  st_mysql *m_handle = nullptr;
};

QString QuoteName(const QString &name);
// A string literal for the test's own statements (normal sql_mode).
QString QuoteLiteral(const QString &text);

// Loads the real client library (the program's default).
void LoadRealClientLibrary();
// Calls a control function of the loaded fake client library.
void FakeFailCalls(const char *names);
int FakeResultsOut();
int FakeResultsFreed();
void FakeResetCounts();
void FakeFailFetchAfter(int rows);

// Fills the connection dialog with the test server's address (or another
// port of it) and the given user, and presses "Verbinden..." on the main window.
void ConnectTo(TMainForm &form, const QString &user = TestServer::user(),
               const QString &password = {}, int port = TestServer::port());

// Runs scripts/test-server with the given command (kill, start, restart, ...).
bool ServerControl(const QString &command);
// Brings the server back (continued, started) after a test stopped or killed
// it; a test that does so calls it in its cleanup or a qScopeGuard, so that
// it runs also when the test fails.
void RestoreServer();

class ReportListView;
// Clicks a row of a list with the mouse, as a user would.
void ClickRow(ReportListView *list, int row);
// The captions (first column) of all rows of a list.
QStringList Captions(const ReportListView *list);
// The row whose caption is `caption`, or -1.
int RowOf(const ReportListView *list, const QString &caption);
// Clicks the row whose caption is `caption`; fails the test when there is none.
void ClickCaption(ReportListView *list, const QString &caption);

// Presses "Abbrechen" in the wait window whenever one shows, as a user
// would, for as long as it lives. Counts the presses.
class CancelWhenWaiting {
public:
  CancelWhenWaiting();
  ~CancelWhenWaiting();
  int presses() const { return m_presses; }

private:
  std::unique_ptr<QTimer> m_timer;
  int m_presses = 0;
};

// The program's forms as it creates them, the main window shown; connected
// to the test server when asked (check form->connected()).
std::unique_ptr<TMainForm> OpenMainForm(bool connect);
// Disconnects ("Trennen") if connected, and closes the forms.
void CloseMainForm(std::unique_ptr<TMainForm> &form);
