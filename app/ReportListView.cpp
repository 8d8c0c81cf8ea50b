#include "app/ReportListView.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolTip>

ReportListModel::ReportListModel(QObject *parent) : QAbstractTableModel(parent) {}

void ReportListModel::setColumns(const QStringList &captions) {
  beginResetModel();
  m_captions = captions;
  m_columns = static_cast<std::size_t>(captions.size());
  m_cells.clear();
  endResetModel();
}

namespace {

// Whether `text` reads the same as the NUL-terminated UTF-8 `utf8`; plain
// ASCII (nearly every name) is compared without converting anything.
bool SameText(const QString &text, const char *utf8) {
  const QChar *chars = text.constData();
  const qsizetype size = text.size();
  for (qsizetype i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte == 0)
      return false;
    if (byte >= 0x80)
      return text == QString::fromUtf8(utf8);
    if (chars[i].unicode() != byte)
      return false;
  }
  return utf8[size] == 0;
}

} // namespace

// index() and flags() answer what the base class answers, without its
// virtual rowCount()/columnCount() round trips: the views ask for every row
// when they lay a refilled list out.
QModelIndex ReportListModel::index(int row, int column, const QModelIndex &parent) const {
  if (parent.isValid() || row < 0 || column < 0 || row >= shownRows() ||
      column >= static_cast<int>(m_columns))
    return {};
  return createIndex(row, column);
}

int ReportListModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : shownRows();
}

int ReportListModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns);
}

QVariant ReportListModel::data(const QModelIndex &index, int role) const {
  // The views read the rows they were told of, also while an update is under way.
  if ((role != Qt::DisplayRole && role != Qt::EditRole) || index.row() < 0 ||
      index.row() >= rowCount() || index.column() < 0 ||
      index.column() >= static_cast<int>(m_columns))
    return {};
  return m_cells[static_cast<std::size_t>(index.row()) * m_columns +
                 static_cast<std::size_t>(index.column())];
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_captions.size())
    return m_captions.at(section);
  return {};
}

Qt::ItemFlags ReportListModel::flags(const QModelIndex &index) const {
  if (index.row() < 0 || index.column() < 0 || index.model() != this)
    return {};
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
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
  return current()[static_cast<std::size_t>(row) * m_columns + static_cast<std::size_t>(column)];
}

std::vector<QString> &ReportListModel::editable() {
  if (m_updateDepth == 0)
    return m_cells;
  if (!m_building) {
    // The update changes the rows it started from: build on a copy.
    m_next = m_cells;
    m_building = true;
    m_sharedCells = m_next.size();
    m_sharedKnown = true;
  }
  return m_next;
}

void ReportListModel::setCell(int row, int column, const QString &text) {
  if (row < 0 || row >= rows() || column < 0 || column >= static_cast<int>(m_columns))
    return;
  const std::size_t at =
      static_cast<std::size_t>(row) * m_columns + static_cast<std::size_t>(column);
  if (m_updateDepth > 0) {
    editable()[at] = text;
    m_sharedKnown = false;
    return;
  }
  m_cells[at] = text;
  changed(row, row);
}

void ReportListModel::changed(int firstRow, int lastRow) {
  if (m_updateDepth == 0)
    emit dataChanged(index(firstRow, 0), index(lastRow, static_cast<int>(m_columns) - 1));
}

// During an update, a cell equal to the one shown at the same place (while
// all before it are) is shared with it, so that the end of the update knows
// without comparing again whether anything changed.
template <typename Same, typename Make>
void ReportListModel::pushCellSharing(Same same, Make make) {
  std::vector<QString> &cells = editable();
  const std::size_t at = cells.size();
  if (m_updateDepth > 0 && m_sharedKnown && m_sharedCells == at && at < m_cells.size() &&
      same(m_cells[at])) {
    cells.push_back(m_cells[at]);
    ++m_sharedCells;
    return;
  }
  cells.push_back(make());
}

void ReportListModel::pushCell(QString text) {
  pushCellSharing([&](const QString &shown) { return shown == text; },
                  [&] { return std::move(text); });
}

void ReportListModel::padRow() {
  while (editable().size() % m_columns)
    pushCell(QString());
}

template <typename Fill> void ReportListModel::appendWith(Fill fill) {
  if (!m_columns)
    return;
  const int row = rows();
  if (m_updateDepth == 0)
    beginInsertRows({}, row, row);
  fill();
  padRow();
  if (m_updateDepth == 0)
    endInsertRows();
}

void ReportListModel::appendRow(const QString &caption) {
  appendWith([&] { pushCell(caption); });
}

void ReportListModel::appendRow(const QString &caption, const QString &second) {
  appendWith([&] {
    pushCell(caption);
    if (m_columns > 1)
      pushCell(second);
  });
}

void ReportListModel::appendRow(const QStringList &cells) {
  appendWith([&] {
    for (std::size_t c = 0; c < m_columns && c < static_cast<std::size_t>(cells.size()); ++c)
      pushCell(cells[static_cast<qsizetype>(c)]);
  });
}

void ReportListModel::appendUtf8Row(const char *caption) { appendUtf8Row(caption, QString()); }

// A caption from the client library that equals the one shown at its row is
// shared without converting it.
void ReportListModel::appendUtf8Row(const char *caption, const QString &second) {
  appendWith([&] {
    pushCellSharing([&](const QString &shown) { return SameText(shown, caption); },
                    [&] { return QString::fromUtf8(caption); });
    if (m_columns > 1)
      pushCell(second);
  });
}

