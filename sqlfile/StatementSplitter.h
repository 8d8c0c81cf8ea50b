// Splits an SQL script into statements the way the mariadb command-line
// client does: at the delimiter (";" until a DELIMITER line sets another),
// but not inside a quoted string ('...', "..."), a quoted name (`...`) or a
// comment (# ..., -- ..., /* ... */); an executable comment /*! ... */ is
// code. Comments and blanks before a statement are left out, those inside it
// are sent. The script comes in pieces of any size (a file read as a
// stream); only the statement being read is kept, never more than the
// server takes in one.
#pragma once

#include "clientlib/ScriptStatement.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <deque>

class StatementSplitter {
public:
  enum class Fault {
    None,
    OpenAtEnd,    // the script ends inside a quoted string or name, or a comment
    TooLong,      // a statement is longer than the server takes
    BadDelimiter, // a DELIMITER line without a usable delimiter
  };

  // `longest`: the most bytes a statement may have. `backslashEscapes`: a
  // backslash in a quoted string takes the next character as it is (the
  // server's reading, unless its sql_mode has NO_BACKSLASH_ESCAPES).
  explicit StatementSplitter(qint64 longest = 1 << 30, bool backslashEscapes = true);

  // Takes the next piece of the script.
  void feed(QByteArrayView bytes);
  // The script has ended: its last statement needs no delimiter.
  void finish();
  // The next complete statement, in order.
  bool next(ScriptStatement &statement);
  // After a statement that sets sql_mode, the splitter waits until it has
  // run and goes on with the server's reading of backslashes then, as the
  // mariadb client does.
  bool waiting() const { return m_waiting; }
  void resume(bool backslashEscapes);
  bool backslashEscapes() const { return m_backslashEscapes; }

  Fault fault() const { return m_fault; }
  // Where the fault is: the number of the statement and the line.
  qint64 faultStatement() const { return m_count + 1; }
  qint64 faultLine() const { return m_hasContent ? m_contentLine : m_line; }
  // For OpenAtEnd: what is left open ('\'', '"', '`' or '*' for a comment).
  char openAtEnd() const { return m_openAtEnd; }

private:
  enum class State { Code, Quoted, LineComment, BlockComment };
  void scan(bool atEnd);
  void scanToEnd(); // after finish(): the last statement, or what is left open
  // Takes the next few bytes; false when more of the script is needed first.
  bool step(bool atEnd);
  // At the start of a line with no statement begun: a DELIMITER line there
  // is taken. Returns false when more of the line is needed to tell.
  bool takeDelimiterLine(bool atEnd);
  void beginContent();
  void keepUpTo(qsizetype position); // the statement's text is kept up to here (a non-blank)
  void endStatement(qsizetype delimiterAt, qsizetype after);
  void flushSpan();
  void fail(Fault fault);

  const qint64 m_longest;
  bool m_backslashEscapes;
  bool m_waiting = false;
  bool m_finished = false;
  QByteArray m_delimiter = ";";
  QByteArray m_buffer; // what is not yet scanned, and the statement's bytes since m_spanStart
  qsizetype m_pos = 0; // the next byte of m_buffer to scan
  qint64 m_base = 0;   // bytes of the script before m_buffer
  State m_state = State::Code;
  char m_quote = 0;
  bool m_atLineStart = true;
  bool m_startOfScript = true;
  qint64 m_line = 1;

  bool m_hasContent = false;
  qint64 m_contentLine = 0;
  QByteArray m_text;         // the statement's bytes before m_buffer
  qsizetype m_spanStart = 0; // where the statement's bytes in m_buffer begin
  qint64 m_keep = 0;         // the statement's length without the blanks at its end
  bool m_endsInLineComment = false;

  qint64 m_count = 0;
  std::deque<ScriptStatement> m_ready;
  Fault m_fault = Fault::None;
  char m_openAtEnd = 0;
};

// The text of a statement's first keyword in upper case (after blanks and
// the opening of an executable comment /*!NNNNN or /*M!NNNNN).
QByteArray FirstWord(QByteArrayView statement);
