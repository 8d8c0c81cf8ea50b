#include "fields/RxSpinEdit.h"

#include "fields/FieldTypeRules.h"

#include <QLineEdit>

RxSpinEdit::RxSpinEdit(int value, QWidget *parent) : QSpinBox(parent) {
  // Plain ASCII digits whatever the locale: the text goes into SQL as shown.
  setLocale(QLocale::c());
  setRange(1, FieldNumberMax);
  setSingleStep(1);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  setValue(value);
  // Typing ends the empty state; the typed text is then the box's text.
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_blank = false; });
}

void RxSpinEdit::setText(const QString &text) {
  bool number = false;
  const int value = text.toInt(&number);
  m_blank = !number;
  if (number)
    setValue(value);
  refresh();
}

QString RxSpinEdit::textFromValue(int value) const {
  return m_blank ? QString() : QSpinBox::textFromValue(value);
}

QValidator::State RxSpinEdit::validate(QString &input, int &pos) const {
  if (m_blank && input.isEmpty())
    return QValidator::Acceptable;
  return QSpinBox::validate(input, pos);
}

int RxSpinEdit::valueFromText(const QString &text) const {
  if (m_blank && text.isEmpty())
    return value();
  return QSpinBox::valueFromText(text);
}

void RxSpinEdit::stepBy(int steps) {
  if (m_blank) {
    m_blank = false;
    refresh();
  }
  QSpinBox::stepBy(steps);
}

void RxSpinEdit::refresh() {
  // Shows the current state even when the value itself did not change.
  lineEdit()->setText(textFromValue(value()));
}
