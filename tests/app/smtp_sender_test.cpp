// The SMTP sender against a real SMTP server on the loopback interface: what arrives is parsed
// with Python's email package and compared header by header and byte by byte.
#include "app/smtp_sender.h"
#include "loopback_servers.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using namespace zendo;
using zendo::testing::LoopbackServer;
using zendo::testing::MailBox;
using zendo::testing::ReadMail;
using zendo::testing::UnusedPort;

namespace {

std::string Utf8(const QString& text) {
    return text.toStdString();
}

QByteArray WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(bytes);
    return bytes;
}

QByteArray PartBytes(const QJsonObject& mail, int index) {
    return QByteArray::fromBase64(mail[QStringLiteral("parts")]
                                      .toArray()[index]
                                      .toObject()[QStringLiteral("bytes")]
                                      .toString()
                                      .toLatin1());
}

QJsonObject Part(const QJsonObject& mail, int index) {
    return mail[QStringLiteral("parts")].toArray()[index].toObject();
}

} // namespace

class SmtpSenderTest : public QObject {
    Q_OBJECT

private slots:
    void turkishMessageWithAttachmentsArrivesWhole();
    void missingAttachmentIsLeftOut();
    void typedLineBreaksStayInTheirHeader_data();
    void typedLineBreaksStayInTheirHeader();
    void refusedSenderFailsAndNextSendSucceeds();
    void refusedConnectionFails();
};

void SmtpSenderTest::turkishMessageWithAttachmentsArrivesWhole() {
    MailBox box;
    QVERIFY(box.server.Port() != 0);
    QTemporaryDir files;
    const QString text_path = files.filePath(QStringLiteral("Şiir ve Güz ığdır İÇÖ.txt"));
    const QByteArray text_bytes = WriteFile(text_path, QStringLiteral("Ağaç\r\nkuş\n").toUtf8());
    QByteArray binary;
    for (int i = 0; i < 3000; ++i)
        binary.append(char((i * 7 + i / 256) & 0xFF));
    const QString binary_path = files.filePath(QStringLiteral("resim.bin"));
    WriteFile(binary_path, binary);

    const QString name = QStringLiteral("Çağrı Işıkoğlu İçözü");
    const QString subject = QStringLiteral(
        "Öneri: ğüşıöç İĞÜŞÖÇ sözlüğe yeni kelimeler eklenmeli mi, yoksa eskileri mi "
        "düzeltilmeli? Uzun bir konu satırı");
    const QString long_line = QString(QStringLiteral("çok uzun satır ")).repeated(40);
    const QString body = QStringLiteral("Merhaba,\n\nSözlükte “ığdır” yok.\n") + long_line
        + QStringLiteral("\n.tek nokta\nFrom satırı   \nSon satır: ğüşıöç İĞÜŞÖÇ");

    TMailMessage message;
    message.from_name = Utf8(name);
    message.from_address = "cagri@ornek.com.tr";
    message.subject = Utf8(subject);
    message.body = Utf8(body);
    message.attachment_paths = { Utf8(text_path), Utf8(binary_path) };
    int connected = 0;
    const TSendResult result = TSmtpSender(box.Server()).Send(message, [&] { ++connected; });
    QVERIFY2(result.ok, result.error.c_str());
    QCOMPARE(result.attachments_sent, size_t(2));
    QCOMPARE(connected, 1);
    QCOMPARE(box.Count(), 1);

    const QJsonObject mail = box.Mail(1);
    QVERIFY(!mail.isEmpty());
    QCOMPARE(mail[QStringLiteral("defects")].toArray().size(), 0);
    const QJsonObject from = mail[QStringLiteral("from")].toArray()[0].toObject();
    QCOMPARE(from[QStringLiteral("name")].toString(), name);
    QCOMPARE(from[QStringLiteral("address")].toString(), QStringLiteral("cagri@ornek.com.tr"));
    const QJsonObject to = mail[QStringLiteral("to")].toArray()[0].toObject();
    QCOMPARE(to[QStringLiteral("address")].toString(), QString::fromLatin1(kMakerMailAddress));
    const QJsonObject sender = mail[QStringLiteral("sender")].toArray()[0].toObject();
    QCOMPARE(sender[QStringLiteral("address")].toString(), QString::fromLatin1(kMakerMailAddress));
    const QJsonObject headers = mail[QStringLiteral("headers")].toObject();
    QCOMPARE(headers[QStringLiteral("Subject")].toString(), subject);
    QCOMPARE(headers[QStringLiteral("MIME-Version")].toString(), QStringLiteral("1.0"));
    QVERIFY(headers[QStringLiteral("Message-ID")].toString().startsWith(QLatin1Char('<')));
    QVERIFY(!mail[QStringLiteral("date")].toString().isEmpty());
    QStringList names;
    for (const QJsonValue& value : mail[QStringLiteral("header_names")].toArray())
        names << value.toString().toLower();
    for (const char* header :
        { "date", "from", "sender", "to", "subject", "message-id", "mime-version" })
        QCOMPARE(names.count(QString::fromLatin1(header)), 1);

    // Seven-bit lines of legal length in CR LF only.
    QVERIFY(!mail[QStringLiteral("eight_bit")].toBool());
    QCOMPARE(mail[QStringLiteral("bare_line_feeds")].toInt(), 0);
    QVERIFY(mail[QStringLiteral("longest_line")].toInt() <= 998);

    QCOMPARE(mail[QStringLiteral("content_type")].toString(), QStringLiteral("multipart/mixed"));
    QCOMPARE(mail[QStringLiteral("parts")].toArray().size(), 3);
    const QJsonObject text_part = Part(mail, 0);
    QCOMPARE(text_part[QStringLiteral("content_type")].toString(), QStringLiteral("text/plain"));
    QCOMPARE(text_part[QStringLiteral("charset")].toString(), QStringLiteral("utf-8"));
    QCOMPARE(text_part[QStringLiteral("transfer_encoding")].toString(),
        QStringLiteral("quoted-printable"));
    QCOMPARE(PartBytes(mail, 0), body.toUtf8().replace("\n", "\r\n"));

    const QJsonObject text_file = Part(mail, 1);
    QCOMPARE(text_file[QStringLiteral("disposition")].toString(), QStringLiteral("attachment"));
    QCOMPARE(text_file[QStringLiteral("filename")].toString(),
        QStringLiteral("Şiir ve Güz ığdır İÇÖ.txt"));
    QCOMPARE(text_file[QStringLiteral("transfer_encoding")].toString(), QStringLiteral("base64"));
    QCOMPARE(PartBytes(mail, 1), text_bytes);
    const QJsonObject binary_file = Part(mail, 2);
    QCOMPARE(binary_file[QStringLiteral("filename")].toString(), QStringLiteral("resim.bin"));
    QCOMPARE(binary_file[QStringLiteral("content_type")].toString(),
        QStringLiteral("application/octet-stream"));
    QCOMPARE(PartBytes(mail, 2), binary);

    // The envelope names the maker as sender and only recipient.
    QFile envelope(box.folder.filePath(QStringLiteral("1.json")));
    QVERIFY(envelope.open(QIODevice::ReadOnly));
    const QJsonObject route = QJsonDocument::fromJson(envelope.readAll()).object();
    QCOMPARE(route[QStringLiteral("mail_from")].toString(), QString::fromLatin1(kMakerMailAddress));
    QCOMPARE(route[QStringLiteral("rcpt_tos")].toArray(),
        QJsonArray({ QString::fromLatin1(kMakerMailAddress) }));
}

