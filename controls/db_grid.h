// TDBGrid: the read-only data grid of one field's column over a dataset, as the glossary's word
// list uses it. Its rows are the dataset's window of record buffers: the grid sets the window to
// the rows it can show, its model (TDBGridModel) reads each painted cell from the window
// through a data link, and the grid's keys, wheel, clicks and scroll bar move the dataset's
// current record (the highlighted row) instead of scrolling a copy of the table. The scroll
// bar follows the record number while the view is sequenced and shows only the start, the
// middle and the end of the view while a filter makes numbering unreliable.
// Thread-safety: UI thread only, the dataset's thread. Lifetime: owned by its parent widget; the
// dataset and its data source may go before or after the grid (the link detaches itself).
#pragma once

#include "db/dataset/data_links.h"

#include <QAbstractTableModel>
#include <QTableView>

#include <string>

class QScrollBar;

namespace zendo {

class TDBGrid;
class TGridView;

// The grid's link to the dataset: the notifications go to the grid.
class TGridDataLink : public zolvek::TDataLink {
public:
    explicit TGridDataLink(TDBGrid& grid)
        : grid_(grid) { }

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled(int32_t distance) override;
    void RecordChanged(zolvek::TField* field) override;
    void LayoutChanged() override;

private:
    TDBGrid& grid_;
};

// One column, one row per record of the link's rows; the display text of the column's field as
// the cell (engine text converted at this boundary), the column title as the header.
class TDBGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    TDBGridModel(zolvek::TDataLink& link, QObject* parent);

    void SetFieldName(std::string name) { field_name_ = std::move(name); }
    const std::string& FieldName() const { return field_name_; }
    void SetTitle(const QString& title) { title_ = title; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The window's rows changed in number or content.
    void Reset();
    // The contents of the rows changed, their number did not.
    void RowsChanged();

private:
    zolvek::TDataLink& link_;
    std::string field_name_;
    QString title_;
};

// The grid: a table view of the window's rows beside a scroll bar of the whole view. The table
// view takes the focus, the keys and the mouse; the grid widget is their frame.
class TDBGrid : public QWidget {
    Q_OBJECT

public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void SetDataSource(zolvek::TDataSource* source);
    // The one column: the field it shows and its title.
    void SetColumn(const std::string& field_name, const QString& title);
    // The font of the column title (the cells take the grid's font).
    void SetTitleFont(const QFont& font);
    TDBGridModel* GridModel() const { return model_; }
    QTableView* View() const { return view_; }
    QScrollBar* RecordScrollBar() const { return scroll_bar_; }
    // Rows that fit the grid: the dataset's window for this grid.
    int VisibleRowCount() const { return visible_rows_; }

signals:
    // A double click on the grid's rows (OnDblClick).
    void DblClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class TGridDataLink;
    friend class TGridView;

    // The view's input, turned into moves of the dataset.
    void KeyPress(QKeyEvent* event);
    void Wheel(QWheelEvent* event);
    void MousePress(QMouseEvent* event);

    // Link notifications.
    void DataChanged(bool rows_changed);
    void ScrollBarAction(int action);
    void UpdateRowMetrics();
    void UpdateScrollBar();
    void ShowActiveRow();
    // Moves the dataset by `distance` records; reports what it raises.
    void MoveBy(int distance);
    int ScrollBarPosition() const;

    TGridDataLink link_;
    TDBGridModel* model_;
    QTableView* view_;
    QScrollBar* scroll_bar_;
    int visible_rows_ = 1;
    int wheel_remainder_ = 0;
};

} // namespace zendo
