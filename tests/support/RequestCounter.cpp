#include "tests/support/RequestCounter.h"

#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

RequestCounter::RequestCounter() {
  m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
      ::listen(m_listener, 4) != 0 ||
      ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
    return;
  m_port = ntohs(address.sin_port);
  // It forwards the plain test server, which a test lets in without TLS.
  AcceptPlainTestServer(m_port);
  m_thread = std::thread([this] {
    std::vector<std::thread> connections;
    pollfd wait{m_listener, POLLIN, 0};
    while (!m_stop) {
      if (::poll(&wait, 1, 50) <= 0)
        continue;
      const int client = ::accept(m_listener, nullptr, nullptr);
      if (client >= 0)
        connections.emplace_back([this, client] { forward(client); });
    }
    for (std::thread &t : connections)
      t.join();
  });
}

RequestCounter::~RequestCounter() {
  m_stop = true;
  if (m_thread.joinable())
    m_thread.join();
  if (m_listener >= 0)
    ::close(m_listener);
}

void RequestCounter::forward(int client) {
  const int server = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(TestServer::port()));
  ::inet_pton(AF_INET, TestServer::host().toLatin1().constData(), &address.sin_addr);
  if (::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
    // The client's stream as packets: a 4-byte header (length, sequence
    // number), then the payload.
    unsigned char header[4];
    int headerBytes = 0;
    std::size_t payloadLeft = 0;
    pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    char buffer[65536];
    while (!m_stop) {
      if (::poll(ends, 2, 50) <= 0)
        continue;
      const bool fromClient = ends[0].revents != 0;
      const int from = fromClient ? client : server, to = fromClient ? server : client;
      const ssize_t got = ::read(from, buffer, sizeof buffer);
      if (got <= 0 || ::send(to, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got)
        break;
      for (ssize_t i = 0; fromClient && i < got;) {
        if (payloadLeft > 0) {
          const std::size_t take = std::min(payloadLeft, static_cast<std::size_t>(got - i));
          payloadLeft -= take;
          i += static_cast<ssize_t>(take);
          continue;
        }
        header[headerBytes++] = static_cast<unsigned char>(buffer[i++]);
        if (headerBytes < 4)
          continue;
        headerBytes = 0;
        payloadLeft = header[0] | header[1] << 8 | header[2] << 16;
        if (header[3] == 0)
          ++m_requests;
      }
    }
  }
  ::close(server);
  ::close(client);
}
