// The questions that ssh asks while it opens a tunnel: an unknown host key,
// a passphrase, a password. ssh runs this program as its SSH_ASKPASS helper;
// the helper hands the question over a Unix socket in the tunnel's private
// folder to the running program, which shows it as a German dialog and sends
// the answer back for the helper to print.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <optional>

class QWidget;

// Names the relay socket in the environment of ssh and of its helpers.
inline constexpr char AskpassRelayVariable[] = "QUELLWERK_SSH_ASKPASS";

// The helper's side: when the environment names a relay socket, passes the
// question (argv[1]) to it, prints the answer on standard output and returns
// the exit code (0: answered, 1: refused); otherwise returns nothing and the
// program starts as usual. Needs no display and no Qt.
std::optional<int> RunAsSshAskpass(int argc, char *argv[]);

// One question as the helper hands it over: the request is one byte ('!' for
// a yes-or-no confirmation, '?' for anything else) and the prompt; the reply
// is '+' and the answer, or '-' when the user gave up.
struct SshQuestion {
  bool confirm = false;
  QString prompt;
  static SshQuestion FromRequest(const QByteArray &request);
};
QByteArray SshReply(const std::optional<QByteArray> &answer);

// Sends all of `data` over a socket of the relay; a peer that has gone is a
// failure, not a SIGPIPE.
bool SendAll(int socket, const char *data, std::size_t size);

// The program's side: shows the question in German and returns the answer
// for ssh ("yes" to a host key), or nothing when the user said "Nein" or
// "Abbrechen".
std::optional<QByteArray> AskSshQuestion(QWidget *parent, const SshQuestion &question);
