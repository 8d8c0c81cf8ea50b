#include "structure/StructureForm.h"

#include "clientlib/ServerSession.h"
#include "clientlib/Statements.h"
#include "common/FormStorage.h"
#include "common/FormTools.h"
#include "common/Interaction.h"
#include "fields/FieldRow.h"
#include "structure/NewForeignKeyForm.h"
#include "structure/NewIndexForm.h"
#include "structure/StructureTools.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString StorageSection = QStringLiteral("TStructureForm");

int PixelsPerInch(const QWidget &window) {
  const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

// A table as the structure window names it: alone within its own database,
// with its database elsewhere.
QString TableName(const QString &database, const QString &table, const QString &home) {
  return database == home ? table : database + QLatin1Char('.') + table;
}

QString PartsText(const QList<IndexPart> &parts) {
  QStringList written;
  for (const IndexPart &part : parts)
    written << part.column +
                   (part.prefixLength > 0 ? QStringLiteral("(%1)").arg(part.prefixLength)
                                          : QString()) +
                   (part.descending ? QStringLiteral(" DESC") : QString());
  return written.join(QStringLiteral(", "));
}

QString Joined(const QStringList &names) { return names.join(QStringLiteral(", ")); }

// How the kind of a default is told apart where the text alone would not:
// SQL NULL in italics and grey, with its kind as tooltip and for screen readers.
void SetDefaultCell(QTreeWidgetItem *item, int column, const ColumnDefault &value) {
  item->setText(column, value.display());
  static const QString kinds[] = {QString(), QStringLiteral("SQL NULL"), QStringLiteral("Text"),
                                  QStringLiteral("Zahl oder Ausdruck")};
  const QString &kind = kinds[static_cast<int>(value.kind)];
  item->setToolTip(column, kind);
  item->setData(column, Qt::AccessibleDescriptionRole, kind);
  if (value.kind == ColumnDefault::Kind::Null) {
    QFont italic = item->font(column);
    italic.setItalic(true);
    item->setFont(column, italic);
    item->setForeground(column, QApplication::palette().brush(QPalette::PlaceholderText));
  }
}

// Every column but the last as wide as its widest text, with some room
// before the next.
void FitColumns(QTreeWidget *list) {
  constexpr int Gap = 12;
  for (int c = 0; c < list->columnCount() - 1; ++c) {
    list->resizeColumnToContents(c);
    list->setColumnWidth(c, list->columnWidth(c) + Gap);
  }
}

// Fills a list anew, selecting again the row whose first cell was selected.
template <typename Rows, typename Cells>
void FillList(QTreeWidget *list, const Rows &rows, Cells cells) {
  const QTreeWidgetItem *before = list->currentItem();
  const QString selected = before ? before->text(0) : QString();
  list->clear();
  for (const auto &row : rows) {
    auto *item = new QTreeWidgetItem(list, cells(row));
    if (!selected.isNull() && item->text(0) == selected)
      list->setCurrentItem(item);
  }
  FitColumns(list);
}

QStringList ForeignKeyCells(const ForeignKeyRecord &key, const QString &home) {
  return {key.name,
          Joined(key.columns),
          TableName(key.referencedDatabase, key.referencedTable, home),
          Joined(key.referencedColumns),
          key.onDelete,
          key.onUpdate};
}

BitBtnXP *MakeButton(const QString &caption, QStyle::StandardPixmap glyph, QWidget *parent) {
  auto *button = new BitBtnXP(caption, BitBtnXP::Kind::Custom, parent);
  button->setGlyph(glyph);
  return button;
}

QHBoxLayout *ButtonRow(std::initializer_list<QWidget *> buttons) {
  auto *row = new QHBoxLayout;
  for (QWidget *b : buttons)
    row->addWidget(b);
  row->addStretch(1);
  return row;
}

} // namespace

