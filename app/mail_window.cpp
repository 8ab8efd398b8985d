#include "app/mail_window.h"

#include "app/pictures.h"
#include "controls/mspedbtn.h"
#include "controls/vcl_compat.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QThread>

namespace zendo {

namespace {

constexpr TColor kWindowColor = 12635344;
constexpr TColor kBoxColor = 13358552;
constexpr TColor kMemoFocusColor = 13884638;

const char kFileFilter[] = "Sıkışmış Dosya (*.zip;*.rar)|*.zip;*.rar|Word Dosya Türü (*.doc)|"
                           "*.doc;*.rtf|Excel Dosya Türü (*.xls)|*.xls|Resim Dosyaları "
                           "(*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|Metin belgesi (*.txt)|*.txt|"
                           "Tümü|*.*";

// The toolkit's Trim: blanks and control characters at both ends go.
QString TrimBlanksAndControls(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start).unicode() <= 0x20)
        ++start;
    while (end > start && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(start, end - start);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QRect& geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    SetWidgetColor(edit, kBoxColor);
    return edit;
}

TMSpedBtn* MakeSpeedButton(QWidget* parent, const char* name, const QRect& geometry,
    const QString& caption, const QPixmap& glyph, int num_glyphs = 1) {
    auto* button = new TMSpedBtn(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->SetFlat(true);
    button->SetCaption(caption);
    button->SetGlyph(glyph, num_glyphs);
    return button;
}

// A top-line bevel across the window: a shadow line over a highlight line.
void MakeBevel(QWidget* parent, const char* name, int top) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QString::fromLatin1(name));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(0, top, parent->width(), 2);
}

} // namespace

QStringList QtNameFilters(const QString& toolkit_filter) {
    const QStringList pieces = toolkit_filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < pieces.size(); i += 2) {
        QStringList patterns = pieces[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            if (pattern == QStringLiteral("*.*"))
                pattern = QStringLiteral("*");
        }
        filters << pieces[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' '))
                + QLatin1Char(')');
    }
    return filters;
}

Tmail_yolla::Tmail_yolla(QWidget* owner, TMailSettings settings)
    : QDialog(owner,
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
            | Qt::WindowCloseButtonHint)
    , settings_(std::move(settings)) {
    if (!settings_.connection_check)
        settings_.connection_check = SystemConnectionState;
    setObjectName(QStringLiteral("mail_yolla"));
    BuildLayout();
}

Tmail_yolla::~Tmail_yolla() {
    StopWorker();
}

void Tmail_yolla::Execute(QWidget* owner) {
    Tmail_yolla window(owner);
    window.exec();
}

