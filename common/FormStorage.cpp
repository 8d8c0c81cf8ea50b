#include "common/FormStorage.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {

// QSettings reads an unquoted value with commas (a file edited by hand) as a list.
QString settingText(const QSettings &settings, const QString &key) {
  const QVariant value = settings.value(key);
  if (value.typeId() == QMetaType::QStringList)
    return value.toStringList().join(QLatin1Char(','));
  return value.toString();
}

} // namespace

QString QuellwerkConfigDirectory() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/quellwerk");
}

QString FormStorageFile() { return QuellwerkConfigDirectory() + QStringLiteral("/quellwerk.ini"); }

QString FormatPlacementRect(const QRect &rect) {
  return QStringLiteral("%1,%2,%3,%4")
      .arg(rect.left())
      .arg(rect.top())
      .arg(rect.left() + rect.width())
      .arg(rect.top() + rect.height());
}

std::optional<QRect> ParsePlacementRect(const QString &text) {
  const QStringList parts = text.split(QLatin1Char(','));
  if (parts.size() != 4)
    return std::nullopt;
  // Far beyond any screen, yet small enough that the size, and the dialog's
  // frame placed there, stay within int.
  constexpr qint64 Far = 1 << 24;
  qint64 values[4];
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    values[i] = parts[i].trimmed().toLongLong(&ok);
    if (!ok || values[i] < -Far || values[i] > Far)
      return std::nullopt;
  }
  if (values[2] <= values[0] || values[3] <= values[1])
    return std::nullopt;
  return QRect(QPoint(int(values[0]), int(values[1])),
               QSize(int(values[2] - values[0]), int(values[3] - values[1])));
}

void StoreFormPlacement(const QString &section, const QRect &frame, int pixelsPerInch) {
  QSettings settings(FormStorageFile(), QSettings::IniFormat);
  settings.beginGroup(section);
  settings.setValue(QStringLiteral("FormVersion"), 0);
  settings.setValue(QStringLiteral("Flags"), 0);
  settings.setValue(QStringLiteral("ShowCmd"), 1);
  settings.setValue(QStringLiteral("PixelsPerInch"), pixelsPerInch);
  settings.setValue(QStringLiteral("MinMaxPos"), QStringLiteral("-1,-1,-1,-1"));
  settings.setValue(QStringLiteral("NormPos"), FormatPlacementRect(frame));
  settings.setValue(QStringLiteral("Visible"), QStringLiteral("0"));
  settings.endGroup();
}

std::optional<QRect> RestoreFormPlacement(const QString &section, int pixelsPerInch) {
  const QSettings settings(FormStorageFile(), QSettings::IniFormat);
  bool ok = false;
  const int saved = settingText(settings, section + QStringLiteral("/PixelsPerInch")).toInt(&ok);
  if (!ok || saved != pixelsPerInch)
    return std::nullopt;
  return ParsePlacementRect(settingText(settings, section + QStringLiteral("/NormPos")));
}
