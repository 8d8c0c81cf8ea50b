#include "common/ReportListView.h"

#include "common/ReportListAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>
#include <cstdlib>

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

void ReportListModel::replaceWithUtf8Rows(PackedTexts &&rows) {
  if (m_columns != 1 || m_updateDepth == 0) {
    clear();
    for (std::size_t i = 0; i < rows.size(); ++i)
      appendUtf8Row(rows.at(i));
    return;
  }
  static_cast<PackedTexts &>(m_next) = std::move(rows);
  m_building = true;
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

// What the header shows: the column captions and no rows, so that a refill
// of the rows leaves the header as it is, unpainted.
class ReportListView::Captions : public QAbstractTableModel {
public:
  Captions(const ReportListModel &rows, QObject *parent)
      : QAbstractTableModel(parent), m_rows(rows) {}
  int rowCount(const QModelIndex &) const override { return 0; }
  int columnCount(const QModelIndex &parent) const override {
    return parent.isValid() ? 0 : m_rows.columnCount();
  }
  QVariant data(const QModelIndex &, int) const override { return {}; }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    return m_rows.headerData(section, orientation, role);
  }
  void captionsChanged() {
    beginResetModel();
    endResetModel();
  }

private:
  const ReportListModel &m_rows;
};

ReportListView::ReportListView(QWidget *parent)
    : QAbstractItemView(parent), m_captions(new Captions(m_model, this)),
      m_header(new QHeaderView(Qt::Horizontal, this)) {
  InstallReportListAccessibility();
  setModel(&m_model);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTextElideMode(Qt::ElideRight);
  setAttribute(Qt::WA_MacShowFocusRect);
  m_header->setModel(m_captions);
  m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_header->setFirstSectionMovable(false);
  m_header->setSectionsMovable(false);
  m_header->setStretchLastSection(false);
  // When the scroll bar comes or goes, the header widens or narrows: only
  // the strip it gains needs painting.
  m_header->viewport()->setAttribute(Qt::WA_StaticContents);
  connect(m_header, &QHeaderView::sectionResized, this, [this](int column) {
    m_resizedColumns.append(column);
    if (!m_resizeTimer.isActive())
      m_resizeTimer.start(0, this);
  });
  connect(m_header, &QHeaderView::sectionCountChanged, this, [this] {
    if (isVisible())
      updateGeometries();
    viewport()->update();
  });
  connect(m_header, &QHeaderView::sectionHandleDoubleClicked, this,
          &ReportListView::resizeColumnToContents);
  connect(m_header, &QHeaderView::geometriesChanged, this, &ReportListView::updateGeometries);
  // Names need no ligatures or kerning; text that needs shaping (Arabic,
  // Devanagari, ...) is still shaped. Painting a changed list costs about a
  // third less.
  QFont names;
  names.setStyleStrategy(QFont::PreferNoShaping);
  setFont(names);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit changed(); });
  connect(this, &QAbstractItemView::clicked, this, [this] { m_clickReported = true; });
  connect(&m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
    measureRows();
    scheduleDelayedItemsLayout();
  });
  connect(&m_model, &ReportListModel::textsReplaced, this, [this] {
    if (measureRows())
      updateScrollBars();
    viewport()->update();
    if (QAccessible::isActive()) {
      QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
      event.setFirstRow(0);
      event.setLastRow(shownRows() - 1);
      QAccessible::updateAccessibility(&event);
    }
  });
}

ReportListView::~ReportListView() {
  // The header outlives this part of the view: hidden while the widget goes,
  // it still signals, and must not call into what is already gone.
  disconnect(m_header, nullptr, this, nullptr);
  // Screen readers lose the list now, before its parts go.
  if (m_accessible)
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(m_accessible));
}

void ReportListView::setColumns(const QStringList &captions, const QList<int> &widths) {
  m_model.setColumns(captions);
  m_captions->captionsChanged();
  for (int i = 0; i < widths.size(); ++i)
    setColumnWidth(i, widths[i]);
}

void ReportListView::setFirstColumnEditable(bool editable) {
  m_model.setFirstColumnEditable(editable);
  setEditTriggers(editable ? QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked
                           : QAbstractItemView::NoEditTriggers);
}

int ReportListView::columnWidth(int column) const { return m_header->sectionSize(column); }

void ReportListView::setColumnWidth(int column, int width) {
  m_header->resizeSection(column, width);
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
  // Another number of rows: laid out at once, so that the list is painted
  // once, after the whole refill.
  if (end == ReportListModel::UpdateEnd::Reset)
    executeDelayedItemsLayout();
  else
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
  if (current.isValid())
    dirty += rowRect(current.row());
  for (const QModelIndex &index : selected)
    dirty += rowRect(index.row());
  const QSignalBlocker blocker(selection);
  selection->clear();
  if (!dirty.isEmpty())
    viewport()->update(dirty);
}

