#include "app/mysql_test_main.h"

#include "about/AboutBoxUnit.h"
#include "clientlib/ServerSession.h"
#include "commands/CommandEdge.h"
#include "common/FormTools.h"
#include "common/Interaction.h"
#include "common/ScopeExit.h"
#include "common/WaitWindow.h"
#include "compare/CompareCommand.h"
#include "connection/ConnectionCommands.h"
#include "connection/verbindungFUnit.h"
#include "fields/EditFieldFUnit.h"
#include "fields/FieldCommands.h"
#include "schema/DatabaseCommands.h"
#include "schema/NewTableFUnit.h"
#include "schema/TableCommands.h"
#include "sqlfile/SqlFileCommands.h"
#include "ssh/SshTunnel.h"
#include "structure/StructureForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

ReportListView *makeList(QWidget *parent, const QStringList &captions, const QList<int> &widths) {
  auto *list = new ReportListView(parent);
  list->setColumns(captions, widths);
  list->setAccessibleName(captions.join(QLatin1Char(' ')));
  return list;
}

// Connects a signal to a command's handler: it runs at the command edge,
// one command at a time.
template <typename Sender, typename Signal>
void onSignal(TMainForm *form, Sender *sender, Signal signal, void (TMainForm::*handler)()) {
  QObject::connect(sender, signal, form,
                   [form, handler] { form->Edge->run(form, [&] { (form->*handler)(); }); });
}

// Connects a signal to a handler that only sets the buttons' states: it runs
// also in the middle of a command (a refill selects rows).
template <typename Sender, typename Signal>
void onChange(TMainForm *form, Sender *sender, Signal signal, void (TMainForm::*handler)()) {
  QObject::connect(sender, signal, form,
                   [form, handler] { RunHandler(form, [&] { (form->*handler)(); }); });
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent), Session(std::make_unique<ServerSession>()),
      Edge(std::make_unique<CommandEdge>(*Session)),
      Structures(std::make_unique<StructureWindows>(*Session, *Edge, this)),
      SqlFiles(std::make_unique<SqlFileCommands>(*Session, *this, *Edge, this)) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(ProductTitle);
  setMinimumSize(320, 240);
  resize(750, 550);

  auto *central = new QWidget(this);
  auto *outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  Panel1 = new QWidget(central);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  buildPanel1();

  ListView1 = makeList(central, {QStringLiteral("Datenbanken")}, {225});
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView2 = makeList(central, {QStringLiteral("Tabellen der Datenbank")}, {225});
  ListView2->setObjectName(QStringLiteral("ListView2"));

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(std::max(19, StatusBar1->sizeHint().height()));
  setStatusBar(StatusBar1);

  Panel2 = new QWidget(central);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  buildPanel2();

  ListView3 = makeList(central, {QStringLiteral("Felder"), QStringLiteral("Typ")}, {100, 170});
  ListView3->setObjectName(QStringLiteral("ListView3"));

  // The table list's ways to a table's structure: Ctrl+I or the menu key,
  // the context menu, and a double click.
  StructureAction = new QAction(QStringLiteral("&Struktur..."), ListView2);
  StructureAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_I), QKeySequence(Qt::Key_Menu)});
  StructureAction->setShortcutContext(Qt::WidgetShortcut);
  ListView2->addAction(StructureAction);
  ListView2->setContextMenuPolicy(Qt::CustomContextMenu);
  CompareAction = new QAction(QStringLiteral("&Vergleichen mit..."), ListView1);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);

  ListView1->setFixedWidth(233);
  ListView2->setFixedWidth(233);
  auto *lists = new QHBoxLayout;
  lists->setSpacing(0);
  lists->addWidget(ListView1);
  lists->addWidget(ListView2);
  lists->addWidget(ListView3, 1);

  outer->addWidget(Panel1);
  outer->addLayout(lists, 1);
  outer->addWidget(Panel2);
  setCentralWidget(central);

  // Tab order: the upper panel, the database and table lists, the lower panel, the field list.
  SetTabChain({connectbtn, cancelbtn, EndeBtn, AboutBtn, ListView1, ListView2, NewDBBtn, DropDBBtn,
               NewTableBtn, DelTableBtn, TableRenameBtn, NewFieldBtn, DelFieldBtn, ChangeFieldBnt,
               ListView3});
  wire();
}

