// The structure window of one table: its columns, indexes, foreign keys (its
// own and those of other tables that refer to it) and CREATE TABLE text, as
// the server reports them now. Indexes and foreign keys can be added and
// dropped there; each statement is shown before it is sent.
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

class ServerSession;
class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QTreeWidget;
class TNewIndexForm;
class TNewForeignKeyForm;

class TStructureForm : public QWidget {
  Q_OBJECT
public:
  TStructureForm(ServerSession &session, const QString &database, const QString &table,
                 QWidget *parent);

  const QString &database() const { return m_database; }
  const QString &table() const { return m_table; }
  const TableStructure &structure() const { return m_structure; }

  // Reads the table's structure again and shows it; says so when the server
  // refuses. False when the table is no longer there.
  bool Refresh();
  // The same; a table that is gone closes the window after saying so.
  void RefreshOrClose();

  QTabWidget *Tabs;
  QTreeWidget *FieldList;
  QTreeWidget *IndexList;
  BitBtnXP *NewIndexBtn;
  BitBtnXP *DropIndexBtn;
  QTreeWidget *ForeignKeyList;
  BitBtnXP *NewForeignKeyBtn;
  BitBtnXP *DropForeignKeyBtn;
  QLabel *ReferencedByLabel;
  QTreeWidget *ReferencedByList;
  QPlainTextEdit *CreateText;
  BitBtnXP *CopyBtn;
  BitBtnXP *RefreshBtn;
  BitBtnXP *CloseBtn;
  TNewIndexForm *NewIndexForm;
  TNewForeignKeyForm *NewForeignKeyForm;

  // Called after a statement reached the server, refused or not.
  std::function<void(const QString &database, const QString &table)> changed;

public slots:
  void NewIndexBtnClick();
  void DropIndexBtnClick();
  void NewForeignKeyBtnClick();
  void DropForeignKeyBtnClick();
  void CopyBtnClick();
  void UpdateButtons();

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

private:
  QWidget *buildFieldsPage();
  QWidget *buildIndexesPage();
  QWidget *buildForeignKeysPage();
  QWidget *buildCreatePage();
  void fill();
  // Shows the statement; on "Ausführen" sends it, reports a refusal, and
  // shows the table anew.
  void Apply(const QString &statement, const QString &question);
  QStringList columnNames() const;

  ServerSession &m_session;
  const QString m_database;
  const QString m_table;
  TableStructure m_structure;
};

// The open structure windows, at most one per table.
class StructureWindows {
public:
  StructureWindows(ServerSession &session, QWidget *owner);
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
  QWidget *m_owner;
  QMap<QPair<QString, QString>, QPointer<TStructureForm>> m_windows;
};
