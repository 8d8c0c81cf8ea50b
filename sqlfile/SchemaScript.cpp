#include "sqlfile/SchemaScript.h"

#include "clientlib/SqlText.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

namespace {

using Kind = SchemaObject::Kind;

// The mode the file creates tables and views in (as the export read them:
// no mode that changes how a text reads; zero in an AUTO_INCREMENT column
// stays zero).
const QByteArray LoadMode = "NO_AUTO_VALUE_ON_ZERO";
const QByteArray Utc = "+00:00";
const QByteArray Utf8 = "utf8mb4";

bool ByName(const SchemaObject &a, const SchemaObject &b) {
  return a.name.toUtf8() < b.name.toUtf8();
}

// The names that a text writes in backquotes (outside its string literals).
QSet<QString> QuotedNames(const QByteArray &text) {
  QSet<QString> names;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'' || c == '"') {
      for (++i; i < text.size() && text[i] != c; ++i)
        if (text[i] == '\\')
          ++i;
    } else if (c == '`') {
      QByteArray name;
      for (++i; i < text.size(); ++i) {
        if (text[i] == '`' && (i + 1 >= text.size() || text[i + 1] != '`'))
          break;
        if (text[i] == '`')
          ++i;
        name += text[i];
      }
      names.insert(QString::fromUtf8(name));
    }
  }
  return names;
}

// Views after the views they name; among those free to come next, by name.
// A name that only looks like a reference (a column named like a view) can
// at worst add an order that was not needed; should the names form a
// circle, the rest follow by name.
QList<SchemaObject> ViewsInOrder(QList<SchemaObject> views) {
  std::sort(views.begin(), views.end(), ByName);
  QHash<QString, qsizetype> index;
  for (qsizetype v = 0; v < views.size(); ++v)
    index.insert(views[v].name, v);
  QList<QList<qsizetype>> usedBy(views.size());
  QList<qsizetype> waitingFor(views.size(), 0);
  for (qsizetype v = 0; v < views.size(); ++v)
    for (const QString &name : QuotedNames(views[v].create))
      if (const qsizetype w = index.value(name, v); w != v) {
        usedBy[w] << v;
        ++waitingFor[v];
      }
  std::set<qsizetype> free; // by name, as the views are
  for (qsizetype v = 0; v < views.size(); ++v)
    if (waitingFor[v] == 0)
      free.insert(v);
  QList<SchemaObject> ordered;
  QList<bool> placed(views.size(), false);
  while (ordered.size() < views.size()) {
    qsizetype next = free.empty() ? placed.indexOf(false) : *free.begin();
    free.erase(next);
    placed[next] = true;
    ordered << views[next];
    for (qsizetype user : usedBy[next])
      if (--waitingFor[user] == 0 && !placed[user])
        free.insert(user);
  }
  return ordered;
}

// The texts come as UTF-8 whatever the client's character set was when an
// object was made; one made with another is read as UTF-8 all the same.
QByteArray ClientOf(const SchemaObject &object) {
  return object.characterSetClient.startsWith("utf8") ? object.characterSetClient : Utf8;
}

// The session settings an object is created in; nothing: as it stands.
struct Session {
  std::optional<QByteArray> sqlMode, client, collation, timeZone;
};

// Only names and modes are written into the file's SET statements; a value
// with anything else in it is left out (the server never sends one).
bool Plain(const QByteArray &value, const char *alsoAllowed) {
  return std::all_of(value.cbegin(), value.cend(), [&](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           (c != 0 && std::strchr(alsoAllowed, c) != nullptr);
  });
}

Session SessionOf(const SchemaObject &object) {
  switch (object.kind) {
  case Kind::Sequence:
  case Kind::Table: {
    // A BINARY column's default may be bytes that are no UTF-8: such a text
    // is read as bytes, so that they arrive as they are.
    const bool utf8 = QString::fromUtf8(object.create).toUtf8() == object.create;
    return {LoadMode, utf8 ? Utf8 : QByteArray("binary"), {}, Utc};
  }
  case Kind::View: return {LoadMode, ClientOf(object), object.collationConnection, Utc};
  case Kind::Event:
    return {object.sqlMode, ClientOf(object), object.collationConnection, object.timeZone};
  case Kind::Function:
  case Kind::Procedure:
  case Kind::Trigger: return {object.sqlMode, ClientOf(object), object.collationConnection, Utc};
  }
  return {};
}

