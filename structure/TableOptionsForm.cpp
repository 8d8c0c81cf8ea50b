#include "structure/TableOptionsForm.h"

#include "common/FormTools.h"
#include "structure/StructureTools.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

TTableOptionsForm::TTableOptionsForm(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TableOptionsForm"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  EngineBox = new QComboBox(this);
  RowFormatBox = new QComboBox(this);
  CharsetBox = new QComboBox(this);
  CollationBox = new QComboBox(this);
  CommentEd = new QPlainTextEdit(this);
  CommentEd->setTabChangesFocus(true);
  CommentEd->setFixedHeight(CommentEd->fontMetrics().height() * 4 + 12);

  auto *grid = new QGridLayout;
  int row = 0;
  const auto addRow = [&](const QString &caption, QWidget *field) {
    grid->addWidget(MakeBuddyLabel(caption, field, this), row, 0,
                    field == CommentEd ? Qt::AlignTop : Qt::Alignment());
    grid->addWidget(field, row++, 1);
  };
  addRow(QStringLiteral("Speicher-&Engine:"), EngineBox);
  addRow(QStringLiteral("&Zeilenformat:"), RowFormatBox);
  addRow(QStringLiteral("Zeichen&satz neuer Spalten:"), CharsetBox);
  addRow(QStringLiteral("S&ortierfolge neuer Spalten:"), CollationBox);
  addRow(QStringLiteral("&Kommentar:"), CommentEd);
  grid->setColumnStretch(1, 1);
  auto *outer = new QVBoxLayout(this);
  outer->addLayout(grid);
  outer->addLayout(MakeOkCancelRow(this, OkBtn, CancelBtn));
  resize(480, sizeHint().height());

  connect(CharsetBox, &QComboBox::currentIndexChanged, this, &TTableOptionsForm::CharsetBoxChange);
  SetTabChain({EngineBox, RowFormatBox, CharsetBox, CollationBox, CommentEd, OkBtn, CancelBtn});
}

void TTableOptionsForm::Prepare(const QString &table, const TableOptionChoice &choice,
                                const ServerCatalog &catalog) {
  setWindowTitle(QStringLiteral("Tabelle „%1“ ändern").arg(table));
  m_catalog = catalog;
  m_tableCollation = choice.collation;
  {
    const QSignalBlocker quiet(EngineBox);
    EngineBox->clear();
    for (const QString &engine : catalog.engines)
      EngineBox->addItem(engine, engine);
    ChooseEntry(EngineBox, choice.engine);
    RowFormatBox->clear();
    for (const QString &format : RowFormats())
      RowFormatBox->addItem(format, format);
    ChooseEntry(RowFormatBox, choice.rowFormat);
  }
  FillCharacterSets(CharsetBox, catalog, choice.characterSet);
  FillCollations(CollationBox, catalog, choice.characterSet, choice.collation, m_tableCollation);
  CommentEd->setPlainText(choice.comment);
  EngineBox->setFocus();
}

TableOptionChoice TTableOptionsForm::ReadChoice() const {
  return {ChosenEntry(EngineBox), ChosenEntry(RowFormatBox), ChosenEntry(CharsetBox),
          ChosenEntry(CollationBox), CommentEd->toPlainText()};
}

void TTableOptionsForm::CharsetBoxChange() {
  FillCollations(CollationBox, m_catalog, ChosenEntry(CharsetBox), {}, m_tableCollation);
}

void TTableOptionsForm::keyPressEvent(QKeyEvent *event) {
  if (!HandleFormKey(event, {OkBtn, CancelBtn}))
    QDialog::keyPressEvent(event);
}
