// TPanel: the toolkit's panel, a coloured rectangle with an optional one-pixel bevel and a
// centred caption, that reports double clicks. The windows build their title bars and frame
// strips from it.
// Thread-safety: UI thread only; owned by its parent widget.
#pragma once

#include "controls/vcl_compat.h"

#include <QWidget>

namespace zendo {

class TPanel : public QWidget {
    Q_OBJECT

public:
    enum TBevel { bvNone, bvRaised, bvLowered };

    explicit TPanel(QWidget* parent = nullptr, TColor color = clBtnFace, TBevel bevel = bvNone);

    void SetColor(TColor color);
    TColor Color() const { return color_; }
    void SetBevel(TBevel bevel);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    void SetFontColor(TColor color);

signals:
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    TColor color_;
    TBevel bevel_;
    TColor font_color_ = clWindowText;
    QString caption_;
};

} // namespace zendo
