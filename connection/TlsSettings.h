// How a connection uses TLS, and what the program trusts of a server; kept
// in quellwerk.ini, so that options.dat keeps its format.
//
// The choices belong to a connection (host, port and user: section "TLS",
// key "user@host:port"): whether TLS is required, and how the server is
// checked. The trust belongs to the server (host and port: section
// "Server", key "host:port", each part percent-encoded): the certificate
// trusted at first use, or that the user let the server in without TLS.
// Trust that an older version kept with a user's choices is still read, and
// moved to the server at the first read.
#pragma once

#include <QString>

#include <cstdint>

struct TlsSettings {
  // How the server's certificate is checked.
  enum class Check { None, CaFile, Fingerprint };

  // Refuse a connection that the server does not encrypt.
  bool required = false;
  // Trust at first use unless the user chose otherwise.
  Check check = Check::Fingerprint;
  QString caFile;
  // The trusted certificate: its SHA-256 fingerprint as shown to the user,
  // and its SHA-1 fingerprint, the one the client library can check. Both
  // empty until the user trusts a certificate.
  QString fingerprint;
  QString libraryFingerprint;
  // The server offered no TLS at first contact, and the user said to connect
  // to it without TLS from then on. Forgotten once it shows a certificate
  // that the user trusts.
  bool acceptedWithoutTls = false;

  // Whether the program trusts the server in any way.
  bool trusted() const { return !fingerprint.isEmpty() || acceptedWithoutTls; }

  friend bool operator==(const TlsSettings &, const TlsSettings &) = default;
};

TlsSettings LoadTlsSettings(const QString &host, std::int32_t port, const QString &user);
// Stores the choices for the connection and the trust for the server: no
// trust forgets the server's, also what an older version kept for other
// users of the server.
void StoreTlsSettings(const QString &host, std::int32_t port, const QString &user,
                      const TlsSettings &settings);
