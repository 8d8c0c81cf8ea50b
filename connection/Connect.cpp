// Opening and closing the one server connection of the main window.
#include "app/Interaction.h"
#include "app/ScopeExit.h"
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "clientlib/ServerSession.h"
#include "connection/IntegerText.h"
#include "connection/verbindungFUnit.h"
#include "structure/StructureForm.h"

#include <QLineEdit>

namespace {
constexpr std::int32_t DefaultPort = 3306;
constexpr std::int32_t DefaultTimeout = 30;
} // namespace

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
  // The structure windows read and change through this connection; after a
  // reconnect, perhaps to another server, they would show and change another
  // table of the same name.
  Structures->CloseAll();
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
