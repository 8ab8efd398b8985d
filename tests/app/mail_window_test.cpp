// The mail window: its texts and colours, the status messages of a send in order, the checks
// before a send, failures of a real loopback SMTP server shown in a box with a later send
// succeeding, and the handlers of its keys, list and menu.
#include "app/mail_window.h"
#include "controls/mspedbtn.h"
#include "loopback_servers.h"
#include "support/gui_support.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace zendo;
using zendo::testing::MailBox;
using zendo::testing::MessageBoxRecorder;
using zendo::testing::SaveScreenshot;
using zendo::testing::UnusedPort;

namespace {

const QString kDurum = QStringLiteral("Durum:");
const QString kChecking = QStringLiteral("Bağlantı durumu kontrol ediliyor");
const QString kConnecting = QStringLiteral("Bağlantı kuruluyor...");
const QString kSent = QStringLiteral("Mesaj başarıyla gönderildi...");
const QString kOffline = QStringLiteral("İnternet bağlantısı bulunamadı.");

TMailSettings SettingsFor(
    const TSmtpServer& server, TConnectionState state = TConnectionState::csOnline) {
    TMailSettings settings;
    settings.server = server;
    settings.connection_check = [state] { return state; };
    return settings;
}

QColor BaseColor(QWidget* widget) {
    return widget->palette().color(QPalette::Base);
}

// A shown, active mail window with handles on its parts.
struct MailWindow {
    explicit MailWindow(const TMailSettings& settings)
        : window(nullptr, settings) {
        window.show();
        window.activateWindow();
        ready = QTest::qWaitForWindowActive(&window);
    }
    template <typename T> T* Find(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    QListWidget* List() { return Find<QListWidget>("ListBox1"); }
    QPlainTextEdit* Memo() { return Find<QPlainTextEdit>("mesaj"); }
    void ClickSend() { QTest::mouseClick(Find<TMSpedBtn>("Button1"), Qt::LeftButton); }
    void Trigger(const char* action) {
        window.findChild<QAction*>(QString::fromLatin1(action))->trigger();
    }

    Tmail_yolla window;
    bool ready = false;
};

QStringList Statuses(const QSignalSpy& spy) {
    QStringList texts;
    for (const QList<QVariant>& call : spy)
        texts << call[0].toString();
    return texts;
}

} // namespace

class MailWindowTest : public QObject {
    Q_OBJECT

private slots:
    void textsAndColours();
    void sendShowsStatusesAndDelivers();
    void offlineOnlySaysSo();
    void blankAddressGivesErrorAndFocus_data();
    void blankAddressGivesErrorAndFocus();
    void failureShowsBoxAndNextSendWorks_data();
    void failureShowsBoxAndNextSendWorks();
    void enterMovesFocusExceptInMemo();
    void attachmentListHandlers();
    void focusColours();
    void f12AndExitClose();
};

void MailWindowTest::textsAndColours() {
    MailWindow mail(SettingsFor({}));
    QVERIFY(mail.ready);
    QCOMPARE(mail.window.windowTitle(),
        QStringLiteral("Programcıya @ Posta Gönder  »»»»»  [ ")
            + QString::fromLatin1(kMakerMailAddress) + QStringLiteral(" ]"));
    QCOMPARE(mail.window.size(), QSize(608, 423));
    const std::pair<const char*, const char*> captions[] = {
        { "Button1", "Gönder" },
        { "Button4", "Dosya veya Resim Ekle" },
        { "SpeedButton4", "Çıkış" },
        { "SpeedButton1", "Uyarı" },
    };
    for (const auto& [name, caption] : captions)
        QCOMPARE(mail.Find<TMSpedBtn>(name)->Caption(), QString::fromUtf8(caption));
    const std::pair<const char*, const char*> labels[] = {
        { "Label2", "Dosya veya Resim Ekleri" },
        { "Label4", "Adınız" },
        { "Label6", "@-Mail" },
        { "Label5", "Konu" },
        { "x1", ":" },
        { "x2", ":" },
        { "x3", ":" },
    };
    for (const auto& [name, text] : labels)
        QCOMPARE(mail.Find<QLabel>(name)->text(), QString::fromUtf8(text));
    const std::pair<const char*, const char*> items[] = {
        { "DosyaEkle1", "Dosya Ekle" },
        { "Dosyakart1", "Dosya Çıkart" },
        { "TmnTemizle1", "Tümünü Temizle" },
    };
    for (const auto& [name, text] : items)
        QCOMPARE(mail.window.findChild<QAction*>(QString::fromLatin1(name))->text(),
            QString::fromUtf8(text));
    QCOMPARE(mail.Find<TMSpedBtn>("Button5")->toolTip(), QStringLiteral("Listeden dosya çıkart"));
    QCOMPARE(mail.window.StatusText(), QString());
    for (const char* name : { "mailiniz", "Subjectx" })
        QCOMPARE(BaseColor(mail.Edit(name)), ColorFromTColor(13358552));
    QCOMPARE(BaseColor(mail.List()), ColorFromTColor(13358552));
    QCOMPARE(BaseColor(mail.Memo()), ColorFromTColor(13358552));

    QCOMPARE(QtNameFilters(QStringLiteral("Sıkışmış Dosya (*.zip;*.rar)|*.zip;*.rar|Tümü|*.*")),
        QStringList({ QStringLiteral("Sıkışmış Dosya (*.zip;*.rar) (*.zip *.rar)"),
            QStringLiteral("Tümü (*)") }));

    mail.Edit("adiniz")->setText(QStringLiteral("Çağrı Işıkoğlu"));
    mail.Edit("mailiniz")->setText(QStringLiteral("cagri@ornek.com.tr"));
    mail.Edit("Subjectx")->setText(QStringLiteral("Öneri: ığdır, şüphe, İğne, çöğür"));
    mail.Memo()->setPlainText(QStringLiteral(
        "Merhaba,\nSözlükte “ığdır” ve “çöğür” kelimelerini bulamadım.\nİyi çalışmalar."));
    mail.window.AddFiles({ QStringLiteral("/home/kullanıcı/Belgeler/şiir ğüz.txt"),
        QStringLiteral("/home/kullanıcı/Resimler/İstanbul.jpg") });
    SaveScreenshot(&mail.window, QStringLiteral("mail_window"));
}

void MailWindowTest::sendShowsStatusesAndDelivers() {
    MailBox box;
    QVERIFY(box.server.Port() != 0);
    QTemporaryDir files;
    const QString text_path = files.filePath(QStringLiteral("Güz şiiri İÇÖ.txt"));
    QFile text_file(text_path);
    QVERIFY(text_file.open(QIODevice::WriteOnly));
    text_file.write(QStringLiteral("ağaç").toUtf8());
    text_file.close();
    const QString gone_path = files.filePath(QStringLiteral("silindi.bin"));

    MailWindow mail(SettingsFor(box.Server()));
    QVERIFY(mail.ready);
    MessageBoxRecorder boxes;
    mail.Edit("adiniz")->setText(QStringLiteral("Çağrı Işıkoğlu"));
    mail.Edit("mailiniz")->setText(QStringLiteral(" cagri@ornek.com.tr"));
    mail.Edit("Subjectx")->setText(QStringLiteral("Öneri: ığdır İğne"));
    mail.Memo()->setPlainText(QStringLiteral("Birinci satır\nİkinci satır: ğüşıöç"));
    mail.window.AddFiles({ gone_path, text_path });
    QSignalSpy statuses(&mail.window, &Tmail_yolla::StatusChanged);
    QSignalSpy finished(&mail.window, &Tmail_yolla::SendFinished);

    mail.ClickSend();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished[0][0].toBool(), true);
    QCOMPARE(Statuses(statuses), QStringList({ kDurum, kChecking, kConnecting, kSent }));
    QCOMPARE(mail.window.StatusText(), kSent);
    QCOMPARE(boxes.boxes.size(), size_t(0));