void ReportListView::clear() {
  const QSignalBlocker blocker(selectionModel());
  m_model.clear();
}

// ---------------------------------------------------------------------------
// Geometry. Rows are counted from the top of the list; the vertical scroll
// bar counts rows or, when the style scrolls by pixels, pixels.

bool ReportListView::measureRows() {
  const int before = m_rowHeight;
  m_rowHeight = firstRowHeight();
  return m_rowHeight != before;
}

// As high as the tallest cell of the first row, from the first column in
// view on (the same for every row in a list of one-line texts).
int ReportListView::firstRowHeight() const {
  if (shownRows() == 0 || !itemDelegate())
    return 0;
  int first = 0;
  int last = m_model.columnCount() - 1;
  if (m_header->count() && isVisible()) {
    first = std::max(0, m_header->visualIndexAt(0));
    last = m_header->count() - 1;
  }
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect.setWidth(-1);
  int height = -1;
  for (int visual = first; visual <= last; ++visual) {
    const int column = m_header->count() ? m_header->logicalIndex(visual) : visual;
    const QModelIndex index = m_model.index(0, column);
    if (index.isValid())
      height = std::max(height, itemDelegateForIndex(index)->sizeHint(option, index).height());
  }
  return std::max(height, 0);
}

int ReportListView::rowAt(int y) const {
  const int rows = shownRows();
  if (rows == 0 || m_rowHeight <= 0)
    return -1;
  int row;
  if (verticalScrollMode() == QAbstractItemView::ScrollPerPixel) {
    row = (y + verticalScrollBar()->value()) / m_rowHeight;
  } else {
    if (y < 0)
      y -= m_rowHeight - 1;
    row = verticalScrollBar()->value() + y / m_rowHeight;
  }
  return row < 0 || row >= rows ? -1 : row;
}

QRect ReportListView::rowRect(int row) const {
  if (row < 0 || row >= shownRows())
    return {};
  return QRect(0, rowTop(row), viewport()->width(), m_rowHeight);
}

void ReportListView::updateRow(int row) {
  const QRect rect = rowRect(row);
  if (rect.isValid())
    viewport()->update(rect);
}

int ReportListView::firstVisibleRow(int *offset) const {
  const int value = verticalScrollBar()->value();
  *offset = 0;
  if (verticalScrollMode() == QAbstractItemView::ScrollPerItem)
    return value < 0 || value >= shownRows() ? -1 : value;
  if (m_rowHeight <= 0)
    return -1;
  *offset = -(value % m_rowHeight);
  return value / m_rowHeight;
}

int ReportListView::lastVisibleRow(int first, int offset) const {
  if (first < 0 || m_rowHeight <= 0)
    return -1;
  const int below = viewport()->height() + offset;
  return std::min(shownRows() - 1, first + below / m_rowHeight);
}

int ReportListView::horizontalOffset() const { return m_header->offset(); }

int ReportListView::verticalOffset() const {
  if (verticalScrollMode() == QAbstractItemView::ScrollPerItem)
    return verticalScrollBar()->value() * m_rowHeight;
  return verticalScrollBar()->value();
}

bool ReportListView::isShown(const QModelIndex &index) const {
  return index.isValid() && index.model() == &m_model && index.row() < shownRows() &&
         index.column() < m_model.columnCount();
}

QRect ReportListView::visualRect(const QModelIndex &index) const {
  if (!isShown(index))
    return {};
  return QRect(m_header->sectionViewportPosition(index.column()), rowTop(index.row()),
               m_header->sectionSize(index.column()), m_rowHeight);
}

QModelIndex ReportListView::indexAt(const QPoint &point) const {
  const int row = rowAt(point.y());
  const int column = m_header->logicalIndexAt(point.x());
  if (row < 0 || column < 0)
    return {};
  return m_model.index(row, column);
}

