#include "common/ReportListView.h"

#include <QAccessible>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolTip>

#include <algorithm>

ReportListModel::ReportListModel(QObject *parent) : QAbstractTableModel(parent) {}

void ReportListModel::setColumns(const QStringList &captions) {
  beginResetModel();
  m_captions = captions;
  m_columns = static_cast<std::size_t>(captions.size());
  m_cells = {};
  endResetModel();
}

namespace {

std::string_view Utf8Of(const QByteArray &bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QString FromUtf8(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

std::string_view ReportListModel::Cells::at(std::size_t i) const {
  const std::uint32_t begin = i ? ends[i - 1] : 0;
  return std::string_view(text).substr(begin, ends[i] - begin);
}

void ReportListModel::Cells::replace(std::size_t i, std::string_view utf8) {
  const std::uint32_t begin = i ? ends[i - 1] : 0;
  const std::uint32_t size = ends[i] - begin;
  text.replace(begin, size, utf8);
  const std::uint32_t grown =
      static_cast<std::uint32_t>(utf8.size()) - size; // wraps when shrinking
  for (std::size_t k = i; k < ends.size(); ++k)
    ends[k] += grown;
}

void ReportListModel::Cells::erase(std::size_t first, std::size_t count) {
  const std::uint32_t begin = first ? ends[first - 1] : 0;
  const std::uint32_t size = ends[first + count - 1] - begin;
  text.erase(begin, size);
  ends.erase(ends.begin() + static_cast<std::ptrdiff_t>(first),
             ends.begin() + static_cast<std::ptrdiff_t>(first + count));
  for (std::size_t k = first; k < ends.size(); ++k)
    ends[k] -= size;
}

// index() and flags() answer what the base class answers, without its
// virtual rowCount()/columnCount() round trips: the views ask for every row
// when they lay a refilled list out.
QModelIndex ReportListModel::index(int row, int column, const QModelIndex &parent) const {
  if (parent.isValid() || row < 0 || column < 0 || row >= m_cells.rows(m_columns) ||
      column >= static_cast<int>(m_columns))
    return {};
  return createIndex(row, column);
}

int ReportListModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : m_cells.rows(m_columns);
}

int ReportListModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns);
}

// Converted when asked for: the views ask for the rows they paint.
QVariant ReportListModel::data(const QModelIndex &index, int role) const {
  // The views read the rows they were told of, also while an update is under way.
  if ((role != Qt::DisplayRole && role != Qt::EditRole) || index.row() < 0 ||
      index.row() >= rowCount() || index.column() < 0 ||
      index.column() >= static_cast<int>(m_columns))
    return {};
  return FromUtf8(m_cells.at(at(index.row(), index.column())));
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

QString ReportListModel::cell(int row, int column) const {
  if (row < 0 || row >= rows() || column < 0 || column >= static_cast<int>(m_columns))
    return {};
  return FromUtf8(current().at(at(row, column)));
}

// Compared as bytes; a cell with other than ASCII in it is also compared as
// the text it shows, so that bytes that are not valid UTF-8 match the
// replacement characters they are shown as.
int ReportListModel::rowOf(const QString &caption) const {
  const QByteArray utf8 = caption.toUtf8();
  const Cells &cells = current();
  for (int row = 0; row < cells.rows(m_columns); ++row) {
    const std::string_view text = cells.at(at(row, 0));
    if (text == Utf8Of(utf8) ||
        (std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; }) &&
         FromUtf8(text) == caption))
      return row;
  }
  return -1;
}

ReportListModel::Cells &ReportListModel::editable() {
  if (m_updateDepth == 0)
    return m_cells;
  if (!m_building) {
    // The update changes the rows it started from: build on a copy.
    m_next = m_cells;
    m_building = true;
  }
  return m_next;
}

void ReportListModel::setCell(int row, int column, const QString &text) {
  if (row < 0 || row >= rows() || column < 0 || column >= static_cast<int>(m_columns))
    return;
  editable().replace(at(row, column), Utf8Of(text.toUtf8()));
  if (m_updateDepth == 0)
    emit dataChanged(index(row, 0), index(row, static_cast<int>(m_columns) - 1));
}

