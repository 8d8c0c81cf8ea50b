// The structure window of one table: its columns, indexes, foreign keys (its
// own and those of other tables that refer to it), its options (engine, size,
// collation, comment, ...) and CREATE TABLE text, as the server reports them
// now. Columns can be added and changed there, indexes and foreign keys
// added and dropped, and the table's options changed; each statement is
// shown before it is sent, and sent only while the table is still the one
// shown. A view shows its columns and definition, a sequence also its
// options; neither offers a change.
//
// The window names its table by database and table name. It is not modal;
// there is one per table (StructureWindows), and all close when the main
// window disconnects.
#pragma once

#include "clientlib/TableStructure.h"
#include "common/BitBtnXP.h"

#include <QMap>
#include <QPair>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class CommandEdge;
class ServerSession;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class QTreeWidget;
class TColumnEditorForm;
class TNewIndexForm;
class TNewForeignKeyForm;
class TTableOptionsForm;

class TStructureForm : public QWidget {
  Q_OBJECT
public:
  TStructureForm(ServerSession &session, CommandEdge &edge, const QString &database,
                 const QString &table, QWidget *parent);

  const QString &database() const { return m_database; }
  const QString &table() const { return m_table; }
  const TableStructure &structure() const { return m_structure; }

  // Reads the table's structure again and shows it (one request where the
  // server allows it; TableStructure.h); says so when the server refuses.
  // False when the table is no longer there.
  bool Refresh();
  // The same; a table that is gone closes the window after saying so.
  void RefreshOrClose();

  QTabWidget *Tabs;
  QTreeWidget *FieldList;
  BitBtnXP *NewColumnBtn;
  BitBtnXP *EditColumnBtn;
  QTreeWidget *IndexList;
  BitBtnXP *NewIndexBtn;
  BitBtnXP *DropIndexBtn;
  QTreeWidget *ForeignKeyList;
  BitBtnXP *NewForeignKeyBtn;
  BitBtnXP *DropForeignKeyBtn;
  QLabel *ReferencedByLabel;
  QTreeWidget *ReferencedByList;
  // The "Tabelle" tab.
  QLineEdit *KindEd;
  QLineEdit *EngineEd;
  QLineEdit *RowFormatEd;
  QLineEdit *RowsEd;
  QLineEdit *DataSizeEd;
  QLineEdit *IndexSizeEd;
  QLineEdit *AutoIncrementEd;
  QLineEdit *CharsetEd;
  QLineEdit *CollationEd;
  QPlainTextEdit *CommentText;
  QLineEdit *CreatedEd;
  QLineEdit *UpdatedEd;
  QLineEdit *PartitionEd;
  BitBtnXP *ChangeTableBtn;
  QPlainTextEdit *CreateText;
  BitBtnXP *CopyBtn;
  BitBtnXP *RefreshBtn;
  BitBtnXP *CloseBtn;
  TColumnEditorForm *ColumnEditorForm;
  TNewIndexForm *NewIndexForm;
  TNewForeignKeyForm *NewForeignKeyForm;
  TTableOptionsForm *TableOptionsForm;

  // Called after a statement reached the server, refused or not.
  std::function<void(const QString &database, const QString &table)> changed;

public slots:
  void NewColumnBtnClick();
  void EditColumnBtnClick();
  void ChangeTableBtnClick();
  void NewIndexBtnClick();
  void DropIndexBtnClick();
  void NewForeignKeyBtnClick();
  void DropForeignKeyBtnClick();
  void CopyBtnClick();
  void UpdateButtons();

protected:
  void keyPressEvent(QKeyEvent *event) override;
  // Closing the window while its own command waits for the server ends that
  // command first (its statement on the server), then closes.
  void closeEvent(QCloseEvent *event) override;

private:
  // Runs a handler of this window as a command (CommandEdge).
  template <typename Handler> void RunCommand(Handler &&handler);
  QWidget *buildFieldsPage();
  QWidget *buildIndexesPage();
  QWidget *buildForeignKeysPage();
  QWidget *buildTablePage();
  QWidget *buildCreatePage();
  void fill();
  void fillTablePage();
  // Shows the statement, after it what it may cost (`warnings`); on
  // "Ausführen" sends it while the table is still the one shown, reports a
  // refusal, and shows the table anew.
  void Apply(const QString &statement, const QString &question, const QStringList &warnings = {});
  // Opens the column editor; sends what it changed.
  void EditColumn(const ColumnRecord *column);
  // The server's engines and collations, read once; nothing (the user was
  // told) when the server refuses.
  const ServerCatalog *Catalog();
  QStringList columnNames() const;
  // Whether the table can be changed here: a table, not a view or a sequence.
  bool changeable() const;

  ServerSession &m_session;
  CommandEdge &m_edge;
  const QString m_database;
  const QString m_table;
  TableStructure m_structure;
  bool m_commandRunning = false;
  std::optional<ServerCatalog> m_catalog;
  QWidget *m_indexesPage;
  QWidget *m_foreignKeysPage;
  QWidget *m_tablePage;
  QWidget *m_createPage;
};

// The open structure windows, at most one per table.
class StructureWindows {
public:
  StructureWindows(ServerSession &session, CommandEdge &edge, QWidget *owner);
  ~StructureWindows();

  // Raises the window of that table, or opens one; nothing when the table
  // cannot be read (the user was told).
  TStructureForm *Open(const QString &database, const QString &table);
  TStructureForm *Find(const QString &database, const QString &table) const;
  QList<TStructureForm *> Windows() const;
  void CloseAll();

  // Passed on to every window (see TStructureForm::changed).
  std::function<void(const QString &database, const QString &table)> changed;

private:
  ServerSession &m_session;
  CommandEdge &m_edge;
  QWidget *m_owner;
  QMap<QPair<QString, QString>, QPointer<TStructureForm>> m_windows;
};
