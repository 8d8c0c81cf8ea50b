// The TLS probe itself, built into the network module (common/NetworkModule.h).
#include "clientlib/TlsProbe.h"

#include "common/NetworkModule.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Capability bits of the client/server protocol.
constexpr std::uint32_t ClientLongPassword = 0x1, ClientProtocol41 = 0x200, ClientSsl = 0x800,
                        ClientSecureConnection = 0x8000, ClientPluginAuth = 0x80000;
constexpr char Utf8mb4GeneralCi = 45;
// A greeting is a few dozen bytes; anything near this is no greeting.
constexpr qint64 LongestGreeting = 0x10000;

// Reads exactly `size` bytes, however slowly they come, until the deadline.
bool ReadExactly(QSslSocket &socket, qint64 size, const QDeadlineTimer &deadline,
                 QByteArray &into) {
  while (socket.bytesAvailable() < size) {
    const qint64 left = deadline.remainingTime();
    if (left == 0 || !socket.waitForReadyRead(int(std::min<qint64>(left, INT_MAX))))
      return false;
  }
  into = socket.read(size);
  return true;
}

// One packet of the protocol: its payload, and its number in `sequence`.
bool ReadPacket(QSslSocket &socket, const QDeadlineTimer &deadline, QByteArray &payload,
                char &sequence) {
  QByteArray header;
  if (!ReadExactly(socket, 4, deadline, header))
    return false;
  const qint64 size = quint8(header[0]) | quint8(header[1]) << 8 | quint8(header[2]) << 16;
  sequence = header[3];
  return size <= LongestGreeting && ReadExactly(socket, size, deadline, payload);
}

bool WritePacket(QSslSocket &socket, char sequence, const QByteArray &payload,
                 const QDeadlineTimer &deadline) {
  const auto size = static_cast<quint32>(payload.size());
  const char header[] = {char(size), char(size >> 8), char(size >> 16), sequence};
  socket.write(QByteArray(header, 4) + payload);
  const qint64 left = deadline.remainingTime();
  return left != 0 && socket.waitForBytesWritten(int(std::min<qint64>(left, INT_MAX)));
}

QByteArray LittleEndian(std::uint32_t value) {
  QByteArray bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[i] = char(value >> (8 * i));
  return bytes;
}

// Capabilities, maximum packet size (16 MB), character set and 23 zero
// bytes: the fixed start of the SSL request and of the login request.
QByteArray ClientHeader(std::uint32_t capabilities) {
  return LittleEndian(capabilities) + LittleEndian(1u << 24) + QByteArray(1, Utf8mb4GeneralCi) +
         QByteArray(23, '\0');
}

// What the greeting says: protocol 10, the server version up to a NUL, the
// connection id, eight bytes of scramble, a filler byte, the lower
// capability bits; then the character set, the status, the upper capability
// bits, the scramble's length, ten reserved bytes, the rest of the scramble
// and the login method.
struct Greeting {
  std::uint32_t capabilities = 0;
  QByteArray loginMethod;
};

bool ParseGreeting(const QByteArray &greeting, Greeting &parsed) {
  const qsizetype versionEnd = greeting.indexOf('\0', 1);
  const qsizetype capabilitiesAt = versionEnd + 1 + 4 + 8 + 1;
  if (greeting.isEmpty() || greeting[0] != 10 || versionEnd < 0 ||
      greeting.size() < capabilitiesAt + 2)
    return false;
  parsed.capabilities = quint8(greeting[capabilitiesAt]) | quint8(greeting[capabilitiesAt + 1])
                                                               << 8;
  const qsizetype upperAt = capabilitiesAt + 2 + 1 + 2;
  if (greeting.size() < upperAt + 2 + 1 + 10)
    return true;
  parsed.capabilities |=
      std::uint32_t(quint8(greeting[upperAt]) | quint8(greeting[upperAt + 1]) << 8) << 16;
  const qsizetype scrambleLength = quint8(greeting[upperAt + 2]);
  const qsizetype methodAt = upperAt + 2 + 1 + 10 + std::max<qsizetype>(13, scrambleLength - 8);
  if ((parsed.capabilities & ClientPluginAuth) && methodAt < greeting.size())
    parsed.loginMethod = greeting.mid(methodAt).split('\0').value(0);
  return true;
}

// Connects `socket` to a Unix socket; QSslSocket runs over it as over TCP.
bool ConnectLocalSocket(QSslSocket &socket, const QString &path, QString &error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(path);
  if (name.size() >= qsizetype(sizeof address.sun_path)) {
    error = QStringLiteral("Der Pfad des Sockets ist zu lang");
    return false;
  }
  std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
      !socket.setSocketDescriptor(fd)) {
    error = QString::fromLocal8Bit(std::strerror(errno));
    if (fd >= 0)
      ::close(fd);
    return false;
  }
  return true;
}

