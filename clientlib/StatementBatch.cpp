#include "clientlib/StatementBatch.h"

#include "clientlib/MultiStatement.h"
#include "clientlib/Results.h"
#include "clientlib/SessionWork.h"

#include <QElapsedTimer>
#include <QScopeGuard>

#include <optional>
#include <vector>

namespace {

// A request holds statements up to this size (and never more than the
// server takes): large enough that a round trip is paid for thousands of
// small statements, small enough to be sent at once.
constexpr qint64 RequestBytes = 1 << 20;
// How long a request should keep the server busy: long beside a round trip,
// short enough that "Abbrechen" takes effect soon also where the statement
// it ends (SLEEP, BENCHMARK) ends without an error and the server goes on
// with the rest of the request. Requests grow while they are quicker and
// shrink while they are slower.
constexpr qint64 QuickRequestMs = 200, SlowRequestMs = 800;
constexpr qsizetype FirstRequestStatements = 8, MostRequestStatements = 1 << 16;
// Room for the packet's own bytes beside the statement.
constexpr qint64 PacketMargin = 1024;

// Statements that answer with exactly one result may share a request, where
// the results are counted off one per statement. Anything else (CALL, which
// answers with a result per SELECT inside, a compound BEGIN ... END, an
// EXECUTE) goes alone, and all its results are its own.
bool SharesRequest(const QByteArray &firstWord) {
  static const char *const words[] = {
      "CREATE", "ALTER",  "DROP",    "RENAME",   "TRUNCATE", "INSERT",    "REPLACE",
      "UPDATE", "DELETE", "SET",     "USE",      "LOCK",     "UNLOCK",    "COMMIT",
      "GRANT",  "REVOKE", "FLUSH",   "SELECT",   "ROLLBACK", "SAVEPOINT", "START",
      "SHOW",   "DO",     "ANALYZE", "OPTIMIZE", "CHECK",    "REPAIR"};
  for (const char *word : words)
    if (firstWord == word)
      return true;
  return false;
}

// The server's max_allowed_packet; its default where it cannot be read.
qint64 LongestRequest(MYSQL *handle) {
  const auto rows = QueryRows(handle, QStringLiteral("SELECT @@max_allowed_packet"));
  bool ok = false;
  const qint64 bytes = rows && !rows->isEmpty() ? rows->first().value(0).toLongLong(&ok) : 0;
  return ok && bytes > 2 * PacketMargin ? bytes : 16 << 20;
}

// The statements of one request, taken from the source in order.
class RequestBuilder {
public:
  RequestBuilder(StatementSource &source, bool several, qint64 longest)
      : m_source(source), m_several(several), m_limit(std::min(RequestBytes, longest)) {}

  // The next request; false when the source has no more statements.
  bool fill() {
    m_statements.clear();
    m_request.clear();
    for (;;) {
      ScriptStatement statement;
      if (m_held) {
        statement = std::move(*m_held);
        m_held.reset();
      } else if (!m_source.next(statement)) {
        break;
      }
      const bool alone = !m_several || statement.alone || !SharesRequest(statement.firstWord);
      if (!m_statements.empty() &&
          (alone || m_request.size() + 1 + statement.text.size() > m_limit ||
           static_cast<qsizetype>(m_statements.size()) >= m_most)) {
        m_held = std::move(statement);
        break;
      }
      if (!m_request.isEmpty())
        m_request += ';';
      m_request += statement.text;
      m_statements.push_back(std::move(statement));
      // What follows a change of sql_mode is split once the server runs it.
      if (alone || m_statements.back().setsMode)
        break;
    }
    return !m_statements.empty();
  }
  // How long the last request took: the next one holds more or fewer.
  void took(qint64 milliseconds) {
    if (milliseconds < QuickRequestMs && static_cast<qsizetype>(m_statements.size()) >= m_most)
      m_most = std::min(m_most * 2, MostRequestStatements);
    else if (milliseconds > SlowRequestMs)
      m_most = std::max<qsizetype>(m_most / 2, 1);
  }
  const QByteArray &request() const { return m_request; }
  const std::vector<ScriptStatement> &statements() const { return m_statements; }

private:
  StatementSource &m_source;
  bool m_several;
  qint64 m_limit;
  qsizetype m_most = FirstRequestStatements;
  std::optional<ScriptStatement> m_held; // read, but for the next request
  std::vector<ScriptStatement> m_statements;
  QByteArray m_request;
};

} // namespace

ScriptOutcome RunScript(ServerSession &session, const QString &what, const QString &database,
                        StatementSource &source, JobProgress &progress) {
  return session.run(what, [&](MYSQL *handle) {
    ScriptOutcome outcome;
    if (mysql::mysql_select_db(handle, ToLibrary(database).constData()) != 0) {
      outcome.databaseSelected = false;
      outcome.reply = ReplyOf(handle, false);
      return outcome;
    }
    const auto reset = qScopeGuard([handle] { ResetSession(handle); });
    MultiStatements several(handle);
    const qint64 longest = LongestRequest(handle) - PacketMargin;
    const auto backslashEscapes = [handle] {
      return !(handle->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES);
    };
    source.begin(backslashEscapes(), longest);
    RequestBuilder builder(source, several.on(), longest);
    while (!ServerSession::CancelRequested() && builder.fill()) {
      const std::vector<ScriptStatement> &statements = builder.statements();
      const auto ranUpTo = [&](qsizetype ran) {
        progress.done = outcome.ran + ran;
        if (ran > 0)
          progress.bytes = statements[static_cast<std::size_t>(ran - 1)].end;
      };
      QElapsedTimer clock;
      clock.start();
      const bool single = several.on() && statements.front().alone;
      BatchReply reply;
      if (single && !several.allow(false))
        reply.failure = ReplyOf(handle, false);
      else
        reply = SendBatch(handle, builder.request(), static_cast<qsizetype>(statements.size()),
                          {{}, ranUpTo});
      if (single) // where this fails, the connection has, and the next request says so
        several.allow(true);
      builder.took(clock.elapsed());
      outcome.ran += reply.ran;
      if (reply.failure.ok && statements.back().setsMode)
        source.modeSet(backslashEscapes());
      if (!reply.failure.ok) {
        // A statement ended by "Abbrechen" is no failure of the script.
        if (!ServerSession::CancelRequested()) {
          outcome.failed = statements[static_cast<std::size_t>(reply.ran)];
          outcome.reply = reply.failure;
        }
        break;
      }
    }
    outcome.stopped = ServerSession::CancelRequested();
    return outcome;
  });
}
