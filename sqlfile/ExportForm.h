// "Struktur exportieren": where the file goes and what it holds besides the
// tables, views and triggers (CREATE DATABASE, functions and procedures,
// events). The command reads the choices after the dialog was accepted.
#pragma once

#include "common/BitBtnXP.h"

#include <QDialog>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;

class TExportForm : public QDialog {
  Q_OBJECT
public:
  // `whole`: the whole database (routines and events can be chosen), not
  // single tables.
  TExportForm(const QString &what, bool whole, QWidget *parent);

  QLabel *WhatLabel;
  QLabel *FileLabel;
  QLineEdit *FileEd;
  BitBtnXP *BrowseBtn;
  QCheckBox *CreateDatabaseCheck;
  QCheckBox *RoutinesCheck;
  QCheckBox *EventsCheck;
  QFrame *Line;
  BitBtnXP *OkBtn;
  BitBtnXP *CancelBtn;

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  void BrowseBtnClick();
  void OkBtnClick();
};
