// The options.dat reader on any bytes: it never crashes, it never reports
// more rows or more text than the bytes can hold, every row count that
// differs from the announced one is a fault, a faulty length field is where
// it says it is, and the rows it read encode and decode to the same rows
// again.
#include "connection/SavedConnections.h"
#include "fuzz/FuzzCheck.h"

#include <QtEndian>

#include <cstddef>
#include <cstdint>

namespace {

constexpr qsizetype CountBytes = 4;
constexpr qsizetype LengthBytes = 4;
constexpr qsizetype StringsPerRow = 4;

qsizetype textSize(const SavedConnection &row) {
  return row.host.size() + row.user.size() + row.password.size() + row.port.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const DecodedConnections decoded = DecodeSavedConnections(bytes);

  using Fault = DecodedConnections::Fault;
  // Fewer than four bytes: no rows and no fault.
  if (bytes.size() < CountBytes) {
    QW_FUZZ_CHECK(decoded.rows.isEmpty(), "rows without a count");
    QW_FUZZ_CHECK(decoded.fault == Fault::None, "fault without a count");
    return 0;
  }
  const std::int32_t count = qFromLittleEndian<std::int32_t>(bytes.data());
  QW_FUZZ_CHECK(decoded.announced == count, "the announced count is not the first four bytes");

  // Never more rows than the bytes hold: each row takes at least its four
  // length fields, and every character of its texts came from at least one
  // byte (UTF-8 or Windows-1252).
  const qsizetype rows = decoded.rows.size();
  qsizetype characters = 0;
  for (const SavedConnection &row : decoded.rows)
    characters += textSize(row);
  QW_FUZZ_CHECK(CountBytes + rows * StringsPerRow * LengthBytes + characters <= bytes.size(),
                "rows and texts larger than the bytes");
  // Exactly the announced rows, or a fault says why not: a count that does
  // not fit (negative, or fewer than the complete rows), or rows cut short.
  QW_FUZZ_CHECK((decoded.fault == Fault::None) == (count >= 0 && rows == count),
                "missing or extra rows without a fault, or a fault with exactly the rows");
  QW_FUZZ_CHECK((decoded.fault == Fault::CountDoesNotFit) == (count < 0 || rows > count),
                "a count that does not fit the rows, not reported as such");

  if (decoded.fault == Fault::NegativeLength) {
    QW_FUZZ_CHECK(decoded.faultLength < 0, "negative-length fault with a length of 0 or more");
    QW_FUZZ_CHECK(decoded.faultOffset >= CountBytes + rows * StringsPerRow * LengthBytes,
                  "fault before the rows that were read");
    QW_FUZZ_CHECK(decoded.faultOffset + LengthBytes <= bytes.size(), "fault offset past the end");
    QW_FUZZ_CHECK(qFromLittleEndian<std::int32_t>(bytes.data() + decoded.faultOffset) ==
                      decoded.faultLength,
                  "the fault offset does not hold the faulty length");
  }

  // What was read survives a save and a load unchanged.
  const QByteArray again = EncodeSavedConnections(decoded.rows);
  const DecodedConnections reread = DecodeSavedConnections(again);
  QW_FUZZ_CHECK(reread.fault == Fault::None, "re-encoded rows read with a fault");
  QW_FUZZ_CHECK(reread.rows == decoded.rows, "re-encoded rows read back differently");
  QW_FUZZ_CHECK(EncodeSavedConnections(reread.rows) == again, "encoding is not stable");
  return 0;
}
