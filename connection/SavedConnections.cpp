#include "connection/SavedConnections.h"

#include "common/FormStorage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Reads one row; after a fault the row is incomplete and must be dropped.
Fault readRow(Reader &reader, SavedConnection &row, DecodedConnections &out) {
  for (QString *text : {&row.host, &row.user, &row.password, &row.port}) {
    const Fault fault = readString(reader, *text, out);
    if (fault != Fault::None)
      return fault;
  }
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

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

QString systemReason() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Closes its descriptor when it goes out of scope.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int descriptor) : fd(descriptor) {}
  ~Descriptor() {
    if (fd >= 0)
      ::close(fd);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  explicit operator bool() const { return fd >= 0; }
};

// What is at `path` itself (a link is not followed); nothing when nothing is there.
std::optional<mode_t> entryMode(const QString &path) {
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
    return std::nullopt;
  return st.st_mode;
}

QString whatIsNotAFile(mode_t mode) {
  if (S_ISLNK(mode))
    return QStringLiteral("ist eine symbolische Verknüpfung");
  if (S_ISDIR(mode))
    return QStringLiteral("ist ein Ordner");
  return QStringLiteral("ist keine gewöhnliche Datei");
}

// A group of this user alone, as Debian gives each user one (with umask 002,
// the user's folders are writable by it).
bool isOwnGroup(gid_t gid) {
  if (gid != ::getegid())
    return false;
  const group *entry = ::getgrgid(gid);
  const passwd *me = ::getpwuid(::geteuid());
  if (!entry || !me)
    return false;
  for (char **member = entry->gr_mem; *member; ++member)
    if (std::strcmp(*member, me->pw_name) != 0)
      return false;
  return true;
}

bool makeFolder(const QString &folder, QString *reason) {
  if (QDir().mkpath(folder))
    return true;
  *reason = QStringLiteral("Das Verzeichnis „%1“ kann nicht angelegt werden").arg(native(folder));
  return false;
}

template <typename AfterWrite>
bool writeFully(int fd, QByteArrayView bytes, AfterWrite afterWrite) {
  // A short write (disk full, file size limit) is followed by one that
  // fails and says why.
  for (qsizetype written = 0; written < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    written += n;
    afterWrite(written);
  }
  return true;
}

// "options.dat.neu-x7Qa2k": the name of a new file from when it has one until
// it replaces the old one. A save killed in between leaves it behind; the
// next save, or the next load while no save runs, knows it by this form and
// removes it (removeUnfinishedSaves). The mark keeps it apart from the copies
// of damaged files ("options.dat.defekt") and the lock file.
const QByteArray TemporaryMark = ".neu-";
constexpr int TemporaryLetters = 6;
const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

QByteArray temporaryName(const QByteArray &finalName) {
  QByteArray name = finalName + TemporaryMark;
  for (int i = 0; i < TemporaryLetters; ++i)
    name += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters) - 1)];
  return name;
}

bool isTemporaryName(const QByteArray &name, const QByteArray &finalName) {
  const QByteArray prefix = finalName + TemporaryMark;
  return name.size() == prefix.size() + TemporaryLetters && name.startsWith(prefix) &&
         std::all_of(name.cbegin() + prefix.size(), name.cend(),
                     [](char c) { return std::strchr(Letters, c) && c != 0; });
}

