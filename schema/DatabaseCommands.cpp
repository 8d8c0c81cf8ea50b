// Creating and dropping databases.
#include "app/mysql_test_main.h"
#include "clientlib/Results.h"
#include "clientlib/ServerSession.h"
#include "common/Interaction.h"
#include "fields/SqlText.h"
#include "schema/NeueDBFUnit.h"

#include <QLineEdit>

namespace {

// Upper case of the letters a to z only; every other character stays as it is.
QString UpperAZ(const QString &text) {
  QString upper = text;
  for (QChar &c : upper)
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
      c = QChar(c.unicode() - 'a' + 'A');
  return upper;
}

} // namespace

// Current client libraries have no create and drop calls of their own; then
// the statement is sent, with the name quoted.
ServerReply TMainForm::CreateOrDropDatabase(bool create, const QString &name) {
  const QString what = (create ? QStringLiteral("Erstelle die Datenbank „%1“ ...")
                               : QStringLiteral("Lösche die Datenbank „%1“ ..."))
                           .arg(name);
  return Session->run(what, [&](MYSQL *handle) {
    const QByteArray text = ToLibrary(name);
    const auto entryPoint =
        create ? mysql::EntryPoint::mysql_create_db : mysql::EntryPoint::mysql_drop_db;
    int result;
    if (mysql::HasEntryPoint(entryPoint)) {
      result = create ? mysql::mysql_create_db(handle, text.constData())
                      : mysql::mysql_drop_db(handle, text.constData());
    } else {
      const QString statement =
          (create ? QStringLiteral("CREATE DATABASE ") : QStringLiteral("DROP DATABASE ")) +
          QuoteIdentifier(name);
      result = mysql::mysql_query(handle, ToLibrary(statement).constData());
    }
    return ServerReply::Of(handle, result == 0);
  });
}

void TMainForm::NewDBBtnClick() {
  if (!ConnectedOrSaySo())
    return;
  NewDBForm->DBNameEd->clear();
  if (ExecModal(*NewDBForm) != QDialog::Accepted)
    return;
  const QString name = NewDBForm->DBNameEd->text();
  if (name.isEmpty()) {
    ShowMessage(this, QStringLiteral("Das Feld für den Namen darf nicht leer sein!"));
    return;
  }
  const QString upperName = UpperAZ(name);
  bool exists = false;
  for (int i = 0; i < ListView1->count(); ++i)
    if (UpperAZ(ListView1->caption(i)) == upperName)
      exists = true;
  if (exists)
    ShowMessage(this, QStringLiteral("Diese Datenbank existiert bereits!"));
  else if (const ServerReply reply = CreateOrDropDatabase(true, name); !reply.ok)
    ShowMessage(this, QStringLiteral("Konnte Datenbank nicht erzeugen!"), reply.error);
  ListCurrentDatabases();
}

void TMainForm::DropDBBtnClick() {
  const Selection s = CurrentSelection();
  if (s.database < 0)
    return;
  const QString &name = s.databaseName;
  if (!ConnectedOrSaySo())
    return;
  if (ShowMessage(this,
                  QStringLiteral("Wollen Sie die Datenbank ") + name +
                      QStringLiteral(" wirklich entgültig löschen?"),
                  QStringLiteral("Datenbank löschen?"), MessageButtons::YesNoCancel,
                  MessageIcon::Question) != MessageAnswer::Yes)
    return;
  if (const ServerReply reply = CreateOrDropDatabase(false, name); !reply.ok)
    ShowMessage(this, QStringLiteral("Konnte Datenbank nicht löschen!"), reply.error);
  ListCurrentDatabases();
}