void Tmail_yolla::BuildLayout() {
    setFixedSize(608, 423);
    SetWidgetColor(this, kWindowColor);
    setFont(WinFont("MS Sans Serif", -11));
    setWindowTitle(QStringLiteral("Programcıya @ Posta Gönder  »»»»»  [ ")
        + QString::fromLatin1(kMakerMailAddress) + QStringLiteral(" ]"));

    send_button_ = MakeSpeedButton(
        this, "Button1", QRect(3, 3, 65, 27), QStringLiteral("Gönder"), SendGlyph());
    auto* add_button = MakeSpeedButton(this, "Button4", QRect(75, 3, 145, 27),
        QStringLiteral("Dosya veya Resim Ekle"), AttachGlyph());
    auto* exit_button = MakeSpeedButton(
        this, "SpeedButton4", QRect(227, 3, 57, 27), QStringLiteral("Çıkış"), ExitGlyph(), 2);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(MailPicture());
    picture->setGeometry(width() - 34, 0, 34, 34);
    MakeBevel(this, "Bevel2", 33);
    MakeBevel(this, "Bevel1", 123);

    QLabel* name_label = MakeLabel(this, "Label4", QStringLiteral("Adınız"), 7, 48);
    QLabel* colon1 = MakeLabel(this, "x1", QStringLiteral(":"), 50, 48);
    adiniz_ = MakeEdit(this, "adiniz", QRect(57, 44, 134, 22));
    QLabel* mail_label = MakeLabel(this, "Label6", QStringLiteral("@-Mail"), 7, 74);
    QLabel* colon2 = MakeLabel(this, "x2", QStringLiteral(":"), 50, 74);
    mailiniz_ = MakeEdit(this, "mailiniz", QRect(57, 70, 134, 22));
    auto* note_button = MakeSpeedButton(
        this, "SpeedButton1", QRect(194, 70, 53, 22), QStringLiteral("Uyarı"), NoteGlyph());
    QLabel* subject_label = MakeLabel(this, "Label5", QStringLiteral("Konu"), 7, 101);
    QLabel* colon3 = MakeLabel(this, "x3", QStringLiteral(":"), 50, 101);
    subjectx_ = MakeEdit(this, "Subjectx", QRect(57, 97, 312, 22));

    QLabel* list_label
        = MakeLabel(this, "Label2", QStringLiteral("Dosya veya Resim Ekleri"), 377, 40);
    SetFontColor(list_label, clGreen);
    list_box_ = new QListWidget(this);
    list_box_->setObjectName(QStringLiteral("ListBox1"));
    list_box_->setGeometry(377, 56, 231, 64);
    list_box_->setFont(WinFont("Arial", -11));
    SetWidgetColor(list_box_, kBoxColor);
    SetFontColor(list_box_, clBlue);
    list_box_->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* remove_button
        = MakeSpeedButton(this, "Button5", QRect(584, 37, 24, 18), QString(), RemoveGlyph(), 2);
    remove_button->setToolTip(QStringLiteral("Listeden dosya çıkart"));

    mesaj_ = new QPlainTextEdit(this);
    mesaj_->setObjectName(QStringLiteral("mesaj"));
    mesaj_->setGeometry(0, 129, 608, 275);
    mesaj_->setFont(WinFont("Arial", -12));
    mesaj_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mesaj_->setProperty("Tag", 1); // Enter makes a new line here
    SetWidgetColor(mesaj_, kBoxColor);

    auto* status_bar = new QFrame(this);
    status_bar->setObjectName(QStringLiteral("durumc"));
    status_bar->setGeometry(0, 404, 608, 19);
    SetWidgetColor(status_bar, kWindowColor);
    status_panel_ = new QLabel(status_bar);
    status_panel_->setObjectName(QStringLiteral("durumc_panel"));
    status_panel_->setFrameShape(QFrame::Panel);
    status_panel_->setFrameShadow(QFrame::Sunken);
    status_panel_->setGeometry(0, 2, 608, 17);
    status_panel_->setIndent(2);

    popup_menu_ = new QMenu(this);
    popup_menu_->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* add_item = popup_menu_->addAction(QStringLiteral("Dosya Ekle"));
    add_item->setObjectName(QStringLiteral("DosyaEkle1"));
    QAction* remove_item = popup_menu_->addAction(QStringLiteral("Dosya Çıkart"));
    remove_item->setObjectName(QStringLiteral("Dosyakart1"));
    popup_menu_->addSeparator();
    QAction* clear_item = popup_menu_->addAction(QStringLiteral("Tümünü Temizle"));
    clear_item->setObjectName(QStringLiteral("TmnTemizle1"));

    setTabOrder(adiniz_, mailiniz_);
    setTabOrder(mailiniz_, subjectx_);
    setTabOrder(subjectx_, list_box_);
    setTabOrder(list_box_, mesaj_);

    connect(send_button_, &TMSpedBtn::OnClick, this, &Tmail_yolla::Button1Click);
    connect(add_button, &TMSpedBtn::OnClick, this, &Tmail_yolla::Button4Click);
    connect(add_item, &QAction::triggered, this, &Tmail_yolla::Button4Click);
    connect(remove_button, &TMSpedBtn::OnClick, this, &Tmail_yolla::Button5Click);
    connect(remove_item, &QAction::triggered, this, &Tmail_yolla::Button5Click);
    connect(clear_item, &QAction::triggered, this, &Tmail_yolla::TmnTemizle1Click);
    connect(exit_button, &TMSpedBtn::OnClick, this, &QWidget::close);
    connect(note_button, &TMSpedBtn::OnClick, this, &Tmail_yolla::SpeedButton1Click);
    connect(list_box_, &QListWidget::itemDoubleClicked, this, &Tmail_yolla::ListBox1DblClick);
    connect(list_box_, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& at) { popup_menu_->popup(list_box_->mapToGlobal(at)); });

    for (QWidget* box : { static_cast<QWidget*>(adiniz_), static_cast<QWidget*>(mailiniz_),
             static_cast<QWidget*>(subjectx_), static_cast<QWidget*>(list_box_),
             static_cast<QWidget*>(mesaj_) })
        box->installEventFilter(this);

    new TKeyPreview(this, true);
    new TWindowDrag(this,
        { this, list_label, name_label, subject_label, mail_label, colon1, colon2, colon3,
            status_bar, status_panel_ });
    adiniz_->setFocus();
}

