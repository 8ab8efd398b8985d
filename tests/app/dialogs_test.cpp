// The word entry dialog and the mode-switch notice on their own: layout and colours, the result
// flag of "&KAYDET", "&VAZGEÇ", the close button and F12, Esc that closes nothing, the focus in
// the key-word box; and the text-editor view's private file: content, mode and removal.
#include "app/editor_view.h"
#include "app/form2.h"
#include "app/form3.h"
#include "controls/mbtn.h"
#include "controls/mspedbtn.h"
#include "controls/panel.h"
#include "support/gui_support.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace zendo;
using zendo::testing::PixelColor;
using zendo::testing::SaveScreenshot;

namespace {

// Runs `action` once the dialog is up, then shows it modally until it closes. Returns false if
// the dialog was still open a few seconds later (it is then closed).
bool RunDialog(TForm3& dialog, const std::function<void()>& action) {
    bool acted = false;
    QObject::connect(
        &dialog, &TForm3::Shown, &dialog,
        [&] {
            QTimer::singleShot(0, &dialog, [&] {
                acted = true;
                action();
            });
        },
        Qt::SingleShotConnection);
    QTimer guard;
    guard.setSingleShot(true);
    bool timed_out = false;
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&] {
        timed_out = true;
        dialog.reject();
    });
    guard.start(5000);
    dialog.Execute();
    return acted && !timed_out;
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void form2ShowsTheNotice();
    void form3Layout();
    void form3Closing_data();
    void form3Closing();
    void form3EscClosesNothingAndShowResetsTheFlag();
    void editorViewWritesAPrivateFileAndRemovesIt();
    void editorViewDropsTheFileWhenNoEditorStarts();
};

void DialogsTest::form2ShowsTheNotice() {
    TForm2 notice;
    notice.ShowNow();
    QVERIFY(notice.isVisible());
    QCOMPARE(notice.size(), QSize(226, 33));
    QCOMPARE(notice.Panel()->Caption(), QStringLiteral("Geçiş Yapılıyor..."));
    QVERIFY(notice.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const QImage image = SaveScreenshot(&notice, QStringLiteral("form2"));
    QCOMPARE(PixelColor(image, 0, 0), TColor(clGreen));
    QCOMPARE(PixelColor(image, 225, 32), TColor(clGreen));
    QCOMPARE(PixelColor(image, 3, 3), TColor(12900057));
    // The caption fits the panel.
    const QFontMetrics metrics(notice.Panel()->font());
    QVERIFY(metrics.horizontalAdvance(notice.Panel()->Caption()) < TForm2::kClientWidth - 8);
    notice.hide();
}

void DialogsTest::form3Layout() {
    TForm3 dialog;
    QCOMPARE(dialog.size(), QSize(320, 267));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    auto geometry = [&](const char* name) {
        return dialog.findChild<QWidget*>(QString::fromLatin1(name))->geometry();
    };
    QCOMPARE(geometry("Panel1"), QRect(2, 27, 316, 238));
    QCOMPARE(geometry("Panel2"), QRect(0, 2, 320, 23));
    QCOMPARE(geometry("yeni_kelime"), QRect(8, 8, 300, 23));
    QCOMPARE(geometry("yeni_tamini"), QRect(8, 32, 300, 153));
    QCOMPARE(geometry("MBtn1"), QRect(73, 200, 83, 27));
    QCOMPARE(geometry("MBtn2"), QRect(161, 200, 83, 27));
    QCOMPARE(geometry("MSpedBtn3"), QRect(298, 3, 16, 17));
    QCOMPARE(dialog.MBtn1()->ButtonText(), QStringLiteral("&KAYDET"));
    QCOMPARE(dialog.MBtn2()->ButtonText(), QStringLiteral("&VAZGEÇ"));
    // Every control can be named by a screen reader.
    for (QWidget* control :
        std::initializer_list<QWidget*> { dialog.yeni_kelime(), dialog.yeni_tamini(),
            dialog.MBtn1()->ClickSurface(), dialog.MBtn2()->ClickSurface(), dialog.MSpedBtn3() })
        QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));

    // The captions the main window gives the title fit beside the close button.
    for (const QString& caption :
        { QStringLiteral(".: Yeni Kayıt Ekle :."), QStringLiteral(".: Bilgi Düzenleme :.") }) {
        dialog.Label2()->setText(caption);
        dialog.Label2()->adjustSize();
        QVERIFY(dialog.Label2()->geometry().right() < 298);
        QVERIFY(
            dialog.Label2()->width() >= dialog.Label2()->fontMetrics().horizontalAdvance(caption));
    }
    dialog.yeni_kelime()->setText(QStringLiteral("İğneada ŞÜÇÖĞI"));
    dialog.yeni_tamini()->setPlainText(
        QStringLiteral("Kırklareli'nin sahil kasabası.\nİkinci satır."));
    dialog.Label2()->setText(QStringLiteral(".: Yeni Kayıt Ekle :."));
    dialog.Label2()->adjustSize();
    RunDialog(dialog, [&] {
        const QImage image = SaveScreenshot(&dialog, QStringLiteral("form3"));
        // The frame: blue strips, the title label colour, the work panel colour.
        QCOMPARE(PixelColor(image, 0, 0), TColor(clBlue));
        QCOMPARE(PixelColor(image, 1, 150), TColor(clBlue));
        QCOMPARE(PixelColor(image, 319, 150), TColor(clBlue));
        QCOMPARE(PixelColor(image, 160, 266), TColor(clBlue));
        QCOMPARE(PixelColor(image, 200, 14), TColor(12111578));
        QCOMPARE(PixelColor(image, 4, 200), TColor(12900057));
        // The buttons' one-pixel frames.
        QCOMPARE(PixelColor(image, 2 + 73, 27 + 200), TColor(clBlue));
        QCOMPARE(PixelColor(image, 2 + 73 + 1, 27 + 200 + 1), TColor(12900319));
        dialog.close();
    });
}

