// Run-time binding of the MariaDB/MySQL C client library.
//
// The library is loaded by file name with dlopen and every entry point is
// looked up by name into one table of slots. The program never links the
// client library: the MariaDB header is included for its types only.
//
// Calls go through the wrappers in namespace `mysql` (mysql::mysql_query(...)).
// A wrapper never calls through a null slot: it throws ClientLibraryMissing,
// whose German text names the library file or the missing entry point.
#pragma once

#include <mysql.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

// Entry points absent from current client libraries; their signatures as the
// old C interface declared them.
using mysql_connect_fn = MYSQL *(MYSQL *, const char *host, const char *user, const char *passwd);
using mysql_create_db_fn = int(MYSQL *, const char *db);
using mysql_drop_db_fn = int(MYSQL *, const char *db);
using mysql_odbc_escape_string_fn = char *(MYSQL *, char *to, unsigned long to_length,
                                           const char *from, unsigned long from_length, void *param,
                                           char *(*extend_buffer)(void *, char *to,
                                                                  unsigned long *length));
using myodbc_remove_escape_fn = void(MYSQL *, char *name);

// The 57 entry points in lookup order (which is also slot order).
// X(name, function type)
#define QW_CLIENT_ENTRY_POINTS(X)                                                                  \
  X(mysql_num_rows, my_ulonglong(MYSQL_RES *))                                                     \
  X(mysql_num_fields, unsigned int(MYSQL_RES *))                                                   \
  X(mysql_eof, my_bool(MYSQL_RES *))                                                               \
  X(mysql_fetch_field_direct, MYSQL_FIELD *(MYSQL_RES *, unsigned int))                            \
  X(mysql_fetch_fields, MYSQL_FIELD *(MYSQL_RES *))                                                \
  X(mysql_row_tell, MYSQL_ROWS *(MYSQL_RES *))                                                     \
  X(mysql_field_tell, unsigned int(MYSQL_RES *))                                                   \
  X(mysql_field_count, unsigned int(MYSQL *))                                                      \
  X(mysql_affected_rows, my_ulonglong(MYSQL *))                                                    \
  X(mysql_insert_id, my_ulonglong(MYSQL *))                                                        \
  X(mysql_errno, unsigned int(MYSQL *))                                                            \
  X(mysql_error, const char *(MYSQL *))                                                            \
  X(mysql_info, const char *(MYSQL *))                                                             \
  X(mysql_thread_id, unsigned long(MYSQL *))                                                       \
  X(mysql_character_set_name, const char *(MYSQL *))                                               \
  X(mysql_init, MYSQL *(MYSQL *))                                                                  \
  X(mysql_connect, mysql_connect_fn)                                                               \
  X(mysql_change_user, my_bool(MYSQL *, const char *, const char *, const char *))                 \
  X(mysql_real_connect, MYSQL *(MYSQL *, const char *, const char *, const char *, const char *,   \
                                unsigned int, const char *, unsigned long))                        \
  X(mysql_close, void(MYSQL *))                                                                    \
  X(mysql_select_db, int(MYSQL *, const char *))                                                   \
  X(mysql_query, int(MYSQL *, const char *))                                                       \
  X(mysql_send_query, int(MYSQL *, const char *, unsigned long))                                   \
  X(mysql_read_query_result, my_bool(MYSQL *))                                                     \
  X(mysql_real_query, int(MYSQL *, const char *, unsigned long))                                   \
  X(mysql_create_db, mysql_create_db_fn)                                                           \
  X(mysql_drop_db, mysql_drop_db_fn)                                                               \
  X(mysql_shutdown, int(MYSQL *, enum mysql_enum_shutdown_level))                                  \
  X(mysql_dump_debug_info, int(MYSQL *))                                                           \
  X(mysql_refresh, int(MYSQL *, unsigned int))                                                     \
  X(mysql_kill, int(MYSQL *, unsigned long))                                                       \
  X(mysql_ping, int(MYSQL *))                                                                      \
  X(mysql_stat, char *(MYSQL *))                                                                   \
  X(mysql_get_server_info, char *(MYSQL *))                                                        \
  X(mysql_get_client_info, const char *(void))                                                     \
  X(mysql_get_host_info, char *(MYSQL *))                                                          \
  X(mysql_get_proto_info, unsigned int(MYSQL *))                                                   \
  X(mysql_list_dbs, MYSQL_RES *(MYSQL *, const char *))                                            \
  X(mysql_list_tables, MYSQL_RES *(MYSQL *, const char *))                                         \
  X(mysql_list_fields, MYSQL_RES *(MYSQL *, const char *, const char *))                           \
  X(mysql_list_processes, MYSQL_RES *(MYSQL *))                                                    \
  X(mysql_store_result, MYSQL_RES *(MYSQL *))                                                      \
  X(mysql_use_result, MYSQL_RES *(MYSQL *))                                                        \
  X(mysql_options, int(MYSQL *, enum mysql_option, const void *))                                  \
  X(mysql_free_result, void(MYSQL_RES *))                                                          \
  X(mysql_data_seek, void(MYSQL_RES *, unsigned long long))                                        \
  X(mysql_row_seek, MYSQL_ROW_OFFSET(MYSQL_RES *, MYSQL_ROW_OFFSET))                               \
  X(mysql_field_seek, MYSQL_FIELD_OFFSET(MYSQL_RES *, MYSQL_FIELD_OFFSET))                         \
  X(mysql_fetch_row, MYSQL_ROW(MYSQL_RES *))                                                       \
  X(mysql_fetch_lengths, unsigned long *(MYSQL_RES *))                                             \
  X(mysql_fetch_field, MYSQL_FIELD *(MYSQL_RES *))                                                 \
  X(mysql_escape_string, unsigned long(char *, const char *, unsigned long))                       \
  X(mysql_real_escape_string, unsigned long(MYSQL *, char *, const char *, unsigned long))         \
  X(mysql_debug, void(const char *))                                                               \
  X(mysql_odbc_escape_string, mysql_odbc_escape_string_fn)                                         \
  X(myodbc_remove_escape, myodbc_remove_escape_fn)                                                 \
  X(mysql_thread_safe, unsigned int(void))

