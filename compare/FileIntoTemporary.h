// An SQL file loaded for a comparison into a temporary database, with the
// user's own privileges: only what describes tables, views, triggers and
// sequences runs (and the session settings, locks and transactions a dump
// wraps them in); data, routines, events, users, server settings and the
// like are passed over, so that no trigger fires and nothing runs later.
// A statement that would run and names another database of the server,
// places table files elsewhere or writes a file stops the load before it
// is sent: the user only wanted to compare.
#pragma once

#include "clientlib/StatementBatch.h"

#include <QString>
#include <QStringList>

class ScriptFile;

// What becomes of one statement of the file.
struct LoadVerdict {
  enum class Kind { Run, Skip, Refuse } kind = Kind::Skip;
  QString reason; // for Refuse: what the statement does, as a German clause
  // For Run: it holds a ";" that the server must not take for the start of
  // another statement.
  bool alone = false;
};

// The server the file is loaded on.
struct LoadServer {
  QStringList otherDatabases; // all but the temporary one
  // As VersionNumber gives it: a versioned comment (/*!50001 ... */) of a
  // later version is one the server passes over. 0: not known, every
  // versioned comment is read as code.
  int version = 0;
};

// The statement is read as the server reads it, with or without backslash
// escapes.
LoadVerdict JudgeLoadedStatement(QStringView statement, bool backslashEscapes,
                                 const LoadServer &server);

// The file's statements as JudgeLoadedStatement lets them through; ends
// at the first refused one, whose reason is then refusal().
class FileIntoTemporary : public StatementSource {
public:
  FileIntoTemporary(ScriptFile &file, LoadServer server)
      : m_file(file), m_server(std::move(server)) {}
  void begin(bool backslashEscapes, qint64 longest) override;
  void modeSet(bool backslashEscapes) override;
  bool next(ScriptStatement &statement) override;
  // Why the load stopped before a statement (German), or empty.
  const QString &refusal() const { return m_refusal; }

private:
  ScriptFile &m_file;
  LoadServer m_server;
  bool m_backslashEscapes = true;
  QString m_refusal;
};
