#include "controls/panel.h"

#include <QMouseEvent>
#include <QPainter>

namespace zendo {

TPanel::TPanel(QWidget* parent, TColor color, TBevel bevel)
    : QWidget(parent)
    , color_(color)
    , bevel_(bevel) {
    SetWidgetColor(this, color);
}

void TPanel::SetColor(TColor color) {
    color_ = color;
    SetWidgetColor(this, color);
    update();
}

void TPanel::SetBevel(TBevel bevel) {
    bevel_ = bevel;
    update();
}

void TPanel::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TPanel::SetFontColor(TColor color) {
    font_color_ = color;
    update();
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ColorFromTColor(color_));
    if (bevel_ != bvNone)
        DrawEdge(painter, rect(), bevel_ == bvRaised);
    if (!caption_.isEmpty()) {
        painter.setFont(font());
        painter.setPen(ColorFromTColor(font_color_));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
    }
}

void TPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    emit DblClick();
}

} // namespace zendo
