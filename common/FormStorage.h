// Where a dialog stood on the screen, remembered between runs in
// ~/.config/quellwerk/quellwerk.ini, one section per form. The keys follow
// the window placement of the old program: "FormVersion" (0), "Flags" (0),
// "ShowCmd" (1, the normal show state), "PixelsPerInch", "MinMaxPos" and
// "NormPos" (four integers "%d,%d,%d,%d" each: the minimised and maximised
// positions x, y, x, y, and the normal rectangle left, top, right, bottom,
// right and bottom exclusive), and "Visible" ("0").
#pragma once

#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>

// ~/.config/quellwerk (the generic configuration location + "/quellwerk"):
// where the settings file lives, and options.dat when not beside the program.
QString QuellwerkConfigDirectory();
// The settings file quellwerk.ini there.
QString FormStorageFile();

// Writes the placement of a form whose frame stands at `frame`.
void StoreFormPlacement(const QString &section, const QRect &frame, int pixelsPerInch);

// The saved normal rectangle, when one was written at the same pixels per
// inch; otherwise nothing (the form is then centred).
std::optional<QRect> RestoreFormPlacement(const QString &section, int pixelsPerInch);

// "%d,%d,%d,%d" of a rectangle's left, top, right and bottom, and back.
QString FormatPlacementRect(const QRect &rect);
std::optional<QRect> ParsePlacementRect(const QString &text);
