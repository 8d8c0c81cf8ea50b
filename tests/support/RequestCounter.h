// A proxy between the program and the test server that counts requests:
// the client's packets that start a command (sequence number 0), each a
// round trip to the server, however many statements it carries. The general
// log cannot tell that: it lists the statements of one request one by one.
#pragma once

#include <atomic>
#include <thread>

class RequestCounter {
public:
  // Listens on a port of 127.0.0.1 and forwards each connection to the
  // test server. The connection must not use TLS.
  RequestCounter();
  ~RequestCounter();
  RequestCounter(const RequestCounter &) = delete;
  RequestCounter &operator=(const RequestCounter &) = delete;

  int port() const { return m_port; }
  int requests() const { return m_requests.load(); }
  void reset() { m_requests = 0; }

private:
  void forward(int client);
  int m_listener = -1;
  int m_port = 0;
  std::atomic<int> m_requests{0};
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};
