// Every schema command of the main window with names drawn from a seeded
// generator: blanks at either end, commas, semicolons, quotes, backquotes,
// backslashes, comment starters, umlauts, Greek, Cyrillic, CJK, emoji,
// reserved words, and the longest names the server allows (and one more).
// Before and after each command the whole schema is read from
// information_schema: it must differ by exactly the intended change, or not
// at all with the server's refusal shown in a message box.
//
// The seed is printed; QW_HOSTILE_SEED replays a run, QW_HOSTILE_PER_COMMAND
// sets how many times each of the eight commands runs (30 by default).
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "fields/EditFieldFUnit.h"
#include "fields/FieldTypeRules.h"
#include "schema/NeueDBFUnit.h"
#include "schema/NewTableFUnit.h"
#include "schema/RenameTableFUnit.h"
#include "tests/reliability/SchemaSnapshot.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QLineEdit>
#include <QRadioButton>

#include <map>
#include <random>
#include <string>

namespace {

// Every database of this test carries this in its name; leftovers of an
// aborted run are found by it.
const QString DatabaseMark = QStringLiteral("~qwr");

enum class Kind { Database, Table, Column };

enum class Command {
  NewDatabase,
  DropDatabase,
  NewTable,
  DropTable,
  RenameTable,
  NewField,
  ChangeField,
  DropField,
};
constexpr int CommandCount = 8;
const char *const CommandNames[CommandCount] = {
    "Neue Datenbank",     "Datenbank löschen", "Neue Tabelle", "Tabelle löschen",
    "Tabelle umbenennen", "Neue Feld",         "Feld ändern",  "Feld löschen"};

// Pieces that names are made of. No "~": it marks the unique part of a name.
const QStringList Pieces{
    QStringLiteral(","),        QStringLiteral(";"),      QStringLiteral("'"),
    QStringLiteral("\""),       QStringLiteral("`"),      QStringLiteral("``"),
    QStringLiteral("\\"),       QStringLiteral("\\'"),    QStringLiteral("`; DROP TABLE x; --"),
    QStringLiteral("', '"),     QStringLiteral("/*"),     QStringLiteral("*/"),
    QStringLiteral("-- "),      QStringLiteral("#"),      QStringLiteral("%"),
    QStringLiteral("_"),        QStringLiteral("."),      QStringLiteral("/"),
    QStringLiteral("$"),        QStringLiteral("("),      QStringLiteral(")"),
    QStringLiteral("@"),        QStringLiteral("ä"),      QStringLiteral("ß"),
    QStringLiteral("ÄÖÜ"),      QStringLiteral("Größe"),  QStringLiteral("Straße"),
    QStringLiteral("α"),        QStringLiteral("Ωμέγα"),  QStringLiteral("λ"),
    QStringLiteral("жук"),      QStringLiteral("Щ"),      QStringLiteral("Привет"),
    QStringLiteral("漢"),       QStringLiteral("字表"),   QStringLiteral("データ"),
    QStringLiteral("한국"),     QStringLiteral("select"), QStringLiteral("SELECT"),
    QStringLiteral("table"),    QStringLiteral("drop"),   QStringLiteral("from"),
    QStringLiteral("where"),    QStringLiteral("key"),    QStringLiteral("order"),
    QStringLiteral("database"), QStringLiteral("index"),  QStringLiteral("null"),
    QStringLiteral("a"),        QStringLiteral("b"),      QStringLiteral("x1"),
    QStringLiteral("Z"),        QStringLiteral(" "),      QStringLiteral("  ")};
const std::u32string TwoByteLetters = U"äöüßÄÖÜαβγλμΩέжукЩПриветЖЯ";
const std::u32string CjkLetters = U"漢字表データ한국語";
// Characters outside the Basic Multilingual Plane: 4 bytes in UTF-8.
const QStringList FourByte{QStringLiteral("😀"), QStringLiteral("🐘"), QStringLiteral("𝄞")};

// The server keeps databases and tables as files named in its own encoding:
// ASCII letters, digits and "_" as they are, letters of Latin-1 to Hebrew
// and a few other blocks as "@" and two characters, everything else as "@"
// and four hex digits. A file name has at most 255 bytes; a table's files
// carry a four-byte extension.
int FileNameBytes(const QString &name) {
  int bytes = 0;
  for (char32_t c : name.toUcs4()) {
    const bool plain =
        (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    const bool short3 =
        QChar::isLetter(c) && ((c >= 0xC0 && c <= 0x5FF) || (c >= 0x1E00 && c <= 0x1FFF) ||
                               (c >= 0x2160 && c <= 0x217F) || (c >= 0x24B0 && c <= 0x24EF) ||
                               (c >= 0xFF20 && c <= 0xFF5F));
    bytes += plain ? 1 : short3 ? 3 : 5;
  }
  return bytes;
}

// Why the server refuses a new name of this kind, or empty when it takes it.
QString RefusalOf(const QString &name, Kind kind) {
  const QList<uint> chars = name.toUcs4();
  for (uint c : chars)
    if (c > 0xFFFF)
      return QStringLiteral("4-byte character (emoji)");
  if (chars.size() > 64)
    return QStringLiteral("longer than 64 characters");
  if (name.endsWith(QLatin1Char(' ')))
    return QStringLiteral("ends in a blank");
  if (kind == Kind::Database && FileNameBytes(name) > 255)
    return QStringLiteral("file name longer than 255 bytes");
  if (kind == Kind::Table && FileNameBytes(name) > 251)
    return QStringLiteral("file name longer than 255 bytes");
  return {};
}

class NameGenerator {
public:
  explicit NameGenerator(quint32 seed) : m_rng(seed) {}

  // A number from 0 to n-1; n must be positive (callers check their lists first).
  int pick(int n) {
    if (n <= 0)
      qFatal("hostile names: nothing to pick from");
    return std::uniform_int_distribution<int>(0, n - 1)(m_rng);
  }
  bool chance(int percent) { return pick(100) < percent; }
  template <typename List> auto pickFrom(const List &list) { return list[pick(int(list.size()))]; }

  // A new name of the given kind. A unique part "~nnnn~" (databases:
  // "~qwrnnnn~") keeps it apart from every other name under any collation.
  QString next(Kind kind) {
    ++m_counter;
    const QString unique = (kind == Kind::Database ? DatabaseMark : QStringLiteral("~")) +
                           QStringLiteral("%1~").arg(m_counter, 4, 10, QLatin1Char('0'));
    std::u32string body;
    // Now and then a name of 64 letters that take two or three bytes in
    // UTF-8: more than 127 bytes, and with much CJK a file name longer than
    // the server can make.
    const bool wide = chance(15);
    const int cjkShare = pickFrom(QList<int>{25, 25, 60, 100});
    const int pieces = wide ? 64 : 1 + pick(6);
    for (int i = 0; i < pieces; ++i)
      body += wide ? std::u32string(1, pickFrom(chance(cjkShare) ? CjkLetters : TwoByteLetters))
                   : pickFrom(Pieces).toStdU32String();
    if (chance(10)) {
      const std::u32string four = pickFrom(FourByte).toStdU32String();
      body.insert(std::size_t(pick(int(body.size()) + 1)), four);
    }
    const bool leading = chance(20);
    const bool trailing = chance(12);
    // The length: mostly free, often the longest allowed, sometimes one more.
    const int mode = pick(100);
    const int wanted = wide || mode < 18 ? 64 : mode < 23 ? 65 : 0;
    const std::u32string fixed = unique.toStdU32String();
    const int around = int(fixed.size()) + (leading ? 1 : 0) + (trailing ? 1 : 0);
    if (wanted) {
      while (int(body.size()) + around < wanted) {
        const std::u32string more = pickFrom(Pieces).toStdU32String();
        body += more;
      }
      body.resize(std::size_t(wanted - around));
    } else if (int(body.size()) + around > 64) {
      body.resize(std::size_t(64 - around));
    }
    body.insert(std::size_t(pick(int(body.size()) + 1)), fixed);
    if (leading)
      body.insert(body.begin(), U' ');
    if (trailing)
      body.push_back(U' ');
    return QString::fromStdU32String(body);
  }

private:
  std::mt19937 m_rng;
  int m_counter = 0;
};

// The two column definitions the commands use, and what the server reports
// for them (type, null, default, extra, key; the collation follows the table).
struct ColumnKind {
  const char *type;
  const char *length;
  const char *columnType;
};
const ColumnKind ColumnKinds[] = {{"INT", "11", "int(11)"}, {"VARCHAR", "20", "varchar(20)"}};

FieldRow RowFor(const QString &name, const ColumnKind &kind) {
  FieldRow row;
  std::fill(row.begin(), row.end(), FlagNo);
  row[CellName] = name;
  row[CellType] = QString::fromLatin1(kind.type);
  row[CellLength] = QString::fromLatin1(kind.length);
  row[CellDecimals] = QString();
  row[CellDefault] = QString();
  row[CellNull] = FlagYes;
  return row;
}

// A refusal's reason, from the server's text, for the tally.
QString ReasonOf(const QString &text) {
  const QList<std::pair<const char *, const char *>> known{
      {"Invalid utf8mb4 character string", "4-byte character (emoji)"},
      {"Incorrect database name", "incorrect database name (a trailing blank, or too long)"},
      {"Incorrect table name", "incorrect table name (a trailing blank, or too long)"},
      {"Incorrect column name", "incorrect column name (a trailing blank)"},
      {"is too long", "longer than 64 characters"},
      {"File name too long", "file name longer than 255 bytes"},
      {"errno: 36", "file name longer than 255 bytes"},
      {"Error on rename", "file name longer than 255 bytes (engine error 168)"},
      {"You can't delete all columns", "last column of its table"}};
  for (const auto &[pattern, reason] : known)
    if (text.contains(QLatin1String(pattern)))
      return QString::fromLatin1(reason);
  return QStringLiteral("other: ") + text;
}

struct Tally {
  int runs = 0;
  int names = 0;
  int refused = 0;
  std::map<QString, int> reasons;
};

} // namespace

class HostileNamesTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;
  std::unique_ptr<NameGenerator> names;
  QString databaseAttributes; // character set | collation of a new database
  QString engine;
  Tally tally[CommandCount];
  // Of every name tried in order: two runs with the same seed print the same.
  QCryptographicHash namesDigest{QCryptographicHash::Sha256};

