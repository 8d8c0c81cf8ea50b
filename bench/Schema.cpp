#include "bench/Schema.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace bench {

namespace {

constexpr int StatementsPerBatch = 500;

std::string quote(const std::string &name) { return "`" + name + "`"; }

std::string padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width)
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

std::string otherDatabase(int index) { return "qwb_d" + padded(index, 4); }

// The many small tables: a heap table is created in well under a millisecond
// (no tablespace file, no flush), so that tens of thousands stay quick to make.
std::string smallTable(const std::string &database, const std::string &name) {
  return "CREATE TABLE " + quote(database) + "." + quote(name) +
         " (id INT NOT NULL PRIMARY KEY, name VARCHAR(40), menge DECIMAL(8,2)) ENGINE=MEMORY";
}

std::string wideTable(const std::string &database, const std::string &name, int fields,
                      char prefix) {
  std::string sql = "CREATE TABLE " + quote(database) + "." + quote(name) + " (";
  const std::vector<std::string> columns = WideColumns(fields, prefix);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i)
      sql += ", ";
    sql += columns[i];
  }
  // With these types MyISAM takes 2,800 columns; 2,850 are refused (1117,
  // "Table definition is too large").
  return sql + ") ENGINE=MyISAM";
}

// Sends statements in batches of StatementsPerBatch.
class Batch {
public:
  explicit Batch(Connection &c) : m_c(c) {}
  ~Batch() noexcept(false) { flush(); }
  void add(const std::string &statement) {
    if (!m_sql.empty())
      m_sql += ";\n";
    m_sql += statement;
    if (++m_count == StatementsPerBatch)
      flush();
  }
  void flush() {
    if (m_count == 0)
      return;
    m_c.exec(m_sql);
    m_sql.clear();
    m_count = 0;
  }

private:
  Connection &m_c;
  std::string m_sql;
  int m_count = 0;
};

int countTables(Connection &admin, const std::string &database) {
  return static_cast<int>(admin.column("SHOW TABLES FROM " + quote(database)).size());
}

int countColumns(Connection &admin, const std::string &database, const std::string &table) {
  const auto n = admin.column("SELECT COUNT(*) FROM information_schema.COLUMNS WHERE "
                              "TABLE_SCHEMA = '" +
                              database + "' AND TABLE_NAME = '" + table + "'");
  return n.empty() ? 0 : std::stoi(n[0]);
}

// A database with `tables` small tables named by `name`, and, when
// wideFields > 0, the two wide tables in the middle in place of small ones.
// Kept when it already has that shape.
void makeTableDatabase(Connection &admin, const std::set<std::string> &present,
                       const std::string &database, int tables, std::string (*name)(int),
                       int wideFields) {
  const int wide = wideFields > 0 ? tables / 2 : -1;
  const int secondWide = wideFields > 0 && tables / 2 + 1 < tables ? tables / 2 + 1 : -1;
  const int small = wide == 0 ? (tables > 2 ? 2 : -1) : 0;
  if (present.count(database) && countTables(admin, database) == tables &&
      (wide < 0 || countColumns(admin, database, name(wide)) == wideFields) &&
      (secondWide < 0 || countColumns(admin, database, name(secondWide)) == wideFields) &&
      (small < 0 || countColumns(admin, database, name(small)) == 3)) {
    std::fprintf(stderr, "schema: %s with %d tables is there\n", database.c_str(), tables);
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  admin.exec("DROP DATABASE IF EXISTS " + quote(database) + ";\nCREATE DATABASE " +
             quote(database));
  // On a server whose data folder is at hand (QWB_SERVER_DATADIR), the small
  // tables after the first are copies of its definition file: a heap table
  // is nothing else, and a hundred thousand are made in seconds instead of
  // many minutes on a busy machine.
  const char *dataDir = std::getenv("QWB_SERVER_DATADIR");
  std::string definition;
  {
    Batch batch(admin);
    for (int i = 0; i < tables; ++i) {
      if (i == wide || i == secondWide) {
        batch.add(wideTable(database, name(i), wideFields, i == wide ? 'f' : 'g'));
      } else if (!definition.empty()) {
        std::ofstream(std::string(dataDir) + "/" + database + "/" + name(i) + ".frm",
                      std::ios::binary)
            << definition;
      } else {
        batch.add(smallTable(database, name(i)));
        if (dataDir && *dataDir) {
          batch.flush();
          std::ifstream frm(std::string(dataDir) + "/" + database + "/" + name(i) + ".frm",
                            std::ios::binary);
          std::ostringstream bytes;
          bytes << frm.rdbuf();
          definition = bytes.str();
        }
      }
    }
  }
  if (!definition.empty())
    admin.exec("FLUSH TABLES");
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "schema: made %s with %d tables in %.1f s\n", database.c_str(), tables, s);
}

} // namespace

