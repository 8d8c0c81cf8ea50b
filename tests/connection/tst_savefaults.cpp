// Saving options.dat when things go wrong: a full disk, a file system without
// free inodes, a read-only file system, a directory that turns read-only
// before or during the save, and the program killed (SIGKILL) right after
// the new file was created, part-way through writing it, after writing it,
// and when it had its temporary name but had not yet replaced the old one.
// Whatever happens, the file that was there before stays whole and loads
// with all its rows, and the next save or load leaves nothing else behind.
//
// This program builds SavedConnections.cpp with QUELLWERK_FAULT_INJECTION, so
// that a save calls SaveStepHook at each of its steps. It starts itself again
// as a child (--save-fault-child MODE PATH) for the saves that are killed or
// that must run without root's permission overrides.
//
// The full-disk cases mount small tmpfs file systems in a mount namespace of
// this test's own, so they need root (CAP_SYS_ADMIN). Without it they fail
// under CI and are skipped elsewhere.
#include "connection/SavedConnections.h"
#include "tests/connection/FileTestTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>

using namespace filetest;

namespace {

const char ChildFlag[] = "--save-fault-child";

QList<SavedConnection> oldRows() {
  return {
      {QStringLiteral("localhost"), QStringLiteral("root"), QStringLiteral("geheim"),
       QStringLiteral("3306")},
      {QStringLiteral("db-süd.example.org"), QStringLiteral("Jörg Weiß"), QString(),
       QStringLiteral("3307")},
  };
}

// Far more than one page of the file system, so that a write can stop part-way.
QList<SavedConnection> newRows() {
  QList<SavedConnection> rows;
  for (int i = 0; i < 400; ++i)
    rows.append({QStringLiteral("host-%1.example.org").arg(i), QStringLiteral("benutzer-%1").arg(i),
                 QStringLiteral("passwort-%1").arg(i), QStringLiteral("3306")});
  return rows;
}

// The save's temporary files beside options.dat ("options.dat.XXXXXX").
QStringList leftovers(const QString &directory) {
  return QDir(directory).entryList({QStringLiteral("options.dat.*")}, QDir::Files | QDir::Hidden);
}

// Everything in the folder but options.dat and the lock file that every save takes.
QStringList strays(const QString &directory) {
  QStringList names =
      QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  names.removeAll(QStringLiteral("options.dat"));
  names.removeAll(QStringLiteral("options.dat.lock"));
  return names;
}

// The new file that the process `pid` is writing in `directory`, read through
// its open descriptor: on Linux the save writes an unnamed file (O_TMPFILE)
// that gets a name only when it replaces the old one. A null array when the
// process has none open there.
QByteArray fileBeingWritten(qint64 pid, const QString &directory) {
  const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
  for (const QString &fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
    const QString target = QFile::symLinkTarget(QDir(fds).filePath(fd));
    if (target.startsWith(directory + QLatin1Char('/')) &&
        !target.endsWith(QLatin1String(".lock"))) {
      QByteArray content = readAll(QDir(fds).filePath(fd));
      if (content.isNull())
        content = QByteArray(""); // empty, but open
      return content;
    }
  }
  return {};
}

bool underCi() { return !qEnvironmentVariable("CI").isEmpty(); }

// ---- the child process -----------------------------------------------------

QString g_childDirectory;

void say(const QByteArray &line) {
  std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

[[noreturn]] void waitToBeKilled() {
  for (;;)
    ::pause();
}

void reportStepAndWait(const char *step, qint64 written, qint64 total) {
  say(QByteArray("STEP ") + step + ' ' + QByteArray::number(written) + ' ' +
      QByteArray::number(total));
  waitToBeKilled();
}

// The kill modes: the step at which the save stops to be killed, and its name.
struct KillPoint {
  const char *mode;
  SaveStep step;
  const char *name;
};
constexpr KillPoint KillPoints[] = {{"kill-opened", SaveStep::Opened, "opened"},
                                    {"kill-part", SaveStep::Wrote, "part"},
                                    {"kill-written", SaveStep::Written, "written"},
                                    {"kill-named", SaveStep::Named, "named"}};
const KillPoint *g_killAt = nullptr;

void killAtStep(SaveStep step, qint64 written, qint64 total) {
  // Part-way: after a write that left some of the file unwritten.
  if (step == g_killAt->step && (step != SaveStep::Wrote || written < total))
    reportStepAndWait(g_killAt->name, written, total);
}
// Another instance's save, stopped while it holds the lock until the parent says go.
void waitForGoAtOpened(SaveStep step, qint64, qint64) {
  if (step == SaveStep::Opened) {
    say("STEP opened");
    while (std::fgetc(stdin) != '\n') {
    }
  }
}
void readOnlyAtWritten(SaveStep step, qint64, qint64) {
  if (step == SaveStep::Written && !setMode(g_childDirectory, 0555))
    say("ERROR chmod");
}

// Saves newRows() to PATH as MODE asks and says how it went; for the kill
// modes it says which step it stopped at and waits for its end.
int childMain(const QString &mode, const QString &path) {
  ::alarm(120); // never outlives a parent that went away
  g_childDirectory = QFileInfo(path).absolutePath();
  std::optional<FileSizeLimit> limit;
  for (const KillPoint &point : KillPoints)
    if (mode == QLatin1String(point.mode)) {
      // Part-way: the first write stops after 4 KiB; the hook kills before the next.
      if (point.step == SaveStep::Wrote)
        limit.emplace(4096);
      g_killAt = &point;
      SaveStepHook = killAtStep;
      // As the program saves: through the store, under its lock.
      SetSavedConnectionsProgramDirectory(g_childDirectory);
      SavedConnectionsStore store;
      store.load();
      say(store.save(newRows()).saved ? "RESULT saved" : "RESULT failed");
      return 0;
    }
  if (mode == QLatin1String("race")) {
    SetSavedConnectionsProgramDirectory(g_childDirectory);
    SavedConnectionsStore store;
    const QList<SavedConnection> rows = store.load().rows + newRows().mid(1, 1);
    SaveStepHook = waitForGoAtOpened;
    say(store.save(rows).saved ? "RESULT saved" : "RESULT failed");
    return 0;
  } else if (mode == QLatin1String("readonly-before") || mode == QLatin1String("readonly-during")) {
    if (!dropPermissionOverrides()) {
      say("ERROR cannot give up the permission overrides");
      return 2;
    }
    if (mode == QLatin1String("readonly-before")) {
      if (!setMode(g_childDirectory, 0555)) {
        say("ERROR chmod");
        return 2;
      }
    } else {
      SaveStepHook = readOnlyAtWritten;
    }
    if (!refusesNewFiles(g_childDirectory) && mode == QLatin1String("readonly-before")) {
      say("UNRESTRICTED");
      return 0;
    }
  } else {
    say("ERROR unknown mode");
    return 2;
  }
  QString reason;
  const bool saved = WriteSavedConnectionsFile(path, newRows(), &reason);
  say((saved ? QByteArray("RESULT saved ") : QByteArray("RESULT failed ")) + reason.toUtf8());
  return 0;
}

// ---- the parent's side -----------------------------------------------------

struct ChildRun {
  QByteArray output;
  QProcess::ExitStatus status = QProcess::NormalExit;
  int exitCode = 0;
};

// A small tmpfs in this test's own mount namespace; the namespace (and with
// it every mount) goes away with the process.
class Tmpfs {
public:
  explicit Tmpfs(const QByteArray &options) {
    if (!m_dir.isValid()) {
      m_failure = QStringLiteral("no temporary directory");
      return;
    }
    if (::geteuid() != 0) {
      m_failure = QStringLiteral(
          "mounting a small tmpfs for the file-system cases needs root (CAP_SYS_ADMIN)");
      return;
    }
    static const QString privateNamespace = enterPrivateMountNamespace();
    if (!privateNamespace.isEmpty()) {
      m_failure = privateNamespace;
      return;
    }
    if (::mount("quellwerk-test", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                options.constData()) != 0) {
      m_failure =
          QStringLiteral("mount -t tmpfs -o %1 failed: %2")
              .arg(QString::fromLatin1(options), QString::fromLocal8Bit(std::strerror(errno)));
      return;
    }
    m_mounted = true;
  }
  ~Tmpfs() {
    if (m_mounted)
      ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
  }
  Tmpfs(const Tmpfs &) = delete;
  Tmpfs &operator=(const Tmpfs &) = delete;

  bool mounted() const { return m_mounted; }
  QString failure() const { return m_failure; }
  QString path() const { return m_dir.path(); }
  bool remount(unsigned long flags, const QByteArray &options = {}) {
    return ::mount(nullptr, QFile::encodeName(m_dir.path()).constData(), nullptr,
                   MS_REMOUNT | flags, options.isEmpty() ? nullptr : options.constData()) == 0;
  }

private:
  // This thread (the tests run on it) and the children it starts get a mount
  // namespace of their own, so that no mount is seen outside the test.
  static QString enterPrivateMountNamespace() {
    if (::unshare(CLONE_NEWNS) != 0)
      return QStringLiteral("unshare(CLONE_NEWNS) failed: %1")
          .arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return QStringLiteral("making the mounts private failed: %1")
          .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return {};
  }

  QTemporaryDir m_dir;
  bool m_mounted = false;
  QString m_failure;
};

#define REQUIRE_MOUNTED(disk)                                                                      \
  do {                                                                                             \
    if (!(disk).mounted()) {                                                                       \
      if (underCi())                                                                               \
        QFAIL(qPrintable((disk).failure()));                                                       \
      QSKIP(qPrintable((disk).failure() + QStringLiteral(" (skipped outside CI)")));               \
    }                                                                                              \
  } while (0)

// Fills the file system that holds `directory` to the last byte.
bool fillUp(const QString &directory) {
  QFile filler(QDir(directory).filePath(QStringLiteral("filler")));
  if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
    return false;
  const QByteArray page(4096, 'x');
  while (filler.write(page) == page.size()) {
  }
  // A last partial page, if the limit is not a multiple of ours.
  while (filler.write(page.constData(), 1) == 1) {
  }
  return true;
}

} // namespace

class SaveFaultsTest : public QObject {
  Q_OBJECT

