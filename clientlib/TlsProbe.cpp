#include "clientlib/TlsProbe.h"

#include <QSslConfiguration>
#include <QSslSocket>

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

} // namespace

TlsProbe ProbeServerTls(const QString &host, std::uint16_t port, int timeoutSeconds) {
  TlsProbe probe;
  const int wait = std::max(1, timeoutSeconds) * 1000;
  QSslSocket socket;
  socket.connectToHost(host, port);
  if (!socket.waitForConnected(wait)) {
    probe.error = socket.errorString();
    return probe;
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
  // The certificate is what the user is about to judge: take it unchecked.
  configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
  socket.setSslConfiguration(configuration);
  socket.startClientEncryption();
  if (!socket.waitForEncrypted(wait) || socket.peerCertificate().isNull()) {
    probe.error = socket.errorString();
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
