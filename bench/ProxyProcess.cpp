#include "bench/ProxyProcess.h"

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {

ProxyProcess::ProxyProcess(const std::string &program, const ServerAddress &server,
                           const std::vector<std::string> &more) {
  int out[2], in[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0)
    throw Error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  std::vector<std::string> args{program, server.host, std::to_string(server.port)};
  args.insert(args.end(), more.begin(), more.end());
  std::vector<char *> argv;
  for (std::string &arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(in[0]);
  m_stdin = in[1];
  if (rc != 0)
    throw Error("cannot start " + program);
  m_stdout = out[0];
  if (std::sscanf(readLine().c_str(), "port %u", &m_address.port) != 1)
    throw Error(program + " did not say its port");
  m_address.host = "127.0.0.1";
  m_address.user = server.user;
  m_address.password = server.password;
}

std::string ProxyProcess::readLine() {
  std::string line;
  char c;
  while (read(m_stdout, &c, 1) == 1 && c != '\n')
    line += c;
  return line;
}

std::string ProxyProcess::ask(char question) {
  if (write(m_stdin, &question, 1) != 1)
    throw Error("the proxy does not listen");
  return readLine();
}

ProxyProcess::~ProxyProcess() {
  close(m_stdin);
  close(m_stdout);
  int status = 0;
  waitpid(m_pid, &status, 0);
}

} // namespace bench
