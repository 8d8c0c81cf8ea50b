#include "fields/EditFieldFUnit.h"

#include "common/FormTools.h"
#include "common/Interaction.h"
#include "fields/FieldTypeRules.h"
#include "fields/RxSpinEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The designed client area; the dialog is never smaller.
constexpr int DesignWidth = 336;
constexpr int DesignHeight = 407;

QCheckBox *makeCheckBox(QWidget *parent, const char *name, const QString &caption, bool checked,
                        int width) {
  auto *box = new QCheckBox(caption, parent);
  box->setObjectName(QLatin1String(name));
  box->setAccessibleName(caption);
  box->setChecked(checked);
  box->setMinimumWidth(std::max(width, box->sizeHint().width()));
  return box;
}

QRadioButton *makeRadioButton(QWidget *parent, const char *name, const QString &caption,
                              bool checked) {
  auto *button = new QRadioButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setAccessibleName(caption);
  button->setChecked(checked);
  button->setMinimumWidth(std::max(113, button->sizeHint().width()));
  return button;
}

QLineEdit *makeEdit(QWidget *parent, const char *name, const QString &accessibleName, int width) {
  auto *edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setAccessibleName(accessibleName);
  edit->setMinimumWidth(width);
  return edit;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, QWidget *buddy) {
  auto *label = new QLabel(caption, parent);
  label->setObjectName(QLatin1String(name));
  label->setBuddy(buddy);
  buddy->setAccessibleName(caption);
  return label;
}

} // namespace

TEditFieldForm::TEditFieldForm(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("EditFieldForm"));
  setWindowTitle(QStringLiteral("Feld bearbeiten"));

  Edit1 = makeEdit(this, "Edit1", {}, 193);
  Label1 = makeLabel(this, "Label1", QStringLiteral("Feldname:"), Edit1);

  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setEditable(false);
  ComboBox1->addItems(FieldTypeWords());
  ComboBox1->setMaxVisibleItems(static_cast<int>(FieldTypeRules.size()));
  ComboBox1->setCurrentIndex(-1); // no type chosen before the first use
  ComboBox1->setMinimumWidth(193);
  Label2 = makeLabel(this, "Label2", QStringLiteral("Typ:"), ComboBox1);

  RxSpinEdit1 = new RxSpinEdit(12, this);
  RxSpinEdit1->setObjectName(QStringLiteral("RxSpinEdit1"));
  RxSpinEdit1->setMinimumWidth(std::max(121, RxSpinEdit1->sizeHint().width()));
  Label3 = makeLabel(this, "Label3", QStringLiteral("Länge:"), RxSpinEdit1);
  RxSpinEdit2 = new RxSpinEdit(2, this);
  RxSpinEdit2->setObjectName(QStringLiteral("RxSpinEdit2"));
  RxSpinEdit2->setMinimumWidth(std::max(121, RxSpinEdit2->sizeHint().width()));
  Label4 = makeLabel(this, "Label4", QStringLiteral("Anzahl der Stellen:"), RxSpinEdit2);

  CheckBox1 =
      makeCheckBox(this, "CheckBox1", QStringLiteral("Feld darf leer sein (NULL)"), true, 145);
  CheckBox2 = makeCheckBox(this, "CheckBox2", QStringLiteral("Primär Index"), false, 97);
  CheckBox3 =
      makeCheckBox(this, "CheckBox3", QStringLiteral("Nicht vorzeichenbehaftet"), false, 185);
  CheckBox4 = makeCheckBox(this, "CheckBox4", QStringLiteral("Mit Nullen füllen"), false, 153);
  CheckBox5 = makeCheckBox(this, "CheckBox5", QStringLiteral("Binär"), false, 97);
  CheckBox6 = makeCheckBox(this, "CheckBox6", QStringLiteral("Automatisch hochzählen"), false, 193);
  CheckBox7 = makeCheckBox(this, "CheckBox7", QStringLiteral("Eindeutig"), false, 97);
  CheckBox8 = makeCheckBox(this, "CheckBox8", QStringLiteral("Index"), false, 97);

  Edit2 = makeEdit(this, "Edit2", {}, 193);
  Label5 = makeLabel(this, "Label5", QStringLiteral("Vorgabewert:"), Edit2);

  RadioButton1 = makeRadioButton(this, "RadioButton1", QStringLiteral("Als letztes Feld"), true);
  RadioButton2 = makeRadioButton(this, "RadioButton2", QStringLiteral("Als erstes Feld"), false);
  RadioButton3 =
      makeRadioButton(this, "RadioButton3", QStringLiteral("Hinter diesem Feld:"), false);
  Edit3 = makeEdit(this, "Edit3", QStringLiteral("Hinter diesem Feld:"), 169);
  Edit3->setAccessibleDescription(
      QStringLiteral("Name des Feldes, hinter das das neue Feld kommt"));

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setAccessibleName(QStringLiteral("Trennlinie"));

  BitBtnXP1 = new BitBtnXP(QStringLiteral("OK"), BitBtnXP::Kind::Ok, this);
  BitBtnXP1->setObjectName(QStringLiteral("BitBtnXP1"));
  BitBtnXP1->setDesignSize(89, 25);
  // Enter on a focused check box or radio button also presses OK.
  BitBtnXP1->setDefault(true);
  BitBtnXP2 = new BitBtnXP(QStringLiteral("A&bbrechen"), BitBtnXP::Kind::Cancel, this);
  BitBtnXP2->setObjectName(QStringLiteral("BitBtnXP2"));
  BitBtnXP2->setDesignSize(105, 25);

  buildLayout();

  SetTabChain({CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6, CheckBox7,
               CheckBox8, Edit1, ComboBox1, RxSpinEdit1, RxSpinEdit2, BitBtnXP1, BitBtnXP2, Edit2,
               RadioButton1, RadioButton2, RadioButton3, Edit3});

  connect(Edit1, &QLineEdit::textChanged, this, &TEditFieldForm::Edit1Change);
  connect(Edit2, &QLineEdit::textChanged, this, &TEditFieldForm::Edit1Change);
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TEditFieldForm::ComboBox1Change);
  connect(BitBtnXP1, &QPushButton::clicked, this, &TEditFieldForm::BitBtnXP1Click);
  connect(BitBtnXP2, &QPushButton::clicked, this, &QDialog::reject);
}

