#include "connection/ConnectionKey.h"

#include "connection/IntegerText.h"
#include "connection/SavedConnections.h"

#include <QUrl>

ConnectionKey ConnectionKey::Of(const QString &host, const QString &portText, const QString &user) {
  return {host, TextToInteger(portText, DefaultPort), user};
}

ConnectionKey ConnectionKey::Of(const SavedConnection &row) {
  return Of(row.host, row.port, row.user);
}

QString ConnectionKey::caption() const {
  return QStringLiteral("%1@%2:%3").arg(user, host).arg(port);
}

QString ConnectionKey::encoded() const {
  const auto part = [](const QString &text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
  };
  return QStringLiteral("%1@%2:%3").arg(part(user), part(host)).arg(port);
}

QString ConnectionKey::settingsGroup(const QString &section) const {
  return section + QLatin1Char('/') + encoded();
}