void ReportListView::scrollTo(const QModelIndex &index, ScrollHint hint) {
  if (!isShown(index))
    return;
  updateScrollBars();
  QScrollBar *vertical = verticalScrollBar();
  const QRect area = viewport()->rect();
  int row = index.row();
  if (verticalScrollMode() == QAbstractItemView::ScrollPerItem) {
    const int top = vertical->value();
    const int bottom = top + vertical->pageStep();
    if (hint == EnsureVisible && row >= top && row < bottom) {
      // in view already
    } else if (hint == PositionAtTop || (hint == EnsureVisible && row < top)) {
      vertical->setValue(row);
    } else { // at the bottom or in the middle: the rows above it that fit
      int y = hint == PositionAtCenter ? area.height() / 2 + m_rowHeight - 1 : area.height();
      if (y > m_rowHeight) {
        while (row >= 0) {
          y -= m_rowHeight;
          if (y < 0) {
            ++row;
            break;
          }
          --row;
        }
      }
      vertical->setValue(row);
    }
  } else {
    const QRect rect = visualRect(index);
    if (rect.isEmpty()) {
      // nothing to show
    } else if (hint == EnsureVisible && area.contains(rect)) {
      viewport()->update(rect);
    } else {
      const bool above =
          hint == EnsureVisible && (rect.top() < area.top() || area.height() < rect.height());
      const bool below =
          hint == EnsureVisible && rect.bottom() > area.bottom() && rect.height() < area.height();
      int value = vertical->value();
      if (hint == PositionAtTop || above)
        value += rect.top();
      else if (hint == PositionAtBottom || below)
        value += rect.bottom() - area.height();
      else if (hint == PositionAtCenter)
        value += rect.top() - (area.height() - rect.height()) / 2;
      vertical->setValue(value);
    }
  }
  const int viewportWidth = viewport()->width();
  const int position = m_header->sectionPosition(index.column());
  const int width = m_header->sectionSize(index.column());
  if (hint == PositionAtCenter) {
    horizontalScrollBar()->setValue(position - (viewportWidth - width) / 2);
  } else if (position - m_header->offset() < 0 || width > viewportWidth) {
    horizontalScrollBar()->setValue(position);
  } else if (position - m_header->offset() + width > viewportWidth) {
    horizontalScrollBar()->setValue(position - viewportWidth + width);
  }
}

void ReportListView::updateScrollBars() {
  QSize viewportSize = viewport()->size();
  if (!viewportSize.isValid())
    viewportSize = QSize(0, 0);
  const int rows = shownRows();
  const int rowsInViewport = m_rowHeight <= 0 ? rows : viewportSize.height() / m_rowHeight;
  QScrollBar *vertical = verticalScrollBar();
  if (verticalScrollMode() == QAbstractItemView::ScrollPerItem) {
    const int page = rows ? std::max(1, rowsInViewport) : rowsInViewport;
    vertical->setRange(0, rows - page);
    vertical->setPageStep(page);
    vertical->setSingleStep(1);
  } else {
    vertical->setRange(0, m_rowHeight * rows - viewportSize.height());
    vertical->setPageStep(viewportSize.height());
    vertical->setSingleStep(std::max(viewportSize.height() / (rowsInViewport + 1), 2));
  }
  // Horizontally by pixels, as many columns as fit counted from the right.
  const int columns = m_header->count();
  int columnsInViewport = 0;
  for (int width = 0, visual = columns - 1; visual >= 0; --visual) {
    width += m_header->sectionSize(m_header->logicalIndex(visual));
    if (width > viewportSize.width())
      break;
    ++columnsInViewport;
  }
  if (columns > 0)
    columnsInViewport = std::max(1, columnsInViewport);
  QScrollBar *horizontal = horizontalScrollBar();
  if (horizontalScrollMode() == QAbstractItemView::ScrollPerItem) {
    horizontal->setRange(0, columns - columnsInViewport);
    horizontal->setPageStep(columnsInViewport);
    horizontal->setSingleStep(1);
  } else {
    const int length = m_header->length();
    const QSize maxSize = maximumViewportSize();
    if (maxSize.width() >= length && vertical->maximum() <= 0)
      viewportSize = maxSize;
    horizontal->setPageStep(viewportSize.width());
    horizontal->setRange(0, std::max(length - viewportSize.width(), 0));
    horizontal->setSingleStep(std::max(viewportSize.width() / (columnsInViewport + 1), 2));
  }
}

void ReportListView::updateGeometries() {
  if (m_inGeometryUpdate)
    return;
  m_inGeometryUpdate = true;
  int height = 0;
  if (!m_header->isHidden()) {
    height = std::max(m_header->minimumHeight(), m_header->sizeHint().height());
    height = std::min(height, m_header->maximumHeight());
  }
  setViewportMargins(0, height, 0, 0);
  const QRect area = viewport()->geometry();
  m_header->setGeometry(area.left(), area.top() - height, area.width(), height);
  QMetaObject::invokeMethod(m_header, "updateGeometries");
  updateScrollBars();
  m_inGeometryUpdate = false;
  QAbstractItemView::updateGeometries();
}

