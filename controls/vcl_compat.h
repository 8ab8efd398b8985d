// The Windows stand-ins that every window and control shares: TColor numbers and the toolkit's
// named colours, the fonts of the window descriptions mapped to installed metric-compatible
// faces, Windows-1254 text at the Qt boundary, one-button message boxes that tests can
// intercept, edge drawing, and the conventions of the glossary's windows (drag by a press on the
// background or frame, F12 closes, Enter moves the focus like Tab).
// Thread-safety: the colour and text conversions are pure and may run on any thread; everything
// else belongs to the UI thread. Helpers installed on a window live as its children.
#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class QPainter;
class QRect;
class QWidget;

namespace zendo {

// A colour as the window descriptions give it: blue, green and red from the high byte down
// (0x00BBGGRR). With the high bit set, the low byte indexes a system colour instead.
using TColor = uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;

inline constexpr TColor clWindow = 0x80000005;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clHighlight = 0x8000000D;
inline constexpr TColor clHighlightText = 0x8000000E;
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor clBtnShadow = 0x80000010;
inline constexpr TColor clGrayText = 0x80000011;
inline constexpr TColor clBtnText = 0x80000012;
inline constexpr TColor clBtnHighlight = 0x80000014;
inline constexpr TColor cl3DDkShadow = 0x80000015;
inline constexpr TColor cl3DLight = 0x80000016;

// System colours take the classic Windows scheme; an unknown system index gives black.
QColor ColorFromTColor(TColor color);
// Sets the widget's background (and, for editors, its base) to `color` and fills it.
void SetWidgetColor(QWidget* widget, TColor color);
// Sets the colour of the widget's text.
void SetFontColor(QWidget* widget, TColor color);

// The flat one-pixel frame of the edit boxes and memos (Raize's flat and status frames) in
// `frame_color`, around a field in `color`.
void SetFlatFrame(QWidget* edit, TColor color, TColor frame_color);

// Moves a top-level window to the middle of its screen (poScreenCenter).
void CenterOnScreen(QWidget* window);

// Horizontal alignment and vertical layout of a caption.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// The installed family that stands in for a face of the window descriptions: "Arial" is
// Liberation Sans (same advance widths); "Tahoma" and "MS Sans Serif" (the bitmap face that
// Tahoma was drawn to replace) are Liberation Sans too, close to Tahoma in width, since the
// only face with Tahoma's metrics (Wine's) misplaces the dotted capital İ. DejaVu Sans is the
// fallback for anything missing.
QString MappedFontFamily(std::string_view face);
// `height` as the descriptions give it: negative is the character height in pixels, positive
// the cell height (character height plus internal leading). `styles` is a set of TFontStyle.
QFont WinFont(std::string_view face, int height, unsigned styles = 0);

// Conversions at the boundary between engine texts (Windows-1254) and Qt.
QString FromCp1254(std::string_view text);
std::string ToCp1254(const QString& text);

// One-button modal message boxes (MessageDlg with mbOK).
enum class TMsgDlgType { mtWarning, mtError, mtInformation };
void MessageDlg(QWidget* parent, const QString& text, TMsgDlgType type);
// Replaces the message box for every later call (tests record instead of blocking); an empty
// hook restores the real box. Returns the previous hook.
using TMessageBoxHook = std::function<void(QWidget* parent, const QString& text, TMsgDlgType)>;
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

// A one-pixel bevel around `rect`: raised has the highlight on the top and left edges and the
// shadow on the bottom and right; sunken the reverse.
void DrawEdge(QPainter& painter, const QRect& rect, bool raised);
// A caption with '&' marking the next letter as underlined ("&&" is one ampersand).
void DrawCaption(QPainter& painter, const QRect& rect, const QString& text, int qt_alignment,
    const QColor& color, bool enabled);

// Drags `window` by a press of any mouse button on any of the handles (the window's background,
// frame strips and labels; never its controls), through the window manager where it can move
// windows and by following the mouse where it cannot. Owned by `window`.
class TWindowDrag : public QObject {
    Q_OBJECT
public:
    TWindowDrag(QWidget* window, std::initializer_list<QWidget*> handles);
    void AddHandle(QWidget* handle);

signals:
    void DragStarted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    bool following_ = false;
    QPoint grab_offset_;
};

// The key preview of a window: every key pressed in any of its widgets passes here first. F12
// closes the window; with `enter_moves_focus`, Enter (Return or keypad Enter) in a widget whose
// "Tag" property is 0 or unset is swallowed and moves the focus on as Tab would. Owned by
// `window`.
class TKeyPreview : public QObject {
    Q_OBJECT
public:
    TKeyPreview(QWidget* window, bool enter_moves_focus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    bool enter_moves_focus_;
};

} // namespace zendo
