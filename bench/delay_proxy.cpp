// qwb_delay: a TCP proxy on loopback that makes a server look far away.
// Whatever arrives from either side is passed on after half the round trip,
// as a long line would delay it: each direction keeps its own queue, so data
// in flight does not wait for the data before it to be delivered, and the
// bandwidth stays that of loopback.
//
//   qwb_delay HOST PORT ROUND_TRIP_MS   prints "port N" once it listens on
//                                       127.0.0.1:N, and ends when its
//                                       standard input closes.
//
// Any protocol passes unchanged (the MariaDB protocol with TLS included);
// every client connection gets a connection of its own to HOST:PORT.
//
// It counts the client's requests: each time a client sends after the server
// has spoken (the greeting, an answer) is one request, a turn the client
// waits a round trip for, whether the bytes are a command, a multi-statement
// batch or TLS records. A "c" on its standard input makes it print
// "requests R connections C" (both since the start) on a line.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// One direction of one connection: what was read, each piece with the time
// it may be written.
class DelayLine {
public:
  explicit DelayLine(Clock::duration delay) : m_delay(delay) {}

  void put(std::string piece) { // an empty piece: the sender has closed
    {
      const std::lock_guard lock(m_mutex);
      m_pieces.push_back({Clock::now() + m_delay, std::move(piece)});
    }
    m_changed.notify_one();
  }

  // The next piece once it is due.
  std::string take() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_pieces.empty(); });
    const Clock::time_point due = m_pieces.front().due;
    lock.unlock();
    std::this_thread::sleep_until(due);
    lock.lock();
    std::string piece = std::move(m_pieces.front().bytes);
    m_pieces.pop_front();
    return piece;
  }

private:
  struct Piece {
    Clock::time_point due;
    std::string bytes;
  };
  const Clock::duration m_delay;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<Piece> m_pieces;
};

std::atomic<long> g_requests{0}, g_connections{0};

// Who spoke last on one connection: a client's bytes after the server's
// begin a request.
struct Turns {
  std::atomic<bool> serverSpokeLast{true}; // the server opens with its greeting
  void clientSent() {
    if (serverSpokeLast.exchange(false))
      ++g_requests;
  }
  void serverSent() { serverSpokeLast = true; }
};

bool WriteAll(int fd, const std::string &data) {
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Carries `from` to `to` through a delay line: a reader and a writer;
// `arrived` is told of every piece read.
template <typename Arrived> void Carry(int from, int to, Clock::duration delay, Arrived arrived) {
  auto line = std::make_shared<DelayLine>(delay);
  std::thread writer([line, to] {
    for (;;) {
      const std::string piece = line->take();
      if (piece.empty() || !WriteAll(to, piece)) {
        shutdown(to, SHUT_WR);
        return;
      }
    }
  });
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n <= 0) {
      line->put({});
      break;
    }
    arrived();
    line->put(std::string(buffer, static_cast<std::size_t>(n)));
  }
  writer.join();
}

int ConnectTo(const char *host, const char *port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(host, port, &hints, &found) != 0)
    return -1;
  int fd = -1;
  for (addrinfo *a = found; a && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  return fd;
}

void NoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: qwb_delay HOST PORT ROUND_TRIP_MS\n");
    return 2;
  }
  const auto halfTrip = std::chrono::microseconds(std::atoll(argv[3]) * 500);
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
      listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
    std::perror("qwb_delay");
    return 1;
  }
  std::printf("port %d\n", ntohs(address.sin_port));
  std::fflush(stdout);
  // Answers "c" with the counts; ends with its standard input, so that it
  // never outlives the benchmark.
  std::thread([] {
    char c;
    while (read(0, &c, 1) > 0)
      if (c == 'c') {
        std::printf("requests %ld connections %ld\n", g_requests.load(), g_connections.load());
        std::fflush(stdout);
      }
    std::_Exit(0);
  }).detach();
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0)
      continue;
    std::thread([client, halfTrip, host = std::string(argv[1]), port = std::string(argv[2])] {
      const int server = ConnectTo(host.c_str(), port.c_str());
      if (server >= 0) {
        ++g_connections;
        NoDelay(client);
        NoDelay(server);
        auto turns = std::make_shared<Turns>();
        std::thread back([=] { Carry(server, client, halfTrip, [&] { turns->serverSent(); }); });
        Carry(client, server, halfTrip, [&] { turns->clientSent(); });
        back.join();
        close(server);
      }
      close(client);
    }).detach();
  }
}