TMainForm::~TMainForm() = default;

void TMainForm::buildPanel1() {
  connectbtn = new BitBtnXP(QStringLiteral("Verbinden..."), BitBtnXP::Kind::Ok, Panel1);
  cancelbtn = new BitBtnXP(QStringLiteral("Trennen"), BitBtnXP::Kind::Cancel, Panel1);
  EndeBtn = new BitBtnXP(QStringLiteral("Ende"), BitBtnXP::Kind::Cancel, Panel1);
  AboutBtn = new BitBtnXP(QStringLiteral("Über..."), BitBtnXP::Kind::Custom, Panel1);
  AboutBtn->setGlyph(QStyle::SP_MessageBoxInformation);
  connectbtn->setObjectName(QStringLiteral("connectbtn"));
  cancelbtn->setObjectName(QStringLiteral("cancelbtn"));
  EndeBtn->setObjectName(QStringLiteral("EndeBtn"));
  AboutBtn->setObjectName(QStringLiteral("AboutBtn"));
  connectbtn->setDesignSize(129, 25);
  cancelbtn->setDesignSize(89, 25);
  EndeBtn->setDesignSize(75, 25);
  AboutBtn->setDesignSize(75, 25);
  cancelbtn->setEnabled(false);

  // Designed left edges 8, 144, 240 and 320: gaps of 7, 7 and 5 pixels.
  auto *row = new QHBoxLayout(Panel1);
  row->setContentsMargins(8, 8, 8, 8);
  row->setSpacing(0);
  row->addWidget(connectbtn);
  row->addSpacing(7);
  row->addWidget(cancelbtn);
  row->addSpacing(7);
  row->addWidget(EndeBtn);
  row->addSpacing(5);
  row->addWidget(AboutBtn);
  row->addStretch(1);
  Panel1->setFixedHeight(std::max(41, row->sizeHint().height()));
}

void TMainForm::buildPanel2() {
  auto make = [this](const char *name, const QString &caption, BitBtnXP::Kind kind) {
    auto *button = new BitBtnXP(caption, kind, Panel2);
    button->setObjectName(QLatin1String(name));
    button->setDesignSize(145, 25);
    return button;
  };
  using K = BitBtnXP::Kind;
  NewDBBtn = make("NewDBBtn", QStringLiteral("Neue Datenbank..."), K::All);
  DropDBBtn = make("DropDBBtn", QStringLiteral("Datenbank löschen..."), K::Cancel);
  NewTableBtn = make("NewTableBtn", QStringLiteral("Neue Tabelle..."), K::All);
  DelTableBtn = make("DelTableBtn", QStringLiteral("Tabelle löschen..."), K::Cancel);
  TableRenameBtn = make("TableRenameBtn", QStringLiteral("Tabelle umbenennen..."), K::Custom);
  NewFieldBtn = make("NewFieldBtn", QStringLiteral("Neue Feld..."), K::All);
  DelFieldBtn = make("DelFieldBtn", QStringLiteral("Feld löschen..."), K::Cancel);
  ChangeFieldBnt = make("ChangeFieldBnt", QStringLiteral("Feld ändern..."), K::Custom);
  TableRenameBtn->setGlyph(QStyle::SP_FileDialogContentsView);
  TableRenameBtn->setCancelRole(true);
  ChangeFieldBnt->setGlyph(QStyle::SP_FileDialogDetailedView);
  ChangeFieldBnt->setCancelRole(true);
  // Rule R1: at start only "Neue Datenbank..." of the lower panel is enabled.
  for (BitBtnXP *b : {DropDBBtn, NewTableBtn, DelTableBtn, TableRenameBtn, NewFieldBtn, DelFieldBtn,
                      ChangeFieldBnt})
    b->setEnabled(false);

  // One width for all, so that the columns line up even where a caption needs more.
  int width = 0;
  for (BitBtnXP *b : Panel2->findChildren<BitBtnXP *>())
    width = std::max(width, b->sizeHint().width());
  for (BitBtnXP *b : Panel2->findChildren<BitBtnXP *>())
    b->setDesignSize(width, 25);

  // Three columns at the designed left edges 8, 240 and 472, three rows.
  auto *grid = new QGridLayout(Panel2);
  grid->setContentsMargins(8, 8, 8, 6);
  grid->setHorizontalSpacing(87);
  grid->setVerticalSpacing(0);
  grid->addWidget(NewDBBtn, 0, 0);
  grid->addWidget(DropDBBtn, 1, 0);
  grid->addWidget(NewTableBtn, 0, 1);
  grid->addWidget(DelTableBtn, 1, 1);
  grid->addWidget(TableRenameBtn, 2, 1);
  grid->addWidget(NewFieldBtn, 0, 2);
  grid->addWidget(DelFieldBtn, 1, 2);
  grid->addWidget(ChangeFieldBnt, 2, 2);
  grid->setColumnStretch(3, 1);
  Panel2->setFixedHeight(std::max(89, grid->sizeHint().height()));
}