void DialogsTest::form3Closing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("flag");
    QTest::newRow("KAYDET") << QStringLiteral("MBtn1") << true;
    QTest::newRow("VAZGEC") << QStringLiteral("MBtn2") << false;
    QTest::newRow("close button") << QStringLiteral("MSpedBtn3") << false;
    QTest::newRow("F12 in the explanation") << QStringLiteral("F12") << false;
}

void DialogsTest::form3Closing() {
    QFETCH(QString, how);
    QFETCH(bool, flag);
    TForm3 dialog;
    bool focus_in_key_word = false;
    const bool closed = RunDialog(dialog, [&] {
        focus_in_key_word = dialog.focusWidget() == dialog.yeni_kelime();
        if (how == QStringLiteral("MBtn1")) {
            QTest::mouseClick(dialog.MBtn1()->ClickSurface(), Qt::LeftButton);
        } else if (how == QStringLiteral("MBtn2")) {
            QTest::mouseClick(dialog.MBtn2()->ClickSurface(), Qt::LeftButton);
        } else if (how == QStringLiteral("MSpedBtn3")) {
            QTest::mouseClick(dialog.MSpedBtn3(), Qt::LeftButton);
        } else {
            dialog.yeni_tamini()->setFocus();
            QTest::keyClick(dialog.yeni_tamini(), Qt::Key_F12);
        }
    });
    QVERIFY(closed);
    QVERIFY(focus_in_key_word);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.ResultFlag(), flag);
}

void DialogsTest::form3EscClosesNothingAndShowResetsTheFlag() {
    TForm3 dialog;
    RunDialog(dialog, [&] { QTest::mouseClick(dialog.MBtn1()->ClickSurface(), Qt::LeftButton); });
    QVERIFY(dialog.ResultFlag());
    bool open_after_esc = false;
    bool flag_while_shown = true;
    RunDialog(dialog, [&] {
        flag_while_shown = dialog.ResultFlag();
        QTest::keyClick(dialog.yeni_kelime(), Qt::Key_Escape);
        open_after_esc = dialog.isVisible();
        QTest::keyClick(dialog.yeni_kelime(), Qt::Key_F12);
    });
    QVERIFY(!flag_while_shown);
    QVERIFY(open_after_esc);
    QVERIFY(!dialog.ResultFlag());
}

void DialogsTest::editorViewWritesAPrivateFileAndRemovesIt() {
    QStringList opened;
    QString path;
    {
        TEditorView view([&](const QString& file) {
            opened << file;
            return true;
        });
        path = view.Show(QStringLiteral("İğne"), QStringLiteral("birinci satır\r\nikinci satır\n"));
        QCOMPARE(opened, QStringList { path });
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
            QStringLiteral("İğne\n\nbirinci satır\nikinci satır\n\n"));
        QCOMPARE(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
            QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther)));
        QCOMPARE(
            QFileInfo(path).absolutePath(), QFileInfo(TEditorView::Directory()).absoluteFilePath());
        QVERIFY(path.endsWith(QStringLiteral(".txt")));
        // A second view of an entry is a file of its own; the first stays for its editor.
        const QString second = view.Show(QStringLiteral("a"), QString());
        QVERIFY(second != path);
        QVERIFY(QFile::exists(path));
        QCOMPARE(view.Files().size(), size_t(2));
    }
    QVERIFY(!QFile::exists(path));
}

void DialogsTest::editorViewDropsTheFileWhenNoEditorStarts() {
    QString seen;
    TEditorView view([&](const QString& file) {
        seen = file;
        return false;
    });
    const QString path = view.Show(QStringLiteral("kalem"), QStringLiteral("yazı aracı"));
    QCOMPARE(seen, path);
    QVERIFY(!QFile::exists(path));
    QVERIFY(view.Files().empty());
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
