#include "connection/TlsSettings.h"

#include "common/FormStorage.h"
#include "connection/ConnectionKey.h"

#include <QSettings>

namespace {

const QString CheckNames[] = {QStringLiteral("none"), QStringLiteral("ca"),
                              QStringLiteral("fingerprint")};

} // namespace

TlsSettings LoadTlsSettings(const QString &host, std::int32_t port, const QString &user) {
  QSettings ini(FormStorageFile(), QSettings::IniFormat);
  ini.beginGroup(ConnectionKey{host, port, user}.settingsGroup(QStringLiteral("TLS")));
  TlsSettings settings;
  settings.required = ini.value(QStringLiteral("Required"), false).toBool();
  const QString check = ini.value(QStringLiteral("Check")).toString();
  for (int i = 0; i < 3; ++i)
    if (check == CheckNames[i])
      settings.check = static_cast<TlsSettings::Check>(i);
  settings.caFile = ini.value(QStringLiteral("CaFile")).toString();
  settings.fingerprint = ini.value(QStringLiteral("Fingerprint")).toString();
  settings.libraryFingerprint = ini.value(QStringLiteral("LibraryFingerprint")).toString();
  // Half a trusted certificate is none.
  if (settings.fingerprint.isEmpty() || settings.libraryFingerprint.isEmpty())
    settings.fingerprint.clear(), settings.libraryFingerprint.clear();
  return settings;
}

void StoreTlsSettings(const QString &host, std::int32_t port, const QString &user,
                      const TlsSettings &settings) {
  QSettings ini(FormStorageFile(), QSettings::IniFormat);
  ini.beginGroup(ConnectionKey{host, port, user}.settingsGroup(QStringLiteral("TLS")));
  ini.setValue(QStringLiteral("Required"), settings.required);
  ini.setValue(QStringLiteral("Check"), CheckNames[static_cast<int>(settings.check)]);
  ini.setValue(QStringLiteral("CaFile"), settings.caFile);
  ini.setValue(QStringLiteral("Fingerprint"), settings.fingerprint);
  ini.setValue(QStringLiteral("LibraryFingerprint"), settings.libraryFingerprint);
}
