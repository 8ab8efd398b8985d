#include "controls/mbtn.h"

#include <QEvent>
#include <QPainter>

namespace zendo {

TMBtn::TMBtn(QWidget* parent)
    : QWidget(parent)
    , click_surface_(new TMSpedBtn(this)) {
    click_surface_->SetFlat(true);
    click_surface_->setGeometry(1, 1, kDefaultWidth - 2, kDefaultHeight - 2);
    click_surface_->raise();
    connect(click_surface_, &TMSpedBtn::OnClick, this, [this] { emit OnClick(); });
    resize(kDefaultWidth, kDefaultHeight);
}

void TMBtn::SetButtonText(const QString& text) {
    button_text_ = text;
    update();
}

void TMBtn::SetZeminRengi(TColor color) {
    zemin_rengi_ = color;
    update();
}

void TMBtn::SetCerceveRengi(TColor color) {
    cerceve_rengi_ = color;
    update();
}

void TMBtn::SetYatayHizalama(TAlignment alignment) {
    yatay_hizalama_ = alignment;
    update();
}

void TMBtn::SetDikeyHizalama(TTextLayout layout) {
    if (layout == dikey_hizalama_)
        return;
    dikey_hizalama_ = layout;
    update();
}

void TMBtn::SetFontColor(TColor color) {
    font_color_ = color;
    update();
}

void TMBtn::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ColorFromTColor(cerceve_rengi_));
    const QRect field = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(field, ColorFromTColor(zemin_rengi_));
    int alignment = Qt::AlignHCenter;
    if (yatay_hizalama_ == taLeftJustify)
        alignment = Qt::AlignLeft;
    else if (yatay_hizalama_ == taRightJustify)
        alignment = Qt::AlignRight;
    if (dikey_hizalama_ == tlTop)
        alignment |= Qt::AlignTop;
    else if (dikey_hizalama_ == tlBottom)
        alignment |= Qt::AlignBottom;
    else
        alignment |= Qt::AlignVCenter;
    painter.setClipRect(field);
    DrawCaption(painter, field, button_text_, alignment, ColorFromTColor(font_color_), isEnabled());
}

void TMBtn::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    click_surface_->setGeometry(1, 1, std::max(0, width() - 2), std::max(0, height() - 2));
}

bool TMBtn::event(QEvent* event) {
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange)
        update();
    return QWidget::event(event);
}

} // namespace zendo
