// The connection dialog: host, port, user name, password and connect
// time-out, and the list of saved connections kept in options.dat.
#pragma once

#include "app/BitBtnXP.h"
#include "app/ReportListView.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QFrame;

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

  void SaveOptions();
  void LoadOptions();

public slots:
  void AddBtnClick();
  void DelBtnClick();
  void ListView1DblClick();

private:
  void FormCreate();
};