template <typename Fill> void ReportListModel::appendWith(Fill fill) {
  if (!m_columns)
    return;
  const int row = rows();
  if (m_updateDepth == 0)
    beginInsertRows({}, row, row);
  Cells &cells = editable();
  fill(cells);
  while (cells.ends.size() % m_columns)
    cells.push(std::string_view());
  if (m_updateDepth == 0)
    endInsertRows();
}

void ReportListModel::appendRow(const QString &caption) {
  appendWith([&](Cells &cells) { cells.push(caption); });
}

void ReportListModel::appendRow(const QString &caption, const QString &second) {
  appendWith([&](Cells &cells) {
    cells.push(caption);
    if (m_columns > 1)
      cells.push(second);
  });
}

void ReportListModel::appendRow(const QStringList &texts) {
  appendWith([&](Cells &cells) {
    for (std::size_t c = 0; c < m_columns && c < static_cast<std::size_t>(texts.size()); ++c)
      cells.push(texts[static_cast<qsizetype>(c)]);
  });
}

// The library's text is kept as it comes; nothing is converted until painted.
void ReportListModel::appendUtf8RowNotifying(std::string_view caption) {
  appendWith([&](Cells &cells) { cells.push(caption); });
}

void ReportListModel::removeRow(int row) {
  if (row < 0 || row >= rows())
    return;
  if (m_updateDepth == 0)
    beginRemoveRows({}, row, row);
  editable().erase(at(row, 0), m_columns);
  if (m_updateDepth == 0)
    endRemoveRows();
}

void ReportListModel::clear() {
  if (m_updateDepth > 0) {
    // The refill starts from nothing: no copy of the rows shown is needed.
    // It most often brings about as many rows again: room for them is made
    // at once instead of growing the buffers step by step.
    m_next = {};
    m_next.text.reserve(m_cells.text.size());
    m_next.ends.reserve(m_cells.ends.size());
    m_building = true;
    return;
  }
  if (m_cells.ends.empty())
    return; // an empty list stays as it is: nothing to tell the views
  beginResetModel();
  m_cells = {};
  endResetModel();
}

void ReportListModel::beginUpdate() {
  if (m_updateDepth++ == 0)
    m_building = false;
}

ReportListModel::UpdateEnd ReportListModel::endUpdate() {
  if (m_updateDepth == 0 || --m_updateDepth > 0)
    return UpdateEnd::Nested;
  if (!m_building)
    return UpdateEnd::Unchanged;
  m_building = false;
  UpdateEnd end = UpdateEnd::Unchanged;
  if (m_next == m_cells) {
    // Nothing to tell.
  } else if (m_next.ends.size() == m_cells.ends.size()) {
    std::swap(m_cells, m_next);
    emit textsReplaced();
    end = UpdateEnd::Changed;
  } else {
    beginResetModel();
    std::swap(m_cells, m_next);
    endResetModel();
    end = UpdateEnd::Reset;
  }
  m_next = {}; // the rows no longer shown: two blocks, freed at once
  // Room made for more rows than came is given back.
  if (m_cells.text.capacity() > 2 * m_cells.text.size() + 4096)
    m_cells.text.shrink_to_fit();
  if (m_cells.ends.capacity() > 2 * m_cells.ends.size() + 1024)
    m_cells.ends.shrink_to_fit();
  return end;
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
  // Names need no ligatures or kerning; text that needs shaping (Arabic,
  // Devanagari, ...) is still shaped. Painting a changed list costs about a
  // third less.
  QFont names;
  names.setStyleStrategy(QFont::PreferNoShaping);
  setFont(names);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit changed(); });
  connect(this, &QAbstractItemView::clicked, this, [this] { m_clickReported = true; });
  connect(&m_model, &ReportListModel::textsReplaced, this, [this] {
    viewport()->update();
    if (QAccessible::isActive()) {
      QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
      event.setFirstRow(0);
      event.setLastRow(count() - 1);
      QAccessible::updateAccessibility(&event);
    }
  });
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
  if (end != ReportListModel::UpdateEnd::Reset)
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
