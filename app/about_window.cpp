#include "app/about_window.h"

#include "app/pictures.h"
#include "controls/mspedbtn.h"
#include "controls/panel.h"
#include "controls/vcl_compat.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace zendo {

namespace {

constexpr TColor kFrameColor = 14614528;
constexpr TColor kTitleColor = 16747660;
constexpr TColor kOfferColor = 16728642;
constexpr TColor kShadowTextColor = 11777469;
constexpr int kTitleHeight = 21;
constexpr int kFetchTimeoutMs = 15000;

// The height the window had before it was rolled up; kept for the program's run.
int g_remembered_height = 0;

QString DecodePage(const QByteArray& bytes) {
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const QFont& font,
    TColor color, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(alignment);
    SetFontColor(label, color);
    return label;
}

} // namespace

Tprogramci::Tprogramci(QWidget* owner, TAboutSources sources)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
    , sources_(std::move(sources))
    , network_(new QNetworkAccessManager(this)) {
    if (!sources_.connection_check)
        sources_.connection_check = SystemConnectionState;
    if (sources_.local_directory.isEmpty())
        sources_.local_directory = QCoreApplication::applicationDirPath();
    setObjectName(QStringLiteral("programci"));
    BuildLayout();
}

void Tprogramci::Execute(QWidget* owner) {
    Tprogramci window(owner);
    window.exec();
}

void Tprogramci::BuildLayout() {
    setWindowTitle(QStringLiteral("K O R V A N"));
    setFont(WinFont("MS Sans Serif", -11));
    resize(kClientWidth + 2 * kBorderWidth, kClientHeight + 2 * kBorderWidth);
    // The frame is the window's own colour showing around the client area.
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth);
    frame->setSpacing(0);
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    frame->addWidget(client_);

    title_bar_ = new TPanel(client_, kTitleColor, TPanel::bvRaised);
    title_bar_->setObjectName(QStringLiteral("Panel2"));
    title_bar_->setGeometry(0, 0, kClientWidth, kTitleHeight);
    title_bar_->setFont(WinFont("MS Sans Serif", -11, fsBold));
    title_bar_->SetFontColor(clBlack);
    title_bar_->SetCaption(QStringLiteral("K O R V A N"));
    auto* icon = new QLabel(title_bar_);
    icon->setObjectName(QStringLiteral("bilgi"));
    icon->setGeometry(4, 3, 16, 16);
    icon->setPixmap(KorvanIcon());
    auto* close_button = new TMSpedBtn(title_bar_);
    close_button->setObjectName(QStringLiteral("Kapt"));
    close_button->setGeometry(746, 2, 19, 17);
    close_button->SetFlat(true);
    close_button->SetGlyph(CloseGlyph());
    close_button->setToolTip(QStringLiteral("PENCEREYİ\nKAPATIR"));

    auto* black_line = new TPanel(client_, clBlack);
    black_line->setObjectName(QStringLiteral("Panel4"));
    black_line->setGeometry(0, kTitleHeight, kClientWidth, 2);

    auto* work = new TPanel(client_, clWhite);
    work->setObjectName(QStringLiteral("Panel1"));
    work->setGeometry(0, kTitleHeight + 2, kClientWidth, kClientHeight - kTitleHeight - 2);

    auto* logo_box = new QGroupBox(work);
    logo_box->setObjectName(QStringLiteral("GroupBox21"));
    logo_box->setGeometry(8, 3, 237, 126);
    logo_box->setFont(WinFont("Arial", -11, fsBold));
    SetWidgetColor(logo_box, clWhite);
    logo_ = new QLabel(logo_box);
    logo_->setObjectName(QStringLiteral("Image2"));
    logo_->setGeometry(4, 10, 230, 113);
    logo_->setPixmap(KorvanLogo());
    logo_->setVisible(false);
    logo_->setCursor(Qt::PointingHandCursor);
    logo_->installEventFilter(this);

    wwwdata_ = new QTextBrowser(work);
    wwwdata_->setObjectName(QStringLiteral("wwwdata"));
    wwwdata_->setGeometry(7, 141, 240, 172);

    auto* offer_box = new QGroupBox(work);
    offer_box->setObjectName(QStringLiteral("GroupBox2"));
    offer_box->setGeometry(8, 316, 238, 56);
    SetWidgetColor(offer_box, clWhite);
    const QFont offer_font = WinFont("Arial", -13, fsBold);
    QLabel* offer1
        = MakeLabel(offer_box, "Label81", QRect(8, 12, 226, 18), offer_font, kOfferColor);
    offer1->setText(QStringLiteral("*İsteğe Bağlı Program Geliştirilir"));
    QLabel* offer2 = MakeLabel(offer_box, "Label4", QRect(8, 32, 226, 18), offer_font, kOfferColor);
    offer2->setText(QStringLiteral("*Mevcut programlar geliştirilir"));

    // Three copies of one text, one pixel apart, make a shadowed caption.
    const QFont shadow_font = WinFont("Arial", -24, fsBold | fsItalic);
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
    label40_
        = MakeLabel(work, "Label40", QRect(12, 396, 230, 63), shadow_font, clWindowText, centred);
    label41_ = MakeLabel(work, "Label41", QRect(10, 394, 230, 63), shadow_font, clWhite, centred);
    label42_ = MakeLabel(
        work, "Label42", QRect(11, 395, 230, 63), shadow_font, kShadowTextColor, centred);
    lblsrm_ = MakeLabel(work, "lblsrm", QRect(12, 464, 229, 19), WinFont("Arial", -13, fsBold),
        clGray, Qt::AlignHCenter | Qt::AlignTop);
    for (QLabel* label : { label40_, label41_, label42_, lblsrm_ }) {
        label->setWordWrap(true);
        label->setText(QStringLiteral("%"));
    }

    auto* programs_panel = new TPanel(work, clBtnFace);
    programs_panel->setObjectName(QStringLiteral("Panel3"));
    programs_panel->setGeometry(248, 8, 516, 481);
    www_all_prg_ = new QTextBrowser(programs_panel);
    www_all_prg_->setObjectName(QStringLiteral("wwwAllPrg"));
    www_all_prg_->setGeometry(0, 0, 516, 481);

    for (QTextBrowser* pane : { wwwdata_, www_all_prg_ }) {
        pane->setOpenLinks(false);
        connect(pane, &QTextBrowser::anchorClicked, this, [pane](const QUrl& link) {
            QDesktopServices::openUrl(pane->document()->baseUrl().resolved(link));
        });
    }

    connect(close_button, &TMSpedBtn::OnClick, this, &QWidget::close);
    connect(title_bar_, &TPanel::DblClick, this, &Tprogramci::Panel2DblClick);
    new TKeyPreview(this, true);
    new TWindowDrag(this,
        { title_bar_, work, lblsrm_, label40_, label41_, label42_, logo_box, offer_box, offer1,
            offer2 });
}

