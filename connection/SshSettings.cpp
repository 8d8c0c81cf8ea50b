#include "connection/SshSettings.h"

#include "common/FormStorage.h"
#include "connection/ConnectionKey.h"

#include <QSettings>

namespace {
QString groupOf(const QString &host, std::int32_t port, const QString &user) {
  return ConnectionKey{host, port, user}.settingsGroup(QStringLiteral("SSH"));
}
} // namespace

SshSettings LoadSshSettings(const QString &host, std::int32_t port, const QString &user) {
  QSettings ini(FormStorageFile(), QSettings::IniFormat);
  ini.beginGroup(groupOf(host, port, user));
  SshSettings settings;
  settings.enabled = ini.value(QStringLiteral("Enabled"), false).toBool();
  settings.host = ini.value(QStringLiteral("Host")).toString();
  settings.user = ini.value(QStringLiteral("User")).toString();
  settings.port = ini.value(QStringLiteral("Port"), 0).toInt();
  settings.keyFile = ini.value(QStringLiteral("KeyFile")).toString();
  return settings;
}

void StoreSshSettings(const QString &host, std::int32_t port, const QString &user,
                      const SshSettings &settings) {
  QSettings ini(FormStorageFile(), QSettings::IniFormat);
  ini.beginGroup(groupOf(host, port, user));
  ini.setValue(QStringLiteral("Enabled"), settings.enabled);
  ini.setValue(QStringLiteral("Host"), settings.host);
  ini.setValue(QStringLiteral("User"), settings.user);
  ini.setValue(QStringLiteral("Port"), settings.port);
  ini.setValue(QStringLiteral("KeyFile"), settings.keyFile);
}
