// The glossary's main window on real glossary tables: start-up with a table, without one (the
// Turkish warning, the end, no file made) and with an empty one; F12 from any control; drag
// surfaces against controls; the activation colours; the three search modes with typed Turkish
// letters, Esc and mode switches; the sort orders; adding and correcting through the dialog;
// the text-editor view; and pictures of the window in each mode.
#include "app/main_window.h"

#include "app/editor_view.h"
#include "app/form2.h"
#include "app/form3.h"
#include "components/components_fixture.h"
#include "controls/db_grid.h"
#include "controls/db_memo.h"
#include "controls/mbtn.h"
#include "controls/mspedbtn.h"
#include "controls/panel.h"
#include "support/gui_support.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace zendo;
using zendo::testing::MessageBoxRecorder;
using zendo::testing::PixelColor;
using zendo::testing::SaveScreenshot;

namespace {

std::string Cp(const QString& text) {
    return ToCp1254(text);
}

// The sample glossary: key words chosen for the search cases, in this physical order.
const std::vector<std::pair<QString, QString>> kTerms = {
    { QStringLiteral("kalem"), QStringLiteral("yazı aracı") },
    { QStringLiteral("Kamış"), QStringLiteral("bitki\r\nikinci satır") },
    { QStringLiteral("KARA"), QString() },
    { QStringLiteral("sokak"), QStringLiteral("yol") },
    { QStringLiteral("o'nun"), QStringLiteral("zamir") },
    { QStringLiteral("Irmak"), QStringLiteral("akarsu") },
    { QStringLiteral("İğne"), QStringLiteral("dikiş aracı") },
    { QStringLiteral("IĞDIR"), QStringLiteral("il") },
    { QStringLiteral("zeytin"), QStringLiteral("ağaç") },
    { QStringLiteral("ağaç"), QStringLiteral("bitki") },
};

// A directory with a glossary table of `terms`.
struct Glossary {
    explicit Glossary(const std::vector<std::pair<QString, QString>>& terms = kTerms) {
        zolvek::testing::CreateTableIn(dir.Path());
        zolvek::testing::GlossaryLoader loader(dir.Path());
        for (const auto& [word, explanation] : terms)
            loader.Add(Cp(word), Cp(explanation));
    }
    QString Path() const { return QString::fromStdString(dir.Path()); }
    zolvek::testing::ScratchDir dir;
};

// Records the files handed to the desktop's text editor.
class EditorRecorder : public QObject {
    Q_OBJECT
public:
    EditorRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
    ~EditorRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened << url.toLocalFile(); }
};

// A shown main window on a directory.
struct Window {
    explicit Window(const QString& directory)
        : window(directory) {
        QSignalSpy shown(&window, &Tformx::Shown);
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
        ready = shown.count() == 1;
    }
    template <class T = QWidget> T* Find(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* Box(const char* name) { return Find<QLineEdit>(name); }
    void Mode(const char* name) { Find<QAction>(name)->trigger(); }
    // Types `text` into `box` one key at a time, each a press with its text and a release.
    void Type(QLineEdit* box, const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &release);
            titles << window.windowTitle();
        }
    }
    void Esc(QLineEdit* box) { QTest::keyClick(box, Qt::Key_Escape); }
    QString Title() const { return window.windowTitle(); }
    QString Current() { return FromCp1254(window.Table1().FieldByName("ANAHTAR").AsString()); }
    // The key words of the grid's rows.
    QStringList Rows() {
        QStringList rows;
        TDBGridModel* model = window.DBGrid1()->GridModel();
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 0).data().toString();
        return rows;
    }
    QString Memo() { return window.RzDBMemo1()->toPlainText(); }
    // The key words of the whole view, in its order, from its first record.
    QStringList View() {
        QStringList words;
        zolvek::TDataSet& table = window.Table1();
        for (table.First(); !table.Eof(); table.Next())
            words << FromCp1254(table.FieldByName("ANAHTAR").AsString());
        table.First();
        return words;
    }

    Tformx window;
    bool ready = false;
    QStringList titles;
};

// Runs `action` inside the word entry dialog once it is up, when `trigger` opens it.
// Returns whether the dialog was shown.
bool WithDialog(
    Window& w, const std::function<void()>& trigger, const std::function<void(TForm3&)>& action) {
    TForm3* dialog = w.window.Form3();
    bool shown = false;
    auto connection = QObject::connect(dialog, &TForm3::Shown, dialog, [&] {
        shown = true;
        QTimer::singleShot(0, dialog, [&] {
            action(*dialog);
            if (dialog->isVisible())
                dialog->close();
        });
    });
    trigger();
    QObject::disconnect(connection);
    return shown;
}

