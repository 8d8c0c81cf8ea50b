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

namespace {

QString Encoded(const QString &text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); }

} // namespace

QString ConnectionKey::encoded() const {
  return QStringLiteral("%1@%2:%3").arg(Encoded(user), Encoded(host)).arg(port);
}

QString ConnectionKey::settingsGroup(const QString &section) const {
  return section + QLatin1Char('/') + encoded();
}

QString ConnectionKey::serverGroup(const QString &section) const {
  return QStringLiteral("%1/%2:%3").arg(section, Encoded(host)).arg(port);
}

bool ConnectionKey::sameServer(const QString &encodedKey) const {
  // The encoded user holds no "@": the server's part is all after the first.
  const qsizetype at = encodedKey.indexOf(QLatin1Char('@'));
  return at >= 0 && encodedKey.mid(at + 1) == QStringLiteral("%1:%2").arg(Encoded(host)).arg(port);
}
