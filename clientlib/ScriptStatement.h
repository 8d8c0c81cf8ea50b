// One statement of a script, as the splitter found it and as it is sent.
#pragma once

#include <QByteArray>

struct ScriptStatement {
  QByteArray text;      // without its delimiter; never ends inside a comment
  QByteArray firstWord; // its first keyword in upper case, also from inside /*! ... */
  qint64 number = 0;    // 1 for the first statement of the script
  qint64 line = 0;      // where its text starts (1 for the first line)
  qint64 end = 0;       // bytes of the script up to and including its delimiter
  // It sets sql_mode, which may change how the server reads the statements
  // after it (NO_BACKSLASH_ESCAPES): they are split once it has run.
  bool setsMode = false;
  // It holds a ";" that the server must not take for the start of another
  // statement: it is sent by itself, with several statements per request
  // switched off, so that whatever follows its end is refused, not run.
  bool alone = false;
};