QSize ReportListView::viewportSizeHint() const {
  const int rows = shownRows();
  if (rows == 0 || m_rowHeight <= 0)
    return QAbstractItemView::viewportSizeHint();
  QSize size(m_header->length(), rowTop(rows - 1) + m_rowHeight);
  if (!m_header->isHidden())
    size += QSize(0, m_header->height());
  return size;
}

void ReportListView::scrollContentsBy(int dx, int dy) {
  dx = isRightToLeft() ? -dx : dx;
  if (dx) {
    const int before = m_header->offset();
    QScrollBar *horizontal = horizontalScrollBar();
    if (horizontalScrollMode() == QAbstractItemView::ScrollPerItem) {
      if (horizontal->maximum() > 0 && horizontal->value() == horizontal->maximum())
        m_header->setOffsetToLastSection();
      else
        m_header->setOffsetToSectionPosition(horizontal->value());
      const int after = m_header->offset();
      dx = isRightToLeft() ? after - before : before - after;
    } else {
      m_header->setOffset(horizontal->value());
    }
  }
  const int rowHeight = m_rowHeight <= 0 ? sizeHintForRow(0) : m_rowHeight;
  if (shownRows() == 0 || rowHeight <= 0)
    return;
  // A scroll by more than a page repaints everything anyway.
  const int rowsInView = std::min(shownRows(), viewport()->height() / rowHeight);
  if (std::abs(dy) > rowsInView && state() != QAbstractItemView::EditingState) {
    verticalScrollBar()->update();
    viewport()->update();
    return;
  }
  if (verticalScrollMode() == QAbstractItemView::ScrollPerItem)
    dy *= rowHeight;
  scrollDirtyRegion(dx, dy);
  viewport()->scroll(dx, dy);
}

void ReportListView::timerEvent(QTimerEvent *event) {
  if (event->timerId() == m_resizeTimer.timerId()) {
    m_resizeTimer.stop();
    updateGeometries();
    QRect dirty;
    const int height = viewport()->height();
    const int width = viewport()->width();
    for (int column : std::as_const(m_resizedColumns)) {
      const int x = m_header->sectionViewportPosition(column);
      dirty |= isRightToLeft() ? QRect(0, 0, x + m_header->sectionSize(column), height)
                               : QRect(x, 0, width - x, height);
    }
    m_resizedColumns.clear();
    viewport()->update(dirty.normalized());
  }
  QAbstractItemView::timerEvent(event);
}

// ---------------------------------------------------------------------------
// Changes of the rows, the selection and the current row.

void ReportListView::reset() {
  m_hoverRow = -1;
  measureRows();
  QAbstractItemView::reset();
}

void ReportListView::doItemsLayout() {
  measureRows();
  QAbstractItemView::doItemsLayout();
}

void ReportListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                 const QList<int> &roles) {
  if (topLeft.row() == 0 && measureRows()) {
    updateScrollBars();
    viewport()->update();
  }
  QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void ReportListView::rowsInserted(const QModelIndex &parent, int start, int end) {
  if (start == 0)
    measureRows();
  scheduleDelayedItemsLayout();
  QAbstractItemView::rowsInserted(parent, start, end);
}

void ReportListView::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
  QAbstractItemView::currentChanged(current, previous);
  // The focus frame goes round the whole row.
  if (previous.isValid())
    updateRow(previous.row());
  if (current.isValid())
    updateRow(current.row());
  if (QAccessible::isActive() && current.isValid()) {
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(ReportListAccessibleChild(current));
    QAccessible::updateAccessibility(&event);
  }
}

void ReportListView::selectionChanged(const QItemSelection &selected,
                                      const QItemSelection &deselected) {
  QAbstractItemView::selectionChanged(selected, deselected);
  if (!QAccessible::isActive())
    return;
  if (const QModelIndex added = selected.indexes().value(0); added.isValid()) {
    QAccessibleEvent event(this, QAccessible::SelectionAdd);
    event.setChild(ReportListAccessibleChild(added));
    QAccessible::updateAccessibility(&event);
  }
  if (const QModelIndex removed = deselected.indexes().value(0); removed.isValid()) {
    QAccessibleEvent event(this, QAccessible::SelectionRemove);
    event.setChild(ReportListAccessibleChild(removed));
    QAccessible::updateAccessibility(&event);
  }
}

QRegion ReportListView::visualRegionForSelection(const QItemSelection &selection) const {
  QRegion region;
  const QRect area = viewport()->rect();
  for (const QItemSelectionRange &range : selection) {
    if (!range.isValid())
      continue;
    const QRect left = visualRect(range.topLeft());
    const QRect right = visualRect(range.bottomRight());
    int top = left.top();
    int bottom = right.bottom();
    if (top > bottom)
      std::swap(top, bottom);
    QRect combined = left | right;
    combined.setX(
        m_header->sectionViewportPosition(isRightToLeft() ? range.right() : range.left()));
    if (area.intersects(combined))
      region += combined;
  }
  return region;
}

