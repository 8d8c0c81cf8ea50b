// The connection dialog: host, port, user name, password and connect
// time-out, and the list of saved connections kept in options.dat
// (connection/SavedConnections.h), their passwords in the desktop keyring
// where there is one (connection/PasswordStore.h). The list's "Pass" column
// says where a row's password is kept, never the password. The dialog opens
// no connection itself: after it has closed with OK, it hands back what was
// entered.
#pragma once

#include "clientlib/ServerSession.h"
#include "common/BitBtnXP.h"
#include "common/ReportListView.h"
#include "connection/PasswordStore.h"
#include "connection/SavedConnections.h"
#include "connection/SshSettings.h"
#include "connection/TlsSettings.h"

#include <QDialog>

#include <optional>

class QFrame;
class QHideEvent;
class QLabel;
class QLineEdit;
class QShowEvent;
class TSshDialog;
class TTlsDialog;

// What the dialog was closed with: where and as whom to connect, with the
// TLS and SSH settings of that connection; or, when the port or time-out is not a
// whole number in its range, the German message that refuses it, naming the
// field. An empty port or time-out means the usual value.
struct ConnectionRequest {
  ServerEndpoint endpoint;
  TlsSettings tls;
  SshSettings ssh;
  QString refusal;
};

// The request for a connection to `host` as `user`, the port and time-out
// as the dialog's edits hold them, with that connection's TLS and SSH
// settings; without a password.
ConnectionRequest RequestFor(const QString &host, const QString &portText, const QString &user,
                             const QString &timeoutText);

// Where a saved connection's password is kept.
PasswordPlace PasswordPlaceOf(const SavedConnection &row);
// The password of a saved connection, from where it is kept: its row, the
// keyring, or the user, who is asked over `parent` (also when the keyring
// cannot give it). Nothing when the user would rather not give it.
std::optional<QString> SavedPassword(const SavedConnection &row, Keyring &keyring, QWidget *parent);

class TDialog : public QDialog {
  Q_OBJECT
public:
  explicit TDialog(QWidget *parent = nullptr);
  ~TDialog() override;

  QLabel *LabelHost;
  QLineEdit *EditHost;
  QLabel *LabelPort;
  QLineEdit *EditPort;
  QLabel *LabelUser;
  QLineEdit *EditUser;
  QLabel *LabelPass;
  QLineEdit *EditPass;
  QLabel *LabelTime;
  QLineEdit *EditTime;
  QLabel *LabelSecs;
  BitBtnXP *AddBtn;
  BitBtnXP *DelBtn;
  ReportListView *ListView1;
  QFrame *Bevel1;
  BitBtnXP *ButtonOK;
  BitBtnXP *ButtonCancel;
  // The TLS settings of the connection that the edits name.
  BitBtnXP *TlsBtn;
  // The dialog of "T&LS...", made when first needed: its fingerprint font
  // is a face of its own, which the start of the program need not load.
  TTlsDialog &TlsForm();
  // Whether and through which SSH host the connection that the edits name goes.
  BitBtnXP *SshBtn;
  TSshDialog &SshForm();

  // What the edits say now.
  ConnectionRequest Request() const;
  // Empties the password edit and overwrites the password's characters:
  // once connected, the connection holds the one copy. (A saved
  // connection's password comes back when it is chosen again.)
  void ForgetPassword();

  // Writes the whole list to options.dat, together with what other running
  // instances saved meanwhile (the list then shows their rows too); a
  // failure is reported and the list keeps its rows. Passwords still in
  // clear text go to the keyring first, when it takes them.
  void SaveOptions();
  // Appends the rows stored in options.dat to the list. A missing file is no
  // error; a damaged one is reported and kept aside, and its readable rows stay.
  void LoadOptions();

public slots:
  void AddBtnClick();
  void DelBtnClick();
  void ListView1DblClick();
  void TlsBtnClick();
  void SshBtnClick();

protected:
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;

private:
  void FormCreate();
  void buildLayout();
  void wire();
  // Moves the dialog to its remembered place, or centres it.
  void placeOnScreen();
  int pixelsPerInch() const;
  void appendRows(const QList<SavedConnection> &rows, bool replacing);
  void reportFileProblems(const SavedConnectionsStore::Result &result);
  // The connection that the edits name, as its TLS and SSH settings are keyed.
  ConnectionKey namedConnection() const;

  // Where the passwords go.
  PasswordPlace placeOf(const SavedConnection &row) const;
  QStringList cellsOf(const SavedConnection &row) const;
  void keepPassword(SavedConnection &row);
  void movePasswordsToKeyring();
  void adoptEditedHosts();
  void carryPassword(const SavedConnection &before, const SavedConnection &after);
  void forgetPasswords();
  std::optional<QString> passwordFor(const SavedConnection &row);
  void ListView1Edited();

  SavedConnectionsStore m_optionsFile;
  // The rows as options.dat holds them, in the list's order: the passwords
  // that are kept there, and the hosts as last saved (an edit in place shows
  // in the list first).
  QList<SavedConnection> m_rows;
  // Rows deleted or renamed whose passwords are forgotten after the next
  // save, unless another row names the same connection.
  QList<SavedConnection> m_gone;
  Keyring m_keyring;
  bool m_editSaveQueued = false;
  bool m_saving = false;
  TTlsDialog *m_tlsForm = nullptr;
  TSshDialog *m_sshForm = nullptr;
};