    QCOMPARE(box.Count(), 1);
    const QJsonObject received = box.Mail(1);
    const QJsonObject from = received[QStringLiteral("from")].toArray()[0].toObject();
    QCOMPARE(from[QStringLiteral("name")].toString(), QStringLiteral("Çağrı Işıkoğlu"));
    QCOMPARE(from[QStringLiteral("address")].toString(), QStringLiteral("cagri@ornek.com.tr"));
    QCOMPARE(received[QStringLiteral("headers")].toObject()[QStringLiteral("Subject")].toString(),
        QStringLiteral("Öneri: ığdır İğne"));
    const QJsonArray parts = received[QStringLiteral("parts")].toArray();
    QCOMPARE(parts.size(), 2); // the text and the one file that still exists
    QCOMPARE(
        QByteArray::fromBase64(parts[0].toObject()[QStringLiteral("bytes")].toString().toLatin1()),
        QStringLiteral("Birinci satır\r\nİkinci satır: ğüşıöç").toUtf8());
    QCOMPARE(parts[1].toObject()[QStringLiteral("filename")].toString(),
        QStringLiteral("Güz şiiri İÇÖ.txt"));
    QCOMPARE(
        QByteArray::fromBase64(parts[1].toObject()[QStringLiteral("bytes")].toString().toLatin1()),
        QStringLiteral("ağaç").toUtf8());
    // The list and the texts stay for another send.
    QCOMPARE(mail.List()->count(), 2);
    QCOMPARE(mail.Edit("Subjectx")->text(), QStringLiteral("Öneri: ığdır İğne"));
}

