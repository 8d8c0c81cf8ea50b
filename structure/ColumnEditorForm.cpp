#include "structure/ColumnEditorForm.h"

#include "common/FormTools.h"
#include "structure/StructureTools.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

// The entries of the default's box, in the order of ColumnDefault::Kind.
const QStringList DefaultKinds{QStringLiteral("keine"), QStringLiteral("NULL"),
                               QStringLiteral("Text"), QStringLiteral("Zahl oder Ausdruck")};
// The entries of the generation's box, in the order of Generation.
const QStringList Generations{QStringLiteral("nein"), QStringLiteral("VIRTUAL"),
                              QStringLiteral("STORED"), QStringLiteral("ROW START"),
                              QStringLiteral("ROW END")};

QLineEdit *NumberEdit(QWidget *parent) {
  auto *edit = new QLineEdit(parent);
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,10}")), edit));
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 16);
  return edit;
}

QComboBox *ListBox(const QStringList &entries, QWidget *parent) {
  auto *box = new QComboBox(parent);
  box->addItems(entries);
  return box;
}

BitBtnXP *GlyphButton(const QString &caption, QStyle::StandardPixmap glyph, QWidget *parent) {
  auto *button = new BitBtnXP(caption, BitBtnXP::Kind::Custom, parent);
  button->setGlyph(glyph);
  return button;
}

} // namespace