void Tprogramci::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_once_) {
        shown_once_ = true;
        FormShow();
    }
}

void Tprogramci::FormShow() {
    if (label42_->text() == QStringLiteral("%")) {
        for (QLabel* label : { lblsrm_, label40_, label41_, label42_ })
            label->clear();
    }
    const bool online = sources_.connection_check() != TConnectionState::csOffline;
    panes_pending_ = 2;
    LoadPane(wwwdata_, &intro_source_, sources_.intro_page, kLocalIntroPage, online);
    LoadPane(www_all_prg_, &programs_source_, sources_.programs_page, kLocalProgramsPage, online);
    logo_->setVisible(true);
    // Trim each pane's outer edge: one pixel at the top and left, two at the right and bottom.
    for (QTextBrowser* pane : { wwwdata_, www_all_prg_ })
        pane->setMask(QRegion(1, 1, pane->width() - 3, pane->height() - 3));
}

void Tprogramci::LoadPane(
    QTextBrowser* pane, TPaneSource* source, const QUrl& address, const char* file, bool online) {
    if (!online) {
        ShowLocalPage(pane, source, file);
        return;
    }
    QNetworkRequest request(address);
    request.setTransferTimeout(kFetchTimeoutMs);
    QNetworkReply* reply = network_->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, pane, source, file] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError && (status == 0 || status == 200)) {
            pane->setHtml(DecodePage(reply->readAll()));
            pane->document()->setBaseUrl(reply->url());
            *source = TPaneSource::psWeb;
            PaneSettled();
        } else {
            // A page that cannot be fetched gives way to its local copy.
            ShowLocalPage(pane, source, file);
        }
    });
}

void Tprogramci::ShowLocalPage(QTextBrowser* pane, TPaneSource* source, const char* file) {
    const QString path = QDir(sources_.local_directory).filePath(QString::fromLatin1(file));
    QFile page(path);
    if (page.open(QIODevice::ReadOnly)) {
        pane->setHtml(DecodePage(page.readAll()));
        pane->document()->setBaseUrl(QUrl::fromLocalFile(path));
        *source = TPaneSource::psLocal;
    } else {
        pane->clear();
        *source = TPaneSource::psNone;
    }
    PaneSettled();
}

void Tprogramci::PaneSettled() {
    if (--panes_pending_ == 0)
        emit PagesLoaded();
}

void Tprogramci::Panel2DblClick() {
    if (height() < 27) {
        resize(width(), g_remembered_height);
    } else {
        g_remembered_height = height();
        resize(width(), title_bar_->height() + 4);
    }
}

void Tprogramci::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ColorFromTColor(kFrameColor));
}

bool Tprogramci::eventFilter(QObject* watched, QEvent* event) {
    if (watched == logo_ && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton
        && logo_->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace zendo
