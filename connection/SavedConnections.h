// The saved connections of the connection dialog and their file options.dat.
//
// Byte format (all integers 32-bit signed little-endian, no header, no
// terminator): the number of rows, then per row four strings in the order
// host, user name, password, port. A string is its length in bytes followed
// by that many bytes, without a terminating zero. Strings are written as
// UTF-8; a string that is not valid UTF-8 (a file from the old 8-bit
// program) is read as Windows-1252.
//
// Nothing here touches a widget, so the codec can be tested and fuzzed alone.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

struct SavedConnection {
  QString host;
  QString user;
  QString password;
  QString port;
  friend bool operator==(const SavedConnection &, const SavedConnection &) = default;
};

QByteArray EncodeSavedConnections(const QList<SavedConnection> &rows);

struct DecodedConnections {
  enum class Fault {
    None,
    ReadBeyondEnd,   // the data ends before all announced rows are complete
    NegativeLength,  // a string announces a negative length
    CountDoesNotFit, // a negative count, or complete rows after the announced ones
  };
  // The rows read completely; a row cut short by a fault is dropped.
  QList<SavedConnection> rows;
  Fault fault = Fault::None;
  std::int32_t announced = 0; // the count at the start of the data
  // Where the faulty length field starts, and what it says (NegativeLength).
  qsizetype faultOffset = 0;
  std::int32_t faultLength = 0;
};

// Reads the rows of a file's content. Less than the 4 bytes of a count means
// no rows. A count that does not fit the rows after it (negative, or too small
// for the complete rows that follow) is a fault, and every complete row is
// read all the same; other bytes after the last announced row are ignored.
// Never allocates more than `bytes` holds.
DecodedConnections DecodeSavedConnections(QByteArrayView bytes);

// One stored string: UTF-8 when it is valid UTF-8, otherwise Windows-1252.
QString DecodeStoredText(QByteArrayView bytes);
// Windows-1252 by a table of our own, for Qt builds without that codec. The
// five bytes that Windows-1252 leaves undefined become the C1 control
// characters of the same value, as Windows itself reads them.
QString Windows1252ToString(QByteArrayView bytes);

// Where options.dat lives. An existing file is found where the user had it:
// the program's folder first (a regular file, never through a link), then the
// user's configuration directory (~/.config/quellwerk); a new list goes beside
// the executable when that folder is writable (portable use), otherwise into
// the configuration directory. The program's folder is never used when the
// program is installed (its desktop entry in ../share/applications) or when
// other users may write to it. `notice`, if given, receives a German sentence
// when a file beside the program is passed over (a link, a folder others may
// write), and stays empty otherwise.
QString SavedConnectionsFilePath(const QString &programDirectory, const QString &configDirectory,
                                 QString *notice = nullptr);
QString SavedConnectionsFilePath(QString *notice = nullptr);
// Replaces the executable's directory in the rule above, so that tests never
// touch a real file; an empty text restores the executable's directory.
void SetSavedConnectionsProgramDirectory(const QString &directory);

struct LoadedConnections {
  bool opened = false; // false: nothing there, or not read (see `refusal`)
  // Why something at the path was not read (German): a link, a folder, no
  // permission. Empty when it was read or when nothing is there.
  QString refusal;
  DecodedConnections decoded;
  QByteArray content; // the bytes read
};
// Reads a regular file; a symbolic link is never followed.
LoadedConnections ReadSavedConnectionsFile(const QString &path);

// The rows after a save that found the file changed by another instance:
// `mine` without the rows the other instance deleted since `base`, followed by
// the rows it added. A row changed on both sides is kept in both versions, and
// a row that one side deleted and the other changed is kept as changed.
QList<SavedConnection> MergeSavedConnections(const QList<SavedConnection> &base,
                                             const QList<SavedConnection> &theirs,
                                             const QList<SavedConnection> &mine);

// Writes the rows to `path` through a new file that replaces the old one only
// when it is complete, so that a failure leaves the old file whole. A link at
// `path` is replaced, never followed. The file is readable by its owner only
// (it holds passwords). Creates the directory if needed. On failure returns
// false and sets `reason`. The new file has no name while it is written;
// only for the moment before it replaces the old one has it a temporary name
// ("options.dat.neu-XXXXXX"), which a save killed right then leaves behind
// for the store to remove.
bool WriteSavedConnectionsFile(const QString &path, const QList<SavedConnection> &rows,
                               QString *reason);

// How WriteSavedConnectionsFile writes, for any file: `bytes` go into a new
// file in the same folder, which replaces the old one only when it is
// complete and on disk. A link at `path` is replaced, never followed.
// OwnerOnly: readable by its owner alone; Shared: as the umask lets it be.
enum class FileAccess { OwnerOnly, Shared };
bool ReplaceFile(const QString &path, QByteArrayView bytes, FileAccess access, QString *reason);

// The list's file for one run of the program: where it lives (decided at the
// first load) and what this instance last read there or wrote, against which
// a save merges what other running instances saved meanwhile.
class SavedConnectionsStore {
public:
  struct Result {
    bool saved = false;
    // Load: the readable rows. Save: what the file holds now, the rows of
    // other instances merged in.
    QList<SavedConnection> rows;
    // German, each naming the file: what went wrong (errors), and where the
    // list went when its folder was read-only (notice).
    QStringList errors;
    QString notice;
  };

  // Also removes what killed saves left behind, when no save runs meanwhile.
  Result load();
  // Saves the whole list under a lock on "options.dat.lock" beside the file,
  // and removes what killed saves left behind. When the file's folder is
  // read-only (the program's folder), the list moves to the configuration
  // directory and stays there.
  Result save(const QList<SavedConnection> &rows);
  QString file() const { return m_file; }

private:
  QString m_file;
  QList<SavedConnection> m_base;
};

#ifdef QUELLWERK_FAULT_INJECTION
// Built into the save-fault tests only, never into the program: called at each
// step of WriteSavedConnectionsFile, so that a test can stop the saving
// process there, change the file system under it, or kill it.
enum class SaveStep {
  Opened,  // the new file exists, nothing is written to it yet
  Wrote,   // after each write call: `written` of `total` bytes are in the new file
  Written, // every byte is written; the new file has not yet replaced the old one
  Named,   // the new file has its temporary name and is about to replace the old one
};
extern void (*SaveStepHook)(SaveStep step, qint64 written, qint64 total);
#endif
