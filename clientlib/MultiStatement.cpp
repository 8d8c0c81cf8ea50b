#include "clientlib/MultiStatement.h"

#include "clientlib/Results.h"

namespace {

bool CanSendSeveral() {
  using mysql::OptionalEntryPoint;
  return mysql::HasEntryPoint(OptionalEntryPoint::mysql_set_server_option) &&
         mysql::HasEntryPoint(OptionalEntryPoint::mysql_next_result);
}

// The next result of the request: 0 there is one, -1 there is none, above 0
// the next statement failed.
int NextResult(MYSQL *handle) {
  if (!mysql::HasEntryPoint(mysql::OptionalEntryPoint::mysql_next_result))
    return -1;
  return mysql::mysql_next_result(handle);
}

} // namespace

MultiStatements::MultiStatements(MYSQL *handle) : m_handle(handle) {
  m_on = CanSendSeveral() &&
         mysql::mysql_set_server_option(handle, MYSQL_OPTION_MULTI_STATEMENTS_ON) == 0;
}

MultiStatements::~MultiStatements() {
  if (!m_on)
    return;
  try {
    mysql::mysql_set_server_option(m_handle, MYSQL_OPTION_MULTI_STATEMENTS_OFF);
  } catch (...) {
    // The library went away under the job; the connection is gone with it.
  }
}

bool MultiStatements::allow(bool several) {
  return mysql::mysql_set_server_option(m_handle, several ? MYSQL_OPTION_MULTI_STATEMENTS_ON
                                                          : MYSQL_OPTION_MULTI_STATEMENTS_OFF) == 0;
}

BatchReply SendBatch(MYSQL *handle, const QByteArray &request, qsizetype count,
                     const BatchListener &listener) {
  BatchReply reply;
  if (mysql::mysql_real_query(handle, request.constData(),
                              static_cast<unsigned long>(request.size())) != 0) {
    reply.failure = ReplyOf(handle, false);
    return reply;
  }
  for (qsizetype index = 0;; index = std::min(index + 1, count - 1)) {
    if (mysql::mysql_field_count(handle) > 0) {
      // Streamed, so that a statement that returns many rows costs no memory.
      const Result result(mysql::mysql_use_result(handle));
      if (result) {
        if (listener.result)
          listener.result(index, result.get());
        while (mysql::mysql_fetch_row(result.get()))
          ;
      }
      if (!result || mysql::mysql_errno(handle) != 0) {
        reply.ran = index;
        reply.failure = ReplyOf(handle, false);
        return reply;
      }
    }
    reply.ran = index + 1;
    if (listener.ran)
      listener.ran(reply.ran);
    const int next = NextResult(handle);
    if (next < 0 && reply.ran < count) {
      // A statement ended by KILL QUERY may end the request without an error.
      reply.failure = {false, 0,
                       QStringLiteral("Der Server hat sie nicht ausgeführt, ohne einen Fehler zu "
                                      "melden (wurde die Anweisung davor mit KILL beendet?)")};
      return reply;
    }
    if (next < 0)
      return reply;
    if (next > 0) {
      reply.ran = std::min(reply.ran, count - 1);
      reply.failure = ReplyOf(handle, false);
      return reply;
    }
  }
}

void ResetSession(MYSQL *handle) {
  // On a connection that is gone the library's reset never returns (it
  // waits for the rest of a request's results, which cannot come); the
  // loss stays the last error, for the caller to find.
  if (ConnectionLossOn(handle))
    return;
  if (mysql::HasEntryPoint(mysql::OptionalEntryPoint::mysql_reset_connection) &&
      mysql::mysql_reset_connection(handle) == 0)
    return;
  // Without the reset, at least the names travel as UTF-8 again.
  mysql::mysql_query(handle, "SET NAMES utf8mb4");
}
