#include "clientlib/SchemaExport.h"

#include "clientlib/MultiStatement.h"
#include "clientlib/Results.h"
#include "clientlib/SessionWork.h"

#include <QScopeGuard>

#include <functional>

namespace {

using Kind = SchemaObject::Kind;

// SHOW CREATE statements per request: a few hundred kilobytes of answers.
constexpr qsizetype ReadsPerRequest = 500;

QString Quoted(const QString &name) {
  QString quoted = name;
  quoted.replace(QLatin1Char('`'), QLatin1String("``"));
  return QLatin1Char('`') + quoted + QLatin1Char('`');
}

// information_schema compares names without case; the binary comparison
// keeps the database exact, the plain one lets the server read just it.
QString InDatabase(MYSQL *handle, const QString &column, const QString &database) {
  const QString name = EscapeLiteralOn(handle, database);
  return QStringLiteral("%1 = '%2' AND BINARY %1 = '%2'").arg(column, name);
}

QByteArray Cell(MYSQL_RES *result, MYSQL_ROW row, unsigned int column) {
  if (column >= mysql::mysql_num_fields(result) || !row[column])
    return {};
  const unsigned long *lengths = mysql::mysql_fetch_lengths(result);
  return QByteArray(row[column], static_cast<qsizetype>(lengths[column]));
}

// Each statement's rows, the statements sent many per request where the
// session allows it. False with the refusal in `read` when one is refused.
bool ReadEach(
    MYSQL *handle, bool several, const QStringList &statements, SchemaRead &read,
    const std::function<void(qsizetype, MYSQL_RES *)> &onResult,
    const std::function<bool()> &goOn = [] { return true; }) {
  const qsizetype perRequest = several ? ReadsPerRequest : 1;
  for (qsizetype first = 0; first < statements.size(); first += perRequest) {
    if (!goOn())
      return true;
    const QStringList part = statements.mid(first, perRequest);
    const BatchReply reply = SendBatch(
        handle, ToLibrary(part.join(QLatin1Char(';'))), part.size(),
        {[&](qsizetype index, MYSQL_RES *result) { onResult(first + index, result); }, {}});
    if (!reply.failure.ok) {
      read.reply = reply.failure;
      read.refusedWhat = part.value(reply.ran);
      return false;
    }
  }
  return true;
}

// The statement that shows an object's CREATE text.
QString ShowCreate(const SchemaObject &object, const QString &database) {
  static const char *const words[] = {"SEQUENCE",  "TABLE",   "VIEW", "FUNCTION",
                                      "PROCEDURE", "TRIGGER", "EVENT"};
  return QStringLiteral("SHOW CREATE %1 %2.%3")
      .arg(QLatin1String(words[static_cast<int>(object.kind)]), Quoted(database),
           Quoted(object.name));
}

// Where the CREATE text and the session's settings stand in the answer of
// SHOW CREATE ... for each kind (-1: not there).
struct ShowColumns {
  int create, sqlMode, client, collation, timeZone;
};
ShowColumns ColumnsOf(Kind kind) {
  switch (kind) {
  case Kind::Sequence:
  case Kind::Table: return {1, -1, -1, -1, -1};
  case Kind::View: return {1, -1, 2, 3, -1};
  case Kind::Function:
  case Kind::Procedure:
  case Kind::Trigger: return {2, 1, 3, 4, -1};
  case Kind::Event: return {3, 1, 4, 5, 2};
  }
  return {1, -1, -1, -1, -1};
}

void TakeCreate(SchemaObject &object, MYSQL_RES *result) {
  MYSQL_ROW row = mysql::mysql_fetch_row(result);
  if (!row)
    return;
  const ShowColumns at = ColumnsOf(object.kind);
  const auto cell = [&](int column) {
    return column < 0 ? QByteArray() : Cell(result, row, static_cast<unsigned int>(column));
  };
  object.create = cell(at.create);
  object.sqlMode = cell(at.sqlMode);
  object.characterSetClient = cell(at.client);
  object.collationConnection = cell(at.collation);
  object.timeZone = cell(at.timeZone);
}

SchemaObject Listed(Kind kind, const QString &name, const QString &table = {}) {
  SchemaObject object;
  object.kind = kind;
  object.name = name;
  object.table = table;
  return object;
}

// The objects the database holds, by the listings of one request.
bool ListObjects(MYSQL *handle, bool several, const SchemaRequest &request, SchemaRead &read) {
  const QString &db = request.database;
  QStringList listings{
      QStringLiteral("SHOW FULL TABLES"),
      QStringLiteral("SELECT TRIGGER_NAME, EVENT_OBJECT_TABLE FROM information_schema.TRIGGERS "
                     "WHERE %1 ORDER BY BINARY EVENT_OBJECT_TABLE, ACTION_TIMING, "
                     "EVENT_MANIPULATION, ACTION_ORDER")
          .arg(InDatabase(handle, QStringLiteral("TRIGGER_SCHEMA"), db))};
  const bool whole = request.tables.isEmpty();
  if (whole && request.routines)
    listings << QStringLiteral("SELECT ROUTINE_TYPE, ROUTINE_NAME FROM information_schema.ROUTINES "
                               "WHERE %1 AND ROUTINE_TYPE IN ('FUNCTION', 'PROCEDURE') "
                               "ORDER BY ROUTINE_TYPE, BINARY ROUTINE_NAME")
                    .arg(InDatabase(handle, QStringLiteral("ROUTINE_SCHEMA"), db));
  if (whole && request.events)
    listings << QStringLiteral("SELECT EVENT_NAME FROM information_schema.EVENTS WHERE %1 "
                               "ORDER BY BINARY EVENT_NAME")
                    .arg(InDatabase(handle, QStringLiteral("EVENT_SCHEMA"), db));
  if (request.createDatabase)
    listings << QStringLiteral("SHOW CREATE DATABASE IF NOT EXISTS ") + Quoted(db);
  const qsizetype routinesAt = 2, eventsAt = routinesAt + (whole && request.routines);

  QList<SchemaObject> tables, triggers, routines, events;
  const auto onResult = [&](qsizetype index, MYSQL_RES *result) {
    while (MYSQL_ROW row = mysql::mysql_fetch_row(result)) {
      const QString first = FromLibrary(Cell(result, row, 0)),
                    second = FromLibrary(Cell(result, row, 1));
      if (index == 0) {
        const Kind kind = second == QLatin1String("VIEW")       ? Kind::View
                          : second == QLatin1String("SEQUENCE") ? Kind::Sequence
                                                                : Kind::Table;
        if (whole || request.tables.contains(first))
          tables.append(Listed(kind, first));
      } else if (index == 1) {
        if (whole || request.tables.contains(second))
          triggers.append(Listed(Kind::Trigger, first, second));
      } else if (index == routinesAt && whole && request.routines) {
        const bool function = first == QLatin1String("FUNCTION");
        routines.append(Listed(function ? Kind::Function : Kind::Procedure, second));
      } else if (index == eventsAt && whole && request.events) {
        events.append(Listed(Kind::Event, first));
      } else {
        read.createDatabase = Cell(result, row, 1);
      }
    }
  };
  if (!ReadEach(handle, several, listings, read, onResult))
    return false;
  for (const QString &table : request.tables)
    if (std::none_of(tables.cbegin(), tables.cend(),
                     [&](const SchemaObject &o) { return o.name == table; }))
      read.missing << table;
  read.objects = tables + routines + triggers + events;
  return true;
}

} // namespace

