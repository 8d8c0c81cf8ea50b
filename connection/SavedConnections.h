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
    ReadBeyondEnd,  // the data ends before all announced rows are complete
    NegativeLength, // a string announces a negative length
  };
  // The rows read completely; a row cut short by a fault is dropped.
  QList<SavedConnection> rows;
  Fault fault = Fault::None;
  // Where the faulty length field starts, and what it says (NegativeLength).
  qsizetype faultOffset = 0;
  std::int32_t faultLength = 0;
};

// Reads the rows of a file's content. Less than the 4 bytes of a count, a
// count of 0 or a negative count mean no rows; bytes after the last announced
// row are ignored. Never allocates more than `bytes` holds.
DecodedConnections DecodeSavedConnections(QByteArrayView bytes);

// One stored string: UTF-8 when it is valid UTF-8, otherwise Windows-1252.
QString DecodeStoredText(QByteArrayView bytes);
// Windows-1252 by a table of our own, for Qt builds without that codec. The
// five bytes that Windows-1252 leaves undefined become the C1 control
// characters of the same value, as Windows itself reads them.
QString Windows1252ToString(QByteArrayView bytes);

// Where options.dat lives: beside the executable when that directory is
// writable (portable use) and the program is not installed (no
// ../share/applications/quellwerk.desktop beside it), otherwise in the user's
// configuration directory (~/.config/quellwerk). Loading and saving both
// follow this rule.
QString SavedConnectionsFilePath();
QString SavedConnectionsFilePath(const QString &programDirectory, const QString &configDirectory);
// ~/.config/quellwerk (the generic configuration location + "/quellwerk").
QString QuellwerkConfigDirectory();
// Replaces the executable's directory in the rule above, so that tests never
// touch a real file; an empty text restores the executable's directory.
void SetSavedConnectionsProgramDirectory(const QString &directory);

struct LoadedConnections {
  bool opened = false; // false: no file, or not readable (no rows, no message)
  DecodedConnections decoded;
};
LoadedConnections ReadSavedConnectionsFile(const QString &path);

// Writes the rows to `path` through a new file that replaces the old one only
// when it is complete, so that a failure leaves the old file whole. The file
// is readable by its owner only (it holds passwords). Creates the directory
// if needed. On failure returns false and sets `reason`.
bool WriteSavedConnectionsFile(const QString &path, const QList<SavedConnection> &rows,
                               QString *reason);

#ifdef QUELLWERK_FAULT_INJECTION
// Built into the save-fault tests only, never into the program: called at each
// step of WriteSavedConnectionsFile, so that a test can stop the saving
// process there, change the file system under it, or kill it.
enum class SaveStep {
  Opened,  // the new file exists, nothing is written to it yet
  Wrote,   // after each write call: `written` of `total` bytes are in the new file
  Written, // every byte is written; the new file has not yet replaced the old one
};
extern void (*SaveStepHook)(SaveStep step, qint64 written, qint64 total);
#endif
