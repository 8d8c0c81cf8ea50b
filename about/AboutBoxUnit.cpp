#include "about/AboutBoxUnit.h"

#include "common/BitBtnXP.h"
#include "common/Interaction.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("Info"));

  ProgramIcon = new QLabel(this);
  const QIcon programIcon = QApplication::windowIcon().isNull()
                                ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                : QApplication::windowIcon();
  ProgramIcon->setPixmap(programIcon.pixmap(48, 48));
  ProgramIcon->setAccessibleName(QStringLiteral("Programmsymbol"));
  ProductName = new QLabel(ProductTitle, this);
  QFont bold = ProductName->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.4);
  ProductName->setFont(bold);
  // The year is filled in when the dialog is created.
  Copyright = new QLabel(CopyrightLine(QDate::currentDate().year()), this);

  WebBtn = new BitBtnXP(QStringLiteral("&Webseite öffnen"), BitBtnXP::Kind::Custom, this);
  WebBtn->setGlyph(QStyle::SP_DirHomeIcon);
  WebBtn->setObjectName(QStringLiteral("WebBtn"));
  WebBtn->setToolTip(WebAddress().toString());
  OKButton = new BitBtnXP(QStringLiteral("OK"), BitBtnXP::Kind::Ok, this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  connect(WebBtn, &QPushButton::clicked, this, &TAboutBox::WebBtnClick);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto *text = new QVBoxLayout;
  text->addWidget(ProductName);
  text->addWidget(Copyright);
  text->addStretch(1);
  auto *top = new QHBoxLayout;
  top->addWidget(ProgramIcon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(text, 1);
  auto *buttons = new QHBoxLayout;
  buttons->addWidget(WebBtn);
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  auto *outer = new QVBoxLayout(this);
  outer->addLayout(top);
  outer->addSpacing(12);
  outer->addLayout(buttons);
}

void TAboutBox::setVisible(bool visible) {
  if (visible && minimumSize() != maximumSize())
    setFixedSize(sizeHint().expandedTo(QSize(320, 150)));
  QDialog::setVisible(visible);
}

QUrl TAboutBox::WebAddress() { return QUrl(QStringLiteral("https://quellwerk.example.org/")); }

QString TAboutBox::CopyrightLine(int year) {
  return QStringLiteral("Copyright © %1 Quellwerk-Entwickler").arg(year);
}

void TAboutBox::WebBtnClick() { QDesktopServices::openUrl(WebAddress()); }
