// TMSpedBtn: the flat speed button of the title bars, with a caption and/or a glyph, a raised
// face while the mouse is over it and a sunken one while it is held down, and two extra events
// for the mouse entering and leaving it.
// Thread-safety: UI thread only; owned by its parent widget like any Qt widget.
#pragma once

#include "controls/vcl_compat.h"

#include <QAbstractButton>
#include <QPixmap>

namespace zendo {

class TMSpedBtn : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Flat READ Flat WRITE SetFlat)

public:
    explicit TMSpedBtn(QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);
    bool Flat() const { return flat_; }
    void SetFlat(bool flat);
    // A bitmap of `num_glyphs` images side by side: up, then disabled. A bitmap without an alpha
    // channel takes its bottom-left pixel's colour as transparent.
    void SetGlyph(const QPixmap& glyph, int num_glyphs = 1);
    QPixmap Glyph() const { return glyph_; }
    int NumGlyphs() const { return num_glyphs_; }
    // The colour of the caption.
    void SetFontColor(TColor color);
    // True while the mouse is over the button.
    bool MouseInControl() const { return mouse_in_control_; }

    QSize sizeHint() const override;

signals:
    void OnClick();
    void OnMouseEnter();
    void OnMouseLeave();

protected:
    // The steps that run after the button's own enter and leave handling; they fire the events.
    virtual void MouseEnter();
    virtual void MouseLeave();

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QPixmap GlyphImage(bool enabled) const;

    bool flat_ = false;
    bool mouse_in_control_ = false;
    QPixmap glyph_;
    int num_glyphs_ = 1;
    TColor font_color_ = clBtnText;
};

} // namespace zendo
