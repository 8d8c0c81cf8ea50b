#include "clientlib/Results.h"

void ResultFree::operator()(MYSQL_RES *result) const noexcept {
  // Runs in destructors: never throw. A library that can no longer free the
  // result leaves it to the process end.
  if (result && mysql::HasEntryPoint(mysql::EntryPoint::mysql_free_result))
    mysql::mysql_free_result(result);
}

QString ServerError(MYSQL *handle) { return FromLibrary(mysql::mysql_error(handle)); }
