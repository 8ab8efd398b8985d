// The about window against a real loopback HTTP server: the maker's pages online, the local
// copies offline or when a fetch fails, empty panes where neither; the trimmed pane edges,
// roll-up, links, and the three ways to close it.
#include "app/about_window.h"
#include "controls/mspedbtn.h"
#include "controls/panel.h"
#include "loopback_servers.h"
#include "support/gui_support.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

using namespace zendo;
using zendo::testing::LoopbackServer;
using zendo::testing::SaveScreenshot;
using zendo::testing::UnusedPort;

using TPaneSource = Tprogramci::TPaneSource;
Q_DECLARE_METATYPE(Tprogramci::TPaneSource)

namespace {

void WritePage(const QString& directory, const char* file, const QString& body) {
    QFile page(QDir(directory).filePath(QString::fromLatin1(file)));
    if (page.open(QIODevice::WriteOnly)) {
        page.write(QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><p>%1</p>"
                                  "<a href=\"sonraki.htm\">sonraki</a></body></html>")
                       .arg(body)
                       .toUtf8());
    }
}

// The maker's site as a served folder, and the folder of the executable with its local copies.
struct Pages {
    Pages()
        : server("http_server.py", { site.path() }) {
        WritePage(site.path(), "korvan.htm", QStringLiteral("Web: Programcı tanıtımı ğüşıöç İ"));
        WritePage(site.path(), "AllPrograms.htm", QStringLiteral("Web: Tüm programlar ĞÜŞİÖÇ"));
    }
    void AddLocal(const char* file, const QString& body) { WritePage(local.path(), file, body); }
    TAboutSources Sources(TConnectionState state, quint16 port) const {
        TAboutSources sources;
        const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(port);
        sources.intro_page = QUrl(base + QStringLiteral("korvan.htm"));
        sources.programs_page = QUrl(base + QStringLiteral("AllPrograms.htm"));
        sources.local_directory = local.path();
        sources.connection_check = [state] { return state; };
        return sources;
    }

    QTemporaryDir site;
    QTemporaryDir local;
    LoopbackServer server;
};

// A shown about window whose panes have settled.
struct AboutWindow {
    explicit AboutWindow(const TAboutSources& sources)
        : window(nullptr, sources) {
        QSignalSpy loaded(&window, &Tprogramci::PagesLoaded);
        window.show();
        settled
            = QTest::qWaitForWindowExposed(&window) && (loaded.count() == 1 || loaded.wait(20000));
    }
    QTextBrowser* Pane(const char* name) {
        return window.findChild<QTextBrowser*>(QString::fromLatin1(name));
    }
    QString Text(const char* name) { return Pane(name)->toPlainText(); }

    Tprogramci window;
    bool settled = false;
};

// Records the addresses handed to the desktop's browser.
class BrowserStandIn : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

} // namespace

class AboutWindowTest : public QObject {
    Q_OBJECT

private slots:
    void onlineShowsTheServedPages_data();
    void onlineShowsTheServedPages();
    void localPagesWhenOfflineOrUnreachable_data();
    void localPagesWhenOfflineOrUnreachable();
    void shippedPagesShowOffline();
    void rollUpTwiceRestoresHeight();
    void linksOpenInTheDesktopBrowser();
    void closes_data();
    void closes();
};

void AboutWindowTest::onlineShowsTheServedPages_data() {
    QTest::addColumn<TConnectionState>("state");
    QTest::newRow("online") << TConnectionState::csOnline;
    QTest::newRow("no backend can tell") << TConnectionState::csUnknown;
}

