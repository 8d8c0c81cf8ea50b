#include "clientlib/QueryResult.h"

QString QueryResult::text(qsizetype row, qsizetype column) const {
  if (row < 0 || row >= rows.size() || column < 0 || column >= rows[row].size())
    return {};
  const QueryCell &cell = rows[row][column];
  return cell ? QString::fromUtf8(*cell) : QString();
}

QList<QStringList> QueryResult::texts() const {
  QList<QStringList> texts;
  texts.reserve(rows.size());
  for (qsizetype row = 0; row < rows.size(); ++row) {
    QStringList cells;
    for (qsizetype column = 0; column < rows[row].size(); ++column)
      cells << text(row, column);
    texts << cells;
  }
  return texts;
}