void MailWindowTest::offlineOnlySaysSo() {
    MailBox box;
    MailWindow mail(SettingsFor(box.Server(), TConnectionState::csOffline));
    QVERIFY(mail.ready);
    MessageBoxRecorder boxes;
    mail.Edit("mailiniz")->setText(QStringLiteral("a@b.c"));
    QSignalSpy statuses(&mail.window, &Tmail_yolla::StatusChanged);
    mail.ClickSend();
    QCOMPARE(Statuses(statuses), QStringList({ kDurum, kChecking, kOffline }));
    QVERIFY(!mail.window.Sending());
    QCOMPARE(boxes.boxes.size(), size_t(0));
    QTest::qWait(200);
    QCOMPARE(box.Count(), 0);
}

void MailWindowTest::blankAddressGivesErrorAndFocus_data() {
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks and a tab") << QStringLiteral("   \t ");
}

void MailWindowTest::blankAddressGivesErrorAndFocus() {
    QFETCH(QString, address);
    MailBox box;
    MailWindow mail(SettingsFor(box.Server()));
    QVERIFY(mail.ready);
    MessageBoxRecorder boxes;
    mail.Edit("mailiniz")->setText(address);
    mail.Edit("adiniz")->setFocus();
    QSignalSpy statuses(&mail.window, &Tmail_yolla::StatusChanged);
    mail.ClickSend();
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("\nE-POSTA BÖLÜMÜNÜ DOLDURMANIZ GEREKİR."));
    QCOMPARE(boxes.boxes[0].type, TMsgDlgType::mtError);
    QCOMPARE(QApplication::focusWidget(), mail.Edit("mailiniz"));
    QCOMPARE(Statuses(statuses), QStringList({ kDurum, kChecking }));
    QVERIFY(!mail.window.Sending());
    QTest::qWait(200);
    QCOMPARE(box.Count(), 0);
}

void MailWindowTest::failureShowsBoxAndNextSendWorks_data() {
    QTest::addColumn<bool>("refuse_connection");
    QTest::addColumn<QString>("error_part");
    QTest::addColumn<QString>("last_status");
    QTest::newRow("server refuses the sender") << false << QStringLiteral("550") << kConnecting;
    QTest::newRow("server refuses the connection") << true << QString() << kChecking;
}

void MailWindowTest::failureShowsBoxAndNextSendWorks() {
    QFETCH(bool, refuse_connection);
    QFETCH(QString, error_part);
    QFETCH(QString, last_status);
    MailBox box(refuse_connection
            ? QStringList()
            : QStringList { QStringLiteral("--refuse-senders"), QStringLiteral("1") });
    TSmtpServer first = box.Server();
    if (refuse_connection)
        first.port = UnusedPort();
    MailWindow mail(SettingsFor(first));
    QVERIFY(mail.ready);
    MessageBoxRecorder boxes;
    mail.Edit("mailiniz")->setText(QStringLiteral("a@b.c"));
    mail.Memo()->setPlainText(QStringLiteral("ilk"));
    QSignalSpy finished(&mail.window, &Tmail_yolla::SendFinished);

    mail.ClickSend();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished[0][0].toBool(), false);
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(boxes.boxes[0].type, TMsgDlgType::mtError);
    QVERIFY(!boxes.boxes[0].text.isEmpty());
    QVERIFY2(boxes.boxes[0].text.contains(error_part), qPrintable(boxes.boxes[0].text));
    QCOMPARE(mail.window.StatusText(), last_status);
    QVERIFY(mail.window.isVisible());
    QCOMPARE(box.Count(), 0);

    mail.window.SetServer(box.Server());
    mail.Memo()->setPlainText(QStringLiteral("ikinci"));
    mail.ClickSend();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished[1][0].toBool(), true);
    QCOMPARE(mail.window.StatusText(), kSent);
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(box.Count(), 1);
}

