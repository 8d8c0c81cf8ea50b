// The listings that fill the main window's three lists: the server's
// databases, the tables of one database and the fields of one table, read in
// one call as the client library lists them.
#pragma once

#include "clientlib/QueryResult.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ServerSession;

// Names as the server lists them (UTF-8), packed into one buffer: a listing
// of a hundred thousand tables makes a few allocations, not one per name.
class ListedNames {
public:
  qsizetype size() const { return static_cast<qsizetype>(m_ends.size()); }
  std::string_view at(qsizetype i) const;
  // The name at `i` as text.
  QString text(qsizetype i) const;
  void append(std::string_view name);
  void reserve(qsizetype names) { m_ends.reserve(static_cast<std::size_t>(names)); }

private:
  std::string m_bytes;
  std::vector<std::uint32_t> m_ends;
};

// One field of a table as the field list shows it: its name and the type
// text (clientlib/FieldTypeText.h).
struct ListedField {
  QString name;
  QString type;
  friend bool operator==(const ListedField &, const ListedField &) = default;
};

// What one refill of the lists reads: the databases; for the database at
// `databaseIndex` (when given and listed) its tables, with that database made
// the current one; for the table at `tableIndex` its fields. A listing that
// the server refused is absent, with the server's answer beside it.
struct Listing {
  std::optional<ListedNames> databases;
  ServerReply databasesReply;
  bool databaseNotSelected = false;
  std::optional<ListedNames> tables;
  ServerReply tablesReply;
  std::optional<QList<ListedField>> fields;
  ServerReply fieldsReply;
};

Listing ReadListing(ServerSession &session, const QString &what,
                    std::optional<std::int32_t> databaseIndex,
                    std::optional<std::int32_t> tableIndex);