  // The lists as the server has it now: all databases; with a database
  // selected its tables; with a table selected its columns.
  void checkListsFresh() {
    QCOMPARE(Captions(form->ListView1), admin->databases());
    const int db = form->ListView1->selectedRow();
    if (db < 0) {
      QCOMPARE(form->ListView2->count(), 0);
      return;
    }
    const QString database = form->ListView1->caption(db);
    QCOMPARE(Captions(form->ListView2), admin->tables(database));
    const int table = form->ListView2->selectedRow();
    if (table < 0) {
      QCOMPARE(form->ListView3->count(), 0);
      return;
    }
    QCOMPARE(Captions(form->ListView3),
             admin->columnNames(database, form->ListView2->caption(table)));
  }
  // Clicks a database, a table and a field, as the user would, each list
  // then showing what the server has.
  void clickDatabase(const QString &database) {
    const int row = RowOf(form->ListView1, database);
    QVERIFY2(row >= 0, qPrintable(database));
    ClickRow(form->ListView1, row);
    QCOMPARE(form->ListView1->selectedRow(), row);
    QCOMPARE(Captions(form->ListView2), admin->tables(database));
  }
  void clickTable(const QString &database, const QString &table) {
    clickDatabase(database);
    if (QTest::currentTestFailed())
      return;
    const int row = RowOf(form->ListView2, table);
    QVERIFY2(row >= 0, qPrintable(table));
    ClickRow(form->ListView2, row);
    QCOMPARE(form->ListView2->selectedRow(), row);
    QCOMPARE(Captions(form->ListView3), admin->columnNames(database, table));
  }
  void clickField(const QString &database, const QString &table, const QString &field) {
    clickTable(database, table);
    if (QTest::currentTestFailed())
      return;
    const int row = RowOf(form->ListView3, field);
    QVERIFY2(row >= 0, qPrintable(field));
    ClickRow(form->ListView3, row);
    QCOMPARE(form->ListView3->selectedRow(), row);
  }

