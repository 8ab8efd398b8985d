// The framed text button and the hover speed button: frame pixels, disabled text, clicks, and
// the enter and leave events.
#include "controls/mbtn.h"
#include "controls/mspedbtn.h"
#include "support/gui_support.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace zendo;
using zendo::testing::PixelColor;
using zendo::testing::SaveScreenshot;

namespace {

// Counts the pixels of `image` inside `area` whose colour is `color`.
int CountPixels(const QImage& image, const QRect& area, TColor color) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (PixelColor(image, x, y) == color)
                ++count;
        }
    }
    return count;
}

// Counts the pixels of the text colours: dark (black text, antialiased edges included) and
// shadow grey (the disabled text).
int CountDark(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += qGray(image.pixel(x, y)) < 80 ? 1 : 0;
    }
    return count;
}

// Counts the neutral mid-grey pixels: the shadow colour of disabled text and its antialiased
// edges.
int CountShadowGrey(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb rgb = image.pixel(x, y);
            const int spread = std::max({ qRed(rgb), qGreen(rgb), qBlue(rgb) })
                - std::min({ qRed(rgb), qGreen(rgb), qBlue(rgb) });
            count += spread < 12 && qGray(rgb) >= 90 && qGray(rgb) <= 170 ? 1 : 0;
        }
    }
    return count;
}

// The first pixel of `image` whose colour differs from what the frame layout asks for, as
// "x,y", or empty when the one-pixel ring is `frame` and everything inside it `field`.
QString FrameMismatch(const QImage& image, TColor frame, TColor field) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool ring = x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1;
            if (PixelColor(image, x, y) != (ring ? frame : field))
                return QStringLiteral("%1,%2").arg(x).arg(y);
        }
    }
    return {};
}

// A hover button that records what its own enter and leave handling had done before its
// overridable steps ran.
class RecordingSpedBtn : public TMSpedBtn {
public:
    using TMSpedBtn::TMSpedBtn;
    QStringList steps;

protected:
    void MouseEnter() override {
        steps << (MouseInControl() ? QStringLiteral("enter-after-hover") : QStringLiteral("enter"));
        TMSpedBtn::MouseEnter();
    }
    void MouseLeave() override {
        steps << (MouseInControl() ? QStringLiteral("leave") : QStringLiteral("leave-after-hover"));
        TMSpedBtn::MouseLeave();
    }
};

} // namespace

class ButtonsTest : public QObject {
    Q_OBJECT

private slots:
    void frameSurroundsField_data();
    void frameSurroundsField();
    void textStaysInsideFrame();
    void disableGreysTextAndStopsClicks();
    void clickFiresOnce();
    void alignmentMovesText();
    void hoverFiresEnterThenLeaveOnce();
    void hoverFaceOnlyWhileMouseIsOver();
};

void ButtonsTest::frameSurroundsField_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<uint>("frame");
    QTest::addColumn<uint>("field");
    QTest::newRow("default 83x27") << 83 << 27 << uint(clBlue) << uint(TMBtn::kDefaultZeminRengi);
    QTest::newRow("resized 120x40") << 120 << 40 << uint(clBlue) << uint(TMBtn::kDefaultZeminRengi);
    QTest::newRow("resized 20x6, own colours") << 20 << 6 << uint(0x0000FF) << uint(0x00FFFF);
}

void ButtonsTest::frameSurroundsField() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(uint, frame);
    QFETCH(uint, field);
    TMBtn button;
    QCOMPARE(button.size(), QSize(83, 27));
    QCOMPARE(button.ClickSurface()->geometry(), QRect(1, 1, 81, 25));
    button.SetCerceveRengi(frame);
    button.SetZeminRengi(field);
    button.resize(width, height);
    const QImage image = button.grab().toImage();
    QCOMPARE(button.ClickSurface()->geometry(), QRect(1, 1, width - 2, height - 2));
    QCOMPARE(image.size(), QSize(width, height));
    QCOMPARE(FrameMismatch(image, frame, field), QString());
}

