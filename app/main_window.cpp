#include "app/main_window.h"

#include "app/about_window.h"
#include "app/form2.h"
#include "app/form3.h"
#include "app/mail_window.h"
#include "app/pictures.h"
#include "app/search_texts.h"
#include "controls/db_grid.h"
#include "controls/db_memo.h"
#include "controls/error_handler.h"
#include "controls/mspedbtn.h"
#include "controls/vcl_compat.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedWidget>

#include <array>
#include <cstring>
#include <set>
#include <string_view>

namespace zendo {

namespace {

constexpr TColor kWindowColor = 8891584;
constexpr TColor kSearchBoxColor = 16120314;
constexpr TColor kGridColor = 13820136;
constexpr TColor kMemoTextColor = 12615680;

const char* const kKeyWordField = "ANAHTAR";

QString WithTrailingSlash(QString directory) {
    if (!directory.endsWith(QLatin1Char('/')))
        directory += QLatin1Char('/');
    return directory;
}

TMSpedBtn* MakeTitleButton(QWidget* parent, const char* name, const QRect& geometry,
    const QString& caption, const QString& accessible_name) {
    auto* button = new TMSpedBtn(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->SetFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    if (!caption.isEmpty()) {
        button->SetCaption(caption);
        button->setFont(WinFont("Arial", -11, fsBold));
    }
    button->setAccessibleName(accessible_name);
    return button;
}

QAction* AddRadioItem(QMenu* menu, QActionGroup* group, const char* name, const QString& caption) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setCheckable(true);
    group->addAction(item);
    return item;
}

} // namespace

QString DatabaseDirectoryFor(const QString& executable_path) {
    const qsizetype slash = executable_path.lastIndexOf(QLatin1Char('/'));
    QString directory = slash >= 0 ? executable_path.left(slash + 1) : QString();
    if (directory.isEmpty())
        directory = QStringLiteral("/");
    return WithTrailingSlash(directory);
}

Tformx::Tformx(QString database_directory, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , requested_directory_(std::move(database_directory))
    , frame_(this, QSize(kClientWidth, kClientHeight), true) {
    setObjectName(QStringLiteral("formx"));
    setWindowTitle(QStringLiteral("ZENDO"));
    setFixedSize(kClientWidth, kClientHeight);
    SetWidgetColor(this, kWindowColor);
    setFont(WinFont("MS Sans Serif", -11));
    BuildTable();
    BuildLayout();
    BuildMenus();

    form2_ = new TForm2(this);
    form3_ = new TForm3(this);

    new TKeyPreview(this, false);
    const std::initializer_list<QWidget*> handles
        = { this, frame_.Panel1, frame_.Panel2, frame_.Panel3, frame_.Panel4, frame_.Panel5,
              frame_.Panel6, frame_.Panel8, frame_.Panel11, frame_.Label1 };
    new TWindowDrag(this, handles);
    // A press on anything else (a control, the grid's frame, the title bar's edge strips) stays
    // there and never reaches a handle behind it.
    const std::set<QWidget*> handle_set(handles);
    for (QWidget* child : findChildren<QWidget*>()) {
        if (handle_set.count(child) == 0 && child->window() == this)
            child->setAttribute(Qt::WA_NoMousePropagation);
    }

    connect(
        qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                ApplicationEvents1Activate();
            else
                ApplicationEvents1Deactivate();
        });
}

Tformx::~Tformx() {
    RunGuarded([this] { table1_->Close(); });
}

void Tformx::BuildTable() {
    table1_ = std::make_unique<zolvek::TZOLVEKTable>();
    table1_->SetTableName("datalar");
    // The design-time directory; FormShow always replaces it before opening.
    table1_->SetDatabaseName("C:\\ZENDO\\DB");
    table1_->SetFilterOptions(zolvek::foCaseInsensitive);
    table1_->SetOnFilterRecord(
        [this](zolvek::TDataSet& dataset, bool& accept) { Table1FilterRecord(dataset, accept); });
    table1_->AutoDisplayLabels = false;
    table1_->CopyOnAppend = false;
    table1_anahtar_ = &table1_->AddField<zolvek::TStringField>(std::string(kKeyWordField), 175);
    table1_anahtar_->SetDisplayWidth(50);
    table1_anahtar_->SetOrigin("datalar.ANAHTAR");
    table1_aciklama_ = &table1_->AddField<zolvek::TMemoField>(std::string("ACIKLAMA"));
    table1_aciklama_->SetDisplayWidth(10);
    table1_aciklama_->SetOrigin("datalar.ACIKLAMA");
    table1_index_ = &table1_->AddField<zolvek::TStringField>(std::string("INDEX"), 1);
    table1_index_->SetDisplayWidth(1);
    table1_index_->SetOrigin("datalar.INDEX");
    data_source1_ = std::make_unique<zolvek::TDataSource>(table1_.get());
}

QLineEdit* Tformx::MakeSearchBox(QWidget* page, const char* name, const QString& mode) {
    auto* box = new QLineEdit(page);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(0, 0, 320, 25);
    box->setFont(WinFont("Tahoma", -11));
    SetFlatFrame(box, kSearchBoxColor, clBtnShadow);
    box->setToolTip(QStringLiteral("Esc : Yeni Sorgu"));
    box->setAccessibleName(QStringLiteral("Arama kutusu"));
    box->setAccessibleDescription(mode + QStringLiteral(". Esc : Yeni Sorgu"));
    box->installEventFilter(this);
    return box;
}

void Tformx::BuildLayout() {
    TPanel* title = frame_.Panel11;
    button1_ = MakeTitleButton(title, "Button1", QRect(3, 3, 96, 17),
        QStringLiteral("Sorgulama Türü"), QStringLiteral("Sorgulama Türü"));
    mspedbtn2_ = MakeTitleButton(title, "MSpedBtn2", QRect(103, 3, 56, 17),
        QStringLiteral("Hakkında"), QStringLiteral("Hakkında"));
    mspedbtn4_ = MakeTitleButton(title, "MSpedBtn4", QRect(292, 3, 16, 17), QString(),
        QStringLiteral("Simge durumuna küçült"));
    mspedbtn4_->SetGlyph(MinimiseGlyph());
    mspedbtn3_ = MakeTitleButton(
        title, "MSpedBtn3", QRect(309, 3, 16, 17), QString(), QStringLiteral("Kapat"));
    mspedbtn3_->SetGlyph(CloseGlyph());
    connect(button1_, &TMSpedBtn::OnClick, this, Guarded([this] { Button1Click(); }));
    connect(mspedbtn2_, &TMSpedBtn::OnClick, this, Guarded([this] { MSpedBtn2Click(); }));
    connect(mspedbtn4_, &TMSpedBtn::OnClick, this, Guarded([this] { MSpedBtn4Click(); }));
    connect(mspedbtn3_, &TMSpedBtn::OnClick, this, &QWidget::close);

    QWidget* work = frame_.Panel1;
    notebook1_ = new QStackedWidget(work);
    notebook1_->setObjectName(QStringLiteral("Notebook1"));
    notebook1_->setGeometry(3, 3, 320, 25);
    page_s1_ = new QWidget(notebook1_);
    page_s1_->setObjectName(QStringLiteral("S1"));
    page_s2_ = new QWidget(notebook1_);
    page_s2_->setObjectName(QStringLiteral("S2"));
    page_s3_ = new QWidget(notebook1_);
    page_s3_->setObjectName(QStringLiteral("S3"));
    for (QWidget* page : { page_s1_, page_s2_, page_s3_ })
        notebook1_->addWidget(page);
    s1x_ = MakeSearchBox(page_s1_, "S1X", QStringLiteral("Sadece Benzerleri Göster (Gelişmiş)"));
    s2_ = MakeSearchBox(page_s2_, "S2", QStringLiteral("Sadece Benzerleri Göster"));
    s3_ = MakeSearchBox(page_s3_, "S3", QStringLiteral("Aranan Kayda Git"));
    notebook1_->setCurrentWidget(page_s3_);
    connect(s3_, &QLineEdit::textChanged, this,
        Guarded([this](const QString& text) { S3Change(text); }));
    connect(s2_, &QLineEdit::textChanged, this,
        Guarded([this](const QString& text) { S2Change(text); }));
    connect(s1x_, &QLineEdit::textChanged, this,
        Guarded([this](const QString& text) { S1XChange(text); }));

    auto* panel7 = new TPanel(work, clBtnShadow);
    panel7->setObjectName(QStringLiteral("Panel7"));
    panel7->setGeometry(5, 29, 318, 197);
    dbgrid1_ = new TDBGrid(panel7);
    dbgrid1_->setObjectName(QStringLiteral("DBGrid1"));
    dbgrid1_->setGeometry(2, 2, 314, 193);
    dbgrid1_->setFont(WinFont("Arial", -11));
    dbgrid1_->SetTitleFont(WinFont("MS Sans Serif", -11));
    SetWidgetColor(dbgrid1_->View(), kGridColor);
    SetFontColor(dbgrid1_->View(), clGreen);
    dbgrid1_->SetColumn(kKeyWordField, QStringLiteral("KELİME LİSTESİ"));
    dbgrid1_->View()->setAccessibleName(QStringLiteral("Kelime listesi"));
    dbgrid1_->RecordScrollBar()->setAccessibleName(
        QStringLiteral("Kelime listesi kaydırma çubuğu"));
    dbgrid1_->SetDataSource(data_source1_.get());
    dbgrid1_->View()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dbgrid1_->View(), &QWidget::customContextMenuRequested, this,
        Guarded([this](const QPoint& position) { ShowGridMenu(position); }));
    connect(dbgrid1_, &TDBGrid::DblClick, this, Guarded([this] { DBGrid1DblClick(); }));