TColumnEditorForm::TColumnEditorForm(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ColumnEditorForm"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  NameEd = new QLineEdit(this);
  TypeBox = new QComboBox(this);
  TypeBox->setEditable(true); // a type the list lacks is written as typed
  TypeBox->addItems(ColumnTypeWords());
  TypeBox->setInsertPolicy(QComboBox::NoInsert);
  LengthEd = NumberEdit(this);
  DecimalsEd = NumberEdit(this);
  ValueList = new QListWidget(this);
  ValueList->setMaximumHeight(ValueList->fontMetrics().height() * 5);
  AddValueBtn = GlyphButton(QStringLiteral("&Hinzufügen"), QStyle::SP_FileDialogNewFolder, this);
  AddValueBtn->setAccessibleName(QStringLiteral("Wert hinzufügen"));
  RemoveValueBtn = GlyphButton(QStringLiteral("Ent&fernen"), QStyle::SP_TrashIcon, this);
  RemoveValueBtn->setAccessibleName(QStringLiteral("Wert entfernen"));
  ValueUpBtn = GlyphButton(QStringLiteral("Nach &oben"), QStyle::SP_ArrowUp, this);
  ValueDownBtn = GlyphButton(QStringLiteral("Nach &unten"), QStyle::SP_ArrowDown, this);
  UnsignedBox = new QCheckBox(QStringLiteral("UNSI&GNED"), this);
  ZerofillBox = new QCheckBox(QStringLiteral("ZEROFILL"), this);
  CompressedBox = new QCheckBox(QStringLiteral("komprimiert (COMPRESSED)"), this);
  CharsetBox = new QComboBox(this);
  CollationBox = new QComboBox(this);
  NullBox = new QCheckBox(QStringLiteral("NULL &erlaubt"), this);
  AutoIncrementBox = new QCheckBox(QStringLiteral("&AUTO_INCREMENT"), this);
  InvisibleBox = new QCheckBox(QStringLiteral("un&sichtbar (INVISIBLE)"), this);
  WithoutVersioningBox = new QCheckBox(QStringLiteral("ohne Systemversionierung"), this);
  DefaultKindBox = ListBox(DefaultKinds, this);
  DefaultEd = new QLineEdit(this);
  OnUpdateEd = new QLineEdit(this);
  OnUpdateEd->setPlaceholderText(QStringLiteral("z. B. current_timestamp()"));
  GenerationBox = ListBox(Generations, this);
  ExpressionEd = new QLineEdit(this);
  CheckEd = new QLineEdit(this);
  CommentEd = new QPlainTextEdit(this);
  CommentEd->setTabChangesFocus(true);
  CommentEd->setFixedHeight(CommentEd->fontMetrics().height() * 3 + 12);
  PlaceBox = new QComboBox(this);

  auto *grid = new QGridLayout;
  int row = 0;
  const auto addRow = [&](const QString &caption, QWidget *field) {
    grid->addWidget(MakeBuddyLabel(caption, field, this), row, 0);
    grid->addWidget(field, row++, 1, 1, 3);
  };
  addRow(QStringLiteral("&Name:"), NameEd);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Typ:"), TypeBox, this), row, 0);
  grid->addWidget(TypeBox, row, 1);
  auto *sizes = new QHBoxLayout;
  sizes->addWidget(MakeBuddyLabel(QStringLiteral("&Länge:"), LengthEd, this));
  sizes->addWidget(LengthEd);
  sizes->addWidget(MakeBuddyLabel(QStringLiteral("Na&chkommastellen:"), DecimalsEd, this));
  sizes->addWidget(DecimalsEd);
  grid->addLayout(sizes, row++, 2, 1, 2);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Werte (ENUM, SET):"), ValueList, this), row, 0,
                  Qt::AlignTop);
  grid->addWidget(ValueList, row, 1, 1, 2);
  auto *valueButtons = new QVBoxLayout;
  for (BitBtnXP *b : {AddValueBtn, RemoveValueBtn, ValueUpBtn, ValueDownBtn})
    valueButtons->addWidget(b);
  valueButtons->addStretch(1);
  grid->addLayout(valueButtons, row++, 3);
  auto *typeFlags = new QHBoxLayout;
  for (QCheckBox *box : {UnsignedBox, ZerofillBox, CompressedBox})
    typeFlags->addWidget(box);
  typeFlags->addStretch(1);
  grid->addLayout(typeFlags, row++, 1, 1, 3);
  addRow(QStringLiteral("&Zeichensatz:"), CharsetBox);
  addRow(QStringLiteral("So&rtierfolge:"), CollationBox);
  auto *columnFlags = new QGridLayout;
  columnFlags->addWidget(NullBox, 0, 0);
  columnFlags->addWidget(AutoIncrementBox, 0, 1);
  columnFlags->addWidget(InvisibleBox, 1, 0);
  columnFlags->addWidget(WithoutVersioningBox, 1, 1);
  grid->addLayout(columnFlags, row++, 1, 1, 3);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Vorgabe:"), DefaultKindBox, this), row, 0);
  grid->addWidget(DefaultKindBox, row, 1);
  grid->addWidget(DefaultEd, row++, 2, 1, 2);
  DefaultEd->setAccessibleName(QStringLiteral("Vorgabewert"));
  addRow(QStringLiteral("ON UP&DATE:"), OnUpdateEd);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Berechnet:"), GenerationBox, this), row, 0);
  grid->addWidget(GenerationBox, row, 1);
  grid->addWidget(ExpressionEd, row++, 2, 1, 2);
  ExpressionEd->setAccessibleName(QStringLiteral("Ausdruck der berechneten Spalte"));
  addRow(QStringLiteral("&Prüfbedingung (CHECK):"), CheckEd);
  grid->addWidget(MakeBuddyLabel(QStringLiteral("&Kommentar:"), CommentEd, this), row, 0,
                  Qt::AlignTop);
  grid->addWidget(CommentEd, row++, 1, 1, 3);
  addRow(QStringLiteral("Pos&ition:"), PlaceBox);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 1);

  auto *outer = new QVBoxLayout(this);
  outer->addLayout(grid);
  outer->addLayout(MakeOkCancelRow(this, OkBtn, CancelBtn));
  resize(600, sizeHint().height());

  connect(TypeBox, &QComboBox::currentTextChanged, this, &TColumnEditorForm::TypeBoxChange);
  connect(CharsetBox, &QComboBox::currentIndexChanged, this, &TColumnEditorForm::CharsetBoxChange);
  connect(AddValueBtn, &QPushButton::clicked, this, &TColumnEditorForm::AddValueBtnClick);
  connect(RemoveValueBtn, &QPushButton::clicked, this, &TColumnEditorForm::RemoveValueBtnClick);
  connect(ValueUpBtn, &QPushButton::clicked, this, [this] { MoveValue(-1); });
  connect(ValueDownBtn, &QPushButton::clicked, this, [this] { MoveValue(1); });
  connect(ValueList, &QListWidget::currentRowChanged, this, &TColumnEditorForm::UpdateControls);
  connect(NameEd, &QLineEdit::textChanged, this, &TColumnEditorForm::UpdateControls);
  // NOT NULL cannot keep the default NULL; the server fills in no default then.
  connect(NullBox, &QCheckBox::toggled, this, [this](bool nullable) {
    if (!nullable && DefaultKindBox->currentIndex() == static_cast<int>(ColumnDefault::Kind::Null))
      DefaultKindBox->setCurrentIndex(static_cast<int>(ColumnDefault::Kind::None));
  });
  for (QComboBox *box : {DefaultKindBox, GenerationBox})
    connect(box, &QComboBox::currentIndexChanged, this, &TColumnEditorForm::UpdateControls);
  SetTabChain({NameEd,           TypeBox,      LengthEd,
               DecimalsEd,       ValueList,    AddValueBtn,
               RemoveValueBtn,   ValueUpBtn,   ValueDownBtn,
               UnsignedBox,      ZerofillBox,  CompressedBox,
               CharsetBox,       CollationBox, NullBox,
               AutoIncrementBox, InvisibleBox, WithoutVersioningBox,
               DefaultKindBox,   DefaultEd,    OnUpdateEd,
               GenerationBox,    ExpressionEd, CheckEd,
               CommentEd,        PlaceBox,     OkBtn,
               CancelBtn});
}

