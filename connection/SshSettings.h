// Whether and how a connection goes through an SSH host, remembered per host,
// port and user in quellwerk.ini (section "SSH"), as the TLS settings are, so
// that options.dat keeps its format. Empty fields are left to ssh and the
// user's ~/.ssh/config.
#pragma once

#include <QString>

#include <cstdint>

struct SshSettings {
  bool enabled = false;
  QString host; // a name, an address or a Host alias of ~/.ssh/config
  QString user;
  std::int32_t port = 0; // 0: as ssh decides
  QString keyFile;

  friend bool operator==(const SshSettings &, const SshSettings &) = default;
};

SshSettings LoadSshSettings(const QString &host, std::int32_t port, const QString &user);
void StoreSshSettings(const QString &host, std::int32_t port, const QString &user,
                      const SshSettings &settings);
