// Reading a whole number as the connection dialog's port and time-out edits
// hold it: leading blanks, an optional sign, "$" for hexadecimal, and nothing
// after the digits. Decimal numbers must fit 32 bits signed; hexadecimal ones
// may use all 32 bits ("$FFFFFFFF" is -1).
#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

std::optional<std::int32_t> TextToInteger(QStringView text);

// The port used when the port edit holds no whole number.
inline constexpr std::int32_t DefaultPort = 3306;

// The number, or `fallback` when the text is not a whole number.
inline std::int32_t TextToInteger(QStringView text, std::int32_t fallback) {
  return TextToInteger(text).value_or(fallback);
}

// A number typed into a field that takes `lowest` to `highest`: an empty text
// means `whenEmpty`; anything else must be a whole number in the range.
// Nothing when it is not.
std::optional<std::int32_t> NumberInRange(QStringView text, std::int32_t lowest,
                                          std::int32_t highest, std::int32_t whenEmpty);
