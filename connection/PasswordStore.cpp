#include "connection/PasswordStore.h"

#include "common/FormStorage.h"
#include "common/Interaction.h"
#include "common/NetworkModule.h"
#include "common/Secret.h"
#include "common/WaitWindow.h"
#include "connection/KeyringJobs.h"

#include <QEventLoop>
#include <QSettings>
#include <QTimer>

#include <optional>

namespace {

const QString Service = QStringLiteral("Quellwerk");
const QString PlaceKey = QStringLiteral("Place");

int &KeyringTimeout() {
  static int milliseconds = 25000;
  return milliseconds;
}

QString groupOf(const ConnectionKey &key) { return key.settingsGroup(QStringLiteral("Password")); }

} // namespace

QString PasswordPlaceText(PasswordPlace place) {
  switch (place) {
  case PasswordPlace::File: return QStringLiteral("gespeichert");
  case PasswordPlace::Keyring: return QStringLiteral("im Schlüsselbund");
  case PasswordPlace::Ask: return QStringLiteral("wird erfragt");
  case PasswordPlace::None: break;
  }
  return {};
}

PasswordPlace LoadPasswordPlace(const ConnectionKey &key) {
  const QSettings ini(FormStorageFile(), QSettings::IniFormat);
  const QString place = ini.value(groupOf(key) + QLatin1Char('/') + PlaceKey).toString();
  if (place == QLatin1String("keyring"))
    return PasswordPlace::Keyring;
  if (place == QLatin1String("ask"))
    return PasswordPlace::Ask;
  return PasswordPlace::None;
}

void StorePasswordPlace(const ConnectionKey &key, PasswordPlace place) {
  QSettings ini(FormStorageFile(), QSettings::IniFormat);
  if (place == PasswordPlace::Keyring || place == PasswordPlace::Ask)
    ini.setValue(groupOf(key) + QLatin1Char('/') + PlaceKey, place == PasswordPlace::Keyring
                                                                 ? QStringLiteral("keyring")
                                                                 : QStringLiteral("ask"));
  else
    ini.remove(groupOf(key));
}

Keyring::Answer Keyring::read(const ConnectionKey &key) {
  return call({KeyringRequest::Kind::Read, Service, key.encoded(), {}});
}

Keyring::Answer Keyring::write(const ConnectionKey &key, const QString &password) {
  if (const Answer written = call({KeyringRequest::Kind::Write, Service, key.encoded(), password});
      written.outcome != Outcome::Done)
    return written;
  Answer back = read(key);
  if (back.outcome == Outcome::Unavailable)
    return back;
  const bool same = back.password == password;
  WipeText(back.password);
  if (back.outcome == Outcome::NotFound || !same) {
    m_unavailable = QStringLiteral("der Schlüsselbund gibt das Passwort nicht so zurück, wie es "
                                   "gespeichert wurde");
    return {Outcome::Unavailable, {}, m_unavailable};
  }
  return {Outcome::Done, {}, {}};
}

Keyring::Answer Keyring::remove(const ConnectionKey &key) {
  return call({KeyringRequest::Kind::Remove, Service, key.encoded(), {}});
}

Keyring::Answer Keyring::call(const KeyringRequest &request) {
  if (!m_unavailable.isEmpty())
    return {Outcome::Unavailable, {}, m_unavailable};
  QString why;
  const auto *entries = NetworkModuleEntries<KeyringEntries>("quellwerk_keyring_entries", why);
  if (!entries) {
    m_unavailable = why;
    return {Outcome::Unavailable, {}, m_unavailable};
  }
  std::optional<Answer> answer;
  QEventLoop loop;
  QObject waiting; // ends both connections when the wait is over
  // The job outlives a wait given up: the keyring library still holds it
  // until its answer comes.
  entries->start(request, &waiting, [&](Answer done) {
    answer = std::move(done);
    loop.quit();
  });
  QTimer::singleShot(KeyringTimeout(), &waiting, [&loop] { loop.quit(); });
  if (!answer) {
    WaitCursor cursor;
    InputHold hold;
    loop.exec();
  }
  if (!answer)
    answer = Answer{Outcome::Unavailable,
                    {},
                    QStringLiteral("der Schlüsselbund hat nach %1 Sekunden nicht geantwortet")
                        .arg((KeyringTimeout() + 999) / 1000)};
  if (answer->outcome == Outcome::Unavailable)
    m_unavailable = answer->reason;
  return *answer;
}

void SetKeyringTimeout(int milliseconds) { KeyringTimeout() = milliseconds; }
