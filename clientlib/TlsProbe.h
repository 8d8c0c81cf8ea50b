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
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

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

// Blocks until `deadline` at the longest, however slowly the server sends.
// Runs on any thread.
TlsProbe ProbeServerTls(const QString &host, std::uint16_t port, QDeadlineTimer deadline,
                        const TlsProbeRoute &route = {});

// Which login method the server wants of `user`, for saying why the client
// library refused one: the greeting names the server's own; when that is
// one of `allowed`, a login request with the user name and no password (over
// TLS where the server offers it, as the library's own attempt went) brings
// the method of the user's account. Never sends a password. Empty when the
// server did not say.
QString ProbeLoginMethod(const QString &host, std::uint16_t port, QDeadlineTimer deadline,
                         const TlsProbeRoute &route, const QString &user,
                         const QStringList &allowed);

// The fingerprint of a DER certificate as upper-case hex bytes joined by ':'.
QString CertificateFingerprint(const QByteArray &certificate,
                               QCryptographicHash::Algorithm algorithm);

// A SHA-256 fingerprint as two lines of sixteen bytes, easier to compare.
QString FingerprintLines(QString fingerprint);

// What the network module (common/NetworkModule.h) gives of the probe, from
// its entry point quellwerk_tls_probe_entries.
struct TlsProbeEntries {
  TlsProbe (*probeServerTls)(const QString &, std::uint16_t, QDeadlineTimer, const TlsProbeRoute &);
  QString (*probeLoginMethod)(const QString &, std::uint16_t, QDeadlineTimer, const TlsProbeRoute &,
                              const QString &, const QStringList &);
};
