#include "controls/db_grid.h"

#include "controls/error_handler.h"
#include "controls/vcl_compat.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace zendo {

namespace {

// The non-sequenced scroll bar: the start, somewhere in the middle, the end.
constexpr int kUnsequencedTop = 0;
constexpr int kUnsequencedMiddle = 2;
constexpr int kUnsequencedBottom = 4;

bool ShowsRecords(const zolvek::TDataSet& dataset) {
    switch (dataset.State()) {
    case zolvek::dsBrowse:
    case zolvek::dsEdit:
    case zolvek::dsInsert:
    case zolvek::dsSetKey:
        return true;
    default:
        // A temporary state (a record callback, calculated fields) has put another buffer in
        // place of the window's: a paint that comes in a nested event loop shows nothing.
        return false;
    }
}

} // namespace

// The table view inside the grid: its input goes to the grid.
class TGridView : public QTableView {
public:
    TGridView(TDBGrid& grid)
        : QTableView(&grid)
        , grid_(grid) { }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        grid_.KeyPress(event);
        if (!event->isAccepted())
            QTableView::keyPressEvent(event);
    }
    void wheelEvent(QWheelEvent* event) override { grid_.Wheel(event); }
    void mousePressEvent(QMouseEvent* event) override { grid_.MousePress(event); }
    void mouseMoveEvent(QMouseEvent* event) override {
        // Dragging selects nothing: the selection is the dataset's current record.
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            emit grid_.DblClick();
        event->accept();
    }

private:
    TDBGrid& grid_;
};

void TGridDataLink::ActiveChanged() {
    grid_.DataChanged(true);
}

void TGridDataLink::DataSetChanged() {
    grid_.DataChanged(true);
}

void TGridDataLink::DataSetScrolled(int32_t) {
    grid_.DataChanged(false);
}

void TGridDataLink::RecordChanged(zolvek::TField*) {
    grid_.DataChanged(false);
}

void TGridDataLink::LayoutChanged() {
    grid_.DataChanged(true);
}

TDBGridModel::TDBGridModel(zolvek::TDataLink& link, QObject* parent)
    : QAbstractTableModel(parent)
    , link_(link) { }

int TDBGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !link_.Active())
        return 0;
    return link_.RecordCount();
}

int TDBGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    if (!index.isValid() || !link_.Active() || index.row() >= link_.RecordCount())
        return {};
    zolvek::TDataSet* dataset = link_.DataSet();
    if (!ShowsRecords(*dataset))
        return {};
    try {
        zolvek::TDataLink::TRowScope row(link_, index.row());
        zolvek::TField* field = dataset->FindField(field_name_);
        if (field == nullptr)
            return {};
        return FromCp1254(field->DisplayText());
    } catch (...) {
        // A paint has no caller to tell; the cell stays empty.
        return {};
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section != 0)
        return {};
    if (role == Qt::DisplayRole)
        return title_;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TDBGridModel::Reset() {
    beginResetModel();
    endResetModel();
}

void TDBGridModel::RowsChanged() {
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, 0), { Qt::DisplayRole });
}

TDBGrid::TDBGrid(QWidget* parent)
    : QWidget(parent)
    , link_(*this)
    , model_(new TDBGridModel(link_, this))
    , view_(new TGridView(*this))
    , scroll_bar_(new QScrollBar(Qt::Vertical, this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_);
    layout->addWidget(scroll_bar_);
    setFocusProxy(view_);

    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setAutoScroll(false);
    view_->setTabKeyNavigation(false);
    view_->setFrameShape(QFrame::NoFrame);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setMinimumSectionSize(1);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->horizontalHeader()->setSectionsClickable(false);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    // The title keeps its own colour whatever colour the cells' text takes.
    SetFontColor(view_->horizontalHeader(), clWindowText);
    // The current row stays highlighted when the grid has no focus.
    QPalette palette = view_->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
        palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
        palette.color(QPalette::Active, QPalette::HighlightedText));
    view_->setPalette(palette);

    scroll_bar_->setFocusPolicy(Qt::NoFocus);
    scroll_bar_->setEnabled(false);
    connect(scroll_bar_, &QScrollBar::actionTriggered, this, &TDBGrid::ScrollBarAction);
    UpdateRowMetrics();
}

TDBGrid::~TDBGrid() {
    // The link's notifications must not reach a half-destroyed grid, and the view must not ask
    // the model about a link that is gone.
    link_.SetDataSource(nullptr);
    delete view_;
    delete model_;
}

void TDBGrid::SetDataSource(zolvek::TDataSource* source) {
    link_.SetDataSource(source);
    link_.SetBufferCount(visible_rows_);
    DataChanged(true);
}

void TDBGrid::SetColumn(const std::string& field_name, const QString& title) {
    model_->SetFieldName(field_name);
    model_->SetTitle(title);
    model_->Reset();
    ShowActiveRow();
}

void TDBGrid::SetTitleFont(const QFont& font) {
    view_->horizontalHeader()->setFont(font);
    UpdateRowMetrics();
}

void TDBGrid::DataChanged(bool rows_changed) {
    if (rows_changed || view_->verticalHeader()->count() != model_->rowCount())
        model_->Reset();
    else
        model_->RowsChanged();
    ShowActiveRow();
    UpdateScrollBar();
}

