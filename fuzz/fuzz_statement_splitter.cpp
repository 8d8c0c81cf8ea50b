// The SQL file splitter on any bytes, fed whole and in pieces of a size the
// input chooses: the statements, their lines and ends, and the fault must
// not depend on where the pieces end; no statement is empty, longer than the
// limit, or ends in a blank (but for the line end after a closing comment);
// the numbers count up, the ends and the lines never go back; and each
// statement's text stands in the input after the statement before.
#include "fuzz/FuzzCheck.h"
#include "sqlfile/StatementSplitter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QList>

#include <cstddef>
#include <cstdint>

namespace {

struct Split {
  QList<ScriptStatement> statements;
  StatementSplitter::Fault fault;
  qint64 faultStatement, faultLine;
};

Split SplitInPieces(QByteArrayView script, qsizetype piece, qint64 longest, bool escapes) {
  StatementSplitter splitter(longest, escapes);
  Split split;
  ScriptStatement s;
  const auto take = [&] {
    for (;;) {
      while (splitter.next(s))
        split.statements << s;
      if (!splitter.waiting())
        return;
      // The server's reading after the change: another one each time.
      splitter.resume(!splitter.backslashEscapes());
    }
  };
  for (qsizetype at = 0; at < script.size(); at += piece) {
    splitter.feed(script.sliced(at, std::min(piece, script.size() - at)));
    take();
  }
  splitter.finish();
  take();
  split.fault = splitter.fault();
  split.faultStatement = splitter.faultStatement();
  split.faultLine = splitter.faultLine();
  return split;
}

bool Same(const ScriptStatement &a, const ScriptStatement &b) {
  return a.text == b.text && a.firstWord == b.firstWord && a.number == b.number &&
         a.line == b.line && a.end == b.end;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const bool escapes = input.ConsumeBool();
  const qint64 longest =
      input.ConsumeBool() ? input.ConsumeIntegralInRange<qint64>(1, 64) : 1 << 20;
  const qsizetype piece = input.ConsumeIntegralInRange<qsizetype>(1, 9);
  const std::string bytes = input.ConsumeRemainingBytesAsString();
  const QByteArrayView script(bytes.data(), static_cast<qsizetype>(bytes.size()));

  const Split whole = SplitInPieces(script, script.size() + 1, longest, escapes);
  const Split pieces = SplitInPieces(script, piece, longest, escapes);
  QW_FUZZ_CHECK(whole.statements.size() == pieces.statements.size(), "count by pieces");
  for (qsizetype i = 0; i < whole.statements.size(); ++i)
    QW_FUZZ_CHECK(Same(whole.statements[i], pieces.statements[i]), "statement by pieces");
  QW_FUZZ_CHECK(whole.fault == pieces.fault, "fault by pieces");
  if (whole.fault != StatementSplitter::Fault::None)
    QW_FUZZ_CHECK(whole.faultStatement == pieces.faultStatement &&
                      whole.faultLine == pieces.faultLine,
                  "fault place by pieces");

  qint64 end = 0, line = 1, number = 0;
  for (const ScriptStatement &s : whole.statements) {
    QW_FUZZ_CHECK(!s.text.isEmpty() && s.text.size() <= longest + 1, "length");
    const char last = s.text.back();
    QW_FUZZ_CHECK(last == '\n' || (last != ' ' && last != '\t' && last != '\r'), "blank at end");
    QW_FUZZ_CHECK(s.number == ++number, "numbers");
    QW_FUZZ_CHECK(s.end > end && s.end <= script.size(), "ends");
    QW_FUZZ_CHECK(s.line >= line, "lines");
    // The text stands in the input between the statement before and its end
    // (but for a line end added after a closing comment).
    const QByteArrayView between = script.sliced(end, s.end - end), text(s.text);
    QW_FUZZ_CHECK(between.contains(text) || (last == '\n' && between.contains(text.chopped(1))),
                  "text from the input");
    end = s.end;
    line = s.line;
  }
  return 0;
}
