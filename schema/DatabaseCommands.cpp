#include "schema/DatabaseCommands.h"

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

void DatabaseCommands::NewDatabase(TNewDBForm &dialog) {
  if (!Start(Needs::Nothing))
    return;
  dialog.DBNameEd->clear();
  if (ExecModal(dialog) != QDialog::Accepted)
    return;
  const QString name = dialog.DBNameEd->text();
  if (name.isEmpty()) {
    ShowMessage(m_window, QStringLiteral("Das Feld für den Namen darf nicht leer sein!"));
    return;
  }
  const QString upperName = UpperAZ(name);
  bool exists = false;
  for (const QString &shown : m_lists.ShownDatabases())
    if (UpperAZ(shown) == upperName)
      exists = true;
  if (exists)
    ShowMessage(m_window, QStringLiteral("Diese Datenbank existiert bereits!"));
  else if (const ServerReply reply = CreateDatabase(m_session, name); !reply.ok)
    ShowMessage(m_window, QStringLiteral("Konnte Datenbank nicht erzeugen!"), reply.error);
  m_lists.ListCurrentDatabases();
}

void DatabaseCommands::DropDatabase() {
  const std::optional<Selection> s = Start(Needs::Database);
  if (!s || !Confirmed(QStringLiteral("Wollen Sie die Datenbank ") + s->databaseName +
                           QStringLiteral(" wirklich entgültig löschen?"),
                       QStringLiteral("Datenbank löschen?")))
    return;
  if (const ServerReply reply = ::DropDatabase(m_session, s->databaseName); !reply.ok)
    ShowMessage(m_window, QStringLiteral("Konnte Datenbank nicht löschen!"), reply.error);
  m_lists.ListCurrentDatabases();
}
