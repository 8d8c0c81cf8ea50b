// options.dat without the dialog: the byte format, damaged contents, the text
// encoding, where the file lives, and how it is replaced.
#include "common/FormStorage.h"
#include "connection/SavedConnections.h"
#include "tests/connection/FileTestTools.h"

#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <new>

using namespace filetest;
using Fault = DecodedConnections::Fault;

namespace {

// Caps this process's address space a little above what it uses now, for one
// scope: an allocation of gigabytes fails instead of succeeding quietly.
class AddressSpaceLimit {
public:
  explicit AddressSpaceLimit(rlim_t headroom) {
    ::getrlimit(RLIMIT_AS, &m_old);
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit limit = m_old;
    limit.rlim_cur =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
    m_active = pages > 0 && ::setrlimit(RLIMIT_AS, &limit) == 0;
  }
  ~AddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &m_old); }
  bool active() const { return m_active; }
  AddressSpaceLimit(const AddressSpaceLimit &) = delete;
  AddressSpaceLimit &operator=(const AddressSpaceLimit &) = delete;

private:
  rlimit m_old{};
  bool m_active = false;
};

QList<SavedConnection> threeRows() {
  return {
      {QStringLiteral("localhost"), QStringLiteral("root"), QStringLiteral("geheim"),
       QStringLiteral("3306")},
      // Empty password; umlauts and a sharp s in host and user name.
      {QStringLiteral("db-süd.example.org"), QStringLiteral("Jörg Weiß"), QString(),
       QStringLiteral("3307")},
      // A text that starts with U+FEFF keeps it; one with a NUL keeps everything after it.
      {QStringLiteral("\uFEFF10.0.0.1"), QStringLiteral("a\u0000b"), QStringLiteral("p€ss✓"),
       QString()},
  };
}

} // namespace

class SavedConnectionsTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_home;

