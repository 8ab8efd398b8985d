// The frame that the glossary's borderless windows draw for themselves: a blue two-pixel strip
// round the window, a title bar (Panel2) of a coloured label between two blue strips, a blue
// strip under it, and the work panel (Panel1) that fills the rest. The strips and the title
// label are the parts that change colour with the application's activation.
// Thread-safety: UI thread only; every part is a child widget of the window.
#pragma once

#include "controls/panel.h"
#include "controls/vcl_compat.h"

#include <QSize>

#include <vector>

namespace zendo {

inline constexpr TColor kTitleBarColor = 12900057;
inline constexpr TColor kTitleLabelColor = 12111578;
inline constexpr TColor kInactiveFrameColor = 9868950;
inline constexpr int kTitleBarHeight = 23;
inline constexpr int kFrameWidth = 2;

struct TWindowFrame {
    // Lays the frame out over a `client` sized window. `raised_title`: Panel11 has the raised
    // bevel of the main window.
    TWindowFrame(QWidget* window, QSize client, bool raised_title);

    TPanel* Panel3; // top edge
    TPanel* Panel2; // title bar
    TPanel* Panel9; // title bar, left strip
    TPanel* Panel10; // title bar, right strip
    TPanel* Panel11; // title bar, the rest
    TPanel* Label1; // the title label filling Panel11
    TPanel* Panel8; // under the title bar
    TPanel* Panel4; // left edge
    TPanel* Panel5; // right edge
    TPanel* Panel6; // bottom edge
    TPanel* Panel1; // the work panel

    // The strips that change colour with activation, in the order they change:
    // Panel3, Panel4, Panel6, Panel5, Panel8, Panel10, Panel9.
    std::vector<TPanel*> ActivationStrips() const;
};

} // namespace zendo