  QStringList testDatabases(const SchemaSnapshot &s) const {
    QStringList list;
    for (const QString &db : s.databases.keys())
      if (db.contains(DatabaseMark))
        list << db;
    return list;
  }
  QList<SchemaSnapshot::TableKey> testTables(const SchemaSnapshot &s) const {
    QList<SchemaSnapshot::TableKey> list;
    for (const SchemaSnapshot::TableKey &key : s.tables.keys())
      if (key.first.contains(DatabaseMark))
        list << key;
    return list;
  }
  QString tableCollation(const SchemaSnapshot &s, const QString &database) const {
    return s.databases.value(database).section(QStringLiteral(" | "), 1, 1);
  }
  // A column as the server reports it; a text column takes its table's collation.
  static SchemaSnapshot::Column columnFor(const QString &name, const ColumnKind &kind,
                                          const QString &collation) {
    const bool text = QLatin1String(kind.type) == QLatin1String("VARCHAR");
    return {name, QStringList{QString::fromLatin1(kind.columnType), "YES", "NULL", "", "",
                              text ? collation : QStringLiteral("<NULL>"), ""}
                      .join(QStringLiteral(" | "))};
  }
  QString tableAttributes(const SchemaSnapshot &s, const QString &database) const {
    return QStringList{"BASE TABLE", engine, tableCollation(s, database)}.join(
        QStringLiteral(" | "));
  }