void MailWindowTest::enterMovesFocusExceptInMemo() {
    MailWindow mail(SettingsFor({}));
    QVERIFY(mail.ready);
    mail.Edit("adiniz")->setFocus();
    QTest::keyClick(mail.Edit("adiniz"), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), mail.Edit("mailiniz"));
    QTest::keyClick(mail.Edit("mailiniz"), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(QApplication::focusWidget(), mail.Edit("Subjectx"));
    QVERIFY(mail.window.isVisible()); // Enter is no default button

    mail.Memo()->setFocus();
    QTest::keyClicks(mail.Memo(), QStringLiteral("bir"));
    QTest::keyClick(mail.Memo(), Qt::Key_Return);
    QTest::keyClicks(mail.Memo(), QStringLiteral("iki"));
    QCOMPARE(mail.Memo()->toPlainText(), QStringLiteral("bir\niki"));
    QCOMPARE(QApplication::focusWidget(), mail.Memo());
}

void MailWindowTest::attachmentListHandlers() {
    MailWindow mail(SettingsFor({}));
    QVERIFY(mail.ready);
    MessageBoxRecorder boxes;
    QListWidget* list = mail.List();
    mail.window.AddFiles({ QStringLiteral("/a/bir.txt"), QStringLiteral("/a/iki.txt"),
        QStringLiteral("/a/üç.txt"), QStringLiteral("/a/bir.txt") });
    QCOMPARE(list->count(), 4);
    list->setFocus();

    // Del with nothing selected does nothing.
    list->clearSelection();
    list->setCurrentRow(-1);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->count(), 4);

    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(1)->text(), QStringLiteral("/a/üç.txt"));

    list->setCurrentRow(0);
    mail.Trigger("Dosyakart1");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("/a/üç.txt"));

    list->setCurrentRow(1);
    QTest::mouseClick(mail.Find<TMSpedBtn>("Button5"), Qt::LeftButton);
    QCOMPARE(list->count(), 1);

    // A double click shows the path.
    list->setCurrentRow(0);
    const QRect row = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("/a/üç.txt"));
    QCOMPARE(boxes.boxes[0].type, TMsgDlgType::mtInformation);

    mail.Trigger("TmnTemizle1");
    QCOMPARE(list->count(), 0);
    mail.Trigger("Dosyakart1"); // removing from an empty list does nothing
    QCOMPARE(list->count(), 0);

    QTest::mouseClick(mail.Find<TMSpedBtn>("SpeedButton1"), Qt::LeftButton);
    QCOMPARE(boxes.boxes.size(), size_t(2));
    QCOMPARE(boxes.boxes[1].text,
        QStringLiteral("\nCevap yazılmasını istiyorsanız E-Posta adesini boş bırakmayınız."));
}

void MailWindowTest::focusColours() {
    MailWindow mail(SettingsFor({}));
    QVERIFY(mail.ready);
    const QColor box = ColorFromTColor(13358552);
    for (const char* name : { "adiniz", "mailiniz", "Subjectx" }) {
        mail.Edit(name)->setFocus();
        QCOMPARE(BaseColor(mail.Edit(name)), QColor(Qt::white));
        mail.List()->setFocus();
        QCOMPARE(BaseColor(mail.Edit(name)), box);
        QCOMPARE(BaseColor(mail.List()), QColor(Qt::white));
    }
    mail.Memo()->setFocus();
    QCOMPARE(BaseColor(mail.Memo()), ColorFromTColor(13884638));
    QCOMPARE(BaseColor(mail.List()), box);
    mail.Edit("adiniz")->setFocus();
    QCOMPARE(BaseColor(mail.Memo()), box);
}

void MailWindowTest::f12AndExitClose() {
    {
        MailWindow mail(SettingsFor({}));
        QVERIFY(mail.ready);
        mail.Memo()->setFocus();
        QTest::keyClick(mail.Memo(), Qt::Key_F12);
        QVERIFY(!mail.window.isVisible());
    }
    {
        MailWindow mail(SettingsFor({}));
        QVERIFY(mail.ready);
        QTest::mouseClick(mail.Find<TMSpedBtn>("SpeedButton4"), Qt::LeftButton);
        QVERIFY(!mail.window.isVisible());
    }
}

QTEST_MAIN(MailWindowTest)
#include "mail_window_test.moc"