// Removes the new files of saves that were killed before they replaced the
// old file: regular files of this user with a temporary name beside `path`.
// Only under the save lock, so that no running save loses its new file.
void removeUnfinishedSaves(const QString &path) {
  const QFileInfo info(path);
  const QByteArray finalName = QFile::encodeName(info.fileName());
  const Descriptor folder(::open(QFile::encodeName(info.absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder)
    return;
  const QStringList candidates =
      QDir(info.absolutePath())
          .entryList({info.fileName() + QString::fromLatin1(TemporaryMark) + QLatin1Char('*')},
                     QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
  for (const QString &candidate : candidates) {
    const QByteArray name = QFile::encodeName(candidate);
    struct stat st {};
    if (isTemporaryName(name, finalName) &&
        ::fstatat(folder.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
      ::unlinkat(folder.fd, name.constData(), 0);
  }
}

// Reads a regular file whole without following a link, and without waiting
// on a pipe put in its place.
LoadedConnections readRegularFile(const QString &path) {
  LoadedConnections loaded;
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT)
      return loaded;
    const QString why = systemReason();
    const std::optional<mode_t> mode = entryMode(path);
    loaded.refusal =
        mode && !S_ISREG(*mode)
            ? QStringLiteral("„%1“ %2 und wird nicht gelesen")
                  .arg(native(path), whatIsNotAFile(*mode))
            : QStringLiteral("„%1“ kann nicht gelesen werden: %2").arg(native(path), why);
    return loaded;
  }
  QFile file;
  file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    loaded.refusal = QStringLiteral("„%1“ %2 und wird nicht gelesen")
                         .arg(native(path), whatIsNotAFile(st.st_mode));
    return loaded;
  }
  loaded.content = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    loaded.refusal = QStringLiteral("„%1“ kann nicht gelesen werden: %2")
                         .arg(native(path), withoutFullStop(file.errorString()));
    loaded.content.clear();
    return loaded;
  }
  loaded.opened = true;
  return loaded;
}

// An exclusive lock on "<file>.lock" for one save. Another instance saves in
// a moment; one that holds the lock for longer (stopped, hung) makes this
// save fail with a reason instead of freezing the window.
class SaveLock {
public:
  // Takes the lock of an earlier save when nobody holds it now; creates no
  // lock file and does not wait.
  bool tryExisting(const QString &file) {
    m_fd = ::open(QFile::encodeName(file + QStringLiteral(".lock")).constData(),
                  O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    return m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
  }
  bool acquire(const QString &file, QString *reason) {
    const QString path = file + QStringLiteral(".lock");
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                  0600);
    if (m_fd < 0) {
      *reason = QStringLiteral("die Sperrdatei „%1“ kann nicht geöffnet werden: %2")
                    .arg(native(path), systemReason());
      return false;
    }
    const QDeadlineTimer deadline(3000);
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
        *reason = QStringLiteral("eine andere Instanz von Quellwerk hält die Sperrdatei „%1“")
                      .arg(native(path));
        return false;
      }
      QThread::msleep(20);
    }
    return true;
  }
  ~SaveLock() {
    if (m_fd >= 0)
      ::close(m_fd); // releases the lock
  }

private:
  int m_fd = -1;
};

QString damageReport(const QString &path, const LoadedConnections &loaded, const QString &copy,
                     const QString &copyReason) {
  const DecodedConnections &decoded = loaded.decoded;
  QString what;
  switch (decoded.fault) {
  case Fault::None: return {};
  case Fault::ReadBeyondEnd:
    what = QStringLiteral("sie endet vor dem Ende von Verbindung %1 der angekündigten %2")
               .arg(decoded.rows.size() + 1)
               .arg(decoded.announced);
    break;
  case Fault::NegativeLength:
    what = QStringLiteral("negative Textlänge %1 bei Byte %2")
               .arg(decoded.faultLength)
               .arg(decoded.faultOffset);
    break;
  case Fault::CountDoesNotFit:
    what = QStringLiteral("sie nennt %1 Verbindungen, enthält aber %2")
               .arg(decoded.announced)
               .arg(decoded.rows.size());
    break;
  }
  const QString kept =
      copy.isEmpty()
          ? QStringLiteral("eine Kopie der Datei kann nicht angelegt werden (%1), daher wird sie "
                           "nicht überschrieben")
                .arg(copyReason)
          : QStringLiteral("die Datei ist unverändert als „%1“ aufbewahrt").arg(native(copy));
  return QStringLiteral("Die Datei „%1“ ist beschädigt: %2. Die lesbaren Verbindungen (%3) "
                        "bleiben in der Liste; %4")
      .arg(native(path), what)
      .arg(decoded.rows.size())
      .arg(kept);
}