void TEditFieldForm::buildLayout() {
  // Labels at the left edge 16, their controls at 112; the right edges of the
  // wide controls at 305.
  const int labelWidth = std::max({96, Label1->sizeHint().width() + 6,
                                   Label2->sizeHint().width() + 6, Label3->sizeHint().width() + 6,
                                   Label4->sizeHint().width() + 6, Label5->sizeHint().width() + 6});

  auto *top = new QGridLayout;
  top->setHorizontalSpacing(0);
  top->setVerticalSpacing(3);
  top->setColumnMinimumWidth(0, labelWidth);
  top->addWidget(Label1, 0, 0);
  top->addWidget(Edit1, 0, 1);
  top->addWidget(Label2, 1, 0);
  top->addWidget(ComboBox1, 1, 1);
  top->addWidget(Label3, 2, 0);
  top->addWidget(RxSpinEdit1, 2, 1, Qt::AlignLeft);
  top->addWidget(Label4, 3, 0);
  top->addWidget(RxSpinEdit2, 3, 1, Qt::AlignLeft);
  top->setColumnStretch(1, 1);

  auto *boxes = new QVBoxLayout;
  boxes->setSpacing(0);
  for (QCheckBox *box : flagBoxes())
    boxes->addWidget(box, 0, Qt::AlignLeft);

  auto *defaultRow = new QGridLayout;
  defaultRow->setHorizontalSpacing(0);
  defaultRow->setColumnMinimumWidth(0, labelWidth);
  defaultRow->addWidget(Label5, 0, 0);
  defaultRow->addWidget(Edit2, 0, 1);
  defaultRow->setColumnStretch(1, 1);

  auto *afterRow = new QHBoxLayout;
  afterRow->setSpacing(7);
  afterRow->addWidget(RadioButton3);
  afterRow->addWidget(Edit3, 1);
  auto *position = new QVBoxLayout;
  position->setSpacing(0);
  position->addWidget(RadioButton1, 0, Qt::AlignLeft);
  position->addWidget(RadioButton2, 0, Qt::AlignLeft);
  position->addLayout(afterRow);

  auto *content = new QVBoxLayout;
  content->setContentsMargins(16, 8, DesignWidth - 305, 8);
  content->setSpacing(0);
  content->addLayout(top);
  content->addSpacing(8);
  content->addLayout(boxes);
  content->addSpacing(12);
  content->addLayout(defaultRow);
  content->addSpacing(3);
  content->addLayout(position);
  content->addStretch(1);

  // The two buttons side by side, centred under the line that tops the
  // bottom 50 pixels.
  auto *buttons = new QHBoxLayout;
  buttons->setContentsMargins(8, 10, 8, 14);
  buttons->setSpacing(7);
  buttons->addStretch(1);
  buttons->addWidget(BitBtnXP1);
  buttons->addWidget(BitBtnXP2);
  buttons->addStretch(1);

  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->addLayout(content, 1);
  outer->addWidget(Bevel1);
  outer->addLayout(buttons);

  setFixedSize(outer->sizeHint().expandedTo(QSize(DesignWidth, DesignHeight)));
}

