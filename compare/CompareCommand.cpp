#include "compare/CompareCommand.h"

#include "clientlib/Listings.h"
#include "clientlib/SchemaCalls.h"
#include "clientlib/StatementBatch.h"
#include "common/Interaction.h"
#include "compare/CompareForm.h"
#include "compare/FileIntoTemporary.h"
#include "compare/SchemaModel.h"
#include "connection/ConnectionCommands.h"
#include "connection/verbindungFUnit.h"
#include "sqlfile/ScriptFile.h"
#include "sqlfile/SqlFileCommands.h"
#include "ssh/SshTunnel.h"
#include "structure/StructureTools.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString NotPossible = QStringLiteral("Vergleich nicht möglich");

// The server's own databases are never the one a script changes: two of
// them cannot be changed, and a change of mysql or sys would change the
// server itself.
bool CanBeChanged(const QString &database) {
  for (const char *own : {"information_schema", "performance_schema", "mysql", "sys"})
    if (database.compare(QLatin1String(own), Qt::CaseInsensitive) == 0)
      return false;
  return true;
}

QStringList Changeable(const QStringList &databases, const QString &except) {
  QStringList others;
  for (const QString &name : databases)
    if (name != except && CanBeChanged(name))
      others << name;
  return others;
}

// "user@host:port" of a session's connection.
QString ServerOf(const ServerSession &session) {
  const ServerEndpoint &e = session.endpoint();
  return ConnectionKey{e.host, e.port, e.user}.caption();
}

QString DatabaseOn(const QString &database, const ServerSession &session) {
  return QStringLiteral("„%1“ auf %2").arg(database, ServerOf(session));
}

void SayNotPossible(QWidget *parent, const QString &text) {
  ShowMessage(parent, text, NotPossible, MessageButtons::Ok, MessageIcon::Critical);
}

// A database on the connection of a session.
struct Side {
  ServerSession *session;
  QString database;
};

// A database's schema from what the server said; nothing when the server
// refused or the database is gone (then the user was told).
std::optional<SchemaModel> ModelOf(QWidget *parent, const SchemaRows &rows, const QString &database,
                                   const QString &shown) {
  if (!rows.reply.ok) {
    SayNotPossible(parent, QStringLiteral("Die Struktur der Datenbank %1 konnte nicht gelesen "
                                          "werden.\n\n%2")
                               .arg(shown, rows.reply.error));
    return std::nullopt;
  }
  if (!rows.databaseExists) {
    SayNotPossible(parent, QStringLiteral("Die Datenbank „%1“ gibt es nicht mehr.").arg(database));
    return std::nullopt;
  }
  return BuildSchemaModel(database, rows);
}

// Reads both sides (at the same time where they have connections of their
// own) and compares them; nothing when the user cancelled or a side could
// not be read (then the user was told).
std::optional<SchemaComparison> Compare(QWidget *parent, const Side &a, const QString &shownA,
                                        const Side &b, const QString &shownB) {
  for (const Side *side : {&a, &b})
    if (!side->session->connected()) {
      SayNotPossible(
          parent,
          QStringLiteral("Die Verbindung zu %1 besteht nicht mehr.").arg(ServerOf(*side->session)));
      return std::nullopt;
    }
  std::pair<SchemaRows, SchemaRows> rows;
  if (a.session != b.session) {
    rows = ReadSchemaRowsTogether(*a.session, a.database, *b.session, b.database);
  } else {
    rows.first = ReadSchemaRows(*a.session, a.database);
    if (!a.session->lastCallCancelled() && rows.first.reply.ok && rows.first.databaseExists)
      rows.second = ReadSchemaRows(*b.session, b.database);
  }
  if (a.session->lastCallCancelled() || b.session->lastCallCancelled())
    return std::nullopt;
  const std::optional<SchemaModel> modelA = ModelOf(parent, rows.first, a.database, shownA);
  if (!modelA)
    return std::nullopt;
  const std::optional<SchemaModel> modelB = ModelOf(parent, rows.second, b.database, shownB);
  if (!modelB)
    return std::nullopt;
  return CompareSchemas(*modelA, *modelB);
}