    rzdbmemo1_ = new TDBMemo(work);
    rzdbmemo1_->setObjectName(QStringLiteral("RzDBMemo1"));
    rzdbmemo1_->setGeometry(5, 232, 318, 87);
    rzdbmemo1_->setFont(WinFont("Arial", -12));
    SetFlatFrame(rzdbmemo1_, kGridColor, clBtnShadow);
    SetFontColor(rzdbmemo1_, kMemoTextColor);
    rzdbmemo1_->setAccessibleName(QStringLiteral("Açıklama"));
    rzdbmemo1_->SetDataField("ACIKLAMA");
    rzdbmemo1_->SetDataSource(data_source1_.get());
}

void Tformx::BuildMenus() {
    mnmenu_ = new QMenu(this);
    mnmenu_->setObjectName(QStringLiteral("MNMENU"));
    auto* modes = new QActionGroup(mnmenu_);
    ss3_ = AddRadioItem(mnmenu_, modes, "SS3", QStringLiteral("Aranan Kayda Git"));
    ss2_ = AddRadioItem(mnmenu_, modes, "SS2", QStringLiteral("Sadece Benzerleri Göster"));
    ss1_ = AddRadioItem(
        mnmenu_, modes, "SS1", QStringLiteral("Sadece Benzerleri Göster (Gelişmiş)"));
    ss3_->setChecked(true);
    mnmenu_->addSeparator();
    QAction* about_modes = mnmenu_->addAction(QStringLiteral("Sorgulama Çeşitleri Hakkında..."));
    about_modes->setObjectName(QStringLiteral("Sorgulamaeitlerihakknda1"));
    connect(ss3_, &QAction::triggered, this, Guarded([this] { SS3Click(); }));
    connect(ss2_, &QAction::triggered, this, Guarded([this] { SS2Click(); }));
    connect(ss1_, &QAction::triggered, this, Guarded([this] { SS1Click(); }));
    connect(about_modes, &QAction::triggered, this,
        Guarded([this] { Sorgulamaeitlerihakknda1Click(); }));

    mns_ = new QMenu(this);
    mns_->setObjectName(QStringLiteral("MNS"));
    kayt_says1_ = mns_->addAction(QStringLiteral("Kayıt Sayısı :"));
    kayt_says1_->setObjectName(QStringLiteral("KaytSays1"));
    mns_->addSeparator();
    auto* orders = new QActionGroup(mns_);
    orijinal_sralama1_
        = AddRadioItem(mns_, orders, "OrijinalSralama1", QStringLiteral("Orijinal Sıralama"));
    adan_zye_sralama1_
        = AddRadioItem(mns_, orders, "AdanZyeSralama1", QStringLiteral("A'dan Z'ye Sıralama"));
    harf_grubuna_gre1_
        = AddRadioItem(mns_, orders, "HarfGrubunaGre1", QStringLiteral("Harf Grubuna Göre"));
    orijinal_sralama1_->setChecked(true);
    mns_->addSeparator();
    QAction* add = mns_->addAction(QStringLiteral("Yeni Kayıt Ekle"));
    add->setObjectName(QStringLiteral("YeniKaytEkle1"));
    QAction* correct = mns_->addAction(QStringLiteral("Kayıt Düzelt"));
    correct->setObjectName(QStringLiteral("KaytDzelt1"));
    connect(orijinal_sralama1_, &QAction::triggered, this,
        Guarded([this] { SortOrder(orijinal_sralama1_, ""); }));
    connect(adan_zye_sralama1_, &QAction::triggered, this,
        Guarded([this] { SortOrder(adan_zye_sralama1_, "INDEXX"); }));
    connect(harf_grubuna_gre1_, &QAction::triggered, this,
        Guarded([this] { SortOrder(harf_grubuna_gre1_, "ANAHTAR"); }));
    connect(add, &QAction::triggered, this, Guarded([this] { YeniKaytEkle1Click(); }));
    connect(correct, &QAction::triggered, this, Guarded([this] { KaytDzelt1Click(); }));

    mnhak_ = new QMenu(this);
    mnhak_->setObjectName(QStringLiteral("mnhak"));
    QAction* about = mnhak_->addAction(QStringLiteral("Hakkında..."));
    about->setObjectName(QStringLiteral("Hakknda1"));
    QAction* mail = mnhak_->addAction(QStringLiteral("Mail Yaz..."));
    mail->setObjectName(QStringLiteral("MailYaz1"));
    connect(about, &QAction::triggered, this, Guarded([this] { Tprogramci::Execute(this); }));
    connect(mail, &QAction::triggered, this, Guarded([this] { Tmail_yolla::Execute(this); }));
}

