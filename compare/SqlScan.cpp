#include "compare/SqlScan.h"

namespace SqlScan {

namespace {

// SkipQuotedOrComment, for scanning loops: most characters start nothing.
qsizetype SkipAt(QStringView text, qsizetype at) {
  switch (text[at].unicode()) {
  case '\'':
  case '"':
  case '`':
  case '#':
  case '-':
  case '/': return SkipQuotedOrComment(text, at);
  default: return at;
  }
}

qsizetype EndOfLine(QStringView text, qsizetype from) {
  const qsizetype end = text.indexOf(u'\n', from);
  return end < 0 ? text.size() : end + 1;
}

} // namespace

bool IsWordCharacter(QChar c) {
  return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

qsizetype SkipQuotedOrComment(QStringView text, qsizetype at, bool backslashEscapes) {
  const qsizetype size = text.size();
  if (at >= size)
    return at;
  const QChar c = text[at];
  if (c == u'\'' || c == u'"' || c == u'`') {
    const bool escapes = backslashEscapes && c != u'`';
    qsizetype i = at + 1;
    while (i < size) {
      if (escapes && text[i] == u'\\') {
        i += 2;
        continue;
      }
      if (text[i] == c) {
        if (i + 1 < size && text[i + 1] == c) {
          i += 2;
          continue;
        }
        return i + 1;
      }
      ++i;
    }
    return size;
  }
  if (c == u'#')
    return EndOfLine(text, at);
  if (c == u'-' && at + 2 < size && text[at + 1] == u'-' &&
      (text[at + 2].isSpace() || text[at + 2].unicode() < 0x20))
    return EndOfLine(text, at);
  if (c == u'-' && at + 2 == size && text[at + 1] == u'-')
    return size;
  if (c == u'/' && at + 1 < size && text[at + 1] == u'*') {
    const qsizetype end = text.indexOf(u"*/", at + 2);
    return end < 0 ? size : end + 2;
  }
  return at;
}

qsizetype ClosingParenthesis(QStringView text, qsizetype open) {
  int depth = 0;
  for (qsizetype i = open; i < text.size();) {
    const qsizetype skipped = SkipAt(text, i);
    if (skipped != i) {
      i = skipped;
      continue;
    }
    if (text[i] == u'(')
      ++depth;
    else if (text[i] == u')' && --depth == 0)
      return i;
    ++i;
  }
  return -1;
}

QStringList SplitList(QStringView text) {
  QStringList parts;
  int depth = 0;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype skipped = SkipAt(text, i);
    if (skipped != i) {
      i = skipped;
      continue;
    }
    const QChar c = text[i];
    if (c == u'(')
      ++depth;
    else if (c == u')')
      --depth;
    else if (c == u',' && depth == 0) {
      parts << text.mid(start, i - start).trimmed().toString();
      start = i + 1;
    }
    ++i;
  }
  const QStringView last = text.mid(start).trimmed();
  if (!last.isEmpty() || !parts.isEmpty())
    parts << last.toString();
  return parts;
}

std::optional<QuotedName> ReadQuotedName(QStringView text, qsizetype at) {
  if (at >= text.size() || text[at] != u'`')
    return std::nullopt;
  const qsizetype end = SkipQuotedOrComment(text, at);
  if (end - at < 2 || text[end - 1] != u'`')
    return std::nullopt;
  QString name = text.mid(at + 1, end - at - 2).toString();
  if (name.contains(u'`'))
    name.replace(QLatin1String("``"), QLatin1String("`"));
  return QuotedName{name, end};
}

qsizetype SkipSpace(QStringView text, qsizetype from) {
  while (from < text.size() && text[from].isSpace())
    ++from;
  return from;
}

qsizetype FindWord(QStringView text, QStringView word, qsizetype from) {
  int depth = 0;
  for (qsizetype i = from; i < text.size();) {
    const qsizetype skipped = SkipAt(text, i);
    if (skipped != i) {
      i = skipped;
      continue;
    }
    const QChar c = text[i];
    if (c == u'(') {
      ++depth;
    } else if (c == u')') {
      --depth;
    } else if (IsWordCharacter(c)) {
      qsizetype end = i;
      while (end < text.size() && IsWordCharacter(text[end]))
        ++end;
      if (depth == 0 && text.mid(i, end - i).compare(word, Qt::CaseInsensitive) == 0)
        return i;
      i = end;
      continue;
    }
    ++i;
  }
  return -1;
}

void ForEachQualified(QStringView text, const QString &database, const QualifiedVisit &visit) {
  for (qsizetype i = 0; i < text.size();) {
    if (text[i] != u'`') {
      const qsizetype skipped = SkipAt(text, i);
      i = skipped != i ? skipped : i + 1;
      continue;
    }
    const std::optional<QuotedName> first = ReadQuotedName(text, i);
    if (!first)
      return;
    const qsizetype dot = first->end;
    if (first->name == database && dot < text.size() && text[dot] == u'.') {
      if (const std::optional<QuotedName> second = ReadQuotedName(text, dot + 1)) {
        visit(second->name, second->end < text.size() ? text[second->end] : QChar(), i, dot);
        i = dot + 1; // the second name may itself qualify a third
        continue;
      }
    }
    i = first->end;
  }
}

QString Requalify(QStringView text, const QString &from, const QString &to,
                  const std::function<bool(const QString &, QChar)> &qualifies) {
  QString quoted = to;
  quoted = u'`' + quoted.replace(QLatin1String("`"), QLatin1String("``")) + u'`';
  QString result;
  result.reserve(text.size());
  qsizetype copied = 0;
  ForEachQualified(text, from,
                   [&](const QString &name, QChar after, qsizetype start, qsizetype end) {
                     if (!qualifies(name, after))
                       return;
                     result += text.mid(copied, start - copied);
                     result += quoted;
                     copied = end;
                   });
  result += text.mid(copied);
  return result;
}

} // namespace SqlScan