void ButtonsTest::textStaysInsideFrame() {
    TMBtn button;
    button.setFont(WinFont("MS Sans Serif", -11, fsBold));
    button.SetButtonText(QStringLiteral("&VAZGEÇ"));
    const QImage image = SaveScreenshot(&button, QStringLiteral("tmbtn_vazgec"));
    const QRect ring_top(0, 0, image.width(), 1);
    const QRect ring_bottom(0, image.height() - 1, image.width(), 1);
    const QRect ring_left(0, 0, 1, image.height());
    const QRect ring_right(image.width() - 1, 0, 1, image.height());
    for (const QRect& ring : { ring_top, ring_bottom, ring_left, ring_right })
        QCOMPARE(CountPixels(image, ring, clBlue), ring.width() * ring.height());
    const QRect field = image.rect().adjusted(1, 1, -1, -1);
    QVERIFY(CountDark(image, field) > 20);

    // The ampersand is not drawn: the text spans the same columns as without it. It underlines
    // the V: a row under the V is dark in places where the plain text has nothing.
    TMBtn plain;
    plain.setFont(button.font());
    plain.SetButtonText(QStringLiteral("VAZGEÇ"));
    const QImage plain_image = plain.grab().toImage();
    auto dark_columns = [&field](const QImage& picture) {
        int first = -1;
        int last = -1;
        for (int x = field.left(); x <= field.right(); ++x) {
            if (CountDark(picture, QRect(x, field.top(), 1, field.height())) > 0) {
                first = first < 0 ? x : first;
                last = x;
            }
        }
        return std::pair { first, last };
    };
    const auto [first, last] = dark_columns(image);
    QVERIFY(std::abs(first - dark_columns(plain_image).first) <= 1);
    QVERIFY(std::abs(last - dark_columns(plain_image).second) <= 1);
    bool underlined = false;
    for (int y = field.top(); y <= field.bottom(); ++y) {
        const QRect under_v(first, y, 7, 1);
        underlined |= CountDark(image, under_v) >= 4 && CountDark(plain_image, under_v) == 0;
    }
    QVERIFY(underlined);
}