// Runs `work`, which uses a connection of the comparison's own beside the
// program's: when that one breaks off, the user is told and nothing is
// returned. The loss of the program's connection goes on to the command's
// edge.
template <typename Work>
auto OnOwnConnection(QWidget *parent, const ServerSession &main, Work work)
    -> std::optional<decltype(work())> {
  try {
    return work();
  } catch (const ConnectionLost &lost) {
    if (!main.connected())
      throw;
    SayNotPossible(
        parent,
        QStringLiteral("Die zweite Verbindung zum Server ist abgebrochen: %1").arg(lost.error));
    return std::nullopt;
  }
}

// A second connection as the program's, so that both sides are read at
// the same time; none where the server does not take one more (the one
// connection then reads both, one after the other).
std::unique_ptr<ServerSession> SecondConnection(ServerSession &main) {
  auto second = std::make_unique<ServerSession>();
  const ServerSession::ConnectOutcome outcome = second->connectLike(
      QStringLiteral("Öffne eine zweite Verbindung zu %1 ...").arg(ServerOf(main)), main);
  if (outcome.step != ServerSession::ConnectStep::Connected)
    return nullptr;
  return second;
}

// A connection of the comparison's own: closed with it.
struct OwnConnection {
  std::unique_ptr<ServerSession> session;
  std::unique_ptr<SshTunnel> tunnel;
  ~OwnConnection() {
    if (session)
      session->close(QStringLiteral("Trenne die zweite Verbindung ..."));
  }
};

// Shows the result window until the user closes it. True when a statement
// was sent on `scriptOn`.
bool ShowComparison(QWidget *parent, ServerSession &main, ServerSession &scriptOn,
                    const ComparisonSides &sides, const Side &a, const Side &b,
                    const std::function<void(SchemaComparison &)> &adjust = {}) {
  QWidget *messagesOver = parent;
  const auto compare = [&]() -> std::optional<SchemaComparison> {
    auto comparison = OnOwnConnection(
        messagesOver, main, [&] { return Compare(messagesOver, a, sides.a, b, sides.b); });
    if (!comparison || !*comparison)
      return std::nullopt;
    if (adjust)
      adjust(**comparison);
    return *comparison;
  };
  const std::optional<SchemaComparison> comparison = compare();
  if (!comparison)
    return false;
  // Once a run has changed a side, the window compares anew; what goes
  // wrong then is said over the window.
  TCompareForm form(scriptOn, sides, *comparison, compare, parent);
  messagesOver = &form;
  ExecModal(form);
  form.rethrowStop();
  return form.sent();
}

// A database of its own name on the server for the time of a comparison,
// dropped when it goes: through the program's connection, or where that
// is gone or ended, through the comparison's own.
class TemporaryDatabase {
public:
  TemporaryDatabase(QWidget *parent, ServerSession &main, ServerSession *second)
      : m_parent(parent), m_main(main), m_second(second) {}
  TemporaryDatabase(const TemporaryDatabase &) = delete;
  TemporaryDatabase &operator=(const TemporaryDatabase &) = delete;

  // False when the server refused it (the user was told).
  bool create() {
    ServerSession &session = m_second ? *m_second : m_main;
    ServerReply refusal;
    // Random, so that no other database has the name; a clash fails (no IF
    // NOT EXISTS) and another name is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
      const QString name =
          QStringLiteral("qw_vergleich_%1")
              .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
      const QueryResult created =
          session.query(QStringLiteral("Lege eine temporäre Datenbank an ..."),
                        QStringLiteral("CREATE DATABASE `%1`").arg(name));
      if (created.reply.ok) {
        m_name = name;
        return true;
      }
      refusal = created.reply;
    }
    SayNotPossible(m_parent, QStringLiteral("Die temporäre Datenbank für die Datei konnte nicht "
                                            "angelegt werden.\n\n%1")
                                 .arg(refusal.error));
    return false;
  }
  const QString &name() const { return m_name; }

  ~TemporaryDatabase() {
    if (m_name.isEmpty())
      return;
    QString error;
    for (ServerSession *session : {&m_main, m_second}) {
      if (!session || !session->connected() || session->callsInterrupted())
        continue;
      try {
        const QueryResult dropped =
            session->query(QStringLiteral("Lösche die temporäre Datenbank ..."),
                           QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(m_name));
        if (dropped.reply.ok)
          return;
        error = dropped.reply.error;
      } catch (const std::exception &e) {
        error = QString::fromUtf8(e.what());
      }
    }
    ShowMessage(m_parent,
                QStringLiteral("Die temporäre Datenbank „%1“ konnte nicht gelöscht werden%2. Bitte "
                               "löschen Sie sie selbst.")
                    .arg(m_name, error.isEmpty() ? QString() : QStringLiteral(": ") + error),
                NotPossible, MessageButtons::Ok, MessageIcon::Warning);
  }

