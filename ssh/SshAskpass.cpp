#include "ssh/SshAskpass.h"

#include "common/Interaction.h"
#include "ssh/SshPromptDialog.h"

#include <QDialog>
#include <QLineEdit>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

bool SendAll(int socket, const char *data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

// The question about a host that is not in known_hosts, as OpenSSH words it:
// the host as ssh names it, the key's type and its fingerprint.
struct HostKeyQuestion {
  QString host, keyType, fingerprint;
};
std::optional<HostKeyQuestion> ReadHostKeyQuestion(const QString &prompt) {
  static const QRegularExpression host(QStringLiteral("authenticity of host '([^']*)'"));
  static const QRegularExpression key(QStringLiteral("(\\S+) key fingerprint is (\\S+?)\\.?$"),
                                      QRegularExpression::MultilineOption);
  const QRegularExpressionMatch hostMatch = host.match(prompt), keyMatch = key.match(prompt);
  if (!hostMatch.hasMatch() || !keyMatch.hasMatch())
    return std::nullopt;
  return HostKeyQuestion{hostMatch.captured(1), keyMatch.captured(1), keyMatch.captured(2)};
}

// A passphrase, a password or another secret, typed into a masked edit.
QString SecretCaption(const QString &prompt) {
  static const QRegularExpression passphrase(
      QStringLiteral("^Enter passphrase for (?:key )?'(.*)': ?$"));
  static const QRegularExpression password(
      QStringLiteral("^(?:\\((.*)\\) Password|(.*)'s password): ?$"));
  const QString line = prompt.trimmed();
  if (const QRegularExpressionMatch m = passphrase.match(line); m.hasMatch())
    return QStringLiteral("Passphrase für den SSH-Schlüssel „%1“:").arg(m.captured(1));
  if (const QRegularExpressionMatch m = password.match(line); m.hasMatch())
    return QStringLiteral("SSH-Passwort für „%1“:")
        .arg(m.captured(1).isEmpty() ? m.captured(2) : m.captured(1));
  return QStringLiteral("Der SSH-Host fragt:\n%1").arg(line);
}

} // namespace

std::optional<int> RunAsSshAskpass(int argc, char *argv[]) {
  const char *relay = std::getenv(AskpassRelayVariable);
  if (!relay || !*relay)
    return std::nullopt;
  const char *kind = std::getenv("SSH_ASKPASS_PROMPT");
  // Only a notice (touch the security key); ssh ends the helper itself.
  if (kind && std::strcmp(kind, "none") == 0)
    return 0;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (std::strlen(relay) >= sizeof address.sun_path)
    return 1;
  std::strcpy(address.sun_path, relay);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return 1;
  std::string request(1, kind && std::strcmp(kind, "confirm") == 0 ? '!' : '?');
  request += argc > 1 ? argv[1] : "";
  std::string reply;
  if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
      SendAll(fd, request.data(), request.size()) && ::shutdown(fd, SHUT_WR) == 0) {
    char buffer[512];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0)
        break;
      reply.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (reply.empty() || reply[0] != '+')
    return 1;
  std::fwrite(reply.data() + 1, 1, reply.size() - 1, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  std::fill(reply.begin(), reply.end(), '\0');
  return 0;
}

SshQuestion SshQuestion::FromRequest(const QByteArray &request) {
  return {request.startsWith('!'), QString::fromUtf8(request.mid(1))};
}

QByteArray SshReply(const std::optional<QByteArray> &answer) {
  return answer ? QByteArray(1, '+') + *answer : QByteArray(1, '-');
}

std::optional<QByteArray> AskSshQuestion(QWidget *parent, const SshQuestion &question) {
  QString text, title;
  if (const std::optional<HostKeyQuestion> hostKey = ReadHostKeyQuestion(question.prompt)) {
    title = QStringLiteral("Unbekannter SSH-Host");
    text =
        QStringLiteral("Der SSH-Host „%1“ ist noch nicht bekannt: er steht nicht in known_hosts. "
                       "Sein %2-Schlüssel hat den Fingerabdruck\n\n%3\n\nVergleichen Sie ihn "
                       "mit dem Fingerabdruck, den der Betreiber des Hosts nennt. Wollen Sie "
                       "diesem Schlüssel vertrauen und sich verbinden? Er wird dann in "
                       "known_hosts eingetragen.")
            .arg(hostKey->host, hostKey->keyType, hostKey->fingerprint);
  } else if (question.confirm || question.prompt.contains(QLatin1String("(yes/no"))) {
    title = QStringLiteral("SSH-Rückfrage");
    text = QStringLiteral("Das SSH-Programm fragt:\n\n%1\n\nMit „Ja“ antworten Sie „yes“, mit "
                          "„Nein“ brechen Sie das Verbinden ab.")
               .arg(question.prompt.trimmed());
  }
  if (!text.isEmpty()) {
    if (ShowMessage(parent, text, title, MessageButtons::YesNo, MessageIcon::Question) !=
        MessageAnswer::Yes)
      return std::nullopt;
    return QByteArray("yes");
  }
  TSshPromptDialog dialog(parent);
  dialog.Fill(SecretCaption(question.prompt));
  const bool accepted = ExecModal(dialog) == QDialog::Accepted;
  QByteArray answer = dialog.EditAnswer->text().toUtf8();
  dialog.EditAnswer->clear();
  if (!accepted)
    return std::nullopt;
  return answer;
}
