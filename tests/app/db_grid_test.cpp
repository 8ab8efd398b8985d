// The word list grid and the explanation memo over a dataset: the grid paints the dataset's
// window of records (no copy of the table, even of a million rows), its keys, wheel, clicks and
// scroll bar move the current record, the scroll bar follows the record number or, in a
// filtered view, only the start, middle and end; the memo follows the current record.
#include "controls/db_grid.h"
#include "controls/db_memo.h"
#include "dataset/memory_dataset.h"
#include "support/gui_support.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace zendo;
using zolvek::TDataSource;
using zolvek::testing::TMemoryDataSet;

namespace {

// The memory table, numbered only while no filter is on, as the engine's table is.
class TTable : public TMemoryDataSet {
public:
    TTable()
        : TMemoryDataSet(TMemoryDataSet::StandardColumns()) { }

protected:
    bool IsSequenced() const override { return !Filtered(); }
};

// A grid of a fixed size over the standard memory table.
struct GridFixture {
    explicit GridFixture(int rows_in_table, int height = 200) {
        for (int id = 1; id <= rows_in_table; ++id)
            table.AddRow(id, "w" + std::to_string(id),
                id % 2 == 0 ? std::optional<std::string>("not " + std::to_string(id) + "\r\nikinci")
                            : std::nullopt);
        grid.resize(200, height);
        grid.SetColumn("NAME", QStringLiteral("KELİME LİSTESİ"));
        grid.SetDataSource(&source);
        memo.SetDataField("NOTE");
        memo.SetDataSource(&source);
        table.Open();
        grid.show();
        (void)QTest::qWaitForWindowExposed(&grid);
    }
    QStringList Cells() const {
        QStringList cells;
        for (int row = 0; row < grid.GridModel()->rowCount(); ++row)
            cells << grid.GridModel()->index(row, 0).data().toString();
        return cells;
    }
    int SelectedRow() const {
        const QModelIndexList rows = grid.View()->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().row() : -1;
    }
    QString Current() { return QString::fromStdString(table.FieldByName("NAME").AsString()); }

    TTable table;
    TDataSource source { &table };
    TDBGrid grid;
    TDBMemo memo;
};

QStringList Names(int from, int to) {
    QStringList names;
    for (int i = from; i <= to; ++i)
        names << QStringLiteral("w%1").arg(i);
    return names;
}

} // namespace

class DbGridTest : public QObject {
    Q_OBJECT

private slots:
    void paintsTheWindowOfTheDataset();
    void fetchesOnlyTheVisibleRowsOfAMillionRecords();
    void keysWheelAndClicksMoveTheCurrentRecord();
    void scrollBarFollowsTheRecordNumberOrTheEnds();
    void resizeChangesTheWindow();
    void memoFollowsTheCurrentRecord();
    void closedAndEmptyDatasetsShowNoRows();
};

void DbGridTest::paintsTheWindowOfTheDataset() {
    GridFixture f(100);
    const int rows = f.grid.VisibleRowCount();
    QVERIFY(rows >= 5);
    QCOMPARE(f.table.BufferCount(), rows);
    QCOMPARE(f.Cells(), Names(1, rows));
    QCOMPARE(f.SelectedRow(), 0);
    QCOMPARE(f.grid.GridModel()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
        QStringLiteral("KELİME LİSTESİ"));
    // Every row fits: the view itself never scrolls.
    const int last_row_bottom
        = f.grid.View()->rowViewportPosition(rows - 1) + f.grid.View()->rowHeight(rows - 1);
    QVERIFY(last_row_bottom <= f.grid.View()->viewport()->height());
    zendo::testing::SaveScreenshot(&f.grid, QStringLiteral("db_grid"));
}