void TypeInto(QWidget* box, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &press);
    }
}

QStringList Sorted(QStringList words) {
    words.sort();
    return words;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    // Every message box that a test does not expect ends up here instead of blocking it.
    std::unique_ptr<MessageBoxRecorder> unexpected_;

private slots:
    void init() { unexpected_ = std::make_unique<MessageBoxRecorder>(); }
    void cleanup() {
        for (const auto& box : unexpected_->boxes)
            qWarning() << "unexpected message box:" << box.text;
        const bool none = unexpected_->boxes.empty();
        unexpected_.reset();
        QVERIFY(none);
    }
    void databaseDirectoryOfTheExecutable();
    void startsWithTheTable();
    void missingTableWarnsAndEndsWithoutAFile();
    void emptyTableCountsZero();
    void failedOpenKeepsTheWindowWithAClosedTable();
    void f12ClosesFromAnyControl_data();
    void f12ClosesFromAnyControl();
    void dragsOnlyFromBackgroundAndFrame();
    void activationColoursTheFrame();
    void gotoRecordMode();
    void prefixMode();
    void advancedMode();
    void modeSwitchesGoThroughTheUnfilteredView();
    void sortOrdersKeepModeAndFilter();
    void addsThroughTheDialog();
    void dialogCancelsChangeNothing_data();
    void dialogCancelsChangeNothing();
    void correctsTheExplanation();
    void editorViewOfTheCurrentRecord();
    void menusAndAccessibleNames();
};

void MainWindowTest::databaseDirectoryOfTheExecutable() {
    QCOMPARE(
        DatabaseDirectoryFor(QStringLiteral("/opt/zendo/zendo")), QStringLiteral("/opt/zendo/"));
    QCOMPARE(DatabaseDirectoryFor(QStringLiteral("/zendo")), QStringLiteral("/"));
    QCOMPARE(DatabaseDirectoryFor(QStringLiteral("zendo")), QStringLiteral("/"));
}

void MainWindowTest::startsWithTheTable() {
    Glossary glossary;
    Window w(glossary.Path());
    QVERIFY(w.ready);
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [10]"));
    QCOMPARE(w.window.DatabaseDirectory(), glossary.Path() + QLatin1Char('/'));
    QVERIFY(w.window.Table1().Active());
    QCOMPARE(
        w.Find<QStackedWidget>("Notebook1")->currentWidget()->objectName(), QStringLiteral("S3"));
    QCOMPARE(w.window.focusWidget(), w.Box("S3"));
    QVERIFY(w.Find<QAction>("SS3")->isChecked());
    QVERIFY(w.Find<QAction>("OrijinalSralama1")->isChecked());
    QCOMPARE(w.Rows().mid(0, 3),
        (QStringList { QStringLiteral("kalem"), QStringLiteral("Kamış"), QStringLiteral("KARA") }));
    QVERIFY(w.Rows().size() >= 9);
    QCOMPARE(w.Memo(), QStringLiteral("yazı aracı"));

    // The layout of the window description.
    QCOMPARE(w.window.size(), QSize(332, 352));
    QVERIFY(w.window.windowFlags().testFlag(Qt::FramelessWindowHint));
    auto geometry = [&](const char* name) { return w.Find(name)->geometry(); };
    QCOMPARE(geometry("Panel1"), QRect(2, 27, 328, 323));
    QCOMPARE(geometry("Notebook1"), QRect(3, 3, 320, 25));
    QCOMPARE(geometry("Panel7"), QRect(5, 29, 318, 197));
    QCOMPARE(geometry("RzDBMemo1"), QRect(5, 232, 318, 87));
    QCOMPARE(geometry("Button1"), QRect(3, 3, 96, 17));
    QCOMPARE(geometry("MSpedBtn2"), QRect(103, 3, 56, 17));
    QCOMPARE(geometry("MSpedBtn4"), QRect(292, 3, 16, 17));
    QCOMPARE(geometry("MSpedBtn3"), QRect(309, 3, 16, 17));
    // The captions of the title bar fit their buttons.
    for (const char* name : { "Button1", "MSpedBtn2" }) {
        auto* button = w.Find<TMSpedBtn>(name);
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->Caption()) <= button->width() - 2,
            name);
    }
    const QImage image = SaveScreenshot(&w.window, QStringLiteral("main_window"));
    QCOMPARE(PixelColor(image, 0, 0), TColor(clBlue));
    QCOMPARE(PixelColor(image, 331, 200), TColor(clBlue));
    QCOMPARE(PixelColor(image, 200, 351), TColor(clBlue));
    QCOMPARE(PixelColor(image, 200, 13), TColor(12111578));
    QCOMPARE(PixelColor(image, 4, 300), TColor(12900057));
}

