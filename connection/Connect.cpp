// Opening and closing the one server connection of the main window.
#include "app/Interaction.h"
#include "app/ScopeExit.h"
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "clientlib/ServerSession.h"
#include "connection/IntegerText.h"
#include "connection/verbindungFUnit.h"

#include <QLineEdit>

#include <limits>

namespace {
constexpr std::int32_t DefaultPort = 3306;
constexpr std::int32_t DefaultTimeout = 30;

QString RefusedNumber(const QString &field, const QString &text, const QString &allowed) {
  return QStringLiteral("Das Feld „%1“ enthält „%2“; erlaubt ist %3. Es wurde keine Verbindung "
                        "aufgebaut.")
      .arg(field, text, allowed);
}
} // namespace

void TMainForm::connectbtnClick() {
  if (ExecModal(*Dialog) != QDialog::Accepted) {
    close();
    return;
  }
  // A number that is not what it says (a port beyond 65535 that would wrap,
  // "4270x", a time-out of 0 that would wait for ever) is refused, naming
  // the field; an empty field means the usual value.
  const std::optional<std::int32_t> port =
      NumberInRange(Dialog->EditPort->text(), 1, 65535, DefaultPort);
  const std::optional<std::int32_t> timeout = NumberInRange(
      Dialog->EditTime->text(), 1, std::numeric_limits<std::int32_t>::max(), DefaultTimeout);
  if (!port || !timeout) {
    ShowMessage(this, !port ? RefusedNumber(QStringLiteral("Port"), Dialog->EditPort->text(),
                                            QStringLiteral("eine ganze Zahl von 1 bis 65535"))
                            : RefusedNumber(QStringLiteral("Timeout"), Dialog->EditTime->text(),
                                            QStringLiteral("eine ganze Zahl von Sekunden ab 1")));
    return;
  }
  Host = Dialog->EditHost->text();
  Port = *port;
  User = Dialog->EditUser->text();
  Password = Dialog->EditPass->text();
  Timeout = *timeout;
  ClientFlags = 0;

  // A handle left from before is released before it is replaced.
  if (MySQLHandle)
    Session->close(QStringLiteral("Schließe die alte Verbindung ..."));
  const ServerSession::ConnectOutcome outcome =
      Session->connect(QStringLiteral("Verbinde mit „%1“ ...").arg(Host),
                       {Host, Port, User, Password, Timeout, ClientFlags});
  switch (outcome.step) {
  case ServerSession::ConnectStep::InitFailed:
    ShowMessage(this, QStringLiteral("Couldn't init PMYSQL object"));
    return;
  case ServerSession::ConnectStep::OptionsRefused:
    ShowMessage(this, QStringLiteral("Konnte Optionen nicht setzen"));
    return;
  case ServerSession::ConnectStep::ConnectFailed:
    ShowMessage(this, QStringLiteral("Konnte keine Verbindung aufbauen."), outcome.reply.error,
                MessageButtons::Ok, MessageIcon::Critical);
    return;
  case ServerSession::ConnectStep::Cancelled: // the user gave the attempt up
    return;
  case ServerSession::ConnectStep::Connected: break;
  }
  connectbtn->setEnabled(false);
  cancelbtn->setEnabled(true);
  ListCurrentDatabases();
}

void TMainForm::cancelbtnClick() {
  if (!connected())
    return;
  ScopeExit disconnected([this] {
    connectbtn->setEnabled(true);
    cancelbtn->setEnabled(false);
    ListView1->clear();
    ListView2->clear();
    ListView3->clear();
  });
  // The closed handle is forgotten, so that nothing can use or close it twice.
  Session->close(QStringLiteral("Trenne die Verbindung ..."));
}

void TMainForm::FormClose() { cancelbtnClick(); }