private:
  QWidget *m_parent;
  ServerSession &m_main;
  ServerSession *m_second;
  QString m_name;
};

bool CompareWithFile(QWidget *parent, ServerSession &main, const QString &database,
                     const QString &path) {
  ScriptFile file;
  if (!file.open(path)) {
    SayNotPossible(parent, QStringLiteral("„%1“: %2.").arg(path, file.failure()));
    return false;
  }
  OwnConnection own;
  own.session = SecondConnection(main);
  return OnOwnConnection(
             parent, main,
             [&] {
               TemporaryDatabase temporary(parent, main, own.session.get());
               if (!temporary.create())
                 return false;
               ServerSession &load = own.session ? *own.session : main;
               const BatchResult server = load.batch(
                   QStringLiteral("Lese die Datenbanken ..."),
                   {QStringLiteral("SHOW DATABASES"), QStringLiteral("SELECT @@version")});
               if (!server.ok()) {
                 SayNotPossible(parent, QStringLiteral("Die Datenbanken des Servers ließen sich "
                                                       "nicht lesen.\n\n%1")
                                            .arg(server.reply.error));
                 return false;
               }
               LoadServer beside{{}, VersionNumber(server.results.value(1).text(0, 0))};
               const QueryResult listed = server.results.value(0);
               for (qsizetype row = 0; row < listed.rows.size(); ++row)
                 if (listed.text(row, 0) != temporary.name())
                   beside.otherDatabases << listed.text(row, 0);
               const QString name = QFileInfo(path).fileName();
               JobProgress progress;
               progress.bytesTotal = file.size();
               FileIntoTemporary statements(file, std::move(beside));
               const QString loading =
                   QStringLiteral("„%1“ wird für den Vergleich geladen ...").arg(name);
               ScriptOutcome outcome;
               WithProgressWindow(
                   QStringLiteral("Vergleichen mit"), loading, progress, FileRunFigures, [&] {
                     outcome = RunScript(load, loading, temporary.name(), statements, progress);
                   });
               QString failure =
                   outcome.databaseSelected ? FileRunFailure(outcome, file) : outcome.reply.error;
               if (failure.isEmpty())
                 failure = statements.refusal();
               if (!failure.isEmpty()) {
                 SayNotPossible(parent, QStringLiteral("Die Datei „%1“ ließ sich nicht laden; es "
                                                       "wird nichts verglichen.\n\n%2")
                                            .arg(path, failure));
                 return false;
               }
               const ComparisonSides sides{QStringLiteral("Datei „%1“").arg(name),
                                           DatabaseOn(database, main), false};
               return ShowComparison(parent, main, main, sides, {&load, temporary.name()},
                                     {&main, database}, [&](SchemaComparison &c) {
                                       // The script names the file, not the database it was
                                       // loaded into.
                                       c.databaseA = name;
                                     });
             })
      .value_or(false);
}

bool CompareWithSavedConnection(QWidget *parent, ServerSession &main, const QString &database,
                                const SavedConnection &row) {
  Keyring keyring;
  std::optional<QString> password = SavedPassword(row, keyring, parent);
  if (!password)
    return false;
  ConnectionRequest request = RequestFor(row.host, row.port, row.user, {});
  request.endpoint.password = std::exchange(*password, QString());
  OwnConnection own;
  own.session = std::make_unique<ServerSession>();
  ConnectionCommands connecting(*own.session, parent, own.tunnel);
  if (connecting.Open(std::move(request)).outcome !=
      ConnectionCommands::Attempt::Outcome::Connected)
    return false;
  ServerSession &other = *own.session;
  OnOwnConnection(parent, main, [&] {
    const Listing listing =
        ReadListing(other, QStringLiteral("Lese die Datenbanken von %1 ...").arg(ServerOf(other)),
                    ListingRequest::Databases());
    if (!listing.databases) {
      SayNotPossible(parent, QStringLiteral("Die Datenbanken von %1 ließen sich nicht lesen.\n\n%2")
                                 .arg(ServerOf(other), listing.databasesReply.error));
      return false;
    }
    QStringList names;
    for (qsizetype i = 0; i < listing.databases->size(); ++i)
      names << listing.databases->text(i);
    TCompareSourceForm choice(database, Changeable(names, {}), {}, parent, ServerOf(other));
    if (ExecModal(choice) != QDialog::Accepted || choice.chosen().isEmpty())
      return false;
    const ComparisonSides sides{DatabaseOn(database, main), DatabaseOn(choice.chosen(), other),
                                true};
    ShowComparison(parent, main, other, sides, {&main, database}, {&other, choice.chosen()});
    return true;
  });
  return false; // nothing of the program's connection changed
}

} // namespace

