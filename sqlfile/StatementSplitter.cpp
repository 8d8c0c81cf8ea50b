#include "sqlfile/StatementSplitter.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsQuote(char c) { return c == '\'' || c == '"' || c == '`'; }

// The client keeps a delimiter of up to 15 bytes and cuts a longer one.
constexpr qsizetype LongestDelimiter = 15;

// A DELIMITER line whose delimiter does not end within this many bytes is
// taken for a mistake, so that no line is kept whole in memory.
constexpr qsizetype LongestDelimiterLine = 1024;

constexpr char DelimiterWord[] = "delimiter";
constexpr qsizetype DelimiterWordLength = sizeof DelimiterWord - 1;

bool SameLetters(const char *text, const char *lowerWord, qsizetype length) {
  for (qsizetype i = 0; i < length; ++i)
    if ((text[i] | 0x20) != lowerWord[i])
      return false;
  return true;
}

} // namespace

QByteArray FirstWord(QByteArrayView statement) {
  qsizetype i = 0;
  const qsizetype n = statement.size();
  for (;;) {
    while (i < n && IsBlank(statement[i]))
      ++i;
    const QByteArrayView rest = statement.sliced(i);
    const qsizetype opening = rest.startsWith("/*!") ? 3 : rest.startsWith("/*M!") ? 4 : 0;
    if (opening == 0)
      break;
    i += opening;
    while (i < n && statement[i] >= '0' && statement[i] <= '9')
      ++i;
  }
  QByteArray word;
  for (; i < n; ++i) {
    const char c = statement[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (!letter)
      break;
    word += static_cast<char>(c & ~0x20);
  }
  return word;
}

StatementSplitter::StatementSplitter(qint64 longest, bool backslashEscapes)
    : m_longest(longest), m_backslashEscapes(backslashEscapes) {}

void StatementSplitter::feed(QByteArrayView bytes) {
  if (m_fault != Fault::None)
    return;
  m_buffer.append(bytes.data(), bytes.size());
  scan(false);
}

void StatementSplitter::finish() {
  m_finished = true;
  scanToEnd();
}

void StatementSplitter::resume(bool backslashEscapes) {
  m_backslashEscapes = backslashEscapes;
  m_waiting = false;
  if (m_finished)
    scanToEnd();
  else
    scan(false);
}

void StatementSplitter::scanToEnd() {
  if (m_fault != Fault::None)
    return;
  scan(true);
  if (m_fault != Fault::None || m_waiting)
    return;
  if (m_state == State::Quoted || (m_state == State::BlockComment && m_hasContent)) {
    m_openAtEnd = m_state == State::Quoted ? m_quote : '*';
    fail(Fault::OpenAtEnd);
    return;
  }
  if (m_hasContent)
    endStatement(m_buffer.size(), m_buffer.size());
}

bool StatementSplitter::next(ScriptStatement &statement) {
  if (m_ready.empty())
    return false;
  statement = std::move(m_ready.front());
  m_ready.pop_front();
  return true;
}

void StatementSplitter::fail(Fault fault) {
  m_fault = fault;
  m_buffer.clear();
  m_text.clear();
  m_pos = 0;
}

void StatementSplitter::beginContent() {
  if (m_hasContent)
    return;
  m_hasContent = true;
  m_contentLine = m_line;
  m_spanStart = m_pos;
  m_text.clear();
  m_keep = 0;
}

void StatementSplitter::keepUpTo(qsizetype position) {
  m_keep = m_text.size() + (position - m_spanStart);
}

void StatementSplitter::endStatement(qsizetype delimiterAt, qsizetype after) {
  if (m_hasContent) {
    ScriptStatement statement;
    statement.text = std::move(m_text);
    statement.text.append(m_buffer.constData() + m_spanStart, delimiterAt - m_spanStart);
    statement.text.truncate(m_keep);
    // The statement goes on in a request after others: what ends in a
    // comment to the end of the line must end with the line.
    if (m_endsInLineComment)
      statement.text += '\n';
    statement.firstWord = FirstWord(statement.text);
    statement.setsMode =
        statement.firstWord == "SET" && statement.text.toUpper().contains("SQL_MODE");
    m_waiting = statement.setsMode;
    statement.number = ++m_count;
    statement.line = m_contentLine;
    statement.end = m_base + after;
    m_ready.push_back(std::move(statement));
  }
  m_hasContent = false;
  m_text.clear();
  m_keep = 0;
  m_endsInLineComment = false;
  m_atLineStart = false;
  m_pos = after;
}

void StatementSplitter::flushSpan() {
  if (m_hasContent)
    m_text.append(m_buffer.constData() + m_spanStart, m_pos - m_spanStart);
  m_base += m_pos;
  m_buffer.remove(0, m_pos);
  m_pos = 0;
  m_spanStart = 0;
}

bool StatementSplitter::takeDelimiterLine(bool atEnd) {
  const char *line = m_buffer.constData() + m_pos;
  const qsizetype available = m_buffer.size() - m_pos;
  const qsizetype compared = std::min(DelimiterWordLength + 1, available);
  const auto endsWord = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  if (!SameLetters(line, DelimiterWord, std::min(DelimiterWordLength, compared)) ||
      (compared > DelimiterWordLength && !endsWord(line[DelimiterWordLength]))) {
    m_atLineStart = false;
    return true;
  }
  if (compared <= DelimiterWordLength && !atEnd)
    return false;
  if (compared < DelimiterWordLength) {
    m_atLineStart = false;
    return true;
  }
  // The first word after it, or what stands in quotes; the rest of the line
  // is left out. Its end must be in sight.
  qsizetype i = DelimiterWordLength;
  while (i < available && (line[i] == ' ' || line[i] == '\t'))
    ++i;
  const char quote = i < available && IsQuote(line[i]) ? line[i] : 0;
  const qsizetype begin = i + (quote ? 1 : 0);
  qsizetype end = begin;
  while (end < available && line[end] != '\n' &&
         (quote ? line[end] != quote : !endsWord(line[end])))
    ++end;
  if (end > LongestDelimiterLine) {
    fail(Fault::BadDelimiter);
    return true;
  }
  if (end == available && !atEnd)
    return false;
  const QByteArray delimiter(line + begin, std::min(end - begin, LongestDelimiter));
  if (delimiter.isEmpty() || delimiter.contains('\\')) {
    fail(Fault::BadDelimiter);
    return true;
  }
  m_delimiter = delimiter;
  m_pos += end + (quote && end < available && line[end] == quote ? 1 : 0);
  m_state = State::LineComment; // the rest of the line
  return true;
}

void StatementSplitter::scan(bool atEnd) {
  while (m_fault == Fault::None && !m_waiting && m_pos < m_buffer.size() && step(atEnd)) {
    // What the statement holds so far, blanks and comments included, is
    // what it keeps in memory: the same limit, however the script comes in.
    if (m_hasContent && m_text.size() + (m_pos - m_spanStart) > m_longest)
      fail(Fault::TooLong);
  }
  if (m_fault == Fault::None)
    flushSpan();
}

bool StatementSplitter::step(bool atEnd) {
  const qsizetype left = m_buffer.size() - m_pos;
  // Enough bytes to tell a delimiter, "-- ", "/*M!" and a UTF-8 mark.
  if (!atEnd && left < std::max<qsizetype>(m_delimiter.size(), 4))
    return false;
  const char *p = m_buffer.constData() + m_pos;
  const auto at = [&](qsizetype k) { return k < left ? p[k] : '\0'; };
  if (m_startOfScript) {
    m_startOfScript = false;
    if (at(0) == '\xEF' && at(1) == '\xBB' && at(2) == '\xBF')
      m_pos += 3;
    return true;
  }
  const char c = p[0];
  switch (m_state) {
  case State::Code:
    if (m_atLineStart && !m_hasContent && c != ' ' && c != '\t') {
      const qsizetype before = m_pos;
      if (!takeDelimiterLine(atEnd))
        return false;
      if (m_pos != before || m_fault != Fault::None)
        return true;
    }
    if (left >= m_delimiter.size() &&
        std::memcmp(p, m_delimiter.constData(), static_cast<std::size_t>(m_delimiter.size())) ==
            0) {
      endStatement(m_pos, m_pos + m_delimiter.size());
    } else if (c == '#' ||
               (c == '-' && at(1) == '-' && (IsBlank(at(2)) || at(2) == '\0' || !m_hasContent))) {
      m_state = State::LineComment;
      m_pos += c == '#' ? 1 : 2;
    } else if (c == '/' && at(1) == '*' && at(2) != '!' && !(at(2) == 'M' && at(3) == '!')) {
      m_state = State::BlockComment;
      m_pos += 2;
    } else if (IsBlank(c)) {
      if (c == '\n') {
        ++m_line;
        m_atLineStart = !m_hasContent;
      }
      ++m_pos;
    } else {
      beginContent();
      if (IsQuote(c)) {
        m_state = State::Quoted;
        m_quote = c;
      }
      ++m_pos;
      m_endsInLineComment = false;
      keepUpTo(m_pos);
    }
    return true;
  case State::Quoted:
    if (c == '\\' && m_backslashEscapes && m_quote != '`') {
      if (at(1) == '\n')
        ++m_line;
      m_pos += std::min<qsizetype>(2, left);
    } else {
      if (c == m_quote)
        m_state = State::Code;
      else if (c == '\n')
        ++m_line;
      ++m_pos;
    }
    keepUpTo(m_pos);
    return true;
  case State::LineComment:
    ++m_pos;
    if (c == '\n') {
      m_state = State::Code;
      ++m_line;
      m_atLineStart = !m_hasContent;
    } else if (m_hasContent && !IsBlank(c)) {
      m_endsInLineComment = true;
      keepUpTo(m_pos);
    }
    return true;
  case State::BlockComment:
    if (c == '*' && at(1) == '/') {
      m_state = State::Code;
      m_pos += 2;
      if (m_hasContent) {
        m_endsInLineComment = false;
        keepUpTo(m_pos);
      }
    } else {
      if (c == '\n')
        ++m_line;
      ++m_pos;
    }
    return true;
  }
  return true;
}
