// What the server answers: whether a call succeeded, and what a statement
// gave back. Plain values, made on the connection's thread.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The answer of one server call that can fail: its error number and text,
// read on the connection's thread right after the call.
struct ServerReply {
  bool ok = true;
  unsigned int errorNumber = 0;
  QString error;
};

// One cell of a result row as the server sent it; SQL NULL has no value.
using QueryCell = std::optional<QByteArray>;

// What one statement gave back: the names of the result's columns and its
// rows (none for a statement without a result), or the server's refusal.
struct QueryResult {
  ServerReply reply;
  QStringList columns;
  QList<QList<QueryCell>> rows;
  std::uint64_t affectedRows = 0;
  bool ok() const { return reply.ok; }
  // A cell as text (UTF-8); SQL NULL, and a cell that is not there, as a null QString.
  QString text(qsizetype row, qsizetype column) const;
  // Every row as texts, SQL NULL as a null QString.
  QList<QStringList> texts() const;
};

// What a batch of statements gave back: one result per statement the server
// ran, in order; when it refused one, its answer and the statement's index
// (the statements after it did not run).
struct BatchResult {
  QList<QueryResult> results;
  ServerReply reply;
  qsizetype failed = -1;
  bool ok() const { return reply.ok; }
};