// ---- Start-up, title and frame ----

void Tformx::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_once_)
        return;
    shown_once_ = true;
    CenterOnScreen(this);
    RunGuarded([this] { FormShow(); });
    emit Shown();
}

void Tformx::FormShow() {
    database_directory_ = requested_directory_.isEmpty()
        ? DatabaseDirectoryFor(QCoreApplication::applicationFilePath())
        : WithTrailingSlash(QDir(requested_directory_).absolutePath());
    // The directory is a file-system path: its bytes go to the engine as the system spells them.
    table1_->SetDatabaseName(QFile::encodeName(database_directory_).toStdString());
    if (QDir(database_directory_).exists() && table1_->TablePresent()) {
        notebook1_->setCurrentWidget(page_s3_);
        s3_->setFocus(Qt::OtherFocusReason);
        table1_->Open();
        UpdateTitle();
        return;
    }
    MessageDlg(this, QStringLiteral("VERİ TABANLARINI BULAMADIM.\n\nPROGRAMI TEKRAR KURUN."),
        TMsgDlgType::mtWarning);
    // The window closes once FormShow is over, which ends the program.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void Tformx::UpdateTitle() {
    setWindowTitle(QString::fromStdString(CountTitle(table1_->RecordCount())));
}

void Tformx::closeEvent(QCloseEvent* event) {
    RunGuarded([this] { table1_->Close(); });
    form2_->hide();
    event->accept();
}