void ReportListView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) {
  if (!selectionModel() || rect.isNull())
    return;
  const QPoint topLeftPoint(isRightToLeft() ? std::max(rect.left(), rect.right())
                                            : std::min(rect.left(), rect.right()),
                            std::min(rect.top(), rect.bottom()));
  const QPoint bottomRightPoint(isRightToLeft() ? std::min(rect.left(), rect.right())
                                                : std::max(rect.left(), rect.right()),
                                std::max(rect.top(), rect.bottom()));
  QModelIndex topLeft = indexAt(topLeftPoint);
  QModelIndex bottomRight = indexAt(bottomRightPoint);
  if (!topLeft.isValid() && !bottomRight.isValid()) {
    if (command & QItemSelectionModel::Clear)
      selectionModel()->clear();
    return;
  }
  const int rows = shownRows();
  if (!topLeft.isValid() && rows)
    topLeft = m_model.index(0, 0);
  if (!bottomRight.isValid() && rows)
    bottomRight = m_model.index(rows - 1, m_header->logicalIndex(m_header->count() - 1));
  if (!(m_model.flags(topLeft) & Qt::ItemIsEnabled) ||
      !(m_model.flags(bottomRight) & Qt::ItemIsEnabled))
    return;
  QItemSelection selection;
  if (topLeft.row() <= bottomRight.row())
    selection.select(
        m_model.index(topLeft.row(), std::min(topLeft.column(), bottomRight.column())),
        m_model.index(bottomRight.row(), std::max(topLeft.column(), bottomRight.column())));
  selectionModel()->select(selection, command);
}

// ---------------------------------------------------------------------------
// Keyboard and mouse.

QModelIndex ReportListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
  const int rows = shownRows();
  const QModelIndex current = currentIndex();
  if (!current.isValid()) {
    // The first row, in the first column shown.
    int visual = 0;
    while (visual < m_header->count() && m_header->isSectionHidden(m_header->logicalIndex(visual)))
      ++visual;
    if (rows == 0 || visual >= m_header->count())
      return {};
    return m_model.index(0, m_header->logicalIndex(visual));
  }
  const int row = std::max(0, current.row());
  const int column = current.column();
  if (isRightToLeft()) {
    if (cursorAction == MoveRight)
      cursorAction = MoveLeft;
    else if (cursorAction == MoveLeft)
      cursorAction = MoveRight;
  }
  QScrollBar *horizontal = horizontalScrollBar();
  switch (cursorAction) {
  case MoveNext:
  case MoveDown: return m_model.index(row + 1 < rows ? row + 1 : row, column);
  case MovePrevious:
  case MoveUp: return m_model.index(row > 0 ? row - 1 : row, column);
  case MoveLeft:
  case MoveRight: {
    // Whole rows are selected: left and right scroll the columns.
    const int before = horizontal->value();
    horizontal->setValue(before + (cursorAction == MoveLeft ? -1 : 1) * horizontal->singleStep());
    m_moveScrolled = horizontal->value() != before;
    updateGeometries();
    viewport()->update();
    return current;
  }
  case MovePageUp: {
    const int above = rowAt(rowTop(row) - viewport()->height());
    return m_model.index(above < 0 ? 0 : above, column);
  }
  case MovePageDown: {
    const int below = rowAt(rowTop(row) + viewport()->height());
    return m_model.index(below < 0 ? rows - 1 : below, column);
  }
  case MoveHome: return m_model.index(0, column);
  case MoveEnd: return m_model.index(rows - 1, column);
  }
  return current;
}

void ReportListView::keyboardSearch(const QString &search) {
  const int rows = shownRows();
  if (rows == 0 || m_model.columnCount() == 0)
    return;
  QModelIndex start = currentIndex().isValid() ? currentIndex() : m_model.index(0, 0);
  const bool typedBefore = m_typedTime.isValid();
  const qint64 sinceTyped = typedBefore ? m_typedTime.restart() : 0;
  if (!typedBefore)
    m_typedTime.start();
  bool skipRow = false;
  if (search.isEmpty() || !typedBefore || sinceTyped > QApplication::keyboardInputInterval()) {
    m_typed = search;
    skipRow = currentIndex().isValid();
  } else {
    m_typed += search;
  }
  // The same letter again and again goes from one name with it to the next.
  const bool sameKey =
      m_typed.size() > 1 && m_typed.count(m_typed.back()) == static_cast<qsizetype>(m_typed.size());
  if (sameKey)
    skipRow = true;
  if (skipRow)
    start = m_model.index(start.row() + 1 < rows ? start.row() + 1 : 0, start.column());
  const QModelIndexList match =
      m_model.match(start, Qt::DisplayRole, sameKey ? QString(m_typed.front()) : m_typed);
  if (!match.isEmpty())
    setCurrentIndex(m_model.index(match.first().row(), start.column()));
}