std::string ScalingDatabase(int tables) { return "qwb_scale_" + padded(tables, 6); }
std::string TableName(int index) { return "t" + padded(index, 5); }
std::string ScalingTableName(int index) { return "s" + padded(index, 5); }
std::string WideTable(const SchemaSize &size) { return TableName(size.tables / 2); }
std::string SecondWideTable(const SchemaSize &size) { return TableName(size.tables / 2 + 1); }

std::vector<std::string> WideColumns(int fields, char prefix) {
  static const char *const types[] = {"INT NOT NULL DEFAULT 0",
                                      "BIGINT UNSIGNED",
                                      "DECIMAL(10,2)",
                                      "VARCHAR(20)",
                                      "CHAR(8)",
                                      "DATE",
                                      "DATETIME",
                                      "DOUBLE",
                                      "TINYINT(1)",
                                      "TEXT",
                                      "ENUM('ja','nein')",
                                      "BIT(3)",
                                      "SMALLINT UNSIGNED",
                                      "FLOAT",
                                      "BLOB",
                                      "TIME",
                                      "YEAR",
                                      "MEDIUMINT",
                                      "SET('a','b','c')",
                                      "VARBINARY(16)"};
  constexpr int typeCount = static_cast<int>(sizeof types / sizeof *types);
  std::vector<std::string> columns;
  std::vector<std::string> keys;
  if (fields > 0)
    columns.push_back("`id` INT UNSIGNED NOT NULL AUTO_INCREMENT");
  for (int i = 1; i < fields; ++i) {
    const std::string name = prefix + padded(i, 4);
    columns.push_back(quote(name) + " " + types[i % typeCount]);
    // About forty keys for a thousand columns: unique keys on VARCHAR
    // columns, plain keys on INT and SMALLINT columns (MyISAM allows 64).
    if (keys.size() < 60) {
      if (i % 80 == 3)
        keys.push_back("UNIQUE KEY (" + quote(name) + ")");
      else if (i % 80 == 20 || i % 80 == 52)
        keys.push_back("KEY (" + quote(name) + ")");
    }
  }
  if (fields > 0)
    columns.push_back("PRIMARY KEY (`id`)");
  columns.insert(columns.end(), keys.begin(), keys.end());
  return columns;
}

void GenerateSchema(Connection &admin, const SchemaSize &size) {
  const auto all = admin.column("SHOW DATABASES LIKE 'qwb\\_%'");
  const std::set<std::string> present(all.begin(), all.end());

  std::set<std::string> wanted{MainDatabase};
  for (int i = 1; i < size.databases; ++i)
    wanted.insert(otherDatabase(i));
  for (int t : size.scaling)
    wanted.insert(ScalingDatabase(t));

  {
    Batch batch(admin);
    for (const std::string &name : present)
      if (!wanted.count(name))
        batch.add("DROP DATABASE " + quote(name));
    for (int i = 1; i < size.databases; ++i)
      if (!present.count(otherDatabase(i)))
        batch.add("CREATE DATABASE " + quote(otherDatabase(i)));
  }
  makeTableDatabase(admin, present, MainDatabase, size.tables, TableName, size.fields);
  for (int t : size.scaling)
    makeTableDatabase(admin, present, ScalingDatabase(t), t, ScalingTableName, 0);
}

} // namespace bench
