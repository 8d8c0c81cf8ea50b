// Opening and closing the one server connection of the main window.
#include "app/Interaction.h"
#include "app/ScopeExit.h"
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "connection/IntegerText.h"
#include "connection/ServerTimeouts.h"
#include "connection/verbindungFUnit.h"

#include <QLineEdit>

namespace {
constexpr std::int32_t DefaultPort = 3306;
constexpr std::int32_t DefaultTimeout = 30;
unsigned int TestIoTimeout = 0;
} // namespace

unsigned int ServerIoTimeout() { return TestIoTimeout ? TestIoTimeout : ServerIoTimeoutSeconds; }
void SetServerIoTimeoutForTests(unsigned int seconds) { TestIoTimeout = seconds; }

void TMainForm::connectbtnClick() {
  if (ExecModal(*Dialog) != QDialog::Accepted) {
    close();
    return;
  }
  Host = Dialog->EditHost->text();
  Port = TextToInteger(Dialog->EditPort->text(), DefaultPort);
  User = Dialog->EditUser->text();
  Password = Dialog->EditPass->text();
  Timeout = TextToInteger(Dialog->EditTime->text(), DefaultTimeout);
  ClientFlags = 0;

  WaitCursor wait;
  // The handle of an earlier failed attempt is released before it is replaced.
  if (MySQLHandle) {
    MYSQL *failed = MySQLHandle;
    MySQLHandle = nullptr;
    mysql::mysql_close(failed);
  }
  MySQLHandle = mysql::mysql_init(nullptr);
  if (!MySQLHandle) {
    ShowMessage(this, QStringLiteral("Couldn't init PMYSQL object"));
    return;
  }
  // Names travel as UTF-8 both ways, so that umlauts survive the round trip.
  // Reads and writes are bounded too: without that, a call to a server that
  // stops answering would block the window for ever.
  const unsigned int ioTimeout = ServerIoTimeout();
  if (mysql::mysql_options(MySQLHandle, MYSQL_OPT_CONNECT_TIMEOUT, &Timeout) != 0 ||
      mysql::mysql_options(MySQLHandle, MYSQL_OPT_READ_TIMEOUT, &ioTimeout) != 0 ||
      mysql::mysql_options(MySQLHandle, MYSQL_OPT_WRITE_TIMEOUT, &ioTimeout) != 0 ||
      mysql::mysql_options(MySQLHandle, MYSQL_SET_CHARSET_NAME, "utf8mb4") != 0) {
    ShowMessage(this, QStringLiteral("Konnte Optionen nicht setzen"));
    return;
  }
  const QByteArray host = ToLibrary(Host);
  const QByteArray user = ToLibrary(User);
  const QByteArray password = ToLibrary(Password);
  if (!mysql::mysql_real_connect(MySQLHandle, host.constData(), user.constData(),
                                 password.constData(), nullptr, static_cast<unsigned int>(Port),
                                 nullptr, ClientFlags)) {
    ShowMessage(this, QStringLiteral("Konnte keine Verbindung aufbauen."), ServerError(MySQLHandle),
                MessageButtons::Ok, MessageIcon::Critical);
    return;
  }
  connectbtn->setEnabled(false);
  cancelbtn->setEnabled(true);
  ListCurrentDatabases();
}

void TMainForm::cancelbtnClick() {
  if (!connected())
    return;
  // The closed handle is forgotten, so that nothing can use or close it twice.
  MYSQL *closing = MySQLHandle;
  MySQLHandle = nullptr;
  ScopeExit disconnected([this] {
    connectbtn->setEnabled(true);
    cancelbtn->setEnabled(false);
    ListView1->clear();
    ListView2->clear();
    ListView3->clear();
  });
  mysql::mysql_close(closing);
}

void TMainForm::FormClose() { cancelbtnClick(); }
