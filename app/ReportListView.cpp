#include "app/ReportListView.h"

#include <QHeaderView>
#include <QSignalBlocker>

ReportListModel::ReportListModel(QObject *parent) : QAbstractTableModel(parent) {}

void ReportListModel::setColumns(const QStringList &captions) {
  beginResetModel();
  m_captions = captions;
  m_columns = static_cast<std::size_t>(captions.size());
  m_cells.clear();
  endResetModel();
}

int ReportListModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : rows();
}

int ReportListModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns);
}

QVariant ReportListModel::data(const QModelIndex &index, int role) const {
  // The views may ask while an update is under way: answer only for rows that exist.
  if ((role != Qt::DisplayRole && role != Qt::EditRole) || index.row() >= rows() ||
      index.column() >= static_cast<int>(m_columns))
    return {};
  return cell(index.row(), index.column());
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_captions.size())
    return m_captions.at(section);
  return {};
}

Qt::ItemFlags ReportListModel::flags(const QModelIndex &index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (m_firstColumnEditable && index.column() == 0)
    f |= Qt::ItemIsEditable;
  return f;
}

bool ReportListModel::setData(const QModelIndex &index, const QVariant &value, int role) {
  if (role != Qt::EditRole || index.row() >= rows() || !(flags(index) & Qt::ItemIsEditable))
    return false;
  setCell(index.row(), index.column(), value.toString());
  return true;
}

const QString &ReportListModel::cell(int row, int column) const {
  static const QString empty;
  if (row < 0 || row >= rows() || column < 0 || column >= static_cast<int>(m_columns))
    return empty;
  return m_cells[static_cast<std::size_t>(row) * m_columns + static_cast<std::size_t>(column)];
}

void ReportListModel::setCell(int row, int column, const QString &text) {
  if (row < 0 || row >= rows() || column < 0 || column >= static_cast<int>(m_columns))
    return;
  m_cells[static_cast<std::size_t>(row) * m_columns + static_cast<std::size_t>(column)] = text;
  changed(row, row);
}

void ReportListModel::changed(int firstRow, int lastRow) {
  if (m_updateDepth == 0)
    emit dataChanged(index(firstRow, 0), index(lastRow, static_cast<int>(m_columns) - 1));
}

void ReportListModel::appendRow(const QString &caption) { appendRow(QStringList{caption}); }

void ReportListModel::appendRow(const QString &caption, const QString &second) {
  appendRow(QStringList{caption, second});
}

void ReportListModel::appendRow(const QStringList &cells) {
  const int row = rows();
  if (m_updateDepth == 0)
    beginInsertRows({}, row, row);
  for (std::size_t c = 0; c < m_columns; ++c)
    m_cells.push_back(c < static_cast<std::size_t>(cells.size()) ? cells[static_cast<int>(c)]
                                                                 : QString());
  if (m_updateDepth == 0)
    endInsertRows();
}

void ReportListModel::removeRow(int row) {
  if (row < 0 || row >= rows())
    return;
  if (m_updateDepth == 0)
    beginRemoveRows({}, row, row);
  const auto first = m_cells.begin() + static_cast<std::ptrdiff_t>(row * m_columns);
  m_cells.erase(first, first + static_cast<std::ptrdiff_t>(m_columns));
  if (m_updateDepth == 0)
    endRemoveRows();
}

void ReportListModel::clear() {
  if (m_updateDepth == 0)
    beginResetModel();
  m_cells.clear();
  if (m_updateDepth == 0)
    endResetModel();
}

void ReportListModel::beginUpdate() {
  if (m_updateDepth++ == 0)
    beginResetModel();
}

void ReportListModel::endUpdate() {
  if (m_updateDepth > 0 && --m_updateDepth == 0)
    endResetModel();
}

ReportListView::ReportListView(QWidget *parent) : QTreeView(parent) {
  setModel(&m_model);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTextElideMode(Qt::ElideRight);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit changed(); });
}

void ReportListView::setColumns(const QStringList &captions, const QList<int> &widths) {
  m_model.setColumns(captions);
  for (int i = 0; i < widths.size(); ++i)
    setColumnWidth(i, widths[i]);
}

void ReportListView::setFirstColumnEditable(bool editable) {
  m_model.setFirstColumnEditable(editable);
  setEditTriggers(editable ? QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked
                           : QAbstractItemView::NoEditTriggers);
}

int ReportListView::selectedRow() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ReportListView::selectRow(int row) {
  if (row < 0 || row >= count())
    return;
  const QModelIndex index = m_model.index(row, 0);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
}

void ReportListView::beginUpdate() {
  if (m_updateDepth++ == 0) {
    setUpdatesEnabled(false);
    selectionModel()->blockSignals(true);
  }
  m_model.beginUpdate();
}

void ReportListView::endUpdate() {
  if (m_updateDepth == 0)
    return;
  m_model.endUpdate();
  if (--m_updateDepth == 0) {
    selectionModel()->blockSignals(false);
    setUpdatesEnabled(true);
  }
}

void ReportListView::clear() {
  const QSignalBlocker blocker(selectionModel());
  m_model.clear();
}