SchemaRead ReadSchema(ServerSession &session, const QString &what, const SchemaRequest &request,
                      JobProgress &progress) {
  return session.run(what, [&](MYSQL *handle) {
    SchemaRead read;
    if (mysql::mysql_select_db(handle, ToLibrary(request.database).constData()) != 0) {
      read.reply = ReplyOf(handle, false);
      return read;
    }
    const auto reset = qScopeGuard([handle] { ResetSession(handle); });
    // Names always in backquotes, no mode that changes how the server writes
    // its statements, time stamps in UTC (the file says so at its start).
    const QString settings = QStringLiteral(
        "SET SESSION sql_mode = '', time_zone = '+00:00', sql_quote_show_create = 1");
    if (!SendStatementOn(handle, settings).ok) {
      read.reply = ReplyOf(handle, false);
      read.refusedWhat = settings;
      return read;
    }
    read.serverVersion = mysql::mysql_get_server_info(handle);
    const MultiStatements several(handle);
    if (!ListObjects(handle, several.on(), request, read) || !read.missing.isEmpty())
      return read;

    progress.total = read.objects.size();
    QStringList statements;
    for (const SchemaObject &object : read.objects)
      statements << ShowCreate(object, request.database);
    const bool complete = ReadEach(
        handle, several.on(), statements, read,
        [&](qsizetype index, MYSQL_RES *result) {
          TakeCreate(read.objects[index], result);
          progress.done = index + 1;
        },
        [&] { return !ServerSession::CancelRequested(); });
    read.stopped = ServerSession::CancelRequested();
    if (!complete || read.stopped)
      return read;
    // A routine whose text the server keeps from this user shows none.
    for (qsizetype i = 0; i < read.objects.size(); ++i)
      if (read.objects[i].create.isEmpty()) {
        read.reply = {false, 0, QStringLiteral("Der Server zeigt den Text nicht (fehlen Rechte?)")};
        read.refusedWhat = statements[i];
        return read;
      }
    return read;
  });
}
