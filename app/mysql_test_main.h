// The main window: three lists side by side (databases, the tables of the
// selected database, the fields of the selected table) and the command
// buttons. The lists are the only record of what is selected. The commands
// live with their features (connection/, schema/, fields/); the handlers here
// hand them the session and the lists.
#pragma once

#include "commands/SchemaLists.h"
#include "common/BitBtnXP.h"
#include "common/ReportListView.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class CommandEdge;
class ConnectionCommands;
class FieldCommands;
class ServerSession;
class SshTunnel;
class QStatusBar;
class TDialog;
class TNewDBForm;
class TRenameTableForm;
class TNewTableForm;
class TEditFieldForm;
class TAboutBox;
class StructureWindows;
class SqlFileCommands;
class QAction;

class TMainForm : public QMainWindow, public SchemaLists {
  Q_OBJECT
public:
  explicit TMainForm(QWidget *parent = nullptr);
  ~TMainForm() override;

  // Controls, in creation order.
  QWidget *Panel1;
  BitBtnXP *connectbtn;
  BitBtnXP *cancelbtn;
  BitBtnXP *EndeBtn;
  BitBtnXP *AboutBtn;
  ReportListView *ListView1;
  ReportListView *ListView2;
  QStatusBar *StatusBar1;
  QWidget *Panel2;
  BitBtnXP *NewDBBtn;
  BitBtnXP *DropDBBtn;
  BitBtnXP *NewTableBtn;
  BitBtnXP *DelTableBtn;
  BitBtnXP *TableRenameBtn;
  BitBtnXP *NewFieldBtn;
  BitBtnXP *DelFieldBtn;
  BitBtnXP *ChangeFieldBnt;
  ReportListView *ListView3;
  // "Struktur..." of the table list: its context menu, Ctrl+I, double click.
  QAction *StructureAction;
  // "Vergleichen mit..." of the database list's context menu.
  QAction *CompareAction;

  // SSH: the tunnel of a connection that goes through an SSH host; it lives
  // as long as the connection, and longer than the session that uses it.
  std::unique_ptr<SshTunnel> Tunnel;

  // The server connection and the thread its calls run on.
  const std::unique_ptr<ServerSession> Session;
  // One command at a time, for this window and the structure windows.
  const std::unique_ptr<CommandEdge> Edge;

  // The dialogs, created after the main window and living as long as it.
  TDialog *Dialog = nullptr;
  TNewDBForm *NewDBForm = nullptr;
  TRenameTableForm *RenameTableForm = nullptr;
  TNewTableForm *NewTableForm = nullptr;
  TEditFieldForm *EditFieldForm = nullptr;
  TAboutBox *AboutBox = nullptr;

  // The structure windows of tables; they close when the connection does.
  const std::unique_ptr<StructureWindows> Structures;
  // The schema as SQL: export a structure, run an SQL file.
  const std::unique_ptr<SqlFileCommands> SqlFiles;

  // Connected while the session has a connection open; connectbtn is
  // disabled exactly then.
  bool connected() const;

  // The lists as the commands see them.
  Selection CurrentSelection() const override;
  QStringList ShownDatabases() const override;
  QList<ListedField> ShownFields() const override;
  void ListCurrentDatabases() override;
  void Relist(const ListingRequest &request) override;
  void ShowListing(Listing listing) override;
  // A click: the databases again, `database` made current and its tables,
  // and, with ListFields, the fields of `table`; the two found by name.
  void ListTables(const QString &database);
  void ListFields(const QString &database, const QString &table);
  void RefreshLists() override;

  // Opens (or raises) the structure window of the selected table.
  void ShowStructure();
  // Compares the selected database with another one and shows the result.
  void CompareDatabase();

  // "Ende", the window's close box and the desktop ending the program
  // (SIGTERM, SIGHUP): a command under way is ended first (its statement on
  // the server, any dialog it shows), then the window closes.
  void RequestEnd();

public slots:
  void connectbtnClick();
  void cancelbtnClick();
  void EndeBtnClick();
  void AboutBtnClick();
  void ListView1Click();
  void ListView2Click();
  void ListView1Change();
  void ListView2Change();
  void ListView3Change();
  void ListView1ContextPopup(const QPoint &at);
  void ListView2ContextPopup(const QPoint &at);
  void NewDBBtnClick();
  void DropDBBtnClick();
  void NewTableBtnClick();
  void DelTableBtnClick();
  void TableRenameBtnClick();
  void NewFieldBtnClick();
  void DelFieldBtnClick();
  void ChangeFieldBntClick();

protected:
  void closeEvent(QCloseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void showEvent(QShowEvent *event) override;

private:
  void FormClose();
  // The lists emptied and the buttons set as after "Trennen".
  void ShowDisconnected();
  // Said once after the connection was found gone, which the session has closed.
  void ConnectionLost(const QString &error);
  // A double click on the table list that came during the click's call: the
  // structure window, when it was aimed at the row the click selected.
  void DoubleClickAfterCall(const QPoint &at);
  // After a structure window changed a table: the field list follows where it shows that table.
  void StructureChanged(const QString &database, const QString &table);
  // The connection is gone (`gone` says whether it still is): said, and the
  // connection closed, between two commands only (never while a server call
  // or a dialog waits, whose command would go on with a closed connection).
  // Nothing reconnects.
  void DisconnectWhenIdle(const std::function<bool()> &gone, const QString &message,
                          const QString &title);
  // The SSH tunnel ended by itself.
  void TunnelBroken(const SshTunnel *tunnel, const QString &message);
  ConnectionCommands connectionCommands();
  void ShowBrowsed(Listing &listing);
  void ShowTables(Listing &listing);
  void ShowFields(Listing &listing);
  FieldCommands fieldCommands();
  void buildPanel1();
  void buildPanel2();
  void wire();
  QList<BitBtnXP *> buttonsInCreationOrder() const;
  void CloseDialogsWhileEnding();
  bool m_placed = false;
  // The program is ending: the command that does it runs.
  bool m_closing = false;
};
