// How a connection uses TLS, remembered per host, port and user in
// quellwerk.ini (section "TLS"), so that options.dat keeps its format.
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

  friend bool operator==(const TlsSettings &, const TlsSettings &) = default;
};

TlsSettings LoadTlsSettings(const QString &host, std::int32_t port, const QString &user);
void StoreTlsSettings(const QString &host, std::int32_t port, const QString &user,
                      const TlsSettings &settings);
