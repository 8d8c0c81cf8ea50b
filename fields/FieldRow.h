// One field of a table as thirteen texts: the record in which a field
// definition travels from the field editor through the new-table grid to the
// statement builders. Cells are addressed by position; the order is binding.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>

using FieldRow = std::array<QString, 13>;

// Cell positions, counted from 0.
enum FieldCell : std::size_t {
  CellName = 0, // field name
  CellType,     // type word, one of the editor's thirty
  CellLength,   // digits, or empty when the type takes no length
  CellDecimals, // digits, or empty when the type takes no decimals
  CellDefault,  // default value as typed, may be empty
  CellNull,     // flags from here on: "ja" or "nein"
  CellPrimary,
  CellUnsigned,
  CellZerofill,
  CellBinary,
  CellAutoIncrement,
  CellUnique,
  CellIndex,
};

inline constexpr std::size_t FieldRowCells = 13;

inline const QString FlagYes = QStringLiteral("ja");
inline const QString FlagNo = QStringLiteral("nein");

// A flag counts as set only when its text is exactly "ja" (case-sensitive).
inline bool IsFlagSet(const FieldRow &row, FieldCell cell) { return row[cell] == FlagYes; }
inline const QString &FlagText(bool on) { return on ? FlagYes : FlagNo; }

// The row as the texts of one grid line, and back. Missing cells read as empty.
inline QStringList ToCellList(const FieldRow &row) { return QStringList(row.begin(), row.end()); }
inline FieldRow FromCellList(const QStringList &cells) {
  FieldRow row;
  for (std::size_t i = 0; i < FieldRowCells && i < static_cast<std::size_t>(cells.size()); ++i)
    row[i] = cells[static_cast<qsizetype>(i)];
  return row;
}

// The grid through which the add- and change-field commands pass their one
// field row from the field editor to the statement: the new-table
// designer's, hidden meanwhile.
class FieldRowCarrier {
public:
  virtual void ClearRows() = 0;
  virtual void AppendFieldRow(const FieldRow &row) = 0;
  virtual QList<FieldRow> FieldRows() const = 0;

protected:
  ~FieldRowCarrier() = default;
};