void MainWindowTest::missingTableWarnsAndEndsWithoutAFile() {
    zolvek::testing::ScratchDir empty;
    MessageBoxRecorder boxes;
    Window w(QString::fromStdString(empty.Path()));
    QVERIFY(w.ready);
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(boxes.boxes[0].text,
        QStringLiteral("VERİ TABANLARINI BULAMADIM.\n\nPROGRAMI TEKRAR KURUN."));
    QCOMPARE(boxes.boxes[0].type, TMsgDlgType::mtWarning);
    QTRY_VERIFY(!w.window.isVisible());
    QVERIFY(!w.window.Table1().Active());
    QCOMPARE(w.Title(), QStringLiteral("ZENDO"));
    QVERIFY(QDir(QString::fromStdString(empty.Path()))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .isEmpty());

    // A directory that does not exist at all is a missing table too.
    MessageBoxRecorder more;
    Window nowhere(QString::fromStdString(empty.Path()) + QStringLiteral("/yok"));
    QCOMPARE(more.boxes.size(), size_t(1));
    QTRY_VERIFY(!nowhere.window.isVisible());
    QVERIFY(!QDir(QString::fromStdString(empty.Path()) + QStringLiteral("/yok")).exists());
}

void MainWindowTest::emptyTableCountsZero() {
    Glossary glossary(std::vector<std::pair<QString, QString>> {});
    Window w(glossary.Path());
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [0]"));
    QVERIFY(w.window.MNSPopup());
    QCOMPARE(w.Find<QAction>("KaytSays1")->text(), QStringLiteral("Kayıt Sayısı :[0]"));
    QVERIFY(w.Rows().isEmpty());
    QCOMPARE(w.Memo(), QString());
    // Correcting on an empty view does nothing; the editor view of no record is empty.
    const bool shown = WithDialog(
        w, [&] { w.Find<QAction>("KaytDzelt1")->trigger(); }, [](TForm3&) {});
    QVERIFY(!shown);
}

void MainWindowTest::failedOpenKeepsTheWindowWithAClosedTable() {
    zolvek::testing::ScratchDir dir;
    {
        QFile damaged(QString::fromStdString(dir.Path()) + QStringLiteral("/datalar.dat"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(4096, 'x'));
    }
    MessageBoxRecorder boxes;
    Window w(QString::fromStdString(dir.Path()));
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(boxes.boxes[0].type, TMsgDlgType::mtError);
    QVERIFY(boxes.boxes[0].text.startsWith(QStringLiteral("ZOLVEK Engine Error # ")));
    QVERIFY(w.window.isVisible());
    QVERIFY(!w.window.Table1().Active());
    QCOMPARE(w.Title(), QStringLiteral("ZENDO"));
    // The grid's menu asks the closed table for its count: the error shows, the menu stays shut.
    QVERIFY(!w.window.MNSPopup());
    QCOMPARE(boxes.boxes.size(), size_t(2));
    QCOMPARE(
        boxes.boxes[1].text, QStringLiteral("Cannot perform this operation on a closed dataset"));
    // Typing goes on without a table: each failure is shown, none ends the program.
    w.Type(w.Box("S3"), QStringLiteral("k"));
    QVERIFY(w.window.isVisible());
}

void MainWindowTest::f12ClosesFromAnyControl_data() {
    QTest::addColumn<QString>("control");
    QTest::newRow("search box") << QStringLiteral("S3");
    QTest::newRow("grid") << QStringLiteral("grid");
    QTest::newRow("memo") << QStringLiteral("RzDBMemo1");
    QTest::newRow("window") << QStringLiteral("formx");
}

void MainWindowTest::f12ClosesFromAnyControl() {
    QFETCH(QString, control);
    Glossary glossary;
    Window w(glossary.Path());
    QWidget* target = control == QStringLiteral("grid") ? w.window.DBGrid1()->View()
        : control == QStringLiteral("formx")            ? &w.window
                                                        : w.Find(control.toLatin1().constData());
    target->setFocus();
    QTest::keyClick(target, Qt::Key_F12);
    QVERIFY(!w.window.isVisible());
    QVERIFY(!w.window.Table1().Active());
}

void MainWindowTest::dragsOnlyFromBackgroundAndFrame() {
    Glossary glossary;
    Window w(glossary.Path());
    auto* drag = w.window.findChild<TWindowDrag*>();
    QVERIFY(drag != nullptr);
    QSignalSpy started(drag, &TWindowDrag::DragStarted);
    auto press = [&](QWidget* widget) {
        const int before = started.count();
        QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(1, 1));
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(1, 1));
        return started.count() > before;
    };
    for (const char* handle : { "Panel1", "Panel2", "Panel3", "Panel4", "Panel5", "Panel6",
             "Panel8", "Panel11", "Label1" })
        QVERIFY2(press(w.Find(handle)), handle);
    QVERIFY(press(&w.window));
    const std::vector<std::pair<const char*, QWidget*>> controls = {
        { "grid", w.window.DBGrid1()->View()->viewport() },
        { "grid header", static_cast<QWidget*>(w.window.DBGrid1()->View()->horizontalHeader()) },
        { "grid scroll bar", static_cast<QWidget*>(w.window.DBGrid1()->RecordScrollBar()) },
        { "memo", w.window.RzDBMemo1()->viewport() },
        { "search box", static_cast<QWidget*>(w.Box("S3")) },
        { "notebook", w.Find("Notebook1") },
        { "grid frame", w.Find("Panel7") },
        { "title strip", w.Find("Panel9") },
        { "Sorgulama Türü", w.Find("Button1") },
        { "close", w.Find("MSpedBtn3") },
        { "minimise", w.Find("MSpedBtn4") },
    };
    for (const auto& [name, control] : controls)
        QVERIFY2(!press(control), name);
}

