#include "schema/NameDialog.h"

#include "common/FormTools.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TNameDialog::TNameDialog(const QString &caption, const QString &label, QWidget *parent)
    : QDialog(parent) {
  setWindowTitle(caption);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  NameLabel = new QLabel(label, this);
  NameEd = new QLineEdit(this);
  NameLabel->setBuddy(NameEd);
  NameEd->setAccessibleName(PlainCaption(label).remove(QLatin1Char(':')));
  Line = new QFrame(this);
  Line->setFrameShape(QFrame::HLine);
  Line->setFrameShadow(QFrame::Sunken);
  BitBtnXP1 = new BitBtnXP(QStringLiteral("OK"), BitBtnXP::Kind::Ok, this);
  BitBtnXP2 = new BitBtnXP(QStringLiteral("Abbrechen"), BitBtnXP::Kind::Cancel, this);
  BitBtnXP1->setObjectName(QStringLiteral("BitBtnXP1"));
  BitBtnXP2->setObjectName(QStringLiteral("BitBtnXP2"));
  BitBtnXP1->setDesignSize(75, 25);
  BitBtnXP2->setDesignSize(96, 25);
  connect(BitBtnXP1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtnXP2, &QPushButton::clicked, this, &QDialog::reject);

  // Label at (8, 8), edit at (8, 24) 361 wide, the line at 59, the buttons
  // side by side in the middle of the strip below it.
  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(8, 8, 8, 12);
  outer->setSpacing(2);
  outer->addWidget(NameLabel);
  outer->addWidget(NameEd);
  outer->addSpacing(10);
  outer->addWidget(Line);
  outer->addSpacing(10);
  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(5);
  buttons->addStretch(1);
  buttons->addWidget(BitBtnXP1);
  buttons->addWidget(BitBtnXP2);
  buttons->addStretch(1);
  outer->addLayout(buttons);
  NameEd->setMinimumWidth(361);
  setFixedSize(sizeHint().expandedTo(QSize(382, 109)));
  SetTabChain({NameEd, BitBtnXP1, BitBtnXP2});
}

void TNameDialog::keyPressEvent(QKeyEvent *event) {
  // Enter presses OK and Escape "Abbrechen", wherever the focus is but on a button.
  if (!HandleFormKey(event, {BitBtnXP1, BitBtnXP2}))
    QDialog::keyPressEvent(event);
}
