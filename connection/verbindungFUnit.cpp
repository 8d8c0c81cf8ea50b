#include "connection/verbindungFUnit.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TDialog::TDialog(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Dialog"));
  setWindowTitle(QStringLiteral("Mit MySQL Datenbank verbinden"));

  LabelHost = new QLabel(QStringLiteral("&Hostname/IP:"), this);
  EditHost = new QLineEdit(this);
  LabelPort = new QLabel(QStringLiteral("&Port:"), this);
  EditPort = new QLineEdit(this);
  LabelUser = new QLabel(QStringLiteral("Benutzername:"), this);
  EditUser = new QLineEdit(QStringLiteral("root"), this);
  LabelPass = new QLabel(QStringLiteral("Passwort:"), this);
  EditPass = new QLineEdit(this);
  EditPass->setEchoMode(QLineEdit::Password);
  LabelTime = new QLabel(QStringLiteral("&Timeout:"), this);
  EditTime = new QLineEdit(QStringLiteral("30"), this);
  LabelSecs = new QLabel(QStringLiteral("Sek."), this);
  AddBtn = new BitBtnXP(QStringLiteral("Hinzufügen"), BitBtnXP::Kind::Custom, this);
  DelBtn = new BitBtnXP(QStringLiteral("Löschen"), BitBtnXP::Kind::Custom, this);
  ListView1 = new ReportListView(this);
  ListView1->setColumns({QStringLiteral("Host"), QStringLiteral("User"), QStringLiteral("Pass"),
                         QStringLiteral("Port")},
                        {50, 50, 50, 50});
  Bevel1 = new QFrame(this);
  ButtonOK = new BitBtnXP(QStringLiteral("&Verbinden"), BitBtnXP::Kind::Ok, this);
  ButtonCancel = new BitBtnXP(QStringLiteral("A&bbrechen"), BitBtnXP::Kind::Cancel, this);
  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto *grid = new QGridLayout;
  grid->addWidget(LabelHost, 0, 0);
  grid->addWidget(EditHost, 0, 1);
  grid->addWidget(LabelPort, 0, 2);
  grid->addWidget(EditPort, 0, 3);
  grid->addWidget(LabelUser, 1, 0);
  grid->addWidget(EditUser, 1, 1, 1, 3);
  grid->addWidget(LabelPass, 2, 0);
  grid->addWidget(EditPass, 2, 1, 1, 3);
  grid->addWidget(LabelTime, 3, 0);
  grid->addWidget(EditTime, 3, 1);
  grid->addWidget(LabelSecs, 3, 2);
  auto *outer = new QVBoxLayout(this);
  outer->addLayout(grid);
  outer->addWidget(ListView1);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ButtonOK);
  buttons->addWidget(ButtonCancel);
  outer->addLayout(buttons);
  FormCreate();
}

TDialog::~TDialog() = default;

void TDialog::FormCreate() {
  EditHost->setText(QStringLiteral("localhost"));
  EditPort->setText(QStringLiteral("3306"));
  LoadOptions();
}

void TDialog::AddBtnClick() {}
void TDialog::DelBtnClick() {}
void TDialog::ListView1DblClick() {}
void TDialog::SaveOptions() {}
void TDialog::LoadOptions() {}
