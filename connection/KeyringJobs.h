// Between the keyring calls of connection/PasswordStore and the keyring's
// jobs, which live in the network module (common/NetworkModule.h) with the
// QtKeychain library they need.
#pragma once

#include "connection/PasswordStore.h"

#include <QObject>

#include <functional>

struct KeyringRequest {
  enum class Kind { Read, Write, Remove };
  Kind kind = Kind::Read;
  QString service;
  QString key;
  QString password; // Write: what is stored
};

// What the module gives, from its entry point quellwerk_keyring_entries.
struct KeyringEntries {
  // Starts the keyring's job. `finished` is called once, on the calling
  // thread, with the answer, unless `context` is gone before; the job deletes
  // itself once the keyring has answered, whether anyone still waits or not.
  void (*start)(const KeyringRequest &request, QObject *context,
                std::function<void(Keyring::Answer)> finished);
};