void ReportListView::keyPressEvent(QKeyEvent *event) {
  const int before = selectedRow();
  m_moveScrolled = false;
  QAbstractItemView::keyPressEvent(event);
  // Left and right scroll the columns: handled here, not by the window.
  if (m_moveScrolled)
    event->accept();
  if (selectedRow() != before)
    emit movedWithoutClick();
}

void ReportListView::mousePressEvent(QMouseEvent *event) {
  m_rowAtPress = selectedRow();
  m_clickReported = false;
  const QModelIndex index = indexAt(event->position().toPoint());
  if (state() != EditingState || !indexWidget(index))
    m_pressedIndex = index;
  QAbstractItemView::mousePressEvent(event);
}

void ReportListView::mouseReleaseEvent(QMouseEvent *event) {
  QAbstractItemView::mouseReleaseEvent(event);
  if (!m_clickReported && selectedRow() != m_rowAtPress)
    emit movedWithoutClick();
}

// A double click below the last row does nothing; one beside the columns
// (where the press was too) is reported without a cell.
void ReportListView::mouseDoubleClickEvent(QMouseEvent *event) {
  const QPoint position = event->position().toPoint();
  if (state() != NoState || !viewport()->rect().contains(position) || rowAt(position.y()) < 0)
    return;
  if (!indexAt(position).isValid() && !m_pressedIndex.isValid()) {
    emit doubleClicked(QModelIndex());
    return;
  }
  QAbstractItemView::mouseDoubleClickEvent(event);
}

// The whole row under the mouse is drawn as such (the base class repaints
// the rows the mouse leaves and enters).
void ReportListView::noteHover(const QPoint &position) { m_hoverRow = indexAt(position).row(); }

// Scrolled: another row may now be under the mouse.
void ReportListView::noteHoverAtCursor() {
  const QPoint position = viewport()->mapFromGlobal(QCursor::pos());
  if (viewport()->rect().contains(position))
    noteHover(position);
}

void ReportListView::verticalScrollbarValueChanged(int value) {
  QAbstractItemView::verticalScrollbarValueChanged(value);
  noteHoverAtCursor();
}

void ReportListView::horizontalScrollbarValueChanged(int value) {
  QAbstractItemView::horizontalScrollbarValueChanged(value);
  noteHoverAtCursor();
}

