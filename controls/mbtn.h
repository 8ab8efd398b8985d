// TMBtn: a push button drawn as a text field in ZeminRengi inside a one-pixel frame in
// CerceveRengi, under a flat click surface that shows the hover and press faces.
// Thread-safety: UI thread only; owned by its parent widget like any Qt widget; the click surface
// is its child.
#pragma once

#include "controls/mspedbtn.h"
#include "controls/vcl_compat.h"

#include <QWidget>

namespace zendo {

class TMBtn : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString ButtonText READ ButtonText WRITE SetButtonText)
    Q_PROPERTY(uint ZeminRengi READ ZeminRengi WRITE SetZeminRengi)
    Q_PROPERTY(uint CerceveRengi READ CerceveRengi WRITE SetCerceveRengi)

public:
    static constexpr int kDefaultWidth = 83;
    static constexpr int kDefaultHeight = 27;
    static constexpr TColor kDefaultZeminRengi = 12900319;

    explicit TMBtn(QWidget* parent = nullptr);

    // '&' underlines the next letter (it has no keyboard function); "&&" is one ampersand.
    QString ButtonText() const { return button_text_; }
    void SetButtonText(const QString& text);
    TColor ZeminRengi() const { return zemin_rengi_; }
    void SetZeminRengi(TColor color);
    TColor CerceveRengi() const { return cerceve_rengi_; }
    void SetCerceveRengi(TColor color);
    TAlignment YatayHizalama() const { return yatay_hizalama_; }
    void SetYatayHizalama(TAlignment alignment);
    TTextLayout DikeyHizalama() const { return dikey_hizalama_; }
    void SetDikeyHizalama(TTextLayout layout);
    // The colour of the text.
    void SetFontColor(TColor color);

    // The flat button over the text field that takes the mouse.
    TMSpedBtn* ClickSurface() const { return click_surface_; }

    QSize sizeHint() const override { return QSize(kDefaultWidth, kDefaultHeight); }

signals:
    void OnClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    QString button_text_;
    TColor zemin_rengi_ = kDefaultZeminRengi;
    TColor cerceve_rengi_ = clBlue;
    TColor font_color_ = clWindowText;
    TAlignment yatay_hizalama_ = taCenter;
    TTextLayout dikey_hizalama_ = tlCenter;
    TMSpedBtn* click_surface_;
};

} // namespace zendo
