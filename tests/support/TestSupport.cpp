#include "tests/support/TestSupport.h"

#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "connection/verbindungFUnit.h"

#include <QDialog>
#include <QLineEdit>

#include <dlfcn.h>
#include <stdexcept>

MessageRecorder::MessageRecorder() {
  SetMessageHandler([this](QWidget *, const Message &message) {
    shown.append(message);
    if (onShow)
      onShow(message);
    if (!answers.empty()) {
      const MessageAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return message.buttons == MessageButtons::YesNoCancel ? MessageAnswer::Yes : MessageAnswer::Ok;
  });
}

MessageRecorder::~MessageRecorder() { SetMessageHandler({}); }

QStringList MessageRecorder::texts() const {
  QStringList list;
  for (const Message &m : shown)
    list << m.text;
  return list;
}

ModalScript::ModalScript() {
  SetModalHandler([this](QDialog &dialog) {
    ++shownCount;
    if (scripts.empty()) {
      qWarning("unexpected modal dialog: %s", qPrintable(dialog.objectName()));
      return int(QDialog::Rejected);
    }
    auto script = std::move(scripts.front());
    scripts.pop_front();
    return script(dialog);
  });
}

ModalScript::~ModalScript() { SetModalHandler({}); }

QString TestServer::host() { return qEnvironmentVariable("QW_TEST_HOST", "127.0.0.1"); }
int TestServer::port() { return qEnvironmentVariableIntValue("QW_TEST_PORT"); }
QString TestServer::user() { return qEnvironmentVariable("QW_TEST_USER", "root"); }
QString TestServer::passwordUser() { return qEnvironmentVariable("QW_TEST_PASSWORD_USER"); }
QString TestServer::password() { return qEnvironmentVariable("QW_TEST_PASSWORD"); }

bool TestServer::available() {
  if (port() <= 0)
    return false;
  if (mysql::ClientLibraryStatus < mysql::EntryPointAbsent)
    LoadRealClientLibrary();
  try {
    AdminConnection probe;
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

AdminConnection::AdminConnection() {
  m_handle = mysql::mysql_init(nullptr);
  if (!m_handle)
    throw std::runtime_error("mysql_init failed");
  mysql::mysql_options(m_handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  const QByteArray host = TestServer::host().toUtf8();
  const QByteArray user = TestServer::user().toUtf8();
  if (!mysql::mysql_real_connect(m_handle, host.constData(), user.constData(), "", nullptr,
                                 static_cast<unsigned>(TestServer::port()), nullptr, 0)) {
    const std::string error = mysql::mysql_error(m_handle);
    mysql::mysql_close(m_handle);
    m_handle = nullptr;
    throw std::runtime_error("connect failed: " + error);
  }
}

AdminConnection::~AdminConnection() {
  if (m_handle && mysql::HasEntryPoint(mysql::EntryPoint::mysql_close))
    mysql::mysql_close(m_handle);
}

void AdminConnection::exec(const QString &sql) {
  const QByteArray text = sql.toUtf8();
  if (mysql::mysql_real_query(m_handle, text.constData(), static_cast<unsigned long>(text.size())))
    throw std::runtime_error(("statement failed: " + sql + ": " + ServerError(m_handle))
                                 .toStdString());
  Result discard(mysql::mysql_store_result(m_handle));
}

QList<QStringList> AdminConnection::rows(const QString &sql) {
  const QByteArray text = sql.toUtf8();
  if (mysql::mysql_real_query(m_handle, text.constData(), static_cast<unsigned long>(text.size())))
    throw std::runtime_error(("query failed: " + sql + ": " + ServerError(m_handle))
                                 .toStdString());
  Result result(mysql::mysql_store_result(m_handle));
  QList<QStringList> list;
  if (!result)
    return list;
  const unsigned columns = mysql::mysql_num_fields(result.get());
  while (MYSQL_ROW row = mysql::mysql_fetch_row(result.get())) {
    unsigned long *lengths = mysql::mysql_fetch_lengths(result.get());
    QStringList cells;
    for (unsigned c = 0; c < columns; ++c)
      cells << (row[c] ? QString::fromUtf8(row[c], static_cast<qsizetype>(lengths[c]))
                       : QString());
    list << cells;
  }
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

void ConnectTo(TMainForm &form, const QString &user, const QString &password) {
  ModalScript script;
  script.push([&](QDialog &dialog) {
    auto &d = static_cast<TDialog &>(dialog);
    d.EditHost->setText(TestServer::host());
    d.EditPort->setText(QString::number(TestServer::port()));
    d.EditUser->setText(user);
    d.EditPass->setText(password);
    return int(QDialog::Accepted);
  });
  form.connectbtn->click();
}
