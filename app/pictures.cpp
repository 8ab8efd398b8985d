#include "app/pictures.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace zendo {

namespace {

constexpr QRgb kGlyphGrey = qRgb(191, 191, 191);

QPixmap Canvas(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// The second, disabled image of a two-image glyph: the first in grey.
QPixmap WithDisabledImage(const QPixmap& up) {
    QPixmap both = Canvas(up.width() * 2, up.height());
    QPainter painter(&both);
    painter.drawPixmap(0, 0, up);
    QImage grey = up.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            const QRgb pixel = grey.pixel(x, y);
            const int level = 128 + qGray(pixel) / 3;
            grey.setPixel(x, y, qRgba(level, level, level, qAlpha(pixel)));
        }
    }
    painter.drawImage(up.width(), 0, grey);
    return both;
}

} // namespace

QPixmap CloseGlyph() {
    QImage image(10, 9, QImage::Format_RGB32);
    image.fill(kGlyphGrey);
    for (int i = 0; i < 7; ++i) {
        for (int dx = 0; dx < 2; ++dx) {
            image.setPixel(1 + i + dx, 1 + i, qRgb(0, 0, 0));
            image.setPixel(8 - i - dx, 1 + i, qRgb(0, 0, 0));
        }
    }
    return QPixmap::fromImage(image);
}

QPixmap MinimiseGlyph() {
    QImage image(10, 9, QImage::Format_RGB32);
    image.fill(kGlyphGrey);
    for (int x = 1; x <= 8; ++x) {
        image.setPixel(x, 5, qRgb(0, 0, 0));
        image.setPixel(x, 6, qRgb(0, 0, 0));
    }
    return QPixmap::fromImage(image);
}

QPixmap SendGlyph() {
    QPixmap pixmap = Canvas(16, 16);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 60, 120), 1));
    painter.setBrush(QColor(250, 245, 220));
    painter.drawRect(QRectF(0.5, 3.5, 12, 9));
    painter.drawPolyline(QPolygonF({ { 0.5, 3.5 }, { 6.5, 8.5 }, { 12.5, 3.5 } }));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 150, 0));
    painter.drawPolygon(QPolygonF({ { 9, 9 }, { 16, 12.5 }, { 9, 16 } }));
    return pixmap;
}

QPixmap AttachGlyph() {
    QPixmap pixmap = Canvas(16, 16);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(90, 90, 110), 1.5));
    QPainterPath clip;
    clip.moveTo(10, 4);
    clip.lineTo(10, 12);
    clip.arcTo(QRectF(5, 9.5, 5, 5), 0, -180);
    clip.lineTo(5, 3);
    clip.arcTo(QRectF(5, 0.5, 7.5, 5), 180, -180);
    clip.lineTo(12.5, 11);
    painter.drawPath(clip);
    return pixmap;
}

QPixmap NoteGlyph() {
    QPixmap pixmap = Canvas(16, 16);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(150, 100, 0), 1));
    painter.setBrush(QColor(255, 210, 40));
    painter.drawPolygon(QPolygonF({ { 8, 1 }, { 15.5, 14.5 }, { 0.5, 14.5 } }));
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(QPointF(8, 5.5), QPointF(8, 10));
    painter.drawPoint(QPointF(8, 12.5));
    return pixmap;
}

QPixmap ExitGlyph() {
    QPixmap up = Canvas(16, 16);
    QPainter painter(&up);
    painter.setPen(QColor(90, 60, 20));
    painter.setBrush(QColor(170, 120, 60));
    painter.drawRect(2, 1, 8, 14);
    painter.setBrush(QColor(250, 220, 120));
    painter.drawEllipse(7, 7, 2, 2);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 0, 0));
    painter.drawPolygon(QPolygonF({ { 10, 5 }, { 15.5, 8.5 }, { 10, 12 } }));
    painter.end();
    return WithDisabledImage(up);
}

