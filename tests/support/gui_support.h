// Helpers shared by the window and control tests: screenshots into the build tree, pixel
// colours in TColor form, and a recorder that stands in for the message boxes.
#pragma once

#include "controls/vcl_compat.h"

#include <QDir>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

namespace zendo::testing {

// Saves a picture of `widget` as <build>/screenshots/<name>.png and returns the image.
inline QImage SaveScreenshot(QWidget* widget, const QString& name) {
    const QImage image = widget->grab().toImage();
    QDir().mkpath(QStringLiteral(ZENDO_SCREENSHOT_DIR));
    image.save(QStringLiteral(ZENDO_SCREENSHOT_DIR "/") + name + QStringLiteral(".png"));
    return image;
}

// The TColor of a pixel.
inline TColor PixelColor(const QImage& image, int x, int y) {
    const QRgb rgb = image.pixel(x, y);
    return TColor(qRed(rgb)) | (TColor(qGreen(rgb)) << 8) | (TColor(qBlue(rgb)) << 16);
}

// While alive, message boxes are recorded here instead of shown.
class MessageBoxRecorder {
public:
    struct Box {
        QString text;
        TMsgDlgType type;
    };

    MessageBoxRecorder() {
        previous_ = SetMessageBoxHook([this](QWidget*, const QString& text, TMsgDlgType type) {
            boxes.push_back({ text, type });
        });
    }
    ~MessageBoxRecorder() { SetMessageBoxHook(std::move(previous_)); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<Box> boxes;

private:
    TMessageBoxHook previous_;
};

} // namespace zendo::testing