// One connection to the server as far as its greeting and, where it offers
// TLS, the handshake; `probe` says how far it came.
struct Contact {
  QSslSocket socket;
  Greeting greeting;
  char sequence = 0; // of the server's last packet
};

void Reach(Contact &contact, const QString &host, std::uint16_t port,
           const QDeadlineTimer &deadline, const TlsProbeRoute &route, TlsProbe &probe) {
  QSslSocket &socket = contact.socket;
  if (!route.localSocket.isEmpty()) {
    if (!ConnectLocalSocket(socket, route.localSocket, probe.error))
      return;
  } else {
    socket.connectToHost(host, port);
    const qint64 left = deadline.remainingTime();
    if (left == 0 || !socket.waitForConnected(int(std::min<qint64>(left, INT_MAX)))) {
      probe.error = socket.errorString();
      return;
    }
  }
  QByteArray greeting;
  if (!ReadPacket(socket, deadline, greeting, contact.sequence)) {
    probe.error = socket.errorString();
    return;
  }
  if (!ParseGreeting(greeting, contact.greeting)) {
    probe.error = QStringLiteral("Unerwartete Begrüßung des Servers");
    return;
  }
  if (!(contact.greeting.capabilities & ClientSsl)) {
    probe.outcome = TlsProbe::Outcome::Plain;
    return;
  }
  if (!WritePacket(socket, ++contact.sequence,
                   ClientHeader(ClientLongPassword | ClientProtocol41 | ClientSsl |
                                ClientSecureConnection | ClientPluginAuth),
                   deadline)) {
    probe.error = socket.errorString();
    return;
  }
  QSslConfiguration configuration = socket.sslConfiguration();
  if (route.caFile.isEmpty()) {
    // The certificate is what the user is about to judge: take it unchecked.
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
  } else {
    configuration.setCaCertificates(QSslCertificate::fromPath(route.caFile));
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    socket.setPeerVerifyName(host);
  }
  socket.setSslConfiguration(configuration);
  socket.startClientEncryption();
  const qint64 left = deadline.remainingTime();
  if (left == 0 || !socket.waitForEncrypted(int(std::min<qint64>(left, INT_MAX))) ||
      socket.peerCertificate().isNull()) {
    QStringList reasons;
    for (const QSslError &error : socket.sslHandshakeErrors())
      reasons << error.errorString();
    if (!route.caFile.isEmpty() && !reasons.isEmpty())
      probe.outcome = TlsProbe::Outcome::Untrusted;
    probe.error = reasons.isEmpty() ? socket.errorString() : reasons.join(QStringLiteral("; "));
    return;
  }
  probe.certificate = socket.peerCertificate().toDer();
  probe.outcome = TlsProbe::Outcome::Encrypted;
}

TlsProbe Probe(const QString &host, std::uint16_t port, QDeadlineTimer deadline,
               const TlsProbeRoute &route) {
  TlsProbe probe;
  Contact contact;
  Reach(contact, host, port, deadline, route, probe);
  contact.socket.abort();
  return probe;
}

QString LoginMethod(const QString &host, std::uint16_t port, QDeadlineTimer deadline,
                    const TlsProbeRoute &route, const QString &user, const QStringList &allowed) {
  TlsProbe probe;
  Contact contact;
  Reach(contact, host, port, deadline, route, probe);
  const QString greeted = QString::fromUtf8(contact.greeting.loginMethod);
  QString method;
  if (probe.outcome == TlsProbe::Outcome::Plain || probe.outcome == TlsProbe::Outcome::Encrypted) {
    // A method the library refuses at the greeting is refused before it
    // sends the user name: so is this.
    if (!greeted.isEmpty() && !allowed.contains(greeted)) {
      method = greeted;
    } else {
      const std::uint32_t capabilities =
          ClientLongPassword | ClientProtocol41 | ClientSecureConnection | ClientPluginAuth |
          (probe.outcome == TlsProbe::Outcome::Encrypted ? ClientSsl : 0);
      // The user name, an empty answer to the scramble, the greeting's method.
      const QByteArray request = ClientHeader(capabilities) + user.toUtf8() + '\0' + '\0' +
                                 contact.greeting.loginMethod + '\0';
      QByteArray reply;
      char sequence = 0;
      if (WritePacket(contact.socket, ++contact.sequence, request, deadline) &&
          ReadPacket(contact.socket, deadline, reply, sequence) && reply.startsWith('\xfe') &&
          reply.size() > 1)
        method = QString::fromUtf8(reply.mid(1).split('\0').value(0));
    }
  }
  contact.socket.abort();
  return method;
}

} // namespace

QW_NETWORK_MODULE_ENTRY const TlsProbeEntries *quellwerk_tls_probe_entries() {
  static const TlsProbeEntries entries{Probe, LoginMethod};
  return &entries;
}