// `from` without one row equal to each of `rows`.
QList<SavedConnection> without(QList<SavedConnection> from, const QList<SavedConnection> &rows) {
  for (const SavedConnection &row : rows)
    from.removeOne(row);
  return from;
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
  if (!reader.int32(out.announced))
    return out;
  // No reservation by the count: a damaged count must not allocate.
  for (std::int32_t i = 0; i < out.announced; ++i) {
    SavedConnection row;
    out.fault = readRow(reader, row, out);
    if (out.fault != Fault::None)
      return out; // the row cut short is dropped
    out.rows.append(std::move(row));
  }
  // Complete rows after the announced ones: a damaged count (a flipped bit,
  // zero, negative) must not hide them. Anything else there is ignored.
  DecodedConnections beyond;
  for (SavedConnection row; readRow(reader, row, beyond) == Fault::None; row = {})
    out.rows.append(row);
  if (out.announced < 0 || out.rows.size() > out.announced)
    out.fault = Fault::CountDoesNotFit;
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

void SetSavedConnectionsProgramDirectory(const QString &directory) {
  programDirectoryOverride() = directory;
}

namespace {
// Whether users other than this one (and root) may change what is in `folder`:
// another owner, or write permission for others, or for a group that is not
// this user's own. A missing folder counts as such.
bool OthersMayWrite(const QString &folder) {
  struct stat st {};
  if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
    return true;
  if (st.st_uid != 0 && st.st_uid != ::geteuid())
    return true;
  if (st.st_mode & S_IWOTH)
    return true;
  return (st.st_mode & S_IWGRP) && !isOwnGroup(st.st_gid);
}
} // namespace

QString SavedConnectionsFilePath(const QString &programDirectory, const QString &configDirectory,
                                 QString *notice) {
  const QString inConfig = QDir(configDirectory).filePath(FileName);
  // An installed program (its desktop entry in ../share/applications) never
  // keeps the file beside itself, even where it may write there, as root may
  // in /usr/bin: the passwords would lie among the system's programs, in no
  // package, and stay when the package is removed.
  const QString desktopEntry = QStringLiteral("../share/applications/quellwerk.desktop");
  if (programDirectory.isEmpty() ||
      QFileInfo(QDir(programDirectory).filePath(desktopEntry)).isFile())
    return inConfig;
  const QString beside = QDir(programDirectory).filePath(FileName);
  const std::optional<mode_t> mode = entryMode(beside);
  auto passOver = [&](const QString &why) {
    if (notice)
      *notice = QStringLiteral("„%1“ %2; die gespeicherten Verbindungen stehen in „%3“")
                    .arg(native(beside), why, native(inConfig));
    return inConfig;
  };
  // Another user could put a link or a list of his own there.
  if (OthersMayWrite(programDirectory))
    return mode ? passOver(QStringLiteral("wird nicht verwendet, weil auch andere Benutzer in den "
                                          "Ordner „%1“ schreiben dürfen")
                               .arg(native(programDirectory)))
                : inConfig;
  if (mode && !S_ISREG(*mode))
    return passOver(whatIsNotAFile(*mode) + QStringLiteral(" und wird weder gelesen noch ersetzt"));
  // A file in the configuration directory beside a read-only program folder
  // is where an earlier save moved the list.
  const bool inConfigExists = entryMode(inConfig).has_value();
  const bool writable = QFileInfo(programDirectory).isWritable();
  if (mode)
    return writable || !inConfigExists ? beside : inConfig;
  return writable && !inConfigExists ? beside : inConfig;
}

QString SavedConnectionsFilePath(QString *notice) {
  const QString program = programDirectoryOverride().isEmpty()
                              ? QCoreApplication::applicationDirPath()
                              : programDirectoryOverride();
  return SavedConnectionsFilePath(program, QuellwerkConfigDirectory(), notice);
}

LoadedConnections ReadSavedConnectionsFile(const QString &path) {
  LoadedConnections loaded = readRegularFile(path);
  if (loaded.opened)
    loaded.decoded = DecodeSavedConnections(loaded.content);
  return loaded;
}

namespace {
// Keeps a damaged file's `content` beside it as "options.dat.defekt" (then
// ".defekt.2", ".defekt.3", ...), never replacing an earlier copy; a copy
// with the same content is reused. Returns the copy's path (`made` tells
// whether it is new), or an empty text and the reason.
QString KeepDamagedCopy(const QString &path, const QByteArray &content, QString *reason,
                        bool *made = nullptr) {
  for (int n = 1; n <= 999; ++n) {
    const QString copy =
        path + QStringLiteral(".defekt") + (n > 1 ? QStringLiteral(".%1").arg(n) : QString());
    const Descriptor fd(::open(QFile::encodeName(copy).constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd && errno == EEXIST) {
      if (readRegularFile(copy).content == content)
        return copy;
      continue;
    }
    if (!fd || !writeFully(fd.fd, content, [](qint64) {}) || ::fsync(fd.fd) != 0) {
      *reason = systemReason();
      if (fd)
        ::unlink(QFile::encodeName(copy).constData());
      return {};
    }
    if (made)
      *made = true;
    return copy;
  }
  *reason = QStringLiteral("es gibt schon 999 Kopien");
  return {};
}
} // namespace

QList<SavedConnection> MergeSavedConnections(const QList<SavedConnection> &base,
                                             const QList<SavedConnection> &theirs,
                                             const QList<SavedConnection> &mine) {
  if (theirs == base)
    return mine;
  if (mine == base)
    return theirs;
  // Rows are the same when all four texts are; duplicates count one by one.
  QList<SavedConnection> merged = without(mine, without(base, theirs));
  merged += without(theirs, base);
  return merged;
}

bool WriteSavedConnectionsFile(const QString &path, const QList<SavedConnection> &rows,
                               QString *reason) {
  return ReplaceFile(path, EncodeSavedConnections(rows), FileAccess::OwnerOnly, reason);
}

bool ReplaceFile(const QString &path, QByteArrayView bytes, FileAccess access, QString *reason) {
  QString why;
  auto fail = [reason, &why]() {
    if (reason)
      *reason = withoutFullStop(why.isEmpty() ? systemReason() : why);
    return false;
  };
  const QString directory = QFileInfo(path).absolutePath();
  if (!makeFolder(directory, &why))
    return fail();
  const Descriptor folder(
      ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder)
    return fail();
  const QByteArray finalName = QFile::encodeName(QFileInfo(path).fileName());
  // The new file has no name until it is complete (O_TMPFILE), so that a
  // killed save leaves nothing behind; where the file system cannot do that,
  // it has a temporary name that a failure removes again.
  QByteArray tempName;
  const mode_t mode = access == FileAccess::OwnerOnly ? 0600 : 0666; // the umask applies
  Descriptor file(::openat(folder.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
  if (!file && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    do {
      tempName = temporaryName(finalName);
      file.fd = ::openat(folder.fd, tempName.constData(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    } while (!file && errno == EEXIST);
  }
  auto failAndClean = [&]() {
    why = systemReason();
    if (!tempName.isEmpty())
      ::unlinkat(folder.fd, tempName.constData(), 0);
    return fail();
  };
  if (!file) {
    tempName.clear();
    return fail();
  }
  if (access == FileAccess::OwnerOnly && ::fchmod(file.fd, 0600) != 0)
    return failAndClean();
  QW_SAVE_STEP(Opened, 0, bytes.size());
  if (!writeFully(file.fd, bytes, [&]([[maybe_unused]] qint64 written) {
        QW_SAVE_STEP(Wrote, written, bytes.size());
      }))
    return failAndClean();
  QW_SAVE_STEP(Written, bytes.size(), bytes.size());
  if (::fsync(file.fd) != 0)
    return failAndClean();
  if (tempName.isEmpty()) {
    // A link cannot replace a name: the new file gets a temporary one first.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.fd);
    int linked = -1;
    do {
      tempName = temporaryName(finalName);
      linked =
          ::linkat(AT_FDCWD, self.constData(), folder.fd, tempName.constData(), AT_SYMLINK_FOLLOW);
    } while (linked != 0 && errno == EEXIST);
    if (linked != 0) {
      tempName.clear();
      return fail();
    }
  }
  QW_SAVE_STEP(Named, bytes.size(), bytes.size());
  // rename replaces whatever has the final name, a link included, and never
  // follows it.
  if (::renameat(folder.fd, tempName.constData(), folder.fd, finalName.constData()) != 0)
    return failAndClean();
  ::fsync(folder.fd); // the new name survives a power cut
  return true;
}

SavedConnectionsStore::Result SavedConnectionsStore::load() {
  Result result;
  QString passedOver;
  m_file = SavedConnectionsFilePath(&passedOver);
  if (!passedOver.isEmpty())
    result.errors << passedOver;
  const QString folder = QFileInfo(m_file).absolutePath();
  if (entryMode(m_file) && OthersMayWrite(folder)) {
    result.errors << QStringLiteral("„%1“ wird nicht gelesen, weil auch andere Benutzer in den "
                                    "Ordner „%2“ schreiben dürfen")
                         .arg(native(m_file), native(folder));
    return result;
  }
  if (SaveLock lock; lock.tryExisting(m_file))
    removeUnfinishedSaves(m_file);
  const LoadedConnections loaded = ReadSavedConnectionsFile(m_file);
  if (!loaded.refusal.isEmpty())
    result.errors << loaded.refusal +
                         (QFileInfo(m_file).isSymLink()
                              ? QStringLiteral("; das nächste Speichern legt an ihrer Stelle "
                                               "eine eigene Datei an")
                              : QString());
  if (loaded.decoded.fault != Fault::None) {
    QString reason;
    const QString copy = KeepDamagedCopy(m_file, loaded.content, &reason);
    result.errors << damageReport(m_file, loaded, copy, reason);
  }
  result.rows = loaded.decoded.rows;
  m_base = result.rows;
  return result;
}

SavedConnectionsStore::Result SavedConnectionsStore::save(const QList<SavedConnection> &rows) {
  Result result;
  const QString inConfig = QDir(QuellwerkConfigDirectory()).filePath(FileName);
  const QFileInfo folder(QFileInfo(m_file).absolutePath());
  const bool moving = m_file != inConfig && folder.isDir() && !folder.isWritable();
  const QString target = moving ? inConfig : m_file;
  QString reason;
  auto failed = [&]() {
    result.errors << QStringLiteral("Die gespeicherten Verbindungen konnten nicht in „%1“ "
                                    "geschrieben werden: %2")
                         .arg(native(target), reason);
    return result;
  };
  const QString targetFolder = QFileInfo(target).absolutePath();
  if (!makeFolder(targetFolder, &reason))
    return failed();
  if (OthersMayWrite(targetFolder)) {
    reason = QStringLiteral("auch andere Benutzer dürfen in den Ordner „%1“ schreiben")
                 .arg(native(targetFolder));
    return failed();
  }
  SaveLock lock;
  if (!lock.acquire(target, &reason))
    return failed();
  removeUnfinishedSaves(target);
  // What other instances saved since this one last read or wrote the file.
  const LoadedConnections current = ReadSavedConnectionsFile(target);
  if (!current.refusal.isEmpty() && !QFileInfo(target).isSymLink()) {
    reason = current.refusal;
    return failed();
  }
  QList<SavedConnection> merged = rows;
  if (current.opened) {
    if (current.decoded.fault != Fault::None) {
      bool made = false;
      const QString copy = KeepDamagedCopy(target, current.content, &reason, &made);
      if (copy.isEmpty()) {
        reason = damageReport(target, current, copy, reason);
        return failed();
      }
      if (made)
        result.errors << damageReport(target, current, copy, reason);
    }
    merged = MergeSavedConnections(m_base, current.decoded.rows, rows);
  }
  if (!WriteSavedConnectionsFile(target, merged, &reason))
    return failed();
  if (moving)
    result.notice = QStringLiteral("Der Ordner „%1“ ist schreibgeschützt. Die gespeicherten "
                                   "Verbindungen aus „%2“ stehen ab jetzt in „%3“.")
                        .arg(native(folder.filePath()), native(m_file), native(target));
  m_file = target;
  m_base = merged;
  result.saved = true;
  result.rows = merged;
  return result;
}
