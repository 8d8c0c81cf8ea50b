// Which connection a setting belongs to: host, port and user, as the
// connection dialog names them. The TLS settings of a connection and where a
// saved connection keeps its password are stored under it.
#pragma once

#include <QString>

#include <cstdint>

struct SavedConnection;

struct ConnectionKey {
  QString host;
  std::int32_t port = 3306;
  QString user;

  // The port text as the dialog's port edit holds it: the usual port when it
  // is no whole number.
  static ConnectionKey Of(const QString &host, const QString &portText, const QString &user);
  static ConnectionKey Of(const SavedConnection &row);

  // "user@host:port", as the user reads it.
  QString caption() const;
  // The same with each part percent-encoded, so that no character of a name
  // can reach into another connection's entry ("a@b" at "c" is not "a" at
  // "b@c").
  QString encoded() const;
  // The group of this connection's settings in quellwerk.ini (TLS, SSH,
  // Password): "section/" and the encoded key.
  QString settingsGroup(const QString &section) const;

  friend bool operator==(const ConnectionKey &, const ConnectionKey &) = default;
};
