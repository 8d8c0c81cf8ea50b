// The field editor's type list and, per type, which of the length and
// decimals boxes and the type-bound attribute boxes may be used. The null,
// primary key, unique and index boxes are open for every type.
#pragma once

#include <QString>
#include <QStringList>

#include <array>

struct FieldTypeRule {
  const char *word; // goes into the statement as it stands, "YEAR (2)" included
  bool length;
  bool decimals;
  bool unsignedFlag;
  bool zerofill;
  bool binary;
  bool autoIncrement;
};

// In list order; the position in this table is the index in the editor's type list.
// Kept as a table.
// clang-format off
inline constexpr std::array<FieldTypeRule, 30> FieldTypeRules{{
    // word               length decimals unsigned zerofill binary autoinc
    {"BIGINT",            true,  false,   true,    true,    false, true},
    {"BIT",               false, false,   false,   false,   false, false},
    {"BLOB",              true,  false,   false,   false,   false, false},
    {"BOOL",              false, false,   false,   false,   false, false},
    {"CHAR",              true,  false,   false,   false,   true,  false},
    {"DATE",              false, false,   false,   false,   false, false},
    {"DATETIME",          false, false,   false,   false,   false, false},
    {"DECIMAL",           true,  true,    false,   true,    false, false},
    {"DOUBLE PRECISION",  true,  true,    false,   true,    false, false},
    {"DOUBLE",            true,  true,    false,   true,    false, false},
    {"FLOAT",             true,  true,    false,   true,    false, false},
    {"INT",               true,  false,   true,    true,    false, true},
    {"INTEGER",           true,  false,   true,    true,    false, true},
    {"LONGBLOB",          true,  false,   false,   false,   false, false},
    {"LONGTEXT",          true,  false,   false,   false,   false, false},
    {"MEDIUMBLOB",        true,  false,   false,   false,   false, false},
    {"MEDIUMINT",         true,  false,   true,    true,    false, true},
    {"MEDIUMTEXT",        true,  false,   false,   false,   false, false},
    {"NUMERIC",           true,  true,    false,   true,    false, false},
    {"REAL",              true,  true,    false,   true,    false, false},
    {"SMALLINT",          true,  false,   true,    true,    false, true},
    {"TEXT",              true,  false,   false,   false,   false, false},
    {"TIME",              false, false,   false,   false,   false, false},
    {"TIMESTAMP",         true,  false,   false,   false,   false, false},
    {"TINYBLOB",          true,  false,   false,   false,   false, false},
    {"TINYINT",           true,  false,   true,    true,    false, true},
    {"TINYTEXT",          true,  false,   false,   false,   false, false},
    {"VARCHAR",           true,  false,   false,   false,   true,  false},
    {"YEAR (2)",          false, false,   false,   false,   false, false},
    {"YEAR (4)",          false, false,   false,   false,   false, false},
}};
// clang-format on

// The largest length and decimals that the editor's number boxes take.
inline constexpr int FieldNumberMax = 10000;

// "VARCHAR": the type that a new field starts with.
inline constexpr int NewFieldTypeIndex = 27;

inline QStringList FieldTypeWords() {
  QStringList words;
  for (const FieldTypeRule &rule : FieldTypeRules)
    words << QString::fromLatin1(rule.word);
  return words;
}

// Position of a type word in the list (exact, case-sensitive), or -1.
inline int FieldTypeIndex(const QString &word) {
  for (std::size_t i = 0; i < FieldTypeRules.size(); ++i)
    if (word == QLatin1String(FieldTypeRules[i].word))
      return static_cast<int>(i);
  return -1;
}
