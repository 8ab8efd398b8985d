// The Windows stand-ins: TColor numbers, the font faces and their Turkish letters, Windows-1254
// at the boundary, the real message box, window drag and the key preview.
#include "controls/vcl_compat.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace zendo;

class VclCompatTest : public QObject {
    Q_OBJECT

private slots:
    void colours_data();
    void colours();
    void fontsAreTheMetricCompatibleFaces_data();
    void fontsAreTheMetricCompatibleFaces();
    void cp1254RoundTrip();
    void realMessageBoxShowsTextAndClosesWithOk();
    void dragStartsOnHandlesOnly();
    void keyPreviewClosesOnF12AndMovesFocusOnEnter();
};

void VclCompatTest::colours_data() {
    QTest::addColumn<uint>("tcolor");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("title label") << 12111578u << QColor(218, 206, 184);
    QTest::newRow("blue") << uint(clBlue) << QColor(0, 0, 255);
    QTest::newRow("grey 150") << 9868950u << QColor(150, 150, 150);
    QTest::newRow("button face") << uint(clBtnFace) << QColor(212, 208, 200);
    QTest::newRow("button shadow") << uint(clBtnShadow) << QColor(128, 128, 128);
    QTest::newRow("window text") << uint(clWindowText) << QColor(0, 0, 0);
}

void VclCompatTest::colours() {
    QFETCH(uint, tcolor);
    QFETCH(QColor, expected);
    QCOMPARE(ColorFromTColor(tcolor), expected);
}

void VclCompatTest::fontsAreTheMetricCompatibleFaces_data() {
    QTest::addColumn<QString>("face");
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("bold_family");
    const QString liberation = QStringLiteral("Liberation Sans");
    QTest::newRow("Arial") << QStringLiteral("Arial") << liberation << liberation;
    QTest::newRow("Tahoma") << QStringLiteral("Tahoma") << liberation << liberation;
    QTest::newRow("MS Sans Serif") << QStringLiteral("MS Sans Serif") << liberation << liberation;
}

void VclCompatTest::fontsAreTheMetricCompatibleFaces() {
    QFETCH(QString, face);
    QFETCH(QString, family);
    QFETCH(QString, bold_family);
    for (const unsigned styles : { 0u, unsigned(fsBold) }) {
        const QFont font = WinFont(face.toStdString(), -11, styles);
        const QFontInfo info(font);
        QCOMPARE(info.family(), styles == fsBold ? bold_family : family);
        QCOMPARE(info.pixelSize(), 11);
        QCOMPARE(info.bold(), styles == fsBold);
        // Every Turkish letter has its own glyph in the face itself.
        const QFontMetrics metrics(font);
        for (const QChar letter : QStringLiteral("ğĞşŞıİçÇöÖüÜ"))
            QVERIFY2(metrics.inFont(letter), qPrintable(QString(letter)));
    }
}

void VclCompatTest::cp1254RoundTrip() {
    const std::string bytes = "\xF0\xD0\xFE\xDE\xFD\xDD\xE7\xC7\xF6\xD6\xFC\xDC";
    const QString text = FromCp1254(bytes);
    QCOMPARE(text, QStringLiteral("ğĞşŞıİçÇöÖüÜ"));
    QCOMPARE(ToCp1254(text), bytes);
    QCOMPARE(ToCp1254(QStringLiteral("€ KELİME")), std::string("\x80 KEL\xDDME"));
}

void VclCompatTest::realMessageBoxShowsTextAndClosesWithOk() {
    QString shown_text;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        shown_text = box->text();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    MessageDlg(
        nullptr, QStringLiteral("\nE-POSTA BÖLÜMÜNÜ DOLDURMANIZ GEREKİR."), TMsgDlgType::mtError);
    QCOMPARE(shown_text, QStringLiteral("\nE-POSTA BÖLÜMÜNÜ DOLDURMANIZ GEREKİR."));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void VclCompatTest::dragStartsOnHandlesOnly() {
    QWidget window;
    window.resize(300, 200);
    auto* label = new QLabel(QStringLiteral("Başlık"), &window);
    label->setGeometry(10, 10, 100, 20);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(10, 50, 100, 22);
    auto* drag = new TWindowDrag(&window, { &window, label });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy started(drag, &TWindowDrag::DragStarted);

    QTest::mousePress(edit, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(edit, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(started.count(), 0);

    // Without a window manager to move it, the window follows the mouse until the release.
    const QPoint before = window.pos();
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(started.count(), 1);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), label->mapToGlobal(QPointF(45, 25)),
        Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &move);
    QCOMPARE(window.pos(), before + QPoint(40, 20));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(45, 25));

    QTest::mousePress(&window, Qt::RightButton, {}, QPoint(200, 150));
    QCOMPARE(started.count(), 2);
    QTest::mouseRelease(&window, Qt::RightButton, {}, QPoint(200, 150));
}

void VclCompatTest::keyPreviewClosesOnF12AndMovesFocusOnEnter() {
    QWidget window;
    auto* first = new QLineEdit(&window);
    auto* second = new QLineEdit(&window);
    auto* keeps_enter = new QLineEdit(&window);
    keeps_enter->setProperty("Tag", 1);
    second->move(0, 30);
    keeps_enter->move(0, 60);
    new TKeyPreview(&window, true);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy returned(keeps_enter, &QLineEdit::returnPressed);

    first->setFocus();
    QTest::keyClick(first, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), second);
    keeps_enter->setFocus();
    QTest::keyClick(keeps_enter, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), keeps_enter);
    QCOMPARE(returned.count(), 1);

    QTest::keyClick(keeps_enter, Qt::Key_F12);
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(VclCompatTest)
#include "vcl_compat_test.moc"