TStructureForm::TStructureForm(ServerSession &session, const QString &database,
                               const QString &table, QWidget *parent)
    : QWidget(parent, Qt::Window), m_session(session), m_database(database), m_table(table) {
  setObjectName(QStringLiteral("StructureForm"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Struktur von „%1“").arg(table));

  Tabs = new QTabWidget(this);
  Tabs->setAccessibleName(QStringLiteral("Struktur"));
  Tabs->addTab(buildFieldsPage(), QStringLiteral("&Felder"));
  Tabs->addTab(buildIndexesPage(), QStringLiteral("&Indizes"));
  Tabs->addTab(buildForeignKeysPage(), QStringLiteral("F&remdschlüssel"));
  Tabs->addTab(buildCreatePage(), QStringLiteral("&CREATE TABLE"));

  RefreshBtn = MakeButton(QStringLiteral("&Aktualisieren"), QStyle::SP_BrowserReload, this);
  RefreshBtn->setToolTip(QStringLiteral("Die Struktur neu vom Server lesen (F5)"));
  CloseBtn = new BitBtnXP(QStringLiteral("&Schließen"), BitBtnXP::Kind::Cancel, this);
  auto *bottom = ButtonRow({RefreshBtn});
  bottom->addWidget(CloseBtn);
  auto *outer = new QVBoxLayout(this);
  outer->addWidget(Tabs, 1);
  outer->addLayout(bottom);

  NewIndexForm = new TNewIndexForm(this);
  NewForeignKeyForm = new TNewForeignKeyForm(this);

  connect(NewIndexBtn, &QPushButton::clicked, this, &TStructureForm::NewIndexBtnClick);
  connect(DropIndexBtn, &QPushButton::clicked, this, &TStructureForm::DropIndexBtnClick);
  connect(NewForeignKeyBtn, &QPushButton::clicked, this, &TStructureForm::NewForeignKeyBtnClick);
  connect(DropForeignKeyBtn, &QPushButton::clicked, this, &TStructureForm::DropForeignKeyBtnClick);
  connect(CopyBtn, &QPushButton::clicked, this, &TStructureForm::CopyBtnClick);
  connect(RefreshBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { RefreshOrClose(); }); });
  connect(CloseBtn, &QPushButton::clicked, this, &QWidget::close);
  connect(IndexList, &QTreeWidget::itemSelectionChanged, this, &TStructureForm::UpdateButtons);
  connect(ForeignKeyList, &QTreeWidget::itemSelectionChanged, this, &TStructureForm::UpdateButtons);
  // Delete on a list drops its selected entry (after the statement is shown).
  for (auto [list, button] :
       {std::pair{IndexList, DropIndexBtn}, std::pair{ForeignKeyList, DropForeignKeyBtn}})
    connect(new QShortcut(QKeySequence::Delete, list, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, button, &QPushButton::click);

  resize(880, 440);
  if (const std::optional<QRect> saved = RestoreFormPlacement(StorageSection, PixelsPerInch(*this)))
    resize(saved->size());
  UpdateButtons();
}

QWidget *TStructureForm::buildFieldsPage() {
  auto *page = new QWidget;
  FieldList = MakeReportList(page,
                             {QStringLiteral("Name"), QStringLiteral("Typ"), QStringLiteral("NULL"),
                              QStringLiteral("Vorgabe"), QStringLiteral("Extra"),
                              QStringLiteral("Zeichensatz"), QStringLiteral("Sortierfolge"),
                              QStringLiteral("Kommentar")},
                             QStringLiteral("Felder"));
  auto *layout = new QVBoxLayout(page);
  layout->addWidget(FieldList);
  return page;
}

QWidget *TStructureForm::buildIndexesPage() {
  auto *page = new QWidget;
  IndexList = MakeReportList(page,
                             {QStringLiteral("Name"), QStringLiteral("Art"),
                              QStringLiteral("Spalten"), QStringLiteral("Sichtbar")},
                             QStringLiteral("Indizes"));
  NewIndexBtn = MakeButton(QStringLiteral("&Neuer Index..."), QStyle::SP_FileDialogNewFolder, page);
  DropIndexBtn = MakeButton(QStringLiteral("&Löschen..."), QStyle::SP_TrashIcon, page);
  DropIndexBtn->setAccessibleName(QStringLiteral("Index löschen..."));
  auto *layout = new QVBoxLayout(page);
  layout->addWidget(IndexList);
  layout->addLayout(ButtonRow({NewIndexBtn, DropIndexBtn}));
  return page;
}

QWidget *TStructureForm::buildForeignKeysPage() {
  auto *page = new QWidget;
  const QStringList ends{QStringLiteral("ON DELETE"), QStringLiteral("ON UPDATE")};
  ForeignKeyList =
      MakeReportList(page,
                     QStringList{QStringLiteral("Name"), QStringLiteral("Spalten"),
                                 QStringLiteral("Verweist auf"), QStringLiteral("Spalten dort")} +
                         ends,
                     {});
  NewForeignKeyBtn =
      MakeButton(QStringLiteral("&Neuer Fremdschlüssel..."), QStyle::SP_FileDialogNewFolder, page);
  DropForeignKeyBtn = MakeButton(QStringLiteral("&Löschen..."), QStyle::SP_TrashIcon, page);
  DropForeignKeyBtn->setAccessibleName(QStringLiteral("Fremdschlüssel löschen..."));
  ReferencedByList = MakeReportList(page,
                                    QStringList{QStringLiteral("Tabelle"), QStringLiteral("Name"),
                                                QStringLiteral("Spalten"),
                                                QStringLiteral("Verweist auf Spalten")} +
                                        ends,
                                    {});
  ReferencedByLabel = MakeBuddyLabel(
      QStringLiteral("&Verweise anderer Tabellen auf diese Tabelle:"), ReferencedByList, page);
  auto *layout = new QVBoxLayout(page);
  layout->addWidget(
      MakeBuddyLabel(QStringLiteral("Fremdschlüssel &dieser Tabelle:"), ForeignKeyList, page));
  layout->addWidget(ForeignKeyList, 3);
  layout->addLayout(ButtonRow({NewForeignKeyBtn, DropForeignKeyBtn}));
  layout->addWidget(ReferencedByLabel);
  layout->addWidget(ReferencedByList, 2);
  return page;
}

QWidget *TStructureForm::buildCreatePage() {
  auto *page = new QWidget;
  CreateText = new QPlainTextEdit(page);
  CreateText->setReadOnly(true);
  CreateText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  CreateText->setLineWrapMode(QPlainTextEdit::NoWrap);
  CreateText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  CreateText->setAccessibleName(QStringLiteral("CREATE TABLE"));
  CopyBtn = MakeButton(QStringLiteral("&Kopieren"), QStyle::SP_DialogSaveButton, page);
  CopyBtn->setToolTip(QStringLiteral("Die Anweisung in die Zwischenablage kopieren"));
  auto *layout = new QVBoxLayout(page);
  layout->addWidget(CreateText);
  layout->addLayout(ButtonRow({CopyBtn}));
  return page;
}

bool TStructureForm::Refresh() {
  m_structure = ReadTableStructure(m_session, m_database, m_table);
  fill();
  if (!m_structure.exists) {
    ShowMessage(this, QStringLiteral("Die Tabelle „%1“ gibt es in der Datenbank „%2“ nicht mehr.")
                          .arg(m_table, m_database));
    return false;
  }
  if (!m_structure.reply.ok)
    ShowMessage(this, QStringLiteral("Konnte die Struktur der Tabelle „%1“ nicht ganz lesen:\n%2")
                          .arg(m_table, m_structure.reply.error));
  return true;
}

void TStructureForm::RefreshOrClose() {
  if (!Refresh())
    close();
}

void TStructureForm::fill() {
  const TableStructure &s = m_structure;
  FieldList->clear();
  for (const ColumnRecord &c : s.columns) {
    const ColumnFacts &f = c.facts;
    const QString extra =
        c.generation.isEmpty() ? f.extra : f.extra + QStringLiteral(" AS (%1)").arg(c.generation);
    auto *item = new QTreeWidgetItem(FieldList, QStringList{f.name,
                                                            f.columnType,
                                                            FlagText(f.nullable),
                                                            {},
                                                            extra,
                                                            c.characterSet,
                                                            f.collation,
                                                            f.comment});
    SetDefaultCell(item, 3, c.defaultValue());
  }
  FitColumns(FieldList);
  FillList(IndexList, s.indexes, [](const IndexRecord &i) {
    return QStringList{i.name, IndexKindName(i.kind), PartsText(i.parts), FlagText(i.visible)};
  });
  FillList(ForeignKeyList, s.foreignKeys,
           [this](const ForeignKeyRecord &k) { return ForeignKeyCells(k, m_database); });
  FillList(ReferencedByList, s.referencedBy, [this](const ForeignKeyRecord &k) {
    QStringList cells = ForeignKeyCells(k, m_database);
    cells.removeAt(2); // the table referred to is this one
    cells.insert(0, TableName(k.database, k.table, m_database));
    return cells;
  });
  CreateText->setPlainText(s.createStatement);
  UpdateButtons();
}

void TStructureForm::UpdateButtons() {
  NewIndexBtn->setEnabled(!m_structure.columns.isEmpty());
  NewForeignKeyBtn->setEnabled(!m_structure.columns.isEmpty());
  DropIndexBtn->setEnabled(SelectedRow(IndexList) >= 0);
  DropForeignKeyBtn->setEnabled(SelectedRow(ForeignKeyList) >= 0);
  CopyBtn->setEnabled(!m_structure.createStatement.isEmpty());
}

QStringList TStructureForm::columnNames() const {
  QStringList names;
  for (const ColumnRecord &c : m_structure.columns)
    names << c.facts.name;
  return names;
}

void TStructureForm::Apply(const QString &statement, const QString &question) {
  if (ShowMessage(this, statement, question, MessageButtons::RunCancel, MessageIcon::Question) !=
      MessageAnswer::Run)
    return;
  const ServerReply reply = SendStatement(
      m_session, QStringLiteral("Ändere die Tabelle „%1“ ...").arg(m_table), statement);
  if (!reply.ok)
    ShowMessage(this, QStringLiteral("Der Server hat die Änderung der Tabelle „%1“ abgelehnt:\n%2")
                          .arg(m_table, reply.error));
  if (changed)
    changed(m_database, m_table);
  RefreshOrClose();
}

void TStructureForm::NewIndexBtnClick() {
  RunHandler(this, [this] {
    NewIndexForm->Prepare(columnNames());
    if (ExecModal(*NewIndexForm) == QDialog::Accepted)
      Apply(AddIndexStatement(m_database, m_table, NewIndexForm->ReadIndex()),
            QStringLiteral("Neuen Index anlegen?"));
  });
}

void TStructureForm::DropIndexBtnClick() {
  RunHandler(this, [this] {
    const int row = SelectedRow(IndexList);
    if (row >= 0)
      Apply(DropIndexStatement(m_database, m_table, m_structure.indexes.value(row).name),
            QStringLiteral("Index löschen?"));
  });
}

namespace {
// The names of a listing; a refusal is told to the user and gives none.
QStringList Listed(QWidget *parent, const NameList &list) {
  if (!list.reply.ok)
    ShowMessage(parent, QStringLiteral("Konnte die Liste nicht lesen:\n%1").arg(list.reply.error));
  return list.names;
}
} // namespace

void TStructureForm::NewForeignKeyBtnClick() {
  RunHandler(this, [this] {
    const NameList databases = ReadDatabaseNames(m_session);
    if (!databases.reply.ok) {
      Listed(this, databases);
      return;
    }
    NewForeignKeyForm->Prepare(
        m_database, m_table, columnNames(), databases.names,
        [this](const QString &database) {
          return Listed(this, ReadTableNames(m_session, database));
        },
        [this](const QString &database, const QString &table) {
          return Listed(this, ReadColumnNames(m_session, database, table));
        });
    if (ExecModal(*NewForeignKeyForm) == QDialog::Accepted)
      Apply(AddForeignKeyStatement(m_database, m_table, NewForeignKeyForm->ReadKey()),
            QStringLiteral("Neuen Fremdschlüssel anlegen?"));
  });
}

void TStructureForm::DropForeignKeyBtnClick() {
  RunHandler(this, [this] {
    const int row = SelectedRow(ForeignKeyList);
    if (row >= 0)
      Apply(DropForeignKeyStatement(m_database, m_table, m_structure.foreignKeys.value(row).name),
            QStringLiteral("Fremdschlüssel löschen?"));
  });
}

void TStructureForm::CopyBtnClick() {
  QGuiApplication::clipboard()->setText(CreateText->toPlainText());
}

void TStructureForm::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier)
    RefreshBtn->click();
  else if (!HandleFormKey(event, {CloseBtn}))
    QWidget::keyPressEvent(event);
}

