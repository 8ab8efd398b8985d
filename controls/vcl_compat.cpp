#include "controls/vcl_compat.h"

#include "db/base/locale.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cmath>

namespace zendo {

namespace {

// The classic Windows scheme, indexed by the system colour number (COLOR_SCROLLBAR = 0 ...).
struct SystemColor {
    uint8_t index;
    QRgb rgb;
};
constexpr SystemColor kSystemColors[] = {
    { 5, qRgb(255, 255, 255) }, // window
    { 8, qRgb(0, 0, 0) }, // window text
    { 13, qRgb(10, 36, 106) }, // highlight
    { 14, qRgb(255, 255, 255) }, // highlight text
    { 15, qRgb(212, 208, 200) }, // button face
    { 16, qRgb(128, 128, 128) }, // button shadow
    { 17, qRgb(128, 128, 128) }, // grey text
    { 18, qRgb(0, 0, 0) }, // button text
    { 20, qRgb(255, 255, 255) }, // button highlight
    { 21, qRgb(64, 64, 64) }, // 3D dark shadow
    { 22, qRgb(212, 208, 200) }, // 3D light
};

QString BaseFamily(std::string_view face) {
    // Wine's Tahoma, the one face with Tahoma's metrics, draws the dotted capital İ a pixel off
    // its place ("KELİ ME"), and bold it does not read as bold: a Turkish program shows İ
    // everywhere, so Arial's stand-in, close to Tahoma in width, draws Tahoma and MS Sans Serif.
    if (face == "Arial" || face == "Tahoma" || face == "MS Sans Serif")
        return QStringLiteral("Liberation Sans");
    return QStringLiteral("DejaVu Sans");
}

TMessageBoxHook& MessageBoxHook() {
    static TMessageBoxHook hook;
    return hook;
}

} // namespace

QColor ColorFromTColor(TColor color) {
    if ((color & 0x80000000u) != 0) {
        const uint8_t index = color & 0xFF;
        for (const SystemColor& system : kSystemColors) {
            if (system.index == index)
                return QColor(system.rgb);
        }
        return QColor(0, 0, 0);
    }
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

void SetWidgetColor(QWidget* widget, TColor color) {
    QPalette palette = widget->palette();
    const QColor qcolor = ColorFromTColor(color);
    palette.setColor(QPalette::Window, qcolor);
    palette.setColor(QPalette::Base, qcolor);
    palette.setColor(QPalette::Button, qcolor);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetFontColor(QWidget* widget, TColor color) {
    QPalette palette = widget->palette();
    const QColor qcolor = ColorFromTColor(color);
    palette.setColor(QPalette::WindowText, qcolor);
    palette.setColor(QPalette::Text, qcolor);
    palette.setColor(QPalette::ButtonText, qcolor);
    widget->setPalette(palette);
}

void SetFlatFrame(QWidget* edit, TColor color, TColor frame_color) {
    SetWidgetColor(edit, color);
    const QString selector = QString::fromLatin1(edit->metaObject()->className());
    edit->setStyleSheet(
        QStringLiteral("%1 { border: 1px solid %2; background: %3; }")
            .arg(selector, ColorFromTColor(frame_color).name(), ColorFromTColor(color).name()));
}

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

QString MappedFontFamily(std::string_view face) {
    return BaseFamily(face);
}

QFont WinFont(std::string_view face, int height, unsigned styles) {
    QFont font;
    const QString family = BaseFamily(face);
    font.setFamilies({ family, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans") });
    // A positive height counts the internal leading, about a fifth of the cell in these faces.
    const int pixels = height < 0 ? -height : std::max(1, int(std::lround(height * 0.82)));
    font.setPixelSize(pixels);
    font.setBold((styles & fsBold) != 0);
    font.setItalic((styles & fsItalic) != 0);
    font.setUnderline((styles & fsUnderline) != 0);
    font.setStrikeOut((styles & fsStrikeOut) != 0);
    return font;
}

QString FromCp1254(std::string_view text) {
    const std::u16string utf16 = zolvek::Cp1254ToUtf16(text);
    return QString::fromUtf16(utf16.data(), qsizetype(utf16.size()));
}

std::string ToCp1254(const QString& text) {
    return zolvek::Utf16ToCp1254(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}

void MessageDlg(QWidget* parent, const QString& text, TMsgDlgType type) {
    if (MessageBoxHook()) {
        MessageBoxHook()(parent, text, type);
        return;
    }
    QMessageBox::Icon icon = QMessageBox::Information;
    QString title = QStringLiteral("Bilgi");
    if (type == TMsgDlgType::mtWarning) {
        icon = QMessageBox::Warning;
        title = QStringLiteral("Uyarı");
    } else if (type == TMsgDlgType::mtError) {
        icon = QMessageBox::Critical;
        title = QStringLiteral("Hata");
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
    TMessageBoxHook previous = std::move(MessageBoxHook());
    MessageBoxHook() = std::move(hook);
    return previous;
}

void DrawEdge(QPainter& painter, const QRect& rect, bool raised) {
    const QColor light = ColorFromTColor(clBtnHighlight);
    const QColor dark = ColorFromTColor(clBtnShadow);
    const QColor top_left = raised ? light : dark;
    const QColor bottom_right = raised ? dark : light;
    painter.save();
    painter.setPen(top_left);
    painter.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
    painter.drawLine(rect.left(), rect.top(), rect.left(), rect.bottom());
    painter.setPen(bottom_right);
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    painter.restore();
}

void DrawCaption(QPainter& painter, const QRect& rect, const QString& text, int qt_alignment,
    const QColor& color, bool enabled) {
    const int flags = qt_alignment | Qt::TextShowMnemonic | Qt::TextSingleLine;
    painter.save();
    if (enabled) {
        painter.setPen(color);
        painter.drawText(rect, flags, text);
    } else {
        // The toolkit's disabled text: a highlight copy one pixel down and right under a
        // shadow-coloured copy.
        painter.setPen(ColorFromTColor(clBtnHighlight));
        painter.drawText(rect.translated(1, 1), flags, text);
        painter.setPen(ColorFromTColor(clBtnShadow));
        painter.drawText(rect, flags, text);
    }
    painter.restore();
}

TWindowDrag::TWindowDrag(QWidget* window, std::initializer_list<QWidget*> handles)
    : QObject(window)
    , window_(window) {
    for (QWidget* handle : handles)
        AddHandle(handle);
}

void TWindowDrag::AddHandle(QWidget* handle) {
    handle->installEventFilter(this);
}

bool TWindowDrag::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        // The press is taken here, so it never climbs on to a parent that is a handle too.
        auto* press = static_cast<QMouseEvent*>(event);
        const QPoint global = press->globalPosition().toPoint();
        emit DragStarted();
        QWindow* handle = window_->windowHandle();
        following_ = false;
        if (handle != nullptr && handle->startSystemMove())
            return true;
        // No window manager moves the window for us: follow the mouse until the release.
        following_ = true;
        grab_offset_ = window_->pos() - global;
        return true;
    }
    case QEvent::MouseMove:
        if (following_) {
            // The release may have gone to a widget that is no handle.
            auto* move = static_cast<QMouseEvent*>(event);
            following_ = move->buttons() != Qt::NoButton;
            if (following_) {
                window_->move(move->globalPosition().toPoint() + grab_offset_);
                return true;
            }
        }
        break;
    case QEvent::MouseButtonRelease:
        if (following_) {
            following_ = false;
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

TKeyPreview::TKeyPreview(QWidget* window, bool enter_moves_focus)
    : QObject(window)
    , window_(window)
    , enter_moves_focus_(enter_moves_focus) {
    qApp->installEventFilter(this);
}

bool TKeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != window_)
        return false;
    // A key that the focus widget leaves alone climbs on to its parents; it is looked at once.
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && focus != widget && widget->isAncestorOf(focus))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F12) {
        window_->close();
        return true;
    }
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (enter_moves_focus_ && enter && modifiers == Qt::NoModifier
        && widget->property("Tag").toInt() == 0) {
        QWidget* next = widget->nextInFocusChain();
        while (next != widget
            && !((next->focusPolicy() & Qt::TabFocus) != 0 && next->isEnabled() && next->isVisible()
                && next->window() == window_))
            next = next->nextInFocusChain();
        next->setFocus(Qt::TabFocusReason);
        return true;
    }
    return false;
}

} // namespace zendo
