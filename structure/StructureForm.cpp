#include "structure/StructureForm.h"

#include "clientlib/ServerSession.h"
#include "clientlib/Statements.h"
#include "commands/CommandEdge.h"
#include "common/FormStorage.h"
#include "common/FormTools.h"
#include "common/Interaction.h"
#include "common/ScopeExit.h"
#include "fields/FieldRow.h"
#include "structure/ColumnEditorForm.h"
#include "structure/NewForeignKeyForm.h"
#include "structure/NewIndexForm.h"
#include "structure/StructureTools.h"
#include "structure/TableOptionsForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString StorageSection = QStringLiteral("TStructureForm");
const QString ReferencedByCaption = QStringLiteral("&Verweise anderer Tabellen auf diese Tabelle:");

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

// The Tabelle tab's texts.
QString KindText(const TableOptions &o) {
  if (o.isView())
    return QStringLiteral("Sicht (VIEW)");
  if (o.isSequence())
    return QStringLiteral("Sequenz (SEQUENCE)");
  if (o.isSystemVersioned())
    return QStringLiteral("Tabelle mit Systemversionierung (WITH SYSTEM VERSIONING)");
  return QStringLiteral("Tabelle");
}

const QLocale &German() {
  static const QLocale german(QLocale::German, QLocale::Germany);
  return german;
}

QString SizeText(const std::optional<std::uint64_t> &bytes) {
  if (!bytes)
    return QStringLiteral("unbekannt");
  return QStringLiteral("%1 (%2 Bytes)")
      .arg(German().formattedDataSize(static_cast<qint64>(*bytes), 1,
                                      QLocale::DataSizeTraditionalFormat),
           German().toString(static_cast<qulonglong>(*bytes)));
}

QString TimeText(const QString &serverTime) {
  const QDateTime time = QDateTime::fromString(serverTime, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  if (serverTime.isEmpty())
    return QStringLiteral("unbekannt");
  return time.isValid() ? time.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : serverTime;
}

QString PartitionText(const TableOptions &o) {
  if (o.partitionMethod.isEmpty())
    return QStringLiteral("keine");
  QString text = QStringLiteral("%1 (%2), %3 Partitionen")
                     .arg(o.partitionMethod, o.partitionExpression)
                     .arg(o.partitions);
  if (!o.subpartitionMethod.isEmpty())
    text += QStringLiteral("; unterteilt nach %1 (%2)")
                .arg(o.subpartitionMethod, o.subpartitionExpression);
  return text;
}

// Only InnoDB keeps and checks foreign keys; other engines take the clause
// without a word and keep just an index.
bool EngineKeepsForeignKeys(const QString &engine) {
  return engine.compare(QLatin1String("InnoDB"), Qt::CaseInsensitive) == 0 || engine.isEmpty();
}

QHBoxLayout *ButtonRow(std::initializer_list<QWidget *> buttons) {
  auto *row = new QHBoxLayout;
  for (QWidget *b : buttons)
    row->addWidget(b);
  row->addStretch(1);
  return row;
}

} // namespace

