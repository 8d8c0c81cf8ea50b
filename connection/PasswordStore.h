// Where the saved connections keep their passwords. Where a Secret Service
// keyring is reachable (GNOME Keyring, KWallet), a password goes there and
// options.dat keeps its byte format with an empty password. Without one the
// user chooses per connection: the password in clear text in options.dat, as
// ever, or asked at every connect. Never an encryption of the program's own:
// a key in the program would protect nothing.
//
// Passwords belong to a connection (host, port and user), as the TLS
// settings do: in the keyring under the service "Quellwerk" and the key
// "user@host:port" (each part percent-encoded), and in quellwerk.ini, section
// "Password/user@host:port", key "Place" ("keyring" or "ask") for a saved
// connection whose row in options.dat holds no password.
#pragma once

#include "connection/ConnectionKey.h"

#include <QString>

struct KeyringRequest;

enum class PasswordPlace {
  None,    // no password
  File,    // in clear text in options.dat
  Keyring, // in the desktop keyring
  Ask,     // nowhere: asked at every connect
};

// What the "Pass" column of the connection dialog shows: never the password.
QString PasswordPlaceText(PasswordPlace place);

// Where the password of a connection whose row holds none is kept: Keyring,
// Ask, or None when quellwerk.ini says nothing of it.
PasswordPlace LoadPasswordPlace(const ConnectionKey &key);
// Remembers Keyring or Ask; None and File forget what was remembered.
void StorePasswordPlace(const ConnectionKey &key, PasswordPlace place);

// The desktop keyring. Each call waits for the keyring's answer, and only so
// long: a keyring that does not answer (a D-Bus call that hangs, an unlock
// prompt that nobody answers) is given up after a time-out. Meanwhile the
// windows keep painting and the user's input is dropped. Once the keyring
// failed, it counts as unavailable for the rest of the run and later calls
// fail at once, so that the user waits and reads about it once.
class Keyring {
public:
  enum class Outcome { Done, NotFound, Unavailable };
  struct Answer {
    Outcome outcome = Outcome::Unavailable;
    QString password; // read: what the keyring holds
    QString reason;   // Unavailable: why, in German, without a full stop
  };

  Answer read(const ConnectionKey &key);
  // Stores the password and reads it back: Done only when the keyring gives
  // back what was stored.
  Answer write(const ConnectionKey &key, const QString &password);
  Answer remove(const ConnectionKey &key);

  // Why the keyring is not used for the rest of the run; empty while it may be.
  const QString &unavailableReason() const { return m_unavailable; }

private:
  Answer call(const KeyringRequest &request);
  QString m_unavailable;
};

// How long a keyring call may take: 25 seconds, D-Bus's own time-out for a
// reply (tests shorten it).
void SetKeyringTimeout(int milliseconds);