void MainWindowTest::activationColoursTheFrame() {
    Glossary glossary;
    Window w(glossary.Path());
    const std::vector<const char*> strips
        = { "Panel3", "Panel4", "Panel6", "Panel5", "Panel8", "Panel10", "Panel9" };
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    for (const char* strip : strips)
        QCOMPARE(w.Find<TPanel>(strip)->Color(), TColor(9868950));
    QCOMPARE(w.Find<TPanel>("Label1")->Color(), TColor(9868950));
    const QImage inactive = SaveScreenshot(&w.window, QStringLiteral("main_window_inactive"));
    QCOMPARE(PixelColor(inactive, 0, 0), TColor(9868950));
    QCOMPARE(PixelColor(inactive, 200, 13), TColor(9868950));
    // Nothing else changes colour.
    QCOMPARE(w.Find<TPanel>("Panel2")->Color(), TColor(12900057));
    QCOMPARE(w.Find<TPanel>("Panel11")->Color(), TColor(clWhite));
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    for (const char* strip : strips)
        QCOMPARE(w.Find<TPanel>(strip)->Color(), TColor(clBlue));
    QCOMPARE(w.Find<TPanel>("Label1")->Color(), TColor(12111578));
}

void MainWindowTest::gotoRecordMode() {
    Glossary glossary;
    Window w(glossary.Path());
    QLineEdit* s3 = w.Box("S3");
    w.Type(s3, QStringLiteral("so"));
    QCOMPARE(w.Current(), QStringLiteral("sokak"));
    QCOMPARE(w.Memo(), QStringLiteral("yol"));
    // Every record stays in view, and the count with it.
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [10]"));
    // No match leaves the current record where it was.
    w.Type(s3, QStringLiteral("x"));
    QCOMPARE(w.Current(), QStringLiteral("sokak"));
    w.Esc(s3);
    QCOMPARE(s3->text(), QString());
    QCOMPARE(w.Current(), QStringLiteral("kalem"));
    // Case is ignored, Turkish letters too.
    w.Type(s3, QStringLiteral("iĞ"));
    QCOMPARE(w.Current(), QStringLiteral("İğne"));
    w.Esc(s3);
    w.Type(s3, QStringLiteral("KAM"));
    QCOMPARE(w.Current(), QStringLiteral("Kamış"));
    QCOMPARE(w.Memo(), QStringLiteral("bitki\nikinci satır"));
}

