#include "clientlib/ClientLibrary.h"

#include "clientlib/mysql.h"

static_assert(std::uint8_t(ClientLibraryState::NotLoaded) == mysql::NotLoaded &&
              std::uint8_t(ClientLibraryState::FileNotLoadable) == mysql::FileNotLoadable &&
              std::uint8_t(ClientLibraryState::EntryPointAbsent) == mysql::EntryPointAbsent &&
              std::uint8_t(ClientLibraryState::Complete) == mysql::Complete);

ClientLibraryState LoadClientLibraryFile(const char *fileName) {
  return ClientLibraryState(
      mysql::LoadClientLibrary(fileName ? fileName : mysql::DefaultClientLibraryFile));
}

ClientLibraryState CurrentClientLibraryState() {
  return ClientLibraryState(mysql::ClientLibraryStatus);
}

void ReleaseClientLibrary() { mysql::FreeClientLibrary(); }
