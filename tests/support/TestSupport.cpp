#include "tests/support/TestSupport.h"

#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "clientlib/mysql.h"
#include "common/WaitWindow.h"
#include "connection/verbindungFUnit.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>

#include <dlfcn.h>
#include <stdexcept>

namespace {

// A box or dialog that no test expected fails the running test at once, with
// what it showed; outside a test function it ends the program.
void FailUnexpected(const QString &what) {
  if (!QTest::currentTestFunction())
    qFatal("%s (outside a test function)", qPrintable(what));
  QTest::qFail(qPrintable(what), __FILE__, __LINE__);
}

MessageAnswer FailOnMessage(QWidget *, const Message &m) {
  const bool question = m.buttons != MessageButtons::Ok;
  FailUnexpected(QStringLiteral("unexpected message box „%1“, title „%2“, buttons %3")
                     .arg(m.text, m.title, question ? "Ja/Nein(/Abbrechen)" : "OK"));
  return question ? MessageAnswer::No : MessageAnswer::Ok;
}

int FailOnModal(QDialog &dialog) {
  FailUnexpected(QStringLiteral("unexpected modal dialog %1 „%2“")
                     .arg(dialog.metaObject()->className(), dialog.windowTitle()));
  return QDialog::Rejected;
}

// In every test program before main(): the test support is an object library.
const bool FailingHandlersInstalled = [] {
  SetMessageHandler(FailOnMessage);
  SetModalHandler(FailOnModal);
  return true;
}();

// A test never reaches the user's session bus, and so never the user's
// keyring: every test program but the keyring test (which runs on a private
// bus of its own) sees a bus address where nothing listens. Neither the
// runtime folder's bus nor one found through the display is tried then.
const bool SessionBusAway = [] {
  if (qEnvironmentVariable("QW_TEST_SESSION_BUS") != QLatin1String("private"))
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quellwerk-test-no-session-bus");
  return true;
}();

} // namespace

MessageRecorder::MessageRecorder() {
  m_outer = SetMessageHandler([this](QWidget *, const Message &message) {
    shown.append(message);
    if (onShow)
      onShow(message);
    if (!answers.empty()) {
      const MessageAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    }
    switch (message.buttons) {
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel: return MessageAnswer::Yes;
    case MessageButtons::RunCancel: return MessageAnswer::Run;
    case MessageButtons::PlainFileOrAsk: return MessageAnswer::No;
    case MessageButtons::Ok: break;
    }
    return MessageAnswer::Ok;
  });
}

MessageRecorder::~MessageRecorder() { SetMessageHandler(std::move(m_outer)); }

QStringList MessageRecorder::texts() const {
  QStringList list;
  for (const Message &m : shown)
    list << m.text;
  return list;
}

ModalScript::ModalScript() {
  m_outer = SetModalHandler([this](QDialog &dialog) {
    ++shownCount;
    if (scripts.empty())
      return FailOnModal(dialog);
    auto script = std::move(scripts.front());
    scripts.pop_front();
    return script(dialog);
  });
}

ModalScript::~ModalScript() { SetModalHandler(std::move(m_outer)); }

QString TestServer::host() { return qEnvironmentVariable("QW_TEST_HOST", "127.0.0.1"); }
int TestServer::port() { return qEnvironmentVariableIntValue("QW_TEST_PORT"); }
QString TestServer::user() { return qEnvironmentVariable("QW_TEST_USER", "root"); }
QString TestServer::passwordUser() { return qEnvironmentVariable("QW_TEST_PASSWORD_USER"); }
QString TestServer::password() { return qEnvironmentVariable("QW_TEST_PASSWORD"); }

bool TestServer::leftOut() { return qEnvironmentVariableIntValue("QW_SKIP_SERVER_TESTS") != 0; }