private slots:
  void initTestCase() {
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
    SetSavedConnectionsProgramDirectory(m_home.filePath(QStringLiteral("program")));
    QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("program"))));
  }

  void exactBytesAndRoundTrip() {
    // One row, byte by byte: count, then host, user, password and port.
    const QByteArray one = EncodeSavedConnections(
        {{QStringLiteral("h"), QStringLiteral("Mü"), QString(), QStringLiteral("3306")}});
    QCOMPARE(one.toHex(' '), QByteArray("01 00 00 00 "
                                        "01 00 00 00 68 "
                                        "03 00 00 00 4d c3 bc "
                                        "00 00 00 00 "
                                        "04 00 00 00 33 33 30 36"));
    // No rows: the four bytes of a zero count.
    QCOMPARE(EncodeSavedConnections({}), QByteArray("\0\0\0\0", 4));

    // Three rows come back the same, in the same order, and encode to the same bytes.
    const QByteArray bytes = EncodeSavedConnections(threeRows());
    QCOMPARE(bytes, le32(3) + row("localhost", "root", "geheim", "3306") +
                        row("db-s\xc3\xbc"
                            "d.example.org",
                            "J\xc3\xb6rg Wei\xc3\x9f", "", "3307") +
                        row("\xef\xbb\xbf"
                            "10.0.0.1",
                            QByteArray("a\0b", 3), "p\xe2\x82\xacss\xe2\x9c\x93", ""));
    const DecodedConnections decoded = DecodeSavedConnections(bytes);
    QCOMPARE(decoded.fault, Fault::None);
    QCOMPARE(decoded.rows, threeRows());
    QCOMPARE(decoded.rows[1].password, QString());
    QCOMPARE(decoded.rows[2].user.size(), 3);
    QCOMPARE(EncodeSavedConnections(decoded.rows), bytes);

    // Bytes after the last announced row are ignored.
    const DecodedConnections trailing =
        DecodeSavedConnections(le32(1) + row("a", "b", "c", "d") + "junk");
    QCOMPARE(trailing.fault, Fault::None);
    QCOMPARE(trailing.rows.size(), 1);
  }

  void countsThatMeanNoRows() {
    const QList<QByteArray> contents = {
        QByteArray(), QByteArray("\x05", 1), QByteArray("\x05\x00\x00", 3), // shorter than a count
        le32(0),      le32(0) + "junk",
    };
    for (const QByteArray &content : contents) {
      const DecodedConnections decoded = DecodeSavedConnections(content);
      QVERIFY2(decoded.rows.isEmpty(), content.toHex().constData());
      QVERIFY2(decoded.fault == Fault::None, content.toHex().constData());
    }
  }

  void damagedContent() {
    const QByteArray first = row("eins", "u1", "p1", "1");
    const QByteArray second = row("zwei", "u2", "p2", "2");

    // More rows announced than present: the complete rows, then the end of the data.
    DecodedConnections d = DecodeSavedConnections(le32(3) + first + second);
    QCOMPARE(d.fault, Fault::ReadBeyondEnd);
    QCOMPARE(d.rows.size(), 2);
    QCOMPARE(d.rows[1].host, QStringLiteral("zwei"));

    // A string cut short in the second row: that row is dropped, the first stays.
    d = DecodeSavedConnections(le32(2) + first + str("zwei") + le32(10) + "abc");
    QCOMPARE(d.fault, Fault::ReadBeyondEnd);
    QCOMPARE(d.rows.size(), 1);
    QCOMPARE(d.rows[0].port, QStringLiteral("1"));

    // A length field cut short, and a row that stops between two strings.
    d = DecodeSavedConnections(le32(2) + first + QByteArray("\x04\x00", 2));
    QCOMPARE(d.fault, Fault::ReadBeyondEnd);
    QCOMPARE(d.rows.size(), 1);
    d = DecodeSavedConnections(le32(1) + str("nur") + str("host"));
    QCOMPARE(d.fault, Fault::ReadBeyondEnd);
    QVERIFY(d.rows.isEmpty());

    // A negative length: its own fault, with where it stands and what it says.
    const QByteArray negative = le32(2) + first + str("zwei") + le32(-5) + "xxxxx";
    d = DecodeSavedConnections(negative);
    QCOMPARE(d.fault, Fault::NegativeLength);
    QCOMPARE(d.rows.size(), 1);
    QCOMPARE(d.faultLength, -5);
    QCOMPARE(d.faultOffset, qsizetype(4 + first.size() + 8));

    // Lengths and counts of two gigabytes in a file of a few bytes: read with
    // no more memory than the file holds.
    {
      AddressSpaceLimit limit(256 * 1024 * 1024);
      if (!limit.active())
        QSKIP("cannot limit the address space here");
      try {
        d = DecodeSavedConnections(le32(1) + le32(0x7fffffff) + "abc");
        QCOMPARE(d.fault, Fault::ReadBeyondEnd);
        QVERIFY(d.rows.isEmpty());
        d = DecodeSavedConnections(le32(0x7fffffff) + first);
        QCOMPARE(d.fault, Fault::ReadBeyondEnd);
        QCOMPARE(d.rows.size(), 1);
        d = DecodeSavedConnections(le32(1) + str("h") + le32(0x7ffffff0));
        QCOMPARE(d.fault, Fault::ReadBeyondEnd);
      } catch (const std::bad_alloc &) {
        QFAIL("a length field made the reader allocate what the data does not hold");
      }
    }
  }

  void merging_data() {
    QTest::addColumn<QString>("sides"); // hosts of base | theirs | mine | merged
    QTest::newRow("only theirs changed") << "a b | a c | a b | a c";
    QTest::newRow("both added") << "a | a B | a A | a A B";
    QTest::newRow("they deleted, I added") << "a b | b | a b c | b c";
    QTest::newRow("both changed a row") << "a b | x b | y b | y b x";
    QTest::newRow("I deleted what they changed") << "a b | x b | b | b x";
    QTest::newRow("a duplicate deleted once") << "a a | a a c | a | a c";
  }

  // A row changed on both sides is kept in both versions; no deletion removes
  // a row that the other side changed.
  void merging() {
    QFETCH(QString, sides);
    QList<QList<SavedConnection>> rows;
    for (const QString &side : sides.split(QLatin1Char('|'))) {
      rows.append(QList<SavedConnection>());
      for (const QString &host : side.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        rows.last().append(
            {host, QStringLiteral("u"), QStringLiteral("p"), QStringLiteral("3306")});
    }
    QCOMPARE(MergeSavedConnections(rows[0], rows[1], rows[2]), rows[3]);
  }

  void textsNotUtf8AreWindows1252() {
    // Strings of the old 8-bit program, one by one: a valid UTF-8 string next
    // to them stays UTF-8.
    const QByteArray old = le32(1) + row("M\xfcller-PC", "J\xf6rg", "\x80uro\x9f", "\xc3\xa4");
    const DecodedConnections d = DecodeSavedConnections(old);
    QCOMPARE(d.fault, Fault::None);
    QCOMPARE(d.rows.size(), 1);
    QCOMPARE(d.rows[0].host, QStringLiteral("Müller-PC"));
    QCOMPARE(d.rows[0].user, QStringLiteral("Jörg"));
    QCOMPARE(d.rows[0].password, QStringLiteral("€uroŸ"));
    QCOMPARE(d.rows[0].port, QStringLiteral("ä"));

    // Not valid UTF-8: a sequence cut off at the end, an encoded surrogate,
    // an overlong form, a code point above U+10FFFF.
    QCOMPARE(DecodeStoredText("abc\xc3"), QStringLiteral("abcÃ"));
    QCOMPARE(DecodeStoredText("\xed\xa0\x80"), QStringLiteral("í\u00a0€"));
    QCOMPARE(DecodeStoredText("\xc0\xaf"), QStringLiteral("À¯"));
    QCOMPARE(DecodeStoredText("\xf4\x90\x80\x80"), QStringLiteral("ô\u0090€€"));
    QCOMPARE(DecodeStoredText(""), QString());

    // Our own table reads every byte as the system's Windows-1252 codec does.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
      all.append(static_cast<char>(b));
    const QString table = Windows1252ToString(all);
    QCOMPARE(table.size(), 256);
    QCOMPARE(table.at(0x80), QChar(0x20AC));
    QCOMPARE(table.at(0x81), QChar(0x0081));
    QCOMPARE(table.at(0x9F), QChar(0x0178));
    QCOMPARE(table.at(0xE4), QChar(0x00E4));
    QStringDecoder system("windows-1252");
    if (system.isValid())
      QCOMPARE(table, system.decode(all));
  }

  void fileLocation() {
    QTemporaryDir temp;
    const QString program = temp.filePath(QStringLiteral("bin"));
    const QString config = temp.filePath(QStringLiteral("config"));
    QVERIFY(QDir().mkpath(program));

    // Beside the executable while that directory is writable.
    QCOMPARE(SavedConnectionsFilePath(program, config), program + QStringLiteral("/options.dat"));
    // But not when the program is installed (its desktop entry in
    // ../share/applications), even where it may write there (root in /usr/bin).
    const QString prefix = temp.filePath(QStringLiteral("usr"));
    QVERIFY(QDir().mkpath(prefix + QStringLiteral("/bin")));
    QVERIFY(QDir().mkpath(prefix + QStringLiteral("/share/applications")));
    QFile entry(prefix + QStringLiteral("/share/applications/quellwerk.desktop"));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.close();
    QCOMPARE(SavedConnectionsFilePath(prefix + QStringLiteral("/bin"), config),
             config + QStringLiteral("/options.dat"));
    // Otherwise in the configuration directory: a directory that does not exist ...
    QCOMPARE(SavedConnectionsFilePath(temp.filePath(QStringLiteral("none")), config),
             config + QStringLiteral("/options.dat"));
    // ... and one that this user may not write to.
    QVERIFY(dropPermissionOverrides());
    QVERIFY(setMode(program, 0555));
    const bool refuses = refusesNewFiles(program);
    const QString readOnly = SavedConnectionsFilePath(program, config);
    setMode(program, 0755);
    if (!refuses)
      QSKIP("this process may write to any directory");
    QCOMPARE(readOnly, config + QStringLiteral("/options.dat"));

    // The configuration directory is ~/.config/quellwerk, and the program's
    // own rule takes the directory it was given (here, in the test's home).
    QCOMPARE(QuellwerkConfigDirectory(),
             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 QStringLiteral("/quellwerk"));
    QVERIFY(QuellwerkConfigDirectory().startsWith(m_home.path()));
    QCOMPARE(SavedConnectionsFilePath(), m_home.filePath(QStringLiteral("program/options.dat")));
  }

  void listFoundWhereTheUserHadIt_data() {
    // Beside the program: nothing, a file, a link to a file or to a folder.
    QTest::addColumn<QString>("beside"); // "", "file", "link", "dirlink"
    QTest::addColumn<uint>("mode");      // of the program's folder
    QTest::addColumn<bool>("inConfig");  // a list in ~/.config/quellwerk already
    QTest::addColumn<bool>("besideUsed");
    QTest::newRow("file beside") << "file" << 0755u << false << true;
    QTest::newRow("link to a file") << "link" << 0755u << false << false;
    QTest::newRow("link to a folder") << "dirlink" << 0755u << false << false;
    QTest::newRow("folder others may write") << "file" << 01777u << false << false;
    QTest::newRow("read-only folder") << "file" << 0555u << false << true;
    QTest::newRow("read-only folder, list moved") << "file" << 0555u << true << false;
    QTest::newRow("earlier list in config") << "" << 0755u << true << false;
  }

  // Load, add a row, save, load again as the next run: the same file, all
  // rows, and nothing written beside the program but the list's own file.
  void listFoundWhereTheUserHadIt() {
    QFETCH(QString, beside);
    QFETCH(uint, mode);
    QFETCH(bool, inConfig);
    QFETCH(bool, besideUsed);
    QVERIFY(dropPermissionOverrides());
    QTemporaryDir temp;
    const QString program = temp.filePath(QStringLiteral("bin"));
    const QString besidePath = program + QStringLiteral("/options.dat");
    const QString configFile = QuellwerkConfigDirectory() + QStringLiteral("/options.dat");
    const QString foreign = temp.filePath(QStringLiteral("fremd"));
    const QByteArray foreignBytes = EncodeSavedConnections(threeRows().mid(0, 1));
    QVERIFY(QDir().mkpath(program) && writeAll(foreign, foreignBytes) && setMode(foreign, 0644));
    QFile::remove(configFile);
    if (beside == QLatin1String("file"))
      QVERIFY(writeAll(besidePath, EncodeSavedConnections(threeRows())));
    if (beside.endsWith(QLatin1String("link")))
      QVERIFY(QFile::link(beside == QLatin1String("link") ? foreign : temp.path(), besidePath));
    if (inConfig)
      QVERIFY(WriteSavedConnectionsFile(configFile, threeRows().mid(2), nullptr));
    const QByteArray besideBefore = readAll(besidePath);
    QVERIFY(setMode(program, mode));
    if (mode == 0555u && !refusesNewFiles(program))
      QSKIP("this process may write to any directory");
    SetSavedConnectionsProgramDirectory(program);

    SavedConnectionsStore store;
    const SavedConnectionsStore::Result loaded = store.load();
    QCOMPARE(store.file(), besideUsed ? besidePath : configFile);
    // A file passed over is reported with its name.
    QCOMPARE(loaded.errors.join(QString()).contains(besidePath),
             !beside.isEmpty() && !besideUsed && !inConfig);
    const QList<SavedConnection> added = loaded.rows + threeRows().mid(1, 1);
    const SavedConnectionsStore::Result saved = store.save(added);
    const bool moved = besideUsed && mode == 0555u;
    QVERIFY2(saved.saved, qPrintable(saved.errors.join(QLatin1Char('\n'))));
    QCOMPARE(saved.notice.isEmpty(), !moved);
    SavedConnectionsStore next;
    QCOMPARE(next.load().rows, added);
    QCOMPARE(next.file(), store.file());
    setMode(program, 0755);
    if (!besideUsed || moved)
      QCOMPARE(readAll(besidePath), besideBefore);
    QCOMPARE(readAll(foreign), foreignBytes);
    QCOMPARE(modeOf(foreign), 0644u);
    SetSavedConnectionsProgramDirectory(m_home.filePath(QStringLiteral("program")));
  }

  void savingAndReading() {
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("config/quellwerk/options.dat"));
    QString reason;

    // Nothing there yet: nothing opened. A directory in its place is not read either.
    QVERIFY(!ReadSavedConnectionsFile(path).opened);
    QVERIFY(QDir().mkpath(temp.filePath(QStringLiteral("dir/options.dat"))));
    QVERIFY(!ReadSavedConnectionsFile(temp.filePath(QStringLiteral("dir/options.dat"))).opened);

    // The first save creates the directory and a file for its owner only.
    QVERIFY2(WriteSavedConnectionsFile(path, threeRows(), &reason), qPrintable(reason));
    QCOMPARE(modeOf(path), 0600u);
    QCOMPARE(readAll(path), EncodeSavedConnections(threeRows()));
    LoadedConnections loaded = ReadSavedConnectionsFile(path);
    QVERIFY(loaded.opened);
    QCOMPARE(loaded.decoded.rows, threeRows());

    // A file that others could read becomes the owner's alone at the next save.
    QVERIFY(setMode(path, 0644));
    QVERIFY(WriteSavedConnectionsFile(path, threeRows().mid(0, 1), &reason));
    QCOMPARE(modeOf(path), 0600u);
    QCOMPARE(ReadSavedConnectionsFile(path).decoded.rows, threeRows().mid(0, 1));
  }

  void failedSavesLeaveTheOldFileWhole() {
    QTemporaryDir temp;
    const QString directory = temp.filePath(QStringLiteral("quellwerk"));
    const QString path = directory + QStringLiteral("/options.dat");
    QString reason;
    QVERIFY(WriteSavedConnectionsFile(path, threeRows(), &reason));
    const QByteArray old = readAll(path);

    // A write that fails part-way (the file size limit is reached after some bytes).
    QList<SavedConnection> many;
    for (int i = 0; i < 200; ++i)
      many.append({QStringLiteral("host-%1.example.org").arg(i), QStringLiteral("benutzer"),
                   QStringLiteral("passwort"), QStringLiteral("3306")});
    QVERIFY(EncodeSavedConnections(many).size() > 8 * old.size());
    {
      FileSizeLimit limit(static_cast<rlim_t>(old.size()) * 2);
      QVERIFY(!WriteSavedConnectionsFile(path, many, &reason));
    }
    QVERIFY(!reason.isEmpty());
    QVERIFY(!reason.endsWith(QLatin1Char('.')));
    QCOMPARE(readAll(path), old);
    // No half-written file stays behind.
    QCOMPARE(QDir(directory).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("options.dat")});

    // A directory that cannot be made: the reason names it.
    QVERIFY(writeAll(temp.filePath(QStringLiteral("file")), "x"));
    reason.clear();
    QVERIFY(!WriteSavedConnectionsFile(temp.filePath(QStringLiteral("file/sub/options.dat")),
                                       threeRows(), &reason));
    QVERIFY2(reason.contains(temp.filePath(QStringLiteral("file/sub"))), qPrintable(reason));

    // A directory this user may not write to.
    QVERIFY(dropPermissionOverrides());
    QVERIFY(setMode(directory, 0555));
    const bool refuses = refusesNewFiles(directory);
    reason.clear();
    const bool saved = WriteSavedConnectionsFile(path, many, &reason);
    setMode(directory, 0755);
    if (!refuses)
      QSKIP("this process may write to any directory");
    QVERIFY(!saved);
    QVERIFY(!reason.isEmpty());
    QCOMPARE(readAll(path), old);
  }
};

QTEST_GUILESS_MAIN(SavedConnectionsTest)
#include "tst_savedconnections.moc"