void Tformx::ApplicationEvents1Activate() {
    frame_.Label1->SetColor(kTitleLabelColor);
    for (TPanel* strip : frame_.ActivationStrips())
        strip->SetColor(clBlue);
}

void Tformx::ApplicationEvents1Deactivate() {
    frame_.Label1->SetColor(kInactiveFrameColor);
    for (TPanel* strip : frame_.ActivationStrips())
        strip->SetColor(kInactiveFrameColor);
}

void Tformx::Button1Click() {
    mnmenu_->popup(button1_->mapToGlobal(QPoint(0, button1_->height())));
}

void Tformx::MSpedBtn2Click() {
    mnhak_->popup(mspedbtn2_->mapToGlobal(QPoint(0, mspedbtn2_->height())));
}

void Tformx::MSpedBtn4Click() {
    showMinimized();
}

bool Tformx::MNSPopup() {
    try {
        kayt_says1_->setText(QStringLiteral("Kayıt Sayısı :[%1]").arg(table1_->RecordCount()));
        return true;
    } catch (...) {
        ReportException(std::current_exception());
        return false;
    }
}

void Tformx::ShowGridMenu(const QPoint& position) {
    if (MNSPopup())
        mns_->popup(dbgrid1_->View()->viewport()->mapToGlobal(position));
}

