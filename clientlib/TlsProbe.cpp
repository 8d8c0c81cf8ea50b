#include "clientlib/TlsProbe.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Capability bits of the client/server protocol.
constexpr std::uint32_t ClientLongPassword = 0x1, ClientProtocol41 = 0x200, ClientSsl = 0x800,
                        ClientSecureConnection = 0x8000;
constexpr char Utf8mb4GeneralCi = 45;

// Reads exactly `size` bytes, waiting up to `milliseconds` for each piece.
bool readExactly(QSslSocket &socket, qint64 size, int milliseconds, QByteArray &into) {
  while (socket.bytesAvailable() < size)
    if (!socket.waitForReadyRead(milliseconds))
      return false;
  into = socket.read(size);
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

} // namespace

TlsProbe ProbeServerTls(const QString &host, std::uint16_t port, int timeoutSeconds,
                        const TlsProbeRoute &route) {
  TlsProbe probe;
  const int wait = std::max(1, timeoutSeconds) * 1000;
  QSslSocket socket;
  if (!route.localSocket.isEmpty()) {
    if (!ConnectLocalSocket(socket, route.localSocket, probe.error))
      return probe;
  } else {
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(wait)) {
      probe.error = socket.errorString();
      return probe;
    }
  }
  // The greeting: a packet header (length, sequence number), then the
  // protocol version 10, the server version up to a NUL, the connection id,
  // eight bytes of scramble, a filler byte and the lower capability bits.
  QByteArray header, greeting;
  if (!readExactly(socket, 4, wait, header) ||
      !readExactly(socket, quint8(header[0]) | quint8(header[1]) << 8 | quint8(header[2]) << 16,
                   wait, greeting)) {
    probe.error = socket.errorString();
    return probe;
  }
  const qsizetype versionEnd = greeting.indexOf('\0', 1);
  const qsizetype capabilitiesAt = versionEnd + 1 + 4 + 8 + 1;
  if (greeting.isEmpty() || greeting[0] != 10 || versionEnd < 0 ||
      greeting.size() < capabilitiesAt + 2) {
    probe.error = QStringLiteral("Unerwartete Begrüßung des Servers");
    return probe;
  }
  const std::uint32_t capabilities =
      quint8(greeting[capabilitiesAt]) | quint8(greeting[capabilitiesAt + 1]) << 8;
  if (!(capabilities & ClientSsl)) {
    probe.outcome = TlsProbe::Outcome::Plain;
    return probe;
  }
  // The SSL request: capabilities, maximum packet size, character set and
  // 23 zero bytes, as packet number 1.
  const std::uint32_t flags =
      ClientLongPassword | ClientProtocol41 | ClientSsl | ClientSecureConnection;
  QByteArray request(4 + 32, '\0');
  request[0] = 32;
  request[3] = 1;
  for (int i = 0; i < 4; ++i)
    request[4 + i] = char(flags >> (8 * i));
  request[8 + 3] = 1; // 16 MB
  request[12] = Utf8mb4GeneralCi;
  socket.write(request);
  if (!socket.waitForBytesWritten(wait)) {
    probe.error = socket.errorString();
    return probe;
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
  if (!socket.waitForEncrypted(wait) || socket.peerCertificate().isNull()) {
    QStringList reasons;
    for (const QSslError &error : socket.sslHandshakeErrors())
      reasons << error.errorString();
    if (!route.caFile.isEmpty() && !reasons.isEmpty())
      probe.outcome = TlsProbe::Outcome::Untrusted;
    probe.error = reasons.isEmpty() ? socket.errorString() : reasons.join(QStringLiteral("; "));
    return probe;
  }
  probe.certificate = socket.peerCertificate().toDer();
  probe.outcome = TlsProbe::Outcome::Encrypted;
  socket.disconnectFromHost();
  return probe;
}

QString CertificateFingerprint(const QByteArray &certificate,
                               QCryptographicHash::Algorithm algorithm) {
  return QString::fromLatin1(QCryptographicHash::hash(certificate, algorithm).toHex(':').toUpper());
}

QString FingerprintLines(QString fingerprint) {
  if (fingerprint.size() > 48)
    fingerprint[47] = QLatin1Char('\n');
  return fingerprint;
}