bool Tmail_yolla::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        auto* box = static_cast<QWidget*>(watched);
        TColor color = kBoxColor;
        if (event->type() == QEvent::FocusIn)
            color = box == mesaj_ ? kMemoFocusColor : clWhite;
        SetWidgetColor(box, color);
    } else if (watched == list_box_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        Button5Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Tmail_yolla::closeEvent(QCloseEvent* event) {
    // A send in flight is abandoned: the client gives up within a second.
    StopWorker();
    QDialog::closeEvent(event);
}

QString Tmail_yolla::StatusText() const {
    return status_panel_->text();
}

void Tmail_yolla::SetStatus(const QString& text) {
    status_panel_->setText(text);
    emit StatusChanged(text);
}

void Tmail_yolla::AddFiles(const QStringList& paths) {
    list_box_->addItems(paths);
}

void Tmail_yolla::Button4Click() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(QtNameFilters(QString::fromUtf8(kFileFilter)));
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() == QDialog::Accepted)
        AddFiles(dialog.selectedFiles());
}

void Tmail_yolla::Button5Click() {
    QListWidgetItem* item = list_box_->currentItem();
    if (list_box_->count() > 0 && item != nullptr && item->isSelected())
        delete list_box_->takeItem(list_box_->row(item));
}

void Tmail_yolla::TmnTemizle1Click() {
    list_box_->clear();
}

void Tmail_yolla::ListBox1DblClick() {
    QListWidgetItem* item = list_box_->currentItem();
    if (item != nullptr && item->isSelected())
        MessageDlg(this, item->text(), TMsgDlgType::mtInformation);
}

void Tmail_yolla::SpeedButton1Click() {
    MessageDlg(this,
        QStringLiteral("\nCevap yazılmasını istiyorsanız E-Posta adesini boş bırakmayınız."),
        TMsgDlgType::mtInformation);
}

void Tmail_yolla::Button1Click() {
    if (worker_ != nullptr)
        return; // one message at a time
    SetStatus(QStringLiteral("Durum:"));
    SetStatus(QStringLiteral("Bağlantı durumu kontrol ediliyor"));
    if (settings_.connection_check() == TConnectionState::csOffline) {
        SetStatus(QStringLiteral("İnternet bağlantısı bulunamadı."));
        return;
    }
    if (TrimBlanksAndControls(mailiniz_->text()).isEmpty()) {
        MessageDlg(
            this, QStringLiteral("\nE-POSTA BÖLÜMÜNÜ DOLDURMANIZ GEREKİR."), TMsgDlgType::mtError);
        mailiniz_->setFocus();
        return;
    }

    TMailMessage message;
    message.from_name = adiniz_->text().toStdString();
    message.from_address = mailiniz_->text().toStdString();
    message.subject = subjectx_->text().toStdString();
    message.body = mesaj_->toPlainText().toStdString();
    for (int row = 0; row < list_box_->count(); ++row)
        message.attachment_paths.push_back(list_box_->item(row)->text().toStdString());

    cancel_ = false;
    send_button_->setEnabled(false);
    const TSmtpSender sender(settings_.server);
    worker_ = QThread::create([this, sender, message] {
        const TSendResult result = sender.Send(
            message,
            [this] {
                QMetaObject::invokeMethod(
                    this, [this] { SetStatus(QStringLiteral("Bağlantı kuruluyor...")); },
                    Qt::QueuedConnection);
            },
            &cancel_);
        QMetaObject::invokeMethod(
            this, [this, result] { SendDone(result); }, Qt::QueuedConnection);
    });
    worker_->start();
}

void Tmail_yolla::SendDone(const TSendResult& result) {
    if (cancel_)
        return; // abandoned when the window closed
    StopWorker();
    if (result.ok) {
        SetStatus(QStringLiteral("Mesaj başarıyla gönderildi..."));
    } else {
        // The client's own words; the status keeps its last message and the window stays.
        MessageDlg(this, QString::fromStdString(result.error), TMsgDlgType::mtError);
    }
    emit SendFinished(result.ok);
}

void Tmail_yolla::StopWorker() {
    if (worker_ == nullptr)
        return;
    cancel_ = true;
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
    send_button_->setEnabled(true);
}

} // namespace zendo
