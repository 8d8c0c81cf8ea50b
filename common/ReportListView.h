// A list in report mode: rows of texts under column headers, whole-row
// selection, one selected row at most; a text cut short by its column shows
// whole as the cell's tooltip. Built for lists of a hundred thousand rows:
// the texts of all rows live in one UTF-8 buffer (no object per row), are
// converted only for the rows painted, and are freed at once; a refill or an
// emptying raises no change notification, while selecting a row from code
// does (changed()).
//
// A refill between beginUpdate and endUpdate is built beside the rows that
// the views show; the views learn of it once, at the end: not at all when
// the rows came out the same, as changed rows when only the texts differ
// (no new layout), and as one model reset when the number of rows changed.
// Either way the list loses its selection and current row, as after a reset.
#pragma once

#include "common/PackedTexts.h"

#include <QAbstractItemView>
#include <QAbstractTableModel>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QAccessibleInterface;
class QHeaderView;

class ReportListModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit ReportListModel(QObject *parent = nullptr);

  void setColumns(const QStringList &captions);
  void setFirstColumnEditable(bool editable) { m_firstColumnEditable = editable; }

  QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;
  bool setData(const QModelIndex &index, const QVariant &value, int role) override;

  // Row access, as the program fills and reads the list (during an update:
  // the rows built so far). Cells beyond those given are empty.
  int rows() const { return current().rows(m_columns); }
  QString cell(int row, int column) const;
  // The first row whose first cell is `caption`, or -1.
  int rowOf(const QString &caption) const;
  void setCell(int row, int column, const QString &text);
  void appendRow(const QString &caption);
  void appendRow(const QString &caption, const QString &second);
  void appendRow(const QStringList &cells);
  // Appends a row whose caption comes from the client library as UTF-8.
  void appendUtf8Row(std::string_view caption) {
    // The hot path of a refill of a one-column list: while an update builds
    // new rows (m_building, only ever set inside an update) there is nothing
    // to tell the views and nothing to pad.
    if (m_building && m_columns == 1)
      m_next.push(caption);
    else
      appendUtf8RowNotifying(caption);
  }
  // All rows at once, in place of those there were: in a one-column list
  // during an update, the packed names become the rows without a copy.
  void replaceWithUtf8Rows(PackedTexts &&rows);
  void removeRow(int row);
  void clear();

  // Between beginUpdate and endUpdate the model changes without telling the
  // views; the views keep seeing the rows as they were. Calls nest.
  void beginUpdate();
  enum class UpdateEnd { Nested, Unchanged, Changed, Reset };
  // Ends an update: rows the same as those shown are not told (Unchanged);
  // as many rows with other texts are told by textsReplaced (Changed);
  // another number of rows resets the views once (Reset).
  UpdateEnd endUpdate();

signals:
  // Every row may show another text, and there are as many rows as before:
  // the views keep their layout and repaint. (dataChanged over all rows
  // would make the tree view walk every row twice.)
  void textsReplaced();

private:
  // The cells of all rows, row-major: cell i is at(i).
  struct Cells : PackedTexts {
    using PackedTexts::push;
    int rows(std::size_t columns) const {
      return columns ? static_cast<int>(ends.size() / columns) : 0;
    }
    void push(const QString &text) { push(text.toUtf8()); }
    void push(const QByteArray &utf8) {
      push(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    }
    void replace(std::size_t i, std::string_view utf8);
    void erase(std::size_t first, std::size_t count);
    bool operator==(const Cells &other) const = default;
  };
  const Cells &current() const { return m_building ? m_next : m_cells; }
  Cells &editable();
  std::size_t at(int row, int column) const {
    return static_cast<std::size_t>(row) * m_columns + static_cast<std::size_t>(column);
  }
  // Appends one row: `fill` pushes its cells, the rest stay empty; outside an
  // update the views are told of the new row.
  template <typename Fill> void appendWith(Fill fill);
  void appendUtf8RowNotifying(std::string_view caption);
  QStringList m_captions;
  Cells m_cells; // the rows the views show
  std::size_t m_columns = 0;
  int m_updateDepth = 0;
  bool m_firstColumnEditable = false;
  // During an update, once the rows change: the rows being built.
  Cells m_next;
  bool m_building = false;
};

// The view paints the rows it shows straight from the model's buffer and
// keeps nothing per row: a list of a hundred thousand rows costs it no more
// than one of ten. Every row is as high as the first one needs. It looks,
// reads out (to screen readers, as rows and cells under column headers) and
// answers keyboard and mouse as a tree view without branches does: arrows,
// Page, Home/End, typing the start of a name, whole-row selection, a click
// and a double click, the editable first column (F2) where allowed.
class ReportListView : public QAbstractItemView {
  Q_OBJECT
public:
  explicit ReportListView(QWidget *parent = nullptr);
  ~ReportListView() override;

  void setColumns(const QStringList &captions, const QList<int> &widths);
  void setFirstColumnEditable(bool editable);

  ReportListModel &items() { return m_model; }
  const ReportListModel &items() const { return m_model; }
  int count() const { return m_model.rows(); }
  QString caption(int row) const { return m_model.cell(row, 0); }
  // The first row whose caption is `caption`, or -1.
  int rowOf(const QString &caption) const { return m_model.rowOf(caption); }

