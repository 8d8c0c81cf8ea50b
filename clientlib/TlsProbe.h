// A look at a server before the client library connects: whether it offers
// TLS and, if so, the certificate it presents. The client library cannot
// hand the certificate out before it has sent the login, and the user is to
// see the certificate's fingerprint before anything is sent.
//
// The probe reads the server's greeting, answers with an SSL request and
// completes a TLS handshake without checking the certificate, then hangs up.
// It sends no user name and no password.
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <cstdint>

struct TlsProbe {
  enum class Outcome {
    Unknown,   // no clear answer (not reached, an error greeting, a failed handshake)
    Plain,     // the server offers no TLS
    Encrypted, // TLS offered; `certificate` holds the server's certificate
    Untrusted, // TLS offered, but the certificate failed the CA check; `error` says why
  };
  Outcome outcome = Outcome::Unknown;
  QByteArray certificate; // DER
  QString error;          // why the outcome is unknown or untrusted
};

// How the probe reaches the server when not directly, and whether it checks
// the certificate itself.
struct TlsProbeRoute {
  // Through an SSH tunnel: the probe connects to this Unix socket, and the
  // host and port only name the server.
  QString localSocket;
  // The certificate must be signed by this CA and name the host. Through a
  // tunnel the client library can only compare the name with "localhost".
  QString caFile;
};

// Blocks for up to `timeoutSeconds` per step. Runs on any thread.
TlsProbe ProbeServerTls(const QString &host, std::uint16_t port, int timeoutSeconds,
                        const TlsProbeRoute &route = {});

// The fingerprint of a DER certificate as upper-case hex bytes joined by ':'.
QString CertificateFingerprint(const QByteArray &certificate,
                               QCryptographicHash::Algorithm algorithm);

// A SHA-256 fingerprint as two lines of sixteen bytes, easier to compare.
QString FingerprintLines(QString fingerprint);