void ReportListView::mouseMoveEvent(QMouseEvent *event) {
  noteHover(event->position().toPoint());
  QAbstractItemView::mouseMoveEvent(event);
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
  switch (event->type()) {
  case QEvent::HoverEnter:
  case QEvent::HoverMove: noteHover(static_cast<QHoverEvent *>(event)->position().toPoint()); break;
  case QEvent::HoverLeave:
  case QEvent::Leave: m_hoverRow = -1; break;
  case QEvent::ToolTip: {
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
  default: break;
  }
  return QAbstractItemView::viewportEvent(event);
}

// ---------------------------------------------------------------------------
// Column widths.

int ReportListView::sizeHintForColumn(int column) const {
  const int rows = shownRows();
  if (rows == 0)
    return -1;
  ensurePolished();
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  auto widthOf = [&](int row, int width) {
    const QModelIndex index = m_model.index(row, column);
    return std::max(width, itemDelegateForIndex(index)->sizeHint(option, index).width());
  };
  // The rows in view first, then alternately those above and below them, up
  // to the header's precision.
  const int precision = m_header->resizeContentsPrecision();
  int offset = 0;
  int start = firstVisibleRow(&offset);
  int end = lastVisibleRow(start, offset);
  if (start < 0 || end < 0 || end == rows - 1) {
    end = rows - 1;
    if (precision < 0) {
      start = 0;
    } else if (precision == 0) {
      start = std::max(0, end - 1);
      for (int room = viewport()->height(); start > 0 && room > 0; --start)
        room -= m_rowHeight;
    } else {
      start = std::max(0, end - precision);
    }
  }
  int width = 0;
  int processed = 0;
  for (int row = start; row <= end; ++row) {
    width = widthOf(row, width);
    if (++processed == precision)
      break;
  }
  --end;
  if (precision == 0)
    processed = 0;
  while (processed != precision && (start > 0 || end < rows - 1)) {
    int row;
    if ((processed % 2 && start > 0) || end == rows - 1)
      row = --start;
    else
      row = ++end;
    width = widthOf(row, width);
    ++processed;
  }
  return width;
}

void ReportListView::resizeColumnToContents(int column) {
  if (column < 0 || column >= m_header->count())
    return;
  const int contents = sizeHintForColumn(column);
  const int caption = m_header->isHidden() ? 0 : m_header->sectionSizeHint(column);
  m_header->resizeSection(column, std::max(contents, caption));
}

// ---------------------------------------------------------------------------
// Painting: the rows in view, straight from the model, as a tree view
// without branches paints them.

std::pair<int, int> ReportListView::columnsIn(const QRect &area) const {
  int first = m_header->visualIndexAt(area.left());
  int last = m_header->visualIndexAt(area.right());
  if (isRightToLeft()) {
    first = first == -1 ? m_header->count() - 1 : first;
    last = last == -1 ? 0 : last;
  } else {
    first = first == -1 ? 0 : first;
    last = last == -1 ? m_header->count() - 1 : last;
  }
  return std::minmax(first, last);
}

void ReportListView::paintEvent(QPaintEvent *event) {
  const int rows = shownRows();
  if (rows == 0 || m_header->count() == 0 || !itemDelegate() || m_rowHeight <= 0)
    return;
  int offset = 0;
  const int first = firstVisibleRow(&offset);
  if (first < 0)
    return;
  QPainter painter(viewport());
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QStyle::State state = option.state;
  const int width = viewport()->width();
  const QRegion &region = event->region();
  const bool ownCells = paintsCellsItself();
  // Several areas: each row touched is painted whole, and once.
  const bool severalAreas = region.rectCount() > 1;
  std::vector<int> painted;
  for (const QRect &dirty : region) {
    const QRect area = severalAreas ? QRect(0, dirty.y(), width, dirty.height()) : dirty;
    const auto [firstColumn, lastColumn] = columnsIn(area);
    int row = first;
    int y = offset;
    if (area.top() >= y + m_rowHeight) {
      const int skipped = (area.top() - y) / m_rowHeight;
      row += skipped;
      y += skipped * m_rowHeight;
    }
    for (; row < rows && y <= area.bottom(); ++row, y += m_rowHeight) {
      if (severalAreas) {
        if (std::find(painted.begin(), painted.end(), row) != painted.end())
          continue;
        painted.push_back(row);
      }
      option.rect.setRect(0, y, width, m_rowHeight);
      option.state = state | (row + 1 < rows ? QStyle::State_Sibling : QStyle::State_None);
      drawRow(painter, option, row, firstColumn, lastColumn, ownCells);
    }
  }
}

// Whether the cells may be painted here rather than by the delegate: the
// list's own delegate and a style that draws items as Qt's common style does
// (Fusion, Windows, also behind a plain proxy style).
bool ReportListView::paintsCellsItself() const {
  if (itemDelegate()->metaObject() != &QStyledItemDelegate::staticMetaObject)
    return false;
  const QStyle *drawing = style();
  while (const auto *proxy = qobject_cast<const QProxyStyle *>(drawing)) {
    if (proxy->metaObject() != &QProxyStyle::staticMetaObject)
      return false;
    drawing = proxy->baseStyle();
  }
  const QMetaObject *kind = drawing->metaObject();
  return qstrcmp(kind->className(), "QFusionStyle") == 0 ||
         qstrcmp(kind->className(), "QWindowsStyle") == 0;
}

// A cell of one line of text, as the style draws it for the delegate: the
// selection, and the text within the style's margins, cut short with "..."
// where it does not fit, vertically centred. The style lays such a text out
// three times (for its size, for cutting it short, for drawing); here once.
// A text of several lines is left to the delegate.
void ReportListView::paintCell(QPainter &painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index, bool ownCells) const {
  const QString text = m_model.data(index, Qt::DisplayRole).toString();
  if (!ownCells || (option.state & QStyle::State_Editing) || text.contains(QLatin1Char('\n')) ||
      text.contains(QChar::LineSeparator) || text.contains(QChar(0x9c))) {
    itemDelegateForIndex(index)->paint(&painter, option, index);
    return;
  }
  painter.save();
  painter.setClipRect(option.rect);
  const bool selected = option.state & QStyle::State_Selected;
  if (selected) {
    QPalette::ColorGroup group = isEnabled() ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(option.state & QStyle::State_Active))
      group = QPalette::Inactive;
    painter.fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
  }
  if (!text.isEmpty()) {
    QPalette::ColorGroup group =
        option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(option.state & QStyle::State_Active))
      group = QPalette::Inactive;
    painter.setPen(
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const QRect textRect = option.rect.adjusted(margin, 0, -margin, 0);
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::ManualWrap);
    textOption.setTextDirection(option.direction);
    textOption.setAlignment(QStyle::visualAlignment(option.direction, option.displayAlignment));
    auto layOut = [&](QTextLayout &layout) {
      layout.setTextOption(textOption);
      layout.beginLayout();
      QTextLine line = layout.createLine();
      line.setLineWidth(textRect.width());
      line.setPosition(QPointF(0, 0));
      layout.endLayout();
      return line.naturalTextWidth();
    };
    QTextLayout layout(text, option.font);
    const bool cut = layOut(layout) > textRect.width();
    const QRect place = QStyle::alignedRect(Qt::LayoutDirectionAuto, option.displayAlignment,
                                            layout.boundingRect().size().toSize(), textRect);
    const QPointF position(textRect.x(), place.top());
    if (cut) {
      QTextLayout shortened(
          QFontMetrics(option.font).elidedText(text, option.textElideMode, textRect.width()),
          option.font);
      layOut(shortened);
      shortened.draw(&painter, position);
    } else {
      layout.draw(&painter, position);
    }
  }
  painter.restore();
}