void ReportListModel::removeRow(int row) {
  if (row < 0 || row >= rows())
    return;
  if (m_updateDepth == 0)
    beginRemoveRows({}, row, row);
  std::vector<QString> &cells = editable();
  const auto first =
      cells.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(row) * m_columns);
  cells.erase(first, first + static_cast<std::ptrdiff_t>(m_columns));
  if (m_updateDepth == 0)
    endRemoveRows();
  else
    m_sharedKnown = false;
}

void ReportListModel::clear() {
  if (m_updateDepth > 0) {
    // The refill starts from nothing: no copy of the rows shown is needed.
    m_next.clear();
    m_next.reserve(m_cells.size());
    m_building = true;
    m_sharedCells = 0;
    m_sharedKnown = true;
    return;
  }
  if (m_cells.empty())
    return; // an empty list stays as it is: nothing to tell the views
  beginResetModel();
  m_cells.clear();
  endResetModel();
}

void ReportListModel::beginUpdate() {
  if (m_updateDepth++ == 0) {
    m_building = false;
    m_sharedCells = 0;
    m_sharedKnown = true;
  }
}

ReportListModel::UpdateEnd ReportListModel::endUpdate() {
  if (m_updateDepth == 0 || --m_updateDepth > 0)
    return UpdateEnd::Nested;
  if (!m_building)
    return UpdateEnd::Unchanged;
  m_building = false;
  const bool same = m_sharedKnown
                        ? m_sharedCells == m_next.size() && m_next.size() == m_cells.size()
                        : m_next == m_cells;
  if (!same) {
    beginResetModel();
    m_cells.swap(m_next);
    endResetModel();
  }
  m_next.clear(); // the rows no longer shown (or the copy of those still shown)
  return same ? UpdateEnd::Unchanged : UpdateEnd::Reset;
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
  connect(this, &QAbstractItemView::clicked, this, [this] { m_clickReported = true; });
}

void ReportListView::keyPressEvent(QKeyEvent *event) {
  const int before = selectedRow();
  QTreeView::keyPressEvent(event);
  if (selectedRow() != before)
    emit movedWithoutClick();
}

void ReportListView::mousePressEvent(QMouseEvent *event) {
  m_rowAtPress = selectedRow();
  m_clickReported = false;
  QTreeView::mousePressEvent(event);
}

void ReportListView::mouseReleaseEvent(QMouseEvent *event) {
  QTreeView::mouseReleaseEvent(event);
  if (!m_clickReported && selectedRow() != m_rowAtPress)
    emit movedWithoutClick();
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

int ReportListView::rowOf(const QString &caption) const {
  for (int row = 0; row < count(); ++row)
    if (m_model.cell(row, 0) == caption)
      return row;
  return -1;
}

void ReportListView::selectRow(int row) {
  if (row < 0 || row >= count())
    return;
  const QModelIndex index = m_model.index(row, 0);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
}

void ReportListView::beginUpdate() {
  if (m_updateDepth++ == 0)
    selectionModel()->blockSignals(true);
  m_model.beginUpdate();
}

void ReportListView::endUpdate() {
  if (m_updateDepth == 0)
    return;
  const ReportListModel::UpdateEnd end = m_model.endUpdate();
  if (--m_updateDepth > 0)
    return;
  if (end == ReportListModel::UpdateEnd::Unchanged)
    dropSelectionQuietly();
  selectionModel()->blockSignals(false);
  if (m_held) {
    m_held = false;
    setUpdatesEnabled(true);
  }
}

void ReportListView::holdRepaint() {
  if (m_updateDepth > 0 && !m_held) {
    m_held = true;
    setUpdatesEnabled(false);
  }
}

// What a model reset does to the selection, without the reset: no selected
// row and no current row, and no change notification; only the rows that
// lose their highlight are repainted.
void ReportListView::dropSelectionQuietly() {
  QItemSelectionModel *selection = selectionModel();
  const QModelIndex current = selection->currentIndex();
  const QModelIndexList selected = selection->selectedIndexes();
  if (!current.isValid() && selected.isEmpty())
    return;
  QRegion dirty;
  const int width = viewport()->width();
  auto addRow = [&](const QModelIndex &index) {
    const QRect r = visualRect(index);
    if (r.isValid())
      dirty += QRect(0, r.top(), width, r.height());
  };
  if (current.isValid())
    addRow(current);
  for (const QModelIndex &index : selected)
    addRow(index);
  const QSignalBlocker blocker(selection);
  selection->clear();
  if (!dirty.isEmpty())
    viewport()->update(dirty);
}

void ReportListView::clear() {
  const QSignalBlocker blocker(selectionModel());
  m_model.clear();
}

// As the style draws a cell: the text rectangle less the margin on each side;
// a text wider than that is elided, one with a line break shows its first line.
bool ReportListView::isElided(const QModelIndex &index) const {
  if (!index.isValid())
    return false;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  option.text = index.data().toString();
  option.features |= QStyleOptionViewItem::HasDisplay;
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  const QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
  return QFontMetricsF(option.font).horizontalAdvance(option.text) > text.width() - 2 * margin ||
         option.text.contains(QLatin1Char('\n'));
}

bool ReportListView::viewportEvent(QEvent *event) {
  if (event->type() != QEvent::ToolTip)
    return QTreeView::viewportEvent(event);
  const auto *help = static_cast<QHelpEvent *>(event);
  const QModelIndex index = indexAt(help->pos());
  if (isElided(index)) {
    // Rich text that says the plain text on one line, unbroken: a name like
    // "<b>" or "&amp;" shows as those very characters, never as markup.
    const QString tip = QStringLiteral("<p style='white-space:pre'>%1</p>")
                            .arg(index.data().toString().toHtmlEscaped());
    QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
  } else {
    QToolTip::hideText();
  }
  return true;
}
