#include "commands/Command.h"

#include "clientlib/ServerSession.h"
#include "common/Interaction.h"

bool ConnectedOrSaySo(const ServerSession &session, QWidget *window) {
  if (session.connected())
    return true;
  ShowMessage(window, QStringLiteral("Sie müssen mit der MySQL Server verbunden sein!"));
  return false;
}

Command::Command(ServerSession &session, SchemaLists &lists, QWidget *window)
    : m_session(session), m_lists(lists), m_window(window) {}

std::optional<Command::Selection> Command::Start(Needs needs, WhenNotConnected notConnected) const {
  const Selection s = m_lists.CurrentSelection();
  if ((needs >= Needs::Database && s.database < 0) || (needs >= Needs::Table && s.table < 0) ||
      (needs >= Needs::Field && s.field < 0))
    return std::nullopt;
  if (notConnected == WhenNotConnected::Silent ? !m_session.connected()
                                               : !ConnectedOrSaySo(m_session, m_window))
    return std::nullopt;
  return s;
}

bool Command::Confirmed(const QString &question, const QString &title) const {
  return ShowMessage(m_window, question, title, MessageButtons::YesNoCancel,
                     MessageIcon::Question) == MessageAnswer::Yes;
}

Command::Check Command::TableAsShown(const Selection &s) const {
  return {TableFieldsStill{s.tableName, m_lists.ShownFields()},
          QStringLiteral("Die Tabelle „%1“ ist nicht mehr die angezeigte: sie wurde "
                         "inzwischen geändert, umbenannt oder gelöscht. Es wurde nichts "
                         "gesendet; die Listen werden neu gelesen.")
              .arg(s.tableName)};
}

Command::Sent Command::SelectAndSend(const QString &database, const QString &statement,
                                     const QString &what, const Check &check,
                                     const Afterwards &afterwards) const {
  return Report(
      SelectCheckAndSend(m_session, what, database, statement, check.still, afterwards.lists),
      check, afterwards);
}

Command::Sent Command::Report(const CheckedSend &replies, const Check &check,
                              const Afterwards &afterwards) const {
  Sent sent = Sent::Done;
  if (!replies.select.ok) {
    ShowMessage(m_window, QStringLiteral("Konnte Datenbank nicht auswählen"), replies.select.error);
    sent = Sent::NotSelected;
  } else if (m_session.cancelledByUser(replies.check)) {
    ShowMessage(m_window, replies.check.error);
    sent = Sent::Cancelled;
  } else if (!replies.holds) {
    ShowMessage(m_window, check.otherwise);
    sent = Sent::Changed;
  } else if (!replies.send.ok) {
    ShowMessage(m_window, replies.send.error);
    sent = m_session.cancelledByUser(replies.send) ? Sent::Cancelled : Sent::Refused;
  }
  if (sent == Sent::Done && replies.listing)
    m_lists.ShowListing(*replies.listing);
  else if (sent == Sent::NotSelected && afterwards.alsoWhenNotSelected)
    // Said already; the database is gone or out of reach, so its tables
    // cannot be listed: the databases are.
    m_lists.Relist(ListingRequest::Databases());
  else if (sent != Sent::Cancelled && sent != Sent::NotSelected)
    m_lists.Relist(afterwards.lists);
  return sent;
}

bool Command::AskAndSendOnTable(const Selection &s, const QString &question, const QString &title,
                                const QString &statement, const QString &what,
                                const ListingRequest &afterwards) const {
  const Check check = TableAsShown(s);
  if (!Confirmed(question, title))
    return false;
  SelectAndSend(s.databaseName, statement, what, check, {afterwards});
  return true;
}

LiteralEscaper Command::Escaper() const {
  return [&session = m_session](const QString &value) { return session.escape(value); };
}
