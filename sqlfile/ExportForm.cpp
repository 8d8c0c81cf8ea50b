#include "sqlfile/ExportForm.h"

#include "common/FormTools.h"
#include "common/Interaction.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TExportForm::TExportForm(const QString &what, bool whole, QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ExportForm"));
  setWindowTitle(QStringLiteral("Struktur exportieren"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  WhatLabel = new QLabel(what, this);
  WhatLabel->setTextFormat(Qt::PlainText);
  WhatLabel->setWordWrap(true);
  FileLabel = new QLabel(QStringLiteral("&Datei:"), this);
  FileEd = new QLineEdit(this);
  FileEd->setObjectName(QStringLiteral("FileEd"));
  FileEd->setAccessibleName(QStringLiteral("Datei"));
  FileEd->setMinimumWidth(320);
  FileLabel->setBuddy(FileEd);
  BrowseBtn = new BitBtnXP(QStringLiteral("Durch&suchen..."), BitBtnXP::Kind::Custom, this);
  BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
  BrowseBtn->setGlyph(QStyle::SP_DirOpenIcon);
  BrowseBtn->setDesignSize(110, 25);
  CreateDatabaseCheck =
      new QCheckBox(QStringLiteral("CREATE &DATABASE und USE an den Anfang schreiben"), this);
  CreateDatabaseCheck->setObjectName(QStringLiteral("CreateDatabaseCheck"));
  RoutinesCheck = new QCheckBox(QStringLiteral("&Funktionen und Prozeduren"), this);
  RoutinesCheck->setObjectName(QStringLiteral("RoutinesCheck"));
  EventsCheck = new QCheckBox(QStringLiteral("&Ereignisse"), this);
  EventsCheck->setObjectName(QStringLiteral("EventsCheck"));
  RoutinesCheck->setChecked(whole);
  RoutinesCheck->setEnabled(whole);
  EventsCheck->setEnabled(whole);
  Line = new QFrame(this);
  Line->setFrameShape(QFrame::HLine);
  Line->setFrameShadow(QFrame::Sunken);
  OkBtn = new BitBtnXP(QStringLiteral("Exportieren"), BitBtnXP::Kind::Ok, this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  CancelBtn = new BitBtnXP(QStringLiteral("Abbrechen"), BitBtnXP::Kind::Cancel, this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  OkBtn->setDesignSize(96, 25);
  CancelBtn->setDesignSize(96, 25);
  connect(BrowseBtn, &QPushButton::clicked, this, &TExportForm::BrowseBtnClick);
  connect(OkBtn, &QPushButton::clicked, this, &TExportForm::OkBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(8, 8, 8, 12);
  outer->setSpacing(6);
  outer->addWidget(WhatLabel);
  outer->addSpacing(4);
  outer->addWidget(FileLabel);
  auto *file = new QHBoxLayout;
  file->setSpacing(5);
  file->addWidget(FileEd, 1);
  file->addWidget(BrowseBtn);
  outer->addLayout(file);
  outer->addSpacing(4);
  outer->addWidget(CreateDatabaseCheck);
  outer->addWidget(RoutinesCheck);
  outer->addWidget(EventsCheck);
  outer->addSpacing(6);
  outer->addWidget(Line);
  outer->addSpacing(6);
  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(5);
  buttons->addStretch(1);
  buttons->addWidget(OkBtn);
  buttons->addWidget(CancelBtn);
  buttons->addStretch(1);
  outer->addLayout(buttons);
  setFixedSize(sizeHint());
  SetTabChain(
      {FileEd, BrowseBtn, CreateDatabaseCheck, RoutinesCheck, EventsCheck, OkBtn, CancelBtn});
}

void TExportForm::BrowseBtnClick() {
  QFileDialog dialog(this, QStringLiteral("Struktur exportieren nach"));
  dialog.setObjectName(QStringLiteral("ExportFileDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(
      {QStringLiteral("SQL-Dateien (*.sql)"), QStringLiteral("Alle Dateien (*)")});
  dialog.setDefaultSuffix(QStringLiteral("sql"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite); // OK asks, for a typed name too
  dialog.selectFile(FileEd->text());
  if (ExecModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    FileEd->setText(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}

void TExportForm::OkBtnClick() {
  const QString path = FileEd->text();
  if (path.trimmed().isEmpty()) {
    ShowMessage(this, QStringLiteral("Bitte geben Sie an, in welche Datei die Struktur soll."));
    return;
  }
  const QFileInfo file(path);
  if (file.isDir()) {
    ShowMessage(this, QStringLiteral("„%1“ ist ein Ordner.").arg(path));
    return;
  }
  if (file.exists() &&
      ShowMessage(
          this, QStringLiteral("Die Datei „%1“ gibt es schon. Soll sie ersetzt werden?").arg(path),
          QStringLiteral("Struktur exportieren"), MessageButtons::YesNo,
          MessageIcon::Question) != MessageAnswer::Yes)
    return;
  accept();
}

void TExportForm::keyPressEvent(QKeyEvent *event) {
  if (!HandleFormKey(event, {BrowseBtn, OkBtn, CancelBtn}))
    QDialog::keyPressEvent(event);
}
