// For the files of clientlib/ only: work over the client library's handle on
// the session's thread (ServerSession::run), and the helpers such work uses.
// Nothing outside clientlib/ includes this header.
#pragma once

#include "clientlib/Results.h"
#include "clientlib/ServerSession.h"

#include <functional>

struct SessionAccess {
  // Runs `job` with the open connection's handle on the connection's thread
  // and waits for it; throws when no connection is open.
  static void Execute(ServerSession &session, const QString &what,
                      const std::function<void(MYSQL *)> &job);
  // The same with the given handle; a cancel goes through the connection
  // `cancelThrough` was made as, or is not possible without it.
  static void ExecuteOn(ServerSession &session, const QString &what, MYSQL *handle,
                        const ServerSession::Connection *cancelThrough,
                        const std::function<void(MYSQL *)> &job);
  // Runs `firstJob` on `first`'s connection and `secondJob` on `second`'s at
  // the same time, each on its connection's thread, and waits for both as
  // for one call: "Abbrechen" ends both. A connection found gone is closed
  // and ConnectionLost thrown once both jobs have ended.
  static void ExecuteTogether(ServerSession &first, ServerSession &second, const QString &what,
                              const std::function<void(MYSQL *)> &firstJob,
                              const std::function<void(MYSQL *)> &secondJob);
};

template <typename Work> auto ServerSession::run(const QString &what, Work &&work) {
  using R = std::invoke_result_t<Work &, MYSQL *>;
  std::exception_ptr failure;
  if constexpr (std::is_void_v<R>) {
    SessionAccess::Execute(*this, what, [&](MYSQL *h) {
      try {
        work(h);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    if (failure)
      std::rethrow_exception(failure);
  } else {
    std::optional<R> result;
    SessionAccess::Execute(*this, what, [&](MYSQL *h) {
      try {
        result.emplace(work(h));
      } catch (...) {
        failure = std::current_exception();
      }
    });
    if (failure)
      std::rethrow_exception(failure);
    return std::move(*result);
  }
}
