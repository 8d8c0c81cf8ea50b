#include "connection/TlsSettings.h"

#include "common/FormStorage.h"
#include "connection/ConnectionKey.h"

#include <QSettings>

namespace {

const QString CheckNames[] = {QStringLiteral("none"), QStringLiteral("ca"),
                              QStringLiteral("fingerprint")};
const QString ChoicesSection = QStringLiteral("TLS");
const QString ServerSection = QStringLiteral("Server");
const QString FingerprintKey = QStringLiteral("Fingerprint");
const QString LibraryFingerprintKey = QStringLiteral("LibraryFingerprint");
const QString WithoutTlsKey = QStringLiteral("WithoutTls");

// A trusted certificate from the current group: both fingerprints, or none
// (half a trusted certificate is none).
std::pair<QString, QString> ReadFingerprints(const QSettings &ini) {
  const QString shown = ini.value(FingerprintKey).toString(),
                library = ini.value(LibraryFingerprintKey).toString();
  if (shown.isEmpty() || library.isEmpty())
    return {};
  return {shown, library};
}

void WriteServerTrust(QSettings &ini, const ConnectionKey &key, const TlsSettings &settings) {
  ini.remove(key.serverGroup(ServerSection));
  if (!settings.trusted())
    return;
  ini.beginGroup(key.serverGroup(ServerSection));
  if (!settings.fingerprint.isEmpty()) {
    ini.setValue(FingerprintKey, settings.fingerprint);
    ini.setValue(LibraryFingerprintKey, settings.libraryFingerprint);
  } else {
    ini.setValue(WithoutTlsKey, true);
  }
  ini.endGroup();
}

// Trust in the older form, kept with one user's choices.
void RemoveUserTrust(QSettings &ini, const QString &userGroup) {
  ini.remove(userGroup + QLatin1Char('/') + FingerprintKey);
  ini.remove(userGroup + QLatin1Char('/') + LibraryFingerprintKey);
}

} // namespace

TlsSettings LoadTlsSettings(const QString &host, std::int32_t port, const QString &user) {
  const ConnectionKey key{host, port, user};
  QSettings ini(FormStorageFile(), QSettings::IniFormat);
  TlsSettings settings;
  ini.beginGroup(key.settingsGroup(ChoicesSection));
  settings.required = ini.value(QStringLiteral("Required"), false).toBool();
  const QString check = ini.value(QStringLiteral("Check")).toString();
  for (int i = 0; i < 3; ++i)
    if (check == CheckNames[i])
      settings.check = static_cast<TlsSettings::Check>(i);
  settings.caFile = ini.value(QStringLiteral("CaFile")).toString();
  const auto [oldShown, oldLibrary] = ReadFingerprints(ini);
  const bool oldForm = ini.contains(FingerprintKey) || ini.contains(LibraryFingerprintKey);
  ini.endGroup();

  ini.beginGroup(key.serverGroup(ServerSection));
  std::tie(settings.fingerprint, settings.libraryFingerprint) = ReadFingerprints(ini);
  settings.acceptedWithoutTls =
      settings.fingerprint.isEmpty() && ini.value(WithoutTlsKey, false).toBool();
  ini.endGroup();

  if (oldForm) {
    // What this user trusted before trust belonged to the server becomes the
    // server's, unless the server is trusted already.
    if (!settings.trusted() && !oldShown.isEmpty()) {
      settings.fingerprint = oldShown;
      settings.libraryFingerprint = oldLibrary;
      WriteServerTrust(ini, key, settings);
    }
    RemoveUserTrust(ini, key.settingsGroup(ChoicesSection));
  }
  if (!settings.trusted()) {
    // What other users of the server trusted in the older form becomes the
    // server's too, when they all trusted the same certificate.
    std::pair<QString, QString> agreed;
    bool differ = false;
    ini.beginGroup(ChoicesSection);
    for (const QString &connection : ini.childGroups()) {
      if (!key.sameServer(connection))
        continue;
      ini.beginGroup(connection);
      const std::pair<QString, QString> trusted = ReadFingerprints(ini);
      ini.endGroup();
      if (trusted.first.isEmpty())
        continue;
      differ = differ || (!agreed.first.isEmpty() && agreed != trusted);
      agreed = trusted;
    }
    ini.endGroup();
    if (!agreed.first.isEmpty() && !differ) {
      std::tie(settings.fingerprint, settings.libraryFingerprint) = agreed;
      WriteServerTrust(ini, key, settings);
    }
  }
  return settings;
}

void StoreTlsSettings(const QString &host, std::int32_t port, const QString &user,
                      const TlsSettings &settings) {
  const ConnectionKey key{host, port, user};
  QSettings ini(FormStorageFile(), QSettings::IniFormat);
  ini.beginGroup(key.settingsGroup(ChoicesSection));
  ini.setValue(QStringLiteral("Required"), settings.required);
  ini.setValue(QStringLiteral("Check"), CheckNames[static_cast<int>(settings.check)]);
  ini.setValue(QStringLiteral("CaFile"), settings.caFile);
  ini.endGroup();
  RemoveUserTrust(ini, key.settingsGroup(ChoicesSection));
  WriteServerTrust(ini, key, settings);
  if (settings.trusted())
    return;
  // Forgotten: also what another user of the server trusted in the older form.
  ini.beginGroup(ChoicesSection);
  const QStringList connections = ini.childGroups();
  ini.endGroup();
  for (const QString &connection : connections)
    if (key.sameServer(connection))
      RemoveUserTrust(ini, ChoicesSection + QLatin1Char('/') + connection);
}
