#include "connection/PasswordStore.h"

#include "common/FormStorage.h"
#include "common/Interaction.h"
#include "common/WaitWindow.h"

#include <QEventLoop>
#include <QSettings>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <optional>

namespace {

const QString Service = QStringLiteral("Quellwerk");
const QString PlaceKey = QStringLiteral("Place");

int &KeyringTimeout() {
  static int milliseconds = 25000;
  return milliseconds;
}

template <typename Job> Job *newJob(const ConnectionKey &key) {
  auto *job = new Job(Service);
  job->setKey(key.encoded());
  return job;
}

QString groupOf(const ConnectionKey &key) { return key.settingsGroup(QStringLiteral("Password")); }

Keyring::Answer answerOf(const QKeychain::Job &job) {
  using Outcome = Keyring::Outcome;
  switch (job.error()) {
  case QKeychain::NoError: {
    const auto *read = qobject_cast<const QKeychain::ReadPasswordJob *>(&job);
    return {Outcome::Done, read ? read->textData() : QString(), {}};
  }
  case QKeychain::EntryNotFound: return {Outcome::NotFound, {}, {}};
  case QKeychain::AccessDenied:
  case QKeychain::AccessDeniedByUser:
    return {Outcome::Unavailable,
            {},
            QStringLiteral("der Zugriff auf den Schlüsselbund wurde "
                           "verweigert")};
  default: break;
  }
  const QString detail = job.errorString();
  return {Outcome::Unavailable,
          {},
          QStringLiteral("kein Schlüsselbund erreichbar") +
              (detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail))};
}

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
  return finish(newJob<QKeychain::ReadPasswordJob>(key));
}

Keyring::Answer Keyring::write(const ConnectionKey &key, const QString &password) {
  auto *job = newJob<QKeychain::WritePasswordJob>(key);
  job->setTextData(password);
  if (const Answer written = finish(job); written.outcome != Outcome::Done)
    return written;
  Answer back = read(key);
  if (back.outcome == Outcome::Unavailable)
    return back;
  if (back.outcome == Outcome::NotFound || back.password != password) {
    m_unavailable = QStringLiteral("der Schlüsselbund gibt das Passwort nicht so zurück, wie es "
                                   "gespeichert wurde");
    return {Outcome::Unavailable, {}, m_unavailable};
  }
  return {Outcome::Done, {}, {}};
}

Keyring::Answer Keyring::remove(const ConnectionKey &key) {
  return finish(newJob<QKeychain::DeletePasswordJob>(key));
}

Keyring::Answer Keyring::finish(QKeychain::Job *job) {
  if (!m_unavailable.isEmpty()) {
    delete job; // not started
    return {Outcome::Unavailable, {}, m_unavailable};
  }
  // The job deletes itself once it has finished, also when this wait gave it
  // up before: the keyring library still holds it until its answer comes.
  job->setAutoDelete(true);
  std::optional<Answer> answer;
  QEventLoop loop;
  QObject waiting; // ends both connections when the wait is over
  QObject::connect(job, &QKeychain::Job::finished, &waiting, [&](QKeychain::Job *done) {
    answer = answerOf(*done);
    loop.quit();
  });
  QTimer::singleShot(KeyringTimeout(), &waiting, [&loop] { loop.quit(); });
  job->start();
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