  // One command with the given target, judged by the schema before and after.
  void step(Command command, const SchemaSnapshot &before, MessageRecorder &messages,
            ModalScript &script) {
    SchemaSnapshot expected = before;
    QString refusal;   // why the server must refuse, or empty
    QStringList tried; // the names this command sends
    std::function<void()> act;

    const QStringList databases = testDatabases(before);
    const QList<SchemaSnapshot::TableKey> tables = testTables(before);
    auto randomTable = [&] { return names->pickFrom(tables); };
    auto randomKind = [&]() -> const ColumnKind & { return ColumnKinds[names->pick(2)]; };

    switch (command) {
    case Command::NewDatabase: {
      const QString name = names->next(Kind::Database);
      tried << name;
      refusal = RefusalOf(name, Kind::Database);
      expected.databases.insert(name, databaseAttributes);
      act = [=, this, &script] {
        script.push([=, this](QDialog &) {
          form->NewDBForm->DBNameEd->setText(name);
          return int(QDialog::Accepted);
        });
        form->NewDBBtn->click();
      };
      break;
    }
    case Command::DropDatabase: {
      const QString name = names->pickFrom(databases);
      tried << name;
      expected = before;
      expected.databases.remove(name);
      for (const auto &key : before.tables.keys())
        if (key.first == name) {
          expected.tables.remove(key);
          expected.columns.remove(key);
        }
      clickDatabase(name);
      act = [this] { form->DropDBBtn->click(); };
      break;
    }
    case Command::NewTable: {
      const QString database = names->pickFrom(databases);
      const QString table = names->next(Kind::Table);
      tried << table;
      refusal = RefusalOf(table, Kind::Table);
      QList<FieldRow> rows;
      QList<SchemaSnapshot::Column> columns;
      const int count = 1 + names->pick(4);
      for (int i = 0; i < count; ++i) {
        const QString column = names->next(Kind::Column);
        const ColumnKind &kind = randomKind();
        tried << column;
        rows << RowFor(column, kind);
        columns << columnFor(column, kind, tableCollation(before, database));
        if (refusal.isEmpty())
          refusal = RefusalOf(column, Kind::Column);
      }
      expected.tables.insert({database, table}, tableAttributes(before, database));
      expected.columns.insert({database, table}, columns);
      clickDatabase(database);
      act = [=, this, &script] {
        script.push([=](QDialog &dialog) {
          auto &designer = static_cast<TNewTableForm &>(dialog);
          // Every table is designed afresh: a refused design offered again is discarded.
          designer.ClearRows();
          designer.TableNameEd->setText(table);
          for (int i = 0; i < rows.size(); ++i)
            designer.NewFieldBtnClick();
          return int(designer.BitBtnXP1->isEnabled() ? QDialog::Accepted : QDialog::Rejected);
        });
        for (const FieldRow &row : rows)
          script.push([row](QDialog &dialog) {
            static_cast<TEditFieldForm &>(dialog).FillFromRow(row);
            return int(QDialog::Accepted);
          });
        form->NewTableBtn->click();
      };
      break;
    }
    case Command::DropTable: {
      const SchemaSnapshot::TableKey key = randomTable();
      tried << key.second;
      expected.tables.remove(key);
      expected.columns.remove(key);
      clickTable(key.first, key.second);
      act = [this] { form->DelTableBtn->click(); };
      break;
    }
    case Command::RenameTable: {
      const SchemaSnapshot::TableKey key = randomTable();
      const QString name = names->next(Kind::Table);
      tried << name;
      refusal = RefusalOf(name, Kind::Table);
      expected.tables.insert({key.first, name}, expected.tables.take(key));
      expected.columns.insert({key.first, name}, expected.columns.take(key));
      clickTable(key.first, key.second);
      act = [=, this, &script] {
        script.push([=, this](QDialog &) {
          form->RenameTableForm->TableNameEd->setText(name);
          return int(QDialog::Accepted);
        });
        form->TableRenameBtn->click();
      };
      break;
    }
    case Command::NewField: {
      const SchemaSnapshot::TableKey key = randomTable();
      const QString name = names->next(Kind::Column);
      const ColumnKind &kind = randomKind();
      tried << name;
      refusal = RefusalOf(name, Kind::Column);
      QList<SchemaSnapshot::Column> &columns = expected.columns[key];
      const SchemaSnapshot::Column column =
          columnFor(name, kind, before.tables.value(key).section(QStringLiteral(" | "), 2, 2));
      // Last, first, or after a column of the table, whose name goes into
      // the statement too.
      const int where = names->pick(3);
      QString after;
      if (where == 0) {
        columns.append(column);
      } else if (where == 1) {
        columns.prepend(column);
      } else {
        QVERIFY2(!columns.isEmpty(), "a table without columns in the snapshot");
        const int at = names->pick(int(columns.size()));
        after = columns[at].name;
        columns.insert(at + 1, column);
      }
      clickTable(key.first, key.second);
      act = [=, this, &script] {
        script.push([=](QDialog &dialog) {
          auto &editor = static_cast<TEditFieldForm &>(dialog);
          editor.FillFromRow(RowFor(name, kind));
          (where == 0   ? editor.RadioButton1
           : where == 1 ? editor.RadioButton2
                        : editor.RadioButton3)
              ->setChecked(true);
          editor.Edit3->setText(after);
          return int(QDialog::Accepted);
        });
        form->NewFieldBtn->click();
      };
      break;
    }
    case Command::ChangeField: {
      const SchemaSnapshot::TableKey key = randomTable();
      QList<SchemaSnapshot::Column> &columns = expected.columns[key];
      QVERIFY2(!columns.isEmpty(), "a table without columns in the snapshot");
      const int at = names->pick(int(columns.size()));
      const QString old = columns[at].name;
      const QString name = names->next(Kind::Column);
      tried << name;
      refusal = RefusalOf(name, Kind::Column);
      // The editor starts from the column's definition: only the name changes.
      columns[at].name = name;
      clickField(key.first, key.second, old);
      act = [=, this, &script] {
        script.push([=](QDialog &dialog) {
          auto &editor = static_cast<TEditFieldForm &>(dialog);
          editor.Edit1->setText(name);
          editor.RadioButton1->setChecked(true);
          return int(QDialog::Accepted);
        });
        form->ChangeFieldBnt->click();
      };
      break;
    }
    case Command::DropField: {
      // Mostly a table with more than one column: the last one cannot go.
      QList<SchemaSnapshot::TableKey> wider;
      for (const SchemaSnapshot::TableKey &key : tables)
        if (before.columns.value(key).size() > 1)
          wider << key;
      const SchemaSnapshot::TableKey key =
          !wider.isEmpty() && names->chance(80) ? names->pickFrom(wider) : randomTable();
      QList<SchemaSnapshot::Column> &columns = expected.columns[key];
      QVERIFY2(!columns.isEmpty(), "a table without columns in the snapshot");
      const int at = names->pick(int(columns.size()));
      const QString name = columns[at].name;
      tried << name;
      if (columns.size() == 1)
        refusal = QStringLiteral("last column of its table");
      columns.removeAt(at);
      clickField(key.first, key.second, name);
      act = [this] { form->DelFieldBtn->click(); };
      break;
    }
    }
    if (QTest::currentTestFailed())
      return;
    // Selecting listed exactly what the server has, without a message.
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join(QLatin1Char('|'))));

    act();

    // The boxes: questions (answered Yes), the statement shown before a
    // change ("dd"), and failures.
    QList<Message> failures;
    QStringList texts;
    for (const Message &m : messages.shown)
      if (m.buttons == MessageButtons::Ok && m.title != QLatin1String("dd")) {
        failures << m;
        texts << m.text + QStringLiteral(" [") + m.title + QLatin1Char(']');
      }
    messages.clear();
    const QString context = QStringLiteral("%1 with %2")
                                .arg(QString::fromUtf8(CommandNames[int(command)]),
                                     QStringLiteral("[") + tried.join("] [") + "]");
    QVERIFY2(script.scripts.empty(),
             qPrintable(context + ": a dialog of the command did not open: " + texts.join('|')));
    const SchemaSnapshot after = TakeSnapshot(*admin);

    Tally &t = tally[int(command)];
    ++t.runs;
    t.names += int(tried.size());
    namesDigest.addData(tried.join(QLatin1Char('\n')).toUtf8());
    if (failures.isEmpty()) {
      QVERIFY2(refusal.isEmpty(),
               qPrintable(context + ": accepted, but the server refuses names that " + refusal));
      if (after != expected)
        qInfo("%s: not the intended change:\n%s", qPrintable(context),
              qPrintable(expected.differenceTo(after)));
      QVERIFY2(after == expected, qPrintable(context + ": not the intended change"));
    } else {
      if (after != before)
        qInfo("%s: refused, yet the schema changed:\n%s", qPrintable(context),
              qPrintable(before.differenceTo(after)));
      QVERIFY2(after == before, qPrintable(context + ": refused, yet the schema changed"));
      QVERIFY2(failures.size() == 1, qPrintable(context + ": " + texts.join('|')));
      // The server's own text: in the title under "Konnte Datenbank nicht
      // erzeugen!", otherwise as the text.
      const Message &m = failures.first();
      const QString serverText = command == Command::NewDatabase ? m.title : m.text;
      if (command == Command::NewDatabase)
        QCOMPARE(m.text, QStringLiteral("Konnte Datenbank nicht erzeugen!"));
      else
        QCOMPARE(m.title, QString());
      // A quoting fault shows as a syntax error; the server judged the name.
      QVERIFY2(!serverText.contains(QLatin1String("SQL syntax")),
               qPrintable(context + ": " + serverText));
      QVERIFY2(!refusal.isEmpty(),
               qPrintable(context + ": refused although the name is valid: " + serverText));
      ++t.refused;
      ++t.reasons[ReasonOf(serverText)];
    }
    checkListsFresh();
  }

  void cleanUp() {
    for (const QString &db : admin->databases())
      if (db.contains(DatabaseMark))
        admin->dropDatabase(db);
  }

