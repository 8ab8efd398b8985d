#include "app/window_frame.h"

namespace zendo {

namespace {

TPanel* MakePanel(QWidget* parent, const char* name, TColor color, const QRect& geometry,
    TPanel::TBevel bevel = TPanel::bvNone) {
    auto* panel = new TPanel(parent, color, bevel);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setGeometry(geometry);
    return panel;
}

} // namespace

TWindowFrame::TWindowFrame(QWidget* window, QSize client, bool raised_title) {
    const int w = client.width();
    const int h = client.height();
    const int f = kFrameWidth;
    const int title_bottom = f + kTitleBarHeight;
    const int work_top = title_bottom + f;
    Panel3 = MakePanel(window, "Panel3", clBlue, QRect(0, 0, w, f));
    Panel2 = MakePanel(window, "Panel2", kTitleBarColor, QRect(0, f, w, kTitleBarHeight));
    Panel9 = MakePanel(Panel2, "Panel9", clBlue, QRect(0, 0, f, kTitleBarHeight));
    Panel10 = MakePanel(Panel2, "Panel10", clBlue, QRect(w - f, 0, f, kTitleBarHeight));
    Panel11 = MakePanel(Panel2, "Panel11", clWhite, QRect(f, 0, w - 2 * f, kTitleBarHeight),
        raised_title ? TPanel::bvRaised : TPanel::bvNone);
    // The label fills the panel inside its bevel.
    const int bevel = raised_title ? 1 : 0;
    Label1 = MakePanel(Panel11, "Label1", kTitleLabelColor,
        QRect(bevel, bevel, Panel11->width() - 2 * bevel, kTitleBarHeight - 2 * bevel));
    Panel8 = MakePanel(window, "Panel8", clBlue, QRect(0, title_bottom, w, f));
    Panel6 = MakePanel(window, "Panel6", clBlue, QRect(0, h - f, w, f));
    Panel4 = MakePanel(window, "Panel4", clBlue, QRect(0, work_top, f, h - f - work_top));
    Panel5 = MakePanel(window, "Panel5", clBlue, QRect(w - f, work_top, f, h - f - work_top));
    Panel1 = MakePanel(
        window, "Panel1", kTitleBarColor, QRect(f, work_top, w - 2 * f, h - f - work_top));
}

std::vector<TPanel*> TWindowFrame::ActivationStrips() const {
    return { Panel3, Panel4, Panel6, Panel5, Panel8, Panel10, Panel9 };
}

} // namespace zendo
