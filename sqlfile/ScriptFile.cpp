#include "sqlfile/ScriptFile.h"

#include <QFile>
#include <QLocale>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A piece of the file: large enough that reading costs little beside the
// server's work, small enough to be nothing in memory.
constexpr qsizetype PieceBytes = 256 * 1024;

QString SystemReason() { return QString::fromLocal8Bit(std::strerror(errno)); }

QString Number(qint64 n) { return QLocale(QLocale::German).toString(n); }

QString WhatIsOpen(char open) {
  switch (open) {
  case '\'': return QStringLiteral("ein Text in '...'");
  case '"': return QStringLiteral("ein Text in \"...\"");
  case '`': return QStringLiteral("ein Name in `...`");
  default: return QStringLiteral("ein Kommentar /* ... */");
  }
}

} // namespace

ScriptFile::~ScriptFile() {
  if (m_fd >= 0)
    ::close(m_fd);
}

bool ScriptFile::open(const QString &path) {
  m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
    m_failure = QStringLiteral("Die Datei kann nicht gelesen werden: %1").arg(SystemReason());
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    m_failure = QStringLiteral("Das ist keine gewöhnliche Datei");
    return false;
  }
  m_size = st.st_size;
  return true;
}

void ScriptFile::begin(bool backslashEscapes, qint64 longestStatement) {
  m_splitter.emplace(longestStatement, backslashEscapes);
}

void ScriptFile::modeSet(bool backslashEscapes) { m_splitter->resume(backslashEscapes); }

bool ScriptFile::next(ScriptStatement &statement) {
  for (;;) {
    if (m_splitter->next(statement))
      return true;
    if (m_splitter->waiting()) // asked for more before the change ran: as it was
      m_splitter->resume(m_splitter->backslashEscapes());
    switch (m_splitter->fault()) {
    case StatementSplitter::Fault::None: break;
    case StatementSplitter::Fault::OpenAtEnd:
      m_failure = QStringLiteral("Die Datei endet mitten in Anweisung %1 (ab Zeile %2): %3 ist "
                                 "nicht geschlossen; die Anweisung wurde nicht gesendet")
                      .arg(Number(m_splitter->faultStatement()), Number(m_splitter->faultLine()),
                           WhatIsOpen(m_splitter->openAtEnd()));
      return false;
    case StatementSplitter::Fault::TooLong:
      m_failure = QStringLiteral("Anweisung %1 (ab Zeile %2) ist länger, als der Server annimmt "
                                 "(max_allowed_packet); sie wurde nicht gesendet")
                      .arg(Number(m_splitter->faultStatement()), Number(m_splitter->faultLine()));
      return false;
    case StatementSplitter::Fault::BadDelimiter:
      m_failure = QStringLiteral("Zeile %1: DELIMITER ohne brauchbares Trennzeichen (leer oder mit "
                                 "Backslash)")
                      .arg(Number(m_splitter->faultLine()));
      return false;
    }
    if (m_readAll)
      return false;
    if (m_piece.isEmpty())
      m_piece.resize(PieceBytes);
    const ssize_t n = ::read(m_fd, m_piece.data(), static_cast<std::size_t>(m_piece.size()));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      m_failure =
          QStringLiteral("Die Datei konnte nicht weiter gelesen werden: %1").arg(SystemReason());
      return false;
    }
    if (n == 0) {
      m_readAll = true;
      m_splitter->finish();
    } else {
      m_splitter->feed(QByteArrayView(m_piece.constData(), n));
    }
  }
}
