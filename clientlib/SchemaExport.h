// A database's structure as the server itself writes it: the objects of the
// database and, for each, the text of its SHOW CREATE statement, read many
// statements per round trip. The texts are kept as the bytes the server sent
// (a BINARY column's default may hold bytes that are no UTF-8).
#pragma once

#include "clientlib/JobProgress.h"
#include "clientlib/ServerSession.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct SchemaObject {
  enum class Kind { Sequence, Table, View, Function, Procedure, Trigger, Event };
  Kind kind = Kind::Table;
  QString name;
  QString table;     // a trigger's table
  QByteArray create; // the server's CREATE statement
  // The session the object was made in, as the server keeps it for views,
  // routines, triggers and events (empty where it keeps nothing).
  QByteArray sqlMode, characterSetClient, collationConnection, timeZone;
};

struct SchemaRequest {
  QString database;
  QStringList tables; // only these tables (or views) and their triggers; empty: the whole database
  bool createDatabase = false;
  bool routines = false; // functions and procedures (with the whole database only)
  bool events = false;   // (with the whole database only)
};

struct SchemaRead {
  ServerReply reply;    // the first refusal, if any
  QString refusedWhat;  // the statement that was refused
  bool stopped = false; // ended on the user's request
  QStringList missing;  // tables asked for that the database does not hold
  QByteArray serverVersion;
  QByteArray createDatabase; // with IF NOT EXISTS, when asked for
  // As the server lists them: sequences, tables and views; functions and
  // procedures (each by name); triggers (by table, timing, event and the
  // order the server runs them in); events (by name).
  QList<SchemaObject> objects;
};

// Reads the structure on the connection's thread. The server writes names
// the way it quotes them and leaves the database's own name out of the views
// (the database is the current one while they are read); it writes time
// stamps in UTC. `progress` counts the objects read of all found.
SchemaRead ReadSchema(ServerSession &session, const QString &what, const SchemaRequest &request,
                      JobProgress &progress);
