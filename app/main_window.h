// Tformx: the glossary's main window. It owns the table component Table1 on the table "datalar"
// with its three fields, opens it from the database directory when first shown (the
// executable's directory, or the one given on the command line), and offers the three search
// modes, the three sort orders, adding and correcting records through TForm3, the text-editor
// view of an entry, and the mail and about windows. It draws its own frame and title bar,
// changes the frame's colour with the application's activation, is dragged by its background
// and frame, and closes on F12. The window's title is "ZENDO [N]" with the count of the view.
// Thread-safety: UI thread only; the table and everything the engine does for it run on it.
// Lifetime: created first at start, with the notice TForm2 and the dialog TForm3, which it
// owns; it closes the table when it closes, which ends the program.
#pragma once

#include "app/editor_view.h"
#include "app/window_frame.h"
#include "db/components/zolvek_table.h"
#include "db/dataset/data_links.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>

class QAction;
class QLineEdit;
class QMenu;
class QStackedWidget;

namespace zendo {

class TDBGrid;
class TDBMemo;
class TForm2;
class TForm3;
class TMSpedBtn;

// The database directory for the running executable at `executable_path`: the path cut after
// its last '/', with the separator that ends it; a path without one gives "/".
QString DatabaseDirectoryFor(const QString& executable_path);

class Tformx : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 332;
    static constexpr int kClientHeight = 352;

    // `database_directory` empty: the executable's directory.
    explicit Tformx(QString database_directory = {}, QWidget* parent = nullptr);
    ~Tformx() override;

    zolvek::TZOLVEKTable& Table1() { return *table1_; }
    // The directory the table is looked for in: empty until the window is first shown.
    const QString& DatabaseDirectory() const { return database_directory_; }
    TForm2* Form2() const { return form2_; }
    TForm3* Form3() const { return form3_; }
    TEditorView& EditorView() { return editor_view_; }
    TDBGrid* DBGrid1() const { return dbgrid1_; }
    TDBMemo* RzDBMemo1() const { return rzdbmemo1_; }
    QMenu* MNMENU() const { return mnmenu_; }
    QMenu* MNS() const { return mns_; }
    QMenu* mnhak() const { return mnhak_; }
    // The text typed last in the advanced mode's box, as the record callback reads it.
    const std::string& HolderText() const { return string_grid1_cell_; }

    // The grid's menu as it is about to open: brings the record count up to date. False when
    // that failed (the error has been shown) and the menu must not open.
    bool MNSPopup();

signals:
    // FormShow has run: the table is open, or the program is ending.
    void Shown();
    // The mode notice was on screen (TForm2 shown and painted) during a mode switch.
    void NoticeShown();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildTable();
    void BuildLayout();
    void BuildMenus();
    QLineEdit* MakeSearchBox(QWidget* page, const char* name, const QString& mode);

    // Part of start-up and the frame.
    void FormShow();
    void UpdateTitle();
    void ApplicationEvents1Activate();
    void ApplicationEvents1Deactivate();
    void Button1Click();
    void MSpedBtn2Click();
    void MSpedBtn4Click();
    void ShowGridMenu(const QPoint& position);

    // The search modes and sort orders.
    void SS3Click();
    void SS2Click();
    void SS1Click();
    void SwitchMode(QAction* item, QWidget* page, QLineEdit* box, bool filtered);
    void Sorgulamaeitlerihakknda1Click();
    void S3Change(const QString& text);
    void S3KeyDown();
    void S2Change(const QString& text);
    void S2KeyDown();
    void S1XChange(const QString& text);
    void S1XKeyUp();
    void S1XKeyDown();
    void Table1FilterRecord(zolvek::TDataSet& dataset, bool& accept);
    void SortOrder(QAction* item, const std::string& index_name);

    // Adding and correcting records; the text-editor view.
    void YeniKaytEkle1Click();
    void KaytDzelt1Click();
    void DBGrid1DblClick();

    QString requested_directory_;
    QString database_directory_;
    std::unique_ptr<zolvek::TZOLVEKTable> table1_;
    zolvek::TStringField* table1_anahtar_ = nullptr;
    zolvek::TMemoField* table1_aciklama_ = nullptr;
    zolvek::TStringField* table1_index_ = nullptr;
    std::unique_ptr<zolvek::TDataSource> data_source1_;
    // The advanced mode's text: StringGrid1's cell (0, 0), a holder that never shows.
    std::string string_grid1_cell_;
    // The grid column's field, which the record callback reads.
    zolvek::TField* key_field_ = nullptr;
    bool shown_once_ = false;

    TWindowFrame frame_;
    TMSpedBtn* button1_ = nullptr;
    TMSpedBtn* mspedbtn2_ = nullptr;
    TMSpedBtn* mspedbtn4_ = nullptr;
    TMSpedBtn* mspedbtn3_ = nullptr;
    QStackedWidget* notebook1_ = nullptr;
    QWidget* page_s1_ = nullptr;
    QWidget* page_s2_ = nullptr;
    QWidget* page_s3_ = nullptr;
    QLineEdit* s1x_ = nullptr;
    QLineEdit* s2_ = nullptr;
    QLineEdit* s3_ = nullptr;
    TDBGrid* dbgrid1_ = nullptr;
    TDBMemo* rzdbmemo1_ = nullptr;

    QMenu* mnmenu_ = nullptr;
    QAction* ss3_ = nullptr;
    QAction* ss2_ = nullptr;
    QAction* ss1_ = nullptr;
    QMenu* mns_ = nullptr;
    QAction* kayt_says1_ = nullptr;
    QAction* orijinal_sralama1_ = nullptr;
    QAction* adan_zye_sralama1_ = nullptr;
    QAction* harf_grubuna_gre1_ = nullptr;
    QMenu* mnhak_ = nullptr;

    TForm2* form2_ = nullptr;
    TForm3* form3_ = nullptr;
    TEditorView editor_view_;
};

} // namespace zendo