QList<QCheckBox *> TEditFieldForm::flagBoxes() const {
  return {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6, CheckBox7, CheckBox8};
}

void TEditFieldForm::Edit1Change() { BitBtnXP1->setEnabled(!Edit1->text().isEmpty()); }

void TEditFieldForm::ComboBox1Change() {
  for (QCheckBox *box : flagBoxes())
    box->setEnabled(true);
  RxSpinEdit1->setEnabled(true);
  RxSpinEdit2->setEnabled(true);
  const int index = ComboBox1->currentIndex();
  if (index < 0 || index >= static_cast<int>(FieldTypeRules.size()))
    return;
  const FieldTypeRule &rule = FieldTypeRules[static_cast<std::size_t>(index)];
  RxSpinEdit1->setEnabled(rule.length);
  RxSpinEdit2->setEnabled(rule.decimals);
  CheckBox3->setEnabled(rule.unsignedFlag);
  CheckBox4->setEnabled(rule.zerofill);
  CheckBox5->setEnabled(rule.binary);
  CheckBox6->setEnabled(rule.autoIncrement);
}

void TEditFieldForm::PrepareNewField(bool withPosition) {
  SetPositionEnabled(withPosition);
  Edit1->clear();
  Edit2->clear();
  BitBtnXP1->setEnabled(false);
  // A box left empty by a field without a length shows its kept number
  // again: an empty one would send VARCHAR without a length.
  for (RxSpinEdit *box : {RxSpinEdit1, RxSpinEdit2})
    if (box->isBlank())
      box->setText(QString::number(box->value()));
  ComboBox1->setCurrentIndex(NewFieldTypeIndex);
  ComboBox1Change();
}

void TEditFieldForm::SetPositionEnabled(bool enabled) {
  for (QWidget *w :
       std::initializer_list<QWidget *>{RadioButton1, RadioButton2, RadioButton3, Edit3})
    w->setEnabled(enabled);
}

bool TEditFieldForm::FillFromRow(const FieldRow &row) {
  Edit1->setText(row[CellName]);
  const int type = FieldTypeIndex(row[CellType]);
  if (type >= 0)
    ComboBox1->setCurrentIndex(type);
  RxSpinEdit1->setText(row[CellLength]);
  RxSpinEdit2->setText(row[CellDecimals]);
  Edit2->setText(row[CellDefault]);
  const QList<QCheckBox *> boxes = flagBoxes();
  for (qsizetype i = 0; i < boxes.size(); ++i)
    boxes[i]->setChecked(IsFlagSet(row, static_cast<FieldCell>(CellNull + i)));
  // After the ticks: a flag the type does not allow shows ticked but disabled.
  ComboBox1Change();
  Edit1Change();
  return type >= 0;
}

FieldRow TEditFieldForm::ReadFieldRow() const {
  FieldRow row;
  row[CellName] = Edit1->text();
  row[CellType] = ComboBox1->currentIndex() >= 0 ? ComboBox1->currentText() : QString();
  row[CellLength] = RxSpinEdit1->isEnabledTo(this) ? RxSpinEdit1->text() : QString();
  row[CellDecimals] = RxSpinEdit2->isEnabledTo(this) ? RxSpinEdit2->text() : QString();
  row[CellDefault] = Edit2->text();
  const QList<QCheckBox *> boxes = flagBoxes();
  for (qsizetype i = 0; i < boxes.size(); ++i)
    row[CellNull + static_cast<std::size_t>(i)] =
        FlagText(boxes[i]->isChecked() && boxes[i]->isEnabledTo(this));
  return row;
}

FieldPlacement TEditFieldForm::ReadPlacement() const {
  if (RadioButton2->isChecked())
    return {FieldPosition::First, Edit3->text()};
  if (RadioButton3->isChecked())
    return {FieldPosition::After, Edit3->text()};
  return {FieldPosition::Last, Edit3->text()};
}

void TEditFieldForm::BitBtnXP1Click() {
  // A number still being typed counts as entered (pulled into the range).
  RxSpinEdit1->interpretText();
  RxSpinEdit2->interpretText();
  accept();
}

void TEditFieldForm::FormShow() { Edit1->setFocus(); }

void TEditFieldForm::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!m_placed) {
    m_placed = true;
    CentreOnScreen(this);
  }
  FormShow();
}

void TEditFieldForm::keyPressEvent(QKeyEvent *event) {
  if (!HandleFormKey(event, {BitBtnXP1, BitBtnXP2}))
    QDialog::keyPressEvent(event);
}