  // The selected row, or -1.
  int selectedRow() const;
  bool hasSelection() const { return selectedRow() >= 0; }
  // Selects `row` as the user would (a change notification); a row that does
  // not exist leaves the list without a selection.
  void selectRow(int row);

  // Suspends repainting and row-by-row notifications; a refill between the
  // two raises no change notification. Calls nest. The list shows the rows
  // it had until the update ends, and repaints then only if they changed.
  void beginUpdate();
  void endUpdate();
  // For a message box shown while the list is in an update: keeps the list
  // from repainting at all until the update ends (it repaints whole then).
  void holdRepaint();
  // Empties the list without a change notification.
  void clear();

  // The column headers, one section per column.
  QHeaderView *header() const { return m_header; }
  int columnWidth(int column) const;
  void setColumnWidth(int column, int width);
  // The height of every row (0 while the list is empty).
  int rowHeight() const { return m_rowHeight; }

  QRect visualRect(const QModelIndex &index) const override;
  void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint &point) const override;
  // Typing selects the next row whose caption starts with what was typed;
  // the same letter typed again goes on to the next such row.
  void keyboardSearch(const QString &search) override;
  // The widest text of the column among the rows near the visible ones.
  int sizeHintForColumn(int column) const override;

public slots:
  void reset() override;
  void doItemsLayout() override;
  // Fits a column to its header and its texts (a double click on the
  // header's section divider).
  void resizeColumnToContents(int column);

signals:
  // The selection changed (by the user, or by selectRow).
  void changed();
  // The user moved the selection without a click that reports it: with the
  // keyboard, or by dragging the mouse from one row to another.
  void movedWithoutClick();

protected slots:
  void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                   const QList<int> &roles = QList<int>()) override;
  void rowsInserted(const QModelIndex &parent, int start, int end) override;
  void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
  void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
  void updateGeometries() override;
  void verticalScrollbarValueChanged(int value) override;
  void horizontalScrollbarValueChanged(int value) override;

protected:
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex &) const override { return false; }
  void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection &selection) const override;
  QSize viewportSizeHint() const override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent *event) override;
  void timerEvent(QTimerEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  // A cell whose text is cut short shows the whole text as its tooltip; the
  // row under the mouse is repainted whole.
  bool viewportEvent(QEvent *event) override;

private:
  class Captions;
  friend class ReportListAccessible;
  // The rows the view shows: during an update, those from before it.
  int shownRows() const { return m_model.rowCount(); }
  // Takes the height of the rows from the first row; whether it changed.
  bool measureRows();
  // Whether `index` is a cell of the rows and columns the view shows.
  bool isShown(const QModelIndex &index) const;
  // The row at the viewport's y coordinate, or -1.
  int rowAt(int y) const;
  // The first row in view (-1 if none) and how far its top is above the viewport's.
  int firstVisibleRow(int *offset) const;
  int lastVisibleRow(int first, int offset) const;
  // The viewport's y coordinate of the top of `row`.
  int rowTop(int row) const { return row * m_rowHeight - verticalOffset(); }
  // The rectangle of the whole row, across the viewport.
  QRect rowRect(int row) const;
  void updateRow(int row);
  // The mouse is at `position` of the viewport: the row under it is hovered.
  void noteHover(const QPoint &position);
  void noteHoverAtCursor();
  void updateScrollBars();
  // The height the first row needs in the columns from the visible one on.
  int firstRowHeight() const;
  void drawRow(QPainter &painter, const QStyleOptionViewItem &rowOption, int row, int firstColumn,
               int lastColumn, bool ownCells) const;
  bool paintsCellsItself() const;
  void paintCell(QPainter &painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                 bool ownCells) const;
  // The first and last column that the area of the viewport touches.
  std::pair<int, int> columnsIn(const QRect &area) const;
  // Whether the cell shows its text cut short ("...") at its present width.
  bool isElided(const QModelIndex &index) const;
  void dropSelectionQuietly();
  ReportListModel m_model;
  Captions *m_captions;
  QHeaderView *m_header;
  // The list's interface for screen readers, once one asked for it.
  QAccessibleInterface *m_accessible = nullptr;
  int m_rowHeight = 0;
  int m_hoverRow = -1;
  // Left or right scrolled the columns (the key is then the list's).
  bool m_moveScrolled = false;
  // Type-to-find: what was typed so far, and since when.
  QString m_typed;
  QElapsedTimer m_typedTime;
  // Columns resized since the last repaint, repainted from the next turn of
  // the event loop on (a drag on the header resizes many times in a row).
  QList<int> m_resizedColumns;
  QBasicTimer m_resizeTimer;
  bool m_inGeometryUpdate = false;
  int m_updateDepth = 0;
  bool m_held = false;
  int m_rowAtPress = -1;
  QPersistentModelIndex m_pressedIndex; // the cell of the last press
  bool m_clickReported = false;
};

// Holds a list in its update state for one scope, also when an exception passes.
class ListUpdate {
public:
  explicit ListUpdate(ReportListView &list) : m_list(list) { m_list.beginUpdate(); }
  ~ListUpdate() { m_list.endUpdate(); }
  ListUpdate(const ListUpdate &) = delete;
  ListUpdate &operator=(const ListUpdate &) = delete;

private:
  ReportListView &m_list;
};