void AboutWindowTest::onlineShowsTheServedPages() {
    QFETCH(TConnectionState, state);
    Pages pages;
    QVERIFY(pages.server.Port() != 0);
    pages.AddLocal("korvan.htm", QStringLiteral("Yerel tanıtım"));
    pages.AddLocal("AllPrograms.htm", QStringLiteral("Yerel programlar"));
    AboutWindow about(pages.Sources(state, pages.server.Port()));
    QVERIFY(about.settled);
    QVERIFY(about.Text("wwwdata").contains(QStringLiteral("Web: Programcı tanıtımı ğüşıöç İ")));
    QVERIFY(about.Text("wwwAllPrg").contains(QStringLiteral("Web: Tüm programlar ĞÜŞİÖÇ")));
    QCOMPARE(about.window.IntroSource(), TPaneSource::psWeb);
    QCOMPARE(about.window.ProgramsSource(), TPaneSource::psWeb);

    // The window's layout after the show.
    QCOMPARE(about.window.size(), QSize(772, 520));
    QCOMPARE(about.window.windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
    QCOMPARE(about.window.findChild<TPanel*>(QStringLiteral("Panel2"))->Caption(),
        QStringLiteral("K O R V A N"));
    QVERIFY(about.window.findChild<QLabel*>(QStringLiteral("Image2"))->isVisible());
    for (const char* name : { "Label40", "Label41", "Label42", "lblsrm" })
        QCOMPARE(about.window.findChild<QLabel*>(QString::fromLatin1(name))->text(), QString());
    QCOMPARE(about.window.findChild<QLabel*>(QStringLiteral("Label81"))->text(),
        QStringLiteral("*İsteğe Bağlı Program Geliştirilir"));
    QCOMPARE(about.window.findChild<QLabel*>(QStringLiteral("Label4"))->text(),
        QStringLiteral("*Mevcut programlar geliştirilir"));
    QCOMPARE(about.window.findChild<TMSpedBtn*>(QStringLiteral("Kapt"))->toolTip(),
        QStringLiteral("PENCEREYİ\nKAPATIR"));
    // Each pane loses one pixel at the top and left and two at the right and bottom.
    QCOMPARE(about.Pane("wwwdata")->mask(), QRegion(1, 1, 237, 169));
    QCOMPARE(about.Pane("wwwAllPrg")->mask(), QRegion(1, 1, 513, 478));
    // The frame shows the window's colour.
    const QImage image = about.window.grab().toImage();
    QCOMPARE(zendo::testing::PixelColor(image, 0, 300), TColor(14614528));
    QCOMPARE(zendo::testing::PixelColor(image, 771, 519), TColor(14614528));
}

void AboutWindowTest::localPagesWhenOfflineOrUnreachable_data() {
    QTest::addColumn<bool>("offline");
    QTest::addColumn<bool>("local_intro");
    QTest::addColumn<bool>("local_programs");
    for (const bool offline : { true, false }) {
        const char* why = offline ? "offline" : "server down";
        QTest::addRow("%s, both local pages", why) << offline << true << true;
        QTest::addRow("%s, only AllPrograms.htm", why) << offline << false << true;
        QTest::addRow("%s, no local page", why) << offline << false << false;
    }
}

void AboutWindowTest::localPagesWhenOfflineOrUnreachable() {
    QFETCH(bool, offline);
    QFETCH(bool, local_intro);
    QFETCH(bool, local_programs);
    Pages pages;
    QVERIFY(pages.server.Port() != 0);
    if (local_intro)
        pages.AddLocal("korvan.htm", QStringLiteral("Yerel tanıtım ığ"));
    if (local_programs)
        pages.AddLocal("AllPrograms.htm", QStringLiteral("Yerel programlar İŞ"));
    // Offline, the window must not fetch even from a live server; "server down" points at a
    // port where nothing listens.
    const quint16 port = offline ? pages.server.Port() : UnusedPort();
    const TConnectionState state
        = offline ? TConnectionState::csOffline : TConnectionState::csOnline;
    AboutWindow about(pages.Sources(state, port));
    QVERIFY(about.settled);

    QCOMPARE(about.window.IntroSource(), local_intro ? TPaneSource::psLocal : TPaneSource::psNone);
    QCOMPARE(
        about.window.ProgramsSource(), local_programs ? TPaneSource::psLocal : TPaneSource::psNone);
    QCOMPARE(about.Text("wwwdata").contains(QStringLiteral("Yerel tanıtım ığ")), local_intro);
    QCOMPARE(
        about.Text("wwwAllPrg").contains(QStringLiteral("Yerel programlar İŞ")), local_programs);
    if (!local_intro)
        QCOMPARE(about.Text("wwwdata"), QString());
    if (!local_programs)
        QCOMPARE(about.Text("wwwAllPrg"), QString());
    QVERIFY(!about.Text("wwwdata").contains(QStringLiteral("Web:")));
}

void AboutWindowTest::shippedPagesShowOffline() {
    // The pages that the build copies beside the program.
    TAboutSources sources;
    sources.local_directory = QStringLiteral(ZENDO_APP_DIR);
    sources.connection_check = [] { return TConnectionState::csOffline; };
    AboutWindow about(sources);
    QVERIFY(about.settled);
    QCOMPARE(about.window.IntroSource(), TPaneSource::psLocal);
    QCOMPARE(about.window.ProgramsSource(), TPaneSource::psLocal);
    QVERIFY(about.Text("wwwdata").contains(QStringLiteral("ZENDO")));
    QVERIFY(about.Text("wwwAllPrg").contains(QStringLiteral("Türkçe kelime sözlüğü")));
    SaveScreenshot(&about.window, QStringLiteral("about_window"));
}

void AboutWindowTest::rollUpTwiceRestoresHeight() {
    TAboutSources sources;
    QTemporaryDir empty;
    sources.local_directory = empty.path();
    sources.connection_check = [] { return TConnectionState::csOffline; };
    AboutWindow about(sources);
    QVERIFY(about.settled);
    auto* title = about.window.findChild<TPanel*>(QStringLiteral("Panel2"));
    QCOMPARE(about.window.height(), 520);
    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(300, 10));
    QCOMPARE(about.window.height(), 25); // the title bar and the frame
    SaveScreenshot(&about.window, QStringLiteral("about_window_rolled_up"));
    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(300, 10));
    QCOMPARE(about.window.height(), 520);
    QCOMPARE(about.window.width(), 772);
}