void ButtonsTest::disableGreysTextAndStopsClicks() {
    TMBtn button;
    button.SetButtonText(QStringLiteral("&KAYDET"));
    button.setFont(WinFont("MS Sans Serif", -11, fsBold));
    QSignalSpy clicks(&button, &TMBtn::OnClick);
    const QRect field = QRect(1, 1, 81, 25);

    button.setEnabled(false);
    QVERIFY(!button.ClickSurface()->isEnabled());
    const QImage disabled = SaveScreenshot(&button, QStringLiteral("tmbtn_disabled"));
    QCOMPARE(CountDark(disabled, field), 0);
    QVERIFY(CountShadowGrey(disabled, field) > 20);
    QTest::mouseClick(button.ClickSurface(), Qt::LeftButton);
    QCOMPARE(clicks.count(), 0);

    button.setEnabled(true);
    QVERIFY(button.ClickSurface()->isEnabled());
    const QImage enabled = SaveScreenshot(&button, QStringLiteral("tmbtn_kaydet"));
    QVERIFY(CountDark(enabled, field) > 20);
    QCOMPARE(CountPixels(enabled, field, clWhite), 0);
    QVERIFY(CountShadowGrey(enabled, field) < CountShadowGrey(disabled, field) / 2);
    QTest::mouseClick(button.ClickSurface(), Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
}

void ButtonsTest::clickFiresOnce() {
    QWidget window;
    window.resize(200, 100);
    auto* button = new TMBtn(&window);
    button->move(10, 10);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicks(button, &TMBtn::OnClick);
    QSignalSpy surface_clicks(button->ClickSurface(), &TMSpedBtn::OnClick);

    // The press lands on whatever widget lies under the middle of the button.
    QWidget* target = window.childAt(button->geometry().center());
    QCOMPARE(target, button->ClickSurface());
    QTest::mouseClick(target, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(surface_clicks.count(), 1);

    // Pressed on the button but released away from it is no click.
    QTest::mousePress(target, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(150, 50));
    QCOMPARE(clicks.count(), 1);
}

void ButtonsTest::alignmentMovesText() {
    // The text's left-most dark column moves with YatayHizalama.
    auto left_edge = [](TAlignment alignment) {
        TMBtn button;
        button.resize(150, 27);
        button.SetButtonText(QStringLiteral("Şğİ"));
        button.SetYatayHizalama(alignment);
        const QImage image = button.grab().toImage();
        for (int x = 1; x < image.width() - 1; ++x) {
            for (int y = 1; y < image.height() - 1; ++y) {
                if (qGray(image.pixel(x, y)) < 100)
                    return x;
            }
        }
        return -1;
    };
    const int left = left_edge(taLeftJustify);
    const int centre = left_edge(taCenter);
    const int right = left_edge(taRightJustify);
    QVERIFY(left >= 1 && left < 6);
    QVERIFY(centre > left + 20);
    QVERIFY(right > centre + 20);
}

void ButtonsTest::hoverFiresEnterThenLeaveOnce() {
    QWidget window;
    window.resize(200, 100);
    auto* button = new RecordingSpedBtn(&window);
    button->SetFlat(true);
    button->setGeometry(20, 20, 96, 17);
    button->SetCaption(QStringLiteral("Sorgulama Türü"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseMove(&window, QPoint(150, 80));
    QSignalSpy enters(button, &TMSpedBtn::OnMouseEnter);
    QSignalSpy leaves(button, &TMSpedBtn::OnMouseLeave);

    QTest::mouseMove(&window, QPoint(30, 25));
    QTest::mouseMove(&window, QPoint(40, 28)); // moving inside the button is no new enter
    QCOMPARE(enters.count(), 1);
    QCOMPARE(leaves.count(), 0);
    QTest::mouseMove(&window, QPoint(150, 80));
    QCOMPARE(enters.count(), 1);
    QCOMPARE(leaves.count(), 1);
    // The button's own hover handling ran before each overridable step.
    QCOMPARE(button->steps,
        QStringList({ QStringLiteral("enter-after-hover"), QStringLiteral("leave-after-hover") }));
}

void ButtonsTest::hoverFaceOnlyWhileMouseIsOver() {
    QWidget window;
    window.resize(200, 100);
    SetWidgetColor(&window, 12900057);
    auto* button = new TMSpedBtn(&window);
    button->SetFlat(true);
    button->setFont(WinFont("Arial", -11, fsBold));
    button->setGeometry(20, 20, 56, 17);
    button->SetCaption(QStringLiteral("Hakkında"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseMove(&window, QPoint(150, 80));

    // Flat and away from the mouse: no face, the parent's colour shows at the corners.
    QImage image = button->grab().toImage();
    QCOMPARE(PixelColor(image, 0, 0), TColor(12900057));
    QCOMPARE(PixelColor(image, 55, 16), TColor(12900057));

    QTest::mouseMove(&window, QPoint(40, 28));
    image = SaveScreenshot(button, QStringLiteral("tmspedbtn_hover"));
    QCOMPARE(PixelColor(image, 0, 0), clWhite);
    QCOMPARE(PixelColor(image, 55, 16), TColor(0x808080));

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 8));
    image = button->grab().toImage();
    QCOMPARE(PixelColor(image, 0, 0), TColor(0x808080));
    QCOMPARE(PixelColor(image, 55, 16), clWhite);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(20, 8));

    QTest::mouseMove(&window, QPoint(150, 80));
    image = button->grab().toImage();
    QCOMPARE(PixelColor(image, 0, 0), TColor(12900057));
}

QTEST_MAIN(ButtonsTest)
#include "buttons_test.moc"