void TColumnEditorForm::Prepare(const ColumnDesign &design, bool isNew, const TableContext &table,
                                const ServerCatalog &catalog) {
  m_catalog = catalog;
  m_table = table;
  m_name = design.name;
  setWindowTitle(isNew ? QStringLiteral("Neue Spalte")
                       : QStringLiteral("Spalte „%1“ bearbeiten").arg(design.name));
  NameEd->setText(design.name);
  {
    const QSignalBlocker quiet(TypeBox);
    TypeBox->setCurrentText(design.type);
  }
  LengthEd->setText(design.length);
  DecimalsEd->setText(design.decimals);
  ValueList->clear();
  for (const QString &value : design.values) {
    auto *item = new QListWidgetItem(value, ValueList);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
  }
  UnsignedBox->setChecked(design.isUnsigned);
  ZerofillBox->setChecked(design.zerofill);
  CompressedBox->setChecked(design.compressed);

  // A column without text of its own shows the table's character set, which
  // it gets when its type becomes one with text.
  const QString characterSet =
      design.characterSet.isEmpty() ? table.characterSet : design.characterSet;
  const QString collation = design.collation.isEmpty() ? table.collation : design.collation;
  FillCharacterSets(CharsetBox, m_catalog, characterSet);
  FillCollations(CollationBox, m_catalog, ChosenEntry(CharsetBox), collation, table.collation);

  NullBox->setChecked(design.nullable);
  AutoIncrementBox->setChecked(design.autoIncrement);
  InvisibleBox->setChecked(design.invisible);
  WithoutVersioningBox->setChecked(design.withoutVersioning);
  WithoutVersioningBox->setVisible(table.systemVersioned || design.withoutVersioning);
  DefaultKindBox->setCurrentIndex(static_cast<int>(design.defaultValue.kind));
  DefaultEd->setText(design.defaultValue.text);
  OnUpdateEd->setText(design.onUpdate);
  GenerationBox->setCurrentIndex(static_cast<int>(design.generation));
  ExpressionEd->setText(design.expression);
  CheckEd->setText(design.check);
  CommentEd->setPlainText(design.comment);

  PlaceBox->clear();
  const qsizetype at = isNew ? -1 : table.columns.indexOf(design.name);
  PlaceBox->addItem(
      isNew    ? QStringLiteral("am Ende")
      : at > 0 ? QStringLiteral("bleibt, wo sie ist (nach „%1“)").arg(table.columns.value(at - 1))
               : QStringLiteral("bleibt, wo sie ist (an erster Stelle)"));
  PlaceBox->addItem(QStringLiteral("an erster Stelle"));
  for (const QString &column : table.columns)
    if (column != design.name || isNew)
      PlaceBox->addItem(QStringLiteral("nach „%1“").arg(column), column);
  PlaceBox->setCurrentIndex(0);
  UpdateControls();
  NameEd->setFocus();
}