  QByteArray m_oldBytes;

  // Writes the old rows to `path` through the program's own save.
  void saveOld(const QString &path) {
    QString reason;
    QVERIFY2(WriteSavedConnectionsFile(path, oldRows(), &reason), qPrintable(reason));
    m_oldBytes = readAll(path);
    QCOMPARE(m_oldBytes, EncodeSavedConnections(oldRows()));
  }

  // The old file is there byte for byte and loads with all its rows, no fault.
  void verifyOldIntact(const QString &path) {
    QCOMPARE(readAll(path), m_oldBytes);
    const LoadedConnections loaded = ReadSavedConnectionsFile(path);
    QVERIFY(loaded.opened);
    QCOMPARE(loaded.decoded.fault, DecodedConnections::Fault::None);
    QCOMPARE(loaded.decoded.rows, oldRows());
  }

  // What a save that did not finish left beside options.dat: nothing where
  // the new file is written unnamed (Linux), otherwise files for the owner only.
  void verifyLeftovers(const QString &directory) {
    for (const QString &name : leftovers(directory))
      QCOMPARE(modeOf(QDir(directory).filePath(name)), 0600u);
  }

  // A save that must fail: false, a reason, and the old file untouched.
  void verifyFailedSave(const QString &path) {
    QString reason;
    QVERIFY(!WriteSavedConnectionsFile(path, newRows(), &reason));
    QVERIFY(!reason.isEmpty());
    verifyOldIntact(path);
  }

