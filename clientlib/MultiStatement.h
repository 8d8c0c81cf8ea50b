// Several statements in one request, for the jobs of clientlib that send
// many: switched on only for as long as such a job runs, so that nothing
// else the program sends can ever be taken for two statements; the results
// of one request read in order; and the session put back afterwards.
//
// Runs on the connection's thread, inside ServerSession::run.
#pragma once

#include "clientlib/Results.h"

#include <QByteArray>

#include <functional>

// Switches several statements per request on for its lifetime where the
// client library can (mysql_set_server_option), and off again.
class MultiStatements {
public:
  explicit MultiStatements(MYSQL *handle);
  ~MultiStatements();
  MultiStatements(const MultiStatements &) = delete;
  MultiStatements &operator=(const MultiStatements &) = delete;
  // False: one statement per request.
  bool on() const { return m_on; }
  // Switches several statements per request off or on again for a while,
  // where on(); false when the server refused (the handle has its error).
  bool allow(bool several);

private:
  MYSQL *m_handle;
  bool m_on = false;
};

// What the server said to one request of `count` statements.
struct BatchReply {
  qsizetype ran = 0;   // statements that ran, from the first on
  ServerReply failure; // the refusal of statement number `ran` (from 0), if any
};

// What a request's reader is told as its results come in: each result that
// has rows, unread (streamed: what is left unread is skipped), and the
// number of statements that have run so far, after each.
struct BatchListener {
  std::function<void(qsizetype index, MYSQL_RES *result)> result;
  std::function<void(qsizetype ran)> ran;
};

// Sends `request` (`count` statements joined by ";") and reads its results in
// order. A statement may answer with several results (CALL); those after the
// last expected one count as the last statement's.
BatchReply SendBatch(MYSQL *handle, const QByteArray &request, qsizetype count,
                     const BatchListener &listener = {});

// Puts the session back as a connect left it (settings, user variables,
// temporary tables, an open transaction), keeping the current database.
void ResetSession(MYSQL *handle);
