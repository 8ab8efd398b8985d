#include "app/editor_view.h"

#include <QDesktopServices>
#include <QDir>
#include <QStandardPaths>
#include <QUrl>

#include <stdexcept>

namespace zendo {

TEditorView::TEditorView(TOpener opener)
    : opener_(std::move(opener)) {
    if (!opener_) {
        opener_ = [](const QString& path) {
            return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        };
    }
}

TEditorView::~TEditorView() = default;

QString TEditorView::EntryText(const QString& key_word, const QString& explanation) {
    QString text = key_word + QLatin1Char('\n') + QLatin1Char('\n');
    QString body = explanation;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text += body;
    text += QLatin1Char('\n');
    return text;
}

QString TEditorView::Directory() {
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty() || !QDir(directory).exists())
        directory = QDir::tempPath();
    return directory;
}

QString TEditorView::Show(const QString& key_word, const QString& explanation) {
    auto file = std::make_unique<QTemporaryFile>(
        QDir(Directory()).filePath(QStringLiteral("zendo-XXXXXX.txt")));
    // QTemporaryFile creates the file for its owner alone (0600) and with a name of its own.
    if (!file->open())
        throw std::runtime_error("Metin dosyası yazılamadı: " + file->errorString().toStdString());
    const QByteArray bytes = EntryText(key_word, explanation).toUtf8();
    if (file->write(bytes) != bytes.size() || !file->flush())
        throw std::runtime_error("Metin dosyası yazılamadı: " + file->errorString().toStdString());
    file->close();
    const QString path = file->fileName();
    if (opener_(path))
        files_.push_back(std::move(file));
    return path;
}

std::vector<QString> TEditorView::Files() const {
    std::vector<QString> paths;
    for (const auto& file : files_)
        paths.push_back(file->fileName());
    return paths;
}

} // namespace zendo