void TStructureForm::closeEvent(QCloseEvent *event) {
  StoreFormPlacement(StorageSection, geometry(), PixelsPerInch(*this));
  event->accept();
}

StructureWindows::StructureWindows(ServerSession &session, QWidget *owner)
    : m_session(session), m_owner(owner) {}

StructureWindows::~StructureWindows() = default;

TStructureForm *StructureWindows::Find(const QString &database, const QString &table) const {
  return m_windows.value({database, table});
}

QList<TStructureForm *> StructureWindows::Windows() const {
  QList<TStructureForm *> open;
  for (const QPointer<TStructureForm> &w : m_windows)
    if (w)
      open << w;
  return open;
}

TStructureForm *StructureWindows::Open(const QString &database, const QString &table) {
  if (TStructureForm *open = Find(database, table)) {
    open->showNormal();
    open->raise();
    open->activateWindow();
    return open;
  }
  auto *window = new TStructureForm(m_session, database, table, m_owner);
  window->changed = [this](const QString &d, const QString &t) {
    if (changed)
      changed(d, t);
  };
  if (!window->Refresh()) {
    delete window;
    return nullptr;
  }
  m_windows.insert({database, table}, window);
  window->show();
  return window;
}

void StructureWindows::CloseAll() {
  for (TStructureForm *w : Windows())
    w->close();
  m_windows.clear();
}
