#include "app/form2.h"

#include "app/window_frame.h"
#include "controls/panel.h"
#include "controls/vcl_compat.h"

namespace zendo {

TForm2::TForm2(QWidget* parent)
    : QWidget(parent,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The border is the window's own green showing round the panel.
    SetWidgetColor(this, clGreen);
    setFixedSize(kClientWidth + 2 * kBorderWidth, kClientHeight + 2 * kBorderWidth);
    panel_ = new TPanel(this, kTitleBarColor);
    panel_->setObjectName(QStringLiteral("Panel1"));
    panel_->setGeometry(kBorderWidth, kBorderWidth, kClientWidth, kClientHeight);
    panel_->setFont(WinFont("Tahoma", -13, fsBold));
    panel_->SetFontColor(clBlue);
    panel_->SetCaption(QStringLiteral("Geçiş Yapılıyor..."));
    panel_->setAccessibleName(panel_->Caption());
    setWindowTitle(panel_->Caption());
}

void TForm2::ShowNow() {
    CenterOnScreen(this);
    show();
    repaint();
}

} // namespace zendo