void AboutWindowTest::linksOpenInTheDesktopBrowser() {
    Pages pages;
    QVERIFY(pages.server.Port() != 0);
    pages.AddLocal("AllPrograms.htm", QStringLiteral("Yerel programlar"));
    BrowserStandIn browser;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "Open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "Open");
    {
        TAboutSources sources = pages.Sources(TConnectionState::csOnline, pages.server.Port());
        sources.programs_page
            = QUrl(QStringLiteral("http://127.0.0.1:%1/yok.htm").arg(UnusedPort()));
        AboutWindow about(sources);
        QVERIFY(about.settled);
        emit about.Pane("wwwdata")->anchorClicked(QUrl(QStringLiteral("sonraki.htm")));
        emit about.Pane("wwwAllPrg")->anchorClicked(QUrl(QStringLiteral("sonraki.htm")));
        // The pane itself stays on its page.
        QVERIFY(about.Text("wwwdata").contains(QStringLiteral("Web: Programcı")));
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(browser.opened.size(), 2);
    QCOMPARE(browser.opened[0],
        QUrl(QStringLiteral("http://127.0.0.1:%1/sonraki.htm").arg(pages.server.Port())));
    QCOMPARE(browser.opened[1],
        QUrl::fromLocalFile(pages.local.filePath(QStringLiteral("sonraki.htm"))));
}

void AboutWindowTest::closes_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("F12") << QStringLiteral("F12");
    QTest::newRow("close button") << QStringLiteral("Kapt");
    QTest::newRow("logo") << QStringLiteral("Image2");
}

void AboutWindowTest::closes() {
    QFETCH(QString, how);
    TAboutSources sources;
    QTemporaryDir empty;
    sources.local_directory = empty.path();
    sources.connection_check = [] { return TConnectionState::csOffline; };
    AboutWindow about(sources);
    QVERIFY(about.settled);
    about.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&about.window));
    QSignalSpy finished(&about.window, &QDialog::finished);
    if (how == QStringLiteral("F12")) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr ? focus : &about.window, Qt::Key_F12);
    } else {
        QWidget* target = about.window.findChild<QWidget*>(how);
        QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
    }
    QVERIFY(!about.window.isVisible());
    QCOMPARE(finished.count(), 1);
}

QTEST_MAIN(AboutWindowTest)
#include "about_window_test.moc"