TCompareSourceForm::TCompareSourceForm(const QString &database, const QStringList &others,
                                       const QList<SavedConnection> &connections, QWidget *parent,
                                       const QString &server)
    : QDialog(parent), ConnectionList(nullptr), FileEd(nullptr), FileBtn(nullptr),
      m_database(database) {
  setObjectName(QStringLiteral("CompareSourceForm"));
  setWindowTitle(QStringLiteral("Vergleichen mit"));
  Sources = new QTabWidget(this);

  // A page of a list to choose from, with its caption above.
  const auto listPage = [this](const QString &tab, const QString &caption, const QString &header,
                               const QString &name, const QStringList &rows) {
    auto *page = new QWidget(Sources);
    QTreeWidget *list = MakeReportList(page, {header}, name);
    for (const QString &row : rows)
      new QTreeWidgetItem(list, {row});
    QLabel *label = MakeBuddyLabel(caption, list, page);
    label->setWordWrap(true);
    auto *column = new QVBoxLayout(page);
    column->addWidget(label);
    column->addWidget(list, 1);
    Sources->addTab(page, tab);
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] { update(); });
    connect(list, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    return list;
  };
  DatabaseList = listPage(QStringLiteral("Diese Verbindung"),
                          server.isEmpty() ? QStringLiteral("&Datenbank dieser Verbindung:")
                                           : QStringLiteral("&Datenbank auf %1:").arg(server),
                          QStringLiteral("Datenbank"), QStringLiteral("Datenbanken"), others);

  if (server.isEmpty()) {
    QStringList captions;
    for (const SavedConnection &row : connections)
      captions << ConnectionKey::Of(row).caption();
    ConnectionList = listPage(
        QStringLiteral("Andere Verbindung"),
        QStringLiteral("Eine Datenbank der gespeicherten &Verbindung (sie wird danach gewählt):"),
        QStringLiteral("Gespeicherte Verbindung"), QStringLiteral("Gespeicherte Verbindungen"),
        captions);

    auto *filePage = new QWidget(Sources);
    FileEd = new QLineEdit(filePage);
    FileBtn = new BitBtnXP(QStringLiteral("..."), BitBtnXP::Kind::Custom, filePage);
    FileBtn->setAccessibleName(QStringLiteral("Datei wählen"));
    FileBtn->setAutoDefault(false);
    auto *fileLabel = MakeBuddyLabel(QStringLiteral("&SQL-Datei:"), FileEd, filePage);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(FileEd, 1);
    fileRow->addWidget(FileBtn);
    auto *fileNote = new QLabel(
        QStringLiteral("Die Datei wird in eine temporäre Datenbank auf diesem Server geladen, "
                       "die danach wieder gelöscht wird. Geladen werden nur Tabellen, Sichten, "
                       "Trigger und Sequenzen; alle anderen Anweisungen (Daten, Routinen, "
                       "Benutzer, USE ...) werden übergangen, und eine Anweisung, die eine andere "
                       "Datenbank nennt, bricht das Laden ab."),
        filePage);
    fileNote->setTextFormat(Qt::PlainText);
    fileNote->setWordWrap(true);
    auto *fileLayout = new QVBoxLayout(filePage);
    fileLayout->addWidget(fileLabel);
    fileLayout->addLayout(fileRow);
    fileLayout->addWidget(fileNote);
    fileLayout->addStretch(1);
    Sources->addTab(filePage, QStringLiteral("SQL-Datei"));
    connect(FileEd, &QLineEdit::textChanged, this, [this] { update(); });
    connect(FileBtn, &QPushButton::clicked, this, [this] {
      const QString path =
          QFileDialog::getOpenFileName(this, QStringLiteral("SQL-Datei wählen"),
                                       FileEd->text().isEmpty() ? QDir::homePath() : FileEd->text(),
                                       QStringLiteral("SQL-Dateien (*.sql);;Alle Dateien (*)"),
                                       nullptr, QFileDialog::DontUseNativeDialog);
      if (!path.isEmpty())
        FileEd->setText(QDir::toNativeSeparators(path));
    });
  } else {
    Sources->tabBar()->hide();
  }
  connect(Sources, &QTabWidget::currentChanged, this, [this] { update(); });

  HintLabel = new QLabel(this);
  HintLabel->setTextFormat(Qt::PlainText);
  HintLabel->setWordWrap(true);
  auto *label = new QLabel(QStringLiteral("„%1“ vergleichen mit:").arg(database), this);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(Sources, 1);
  layout->addWidget(HintLabel);
  layout->addLayout(MakeOkCancelRow(this, OkBtn, CancelBtn));
  update();
  resize(440, 460);
}

