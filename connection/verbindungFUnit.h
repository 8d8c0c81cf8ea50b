// The connection dialog: host, port, user name, password and connect
// time-out, and the list of saved connections kept in options.dat
// (connection/SavedConnections.h). The dialog opens no connection itself:
// after it has closed with OK, it hands back what was entered.
#pragma once

#include "clientlib/ServerSession.h"
#include "common/BitBtnXP.h"
#include "common/ReportListView.h"
#include "connection/SavedConnections.h"
#include "connection/TlsSettings.h"

#include <QDialog>

class QFrame;
class QHideEvent;
class QLabel;
class QLineEdit;
class QShowEvent;
class TTlsDialog;

// What the dialog was closed with: where and as whom to connect, with the
// TLS settings of that connection; or, when the port or time-out is not a
// whole number in its range, the German message that refuses it, naming the
// field. An empty port or time-out means the usual value.
struct ConnectionRequest {
  ServerEndpoint endpoint;
  TlsSettings tls;
  QString refusal;
};

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

  // What the edits say now.
  ConnectionRequest Request() const;

  // Writes the whole list to options.dat, together with what other running
  // instances saved meanwhile (the list then shows their rows too); a
  // failure is reported and the list keeps its rows.
  void SaveOptions();
  // Appends the rows stored in options.dat to the list. A missing file is no
  // error; a damaged one is reported and kept aside, and its readable rows stay.
  void LoadOptions();

public slots:
  void AddBtnClick();
  void DelBtnClick();
  void ListView1DblClick();
  void TlsBtnClick();

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

  SavedConnectionsStore m_optionsFile;
  TTlsDialog *m_tlsForm = nullptr;
};