void SmtpSenderTest::missingAttachmentIsLeftOut() {
    MailBox box;
    QTemporaryDir files;
    const QString gone = files.filePath(QStringLiteral("silindi.txt"));
    WriteFile(gone, "x");
    QFile::remove(gone);
    const QString kept = files.filePath(QStringLiteral("kaldı.zip"));
    const QByteArray kept_bytes = WriteFile(kept, QByteArray("PK\x03\x04 zip-ish", 13));

    TMailMessage message;
    message.from_address = "a@b.c";
    message.attachment_paths = { Utf8(gone), Utf8(kept) };
    const TSendResult result = TSmtpSender(box.Server()).Send(message);
    QVERIFY2(result.ok, result.error.c_str());
    QCOMPARE(result.attachments_sent, size_t(1));
    const QJsonObject mail = box.Mail(1);
    QCOMPARE(mail[QStringLiteral("parts")].toArray().size(), 2);
    QCOMPARE(Part(mail, 1)[QStringLiteral("filename")].toString(), QStringLiteral("kaldı.zip"));
    QCOMPARE(Part(mail, 1)[QStringLiteral("content_type")].toString(),
        QStringLiteral("application/zip"));
    QCOMPARE(PartBytes(mail, 1), kept_bytes);
    // An empty name gives the bare address.
    const QJsonObject from = mail[QStringLiteral("from")].toArray()[0].toObject();
    QCOMPARE(from[QStringLiteral("name")].toString(), QString());
    QCOMPARE(from[QStringLiteral("address")].toString(), QStringLiteral("a@b.c"));
}