void TMainForm::wire() {
  using B = QPushButton;
  onSignal(this, connectbtn, &B::clicked, &TMainForm::connectbtnClick);
  // "Trennen" and "Ende" that come during a command end it first.
  connect(cancelbtn, &B::clicked, this,
          [this] { Edge->endCommandThen(this, [this] { cancelbtnClick(); }); });
  connect(EndeBtn, &B::clicked, this, &TMainForm::EndeBtnClick);
  onSignal(this, AboutBtn, &B::clicked, &TMainForm::AboutBtnClick);
  onSignal(this, NewDBBtn, &B::clicked, &TMainForm::NewDBBtnClick);
  onSignal(this, DropDBBtn, &B::clicked, &TMainForm::DropDBBtnClick);
  onSignal(this, NewTableBtn, &B::clicked, &TMainForm::NewTableBtnClick);
  onSignal(this, DelTableBtn, &B::clicked, &TMainForm::DelTableBtnClick);
  onSignal(this, TableRenameBtn, &B::clicked, &TMainForm::TableRenameBtnClick);
  onSignal(this, NewFieldBtn, &B::clicked, &TMainForm::NewFieldBtnClick);
  onSignal(this, DelFieldBtn, &B::clicked, &TMainForm::DelFieldBtnClick);
  onSignal(this, ChangeFieldBnt, &B::clicked, &TMainForm::ChangeFieldBntClick);
  onSignal(this, ListView1, &ReportListView::clicked, &TMainForm::ListView1Click);
  onSignal(this, ListView2, &ReportListView::clicked, &TMainForm::ListView2Click);
  // A row reached without a click (keyboard, a drag) is listed as a click
  // lists it: the lists to the right never go on showing another row's contents.
  onSignal(this, ListView1, &ReportListView::movedWithoutClick, &TMainForm::ListView1Click);
  onSignal(this, ListView2, &ReportListView::movedWithoutClick, &TMainForm::ListView2Click);
  onChange(this, ListView1, &ReportListView::changed, &TMainForm::ListView1Change);
  onChange(this, ListView2, &ReportListView::changed, &TMainForm::ListView2Change);
  onChange(this, ListView3, &ReportListView::changed, &TMainForm::ListView3Change);
  onSignal(this, StructureAction, &QAction::triggered, &TMainForm::ShowStructure);
  onSignal(this, ListView2, &ReportListView::doubleClicked, &TMainForm::ShowStructure);
  // A context menu opens between commands only; its entries are commands.
  connect(ListView1, &ReportListView::customContextMenuRequested, this, [this](const QPoint &at) {
    if (!Edge->running())
      ListView1ContextPopup(at);
  });
  connect(ListView2, &ReportListView::customContextMenuRequested, this, [this](const QPoint &at) {
    if (!Edge->running())
      ListView2ContextPopup(at);
  });
  // A remote server answers a click in a round trip of its own; a second
  // click that comes meanwhile still makes the double click.
  KeepDoubleClickDuringCalls(ListView2->viewport(), [this](const QPoint &at) {
    Edge->later(this, [this, at] { DoubleClickAfterCall(at); });
  });
  onSignal(this, CompareAction, &QAction::triggered, &TMainForm::CompareDatabase);
  Structures->changed = [this](const QString &database, const QString &table) {
    StructureChanged(database, table);
  };
  // A cancel that the server did not answer broke the connection: the
  // command that waited ends first.
  Session->setConnectionBrokenHandler([this] {
    QTimer::singleShot(0, this, [this] {
      DisconnectWhenIdle(
          [this] { return Session->connectionBroken(); },
          QStringLiteral("Der Server hat die abgebrochene Anweisung nicht beendet; die "
                         "Verbindung wurde deshalb unterbrochen. Ob die Anweisung auf "
                         "dem Server noch ausgeführt wird, lässt sich nicht sagen."),
          QStringLiteral("Verbindung unterbrochen"));
    });
  });
  Edge->connectionLost = [this](const QString &error) { ConnectionLost(error); };
}

