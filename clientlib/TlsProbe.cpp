#include "clientlib/TlsProbe.h"

#include "common/NetworkModule.h"

namespace {

// The probe's code is in the network module.
const TlsProbeEntries *Entries(QString &why) {
  return NetworkModuleEntries<TlsProbeEntries>("quellwerk_tls_probe_entries", why);
}

} // namespace

TlsProbe ProbeServerTls(const QString &host, std::uint16_t port, QDeadlineTimer deadline,
                        const TlsProbeRoute &route) {
  TlsProbe probe;
  if (const TlsProbeEntries *entries = Entries(probe.error))
    probe = entries->probeServerTls(host, port, deadline, route);
  return probe;
}

QString ProbeLoginMethod(const QString &host, std::uint16_t port, QDeadlineTimer deadline,
                         const TlsProbeRoute &route, const QString &user,
                         const QStringList &allowed) {
  QString why;
  const TlsProbeEntries *entries = Entries(why);
  return entries ? entries->probeLoginMethod(host, port, deadline, route, user, allowed)
                 : QString();
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
