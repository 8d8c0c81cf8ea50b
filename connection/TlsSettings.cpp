#include "connection/TlsSettings.h"

#include "common/FormStorage.h"

#include <QSettings>
#include <QUrl>

namespace {

// One group per connection: "user@host:port", each part percent-encoded so
// that no character of a name can reach into another connection's group.
QString groupOf(const QString &host, std::int32_t port, const QString &user) {
  const auto part = [](const QString &text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
  };
  return QStringLiteral("TLS/%1@%2:%3").arg(part(user), part(host)).arg(port);
}

const QString CheckNames[] = {QStringLiteral("none"), QStringLiteral("ca"),
                              QStringLiteral("fingerprint")};

} // namespace

TlsSettings LoadTlsSettings(const QString &host, std::int32_t port, const QString &user) {
  QSettings ini(FormStorageFile(), QSettings::IniFormat);
  ini.beginGroup(groupOf(host, port, user));
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
  ini.beginGroup(groupOf(host, port, user));
  ini.setValue(QStringLiteral("Required"), settings.required);
  ini.setValue(QStringLiteral("Check"), CheckNames[static_cast<int>(settings.check)]);
  ini.setValue(QStringLiteral("CaFile"), settings.caFile);
  ini.setValue(QStringLiteral("Fingerprint"), settings.fingerprint);
  ini.setValue(QStringLiteral("LibraryFingerprint"), settings.libraryFingerprint);
}
