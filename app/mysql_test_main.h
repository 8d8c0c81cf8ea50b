// The main window: three lists side by side (databases, the tables of the
// selected database, the fields of the selected table) and the command
// buttons. The lists are the only record of what is selected.
#pragma once

#include "app/BitBtnXP.h"
#include "app/ReportListView.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct st_mysql;
class ServerSession;
struct ServerReply;
struct TlsSettings;
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

class TMainForm : public QMainWindow {
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

  // The server connection and the thread its calls run on.
  const std::unique_ptr<ServerSession> Session;

  // Connection state; the program is connected exactly while connectbtn is
  // disabled. The handle is the session's.
  st_mysql *&MySQLHandle;
  QString Host;
  std::int32_t Port = 0;
  QString User;
  QString Password;
  std::int32_t Timeout = 0;
  std::uint32_t ClientFlags = 0;

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

  bool connected() const { return !connectbtn->isEnabled(); }

  // What the lists have selected when a command starts: row positions (-1
  // for none) and captions.
  struct Selection {
    int database = -1;
    int table = -1;
    int field = -1;
    QString databaseName;
    QString tableName;
    QString fieldName;
  };
  Selection CurrentSelection() const;

  // What a command checks just before it sends, in the same server call:
  // `holds` reads the object again on the connection's thread and tells
  // whether it is still the one the user saw; if not, `otherwise` is shown
  // and nothing is sent. An empty check always holds.
  struct StillAsShown {
    std::function<bool(st_mysql *)> holds;
    QString otherwise;
  };
  // The check for a command on the selected table: its fields are still those
  // that the field list shows (while it shows none, the table is still there).
  StillAsShown TableAsShown(const Selection &selection) const;

  // For the schema commands: make `name` the connection's current database
  // (a failure is shown titled with the server's error); send one statement
  // (a failure is shown as the server's error text); both together, the
  // statement only once the database is selected and the check holds, in one
  // server call; escape a value for a string literal as the live connection's
  // server reads it. `what` names the statement for the wait window.
  bool SelectDatabase(const QString &name);
  bool SendStatement(const QString &statement, const QString &what);
  enum class Sent { NotSelected, Changed, Refused, Done };
  Sent SelectAndSend(const QString &database, const QString &statement, const QString &what,
                     const StillAsShown &check = {});
  QString EscapeLiteral(const QString &value);

  // Rebuild the lists from the server.
  void ListCurrentDatabases();
  void ListTables(std::int32_t index);
  void ListFields(std::int32_t databaseIndex, std::int32_t tableIndex);

  // Opens (or raises) the structure window of the selected table.
  void ShowStructure();
  // Compares the selected database with another one and shows the result.
  void CompareDatabase();

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
  void RefreshLists();
  // After a structure window changed a table: the field list follows where it shows that table.
  void StructureChanged(const QString &database, const QString &table);
  ServerReply CreateOrDropDatabase(bool create, const QString &name);
  void Relist(std::int32_t databaseIndex, std::optional<std::int32_t> tableIndex);
  void AlterField(const Selection &selection, const QString &oldName,
                  const StillAsShown &check = {});
  void buildPanel1();
  void buildPanel2();
  void wire();
  QList<BitBtnXP *> buttonsInCreationOrder() const;
  // Whether connected; if not, says that a command needs a connection.
  bool ConnectedOrSaySo();
  // Connecting with TLS: "host:port" for messages; a connect refused before
  // or after the library was asked; the server's certificate looked at and
  // judged before anything is sent (false: do not connect), the fingerprint
  // the client library is to insist on set; why a library connect failed,
  // when it is a matter of TLS or the login method.
  QString HostAndPort() const;
  void RefuseConnection(const QString &reason);
  bool CheckServerIdentity(TlsSettings &tls, QByteArray &peerFingerprint);
  QString TlsFailureReason(const TlsSettings &tls, unsigned int errorNumber) const;
  bool m_placed = false;
};
