// The servers of the window tests: Python scripts beside this file, run by Debian's Python on
// 127.0.0.1 at a free port, stopped when the object goes (and by themselves after a while),
// and the reader that parses a received message with Python's email package.
#pragma once

#include "app/smtp_sender.h"

#include <QByteArray>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

namespace zendo::testing {

inline QString TestScript(const char* name) {
    return QStringLiteral(ZENDO_TEST_SCRIPTS "/") + QString::fromLatin1(name);
}

class LoopbackServer {
public:
    LoopbackServer(const char* script, const QStringList& arguments) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(ZENDO_SYSTEM_PYTHON),
            QStringList { QStringLiteral("-u"), TestScript(script) } + arguments);
        if (!process_.waitForStarted(10000))
            return;
        while (!process_.canReadLine() && process_.state() == QProcess::Running)
            process_.waitForReadyRead(10000);
        port_ = quint16(process_.readLine().trimmed().toUInt());
    }
    ~LoopbackServer() {
        process_.kill();
        process_.waitForFinished(10000);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // 0 when the server did not come up.
    quint16 Port() const { return port_; }

private:
    QProcess process_;
    quint16 port_ = 0;
};

// A loopback port on which nothing listens (taken from the system, then let go).
inline quint16 UnusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// The message saved at `path`, as read_mail.py describes it; empty when it cannot be read.
inline QJsonObject ReadMail(const QString& path) {
    QProcess reader;
    reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    reader.start(QStringLiteral(ZENDO_SYSTEM_PYTHON), { TestScript("read_mail.py"), path });
    reader.waitForFinished(30000);
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

// An SMTP server saving into its own folder; message N is N.eml.
struct MailBox {
    explicit MailBox(const QStringList& options = {})
        : server("smtp_server.py", QStringList { folder.path() } + options) { }

    TSmtpServer Server() const {
        TSmtpServer settings;
        settings.host = "127.0.0.1";
        settings.port = server.Port();
        return settings;
    }
    QJsonObject Mail(int number) const {
        return ReadMail(folder.filePath(QString::number(number) + QStringLiteral(".eml")));
    }
    int Count() const {
        return int(QDir(folder.path()).entryList({ QStringLiteral("*.eml") }).size());
    }

    QTemporaryDir folder;
    LoopbackServer server;
};

} // namespace zendo::testing