ColumnDesign TColumnEditorForm::ReadDesign() const {
  ColumnDesign design;
  design.name = NameEd->text();
  design.type = TypeBox->currentText().trimmed().toLower();
  design.length = LengthEd->text();
  design.decimals = DecimalsEd->text();
  for (int i = 0; i < ValueList->count(); ++i)
    design.values << ValueList->item(i)->text();
  design.isUnsigned = UnsignedBox->isChecked();
  design.zerofill = ZerofillBox->isChecked();
  design.compressed = CompressedBox->isChecked();
  // Only a type with text has a character set; the boxes keep theirs for
  // when the type is changed back.
  if (RuleOfType(design.type).text) {
    design.characterSet = ChosenEntry(CharsetBox);
    design.collation = ChosenEntry(CollationBox);
  }
  design.nullable = NullBox->isChecked();
  design.autoIncrement = AutoIncrementBox->isChecked();
  design.invisible = InvisibleBox->isChecked();
  design.withoutVersioning = WithoutVersioningBox->isChecked();
  design.defaultValue.kind = static_cast<ColumnDefault::Kind>(DefaultKindBox->currentIndex());
  if (design.defaultValue.kind == ColumnDefault::Kind::Text ||
      design.defaultValue.kind == ColumnDefault::Kind::Expression)
    design.defaultValue.text = DefaultEd->text();
  design.onUpdate = OnUpdateEd->text();
  design.generation = static_cast<Generation>(GenerationBox->currentIndex());
  if (design.generation == Generation::Virtual || design.generation == Generation::Stored)
    design.expression = ExpressionEd->text();
  design.check = CheckEd->text();
  design.comment = CommentEd->toPlainText();
  return design;
}

ColumnPlace TColumnEditorForm::ReadPlace() const {
  switch (PlaceBox->currentIndex()) {
  case 0: return {};
  case 1: return {ColumnPlace::Kind::First, {}};
  default: return {ColumnPlace::Kind::After, PlaceBox->currentData().toString()};
  }
}

void TColumnEditorForm::TypeBoxChange() { UpdateControls(); }

void TColumnEditorForm::CharsetBoxChange() {
  FillCollations(CollationBox, m_catalog, ChosenEntry(CharsetBox), {}, m_table.collation);
}

void TColumnEditorForm::AddValueBtnClick() {
  auto *item = new QListWidgetItem(QString(), ValueList);
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  ValueList->setCurrentItem(item);
  ValueList->editItem(item);
  UpdateControls();
}

void TColumnEditorForm::RemoveValueBtnClick() {
  delete ValueList->currentItem();
  UpdateControls();
}

void TColumnEditorForm::MoveValue(int by) {
  const int row = ValueList->currentRow();
  const int to = row + by;
  if (row < 0 || to < 0 || to >= ValueList->count())
    return;
  QListWidgetItem *item = ValueList->takeItem(row);
  ValueList->insertItem(to, item);
  ValueList->setCurrentItem(item);
}

void TColumnEditorForm::UpdateControls() {
  const ColumnTypeRule rule = RuleOfType(TypeBox->currentText().trimmed());
  LengthEd->setEnabled(rule.length);
  DecimalsEd->setEnabled(rule.decimals);
  ValueList->setEnabled(rule.values);
  AddValueBtn->setEnabled(rule.values);
  const bool valueChosen = rule.values && ValueList->currentItem() != nullptr;
  for (BitBtnXP *b : {RemoveValueBtn, ValueUpBtn, ValueDownBtn})
    b->setEnabled(valueChosen);
  UnsignedBox->setEnabled(rule.numeric);
  ZerofillBox->setEnabled(rule.numeric);
  CompressedBox->setEnabled(rule.compressible);
  CharsetBox->setEnabled(rule.text);
  CollationBox->setEnabled(rule.text);
  AutoIncrementBox->setEnabled(rule.autoIncrement);
  OnUpdateEd->setEnabled(rule.onUpdate);
  const auto kind = static_cast<ColumnDefault::Kind>(DefaultKindBox->currentIndex());
  const auto generation = static_cast<Generation>(GenerationBox->currentIndex());
  const bool generated = generation != Generation::None;
  DefaultKindBox->setEnabled(!generated);
  DefaultEd->setEnabled(
      !generated && (kind == ColumnDefault::Kind::Text || kind == ColumnDefault::Kind::Expression));
  NullBox->setEnabled(!generated);
  ExpressionEd->setEnabled(generation == Generation::Virtual || generation == Generation::Stored);
  OkBtn->setEnabled(!NameEd->text().isEmpty() && !TypeBox->currentText().trimmed().isEmpty());
}

void TColumnEditorForm::accept() {
  // A value still being typed (OK by its shortcut) counts: leaving the row
  // hands it to the list.
  ValueList->setCurrentRow(-1);
  if (NameFitsOrSaySo(this, NameEd->text()))
    QDialog::accept();
}

void TColumnEditorForm::keyPressEvent(QKeyEvent *event) {
  if (!HandleFormKey(event,
                     {AddValueBtn, RemoveValueBtn, ValueUpBtn, ValueDownBtn, OkBtn, CancelBtn}))
    QDialog::keyPressEvent(event);
}
