// Tmail_yolla: the window that writes a message to the program's maker, with files attached,
// and sends it over SMTP (TSmtpSender) on a worker thread while the status bar reports progress.
// Thread-safety: UI thread only. The worker touches only its copy of the message and hands its
// results back through queued calls; the window stops and joins it before it goes.
#pragma once

#include "app/connection_state.h"
#include "app/smtp_sender.h"

#include <QDialog>
#include <QStringList>

#include <atomic>

class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QThread;

namespace zendo {

class TMSpedBtn;

// Where the window sends and how it asks whether the computer is online.
struct TMailSettings {
    TSmtpServer server;
    // Empty: SystemConnectionState.
    TConnectionCheck connection_check;
};

class Tmail_yolla : public QDialog {
    Q_OBJECT

public:
    explicit Tmail_yolla(QWidget* owner, TMailSettings settings = {});
    ~Tmail_yolla() override;

    // Creates the window with `owner` as its parent, shows it modally and frees it when it
    // closes: the main window's "Mail Yaz..." item.
    static void Execute(QWidget* owner);

    // The text of the status bar's panel.
    QString StatusText() const;
    // Adds files to the end of the attachment list, as the file dialog does when confirmed.
    void AddFiles(const QStringList& paths);
    bool Sending() const { return worker_ != nullptr; }
    // The server of the next send.
    void SetServer(const TSmtpServer& server) { settings_.server = server; }

signals:
    // Every status text, in the order the window shows them.
    void StatusChanged(const QString& text);
    // A send that reached the server ended: delivered, or failed with the error shown.
    void SendFinished(bool delivered);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void Button1Click();
    void Button4Click();
    void Button5Click();
    void TmnTemizle1Click();
    void ListBox1DblClick();
    void SpeedButton1Click();

private:
    void BuildLayout();
    void SetStatus(const QString& text);
    void SendDone(const TSendResult& result);
    void StopWorker();

    TMailSettings settings_;
    TMSpedBtn* send_button_ = nullptr;
    QLineEdit* adiniz_ = nullptr;
    QLineEdit* mailiniz_ = nullptr;
    QLineEdit* subjectx_ = nullptr;
    QListWidget* list_box_ = nullptr;
    QPlainTextEdit* mesaj_ = nullptr;
    QLabel* status_panel_ = nullptr;
    QMenu* popup_menu_ = nullptr;
    QThread* worker_ = nullptr;
    std::atomic<bool> cancel_ { false };
};

// The file dialog's filter in the toolkit's form ("Description|*.a;*.b|...") as Qt name
// filters ("Description (*.a *.b)"); "*.*" means every file.
QStringList QtNameFilters(const QString& toolkit_filter);

} // namespace zendo
