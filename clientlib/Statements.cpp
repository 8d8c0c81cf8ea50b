#include "clientlib/Statements.h"

#include "clientlib/SessionWork.h"
#include "clientlib/SqlText.h"

namespace {

// Runs on the connection's thread, with the command's database selected.
bool Holds(MYSQL *handle, const TableFieldsStill &check) {
  const Result fields(ListFieldsOf(handle, ToLibrary(check.table).constData()));
  return fields && (check.shown.isEmpty() || ListedFieldsOf(fields.get()) == check.shown);
}

// The rows of the column's facts; the names escaped on the connection.
std::optional<QList<QStringList>> ColumnFactsRows(MYSQL *handle, const QString &database,
                                                  const QString &table, const QString &column) {
  return QueryRows(handle, ColumnFactsQuery(EscapeLiteralOn(handle, database),
                                            EscapeLiteralOn(handle, table),
                                            EscapeLiteralOn(handle, column)));
}

bool Holds(MYSQL *handle, const ColumnStill &check) {
  const auto rows = ColumnFactsRows(handle, check.database, check.table, check.column);
  return rows && !rows->isEmpty() && ColumnFactsFromRow(rows->first()) == check.facts;
}

bool Holds(MYSQL *, std::monostate) { return true; }

ServerReply CreateOrDropDatabase(ServerSession &session, bool create, const QString &name) {
  const QString what = (create ? QStringLiteral("Erstelle die Datenbank „%1“ ...")
                               : QStringLiteral("Lösche die Datenbank „%1“ ..."))
                           .arg(name);
  return session.run(what, [&](MYSQL *handle) {
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
    return ReplyOf(handle, result == 0);
  });
}

} // namespace

ServerReply SelectDatabase(ServerSession &session, const QString &database) {
  return session.run(QStringLiteral("Wähle die Datenbank „%1“ ...").arg(database),
                     [&](MYSQL *handle) { return SelectDatabaseOn(handle, database); });
}

ServerReply SendStatement(ServerSession &session, const QString &what, const QString &statement) {
  return session.run(what, [&](MYSQL *handle) { return SendStatementOn(handle, statement); });
}

CheckedSend SelectCheckAndSend(ServerSession &session, const QString &what, const QString &database,
                               const QString &statement, const StillAsShown &check) {
  return session.run(what, [&](MYSQL *handle) {
    CheckedSend sent{SelectDatabaseOn(handle, database), true, {}};
    if (sent.select.ok)
      sent.holds = std::visit([&](const auto &still) { return Holds(handle, still); }, check);
    if (sent.select.ok && sent.holds)
      sent.send = SendStatementOn(handle, statement);
    return sent;
  });
}

ServerReply CreateDatabase(ServerSession &session, const QString &name) {
  return CreateOrDropDatabase(session, true, name);
}

ServerReply DropDatabase(ServerSession &session, const QString &name) {
  return CreateOrDropDatabase(session, false, name);
}

ColumnReading ReadColumnFacts(ServerSession &session, const QString &what, const QString &database,
                              const QString &table, const QString &column) {
  return session.run(what, [&](MYSQL *handle) {
    ColumnReading reading;
    const auto rows = ColumnFactsRows(handle, database, table, column);
    reading.reply = ReplyOf(handle, rows.has_value());
    if (rows && !rows->isEmpty())
      reading.facts = ColumnFactsFromRow(rows->first());
    return reading;
  });
}

TrialOnCopy TryOnTemporaryCopy(ServerSession &session, const QString &what, const QString &database,
                               const QString &table, const QString &copy,
                               const QString &statement) {
  return session.run(what, [&](MYSQL *handle) {
    TrialOnCopy trial;
    const auto exec = [handle](const QString &text) { return SendStatementOn(handle, text).ok; };
    const auto definition = [&] {
      const auto rows =
          QueryRows(handle, QStringLiteral("SHOW CREATE TABLE ") + QuoteIdentifier(copy));
      return rows ? rows->value(0).value(1) : QString();
    };
    const QString drop = QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + QuoteIdentifier(copy);
    if (!SelectDatabaseOn(handle, database).ok || !exec(drop) ||
        !exec(QStringLiteral("CREATE TEMPORARY TABLE ") + QuoteIdentifier(copy) +
              QStringLiteral(" LIKE ") + QuoteIdentifier(table)))
      return trial;
    trial.made = true;
    trial.before = definition();
    trial.statement = SendStatementOn(handle, statement);
    if (trial.statement.ok)
      trial.after = definition();
    exec(drop);
    return trial;
  });
}