bool Tformx::eventFilter(QObject* watched, QEvent* event) {
    if (watched != s1x_ && watched != s2_ && watched != s3_)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        RunGuarded([&] {
            if (watched == s3_)
                S3KeyDown();
            else if (watched == s2_)
                S2KeyDown();
            else
                S1XKeyDown();
        });
    } else if (event->type() == QEvent::KeyRelease && watched == s1x_
        && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        // One release per key stroke, as the key is let go; held keys repeat presses only.
        RunGuarded([this] { S1XKeyUp(); });
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Search modes ----

void Tformx::SwitchMode(QAction* item, QWidget* page, QLineEdit* box, bool filtered) {
    form2_->ShowNow();
    emit NoticeShown();
    try {
        item->setChecked(true);
        notebook1_->setCurrentWidget(page);
        if (box != nullptr) {
            box->setFocus(Qt::OtherFocusReason);
            box->clear();
        }
        table1_->SetFiltered(false);
        table1_->First();
        table1_->SetFilter("");
    } catch (...) {
        form2_->hide();
        throw;
    }
    form2_->hide();
    if (filtered)
        table1_->SetFiltered(true);
    UpdateTitle();
}

void Tformx::SS3Click() {
    SwitchMode(ss3_, page_s3_, s3_, false);
}

void Tformx::SS2Click() {
    SwitchMode(ss2_, page_s2_, s2_, true);
}

void Tformx::SS1Click() {
    // The advanced box keeps its text and the holder its copy: the view is filtered at once by
    // what was typed there last.
    SwitchMode(ss1_, page_s1_, nullptr, true);
}

void Tformx::Sorgulamaeitlerihakknda1Click() {
    const QStringList lines = {
        QStringLiteral("Aranan Kayda Git :"),
        QStringLiteral("Bütün kayıtlar görünür durumdadır. Yazdığınız kayda uyan kayıt varsa o "),
        QStringLiteral("kayda gidilir. Büyük küçük ayrılı yapılmaz."),
        QString(),
        QStringLiteral("Sadece Benzerleri Göster:"),
        QStringLiteral("Sadece yazdığınız bilgiye uyan kayıtlar gösterilir. Büyük küçük ayrımı "),
        QStringLiteral("yapılmaz."),
        QString(),
        QStringLiteral("Sadece Benzerleri Göster (Gelişmiş):"),
        QStringLiteral("Sadece yazdığınız bilgiye uyan kayıtlar gösterilir. Büyük küçük ayrımı "),
        QStringLiteral(
            "yapılmaz. Bu sorgulamanın diğerinden tek bir farkı vardır. Başına * (Yıldız "),
        QStringLiteral("= Joker) karakteri getirilirse yazılan bilgiyi kelimelerin içindede arar."),
    };
    MessageDlg(this, lines.join(QLatin1Char('\n')), TMsgDlgType::mtInformation);
}

void Tformx::S3Change(const QString& text) {
    if (!text.isEmpty()) {
        // Not found leaves the current record where it was.
        table1_->Locate(kKeyWordField, std::vector<zolvek::TVariant> { ToCp1254(text) },
            zolvek::loCaseInsensitive | zolvek::loPartialKey);
    } else {
        table1_->First();
    }
}

void Tformx::S3KeyDown() {
    s3_->clear();
    table1_->First();
}

void Tformx::S2Change(const QString& text) {
    if (!text.isEmpty()) {
        table1_->SetFilter(PrefixFilterText(ToCp1254(text)));
    } else {
        table1_->SetFilter("");
        table1_->First();
    }
    UpdateTitle();
}

void Tformx::S2KeyDown() {
    table1_->SetFilter("");
    table1_->First();
    s2_->clear();
}

void Tformx::S1XChange(const QString& text) {
    string_grid1_cell_ = ToCp1254(text);
}

void Tformx::S1XKeyUp() {
    // Switching the filter off and on installs a fresh record callback, which the cursor
    // evaluates over the whole table for the text now in the box, and moves to the first record.
    table1_->SetFiltered(false);
    table1_->SetFiltered(true);
    // The count follows the view, as in the other modes.
    UpdateTitle();
}

void Tformx::S1XKeyDown() {
    s1x_->clear();
    string_grid1_cell_.clear();
    table1_->First();
}

void Tformx::Table1FilterRecord(zolvek::TDataSet& dataset, bool& accept) {
    if (!ss1_->isChecked() || !accept)
        return;
    const std::string& typed = string_grid1_cell_;
    if (typed.empty() || typed == "*")
        return;
    // The callback runs once for every record of the table on each key: the column's field is
    // looked up by name once (the persistent fields live as long as the table), and the key
    // word is read into a buffer of the field's size.
    if (key_field_ == nullptr || key_field_->DataSet() != &dataset)
        key_field_ = &dataset.FieldByName(dbgrid1_->GridModel()->FieldName());
    const zolvek::TField& field = *key_field_;
    std::array<char, 256> value {};
    std::string_view key;
    if (field.DataType() == zolvek::ftString && size_t(field.DataSize()) <= value.size()) {
        if (field.GetData(reinterpret_cast<uint8_t*>(value.data())))
            key = std::string_view(value.data(), strnlen(value.data(), size_t(field.Size())));
        accept = AdvancedSearchAccepts(typed, key);
        return;
    }
    accept = AdvancedSearchAccepts(typed, field.AsString());
}

void Tformx::SortOrder(QAction* item, const std::string& index_name) {
    item->setChecked(true);
    table1_->SetIndexName(index_name);
    table1_->First();
}

// ---- Adding, correcting, viewing ----

void Tformx::YeniKaytEkle1Click() {
    QLineEdit* key_box = form3_->yeni_kelime();
    QPlainTextEdit* explanation_box = form3_->yeni_tamini();
    key_box->setReadOnly(false);
    key_box->clear();
    explanation_box->clear();
    form3_->Label2()->setText(QStringLiteral(".: Yeni Kayıt Ekle :."));
    form3_->Label2()->adjustSize();
    form3_->Execute();
    if (!form3_->ResultFlag())
        return;
    const std::string key_word = TrimControls(ToCp1254(key_box->text()));
    key_box->setText(FromCp1254(key_word));
    const std::string explanation = TrimControls(ToCp1254(explanation_box->toPlainText()));
    explanation_box->setPlainText(FromCp1254(explanation));
    if (!key_word.empty()) {
        table1_->Append();
        table1_->Edit();
        table1_anahtar_->SetAsString(key_word);
        table1_aciklama_->SetAsString(explanation);
        table1_index_->SetAsString(key_word.substr(0, 1));
        table1_->Post();
    }
    UpdateTitle();
}

void Tformx::KaytDzelt1Click() {
    if (table1_->RecordCount() == 0)
        return;
    QLineEdit* key_box = form3_->yeni_kelime();
    QPlainTextEdit* explanation_box = form3_->yeni_tamini();
    key_box->setReadOnly(true);
    key_box->setText(FromCp1254(table1_anahtar_->AsString()));
    explanation_box->setPlainText(MemoText(table1_aciklama_->AsString()));
    form3_->Label2()->setText(QStringLiteral(".: Bilgi Düzenleme :."));
    form3_->Label2()->adjustSize();
    form3_->Execute();
    if (!form3_->ResultFlag())
        return;
    const std::string explanation = TrimControls(ToCp1254(explanation_box->toPlainText()));
    explanation_box->setPlainText(FromCp1254(explanation));
    // An emptied explanation is not saved: the record keeps the one it had.
    if (!explanation.empty()) {
        table1_->Edit();
        table1_aciklama_->SetAsString(explanation);
        table1_->Post();
    }
}

void Tformx::DBGrid1DblClick() {
    editor_view_.Show(
        FromCp1254(table1_anahtar_->AsString()), MemoText(table1_aciklama_->AsString()));
}

} // namespace zendo