TStructureForm::TStructureForm(ServerSession &session, CommandEdge &edge, const QString &database,
                               const QString &table, QWidget *parent)
    : QWidget(parent, Qt::Window), m_session(session), m_edge(edge), m_database(database),
      m_table(table) {
  setObjectName(QStringLiteral("StructureForm"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Struktur von „%1“").arg(table));

  Tabs = new QTabWidget(this);
  Tabs->setAccessibleName(QStringLiteral("Struktur"));
  Tabs->addTab(buildFieldsPage(), QStringLiteral("&Felder"));
  Tabs->addTab(m_indexesPage = buildIndexesPage(), QStringLiteral("&Indizes"));
  Tabs->addTab(m_foreignKeysPage = buildForeignKeysPage(), QStringLiteral("F&remdschlüssel"));
  Tabs->addTab(m_tablePage = buildTablePage(), QStringLiteral("&Tabelle"));
  Tabs->addTab(m_createPage = buildCreatePage(), QStringLiteral("&CREATE TABLE"));

  RefreshBtn = MakeButton(QStringLiteral("&Aktualisieren"), QStyle::SP_BrowserReload, this);
  RefreshBtn->setToolTip(QStringLiteral("Die Struktur neu vom Server lesen (F5)"));
  CloseBtn = new BitBtnXP(QStringLiteral("&Schließen"), BitBtnXP::Kind::Cancel, this);
  auto *bottom = ButtonRow({RefreshBtn});
  bottom->addWidget(CloseBtn);
  auto *outer = new QVBoxLayout(this);
  outer->addWidget(Tabs, 1);
  outer->addLayout(bottom);

  ColumnEditorForm = new TColumnEditorForm(this);
  NewIndexForm = new TNewIndexForm(this);
  NewForeignKeyForm = new TNewForeignKeyForm(this);
  TableOptionsForm = new TTableOptionsForm(this);

  connect(NewColumnBtn, &QPushButton::clicked, this, &TStructureForm::NewColumnBtnClick);
  connect(EditColumnBtn, &QPushButton::clicked, this, &TStructureForm::EditColumnBtnClick);
  connect(FieldList, &QTreeWidget::itemActivated, EditColumnBtn, [this] {
    if (EditColumnBtn->isEnabled())
      EditColumnBtn->click();
  });
  connect(FieldList, &QTreeWidget::itemSelectionChanged, this, &TStructureForm::UpdateButtons);
  connect(ChangeTableBtn, &QPushButton::clicked, this, &TStructureForm::ChangeTableBtnClick);
  connect(NewIndexBtn, &QPushButton::clicked, this, &TStructureForm::NewIndexBtnClick);
  connect(DropIndexBtn, &QPushButton::clicked, this, &TStructureForm::DropIndexBtnClick);
  connect(NewForeignKeyBtn, &QPushButton::clicked, this, &TStructureForm::NewForeignKeyBtnClick);
  connect(DropForeignKeyBtn, &QPushButton::clicked, this, &TStructureForm::DropForeignKeyBtnClick);
  connect(CopyBtn, &QPushButton::clicked, this, &TStructureForm::CopyBtnClick);
  connect(RefreshBtn, &QPushButton::clicked, this,
          [this] { RunCommand([this] { RefreshOrClose(); }); });
  connect(CloseBtn, &QPushButton::clicked, this, &QWidget::close);
  connect(IndexList, &QTreeWidget::itemSelectionChanged, this, &TStructureForm::UpdateButtons);
  connect(ForeignKeyList, &QTreeWidget::itemSelectionChanged, this, &TStructureForm::UpdateButtons);
  // Delete on a list drops its selected entry (after the statement is shown).
  for (auto [list, button] :
       {std::pair{IndexList, DropIndexBtn}, std::pair{ForeignKeyList, DropForeignKeyBtn}})
    connect(new QShortcut(QKeySequence::Delete, list, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, button, &QPushButton::click);

  resize(880, 520);
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
  NewColumnBtn =
      MakeButton(QStringLiteral("&Neue Spalte..."), QStyle::SP_FileDialogNewFolder, page);
  EditColumnBtn =
      MakeButton(QStringLiteral("Spalte &bearbeiten..."), QStyle::SP_FileDialogDetailedView, page);
  auto *layout = new QVBoxLayout(page);
  layout->addWidget(FieldList);
  layout->addLayout(ButtonRow({NewColumnBtn, EditColumnBtn}));
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
  ReferencedByLabel = MakeBuddyLabel(ReferencedByCaption, ReferencedByList, page);
  auto *layout = new QVBoxLayout(page);
  layout->addWidget(
      MakeBuddyLabel(QStringLiteral("Fremdschlüssel &dieser Tabelle:"), ForeignKeyList, page));
  layout->addWidget(ForeignKeyList, 3);
  layout->addLayout(ButtonRow({NewForeignKeyBtn, DropForeignKeyBtn}));
  layout->addWidget(ReferencedByLabel);
  layout->addWidget(ReferencedByList, 2);
  return page;
}

QWidget *TStructureForm::buildTablePage() {
  auto *page = new QWidget;
  // The facts in two columns, the comment below them; they scroll, so that
  // the window can be as small as its other tabs.
  auto *facts = new QWidget;
  auto *grid = new QGridLayout(facts);
  int row = 0, column = 0;
  const auto add = [&](const QString &caption, QWidget *field) {
    grid->addWidget(MakeBuddyLabel(caption, field, facts), row, column);
    grid->addWidget(field, row, column + 1);
    column = column == 0 ? 2 : 0;
    row += column == 0 ? 1 : 0;
  };
  const auto shown = [&](QLineEdit *&edit) {
    edit = new QLineEdit(facts);
    edit->setReadOnly(true);
    return edit;
  };
  add(QStringLiteral("Art:"), shown(KindEd));
  add(QStringLiteral("A&UTO_INCREMENT:"), shown(AutoIncrementEd));
  add(QStringLiteral("Speicher-&Engine:"), shown(EngineEd));
  add(QStringLiteral("Zeic&hensatz:"), shown(CharsetEd));
  add(QStringLiteral("&Zeilenformat:"), shown(RowFormatEd));
  add(QStringLiteral("S&ortierfolge:"), shown(CollationEd));
  add(QStringLiteral("Zei&len:"), shown(RowsEd));
  add(QStringLiteral("Erstellt:"), shown(CreatedEd));
  add(QStringLiteral("&Datengröße:"), shown(DataSizeEd));
  add(QStringLiteral("&Geändert:"), shown(UpdatedEd));
  add(QStringLiteral("Inde&xgröße:"), shown(IndexSizeEd));
  add(QStringLiteral("&Partitionierung:"), shown(PartitionEd));
  CommentText = new QPlainTextEdit(facts);
  CommentText->setReadOnly(true);
  CommentText->setTabChangesFocus(true);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Kommentar:"), CommentText, facts), row, 0,
                  Qt::AlignTop);
  grid->addWidget(CommentText, row, 1, 1, 3);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  auto *scroll = new QScrollArea(page);
  scroll->setWidget(facts);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  ChangeTableBtn =
      MakeButton(QStringLiteral("Ta&belle ändern..."), QStyle::SP_FileDialogDetailedView, page);
  auto *layout = new QVBoxLayout(page);
  layout->addWidget(scroll, 1);
  layout->addLayout(ButtonRow({ChangeTableBtn}));
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
  ReferencedByLabel->setText(s.referencesCancelled
                                 ? QStringLiteral("&Verweise anderer Tabellen auf diese Tabelle "
                                                  "(nicht gelesen: die Suche wurde abgebrochen):")
                                 : ReferencedByCaption);
  FillList(ReferencedByList, s.referencedBy, [this](const ForeignKeyRecord &k) {
    QStringList cells = ForeignKeyCells(k, m_database);
    cells.removeAt(2); // the table referred to is this one
    cells.insert(0, TableName(k.database, k.table, m_database));
    return cells;
  });
  const TableOptions &o = s.options;
  CreateText->setPlainText(o.isSequence() ? o.sequenceDefinition : s.createStatement);
  const QString created = o.isView()       ? QStringLiteral("CREATE VIEW")
                          : o.isSequence() ? QStringLiteral("CREATE SEQUENCE")
                                           : QStringLiteral("CREATE TABLE");
  Tabs->setTabText(Tabs->indexOf(m_createPage), QLatin1Char('&') + created);
  CreateText->setAccessibleName(created);
  // A view has no keys and no options of its own, a sequence no keys.
  Tabs->setTabVisible(Tabs->indexOf(m_indexesPage), o.holdsRows());
  Tabs->setTabVisible(Tabs->indexOf(m_foreignKeysPage), o.holdsRows());
  Tabs->setTabVisible(Tabs->indexOf(m_tablePage), !o.isView());
  fillTablePage();
  UpdateButtons();
}

void TStructureForm::fillTablePage() {
  const TableOptions &o = m_structure.options;
  KindEd->setText(KindText(o));
  EngineEd->setText(o.engine);
  RowFormatEd->setText(o.rowFormat);
  RowsEd->setText(o.rows ? QStringLiteral("etwa %1 (Schätzung)")
                               .arg(German().toString(static_cast<qulonglong>(*o.rows)))
                         : QStringLiteral("unbekannt"));
  DataSizeEd->setText(SizeText(o.dataLength));
  IndexSizeEd->setText(SizeText(o.indexLength));
  AutoIncrementEd->setText(
      o.autoIncrement ? QStringLiteral("%1 (nächster Wert)")
                            .arg(German().toString(static_cast<qulonglong>(*o.autoIncrement)))
                      : QStringLiteral("keiner"));
  CharsetEd->setText(o.characterSet);
  CollationEd->setText(o.collation);
  CommentText->setPlainText(o.comment);
  CreatedEd->setText(TimeText(o.createTime));
  UpdatedEd->setText(TimeText(o.updateTime));
  PartitionEd->setText(PartitionText(o));
  for (QLineEdit *edit :
       {KindEd, EngineEd, RowFormatEd, RowsEd, DataSizeEd, IndexSizeEd, AutoIncrementEd, CharsetEd,
        CollationEd, CreatedEd, UpdatedEd, PartitionEd}) {
    edit->setCursorPosition(0);
    edit->setToolTip(edit->text());
  }
  RowsEd->setToolTip(QStringLiteral("Die Schätzung des Servers; genau zählt SELECT COUNT(*)."));
}

bool TStructureForm::changeable() const {
  return m_structure.options.holdsRows() && !m_structure.columns.isEmpty();
}

void TStructureForm::UpdateButtons() {
  const bool canChange = changeable();
  NewColumnBtn->setEnabled(canChange);
  EditColumnBtn->setEnabled(canChange && SelectedRow(FieldList) >= 0);
  ChangeTableBtn->setEnabled(canChange);
  NewIndexBtn->setEnabled(canChange);
  NewForeignKeyBtn->setEnabled(canChange);
  DropIndexBtn->setEnabled(canChange && SelectedRow(IndexList) >= 0);
  DropForeignKeyBtn->setEnabled(canChange && SelectedRow(ForeignKeyList) >= 0);
  CopyBtn->setEnabled(!CreateText->toPlainText().isEmpty());
}

QStringList TStructureForm::columnNames() const {
  QStringList names;
  for (const ColumnRecord &c : m_structure.columns)
    names << c.facts.name;
  return names;
}

void TStructureForm::Apply(const QString &statement, const QString &question,
                           const QStringList &warnings) {
  const QString text = warnings.isEmpty() ? statement
                                          : statement + QStringLiteral("\n\nAchtung:\n") +
                                                warnings.join(QLatin1Char('\n'));
  if (ShowMessage(this, text, question, MessageButtons::RunCancel,
                  warnings.isEmpty() ? MessageIcon::Question : MessageIcon::Warning) !=
      MessageAnswer::Run)
    return;
  const CheckedSend sent =
      CheckAndSend(m_session, QStringLiteral("Ändere die Tabelle „%1“ ...").arg(m_table), statement,
                   TableStill{m_database, m_table, m_structure.createStatement});
  if (m_session.cancelledByUser(sent.check) || m_session.cancelledByUser(sent.send)) {
    ShowMessage(this, QStringLiteral("Die Änderung der Tabelle „%1“ wurde abgebrochen, bevor der "
                                     "Server sie ausführte.")
                          .arg(m_table));
    return;
  }
  if (!sent.holds) {
    ShowMessage(this, QStringLiteral("Die Tabelle „%1“ ist nicht mehr die angezeigte: sie wurde "
                                     "inzwischen geändert, umbenannt oder gelöscht. Es wurde "
                                     "nichts gesendet; die Struktur wird neu gelesen.")
                          .arg(m_table));
  } else {
    if (!sent.send.ok)
      ShowMessage(this,
                  QStringLiteral("Der Server hat die Änderung der Tabelle „%1“ abgelehnt:\n%2")
                      .arg(m_table, sent.send.error));
    if (changed)
      changed(m_database, m_table);
  }
  RefreshOrClose();
}

const ServerCatalog *TStructureForm::Catalog() {
  if (!m_catalog) {
    ServerCatalog catalog = ReadServerCatalog(m_session);
    if (!catalog.reply.ok) {
      ShowMessage(this, QStringLiteral("Konnte die Speicher-Engines und Sortierfolgen des Servers "
                                       "nicht lesen:\n%1")
                            .arg(catalog.reply.error));
      return nullptr;
    }
    m_catalog = std::move(catalog);
  }
  return &*m_catalog;
}

void TStructureForm::EditColumn(const ColumnRecord *column) {
  const TableOptions &o = m_structure.options;
  ColumnDesign before;
  if (column) {
    const ColumnReadBack read = DesignOfColumn(*column);
    // The editor must be able to write the column as the server has it, or
    // a change would lose what it cannot write.
    const QString server = ColumnLineOf(m_structure.createStatement, column->facts.name);
    const QString editor =
        read.design ? ColumnAsServerWrites(*read.design, o.collation) : QString();
    if (!read.design || server != editor) {
      ShowMessage(this, QStringLiteral("Die Spalte „%1“ lässt sich mit dem Spalten-Editor nicht "
                                       "ändern, ohne dass sich mehr als gewollt ändert: %2. Es "
                                       "wurde nichts geändert.")
                            .arg(column->facts.name,
                                 read.design ? QStringLiteral("der Server schreibt sie „%1“, der "
                                                              "Editor könnte nur „%2“ schreiben")
                                                   .arg(server, editor)
                                             : read.refusal));
      return;
    }
    before = *read.design;
  } else {
    before.type = QStringLiteral("varchar");
    before.length = QStringLiteral("40");
    before.defaultValue.kind = ColumnDefault::Kind::Null;
  }
  const ServerCatalog *catalog = Catalog();
  if (!catalog)
    return;
  ColumnEditorForm->Prepare(before, !column,
                            {columnNames(), o.collation, o.characterSet, o.isSystemVersioned()},
                            *catalog);
  if (ExecModal(*ColumnEditorForm) != QDialog::Accepted)
    return;
  const ColumnDesign after = ColumnEditorForm->ReadDesign();
  const ColumnPlace place = ColumnEditorForm->ReadPlace();
  const ColumnTable table{m_database, m_table, o.collation, o.isSystemVersioned()};
  const LiteralEscaper escape = [this](const QString &value) { return m_session.escape(value); };
  if (!column) {
    Apply(AddColumnStatement(table, after, place, escape), QStringLiteral("Neue Spalte anlegen?"));
    return;
  }
  // Unchanged: nothing is sent.
  if (ColumnAsServerWrites(after, o.collation) == ColumnAsServerWrites(before, o.collation) &&
      place.kind == ColumnPlace::Kind::Unchanged)
    return;
  std::uint64_t nullRows = 0;
  if (before.nullable && !after.nullable) {
    const NullCount count = CountNullRows(m_session, m_database, m_table, before.name);
    if (!count.reply.ok) {
      ShowMessage(this, QStringLiteral("Konnte die NULL-Werte der Spalte „%1“ nicht zählen:\n%2")
                            .arg(before.name, count.reply.error));
      return;
    }
    nullRows = count.rows;
  }
  QStringList warnings = PossibleLosses(before, after, nullRows);
  if (o.isSystemVersioned())
    warnings << QStringLiteral("Die Tabelle ist systemversioniert: die Änderung gilt auch für "
                               "ihre gespeicherten früheren Zeilen.");
  Apply(ChangeColumnStatement(table, before.name, after, place, escape),
        QStringLiteral("Spalte ändern?"), warnings);
}

void TStructureForm::NewColumnBtnClick() {
  RunCommand([this] { EditColumn(nullptr); });
}

void TStructureForm::EditColumnBtnClick() {
  RunCommand([this] {
    const int row = SelectedRow(FieldList);
    if (row >= 0 && row < m_structure.columns.size())
      EditColumn(&m_structure.columns[row]);
  });
}

void TStructureForm::ChangeTableBtnClick() {
  RunCommand([this] {
    const ServerCatalog *catalog = Catalog();
    if (!catalog)
      return;
    const TableOptionChoice before = ChoiceOf(m_structure.options);
    TableOptionsForm->Prepare(m_table, before, *catalog);
    if (ExecModal(*TableOptionsForm) != QDialog::Accepted)
      return;
    const QString statement =
        ChangeTableStatement(m_database, m_table, before, TableOptionsForm->ReadChoice(),
                             [this](const QString &value) { return m_session.escape(value); });
    if (!statement.isEmpty())
      Apply(statement, QStringLiteral("Tabelle ändern?"));
  });
}

void TStructureForm::NewIndexBtnClick() {
  RunCommand([this] {
    NewIndexForm->Prepare(columnNames());
    if (ExecModal(*NewIndexForm) == QDialog::Accepted)
      Apply(AddIndexStatement(m_database, m_table, NewIndexForm->ReadIndex()),
            QStringLiteral("Neuen Index anlegen?"));
  });
}

void TStructureForm::DropIndexBtnClick() {
  RunCommand([this] {
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
  RunCommand([this] {
    const NameList databases = ReadDatabaseNames(m_session);
    if (!databases.reply.ok) {
      Listed(this, databases);
      return;
    }
    // The dialog asks for its lists from its own signals.
    DialogStop stop(NewForeignKeyForm);
    const auto guarded = [&](auto read) {
      return [&, read](const auto &...names) {
        QStringList listed;
        stop.run([&] { listed = Listed(this, read(names...)); });
        return listed;
      };
    };
    NewForeignKeyForm->Prepare(
        m_database, m_table, columnNames(), databases.names,
        guarded([this](const QString &database) { return ReadTableNames(m_session, database); }),
        guarded([this](const QString &database, const QString &table) {
          return ReadColumnNames(m_session, database, table);
        }));
    const int answer = ExecModal(*NewForeignKeyForm);
    stop.rethrow();
    if (answer != QDialog::Accepted)
      return;
    QStringList warnings;
    if (!EngineKeepsForeignKeys(m_structure.options.engine))
      warnings << QStringLiteral("Die Speicher-Engine %1 dieser Tabelle kennt keine "
                                 "Fremdschlüssel: der Server nimmt den Fremdschlüssel ohne ein "
                                 "Wort an, prüft ihn nie und legt nur einen Index an.")
                      .arg(m_structure.options.engine);
    Apply(AddForeignKeyStatement(m_database, m_table, NewForeignKeyForm->ReadKey()),
          QStringLiteral("Neuen Fremdschlüssel anlegen?"), warnings);
  });
}

void TStructureForm::DropForeignKeyBtnClick() {
  RunCommand([this] {
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

template <typename Handler> void TStructureForm::RunCommand(Handler &&handler) {
  m_edge.run(this, [&] {
    m_commandRunning = true;
    const ScopeExit done([this] { m_commandRunning = false; });
    handler();
  });
}

void TStructureForm::closeEvent(QCloseEvent *event) {
  if (m_commandRunning) {
    event->ignore();
    m_edge.endCommandThen(this, [window = QPointer<TStructureForm>(this)] {
      if (window)
        window->close();
    });
    return;
  }
  StoreFormPlacement(StorageSection, geometry(), PixelsPerInch(*this));
  event->accept();
}

StructureWindows::StructureWindows(ServerSession &session, CommandEdge &edge, QWidget *owner)
    : m_session(session), m_edge(edge), m_owner(owner) {}

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
  auto window = std::make_unique<TStructureForm>(m_session, m_edge, database, table, m_owner);
  window->changed = [this](const QString &d, const QString &t) {
    if (changed)
      changed(d, t);
  };
  if (!window->Refresh())
    return nullptr;
  m_windows.insert({database, table}, window.get());
  PlaceOverOwner(window.get(), m_owner);
  window->show();
  return window.release();
}

void StructureWindows::CloseAll() {
  for (TStructureForm *w : Windows())
    w->close();
  m_windows.clear();
}
