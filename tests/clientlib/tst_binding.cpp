// The run-time binding: load statuses, slots, release, and refused calls.
#include "clientlib/mysql.h"
#include "tests/support/TestSupport.h"

#include <set>
#include <string>

using namespace mysql;

class BindingTest : public QObject {
  Q_OBJECT

  static std::set<std::string> nullSlots() {
    std::set<std::string> names;
    for (std::size_t i = 0; i < EntryPointCount; ++i)
      if (!ClientLibraryEntryPoints[i])
        names.insert(EntryPointName(static_cast<EntryPoint>(i)));
    return names;
  }

private slots:
  void cleanup() {
    FreeClientLibrary();
    ClientLibraryEntryPoints.fill(nullptr);
  }

  void entryPointTableIsInLookupOrder() {
    QCOMPARE(EntryPointCount, std::size_t(57));
    QCOMPARE(EntryPointName(EntryPoint::mysql_num_rows), "mysql_num_rows");
    QCOMPARE(EntryPointName(static_cast<EntryPoint>(16)), "mysql_connect");
    QCOMPARE(EntryPointName(static_cast<EntryPoint>(25)), "mysql_create_db");
    QCOMPARE(EntryPointName(static_cast<EntryPoint>(56)), "mysql_thread_safe");
  }

  void realLibraryLacksExactlyTheOldEntryPoints() {
    QCOMPARE(ClientLibraryStatus, std::uint8_t(NotLoaded));
    QCOMPARE(LoadClientLibrary(), std::uint8_t(EntryPointAbsent));
    QVERIFY(ClientLibraryHandle);
    const std::set<std::string> expected{"mysql_connect", "mysql_create_db", "mysql_drop_db",
                                         "mysql_odbc_escape_string", "myodbc_remove_escape"};
    QCOMPARE(nullSlots(), expected);
    QVERIFY(mysql::mysql_get_client_info() != nullptr);
  }

  void fakeLibraries() {
    // Complete: every name found.
    QCOMPARE(LoadClientLibrary(QW_FAKE_COMPLETE_LIB), std::uint8_t(Complete));
    QVERIFY(nullSlots().empty());

    // Lacking only the last name: the 56 others are set.
    QCOMPARE(LoadClientLibrary(QW_FAKE_NO_THREAD_SAFE_LIB), std::uint8_t(EntryPointAbsent));
    QCOMPARE(nullSlots(), std::set<std::string>{"mysql_thread_safe"});

    // Lacking a name in the middle: the names after it are still looked up.
    QCOMPARE(LoadClientLibrary(QW_FAKE_NO_SELECT_DB_LIB), std::uint8_t(EntryPointAbsent));
    QCOMPARE(nullSlots(), std::set<std::string>{"mysql_select_db"});
    QVERIFY(HasEntryPoint(EntryPoint::mysql_thread_safe));
    QVERIFY(HasEntryPoint(EntryPoint::mysql_query));

    // Loading again starts afresh: the status goes back up to Complete.
    QCOMPARE(LoadClientLibrary(QW_FAKE_COMPLETE_LIB), std::uint8_t(Complete));
    QVERIFY(nullSlots().empty());
  }

  void missingFile() {
    // Slots of an earlier load are not touched by a failed one, but are never called.
    QCOMPARE(LoadClientLibrary(QW_FAKE_COMPLETE_LIB), std::uint8_t(Complete));
    QCOMPARE(LoadClientLibrary("/nonexistent/libmariadb.so.3"), std::uint8_t(FileNotLoadable));
    QVERIFY(!ClientLibraryHandle);
    QVERIFY(nullSlots().empty());
    QVERIFY(!HasEntryPoint(EntryPoint::mysql_init));
    try {
      mysql::mysql_init(nullptr);
      QFAIL("a call through a released library was made");
    } catch (const ClientLibraryMissing &e) {
      QCOMPARE(QString::fromUtf8(e.what()),
               QStringLiteral("Die Client-Bibliothek „/nonexistent/libmariadb.so.3“ konnte "
                              "nicht geladen werden"));
    }

    // From a clean start no slot is set.
    cleanup();
    QCOMPARE(LoadClientLibrary("libdoes-not-exist.so"), std::uint8_t(FileNotLoadable));
    QCOMPARE(nullSlots().size(), std::size_t(57));
  }

  void freeResetsHandleAndStatus() {
    // Releasing when nothing is loaded resets handle and status only.
    FreeClientLibrary();
    QVERIFY(!ClientLibraryHandle);
    QCOMPARE(ClientLibraryStatus, std::uint8_t(NotLoaded));

    LoadClientLibrary(QW_FAKE_COMPLETE_LIB);
    FreeClientLibrary();
    QVERIFY(!ClientLibraryHandle);
    QCOMPARE(ClientLibraryStatus, std::uint8_t(NotLoaded));
    QVERIFY(nullSlots().empty()); // the slots keep their values
    QVERIFY_THROWS_EXCEPTION(ClientLibraryMissing, mysql::mysql_thread_safe());
  }

  void callThroughNullSlotIsRefusedByName() {
    LoadClientLibrary();
    try {
      mysql::mysql_create_db(nullptr, "x");
      QFAIL("call through a null slot");
    } catch (const ClientLibraryMissing &e) {
      QCOMPARE(e.entryPoint(), EntryPoint::mysql_create_db);
      QCOMPARE(QString::fromUtf8(e.what()),
               QStringLiteral("Die Client-Bibliothek „libmariadb.so.3“ enthält die Funktion "
                              "„mysql_create_db“ nicht"));
    }
  }

  void refusedCallIsShownAtTheHandlerEdge() {
    LoadClientLibrary();
    MessageRecorder messages;
    bool after = false;
    RunHandler(nullptr, [&] {
      mysql::mysql_drop_db(nullptr, "x");
      after = true;
    });
    QVERIFY(!after);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("Die Client-Bibliothek „libmariadb.so.3“ "
                                                    "enthält die Funktion „mysql_drop_db“ nicht."));
    QCOMPARE(messages.shown[0].title, QStringLiteral("VoVID Adizad"));
    QCOMPARE(messages.shown[0].icon, MessageIcon::Critical);
  }
};

QTEST_MAIN(BindingTest)
#include "tst_binding.moc"