  // A save that must succeed, and the new rows load back.
  void verifySave(const QString &path, const QList<SavedConnection> &rows) {
    QString reason;
    QVERIFY2(WriteSavedConnectionsFile(path, rows, &reason), qPrintable(reason));
    const LoadedConnections loaded = ReadSavedConnectionsFile(path);
    QCOMPARE(loaded.decoded.fault, DecodedConnections::Fault::None);
    QCOMPARE(loaded.decoded.rows, rows);
  }

  // Starts the child; for the kill modes waits for its STEP line, runs
  // `atStep` while it waits there, and kills it with SIGKILL.
  ChildRun
  runChild(const QString &mode, const QString &path,
           const std::function<void(const QByteArray &step, QProcess &child)> &atStep = {}) {
    ChildRun run;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(ChildFlag), mode, path});
    if (!child.waitForStarted(10000)) {
      qWarning("the child did not start: %s", qPrintable(child.errorString()));
      return run;
    }
    if (atStep) {
      while (!run.output.contains('\n') && child.waitForReadyRead(30000))
        run.output += child.readAllStandardOutput();
      if (run.output.startsWith("STEP "))
        atStep(run.output.trimmed(), child);
      if (child.state() != QProcess::NotRunning)
        child.kill(); // SIGKILL
    }
    child.waitForFinished(30000);
    run.output += child.readAllStandardOutput();
    run.status = child.exitStatus();
    run.exitCode = child.exitCode();
    return run;
  }