QList<BitBtnXP *> TMainForm::buttonsInCreationOrder() const {
  return {connectbtn,  cancelbtn,   EndeBtn,        AboutBtn,    NewDBBtn,    DropDBBtn,
          NewTableBtn, DelTableBtn, TableRenameBtn, NewFieldBtn, DelFieldBtn, ChangeFieldBnt};
}

// Rule R4.
void TMainForm::ListView1Change() {
  const bool on = ListView1->hasSelection();
  DropDBBtn->setEnabled(on);
  NewTableBtn->setEnabled(on);
}

// Rule R5.
void TMainForm::ListView2Change() {
  const bool on = ListView1->hasSelection() && ListView2->hasSelection();
  DelTableBtn->setEnabled(on);
  TableRenameBtn->setEnabled(on);
  NewFieldBtn->setEnabled(on);
}

// Rule R6.
void TMainForm::ListView3Change() {
  const bool on = ListView3->hasSelection();
  DelFieldBtn->setEnabled(on);
  ChangeFieldBnt->setEnabled(on);
}

// The database list's context menu: each feature appends its entries.
void TMainForm::ListView1ContextPopup(const QPoint &at) {
  const Selection s = CurrentSelection();
  if (s.database < 0)
    return;
  QMenu menu(this);
  SqlFiles->addDatabaseEntries(menu, s.databaseName);
  menu.addAction(CompareAction);
  menu.exec(ListView1->viewport()->mapToGlobal(at));
}

void TMainForm::ListView2ContextPopup(const QPoint &at) {
  if (!ListView2->hasSelection())
    return;
  QMenu menu(this);
  menu.addAction(StructureAction);
  if (const Selection s = CurrentSelection(); s.database >= 0)
    SqlFiles->addTableEntries(menu, s.databaseName, {s.tableName});
  menu.exec(ListView2->viewport()->mapToGlobal(at));
}

void TMainForm::CompareDatabase() { CompareCommand(*Session, *this, this).CompareWithOther(); }

void TMainForm::ShowStructure() {
  const Selection s = CurrentSelection();
  if (s.database < 0 || s.table < 0 || !ConnectedOrSaySo(*Session, this))
    return;
  Structures->Open(s.databaseName, s.tableName);
}

void TMainForm::DoubleClickAfterCall(const QPoint &at) {
  const int row = ListView2->indexAt(at).row();
  if (row >= 0 && row == ListView2->selectedRow())
    ShowStructure();
}

void TMainForm::StructureChanged(const QString &database, const QString &table) {
  const Selection s = CurrentSelection();
  if (connected() && s.databaseName == database && s.tableName == table && s.table >= 0)
    Relist(ListingRequest::FieldsOf(database, table));
}

void TMainForm::EndeBtnClick() { RequestEnd(); }