void SmtpSenderTest::typedLineBreaksStayInTheirHeader_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("expected_name");
    QTest::addColumn<QString>("expected_subject");
    QTest::newRow("subject with CR LF")
        << QStringLiteral("Ali") << QStringLiteral("ali@x.org")
        << QStringLiteral("Merhaba\r\nBcc: kurban@example.com") << QStringLiteral("Ali")
        << QStringLiteral("Merhaba  Bcc: kurban@example.com");
    QTest::newRow("Turkish subject with LF and an empty line")
        << QStringLiteral("Ali") << QStringLiteral("ali@x.org")
        << QStringLiteral("Şikâyet\n\nX-Evil: 1") << QStringLiteral("Ali")
        << QStringLiteral("Şikâyet  X-Evil: 1");
    QTest::newRow("name with LF") << QStringLiteral("Ali\nBcc: kurban@example.com")
                                  << QStringLiteral("ali@x.org") << QStringLiteral("Konu")
                                  << QStringLiteral("Ali Bcc: kurban@example.com")
                                  << QStringLiteral("Konu");
    QTest::newRow("Turkish name with CR")
        << QStringLiteral("Çağrı\rX-Evil: 1") << QStringLiteral("ali@x.org")
        << QStringLiteral("Konu") << QStringLiteral("Çağrı X-Evil: 1") << QStringLiteral("Konu");
    QTest::newRow("quotes and backslash in the name")
        << QStringLiteral("Ali \"Veli\" \\ Can") << QStringLiteral("ali@x.org")
        << QStringLiteral("=?UTF-8?B?SGk=?=") << QStringLiteral("Ali \"Veli\" \\ Can")
        << QStringLiteral("=?UTF-8?B?SGk=?=");
    QTest::newRow("address with CR LF")
        << QStringLiteral("Ali") << QStringLiteral("ali@x.org\r\nBcc: kurban@example.com")
        << QStringLiteral("Konu") << QStringLiteral("Ali") << QStringLiteral("Konu");
}

void SmtpSenderTest::typedLineBreaksStayInTheirHeader() {
    QFETCH(QString, name);
    QFETCH(QString, address);
    QFETCH(QString, subject);
    QFETCH(QString, expected_name);
    QFETCH(QString, expected_subject);
    MailBox box;
    TMailMessage message;
    message.from_name = Utf8(name);
    message.from_address = Utf8(address);
    message.subject = Utf8(subject);
    message.body = "Gövde";
    const TSendResult result = TSmtpSender(box.Server()).Send(message);
    QVERIFY2(result.ok, result.error.c_str());
    const QJsonObject mail = box.Mail(1);
    QStringList names;
    for (const QJsonValue& value : mail[QStringLiteral("header_names")].toArray())
        names << value.toString().toLower();
    QVERIFY2(!names.contains(QStringLiteral("bcc")) && !names.contains(QStringLiteral("x-evil")),
        qPrintable(names.join(QLatin1Char(','))));
    QCOMPARE(names.count(QStringLiteral("from")), 1);
    QCOMPARE(names.count(QStringLiteral("subject")), 1);
    QCOMPARE(mail[QStringLiteral("headers")].toObject()[QStringLiteral("Subject")].toString(),
        expected_subject);
    const QJsonArray from = mail[QStringLiteral("from")].toArray();
    QCOMPARE(from.size(), 1);
    QCOMPARE(from[0].toObject()[QStringLiteral("name")].toString(), expected_name);
    QCOMPARE(PartBytes(mail, 0), QStringLiteral("Gövde").toUtf8());
    // The route never changes: the maker alone receives it.
    QFile envelope(box.folder.filePath(QStringLiteral("1.json")));
    QVERIFY(envelope.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(envelope.readAll())
                 .object()[QStringLiteral("rcpt_tos")]
                 .toArray()
                 .size(),
        1);
}

void SmtpSenderTest::refusedSenderFailsAndNextSendSucceeds() {
    MailBox box({ QStringLiteral("--refuse-senders"), QStringLiteral("1") });
    TMailMessage message;
    message.from_address = "a@b.c";
    message.body = "bir";
    const TSmtpSender sender(box.Server());
    int connected = 0;
    const TSendResult refused = sender.Send(message, [&] { ++connected; });
    QVERIFY(!refused.ok);
    QVERIFY2(QString::fromStdString(refused.error).contains(QStringLiteral("550")),
        refused.error.c_str());
    QCOMPARE(connected, 1);
    QCOMPARE(box.Count(), 0);

    message.body = "iki";
    const TSendResult accepted = sender.Send(message, [&] { ++connected; });
    QVERIFY2(accepted.ok, accepted.error.c_str());
    QCOMPARE(connected, 2);
    QCOMPARE(box.Count(), 1);
    QCOMPARE(PartBytes(box.Mail(1), 0), QByteArray("iki"));
}

void SmtpSenderTest::refusedConnectionFails() {
    TSmtpServer nowhere;
    nowhere.host = "127.0.0.1";
    nowhere.port = UnusedPort();
    TMailMessage message;
    message.from_address = "a@b.c";
    int connected = 0;
    const TSendResult result = TSmtpSender(nowhere).Send(message, [&] { ++connected; });
    QVERIFY(!result.ok);
    QVERIFY(!result.error.empty());
    QCOMPARE(connected, 0);
}

QTEST_GUILESS_MAIN(SmtpSenderTest)
#include "smtp_sender_test.moc"
