#include "app/form3.h"

#include "app/pictures.h"
#include "app/window_frame.h"
#include "controls/mbtn.h"
#include "controls/mspedbtn.h"
#include "controls/vcl_compat.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace zendo {

namespace {

constexpr TColor kEditColor = 13161431;
constexpr TColor kEditFrameColor = clGray;

void SetUpButton(TMBtn* button, const char* name, const QString& text) {
    button->setObjectName(QString::fromLatin1(name));
    button->SetButtonText(text);
    button->SetZeminRengi(12900319);
    button->SetCerceveRengi(clBlue);
    button->setFont(WinFont("MS Sans Serif", -11, fsBold));
    button->SetFontColor(clBlue);
    button->SetYatayHizalama(taCenter);
    button->SetDikeyHizalama(tlCenter);
    QString plain = text;
    plain.remove(QLatin1Char('&'));
    button->ClickSurface()->setAccessibleName(plain);
    button->setAccessibleName(plain);
}

} // namespace

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , frame_(this, QSize(kClientWidth, kClientHeight), true) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Yeni Kelime Tanımlama"));
    setFont(WinFont("MS Sans Serif", -11));
    SetWidgetColor(this, clBtnFace);
    setFixedSize(kClientWidth, kClientHeight);

    label2_ = new QLabel(QStringLiteral("Yeni Kelime Tanımlama"), frame_.Panel11);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setFont(WinFont("Arial", -11, fsBold));
    label2_->move(8, 5);
    label2_->setMinimumSize(128, 14);
    label2_->adjustSize();

    mspedbtn3_ = new TMSpedBtn(frame_.Panel11);
    mspedbtn3_->setObjectName(QStringLiteral("MSpedBtn3"));
    mspedbtn3_->setGeometry(298, 3, 16, 17);
    mspedbtn3_->SetFlat(true);
    mspedbtn3_->SetGlyph(CloseGlyph());
    mspedbtn3_->setAccessibleName(QStringLiteral("Kapat"));
    mspedbtn3_->setFocusPolicy(Qt::NoFocus);

    QWidget* work = frame_.Panel1;
    yeni_kelime_ = new QLineEdit(work);
    yeni_kelime_->setObjectName(QStringLiteral("yeni_kelime"));
    yeni_kelime_->setGeometry(8, 8, 300, 23);
    yeni_kelime_->setFont(WinFont("Arial", -12));
    SetFlatFrame(yeni_kelime_, kEditColor, kEditFrameColor);
    yeni_kelime_->setAccessibleName(QStringLiteral("Kelime"));

    yeni_tamini_ = new QPlainTextEdit(work);
    yeni_tamini_->setObjectName(QStringLiteral("yeni_tamini"));
    yeni_tamini_->setGeometry(8, 32, 300, 153);
    yeni_tamini_->setFont(WinFont("Arial", -12));
    yeni_tamini_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    yeni_tamini_->setTabChangesFocus(true);
    SetFlatFrame(yeni_tamini_, kEditColor, kEditFrameColor);
    yeni_tamini_->setAccessibleName(QStringLiteral("Açıklama"));

    mbtn1_ = new TMBtn(work);
    mbtn1_->setGeometry(73, 200, 83, 27);
    SetUpButton(mbtn1_, "MBtn1", QStringLiteral("&KAYDET"));
    mbtn2_ = new TMBtn(work);
    mbtn2_->setGeometry(161, 200, 83, 27);
    SetUpButton(mbtn2_, "MBtn2", QStringLiteral("&VAZGEÇ"));

    connect(mbtn1_, &TMBtn::OnClick, this, &TForm3::MBtn1Click);
    connect(mbtn2_, &TMBtn::OnClick, this, &TForm3::MBtn2Click);
    connect(mspedbtn3_, &TMSpedBtn::OnClick, this, &QWidget::close);
    new TKeyPreview(this, false);
    new TWindowDrag(this, { frame_.Label1, label2_, frame_.Panel1 });
}

void TForm3::Execute() {
    CenterOnScreen(this);
    exec();
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TForm3::FormShow() {
    result_flag_ = false;
    activateWindow();
    yeni_kelime_->setFocus(Qt::OtherFocusReason);
    emit Shown();
}

void TForm3::keyPressEvent(QKeyEvent* event) {
    // Esc does not close the dialog: only the buttons, the close button and F12 do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm3::MBtn1Click() {
    result_flag_ = true;
    close();
}

void TForm3::MBtn2Click() {
    result_flag_ = false;
    close();
}

} // namespace zendo
