#include "clientlib/Statements.h"

#include "clientlib/SessionWork.h"
#include "clientlib/SqlText.h"

#include <QRegularExpression>

namespace {

// The queries whose last result tells whether the check holds; the names
// escaped on the connection. Runs on the connection's thread.
QStringList CheckQuery(MYSQL *, const QString &database, const TableFieldsStill &check) {
  return FieldsQuery(database, check.table);
}

QStringList CheckQuery(MYSQL *, const QString &, const TableStill &check) {
  return {QStringLiteral("SHOW CREATE TABLE ") + QuoteQualified(check.database, check.table)};
}

QStringList CheckQuery(MYSQL *handle, const QString &, const ColumnStill &check) {
  return {ColumnFactsQuery(EscapeLiteralOn(handle, check.database),
                           EscapeLiteralOn(handle, check.table),
                           EscapeLiteralOn(handle, check.column))};
}

// Whether the result of the check query shows the object as the user saw it.
bool Holds(MYSQL_RES *result, const TableFieldsStill &check) {
  return result && (check.shown.isEmpty() || ListedFieldsOf(result) == check.shown);
}

bool Holds(MYSQL_RES *result, const ColumnStill &check) {
  const QList<QStringList> rows = RowsOf(result);
  return !rows.isEmpty() && ColumnFactsFromRow(rows.first()) == check.facts;
}

bool Holds(MYSQL_RES *result, const TableStill &check) {
  const QList<QStringList> rows = RowsOf(result);
  return !rows.isEmpty() &&
         WithoutCounter(rows.first().value(1)) == WithoutCounter(check.createStatement);
}

// Reads the check in one request, after selecting `database` unless it is
// null (a check that names its table with the database needs none).
void SelectAndCheck(MYSQL *handle, const QString &database, const StillAsShown &check,
                    CheckedSend &sent) {
  std::visit(
      [&](const auto &still) {
        using Still = std::decay_t<decltype(still)>;
        if constexpr (!std::is_same_v<Still, std::monostate>) {
          const bool selects = !database.isNull();
          QStringList statements;
          if (selects)
            statements << QStringLiteral("USE ") + QuoteIdentifier(database);
          statements << CheckQuery(handle, database, still);
          const BatchEnd end =
              ForEachResultOn(handle, statements, [&](qsizetype index, MYSQL_RES *result) {
                if (index == statements.size() - 1)
                  sent.holds = Holds(result, still);
              });
          if (selects && end.failed == 0) {
            sent.select = end.reply;
          } else if (!end.ok()) {
            sent.holds = false; // no table, no column, no right to read it
            sent.check = end.reply;
          }
        }
      },
      check);
}

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
                               const QString &statement, const StillAsShown &check,
                               const std::optional<ListingRequest> &then) {
  return session.run(what, [&](MYSQL *handle) {
    CheckedSend sent;
    const bool checks = !std::holds_alternative<std::monostate>(check);
    SelectAndCheck(handle, database, check, sent);
    if (!sent.select.ok || !sent.holds)
      return sent;
    QStringList statements;
    if (!checks)
      statements << QStringLiteral("USE ") + QuoteIdentifier(database);
    statements << statement;
    const qsizetype listingFrom = statements.size();
    ListingReads reads(then.value_or(ListingRequest{}));
    statements << reads.statements();
    const BatchEnd end =
        ForEachResultOn(handle, statements, [&](qsizetype index, MYSQL_RES *result) {
          if (index >= listingFrom)
            reads.read(index - listingFrom, result);
        });
    if (!end.ok() && end.failed >= listingFrom)
      reads.refused(end.failed - listingFrom, end.reply);
    else if (!end.ok() && !checks && end.failed == 0)
      sent.select = end.reply;
    else if (!end.ok())
      sent.send = end.reply;
    if (then && sent.select.ok && sent.send.ok)
      sent.listing = reads.listing;
    return sent;
  });
}

CheckedSend CheckAndSend(ServerSession &session, const QString &what, const QString &statement,
                         const StillAsShown &check) {
  return session.run(what, [&](MYSQL *handle) {
    CheckedSend sent;
    SelectAndCheck(handle, QString(), check, sent);
    if (sent.holds)
      sent.send = SendStatementOn(handle, statement);
    return sent;
  });
}

QString WithoutCounter(const QString &createStatement) {
  // The table's options follow the last line that closes the column list;
  // a column's AUTO_INCREMENT has no "=".
  const qsizetype options = createStatement.lastIndexOf(QLatin1String("\n)"));
  if (options < 0)
    return createStatement;
  static const QRegularExpression counter(QStringLiteral(" AUTO_INCREMENT=[0-9]+"));
  return createStatement.left(options) + createStatement.mid(options).remove(counter);
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
    const auto rows = QueryRows(handle, ColumnFactsQuery(EscapeLiteralOn(handle, database),
                                                         EscapeLiteralOn(handle, table),
                                                         EscapeLiteralOn(handle, column)));
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
    const QString showCopy = QStringLiteral("SHOW CREATE TABLE ") + QuoteIdentifier(copy);
    const QString drop = QStringLiteral("DROP TEMPORARY TABLE IF EXISTS ") + QuoteIdentifier(copy);
    enum : qsizetype { Select, DropBefore, Create, Before, Statement, After, DropAfter };
    const QStringList steps{QStringLiteral("USE ") + QuoteIdentifier(database),
                            drop,
                            QStringLiteral("CREATE TEMPORARY TABLE ") + QuoteIdentifier(copy) +
                                QStringLiteral(" LIKE ") + QuoteIdentifier(table),
                            showCopy,
                            statement,
                            showCopy,
                            drop};
    const auto definition = [](MYSQL_RES *result) {
      const MYSQL_ROW row = result ? mysql::mysql_fetch_row(result) : nullptr;
      return row && mysql::mysql_num_fields(result) > 1 && row[1] ? FromLibrary(row[1]) : QString();
    };
    const BatchEnd end = ForEachResultOn(handle, steps, [&](qsizetype index, MYSQL_RES *result) {
      if (index == Before)
        trial.before = definition(result);
      else if (index == After)
        trial.after = definition(result);
    });
    trial.made = end.ok() || end.failed >= Statement;
    if (end.failed == Statement)
      trial.statement = end.reply;
    // Stopped before the copy was dropped: it goes now.
    if (!end.ok() && end.failed > Create && end.failed < DropAfter)
      SendStatementOn(handle, drop);
    // No copy: what the statement was to change is the table as it is.
    if (!trial.made) {
      const auto rows =
          QueryRows(handle, QStringLiteral("SHOW CREATE TABLE ") + QuoteIdentifier(table));
      trial.before = rows ? rows->value(0).value(1) : QString();
    }
    return trial;
  });
}
