#include "bench/RawClient.h"

#include "clientlib/mysql.h"

#include <cstdlib>
#include <dlfcn.h>

namespace bench {

namespace {

std::string env(const char *name, const char *fallback) {
  const char *value = std::getenv(name);
  return value && *value ? value : fallback;
}

template <typename F> void lookUp(F &slot, const char *name) {
  if (!mysql::ClientLibraryHandle)
    throw Error("client library not loaded");
  void *address = dlsym(mysql::ClientLibraryHandle, name);
  if (!address)
    throw Error(std::string("client library lacks ") + name);
  slot = reinterpret_cast<F>(address);
}

} // namespace

ServerAddress ServerAddress::fromEnvironment() {
  ServerAddress a;
  a.host = env("QW_TEST_HOST", "127.0.0.1");
  a.port = static_cast<unsigned int>(std::stoul(env("QW_TEST_PORT", "3306")));
  a.user = env("QW_TEST_USER", "root");
  a.password = env("QW_TEST_PASSWORD_ROOT", "");
  return a;
}

const RawClient &RawClient::get() {
  static const RawClient client = [] {
    RawClient c{};
    lookUp(c.init, "mysql_init");
    lookUp(c.options, "mysql_options");
    lookUp(c.real_connect, "mysql_real_connect");
    lookUp(c.close, "mysql_close");
    lookUp(c.real_query, "mysql_real_query");
    lookUp(c.next_result, "mysql_next_result");
    lookUp(c.store_result, "mysql_store_result");
    lookUp(c.field_count, "mysql_field_count");
    lookUp(c.errno_, "mysql_errno");
    lookUp(c.error, "mysql_error");
    lookUp(c.select_db, "mysql_select_db");
    lookUp(c.list_dbs, "mysql_list_dbs");
    lookUp(c.list_tables, "mysql_list_tables");
    lookUp(c.list_fields, "mysql_list_fields");
    lookUp(c.num_rows, "mysql_num_rows");
    lookUp(c.num_fields, "mysql_num_fields");
    lookUp(c.fetch_row, "mysql_fetch_row");
    lookUp(c.fetch_field, "mysql_fetch_field");
    lookUp(c.free_result, "mysql_free_result");
    return c;
  }();
  return client;
}

Connection::Connection(const ServerAddress &address, bool multiStatements) {
  const RawClient &c = RawClient::get();
  m_handle = c.init(nullptr);
  if (!m_handle)
    throw Error("mysql_init failed");
  c.options(m_handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!c.real_connect(m_handle, address.host.c_str(), address.user.c_str(),
                      address.password.c_str(), nullptr, address.port, nullptr,
                      multiStatements ? CLIENT_MULTI_STATEMENTS : 0)) {
    const std::string why = c.error(m_handle);
    c.close(m_handle);
    throw Error("cannot connect to " + address.host + ":" + std::to_string(address.port) + ": " +
                why);
  }
}

Connection::~Connection() {
  if (m_handle)
    RawClient::get().close(m_handle);
}

void Connection::exec(const std::string &sql) {
  const RawClient &c = RawClient::get();
  if (c.real_query(m_handle, sql.data(), static_cast<unsigned long>(sql.size())) != 0)
    throw Error(std::string("statement failed: ") + c.error(m_handle) +
                "\n  in: " + sql.substr(0, 200));
  for (;;) {
    if (MYSQL_RES *r = c.store_result(m_handle))
      c.free_result(r);
    else if (c.field_count(m_handle) != 0)
      throw Error(std::string("reading a result failed: ") + c.error(m_handle));
    const int more = c.next_result(m_handle);
    if (more == -1)
      break;
    if (more > 0)
      throw Error(std::string("statement failed: ") + c.error(m_handle) +
                  "\n  in: " + sql.substr(0, 200));
  }
}

std::vector<std::string> Connection::column(const std::string &sql) {
  const RawClient &c = RawClient::get();
  if (c.real_query(m_handle, sql.data(), static_cast<unsigned long>(sql.size())) != 0)
    throw Error(std::string("query failed: ") + c.error(m_handle));
  MYSQL_RES *r = c.store_result(m_handle);
  if (!r)
    throw Error(std::string("query has no result: ") + c.error(m_handle));
  std::vector<std::string> values;
  while (MYSQL_ROW row = c.fetch_row(r))
    values.emplace_back(row[0] ? row[0] : "");
  c.free_result(r);
  return values;
}

} // namespace bench
