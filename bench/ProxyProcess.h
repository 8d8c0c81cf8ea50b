// A proxy of the benchmark (qwb_replay, qwb_delay) as a child process for as
// long as this object lives: started with the server's address and further
// arguments, it says "port N" on its standard output once it listens on
// 127.0.0.1:N, and ends when its standard input closes. qwb_delay also
// answers questions on its standard input (see ask).
#pragma once

#include "bench/RawClient.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

class ProxyProcess {
public:
  ProxyProcess(const std::string &program, const ServerAddress &server,
               const std::vector<std::string> &more = {});
  ~ProxyProcess();
  ProxyProcess(const ProxyProcess &) = delete;
  ProxyProcess &operator=(const ProxyProcess &) = delete;
  // The server's address as seen through the proxy.
  const ServerAddress &address() const { return m_address; }
  // Sends `question` to the proxy's standard input and returns the line it answers.
  std::string ask(char question);

private:
  std::string readLine();
  pid_t m_pid = 0;
  int m_stdin = -1, m_stdout = -1;
  ServerAddress m_address;
};

} // namespace bench