void TMainForm::RequestEnd() {
  if (Edge->running())
    CloseDialogsWhileEnding();
  Edge->endCommandThen(this, [this] {
    m_closing = true;
    close();
  });
}

// A dialog or box of the command being ended would wait for an answer that
// an ending program does not give.
void TMainForm::CloseDialogsWhileEnding() {
  if (!Edge->running())
    return;
  if (QWidget *modal = QApplication::activeModalWidget()) {
    if (auto *dialog = qobject_cast<QDialog *>(modal))
      dialog->reject();
    else
      modal->close();
  }
  QTimer::singleShot(50, this, [this] { CloseDialogsWhileEnding(); });
}

void TMainForm::AboutBtnClick() {
  if (AboutBox)
    ExecModal(*AboutBox);
}

ConnectionCommands TMainForm::connectionCommands() {
  return ConnectionCommands(*Session, *Dialog, this, Tunnel);
}

void TMainForm::connectbtnClick() {
  const ConnectionCommands::Attempt attempt = connectionCommands().Connect();
  using Outcome = ConnectionCommands::Attempt::Outcome;
  if (attempt.outcome == Outcome::DialogCancelled)
    close();
  if (attempt.outcome != Outcome::Connected)
    return;
  connectbtn->setEnabled(false);
  cancelbtn->setEnabled(true);
  StatusBar1->showMessage(attempt.status);
  if (Tunnel)
    connect(
        Tunnel.get(), &SshTunnel::broken, this,
        [this, tunnel = Tunnel.get()](const QString &message) { TunnelBroken(tunnel, message); },
        Qt::QueuedConnection);
  ListCurrentDatabases();
}

void TMainForm::TunnelBroken(const SshTunnel *tunnel, const QString &message) {
  DisconnectWhenIdle([this, tunnel] { return tunnel == Tunnel.get(); }, message,
                     QStringLiteral("SSH-Verbindung abgebrochen"));
}

void TMainForm::DisconnectWhenIdle(const std::function<bool()> &gone, const QString &message,
                                   const QString &title) {
  if (!gone() || !connected())
    return;
  if (Edge->running() || Session->busy() || QApplication::activeModalWidget() ||
      QApplication::activePopupWidget()) {
    QTimer::singleShot(200, this,
                       [this, gone, message, title] { DisconnectWhenIdle(gone, message, title); });
    return;
  }
  Edge->run(this, [&] {
    ShowMessage(this,
                message + QStringLiteral("\n\nDie Verbindung zur Datenbank wurde getrennt. "
                                         "Quellwerk verbindet sich nicht von selbst neu; mit "
                                         "„Verbinden...“ bauen Sie sie wieder auf."),
                title, MessageButtons::Ok, MessageIcon::Critical);
    cancelbtnClick();
  });
}

void TMainForm::cancelbtnClick() {
  if (!connected())
    return;
  // The structure windows read and change through this connection; after a
  // reconnect, perhaps to another server, they would show and change another
  // table of the same name.
  Structures->CloseAll();
  ScopeExit disconnected([this] { ShowDisconnected(); });
  connectionCommands().Disconnect();
}

void TMainForm::ShowDisconnected() {
  connectbtn->setEnabled(true);
  cancelbtn->setEnabled(false);
  ListView1->clear();
  ListView2->clear();
  ListView3->clear();
  StatusBar1->clearMessage();
}

void TMainForm::ConnectionLost(const QString &error) {
  Structures->CloseAll();
  connectionCommands().Disconnect(); // the session closed the connection; its tunnel goes too
  ShowDisconnected();
  const ServerEndpoint &server = Session->endpoint();
  ShowMessage(this,
              QStringLiteral("Die Verbindung zum Server „%1:%2“ ist abgebrochen:\n%3\n\nDer "
                             "Server wurde beendet oder neu gestartet, oder er hat die Verbindung "
                             "getrennt. Ob eine eben gesendete Änderung noch ausgeführt wurde, "
                             "lässt sich nicht sagen.\n\nQuellwerk hat die Verbindung getrennt "
                             "und verbindet sich nicht von selbst neu; mit „Verbinden...“ bauen "
                             "Sie sie wieder auf und sehen den Stand des Servers.")
                  .arg(server.host)
                  .arg(server.port)
                  .arg(error),
              QStringLiteral("Verbindung abgebrochen"), MessageButtons::Ok, MessageIcon::Critical);
}