void MainWindowTest::prefixMode() {
    Glossary glossary;
    Window w(glossary.Path());
    // The notice is on screen while the mode switches, and gone afterwards.
    bool notice_visible = false;
    QObject::connect(&w.window, &Tformx::NoticeShown, &w.window,
        [&] { notice_visible = w.window.Form2()->isVisible(); });
    w.Mode("SS2");
    QVERIFY(notice_visible);
    QVERIFY(!w.window.Form2()->isVisible());
    QCOMPARE(w.window.focusWidget(), w.Box("S2"));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [10]"));
    QLineEdit* s2 = w.Box("S2");
    w.Type(s2, QStringLiteral("ka"));
    QCOMPARE(w.window.Table1().Filter(), Cp(QStringLiteral("[ANAHTAR]='ka*'")));
    // The count in the title after each key.
    QCOMPARE(w.titles, (QStringList { QStringLiteral("ZENDO [3]"), QStringLiteral("ZENDO [3]") }));
    QCOMPARE(w.View(),
        (QStringList { QStringLiteral("kalem"), QStringLiteral("Kamış"), QStringLiteral("KARA") }));
    QCOMPARE(w.Rows(), w.View());
    SaveScreenshot(&w.window, QStringLiteral("main_window_prefix"));
    w.Type(s2, QStringLiteral("m"));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [1]"));
    QCOMPARE(w.Memo(), QStringLiteral("bitki\nikinci satır"));
    w.Esc(s2);
    QCOMPARE(s2->text(), QString());
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [10]"));
    QCOMPARE(w.Current(), QStringLiteral("kalem"));
    // A quote inside the text is doubled in the filter.
    w.titles.clear();
    w.Type(s2, QStringLiteral("o'n"));
    QCOMPARE(w.window.Table1().Filter(), Cp(QStringLiteral("[ANAHTAR]='o''n*'")));
    QCOMPARE(w.View(), QStringList { QStringLiteral("o'nun") });
    QCOMPARE(w.titles.last(), QStringLiteral("ZENDO [1]"));
    // A text that nothing begins with empties the view.
    w.Esc(s2);
    w.Type(s2, QStringLiteral("qq"));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [0]"));
    QVERIFY(w.Rows().isEmpty());
    QCOMPARE(w.Memo(), QString());
}

void MainWindowTest::advancedMode() {
    Glossary glossary;
    Window w(glossary.Path());
    w.Mode("SS1");
    QCOMPARE(
        w.Find<QStackedWidget>("Notebook1")->currentWidget()->objectName(), QStringLiteral("S1"));
    QLineEdit* s1x = w.Box("S1X");
    // ı and ğ fold to I and Ğ.
    w.Type(s1x, QStringLiteral("ığ"));
    QCOMPARE(w.View(), QStringList { QStringLiteral("IĞDIR") });
    // The count follows the view after each key.
    QCOMPARE(w.titles, (QStringList { QStringLiteral("ZENDO [2]"), QStringLiteral("ZENDO [1]") }));
    w.Esc(s1x);
    QCOMPARE(s1x->text(), QString());
    QCOMPARE(w.window.HolderText(), std::string());
    QCOMPARE(w.View().size(), 10);
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [10]"));
    // i folds to İ, so it does not find the capital I.
    w.Type(s1x, QStringLiteral("i"));
    QCOMPARE(w.View(), QStringList { QStringLiteral("İğne") });
    w.Esc(s1x);
    // A leading * searches inside the key words, in any letter case.
    w.titles.clear();
    w.Type(s1x, QStringLiteral("*ka"));
    QCOMPARE(Sorted(w.View()),
        Sorted({ QStringLiteral("kalem"), QStringLiteral("Kamış"), QStringLiteral("KARA"),
            QStringLiteral("sokak") }));
    QCOMPARE(w.titles,
        (QStringList { QStringLiteral("ZENDO [10]"), QStringLiteral("ZENDO [5]"),
            QStringLiteral("ZENDO [4]") }));
    QCOMPARE(w.Rows(), w.View());
    SaveScreenshot(&w.window, QStringLiteral("main_window_advanced"));
    w.Esc(s1x);
    // A lone * shows everything.
    w.Type(s1x, QStringLiteral("*"));
    QCOMPARE(w.View().size(), 10);
    w.Esc(s1x);
    // Capitals typed with their own letters.
    w.Type(s1x, QStringLiteral("İĞN"));
    QCOMPARE(w.View(), QStringList { QStringLiteral("İğne") });
}

void MainWindowTest::modeSwitchesGoThroughTheUnfilteredView() {
    Glossary glossary;
    Window w(glossary.Path());
    w.Mode("SS1");
    w.Type(w.Box("S1X"), QStringLiteral("ka"));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [3]"));
    w.Mode("SS2");
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [10]"));
    QVERIFY(w.window.Table1().Filtered());
    QCOMPARE(w.window.Table1().Filter(), std::string());
    w.Type(w.Box("S2"), QStringLiteral("s"));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [1]"));
    // Back in the advanced mode, the old text filters at once; the prefix box is emptied when
    // its mode comes back.
    w.Mode("SS1");
    QCOMPARE(w.Box("S1X")->text(), QStringLiteral("ka"));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [3]"));
    QCOMPARE(w.View().size(), 3);
    w.Mode("SS3");
    QVERIFY(!w.window.Table1().Filtered());
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [10]"));
    QVERIFY(w.Find<QAction>("SS3")->isChecked());
    QVERIFY(!w.Find<QAction>("SS1")->isChecked());
    w.Mode("SS2");
    QCOMPARE(w.Box("S2")->text(), QString());
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [10]"));
}

