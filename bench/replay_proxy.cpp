// qwb_replay: a MariaDB protocol proxy on loopback that takes the server's
// time out of a measurement. The first time a request is seen it goes to the
// real server and its answer is recorded; every later identical request is
// answered from the recording at once, so that a client measured through it
// pays for its own work only.
//
//   qwb_replay HOST PORT      prints "port N" once it listens on 127.0.0.1:N,
//                             and ends when its standard input closes.
//
// The login is not replayed: each client connection gets a connection of its
// own to the server and the login exchange passes through it unchanged (the
// server's scramble differs per connection, so a recorded login could not be
// answered consistently). The greeting is passed on without TLS, compression
// and the EOF-less result format, so that the answers can be read to their
// end without more of the protocol than result sets need.
//
// After the login, a request's answer depends on its bytes and on the
// database the connection selected last; the recording is keyed by both.
// Only listings are recorded (COM_INIT_DB, COM_FIELD_LIST, and queries that
// begin with SHOW or SELECT); everything else always goes to the server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr unsigned char ComQuit = 0x01, ComInitDb = 0x02, ComQuery = 0x03, ComFieldList = 0x04;

bool readAll(int fd, char *to, std::size_t n) {
  while (n > 0) {
    const ssize_t got = read(fd, to, n);
    if (got <= 0)
      return false;
    to += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

bool writeAll(int fd, const std::string &data) {
  const char *from = data.data();
  std::size_t n = data.size();
  while (n > 0) {
    const ssize_t put = write(fd, from, n);
    if (put <= 0)
      return false;
    from += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

// One packet with its four header bytes; empty when the peer has gone.
std::string readPacket(int fd) {
  char header[4];
  if (!readAll(fd, header, 4))
    return {};
  const std::size_t length = static_cast<unsigned char>(header[0]) |
                             static_cast<unsigned char>(header[1]) << 8 |
                             static_cast<unsigned char>(header[2]) << 16;
  std::string packet(header, 4);
  packet.resize(4 + length);
  if (!readAll(fd, packet.data() + 4, length))
    return {};
  return packet;
}

unsigned char first(const std::string &packet) {
  return packet.size() > 4 ? static_cast<unsigned char>(packet[4]) : 0;
}
bool isEof(const std::string &packet) { return first(packet) == 0xFE && packet.size() < 4 + 9; }
bool isError(const std::string &packet) { return first(packet) == 0xFF; }
bool isOk(const std::string &packet) { return first(packet) == 0x00; }

// The length of a length-encoded integer that starts with `byte`.
std::size_t lengthEncodedSize(unsigned char byte) {
  return byte < 0xFB ? 1 : byte == 0xFC ? 3 : byte == 0xFD ? 4 : 9;
}

// Whether the server says that another result follows this OK or EOF
// packet (SERVER_MORE_RESULTS_EXISTS, as for a request of several
// statements).
bool moreResults(const std::string &packet) {
  std::size_t status = 5; // after the header and the packet's first byte
  if (isOk(packet)) {
    for (int skip = 0; skip < 2 && status < packet.size(); ++skip) // affected rows, insert id
      status += lengthEncodedSize(static_cast<unsigned char>(packet[status]));
  } else {
    status += 2; // the EOF's warning count
  }
  return status < packet.size() && (static_cast<unsigned char>(packet[status]) & 0x08) != 0;
}

// Reads the server's whole answer to `request`: for a query, each of its
// results.
bool readAnswer(int server, const std::string &request, std::string &answer) {
  const unsigned char command = first(request);
  answer.clear();
  for (;;) {
    std::string p = readPacket(server);
    if (p.empty())
      return false;
    answer += p;
    if (isError(p) || (command != ComQuery && command != ComFieldList))
      return true;
    if (command == ComQuery && isOk(p)) {
      if (moreResults(p))
        continue;
      return true;
    }
    // A result set: column definitions up to an EOF, then rows up to an EOF
    // or an error; a field list: column definitions up to an EOF.
    int eofsLeft = command == ComQuery ? 2 : 1;
    while (eofsLeft > 0) {
      p = readPacket(server);
      if (p.empty())
        return false;
      answer += p;
      if (isEof(p))
        --eofsLeft;
      else if (isError(p))
        return true;
    }
    if (command != ComQuery || !moreResults(p))
      return true;
  }
}

// The greeting without TLS, compression and the EOF-less result format.
void maskGreeting(std::string &greeting) {
  const std::size_t version = 5;
  const std::size_t end = greeting.find('\0', version);
  if (end == std::string::npos || greeting.size() < end + 21)
    return;
  const std::size_t caps = end + 1 + 4 + 8 + 1;
  greeting[caps] = static_cast<char>(greeting[caps] & ~0x20);              // CLIENT_COMPRESS
  greeting[caps + 1] = static_cast<char>(greeting[caps + 1] & ~0x08);      // CLIENT_SSL
  greeting[caps + 3 + 3] = static_cast<char>(greeting[caps + 3 + 3] & ~1); // CLIENT_DEPRECATE_EOF
}

bool recordable(const std::string &request) {
  const unsigned char command = first(request);
  if (command == ComInitDb || command == ComFieldList)
    return true;
  if (command != ComQuery)
    return false;
  const std::string text = request.substr(5, 7);
  return strncasecmp(text.c_str(), "SHOW ", 5) == 0 || strncasecmp(text.c_str(), "SELECT ", 7) == 0;
}

std::mutex g_lock;
std::map<std::string, std::string> g_answers;

int connectTo(const char *host, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, host, &a.sin_addr) != 1 ||
      connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

void serve(int client, std::string host, int port) {
  const int server = connectTo(host.c_str(), port);
  const int on = 1;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  auto finish = [&] {
    close(client);
    if (server >= 0)
      close(server);
  };
  if (server < 0)
    return finish();
  // The login passes through.
  std::string p = readPacket(server);
  maskGreeting(p);
  if (p.empty() || !writeAll(client, p))
    return finish();
  for (;;) {
    std::string fromClient = readPacket(client);
    if (fromClient.empty() || !writeAll(server, fromClient))
      return finish();
    std::string fromServer = readPacket(server);
    if (fromServer.empty() || !writeAll(client, fromServer))
      return finish();
    if (isOk(fromServer) || isError(fromServer))
      break;
  }
  std::string clientDatabase, serverDatabase;
  for (;;) {
    const std::string request = readPacket(client);
    if (request.empty() || first(request) == ComQuit)
      return finish();
    const bool record = recordable(request);
    const std::string key = clientDatabase + '\n' + request;
    if (first(request) == ComInitDb)
      clientDatabase = request;
    if (record) {
      std::string answer;
      {
        const std::lock_guard<std::mutex> hold(g_lock);
        const auto found = g_answers.find(key);
        if (found != g_answers.end())
          answer = found->second;
      }
      if (!answer.empty()) {
        if (!writeAll(client, answer))
          return finish();
        continue;
      }
    }
    // To the server, in the database the client believes selected.
    if (first(request) != ComInitDb && clientDatabase != serverDatabase) {
      std::string ignored;
      if (!writeAll(server, clientDatabase) || !readAnswer(server, clientDatabase, ignored))
        return finish();
      serverDatabase = clientDatabase;
    }
    std::string answer;
    if (!writeAll(server, request) || !readAnswer(server, request, answer))
      return finish();
    if (first(request) == ComInitDb)
      serverDatabase = request;
    if (record) {
      const std::lock_guard<std::mutex> hold(g_lock);
      g_answers.emplace(key, answer);
    }
    if (!writeAll(client, answer))
      return finish();
  }
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qwb_replay HOST PORT\n");
    return 2;
  }
  const std::string host = argv[1];
  const int port = std::atoi(argv[2]);
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  if (bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
      listen(listener, 16) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr *>(&a), &size) != 0) {
    std::perror("qwb_replay");
    return 1;
  }
  std::printf("port %d\n", ntohs(a.sin_port));
  std::fflush(stdout);
  pollfd watch[2] = {{listener, POLLIN, 0}, {0, POLLIN, 0}};
  for (;;) {
    if (poll(watch, 2, -1) < 0)
      continue;
    if (watch[1].revents) { // standard input closed or written to: the parent is done
      char c;
      if (read(0, &c, 1) <= 0)
        return 0;
    }
    if (watch[0].revents & POLLIN) {
      const int client = accept(listener, nullptr, nullptr);
      if (client >= 0)
        std::thread(serve, client, host, port).detach();
    }
  }
}