private slots:
  void initTestCase() {
    QW_REQUIRE_SERVER();
    LoadRealClientLibrary();
    admin = std::make_unique<AdminConnection>();
    cleanUp();
    const QList<QStringList> server = admin->rows(QStringLiteral(
        "SELECT @@character_set_server, @@collation_server, @@default_storage_engine"));
    databaseAttributes = server[0][0] + QStringLiteral(" | ") + server[0][1];
    engine = server[0][2];
  }
  void cleanupTestCase() {
    if (admin)
      cleanUp();
  }

  // A table name of more than 127 bytes in UTF-8 (43 CJK characters, or 64
  // Cyrillic ones) lists its own fields, with the same type texts as a table
  // with a short name, and its fields can be dropped from the list.
  void tableNamesBeyond127Bytes() {
    const QString db = DatabaseMark + QStringLiteral("_lang~");
    const QString a = QStringLiteral("漢").repeated(42) + QStringLiteral("a"); // 127 bytes
    const QString b = a + QStringLiteral("b");                                 // 128 bytes
    const QString c = QStringLiteral("Ж").repeated(64);                        // 128 bytes
    const QString columns = QStringLiteral(
        "(id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY, code VARCHAR(20) UNIQUE, "
        "preis DECIMAL(10,2), notiz TEXT, farbe ENUM('rot','grün'), kunde INT, KEY (kunde))");
    admin->makeDatabase(db);
    admin->exec(QStringLiteral("CREATE TABLE %1.%2 (nur_a INT, zwei_a INT)")
                    .arg(QuoteName(db), QuoteName(a)));
    admin->exec(QStringLiteral("CREATE TABLE %1.%2 ").arg(QuoteName(db), QuoteName(b)) + columns);
    admin->exec(QStringLiteral("CREATE TABLE %1.%2 ").arg(QuoteName(db), QuoteName(c)) + columns);
    admin->exec(QStringLiteral("CREATE TABLE %1.kurz ").arg(QuoteName(db)) + columns);

    form = OpenMainForm(true);
    MessageRecorder messages;
    auto typeTexts = [&] {
      QStringList texts;
      for (int row = 0; row < form->ListView3->count(); ++row)
        texts << form->ListView3->caption(row) + QLatin1Char(' ') +
                     form->ListView3->items().cell(row, 1);
      return texts;
    };
    clickTable(db, QStringLiteral("kurz"));
    const QStringList shortName = typeTexts();
    QCOMPARE(shortName.size(), 6);
    for (const QString &table : {b, c}) {
      clickTable(db, table);
      QCOMPARE(typeTexts(), shortName);
    }
    clickTable(db, a);
    QCOMPARE(Captions(form->ListView3), (QStringList{"nur_a", "zwei_a"}));
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.texts().join(QLatin1Char('|'))));

    // Dropping a field of the long-named table, chosen from the list.
    clickField(db, b, QStringLiteral("notiz"));
    form->DelFieldBtn->click();
    QCOMPARE(messages.shown.size(), 1); // the question
    QCOMPARE(admin->columnNames(db, b), (QStringList{"id", "code", "preis", "farbe", "kunde"}));
    QCOMPARE(Captions(form->ListView3), admin->columnNames(db, b));

    CloseMainForm(form);
    admin->dropDatabase(db);
  }

  void everyCommandWithHostileNames() {
    bool seeded = false;
    quint32 seed = qEnvironmentVariable("QW_HOSTILE_SEED").toUInt(&seeded);
    if (!seeded)
      seed = quint32(QDateTime::currentMSecsSinceEpoch());
    qInfo("hostile names: seed %u (QW_HOSTILE_SEED=%u replays this run)", seed, seed);
    names = std::make_unique<NameGenerator>(seed);
    int perCommand = qEnvironmentVariableIntValue("QW_HOSTILE_PER_COMMAND");
    if (perCommand <= 0)
      perCommand = 30;

    form = OpenMainForm(true);
    QVERIFY(form->connected());
    MessageRecorder messages;
    ModalScript script;

    // Commands in random order until each has run its share; those that need
    // an object run once one exists (the others make them).
    for (int guard = 0; guard < perCommand * CommandCount * 4; ++guard) {
      const SchemaSnapshot before = TakeSnapshot(*admin);
      const qsizetype databases = testDatabases(before).size();
      const QList<SchemaSnapshot::TableKey> tables = testTables(before);
      auto possible = [&](Command c) {
        switch (c) {
        case Command::NewDatabase: return true;
        case Command::DropDatabase: return databases >= 2;
        case Command::NewTable: return databases >= 1;
        default: return !tables.isEmpty();
        }
      };
      QList<Command> due;
      for (int c = 0; c < CommandCount; ++c)
        if (tally[c].runs < perCommand && possible(Command(c)))
          due << Command(c);
      bool finished = true;
      for (const Tally &t : tally)
        finished = finished && t.runs >= perCommand;
      if (finished)
        break;
      // Nothing due can run: make what the first of them lacks.
      if (due.isEmpty())
        due << (databases < 2 && tally[int(Command::DropDatabase)].runs < perCommand
                    ? Command::NewDatabase
                : databases == 0 ? Command::NewDatabase
                                 : Command::NewTable);
      step(names->pickFrom(due), before, messages, script);
      if (QTest::currentTestFailed())
        break;
    }

    int total = 0;
    for (int c = 0; c < CommandCount; ++c) {
      const Tally &t = tally[c];
      total += t.names;
      QStringList reasons;
      for (const auto &[reason, count] : t.reasons)
        reasons << QStringLiteral("%1 × %2").arg(count).arg(reason);
      qInfo("%-20s %3d runs, %3d names, %3d refused: %s", CommandNames[c], t.runs, t.names,
            t.refused, qPrintable(reasons.join(QLatin1String(", "))));
    }
    qInfo("%d names in all, digest %s", total, namesDigest.result().toHex().left(16).constData());
    if (QTest::currentTestFailed())
      return;
    for (const Tally &t : tally)
      QVERIFY(t.runs >= perCommand);
    QVERIFY(total >= 200 || perCommand < 30);

    CloseMainForm(form);
  }
};

QTEST_MAIN(HostileNamesTest)
#include "tst_hostile_names.moc"
