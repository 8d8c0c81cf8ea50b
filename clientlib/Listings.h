// The listings that fill the main window's three lists: the server's
// databases, the tables of one database and the fields of one table. One
// refill asks for what it needs in one request, however many listings that
// are (several statements in one request, with the database named in each).
#pragma once

#include "clientlib/QueryResult.h"
#include "common/PackedTexts.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ServerSession;

// Names as the server lists them (UTF-8), packed into one buffer: a listing
// of a hundred thousand tables makes a few allocations, not one per name.
class ListedNames {
public:
  qsizetype size() const { return static_cast<qsizetype>(m_names.size()); }
  std::string_view at(qsizetype i) const { return m_names.at(static_cast<std::size_t>(i)); }
  // The name at `i` as text.
  QString text(qsizetype i) const;
  // The first position of `name`, or -1.
  qsizetype indexOf(const QString &name) const;
  void append(std::string_view name) { m_names.push(name); }
  void reserve(qsizetype names) { m_names.ends.reserve(static_cast<std::size_t>(names)); }
  // Gives back the room the text grew beyond its size (up to as much again):
  // a list keeps the buffer for as long as it shows the names.
  void fit() {
    if (m_names.text.capacity() > m_names.text.size() + m_names.text.size() / 4 + 4096)
      m_names.text.shrink_to_fit();
  }
  // The packed names, handed over whole (a list takes them as its rows).
  PackedTexts take() { return std::move(m_names); }

private:
  PackedTexts m_names;
};

// One field of a table as the field list shows it: its name and the type
// text (clientlib/FieldTypeText.h).
struct ListedField {
  QString name;
  QString type;
  friend bool operator==(const ListedField &, const ListedField &) = default;
};

// What one refill of the lists asks the server for, by name.
struct ListingRequest {
  bool databases = false;      // the server's databases
  QString database;            // null: no database
  bool selectDatabase = false; // make `database` the connection's current one
  bool tables = false;         // the tables of `database`
  QString table;               // null: no table; otherwise its fields

  // After a database command: the databases alone.
  static ListingRequest Databases();
  // A click on a database or a table, and F5: the databases, `database`
  // made current, its tables and, given a table, that table's fields.
  static ListingRequest Browse(const QString &database, const QString &table = {});
  // After a table command: the tables of `database` alone.
  static ListingRequest TablesOf(const QString &database);
  // After a field command: the fields of `table` alone.
  static ListingRequest FieldsOf(const QString &database, const QString &table);

  // The statements that read it, in order.
  QStringList statements() const;
};

// What a refill read. A listing that the server refused is absent, with the
// server's answer beside it; what comes after a refusal was not read.
struct Listing {
  ListingRequest request;
  std::optional<ListedNames> databases;
  ServerReply databasesReply;
  ServerReply selectReply; // the database could not be made current
  std::optional<ListedNames> tables;
  ServerReply tablesReply;
  std::optional<QList<ListedField>> fields;
  ServerReply fieldsReply;
};

Listing ReadListing(ServerSession &session, const QString &what, const ListingRequest &request);