void TDBGrid::ShowActiveRow() {
    QItemSelectionModel* selection = view_->selectionModel();
    if (!link_.Active() || link_.RecordCount() == 0) {
        selection->clear();
        return;
    }
    const QModelIndex current = model_->index(link_.ActiveRecord(), 0);
    selection->setCurrentIndex(
        current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int TDBGrid::ScrollBarPosition() const {
    zolvek::TDataSet* dataset = link_.DataSet();
    if (!link_.Active() || dataset == nullptr)
        return 0;
    if (dataset->Sequenced())
        return std::max(0, dataset->RecNo() - 1);
    if (dataset->Bof())
        return kUnsequencedTop;
    if (dataset->Eof())
        return kUnsequencedBottom;
    return kUnsequencedMiddle;
}

void TDBGrid::UpdateScrollBar() {
    const QSignalBlocker blocker(scroll_bar_);
    zolvek::TDataSet* dataset = link_.DataSet();
    if (!link_.Active() || dataset == nullptr || !ShowsRecords(*dataset)) {
        scroll_bar_->setRange(0, 0);
        scroll_bar_->setEnabled(false);
        return;
    }
    RunGuarded([&] {
        if (dataset->Sequenced()) {
            const int count = dataset->RecordCount();
            scroll_bar_->setRange(0, std::max(0, count - 1));
            scroll_bar_->setPageStep(visible_rows_);
            scroll_bar_->setEnabled(count > visible_rows_);
        } else {
            scroll_bar_->setRange(kUnsequencedTop, kUnsequencedBottom);
            scroll_bar_->setPageStep(1);
            scroll_bar_->setEnabled(true);
        }
        scroll_bar_->setValue(ScrollBarPosition());
    });
}

void TDBGrid::ScrollBarAction(int action) {
    zolvek::TDataSet* dataset = link_.DataSet();
    if (!link_.Active() || dataset == nullptr)
        return;
    RunGuarded([&] {
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            dataset->MoveBy(1);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            dataset->MoveBy(-1);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            dataset->MoveBy(visible_rows_);
            break;
        case QAbstractSlider::SliderPageStepSub:
            dataset->MoveBy(-visible_rows_);
            break;
        case QAbstractSlider::SliderToMinimum:
            dataset->First();
            break;
        case QAbstractSlider::SliderToMaximum:
            dataset->Last();
            break;
        case QAbstractSlider::SliderMove: {
            const int position = scroll_bar_->sliderPosition();
            if (dataset->Sequenced())
                dataset->SetRecNo(position + 1);
            else if (position <= kUnsequencedTop)
                dataset->First();
            else if (position >= kUnsequencedBottom)
                dataset->Last();
            break;
        }
        default:
            break;
        }
    });
    // The bar shows where the dataset went, not where the mouse put it.
    scroll_bar_->setSliderPosition(ScrollBarPosition());
}

void TDBGrid::MoveBy(int distance) {
    zolvek::TDataSet* dataset = link_.DataSet();
    if (!link_.Active() || dataset == nullptr || distance == 0)
        return;
    RunGuarded([&] { dataset->MoveBy(distance); });
}

void TDBGrid::KeyPress(QKeyEvent* event) {
    zolvek::TDataSet* dataset = link_.DataSet();
    const bool active = link_.Active() && dataset != nullptr;
    event->accept();
    switch (event->key()) {
    case Qt::Key_Up:
        MoveBy(-1);
        return;
    case Qt::Key_Down:
        MoveBy(1);
        return;
    case Qt::Key_PageUp:
        MoveBy(-visible_rows_);
        return;
    case Qt::Key_PageDown:
        MoveBy(visible_rows_);
        return;
    case Qt::Key_Home:
        if (active)
            RunGuarded([&] { dataset->First(); });
        return;
    case Qt::Key_End:
        if (active)
            RunGuarded([&] { dataset->Last(); });
        return;
    default:
        event->ignore();
        return;
    }
}

void TDBGrid::Wheel(QWheelEvent* event) {
    event->accept();
    wheel_remainder_ += event->angleDelta().y();
    const int steps = wheel_remainder_ / QWheelEvent::DefaultDeltasPerStep;
    wheel_remainder_ -= steps * QWheelEvent::DefaultDeltasPerStep;
    MoveBy(-steps);
}

void TDBGrid::MousePress(QMouseEvent* event) {
    event->accept();
    view_->setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton || !link_.Active())
        return;
    const int row = view_->rowAt(event->position().toPoint().y());
    if (row >= 0)
        MoveBy(row - link_.ActiveRecord());
}

void TDBGrid::UpdateRowMetrics() {
    const int row_height = view_->fontMetrics().height() + 3;
    view_->verticalHeader()->setDefaultSectionSize(row_height);
    const int title_height = view_->horizontalHeader()->fontMetrics().height() + 4;
    view_->horizontalHeader()->setFixedHeight(title_height);
    const int rows_height = height() - title_height;
    visible_rows_ = std::max(1, rows_height / row_height);
    if (link_.BufferCount() != visible_rows_)
        RunGuarded([&] { link_.SetBufferCount(visible_rows_); });
    DataChanged(true);
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateRowMetrics();
}

void TDBGrid::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateRowMetrics();
}

} // namespace zendo