void DbGridTest::fetchesOnlyTheVisibleRowsOfAMillionRecords() {
    TMemoryDataSet table { TMemoryDataSet::StandardColumns() };
    table.MakeSynthetic(1'000'000);
    TDataSource source(&table);
    TDBGrid grid;
    grid.resize(200, 200);
    grid.SetColumn("NAME", QStringLiteral("KELİME LİSTESİ"));
    grid.SetDataSource(&source);
    table.Open();
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    const int rows = grid.VisibleRowCount();
    // The window was filled while the grid grew to its size: a few window fills, nothing like
    // the table's million records.
    QVERIFY(table.counts.Fetches() <= 3 * (rows + 2));
    QCOMPARE(grid.GridModel()->rowCount(), rows);

    const int before = table.counts.Fetches();
    QTest::keyClick(grid.View(), Qt::Key_End);
    QVERIFY(table.counts.Fetches() - before <= rows + 2);
    QCOMPARE(grid.GridModel()->index(rows - 1, 0).data().toString(), QStringLiteral("w1000000"));
    QCOMPARE(grid.RecordScrollBar()->value(), 999'999);
}

void DbGridTest::keysWheelAndClicksMoveTheCurrentRecord() {
    GridFixture f(100);
    const int rows = f.grid.VisibleRowCount();
    QTableView* view = f.grid.View();

    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(f.Current(), QStringLiteral("w2"));
    QCOMPARE(f.SelectedRow(), 1);
    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(f.Current(), QStringLiteral("w%1").arg(2 + rows));
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(f.Current(), QStringLiteral("w%1").arg(1 + rows));
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(f.Current(), QStringLiteral("w100"));
    QCOMPARE(f.Cells(), Names(101 - rows, 100));
    QCOMPARE(f.SelectedRow(), rows - 1);
    QTest::keyClick(view, Qt::Key_Home);
    QCOMPARE(f.Current(), QStringLiteral("w1"));
    QCOMPARE(f.Cells(), Names(1, rows));

    // One notch of the wheel down is one record.
    QWheelEvent wheel(QPointF(10, 30), view->viewport()->mapToGlobal(QPointF(10, 30)), QPoint(),
        QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    QCOMPARE(f.Current(), QStringLiteral("w2"));

    // A click on the fourth row makes its record current; a double click is the grid's.
    const QPoint fourth(20, view->rowViewportPosition(3) + 3);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, fourth);
    QCOMPARE(f.Current(), QStringLiteral("w4"));
    QCOMPARE(f.SelectedRow(), 3);
    QSignalSpy double_clicks(&f.grid, &TDBGrid::DblClick);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, fourth);
    QCOMPARE(double_clicks.count(), 1);
    // Clicking below the last record moves nothing.
    f.table.Close();
    f.table.Open();
    QTest::keyClick(view, Qt::Key_End);
    const QString last = f.Current();
    QTest::mouseClick(
        view->viewport(), Qt::LeftButton, {}, QPoint(20, view->viewport()->height() - 1));
    QCOMPARE(f.Current(), last);
}

void DbGridTest::scrollBarFollowsTheRecordNumberOrTheEnds() {
    GridFixture f(100);
    QScrollBar* bar = f.grid.RecordScrollBar();
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 99);
    QCOMPARE(bar->value(), 0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(f.Current(), QStringLiteral("w2"));
    QCOMPARE(bar->value(), 1);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(f.Current(), QStringLiteral("w100"));
    QCOMPARE(bar->value(), 99);
    bar->setSliderPosition(49);
    QCOMPARE(f.Current(), QStringLiteral("w50"));

    // A record callback makes numbering unreliable: the bar shows the start, middle and end.
    f.table.SetOnFilterRecord([](zolvek::TDataSet& dataset, bool& accept) {
        accept = dataset.FieldByName("ID").AsInteger() % 3 == 0;
    });
    f.table.SetFiltered(true);
    QVERIFY(!f.table.Sequenced());
    QCOMPARE(f.Current(), QStringLiteral("w3"));
    QCOMPARE(bar->maximum(), 4);
    QCOMPARE(bar->value(), 0);
    QTest::keyClick(f.grid.View(), Qt::Key_Down);
    QCOMPARE(f.Current(), QStringLiteral("w6"));
    QCOMPARE(bar->value(), 2);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(f.Current(), QStringLiteral("w99"));
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(bar->value(), 4);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    QCOMPARE(f.Current(), QStringLiteral("w3"));
    QCOMPARE(bar->value(), 0);
}

void DbGridTest::resizeChangesTheWindow() {
    GridFixture f(100);
    const int rows = f.grid.VisibleRowCount();
    f.grid.resize(200, 400);
    QVERIFY(f.grid.VisibleRowCount() > rows);
    QCOMPARE(f.table.BufferCount(), f.grid.VisibleRowCount());
    QCOMPARE(f.Cells(), Names(1, f.grid.VisibleRowCount()));
    f.grid.resize(200, 60);
    QVERIFY(f.grid.VisibleRowCount() >= 1);
    QCOMPARE(f.Cells(), Names(1, f.grid.VisibleRowCount()));
}

void DbGridTest::memoFollowsTheCurrentRecord() {
    GridFixture f(10);
    QCOMPARE(f.memo.toPlainText(), QString());
    QTest::keyClick(f.grid.View(), Qt::Key_Down);
    QCOMPARE(f.memo.toPlainText(), QStringLiteral("not 2\nikinci"));
    QVERIFY(f.memo.isReadOnly());
    f.table.Close();
    QCOMPARE(f.memo.toPlainText(), QString());
    QCOMPARE(MemoText("a\r\nb\rc\n\xFD\xF0"), QStringLiteral("a\nb\nc\nığ"));
}

void DbGridTest::closedAndEmptyDatasetsShowNoRows() {
    GridFixture f(0);
    QCOMPARE(f.grid.GridModel()->rowCount(), 0);
    QCOMPARE(f.SelectedRow(), -1);
    QTest::keyClick(f.grid.View(), Qt::Key_Down);
    QTest::keyClick(f.grid.View(), Qt::Key_End);
    f.table.Close();
    QCOMPARE(f.grid.GridModel()->rowCount(), 0);
    QVERIFY(!f.grid.RecordScrollBar()->isEnabled());
    QTest::keyClick(f.grid.View(), Qt::Key_Down);
}

QTEST_MAIN(DbGridTest)
#include "db_grid_test.moc"