bool TestServer::available() {
  if (port() <= 0)
    return false;
  try {
    AdminConnection probe;
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

namespace {
// The test's own binding to the real client library, independent of the
// program's (which tests load, release and replace by fakes). The library
// stays loaded for the whole test run.
struct RealLibrary {
  decltype(&::mysql_init) init;
  decltype(&::mysql_options) options;
  decltype(&::mysql_real_connect) real_connect;
  decltype(&::mysql_close) close;
  decltype(&::mysql_error) error;
  decltype(&::mysql_real_query) real_query;
  decltype(&::mysql_store_result) store_result;
  decltype(&::mysql_num_fields) num_fields;
  decltype(&::mysql_fetch_row) fetch_row;
  decltype(&::mysql_fetch_lengths) fetch_lengths;
  decltype(&::mysql_free_result) free_result;

  static const RealLibrary &get() {
    static const RealLibrary library = [] {
      void *handle = dlopen(mysql::DefaultClientLibraryFile, RTLD_NOW | RTLD_LOCAL);
      if (!handle)
        qFatal("cannot load %s", mysql::DefaultClientLibraryFile);
      RealLibrary l{};
      auto bind = [handle](auto &slot, const char *name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
        if (!slot)
          qFatal("%s missing", name);
      };
      bind(l.init, "mysql_init");
      bind(l.options, "mysql_options");
      bind(l.real_connect, "mysql_real_connect");
      bind(l.close, "mysql_close");
      bind(l.error, "mysql_error");
      bind(l.real_query, "mysql_real_query");
      bind(l.store_result, "mysql_store_result");
      bind(l.num_fields, "mysql_num_fields");
      bind(l.fetch_row, "mysql_fetch_row");
      bind(l.fetch_lengths, "mysql_fetch_lengths");
      bind(l.free_result, "mysql_free_result");
      return l;
    }();
    return library;
  }
};
} // namespace

AdminConnection::AdminConnection() {
  const RealLibrary &lib = RealLibrary::get();
  m_handle = lib.init(nullptr);
  if (!m_handle)
    throw std::runtime_error("mysql_init failed");
  lib.options(m_handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  // A server left stopped by a failed test fails the probe instead of hanging it.
  const unsigned connectTimeout = 10;
  lib.options(m_handle, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
  const QByteArray host = TestServer::host().toUtf8();
  const QByteArray user = TestServer::user().toUtf8();
  if (!lib.real_connect(m_handle, host.constData(), user.constData(), "", nullptr,
                        static_cast<unsigned>(TestServer::port()), nullptr, 0)) {
    const std::string error = lib.error(m_handle);
    lib.close(m_handle);
    m_handle = nullptr;
    throw std::runtime_error("connect failed: " + error);
  }
}

AdminConnection::~AdminConnection() {
  if (m_handle)
    RealLibrary::get().close(m_handle);
}

void AdminConnection::exec(const QString &sql) { rows(sql); }

QList<QStringList> AdminConnection::rows(const QString &sql) {
  const RealLibrary &lib = RealLibrary::get();
  const QByteArray text = sql.toUtf8();
  if (lib.real_query(m_handle, text.constData(), static_cast<unsigned long>(text.size())))
    throw std::runtime_error(
        ("statement failed: " + sql + ": " + QString::fromUtf8(lib.error(m_handle))).toStdString());
  MYSQL_RES *result = lib.store_result(m_handle);
  QList<QStringList> list;
  if (!result)
    return list;
  const unsigned columns = lib.num_fields(result);
  while (MYSQL_ROW row = lib.fetch_row(result)) {
    unsigned long *lengths = lib.fetch_lengths(result);
    QStringList cells;
    for (unsigned c = 0; c < columns; ++c)
      cells << (row[c] ? QString::fromUtf8(row[c], static_cast<qsizetype>(lengths[c])) : QString());
    list << cells;
  }
  lib.free_result(result);
  return list;
}

QStringList AdminConnection::column(const QString &sql) {
  QStringList values;
  for (const QStringList &row : rows(sql))
    values << row.value(0);
  return values;
}

QStringList AdminConnection::databases() { return column(QStringLiteral("SHOW DATABASES")); }

QStringList AdminConnection::tables(const QString &database) {
  return column(QStringLiteral("SHOW TABLES FROM ") + QuoteName(database));
}

void AdminConnection::dropDatabase(const QString &database) {
  exec(QStringLiteral("DROP DATABASE IF EXISTS ") + QuoteName(database));
}

void AdminConnection::makeDatabase(const QString &database, const QStringList &tables) {
  dropDatabase(database);
  exec(QStringLiteral("CREATE DATABASE ") + QuoteName(database));
  for (const QString &table : tables)
    exec(QStringLiteral("CREATE TABLE %1.%2 (id INT)").arg(QuoteName(database), QuoteName(table)));
}

QList<QStringList> AdminConnection::columns(const QString &database, const QString &table) {
  return rows(QStringLiteral("SELECT COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_DEFAULT, EXTRA, "
                             "COLUMN_KEY FROM information_schema.COLUMNS WHERE BINARY TABLE_SCHEMA "
                             "= %1 AND BINARY TABLE_NAME = %2 ORDER BY ORDINAL_POSITION")
                  .arg(QuoteLiteral(database), QuoteLiteral(table)));
}

QStringList AdminConnection::columnNames(const QString &database, const QString &table) {
  QStringList names;
  for (const QStringList &c : columns(database, table))
    names << c.value(0);
  return names;
}

void AdminConnection::startQueryLog() {
  exec(QStringLiteral("SET GLOBAL log_output = 'TABLE'"));
  exec(QStringLiteral("SET GLOBAL general_log = 1"));
  exec(QStringLiteral("TRUNCATE mysql.general_log"));
}

void AdminConnection::stopQueryLog() { exec(QStringLiteral("SET GLOBAL general_log = 0")); }

QStringList AdminConnection::statementsOf(unsigned long threadId) {
  return column(QStringLiteral("SELECT CONVERT(argument USING utf8mb4) FROM mysql.general_log "
                               "WHERE thread_id = %1 AND command_type IN ('Query', 'Init DB', "
                               "'Field List') ORDER BY event_time")
                    .arg(threadId));
}

QString QuoteLiteral(const QString &text) {
  QString quoted = text;
  quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
  quoted.replace(QLatin1Char('\''), QLatin1String("''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString QuoteName(const QString &name) {
  QString quoted = name;
  quoted.replace(QLatin1Char('`'), QLatin1String("``"));
  return QLatin1Char('`') + quoted + QLatin1Char('`');
}

void LoadRealClientLibrary() { mysql::LoadClientLibrary(mysql::DefaultClientLibraryFile); }

namespace {
template <typename F> F *fakeControl(const char *name) {
  void *symbol = mysql::ClientLibraryHandle ? dlsym(mysql::ClientLibraryHandle, name) : nullptr;
  if (!symbol)
    qFatal("the loaded client library is not the fake one (%s missing)", name);
  return reinterpret_cast<F *>(symbol);
}
} // namespace

void FakeFailCalls(const char *names) { fakeControl<void(const char *)>("fake_fail_calls")(names); }
int FakeResultsOut() { return fakeControl<int()>("fake_results_out")(); }
int FakeResultsFreed() { return fakeControl<int()>("fake_results_freed")(); }
void FakeResetCounts() { fakeControl<void()>("fake_reset_counts")(); }
void FakeFailFetchAfter(int rows) { fakeControl<void(int)>("fake_fail_fetch_after")(rows); }

void ConnectTo(TMainForm &form, const QString &user, const QString &password, int port) {
  ModalScript script;
  script.push([&](QDialog &dialog) {
    auto &d = static_cast<TDialog &>(dialog);
    d.EditHost->setText(TestServer::host());
    d.EditPort->setText(QString::number(port));
    d.EditUser->setText(user);
    d.EditPass->setText(password);
    return int(QDialog::Accepted);
  });
  form.connectbtn->click();
}

bool ServerControl(const QString &command) {
  const QString script = qEnvironmentVariable("QW_TEST_SERVER_CTL");
  if (script.isEmpty()) {
    qWarning("QW_TEST_SERVER_CTL is not set: run the tests through scripts/test");
    return false;
  }
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.start(QStringLiteral("bash"), {script, command});
  return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == 0;
}

void RestoreServer() {
  ServerControl(QStringLiteral("cont-signal"));
  if (!TestServer::available() && !ServerControl(QStringLiteral("start")))
    qWarning("the test server could not be started again");
}

void ClickRow(ReportListView *list, int row) {
  const QModelIndex index = list->model()->index(row, 0);
  list->scrollTo(index);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

QStringList Captions(const ReportListView *list) {
  QStringList captions;
  for (int i = 0; i < list->count(); ++i)
    captions << list->caption(i);
  return captions;
}

int RowOf(const ReportListView *list, const QString &caption) { return list->rowOf(caption); }

void ClickCaption(ReportListView *list, const QString &caption) {
  const int row = RowOf(list, caption);
  QVERIFY2(row >= 0, qPrintable(QStringLiteral("no row „%1“").arg(caption)));
  ClickRow(list, row);
}

std::unique_ptr<TMainForm> OpenMainForm(bool connect) {
  std::unique_ptr<TMainForm> form = CreateForms();
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get()))
    qWarning("the main window was not exposed");
  if (connect)
    ConnectTo(*form);
  return form;
}

CancelWhenWaiting::CancelWhenWaiting() : m_timer(std::make_unique<QTimer>()) {
  QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *wait = qobject_cast<TWaitForm *>(w);
          wait && wait->isVisible() && wait->CancelBtn->isEnabled()) {
        QTest::mouseClick(wait->CancelBtn, Qt::LeftButton);
        ++m_presses;
      }
  });
  m_timer->start(20);
}

CancelWhenWaiting::~CancelWhenWaiting() = default;

void CloseMainForm(std::unique_ptr<TMainForm> &form) {
  if (form && form->connected())
    form->cancelbtnClick();
  form.reset();
}