void MainWindowTest::sortOrdersKeepModeAndFilter() {
    Glossary glossary;
    Window w(glossary.Path());
    w.Find<QAction>("AdanZyeSralama1")->trigger();
    QCOMPARE(w.window.Table1().IndexName(), std::string("INDEXX"));
    QCOMPARE(w.Current(), QStringLiteral("ağaç"));
    QCOMPARE(w.Rows().first(), QStringLiteral("ağaç"));
    QVERIFY(w.Find<QAction>("SS3")->isChecked());
    w.Mode("SS2");
    w.Type(w.Box("S2"), QStringLiteral("k"));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [3]"));
    w.Find<QAction>("HarfGrubunaGre1")->trigger();
    QCOMPARE(w.window.Table1().IndexName(), std::string("ANAHTAR"));
    QVERIFY(w.Find<QAction>("SS2")->isChecked());
    QVERIFY(w.Find<QAction>("HarfGrubunaGre1")->isChecked());
    QVERIFY(!w.Find<QAction>("AdanZyeSralama1")->isChecked());
    QCOMPARE(w.window.Table1().Filter(), Cp(QStringLiteral("[ANAHTAR]='k*'")));
    QCOMPARE(Sorted(w.View()),
        Sorted({ QStringLiteral("kalem"), QStringLiteral("Kamış"), QStringLiteral("KARA") }));
    QCOMPARE(w.Current(), w.View().first());
    w.Find<QAction>("OrijinalSralama1")->trigger();
    QCOMPARE(w.window.Table1().IndexName(), std::string());
    QCOMPARE(w.View(),
        (QStringList { QStringLiteral("kalem"), QStringLiteral("Kamış"), QStringLiteral("KARA") }));
}

void MainWindowTest::addsThroughTheDialog() {
    Glossary glossary;
    Window w(glossary.Path());
    QAction* add = w.Find<QAction>("YeniKaytEkle1");
    // A picture of the dialog with a term typed in; it is then left with "&VAZGEÇ".
    QVERIFY(WithDialog(
        w, [&] { add->trigger(); },
        [&](TForm3& dialog) {
            TypeInto(dialog.yeni_kelime(), QStringLiteral("şeftali"));
            dialog.yeni_tamini()->setFocus();
            TypeInto(dialog.yeni_tamini(), QStringLiteral("Şeftali ağacının tüylü, sulu meyvesi."));
            dialog.yeni_tamini()->appendPlainText(QStringLiteral("İlkbaharda pembe çiçek açar."));
            SaveScreenshot(&dialog, QStringLiteral("word_entry"));
            QTest::mouseClick(dialog.MBtn2()->ClickSurface(), Qt::LeftButton);
        }));
    QCOMPARE(w.View().size(), 10);
    bool read_only = true;
    QString caption;
    QVERIFY(WithDialog(
        w, [&] { add->trigger(); },
        [&](TForm3& dialog) {
            read_only = dialog.yeni_kelime()->isReadOnly();
            caption = dialog.Label2()->text();
            QVERIFY(dialog.yeni_kelime()->text().isEmpty());
            TypeInto(dialog.yeni_kelime(), QStringLiteral("  şeftali "));
            dialog.yeni_tamini()->setFocus();
            TypeInto(dialog.yeni_tamini(), QStringLiteral(" meyve\n"));
            QTest::mouseClick(dialog.MBtn1()->ClickSurface(), Qt::LeftButton);
        }));
    QVERIFY(!read_only);
    QCOMPARE(caption, QStringLiteral(".: Yeni Kayıt Ekle :."));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [11]"));
    // The boxes hold the trimmed texts.
    QCOMPARE(w.window.Form3()->yeni_kelime()->text(), QStringLiteral("şeftali"));
    QCOMPARE(w.window.Form3()->yeni_tamini()->toPlainText(), QStringLiteral("meyve"));
    zolvek::TZOLVEKTable& table = w.window.Table1();
    QVERIFY(table.Locate(
        "ANAHTAR", std::vector<zolvek::TVariant> { Cp(QStringLiteral("şeftali")) }, 0));
    QCOMPARE(FromCp1254(table.FieldByName("ACIKLAMA").AsString()), QStringLiteral("meyve"));
    QCOMPARE(FromCp1254(table.FieldByName("INDEX").AsString()), QStringLiteral("ş"));

    // The first letter keeps its case; an empty explanation is stored empty.
    QVERIFY(WithDialog(
        w, [&] { add->trigger(); },
        [&](TForm3& dialog) {
            TypeInto(dialog.yeni_kelime(), QStringLiteral("\tKiraz"));
            QTest::mouseClick(dialog.MBtn1()->ClickSurface(), Qt::LeftButton);
        }));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [12]"));
    QVERIFY(table.Locate("ANAHTAR", std::vector<zolvek::TVariant> { std::string("Kiraz") }, 0));
    QCOMPARE(table.FieldByName("INDEX").AsString(), std::string("K"));
    QCOMPARE(table.FieldByName("ACIKLAMA").AsString(), std::string());

    // A key word of blanks adds nothing, and still refreshes the title.
    w.window.setWindowTitle(QStringLiteral("eski"));
    QVERIFY(WithDialog(
        w, [&] { add->trigger(); },
        [&](TForm3& dialog) {
            TypeInto(dialog.yeni_kelime(), QStringLiteral("   "));
            TypeInto(dialog.yeni_tamini(), QStringLiteral("boş"));
            QTest::mouseClick(dialog.MBtn1()->ClickSurface(), Qt::LeftButton);
        }));
    QCOMPARE(w.Title(), QStringLiteral("ZENDO [12]"));
    QCOMPARE(w.View().size(), 12);
}