QPixmap RemoveGlyph() {
    QPixmap up = Canvas(16, 16);
    QPainter painter(&up);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(200, 0, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(4, 4), QPointF(12, 12));
    painter.drawLine(QPointF(12, 4), QPointF(4, 12));
    painter.end();
    return WithDisabledImage(up);
}

QPixmap MailPicture() {
    QPixmap pixmap = Canvas(34, 34);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 50, 120), 1.2));
    painter.setBrush(QColor(255, 250, 230));
    painter.drawRect(QRectF(1.5, 6.5, 28, 20));
    painter.drawPolyline(QPolygonF({ { 1.5, 6.5 }, { 15.5, 17.5 }, { 29.5, 6.5 } }));
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 110, 200));
    painter.drawText(QRect(15, 15, 16, 16), Qt::AlignCenter, QStringLiteral("@"));
    return pixmap;
}

QPixmap KorvanLogo() {
    QPixmap pixmap(230, 113);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 113);
    sky.setColorAt(0, QColor(20, 40, 140));
    sky.setColorAt(1, QColor(90, 150, 255));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sky);
    painter.drawRoundedRect(QRectF(2, 2, 226, 109), 12, 12);
    // A stylised K of two strokes beside the name.
    painter.setBrush(QColor(255, 200, 40));
    painter.drawPolygon(QPolygonF({ { 18, 22 }, { 30, 22 }, { 30, 90 }, { 18, 90 } }));
    painter.drawPolygon(
        QPolygonF({ { 30, 56 }, { 56, 22 }, { 70, 22 }, { 44, 56 }, { 70, 90 }, { 56, 90 } }));
    QFont name(QStringLiteral("Liberation Sans"));
    name.setPixelSize(34);
    name.setBold(true);
    painter.setFont(name);
    painter.setPen(QColor(0, 0, 40));
    painter.drawText(
        QRect(78, 26, 150, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ORVAN"));
    painter.setPen(Qt::white);
    painter.drawText(
        QRect(76, 24, 150, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ORVAN"));
    QFont line(QStringLiteral("Liberation Sans"));
    line.setPixelSize(13);
    line.setItalic(true);
    painter.setFont(line);
    painter.setPen(QColor(255, 230, 150));
    painter.drawText(QRect(78, 68, 148, 20), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("yazılım geliştirme"));
    return pixmap;
}

QPixmap KorvanIcon() {
    QPixmap pixmap = Canvas(16, 16);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 40, 140), 1));
    painter.setBrush(QColor(60, 120, 230));
    painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(6.8, 3, 2.4, 2.4));
    painter.drawRect(QRectF(6.8, 6.5, 2.4, 6.5));
    return pixmap;
}

QPixmap ZendoIcon() {
    QPixmap pixmap = Canvas(64, 64);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 255));
    painter.drawRoundedRect(QRectF(6, 4, 48, 56), 4, 4);
    painter.setBrush(QColor(0xd9, 0xd5, 0xc4));
    painter.drawRoundedRect(QRectF(8, 14, 44, 44), 2, 2);
    painter.setBrush(QColor(0xda, 0xca, 0xb8));
    painter.drawRoundedRect(QRectF(8, 6, 44, 8), 2, 2);
    painter.setBrush(QColor(0, 128, 0));
    painter.drawRect(QRectF(13, 20, 34, 3));
    painter.drawRect(QRectF(13, 27, 26, 3));
    painter.drawRect(QRectF(13, 34, 30, 3));
    painter.drawRect(QRectF(13, 41, 20, 3));
    painter.setBrush(QColor(255, 255, 255, 153));
    painter.setPen(QPen(QColor(0x20, 0x20, 0x60), 3.5));
    painter.drawEllipse(QPointF(42, 44), 9, 9);
    painter.setPen(QPen(QColor(0x20, 0x20, 0x60), 5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(48.5, 50.5), QPointF(58, 60));
    return pixmap;
}

} // namespace zendo
