// Turning a column's present definition, as the server reports it, into the
// field row that the field editor starts from when a field is changed, so that
// accepting the editor unchanged keeps the column as it is. A column that the
// editor cannot show exactly is refused with a reason, never converted.
#pragma once

#include "clientlib/ColumnFacts.h"
#include "fields/FieldRow.h"

#include <QString>

#include <optional>

struct EditableColumn {
  std::optional<FieldRow> row; // set when the editor can show the column exactly
  QString refusal;             // otherwise the German message that says why not
};

EditableColumn EditableFromColumn(const ColumnFacts &column);

// The German message that refuses to open the editor on `column`, saying why.
QString ChangeRefusal(const QString &column, const QString &reason);

// Where two texts of SHOW CREATE TABLE differ: their first differing lines,
// as "aus „…“ würde „…“"; empty when they are the same.
QString DefinitionDifference(const QString &before, const QString &after);