TCompareSourceForm::Source TCompareSourceForm::source() const {
  switch (Sources->currentIndex()) {
  case 1: return Source::Connection;
  case 2: return Source::File;
  default: return Source::Database;
  }
}

QString TCompareSourceForm::chosen() const {
  const QList<QTreeWidgetItem *> selected = DatabaseList->selectedItems();
  return selected.isEmpty() ? QString() : selected.first()->text(0);
}

int TCompareSourceForm::chosenConnection() const {
  return ConnectionList ? SelectedRow(ConnectionList) : -1;
}

QString TCompareSourceForm::chosenFile() const {
  return FileEd ? FileEd->text().trimmed() : QString();
}

void TCompareSourceForm::update() {
  QString changed = QStringLiteral("die gewählte Datenbank"), model = QStringLiteral("„%1“");
  switch (source()) {
  case Source::Database: OkBtn->setEnabled(!chosen().isEmpty()); break;
  case Source::Connection:
    OkBtn->setEnabled(chosenConnection() >= 0);
    changed += QStringLiteral(" auf dem anderen Server");
    break;
  case Source::File:
    OkBtn->setEnabled(!chosenFile().isEmpty());
    changed = QStringLiteral("„%1“");
    model = QStringLiteral("der Struktur der Datei");
    break;
  }
  HintLabel->setText(QStringLiteral("Der Vergleich zeigt die Anweisungen, die %1 gleich %2 "
                                    "machen. Sie sehen das ganze Skript, bevor etwas ausgeführt "
                                    "wird.")
                         .arg(changed, model)
                         .arg(m_database));
}

bool CompareWithOtherDatabase(QWidget *parent, ServerSession &session, const QString &database,
                              const QStringList &databases) {
  const QList<SavedConnection> connections = SavedConnectionsStore().load().rows;
  TCompareSourceForm source(database, Changeable(databases, database), connections, parent);
  if (ExecModal(source) != QDialog::Accepted)
    return false;
  switch (source.source()) {
  case TCompareSourceForm::Source::Connection:
    if (source.chosenConnection() < 0)
      return false;
    return CompareWithSavedConnection(parent, session, database,
                                      connections.value(source.chosenConnection()));
  case TCompareSourceForm::Source::File:
    if (source.chosenFile().isEmpty())
      return false;
    return CompareWithFile(parent, session, database, source.chosenFile());
  case TCompareSourceForm::Source::Database: break;
  }
  if (source.chosen().isEmpty())
    return false;
  OwnConnection own;
  own.session = SecondConnection(session);
  ServerSession &second = own.session ? *own.session : session;
  const ComparisonSides sides{DatabaseOn(database, session), DatabaseOn(source.chosen(), session),
                              false};
  return ShowComparison(parent, session, session, sides, {&session, database},
                        {&second, source.chosen()});
}

void CompareCommand::CompareWithOther() {
  const std::optional<Selection> s = Start(Needs::Database);
  if (s && CompareWithOtherDatabase(m_window, m_session, s->databaseName, m_lists.ShownDatabases()))
    m_lists.RefreshLists();
}