void TMainForm::FormClose() { cancelbtnClick(); }

void TMainForm::NewDBBtnClick() { DatabaseCommands(*Session, *this, this).NewDatabase(*NewDBForm); }

void TMainForm::DropDBBtnClick() { DatabaseCommands(*Session, *this, this).DropDatabase(); }

void TMainForm::NewTableBtnClick() { TableCommands(*Session, *this, this).NewTable(*NewTableForm); }

void TMainForm::DelTableBtnClick() { TableCommands(*Session, *this, this).DropTable(); }

void TMainForm::TableRenameBtnClick() {
  TableCommands(*Session, *this, this).RenameTable(*RenameTableForm);
}

FieldCommands TMainForm::fieldCommands() {
  return FieldCommands(*Session, *this, this, *EditFieldForm, *NewTableForm);
}

void TMainForm::NewFieldBtnClick() { fieldCommands().NewField(); }

void TMainForm::ChangeFieldBntClick() { fieldCommands().ChangeField(); }

void TMainForm::DelFieldBtnClick() { fieldCommands().DropField(); }

TMainForm::Selection TMainForm::CurrentSelection() const {
  Selection s;
  s.database = ListView1->selectedRow();
  s.table = ListView2->selectedRow();
  s.field = ListView3->selectedRow();
  s.databaseName = ListView1->caption(s.database);
  s.tableName = ListView2->caption(s.table);
  s.fieldName = ListView3->caption(s.field);
  return s;
}

QStringList TMainForm::ShownDatabases() const {
  QStringList names;
  for (int row = 0; row < ListView1->count(); ++row)
    names << ListView1->caption(row);
  return names;
}

QList<ListedField> TMainForm::ShownFields() const {
  QList<ListedField> shown;
  for (int row = 0; row < ListView3->count(); ++row)
    shown.append({ListView3->caption(row), ListView3->items().cell(row, 1)});
  return shown;
}

bool TMainForm::connected() const { return Session->connected(); }

void TMainForm::closeEvent(QCloseEvent *event) {
  if (m_closing) { // the command that ends the program
    FormClose();
    event->accept();
    return;
  }
  if (Edge->running()) {
    event->ignore();
    RequestEnd();
    return;
  }
  Edge->run(this, [this] { FormClose(); });
  event->accept();
}

void TMainForm::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_F5 && !(event->modifiers() & ~Qt::KeypadModifier)) {
    Edge->run(this, [this] { RefreshLists(); });
    return;
  }
  // Enter clicks "Verbinden..." while it is enabled; Escape the first enabled
  // cancel button: "Trennen" while connected, otherwise "Ende".
  if (!HandleFormKey(event, buttonsInCreationOrder()))
    QMainWindow::keyPressEvent(event);
}

// F5: the three lists afresh from the server in one request, with the
// database, table and field selected again by name where they still exist
// (a database or table that is gone is said so).
void TMainForm::RefreshLists() {
  if (!connected())
    return;
  const Selection was = CurrentSelection();
  if (was.database < 0) {
    ListCurrentDatabases();
    return;
  }
  if (was.table < 0) {
    ListTables(was.databaseName);
    return;
  }
  ListFields(was.databaseName, was.tableName);
  const Selection now = CurrentSelection();
  if (was.field >= 0 && now.databaseName == was.databaseName && now.tableName == was.tableName &&
      now.table >= 0)
    ListView3->selectRow(ListView3->rowOf(was.fieldName));
}

void TMainForm::showEvent(QShowEvent *event) {
  QMainWindow::showEvent(event);
  if (!m_placed) {
    m_placed = true;
    CentreOnScreen(this);
  }
}