// `rowOption` spans the viewport; the cells from `firstColumn` to
// `lastColumn` (in the header's order) are painted, by paintCell where
// `ownCells` allows.
void ReportListView::drawRow(QPainter &painter, const QStyleOptionViewItem &rowOption, int row,
                             int firstColumn, int lastColumn, bool ownCells) const {
  const QModelIndex current = currentIndex();
  const int y = rowOption.rect.y();
  const int height = rowOption.rect.height();
  const QStyle::State rowState = rowOption.state;
  const bool enabled = rowState & QStyle::State_Enabled;
  const int columns = m_header->count();
  // An editor open in the row keeps the row looking active.
  bool editorHasFocus = false;
  if (current.row() == row && state() == QAbstractItemView::EditingState) {
    const QWidget *focus = QApplication::focusWidget();
    for (int column = 0; column < columns && !editorHasFocus; ++column)
      if (const QWidget *editor = indexWidget(m_model.index(row, column)))
        editorHasFocus = focus && (focus == editor || editor->isAncestorOf(focus));
  }
  const bool rowHasFocus = hasFocus() && current.isValid() && current.row() == row;
  QStyleOptionViewItem option = rowOption;
  option.showDecorationSelected = true; // the selection covers the whole row
  for (int visual = firstColumn; visual <= lastColumn; ++visual) {
    const int column = m_header->logicalIndex(visual);
    if (m_header->isSectionHidden(column))
      continue;
    const QModelIndex index = m_model.index(row, column);
    if (!index.isValid())
      continue;
    const int position = m_header->sectionViewportPosition(column);
    const int width = m_header->sectionSize(column);
    option.state = rowState;
    option.viewItemPosition = columns == 1            ? QStyleOptionViewItem::OnlyOne
                              : visual == 0           ? QStyleOptionViewItem::Beginning
                              : visual == columns - 1 ? QStyleOptionViewItem::End
                                                      : QStyleOptionViewItem::Middle;
    if (editorHasFocus)
      option.state |= QStyle::State_Active;
    if (selectionModel()->isSelected(index))
      option.state |= QStyle::State_Selected;
    option.state.setFlag(QStyle::State_MouseOver, row == m_hoverRow);
    if (enabled) {
      option.palette.setCurrentColorGroup(
          !(m_model.flags(index) & Qt::ItemIsEnabled) ? QPalette::Disabled
          : option.state & QStyle::State_Active       ? QPalette::Active
                                                      : QPalette::Inactive);
      if (!(m_model.flags(index) & Qt::ItemIsEnabled))
        option.state &= ~QStyle::State_Enabled;
    }
    // The row's background behind the cell (the selection is the cell's own).
    const QStyle::State cellState = option.state;
    option.state &= ~QStyle::State_Selected;
    option.rect.setRect(position, y, width, height);
    style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &option, &painter, this);
    option.state = cellState;
    paintCell(painter, option, index, ownCells);
  }
  if (rowHasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(rowOption);
    focus.state |= QStyle::State_KeyboardFocusChange;
    const QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
    focus.backgroundColor = rowOption.palette.color(
        group, selectionModel()->isSelected(m_model.index(row, 0)) ? QPalette::Highlight
                                                                   : QPalette::Window);
    const QRect rect(-m_header->offset(), y, m_header->length(), height);
    focus.rect = style()->visualRect(layoutDirection(), viewport()->rect(), rect);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter);
  }
}