void MainWindowTest::dialogCancelsChangeNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("VAZGEC") << QStringLiteral("MBtn2");
    QTest::newRow("close button") << QStringLiteral("MSpedBtn3");
    QTest::newRow("F12") << QStringLiteral("F12");
}

void MainWindowTest::dialogCancelsChangeNothing() {
    QFETCH(QString, how);
    Glossary glossary;
    Window w(glossary.Path());
    auto cancel = [&](TForm3& dialog) {
        if (how == QStringLiteral("MBtn2"))
            QTest::mouseClick(dialog.MBtn2()->ClickSurface(), Qt::LeftButton);
        else if (how == QStringLiteral("MSpedBtn3"))
            QTest::mouseClick(dialog.MSpedBtn3(), Qt::LeftButton);
        else
            QTest::keyClick(dialog.yeni_tamini(), Qt::Key_F12);
    };
    w.window.setWindowTitle(QStringLiteral("eski"));
    QVERIFY(WithDialog(
        w, [&] { w.Find<QAction>("YeniKaytEkle1")->trigger(); },
        [&](TForm3& dialog) {
            TypeInto(dialog.yeni_kelime(), QStringLiteral("armut"));
            cancel(dialog);
        }));
    QCOMPARE(w.Title(), QStringLiteral("eski"));
    QCOMPARE(w.View().size(), 10);
    QVERIFY(WithDialog(
        w, [&] { w.Find<QAction>("KaytDzelt1")->trigger(); },
        [&](TForm3& dialog) {
            dialog.yeni_tamini()->setPlainText(QStringLiteral("başka"));
            cancel(dialog);
        }));
    QCOMPARE(w.Memo(), QStringLiteral("yazı aracı"));
    QVERIFY(w.window.isVisible());
}

void MainWindowTest::correctsTheExplanation() {
    Glossary glossary;
    Window w(glossary.Path());
    w.Type(w.Box("S3"), QStringLiteral("sok"));
    QCOMPARE(w.Current(), QStringLiteral("sokak"));
    QAction* correct = w.Find<QAction>("KaytDzelt1");
    QString shown_key, shown_explanation, caption;
    bool read_only = false;
    QVERIFY(WithDialog(
        w, [&] { correct->trigger(); },
        [&](TForm3& dialog) {
            shown_key = dialog.yeni_kelime()->text();
            shown_explanation = dialog.yeni_tamini()->toPlainText();
            caption = dialog.Label2()->text();
            read_only = dialog.yeni_kelime()->isReadOnly();
            dialog.yeni_tamini()->setPlainText(QStringLiteral("  dar yol, cadde\nikinci  \n"));
            QTest::mouseClick(dialog.MBtn1()->ClickSurface(), Qt::LeftButton);
        }));
    QCOMPARE(shown_key, QStringLiteral("sokak"));
    QCOMPARE(shown_explanation, QStringLiteral("yol"));
    QCOMPARE(caption, QStringLiteral(".: Bilgi Düzenleme :."));
    QVERIFY(read_only);
    QCOMPARE(w.Memo(), QStringLiteral("dar yol, cadde\nikinci"));
    QCOMPARE(w.Current(), QStringLiteral("sokak"));
    // An emptied explanation is not saved: the record keeps the one it had.
    QVERIFY(WithDialog(
        w, [&] { correct->trigger(); },
        [&](TForm3& dialog) {
            dialog.yeni_tamini()->setPlainText(QStringLiteral(" \n\t "));
            QTest::mouseClick(dialog.MBtn1()->ClickSurface(), Qt::LeftButton);
        }));
    QCOMPARE(w.Memo(), QStringLiteral("dar yol, cadde\nikinci"));
    // The key word stays read-only until the next "Yeni Kayıt Ekle".
    QVERIFY(w.window.Form3()->yeni_kelime()->isReadOnly());
    // Correcting on an empty view does nothing.
    w.Mode("SS2");
    w.Type(w.Box("S2"), QStringLiteral("qq"));
    QVERIFY(!WithDialog(
        w, [&] { correct->trigger(); }, [](TForm3&) {}));
}

