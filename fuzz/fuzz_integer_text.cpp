// The port and time-out conversion against a second, independent reading of
// the same rule: leading blanks, an optional sign, "$" for hexadecimal, at
// least one digit and nothing after the digits; decimal numbers fit 32 bits
// signed, hexadecimal ones may use all 32 bits ("$FFFFFFFF" is -1, "-$1" is -1).
// The input is read three ways: as UTF-16 code units, as UTF-8 and as Latin-1.
// The first four bytes also give a number that must survive the way there
// and back through its decimal and hexadecimal texts.
#include "connection/IntegerText.h"
#include "fuzz/FuzzCheck.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// The reference: digits are collected first and judged by their count and
// value after the leading zeros are gone, so no arithmetic can overflow.
std::optional<std::int32_t> referenceValue(const std::u16string &text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
    negative = text[i++] == u'-';
  unsigned base = 10;
  if (i < text.size() && text[i] == u'$') {
    base = 16;
    ++i;
  }
  std::vector<unsigned> digits;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= u'0' && c <= u'9')
      digits.push_back(static_cast<unsigned>(c - u'0'));
    else if (base == 16 && c >= u'a' && c <= u'f')
      digits.push_back(static_cast<unsigned>(c - u'a') + 10);
    else if (base == 16 && c >= u'A' && c <= u'F')
      digits.push_back(static_cast<unsigned>(c - u'A') + 10);
    else
      return std::nullopt; // anything else, a blank after the digits included
  }
  if (digits.empty())
    return std::nullopt;
  std::size_t first = 0;
  while (first + 1 < digits.size() && digits[first] == 0)
    ++first;
  const std::size_t significant = digits.size() - first;
  if (significant > (base == 16 ? 8u : 10u))
    return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t k = first; k < digits.size(); ++k)
    value = value * base + digits[k];
  if (base == 10) {
    if (value > (negative ? 2147483648ull : 2147483647ull))
      return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(value)
                                              : static_cast<std::int64_t>(value));
  }
  // Hexadecimal: the 32 bits as they stand, then the sign as two's complement.
  std::uint32_t bits = static_cast<std::uint32_t>(value);
  if (negative)
    bits = 0u - bits;
  std::int32_t result;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}

void compare(const QString &text) {
  const std::u16string units(reinterpret_cast<const char16_t *>(text.utf16()),
                             static_cast<std::size_t>(text.size()));
  const std::optional<std::int32_t> expected = referenceValue(units);
  const std::optional<std::int32_t> actual = TextToInteger(text);
  QW_FUZZ_CHECK(expected == actual, qPrintable(text.toHtmlEscaped()));
  QW_FUZZ_CHECK(TextToInteger(text, 4711) == expected.value_or(4711), "fallback");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const char *chars = reinterpret_cast<const char *>(data);
  const auto length = static_cast<qsizetype>(size);
  std::u16string units(size / 2, u'\0'); // any code units, lone surrogates included
  std::memcpy(units.data(), data, units.size() * 2);
  compare(
      QString(reinterpret_cast<const QChar *>(units.data()), static_cast<qsizetype>(units.size())));
  compare(QString::fromUtf8(chars, length));
  compare(QString::fromLatin1(chars, length));

  if (size >= 4) {
    std::int32_t number;
    std::memcpy(&number, data, sizeof number);
    const auto bits = static_cast<std::uint32_t>(number);
    QW_FUZZ_CHECK(TextToInteger(QString::number(number)) == number, "decimal text");
    QW_FUZZ_CHECK(TextToInteger(QStringLiteral("  +") + QString::number(number)) ==
                      (number < 0 ? std::nullopt : std::optional<std::int32_t>(number)),
                  "a plus sign before a minus sign");
    QW_FUZZ_CHECK(TextToInteger(QLatin1Char('$') + QString::number(bits, 16).toUpper()) == number,
                  "hexadecimal text");
    QW_FUZZ_CHECK(TextToInteger(QLatin1Char('$') + QString::number(bits, 16) + QLatin1Char(' ')) ==
                      std::nullopt,
                  "a blank after the digits");
  }
  return 0;
}
