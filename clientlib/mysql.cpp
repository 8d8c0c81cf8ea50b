#include "clientlib/mysql.h"

#include <dlfcn.h>

#include <type_traits>

namespace mysql {

void *ClientLibraryHandle = nullptr;
std::uint8_t ClientLibraryStatus = NotLoaded;
std::array<void *, EntryPointCount> ClientLibraryEntryPoints{};
std::array<void *, OptionalEntryPointCount> ClientLibraryOptionalEntryPoints{};

namespace {

constexpr std::array<const char *, EntryPointCount> EntryPointNames = {
#define QW_NAME_ENTRY(name, type) #name,
    QW_CLIENT_ENTRY_POINTS(QW_NAME_ENTRY)
#undef QW_NAME_ENTRY
};

constexpr std::array<const char *, OptionalEntryPointCount> OptionalEntryPointNames = {
#define QW_NAME_ENTRY(name, type) #name,
    QW_CLIENT_OPTIONAL_ENTRY_POINTS(QW_NAME_ENTRY)
#undef QW_NAME_ENTRY
};

std::string &LoadedFileName() {
  static std::string name = DefaultClientLibraryFile;
  return name;
}

std::string MissingText(const char *entryPointName) {
  const std::string file = LoadedFileName();
  if (ClientLibraryStatus == FileNotLoadable)
    return "Die Client-Bibliothek \u201e" + file + "\u201c konnte nicht geladen werden";
  if (!ClientLibraryHandle)
    return "Die Client-Bibliothek \u201e" + file + "\u201c ist nicht geladen";
  return "Die Client-Bibliothek \u201e" + file + "\u201c enth\u00e4lt die Funktion \u201e" +
         entryPointName + "\u201c nicht";
}

} // namespace

// The slot types must be exactly the header's signatures where the header
// still declares the function.
#define QW_CHECK_SIGNATURE(name, type)                                                             \
  static_assert(std::is_same_v<type, std::remove_pointer_t<decltype(&::name)>>);
QW_CHECK_SIGNATURE(mysql_num_rows, my_ulonglong(MYSQL_RES *))
QW_CHECK_SIGNATURE(mysql_real_connect,
                   MYSQL *(MYSQL *, const char *, const char *, const char *, const char *,
                           unsigned int, const char *, unsigned long))
QW_CHECK_SIGNATURE(mysql_list_fields, MYSQL_RES *(MYSQL *, const char *, const char *))
QW_CHECK_SIGNATURE(mysql_options, int(MYSQL *, enum mysql_option, const void *))
QW_CHECK_SIGNATURE(mysql_fetch_field, MYSQL_FIELD *(MYSQL_RES *))
QW_CHECK_SIGNATURE(mysql_real_escape_string,
                   unsigned long(MYSQL *, char *, const char *, unsigned long))
QW_CHECK_SIGNATURE(mysql_get_ssl_cipher, const char *(MYSQL *))
QW_CHECK_SIGNATURE(mariadb_get_infov, my_bool(MYSQL *, enum mariadb_value, void *, ...))
QW_CHECK_SIGNATURE(mysql_set_server_option, int(MYSQL *, enum enum_mysql_set_option))
QW_CHECK_SIGNATURE(mysql_next_result, int(MYSQL *))
QW_CHECK_SIGNATURE(mysql_reset_connection, int(MYSQL *))
#undef QW_CHECK_SIGNATURE

ClientLibraryMissing::ClientLibraryMissing(EntryPoint entryPoint)
    : std::runtime_error(MissingText(EntryPointNames[static_cast<std::size_t>(entryPoint)])),
      m_entryPoint(entryPoint) {}

ClientLibraryMissing::ClientLibraryMissing(OptionalEntryPoint entryPoint)
    : std::runtime_error(
          MissingText(OptionalEntryPointNames[static_cast<std::size_t>(entryPoint)])) {}

const char *EntryPointName(EntryPoint entryPoint) {
  return EntryPointNames[static_cast<std::size_t>(entryPoint)];
}

const std::string &ClientLibraryFileName() { return LoadedFileName(); }

bool HasEntryPoint(EntryPoint entryPoint) {
  return ClientLibraryHandle && detail::Slot(entryPoint) != nullptr;
}

bool HasEntryPoint(OptionalEntryPoint entryPoint) {
  return ClientLibraryHandle && detail::Slot(entryPoint) != nullptr;
}

void ResolveEntryPoint(void *&slot, const char *name) {
  slot = dlsym(ClientLibraryHandle, name);
  if (!slot)
    ClientLibraryStatus = EntryPointAbsent;
}

std::uint8_t LoadClientLibrary(const char *fileName) {
  FreeClientLibrary();
  LoadedFileName() = fileName;
  ClientLibraryHandle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
  if (!ClientLibraryHandle) {
    ClientLibraryStatus = FileNotLoadable;
    return ClientLibraryStatus;
  }
  ClientLibraryStatus = Complete;
  for (std::size_t i = 0; i < EntryPointCount; ++i)
    ResolveEntryPoint(ClientLibraryEntryPoints[i], EntryPointNames[i]);
  for (std::size_t i = 0; i < OptionalEntryPointCount; ++i)
    ClientLibraryOptionalEntryPoints[i] = dlsym(ClientLibraryHandle, OptionalEntryPointNames[i]);
  return ClientLibraryStatus;
}

void FreeClientLibrary() {
  if (ClientLibraryHandle)
    dlclose(ClientLibraryHandle);
  ClientLibraryHandle = nullptr;
  ClientLibraryStatus = NotLoaded;
}

} // namespace mysql