private slots:
  void initTestCase() {
    QVERIFY(QFileInfo(QCoreApplication::applicationFilePath()).isExecutable());
  }

  // Killed right after the new file was created (it stands there empty),
  // part-way through writing it, after writing it, or once it has its
  // temporary name but before it replaces the old one: the old file stays
  // whole meanwhile and after. The next save of an instance that was running
  // meanwhile, or the next load, leaves nothing but options.dat and its lock
  // file, and the save works.
  void killedWhileSaving_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("step");
    QTest::addColumn<int>("written"); // bytes of the new file when the kill came; -1: all
    QTest::addColumn<int>("named");   // files the kill left with a temporary name
    QTest::addColumn<bool>("load");   // the next step: a load (a new start), or a save
    const QByteArray size = QByteArray::number(EncodeSavedConnections(newRows()).size());
    QTest::newRow("opened") << "kill-opened" << QByteArray("STEP opened 0 ") << 0 << 0 << false;
    QTest::newRow("part") << "kill-part"
                          << "STEP part 4096 " + size << 4096 << 0 << false;
    QTest::newRow("written") << "kill-written" << QByteArray("STEP written") << -1 << 0 << false;
    QTest::newRow("named, then a save")
        << "kill-named" << QByteArray("STEP named") << -1 << 1 << false;
    QTest::newRow("named, then a load")
        << "kill-named" << QByteArray("STEP named") << -1 << 1 << true;
  }
  void killedWhileSaving() {
    QFETCH(QString, mode);
    QFETCH(QByteArray, step);
    QFETCH(int, written);
    QFETCH(int, named);
    QFETCH(bool, load);
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("options.dat"));
    saveOld(path);
    SetSavedConnectionsProgramDirectory(temp.path());
    SavedConnectionsStore running; // another instance, started before the kill
    QCOMPARE(running.load().rows, oldRows());
    const QByteArray expected = EncodeSavedConnections(newRows());
    QByteArray atStep;
    const ChildRun run = runChild(mode, path, [&](const QByteArray &, QProcess &child) {
      atStep = fileBeingWritten(child.processId(), temp.path());
      QCOMPARE(readAll(path), m_oldBytes);
    });
    QVERIFY2(run.output.startsWith(step), run.output.constData());
    QCOMPARE(run.status, QProcess::CrashExit);
    QVERIFY(!atStep.isNull());
    QCOMPARE(atStep, written < 0 ? expected : expected.first(written));
    verifyOldIntact(path);
    QCOMPARE(strays(temp.path()).size(), named);
    verifyLeftovers(temp.path());
    if (load)
      QCOMPARE(SavedConnectionsStore().load().rows, oldRows());
    else
      QVERIFY(running.save(oldRows().mid(0, 1)).saved);
    QCOMPARE(strays(temp.path()), QStringList());
    QCOMPARE(ReadSavedConnectionsFile(path).decoded.rows, load ? oldRows() : oldRows().mid(0, 1));
  }

  // Two running instances: B loads, A saves a row, B saves a row of its own.
  void twoInstancesKeepEachOthersRows() {
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("options.dat"));
    saveOld(path);
    SetSavedConnectionsProgramDirectory(temp.path());
    SavedConnectionsStore instanceB;
    const QList<SavedConnection> loaded = instanceB.load().rows;
    const ChildRun run =
        runChild(QStringLiteral("race"), path, [&](const QByteArray &, QProcess &a) {
          // While A writes, it holds the lock that every save takes.
          const int lock =
              ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(), O_RDWR);
          QVERIFY(lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
          ::close(lock);
          a.write("\n");
          QVERIFY(a.waitForFinished(30000));
        });
    QVERIFY2(run.output.contains("RESULT saved"), run.output.constData());
    const SavedConnectionsStore::Result saved = instanceB.save(loaded + newRows().mid(0, 1));
    QVERIFY(saved.saved);
    // B's list shows A's row too, and the file holds every row.
    const QList<SavedConnection> all = oldRows() + newRows().mid(0, 1) + newRows().mid(1, 1);
    QCOMPARE(saved.rows, all);
    QCOMPARE(ReadSavedConnectionsFile(path).decoded.rows, all);
  }

  void directoryReadOnlyBeforeTheSave() {
    QTemporaryDir temp;
    const QString directory = temp.filePath(QStringLiteral("quellwerk"));
    const QString path = directory + QStringLiteral("/options.dat");
    saveOld(path);
    const ChildRun run = runChild(QStringLiteral("readonly-before"), path);
    setMode(directory, 0755);
    QCOMPARE(run.status, QProcess::NormalExit);
    if (run.output.startsWith("UNRESTRICTED"))
      QSKIP("this process may write to any directory");
    QVERIFY2(run.output.startsWith("RESULT failed "), run.output.constData());
    QVERIFY(run.output.trimmed().size() > int(sizeof "RESULT failed"));
    verifyOldIntact(path);
    QCOMPARE(leftovers(directory), QStringList());
  }

  void directoryTurnsReadOnlyDuringTheSave() {
    QTemporaryDir temp;
    const QString directory = temp.filePath(QStringLiteral("quellwerk"));
    const QString path = directory + QStringLiteral("/options.dat");
    saveOld(path);
    const ChildRun run = runChild(QStringLiteral("readonly-during"), path);
    const unsigned modeDuring = modeOf(directory);
    setMode(directory, 0755);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(modeDuring, 0555u);
    // The new file was complete, but could not take the old one's place: the
    // save says so instead of reporting success.
    QVERIFY2(run.output.startsWith("RESULT failed "), run.output.constData());
    verifyOldIntact(path);
    // Were the new file named, it could not be removed from the read-only
    // directory; it would stay for its owner only and not disturb the next save.
    verifyLeftovers(directory);
    verifySave(path, newRows());
  }

  void fullDisk() {
    Tmpfs disk("size=64k,mode=0755");
    REQUIRE_MOUNTED(disk);
    const QString path = QDir(disk.path()).filePath(QStringLiteral("options.dat"));
    saveOld(path);
    QVERIFY(EncodeSavedConnections(newRows()).size() > 4 * 4096);

    // Not a byte left.
    QVERIFY(fillUp(disk.path()));
    verifyFailedSave(path);
    QCOMPARE(leftovers(disk.path()), QStringList());
    // A smaller file does not fit either.
    QString reason;
    QVERIFY(!WriteSavedConnectionsFile(path, oldRows().mid(0, 1), &reason));
    QVERIFY(!reason.isEmpty());
    verifyOldIntact(path);

    // Room for a part of the new file: the write stops part-way.
    const QString filler = QDir(disk.path()).filePath(QStringLiteral("filler"));
    QVERIFY(QFile::resize(filler, QFileInfo(filler).size() - 2 * 4096));
    verifyFailedSave(path);
    QCOMPARE(leftovers(disk.path()), QStringList());

    // Room again: the save works.
    QVERIFY(QFile::remove(filler));
    verifySave(path, newRows());
  }

  void noInodeLeft() {
    // The root directory and options.dat take the only two inodes, so the
    // new file cannot even be created.
    Tmpfs disk("size=256k,nr_inodes=2,mode=0755");
    REQUIRE_MOUNTED(disk);
    const QString path = QDir(disk.path()).filePath(QStringLiteral("options.dat"));
    saveOld(path);
    verifyFailedSave(path);
    QCOMPARE(leftovers(disk.path()), QStringList());
  }

  void readOnlyFileSystem() {
    Tmpfs disk("size=64k,mode=0755");
    REQUIRE_MOUNTED(disk);
    const QString path = QDir(disk.path()).filePath(QStringLiteral("options.dat"));
    saveOld(path);
    QVERIFY(disk.remount(MS_RDONLY));
    verifyFailedSave(path);
    QVERIFY(disk.remount(0));
    QCOMPARE(leftovers(disk.path()), QStringList());
    verifySave(path, newRows());
  }
};

int main(int argc, char **argv) {
  if (argc == 4 && std::strcmp(argv[1], ChildFlag) == 0)
    return childMain(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  QCoreApplication app(argc, argv);
  SaveFaultsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_savefaults.moc"
