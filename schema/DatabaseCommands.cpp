// Creating and dropping databases.
#include "app/mysql_test_main.h"
#include "clientlib/Statements.h"
#include "common/Interaction.h"
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
  else if (const ServerReply reply = CreateDatabase(*Session, name); !reply.ok)
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
  if (const ServerReply reply = DropDatabase(*Session, name); !reply.ok)
    ShowMessage(this, QStringLiteral("Konnte Datenbank nicht löschen!"), reply.error);
  ListCurrentDatabases();
}
