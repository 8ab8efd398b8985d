// Tprogramci: the borderless about window that presents the program's maker: a logo, two lines
// about custom development and two browser panes with the maker's pages, fetched over HTTP when
// the computer is online and read from local copies beside the executable otherwise.
// Thread-safety: UI thread only; the fetches are QNetworkAccessManager replies owned by the
// window and dropped with it.
#pragma once

#include "app/connection_state.h"

#include <QDialog>
#include <QString>
#include <QUrl>

class QLabel;
class QNetworkAccessManager;
class QTextBrowser;

namespace zendo {

class TPanel;

// The maker's introduction page and program list. Placeholders on a reserved domain until the
// maker's site is known: until then the panes show the local copies.
inline constexpr char kMakerIntroPage[] = "https://korvan.example/korvan.htm";
inline constexpr char kMakerProgramsPage[] = "https://korvan.example/AllPrograms.htm";
// The local copies, looked for in the executable's directory.
inline constexpr char kLocalIntroPage[] = "korvan.htm";
inline constexpr char kLocalProgramsPage[] = "AllPrograms.htm";

struct TAboutSources {
    QUrl intro_page = QUrl(QString::fromLatin1(kMakerIntroPage));
    QUrl programs_page = QUrl(QString::fromLatin1(kMakerProgramsPage));
    // Empty: the executable's directory.
    QString local_directory;
    // Empty: SystemConnectionState.
    TConnectionCheck connection_check;
};

class Tprogramci : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 768;
    static constexpr int kClientHeight = 516;
    static constexpr int kBorderWidth = 2;

    explicit Tprogramci(QWidget* owner, TAboutSources sources = {});

    // Creates the window with `owner` as its parent, shows it modally and frees it when it
    // closes: the main window's "Hakkında..." item.
    static void Execute(QWidget* owner);

    // Where a pane's content came from.
    enum class TPaneSource { psNone, psWeb, psLocal };
    TPaneSource IntroSource() const { return intro_source_; }
    TPaneSource ProgramsSource() const { return programs_source_; }

signals:
    // Both panes have their content (fetched, local or none).
    void PagesLoaded();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void Panel2DblClick();

private:
    void BuildLayout();
    void FormShow();
    void LoadPane(QTextBrowser* pane, TPaneSource* source, const QUrl& address, const char* file,
        bool online);
    void ShowLocalPage(QTextBrowser* pane, TPaneSource* source, const char* file);
    void PaneSettled();

    TAboutSources sources_;
    QWidget* client_ = nullptr;
    TPanel* title_bar_ = nullptr;
    QLabel* logo_ = nullptr;
    QTextBrowser* wwwdata_ = nullptr;
    QTextBrowser* www_all_prg_ = nullptr;
    QLabel* label40_ = nullptr;
    QLabel* label41_ = nullptr;
    QLabel* label42_ = nullptr;
    QLabel* lblsrm_ = nullptr;
    QNetworkAccessManager* network_ = nullptr;
    TPaneSource intro_source_ = TPaneSource::psNone;
    TPaneSource programs_source_ = TPaneSource::psNone;
    int panes_pending_ = 0;
    bool shown_once_ = false;
};

} // namespace zendo
