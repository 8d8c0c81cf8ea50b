// The client library as the benchmark uses it for its own work: generating
// the schema and measuring the floor. The functions are looked up directly
// in the library that the program's binding loaded, so that the floor pays
// for nothing but the library's own work.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

struct ServerAddress {
  std::string host = "127.0.0.1";
  unsigned int port = 3306;
  std::string user = "root";
  std::string password;
  // From QW_TEST_HOST, QW_TEST_PORT, QW_TEST_USER and QW_TEST_PASSWORD_ROOT.
  static ServerAddress fromEnvironment();
};

struct RawClient {
  MYSQL *(*init)(MYSQL *);
  int (*options)(MYSQL *, enum mysql_option, const void *);
  MYSQL *(*real_connect)(MYSQL *, const char *, const char *, const char *, const char *,
                         unsigned int, const char *, unsigned long);
  void (*close)(MYSQL *);
  int (*real_query)(MYSQL *, const char *, unsigned long);
  int (*next_result)(MYSQL *);
  MYSQL_RES *(*store_result)(MYSQL *);
  unsigned int (*field_count)(MYSQL *);
  unsigned int (*errno_)(MYSQL *);
  const char *(*error)(MYSQL *);
  int (*select_db)(MYSQL *, const char *);
  MYSQL_RES *(*list_dbs)(MYSQL *, const char *);
  MYSQL_RES *(*list_tables)(MYSQL *, const char *);
  MYSQL_RES *(*list_fields)(MYSQL *, const char *, const char *);
  my_ulonglong (*num_rows)(MYSQL_RES *);
  unsigned int (*num_fields)(MYSQL_RES *);
  MYSQL_ROW (*fetch_row)(MYSQL_RES *);
  MYSQL_FIELD *(*fetch_field)(MYSQL_RES *);
  void (*free_result)(MYSQL_RES *);

  // Looks every function up in the library loaded by mysql::LoadClientLibrary.
  static const RawClient &get();
};

// One connection of the benchmark's own (utf8mb4, as the program connects).
class Connection {
public:
  explicit Connection(const ServerAddress &address, bool multiStatements = false);
  ~Connection();
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  MYSQL *handle() const { return m_handle; }
  // Sends one or more statements and reads every result; throws on the first error.
  void exec(const std::string &sql);
  // The first column of every row of a query.
  std::vector<std::string> column(const std::string &sql);

private:
  MYSQL *m_handle = nullptr;
};

class Error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

} // namespace bench