class Writer {
public:
  void line(const QByteArray &text) { m_out += text + '\n'; }
  void comment(const QString &text) {
    QString flat = text;
    for (QChar &c : flat)
      if (c.unicode() < 0x20)
        c = QLatin1Char(' ');
    line("-- " + flat.toUtf8());
  }
  void section(const QString &title) {
    m_out += '\n';
    comment(title);
  }
  // Sets what the object needs and what differs from the session as it stands.
  void session(const Session &wanted) {
    QByteArrayList parts;
    const auto set = [&](const std::optional<QByteArray> &value, std::optional<QByteArray> &current,
                         const char *name, const char *alsoAllowed) {
      if (!value || value == current || !Plain(*value, alsoAllowed))
        return;
      parts << QByteArray(name) + " = '" + *value + "'";
      current = value;
    };
    set(wanted.sqlMode, m_now.sqlMode, "SQL_MODE", ",");
    set(wanted.client, m_now.client, "CHARACTER_SET_CLIENT", "");
    set(wanted.collation, m_now.collation, "COLLATION_CONNECTION", "");
    set(wanted.timeZone, m_now.timeZone, "TIME_ZONE", "+:/-");
    if (!parts.isEmpty())
      line("SET SESSION " + parts.join(", ") + ';');
  }
  void statement(const SchemaObject &object) {
    session(SessionOf(object));
    if (object.kind == Kind::Table || object.kind == Kind::Sequence || object.kind == Kind::View) {
      line(object.create + ';');
      return;
    }
    // A body holds semicolons: another delimiter, one its text does not hold.
    QByteArray delimiter = ";;";
    while (object.create.contains(delimiter))
      delimiter += ';';
    line("DELIMITER " + delimiter);
    line(object.create);
    line(delimiter);
    line("DELIMITER ;");
  }
  void startSession(const Session &now) { m_now = now; }
  QByteArray text() const { return m_out; }

private:
  QByteArray m_out;
  Session m_now;
};

} // namespace

QList<SchemaObject> LoadOrder(const QList<SchemaObject> &objects) {
  std::map<Kind, QList<SchemaObject>> byKind;
  for (const SchemaObject &object : objects)
    byKind[object.kind] << object;
  for (Kind kind : {Kind::Sequence, Kind::Table, Kind::Function, Kind::Procedure, Kind::Event})
    std::stable_sort(byKind[kind].begin(), byKind[kind].end(), ByName);
  std::stable_sort(byKind[Kind::Trigger].begin(), byKind[Kind::Trigger].end(),
                   [](const SchemaObject &a, const SchemaObject &b) {
                     return a.table.toUtf8() < b.table.toUtf8();
                   });
  QList<SchemaObject> ordered;
  for (Kind kind : {Kind::Sequence, Kind::Table, Kind::Function, Kind::Procedure})
    ordered << byKind[kind];
  ordered << ViewsInOrder(byKind[Kind::View]) << byKind[Kind::Trigger] << byKind[Kind::Event];
  return ordered;
}

QByteArray SchemaScript(const SchemaRead &schema, const QString &database,
                        const QString &producer) {
  Writer w;
  w.comment(QStringLiteral("Struktur der Datenbank %1, geschrieben von %2")
                .arg(QuoteIdentifier(database), producer));
  w.comment(QStringLiteral("Server: ") + QString::fromUtf8(schema.serverVersion));
  w.comment(QStringLiteral("Laden mit „SQL-Datei ausführen...“ oder mit dem Client mariadb. "
                           "Fremdschlüssel werden erst nach dem Laden wieder geprüft."));
  w.line("");
  w.line("SET @OLD_CHARACTER_SET_CLIENT = @@CHARACTER_SET_CLIENT, "
         "@OLD_CHARACTER_SET_RESULTS = @@CHARACTER_SET_RESULTS, "
         "@OLD_COLLATION_CONNECTION = @@COLLATION_CONNECTION;");
  w.line("SET NAMES utf8mb4;");
  w.line("SET @OLD_TIME_ZONE = @@TIME_ZONE, TIME_ZONE = '" + Utc + "';");
  w.line("SET @OLD_FOREIGN_KEY_CHECKS = @@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS = 0;");
  w.line("SET @OLD_UNIQUE_CHECKS = @@UNIQUE_CHECKS, UNIQUE_CHECKS = 0;");
  w.line("SET @OLD_SQL_MODE = @@SQL_MODE, SQL_MODE = '" + LoadMode + "';");
  w.line("SET @OLD_SQL_NOTES = @@SQL_NOTES, SQL_NOTES = 0;");
  w.startSession({LoadMode, Utf8, {}, Utc});
  if (!schema.createDatabase.isEmpty()) {
    w.line("");
    w.line(schema.createDatabase + ';');
    w.line("USE " + QuoteIdentifier(database).toUtf8() + ';');
  }
  static const std::map<Kind, QString> titles{{Kind::Sequence, QStringLiteral("Sequenzen")},
                                              {Kind::Table, QStringLiteral("Tabellen")},
                                              {Kind::Function, QStringLiteral("Funktionen")},
                                              {Kind::Procedure, QStringLiteral("Prozeduren")},
                                              {Kind::View, QStringLiteral("Sichten")},
                                              {Kind::Trigger, QStringLiteral("Trigger")},
                                              {Kind::Event, QStringLiteral("Ereignisse")}};
  std::optional<Kind> kind;
  for (const SchemaObject &object : LoadOrder(schema.objects)) {
    if (object.kind != kind) {
      kind = object.kind;
      w.section(titles.at(object.kind));
    }
    w.statement(object);
  }
  w.line("");
  w.line("SET TIME_ZONE = @OLD_TIME_ZONE, FOREIGN_KEY_CHECKS = @OLD_FOREIGN_KEY_CHECKS, "
         "UNIQUE_CHECKS = @OLD_UNIQUE_CHECKS, SQL_MODE = @OLD_SQL_MODE, "
         "SQL_NOTES = @OLD_SQL_NOTES;");
  w.line("SET CHARACTER_SET_CLIENT = @OLD_CHARACTER_SET_CLIENT, "
         "CHARACTER_SET_RESULTS = @OLD_CHARACTER_SET_RESULTS, "
         "COLLATION_CONNECTION = @OLD_COLLATION_CONNECTION;");
  return w.text();
}
