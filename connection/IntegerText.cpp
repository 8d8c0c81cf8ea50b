#include "connection/IntegerText.h"

std::optional<std::int32_t> TextToInteger(QStringView text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text[i] == QLatin1Char(' '))
    ++i;
  bool negative = false;
  if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  const bool hex = i < n && text[i] == QLatin1Char('$');
  if (hex)
    ++i;
  if (i == n)
    return std::nullopt;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  std::uint64_t value = 0;
  for (; i < n; ++i) {
    const char16_t c = text[i].unicode();
    int digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (hex && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (hex && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (value > limit)
      return std::nullopt;
  }
  const auto bits = static_cast<std::uint32_t>(value);
  const auto magnitude = static_cast<std::int32_t>(bits); // wraps for hexadecimal above 2^31-1
  if (!negative)
    return magnitude;
  return static_cast<std::int32_t>(0u - bits);
}

std::optional<std::int32_t> NumberInRange(QStringView text, std::int32_t lowest,
                                          std::int32_t highest, std::int32_t whenEmpty) {
  if (text.isEmpty())
    return whenEmpty;
  const std::optional<std::int32_t> number = TextToInteger(text);
  if (!number || *number < lowest || *number > highest)
    return std::nullopt;
  return number;
}
