#include "connection/SavedConnections.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QtEndian>

#include <array>
#include <limits>

namespace {

const QString FileName = QStringLiteral("options.dat");

void appendInt32(QByteArray &out, std::int32_t value) {
  char bytes[4];
  qToLittleEndian(value, bytes);
  out.append(bytes, 4);
}

// Reads the file's content front to back; every read checks what is left
// before it takes anything, so a length field can never make it allocate
// more than the content holds.
class Reader {
public:
  explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}

  qsizetype position() const { return m_pos; }
  qsizetype left() const { return m_bytes.size() - m_pos; }

  bool int32(std::int32_t &value) {
    if (left() < 4)
      return false;
    value = qFromLittleEndian<std::int32_t>(m_bytes.data() + m_pos);
    m_pos += 4;
    return true;
  }

  QByteArrayView take(qsizetype n) {
    const QByteArrayView part = m_bytes.sliced(m_pos, n);
    m_pos += n;
    return part;
  }

private:
  QByteArrayView m_bytes;
  qsizetype m_pos = 0;
};

using Fault = DecodedConnections::Fault;

Fault readString(Reader &reader, QString &text, DecodedConnections &out) {
  const qsizetype at = reader.position();
  std::int32_t length = 0;
  if (!reader.int32(length))
    return Fault::ReadBeyondEnd;
  if (length < 0) {
    out.faultOffset = at;
    out.faultLength = length;
    return Fault::NegativeLength;
  }
  if (length > reader.left())
    return Fault::ReadBeyondEnd;
  text = DecodeStoredText(reader.take(length));
  return Fault::None;
}

// Windows-1252 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString &programDirectoryOverride() {
  static QString directory;
  return directory;
}

// Qt's messages may end in a full stop; ours add their own.
QString withoutFullStop(QString text) {
  while (text.endsWith(QLatin1Char('.')))
    text.chop(1);
  return text;
}

} // namespace

#ifdef QUELLWERK_FAULT_INJECTION
void (*SaveStepHook)(SaveStep step, qint64 written, qint64 total) = nullptr;
#define QW_SAVE_STEP(step, written, total)                                                         \
  (SaveStepHook ? SaveStepHook(SaveStep::step, written, total) : void())
#else
#define QW_SAVE_STEP(step, written, total) static_cast<void>(0)
#endif

QByteArray EncodeSavedConnections(const QList<SavedConnection> &rows) {
  QByteArray out;
  appendInt32(out, static_cast<std::int32_t>(rows.size()));
  for (const SavedConnection &row : rows) {
    for (const QString *text : {&row.host, &row.user, &row.password, &row.port}) {
      const QByteArray bytes = text->toUtf8();
      appendInt32(out, static_cast<std::int32_t>(bytes.size()));
      out.append(bytes);
    }
  }
  return out;
}

DecodedConnections DecodeSavedConnections(QByteArrayView bytes) {
  DecodedConnections out;
  Reader reader(bytes);
  std::int32_t count = 0;
  if (!reader.int32(count))
    return out;
  // No reservation by the count: a damaged count must not allocate.
  for (std::int32_t i = 0; i < count; ++i) {
    SavedConnection row;
    for (QString *text : {&row.host, &row.user, &row.password, &row.port}) {
      out.fault = readString(reader, *text, out);
      if (out.fault != Fault::None)
        return out; // the row cut short is dropped
    }
    out.rows.append(std::move(row));
  }
  return out;
}

QString DecodeStoredText(QByteArrayView bytes) {
  // Stateless: a sequence cut off at the end is an error, not left pending.
  // ConvertInitialBom: a leading U+FEFF is part of the text, not a marker.
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                  QStringConverter::Flag::ConvertInitialBom);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError())
    return text;
  QStringDecoder cp1252("windows-1252", QStringConverter::Flag::Stateless);
  if (cp1252.isValid())
    return cp1252.decode(bytes);
  return Windows1252ToString(bytes);
}

QString Windows1252ToString(QByteArrayView bytes) {
  QString text(bytes.size(), Qt::Uninitialized);
  QChar *out = text.data();
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(Cp1252High[byte - 0x80]) : QChar(char16_t(byte));
  }
  return text;
}

QString QuellwerkConfigDirectory() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/quellwerk");
}

void SetSavedConnectionsProgramDirectory(const QString &directory) {
  programDirectoryOverride() = directory;
}

QString SavedConnectionsFilePath(const QString &programDirectory, const QString &configDirectory) {
  const QFileInfo program(programDirectory);
  // An installed program (its desktop entry in ../share/applications) never
  // keeps the file beside itself, even where it may write there, as root may
  // in /usr/bin: the passwords would lie among the system's programs, in no
  // package, and stay when the package is removed.
  const QString desktopEntry = QStringLiteral("../share/applications/quellwerk.desktop");
  const bool installed = QFileInfo(QDir(programDirectory).filePath(desktopEntry)).isFile();
  if (!programDirectory.isEmpty() && program.isDir() && program.isWritable() && !installed)
    return QDir(programDirectory).filePath(FileName);
  return QDir(configDirectory).filePath(FileName);
}

QString SavedConnectionsFilePath() {
  const QString program = programDirectoryOverride().isEmpty()
                              ? QCoreApplication::applicationDirPath()
                              : programDirectoryOverride();
  return SavedConnectionsFilePath(program, QuellwerkConfigDirectory());
}

LoadedConnections ReadSavedConnectionsFile(const QString &path) {
  LoadedConnections loaded;
  // Only a regular file: a device or a pipe in its place is not read.
  if (!QFileInfo(path).isFile())
    return loaded;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return loaded;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError)
    return loaded;
  loaded.opened = true;
  loaded.decoded = DecodeSavedConnections(bytes);
  return loaded;
}

bool WriteSavedConnectionsFile(const QString &path, const QList<SavedConnection> &rows,
                               QString *reason) {
  auto fail = [reason](const QString &why) {
    if (reason)
      *reason = withoutFullStop(why);
    return false;
  };
  const QString directory = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(directory))
    return fail(QStringLiteral("Das Verzeichnis „%1“ kann nicht angelegt werden")
                    .arg(QDir::toNativeSeparators(directory)));
  QSaveFile file(path);
  // Unbuffered, so that a short write shows at once: a buffered QSaveFile
  // (Qt 6.4) takes a write that stops part-way for a complete one.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
    return fail(file.errorString());
  if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
    const QString why = file.errorString();
    file.cancelWriting();
    return fail(why);
  }
  const QByteArray bytes = EncodeSavedConnections(rows);
  QW_SAVE_STEP(Opened, 0, bytes.size());
  // A short write (disk full, file size limit) is followed by one that
  // fails and says why.
  for (qsizetype written = 0; written < bytes.size();) {
    const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
    if (n <= 0) {
      const QString why = file.errorString();
      file.cancelWriting();
      return fail(why);
    }
    written += n;
    QW_SAVE_STEP(Wrote, written, bytes.size());
  }
  QW_SAVE_STEP(Written, bytes.size(), bytes.size());
  if (!file.commit())
    return fail(file.errorString());
  return true;
}