// Entry points of current client libraries that the program uses where they
// exist and does without where they do not. They are looked up beside the 57
// but have no say in the load status.
// X(name, function type)
#define QW_CLIENT_OPTIONAL_ENTRY_POINTS(X)                                                         \
  X(mariadb_cancel, int(MYSQL *))                                                                  \
  X(mysql_get_ssl_cipher, const char *(MYSQL *))                                                   \
  X(mariadb_get_infov, my_bool(MYSQL *, enum mariadb_value, void *, ...))                          \
  X(mysql_set_server_option, int(MYSQL *, enum enum_mysql_set_option))                             \
  X(mysql_next_result, int(MYSQL *))                                                               \
  X(mysql_reset_connection, int(MYSQL *))

namespace mysql {

// The file loaded when no other name is given.
inline constexpr const char *DefaultClientLibraryFile = "libmariadb.so.3";

enum ClientLibraryStatusValue : std::uint8_t {
  NotLoaded = 0,        // nothing loaded (start, and after a release)
  FileNotLoadable = 1,  // the file could not be loaded; no entry point was looked up
  EntryPointAbsent = 2, // loaded, but at least one name was not found
  Complete = 3,         // loaded and every name found
};

enum class EntryPoint : std::size_t {
#define QW_ENUM_ENTRY(name, type) name,
  QW_CLIENT_ENTRY_POINTS(QW_ENUM_ENTRY)
#undef QW_ENUM_ENTRY
      Count
};
inline constexpr std::size_t EntryPointCount = static_cast<std::size_t>(EntryPoint::Count);
static_assert(EntryPointCount == 57);

enum class OptionalEntryPoint : std::size_t {
#define QW_ENUM_ENTRY(name, type) name,
  QW_CLIENT_OPTIONAL_ENTRY_POINTS(QW_ENUM_ENTRY)
#undef QW_ENUM_ENTRY
      Count
};
inline constexpr std::size_t OptionalEntryPointCount =
    static_cast<std::size_t>(OptionalEntryPoint::Count);

// Binding state: one instance for the whole program.
extern void *ClientLibraryHandle;
extern std::uint8_t ClientLibraryStatus;
extern std::array<void *, EntryPointCount> ClientLibraryEntryPoints;
extern std::array<void *, OptionalEntryPointCount> ClientLibraryOptionalEntryPoints;

// Loads `fileName` (after releasing any library loaded before) and resolves
// all 57 entry points in order; returns the new status.
std::uint8_t LoadClientLibrary(const char *fileName = DefaultClientLibraryFile);
// Looks `name` up in the loaded library and stores the address (or null) in
// `slot`; a name that is not found sets the status to EntryPointAbsent.
void ResolveEntryPoint(void *&slot, const char *name);
// Releases the library if one is loaded; handle and status become none and 0.
// The slots keep their values.
void FreeClientLibrary();

const char *EntryPointName(EntryPoint entryPoint);
// The file name given to the last LoadClientLibrary call.
const std::string &ClientLibraryFileName();

// Thrown instead of calling through a null slot. what() is a German sentence
// without a final full stop, naming the library file or the entry point.
class ClientLibraryMissing : public std::runtime_error {
public:
  explicit ClientLibraryMissing(EntryPoint entryPoint);
  explicit ClientLibraryMissing(OptionalEntryPoint entryPoint);
  EntryPoint entryPoint() const { return m_entryPoint; }

private:
  EntryPoint m_entryPoint = EntryPoint::Count;
};

bool HasEntryPoint(EntryPoint entryPoint);
bool HasEntryPoint(OptionalEntryPoint entryPoint);

namespace detail {
inline void *&Slot(EntryPoint e) { return ClientLibraryEntryPoints[static_cast<std::size_t>(e)]; }
inline void *&Slot(OptionalEntryPoint e) {
  return ClientLibraryOptionalEntryPoints[static_cast<std::size_t>(e)];
}
template <auto E, typename F> struct Caller;
template <auto E, typename R, typename... P> struct Caller<E, R(P...)> {
  static R call(P... args) {
    // A released library leaves its old addresses in the slots: never call those.
    void *slot = Slot(E);
    if (!slot || !ClientLibraryHandle)
      throw ClientLibraryMissing(E);
    return reinterpret_cast<R (*)(P...)>(slot)(args...);
  }
};
// A variadic entry point: the fixed parameters, then whatever the caller passes.
template <auto E, typename R, typename... P> struct Caller<E, R(P..., ...)> {
  template <typename... Rest> static R call(P... args, Rest... rest) {
    void *slot = Slot(E);
    if (!slot || !ClientLibraryHandle)
      throw ClientLibraryMissing(E);
    return reinterpret_cast<R (*)(P..., ...)>(slot)(args..., rest...);
  }
};
} // namespace detail

// One checked wrapper per entry point, named like the C function.
#define QW_DECLARE_WRAPPER(name, type)                                                             \
  template <typename... A> inline auto name(A &&...args) {                                         \
    return detail::Caller<EntryPoint::name, type>::call(std::forward<A>(args)...);                 \
  }
QW_CLIENT_ENTRY_POINTS(QW_DECLARE_WRAPPER)
#undef QW_DECLARE_WRAPPER
#define QW_DECLARE_OPTIONAL_WRAPPER(name, type)                                                    \
  template <typename... A> inline auto name(A &&...args) {                                         \
    return detail::Caller<OptionalEntryPoint::name, type>::call(std::forward<A>(args)...);         \
  }
QW_CLIENT_OPTIONAL_ENTRY_POINTS(QW_DECLARE_OPTIONAL_WRAPPER)
#undef QW_DECLARE_OPTIONAL_WRAPPER

} // namespace mysql
