#include "controls/mspedbtn.h"

#include <QBitmap>
#include <QEnterEvent>
#include <QPainter>

namespace zendo {

namespace {

constexpr int kGlyphSpacing = 4;

// A one-colour copy of the non-transparent pixels of `image`.
QPixmap Silhouette(const QPixmap& image, const QColor& color) {
    QPixmap result(image.size());
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.drawPixmap(0, 0, image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

} // namespace

TMSpedBtn::TMSpedBtn(QWidget* parent)
    : QAbstractButton(parent) {
    // A speed button is a graphic control: it never takes the focus.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, false);
    resize(23, 22);
    connect(this, &QAbstractButton::clicked, this, [this] { emit OnClick(); });
}

void TMSpedBtn::SetCaption(const QString& caption) {
    setText(caption);
    update();
}

void TMSpedBtn::SetFlat(bool flat) {
    flat_ = flat;
    update();
}

void TMSpedBtn::SetGlyph(const QPixmap& glyph, int num_glyphs) {
    glyph_ = glyph;
    if (!glyph_.isNull() && !glyph_.hasAlphaChannel()) {
        const QImage image = glyph_.toImage();
        const QRgb transparent = image.pixel(0, image.height() - 1);
        glyph_.setMask(QBitmap::fromImage(image.createMaskFromColor(transparent, Qt::MaskInColor)));
    }
    num_glyphs_ = std::max(1, num_glyphs);
    update();
}

void TMSpedBtn::SetFontColor(TColor color) {
    font_color_ = color;
    update();
}

QPixmap TMSpedBtn::GlyphImage(bool enabled) const {
    if (glyph_.isNull())
        return {};
    const int width = glyph_.width() / num_glyphs_;
    if (enabled)
        return glyph_.copy(0, 0, width, glyph_.height());
    if (num_glyphs_ >= 2)
        return glyph_.copy(width, 0, width, glyph_.height());
    // No disabled image of its own: the toolkit's embossed grey silhouette.
    const QPixmap up = glyph_.copy(0, 0, width, glyph_.height());
    QPixmap result(width + 1, glyph_.height() + 1);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.drawPixmap(1, 1, Silhouette(up, ColorFromTColor(clBtnHighlight)));
    painter.drawPixmap(0, 0, Silhouette(up, ColorFromTColor(clBtnShadow)));
    return result;
}

QSize TMSpedBtn::sizeHint() const {
    return QSize(23, 22);
}

void TMSpedBtn::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect bounds = rect();
    const bool down = isDown() || isChecked();
    const bool enabled = isEnabled();
    if (flat_) {
        if (down)
            DrawEdge(painter, bounds, false);
        else if (mouse_in_control_ && enabled)
            DrawEdge(painter, bounds, true);
    } else {
        painter.fillRect(bounds, ColorFromTColor(clBtnFace));
        DrawEdge(painter, bounds, !down);
        const QRect inner = bounds.adjusted(1, 1, -1, -1);
        if (!down) {
            painter.setPen(ColorFromTColor(cl3DDkShadow));
            painter.drawLine(bounds.bottomLeft(), bounds.bottomRight());
            painter.drawLine(bounds.topRight(), bounds.bottomRight());
            DrawEdge(painter, inner.adjusted(0, 0, -1, -1), true);
        }
    }

    const QPixmap glyph = GlyphImage(enabled);
    const QString caption = text();
    const QFontMetrics metrics(font());
    const int text_width = caption.isEmpty()
        ? 0
        : metrics.horizontalAdvance(QString(caption).remove(QLatin1Char('&')));
    const int glyph_width = glyph.isNull() ? 0 : glyph.width();
    const int gap = (glyph_width > 0 && text_width > 0) ? kGlyphSpacing : 0;
    const int content_width = glyph_width + gap + text_width;
    int x = (bounds.width() - content_width + 1) / 2;
    const int shift = down ? 1 : 0;
    if (!glyph.isNull()) {
        const int y = (bounds.height() - glyph.height() + 1) / 2;
        painter.drawPixmap(x + shift, y + shift, glyph);
        x += glyph_width + gap;
    }
    if (!caption.isEmpty()) {
        const QRect text_rect(x + shift, shift, text_width + 2, bounds.height());
        DrawCaption(painter, text_rect, caption, Qt::AlignLeft | Qt::AlignVCenter,
            ColorFromTColor(font_color_), enabled);
    }
}

void TMSpedBtn::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    mouse_in_control_ = true;
    update();
    MouseEnter();
}

void TMSpedBtn::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    mouse_in_control_ = false;
    update();
    MouseLeave();
}

void TMSpedBtn::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange)
        update();
}

void TMSpedBtn::MouseEnter() {
    emit OnMouseEnter();
}

void TMSpedBtn::MouseLeave() {
    emit OnMouseLeave();
}

} // namespace zendo
