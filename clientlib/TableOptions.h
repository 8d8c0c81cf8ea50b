// What the server says of a table as a whole (its kind, storage engine, row
// format, size, collation, comment, times and partitioning), what it offers
// for them (engines, character sets, collations), and how many rows of a
// column are NULL. The reads run on the session's thread and hand back
// typed records.
#pragma once

#include "clientlib/QueryResult.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// A table's row of information_schema.TABLES and a summary of its partitions.
struct TableOptions {
  QString tableType; // "BASE TABLE", "VIEW", "SEQUENCE", "SYSTEM VERSIONED"
  QString engine;
  QString rowFormat;                 // as the server reports it, e.g. "Dynamic"
  std::optional<std::uint64_t> rows; // the server's estimate (exact for some engines)
  std::optional<std::uint64_t> dataLength, indexLength;
  std::optional<std::uint64_t> autoIncrement; // the next value, when the table counts
  QString collation, characterSet;            // the table's defaults for new columns
  QString comment;
  QString createTime, updateTime; // "YYYY-MM-DD hh:mm:ss" as the server writes them; empty: unknown
  QString createOptions;          // CREATE_OPTIONS, e.g. "row_format=DYNAMIC partitioned"
  QString partitionMethod;        // empty: not partitioned
  QString partitionExpression;
  QString subpartitionMethod, subpartitionExpression;
  int partitions = 0;
  // For a sequence, its SHOW CREATE SEQUENCE text.
  QString sequenceDefinition;

  bool isView() const { return tableType == QLatin1String("VIEW"); }
  bool isSequence() const { return tableType == QLatin1String("SEQUENCE"); }
  bool isSystemVersioned() const { return tableType == QLatin1String("SYSTEM VERSIONED"); }
  // Whether the table holds rows of its own (not a view or a sequence).
  bool holdsRows() const { return !isView() && !isSequence(); }
};

// A collation the server knows, with its character set.
struct CollationName {
  QString name;
  QString characterSet;
  bool isDefault = false; // the character set's default collation
};

// What the server offers: the storage engines it can use and its collations.
struct ServerCatalog {
  ServerReply reply;
  QStringList engines;
  QList<CollationName> collations; // by character set, then name
  QStringList characterSets() const;
  // The character set's default collation; empty for an unknown set.
  QString defaultCollation(const QString &characterSet) const;
  QString characterSetOf(const QString &collation) const;
};

class ServerSession;

ServerCatalog ReadServerCatalog(ServerSession &session);

// The number of rows whose `column` is NULL, or the server's refusal.
struct NullCount {
  ServerReply reply;
  std::uint64_t rows = 0;
};
NullCount CountNullRows(ServerSession &session, const QString &database, const QString &table,
                        const QString &column);
