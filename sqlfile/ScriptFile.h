// An SQL file as a source of statements: read in pieces on the connection's
// thread while its statements run, split as the mariadb client splits them,
// so that a file of any size costs the memory of one statement.
#pragma once

#include "clientlib/StatementBatch.h"
#include "sqlfile/StatementSplitter.h"

#include <QString>

#include <optional>

class ScriptFile : public StatementSource {
public:
  ScriptFile() = default;
  ~ScriptFile() override;
  ScriptFile(const ScriptFile &) = delete;
  ScriptFile &operator=(const ScriptFile &) = delete;

  // Opens a regular file for reading (a pipe or device is refused, so that
  // nothing waits for ever); false with a German reason in failure().
  bool open(const QString &path);
  qint64 size() const { return m_size; }

  void begin(bool backslashEscapes, qint64 longestStatement) override;
  bool next(ScriptStatement &statement) override;
  void modeSet(bool backslashEscapes) override;

  // Why the statements ended before the end of the file (German, without a
  // full stop), or empty.
  QString failure() const { return m_failure; }

private:
  int m_fd = -1;
  qint64 m_size = 0;
  std::optional<StatementSplitter> m_splitter;
  QByteArray m_piece; // what one read takes in
  bool m_readAll = false;
  QString m_failure;
};
