// Small helpers for the tests of options.dat: building file contents by hand,
// reading and writing whole files, and making the file system refuse.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <csignal>
#include <cstdint>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace filetest {

// A 32-bit little-endian integer.
inline QByteArray le32(std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  QByteArray bytes;
  for (int shift = 0; shift < 32; shift += 8)
    bytes.append(static_cast<char>((u >> shift) & 0xFF));
  return bytes;
}

// A stored string: its byte length, then its bytes.
inline QByteArray str(const QByteArray &bytes) {
  return le32(static_cast<std::int32_t>(bytes.size())) + bytes;
}

inline QByteArray row(const QByteArray &host, const QByteArray &user, const QByteArray &password,
                      const QByteArray &port) {
  return str(host) + str(user) + str(password) + str(port);
}

inline QByteArray readAll(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {};
  return file.readAll();
}

inline bool writeAll(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline unsigned modeOf(const QString &path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0)
    return 0;
  return st.st_mode & 07777;
}

inline bool setMode(const QString &path, unsigned mode) {
  return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// Running as root, permission bits do not stop this process; giving up the
// capabilities that override them lets the tests see what an ordinary user
// sees. Capabilities belong to the thread, and the tests run on this one.
inline bool dropPermissionOverrides() {
  if (::geteuid() != 0)
    return true;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0)
    return false;
  for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
    const std::uint32_t bit = 1u << (cap % 32);
    data[cap / 32].effective &= ~bit;
    data[cap / 32].permitted &= ~bit;
    data[cap / 32].inheritable &= ~bit;
  }
  return ::syscall(SYS_capset, &header, data) == 0;
}

// Whether a directory really refuses new files to this process.
inline bool refusesNewFiles(const QString &directory) {
  QFile probe(QDir(directory).filePath(QStringLiteral("probe")));
  if (probe.open(QIODevice::WriteOnly)) {
    probe.remove();
    return false;
  }
  return true;
}

// Limits the size of files this process writes, for one scope: a write past
// the limit fails part-way (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    ::signal(SIGXFSZ, m_oldHandler);
  }
  FileSizeLimit(const FileSizeLimit &) = delete;
  FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
  rlimit m_old{};
  sighandler_t m_oldHandler;
};

} // namespace filetest