void MainWindowTest::editorViewOfTheCurrentRecord() {
    Glossary glossary;
    EditorRecorder editor;
    QString path;
    {
        Window w(glossary.Path());
        w.Type(w.Box("S3"), QStringLiteral("kam"));
        QTableView* view = w.window.DBGrid1()->View();
        QTest::mouseDClick(
            view->viewport(), Qt::LeftButton, {}, QPoint(20, view->rowViewportPosition(1) + 3));
        QCOMPARE(editor.opened.size(), 1);
        path = editor.opened.front();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(file.readAll()), QStringLiteral("Kamış\n\nbitki\nikinci satır\n"));
        QVERIFY(!(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther)));
        // The file stays while the window is open, for an editor that reads it late.
        QVERIFY(QFile::exists(path));
    }
    QVERIFY(!QFile::exists(path));
}

void MainWindowTest::menusAndAccessibleNames() {
    Glossary glossary;
    Window w(glossary.Path());
    auto captions = [](QMenu* menu) {
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    };
    QCOMPARE(captions(w.window.MNMENU()),
        (QStringList { QStringLiteral("Aranan Kayda Git"),
            QStringLiteral("Sadece Benzerleri Göster"),
            QStringLiteral("Sadece Benzerleri Göster (Gelişmiş)"), QStringLiteral("-"),
            QStringLiteral("Sorgulama Çeşitleri Hakkında...") }));
    QVERIFY(w.window.MNSPopup());
    QCOMPARE(captions(w.window.MNS()),
        (QStringList { QStringLiteral("Kayıt Sayısı :[10]"), QStringLiteral("-"),
            QStringLiteral("Orijinal Sıralama"), QStringLiteral("A'dan Z'ye Sıralama"),
            QStringLiteral("Harf Grubuna Göre"), QStringLiteral("-"),
            QStringLiteral("Yeni Kayıt Ekle"), QStringLiteral("Kayıt Düzelt") }));
    QCOMPARE(captions(w.window.mnhak()),
        (QStringList { QStringLiteral("Hakkında..."), QStringLiteral("Mail Yaz...") }));

    // "Sorgulama Türü" opens its menu at the button's lower-left corner.
    auto* button = w.Find<TMSpedBtn>("Button1");
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY(w.window.MNMENU()->isVisible());
    QCOMPARE(w.window.MNMENU()->pos(), button->mapToGlobal(QPoint(0, button->height())));
    SaveScreenshot(w.window.MNMENU(), QStringLiteral("menu_modes"));
    w.window.MNMENU()->hide();

    MessageBoxRecorder boxes;
    w.Find<QAction>("Sorgulamaeitlerihakknda1")->trigger();
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(boxes.boxes[0].type, TMsgDlgType::mtInformation);
    const QStringList lines = boxes.boxes[0].text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 12);
    QCOMPARE(lines[1],
        QStringLiteral("Bütün kayıtlar görünür durumdadır. Yazdığınız kayda uyan kayıt varsa o "));
    QCOMPARE(lines[3], QString());
    QCOMPARE(lines[11],
        QStringLiteral(
            "= Joker) karakteri getirilirse yazılan bilgiyi kelimelerin içindede arar."));

    for (QWidget* control : std::initializer_list<QWidget*> { w.Box("S1X"), w.Box("S2"),
             w.Box("S3"), w.window.DBGrid1()->View(), w.window.RzDBMemo1(), w.Find("Button1"),
             w.Find("MSpedBtn2"), w.Find("MSpedBtn3"), w.Find("MSpedBtn4") })
        QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
