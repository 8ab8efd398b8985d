// The text-editor view of a glossary entry: the entry is written as UTF-8 plain text to a
// private temporary file of the user (mode 0600, in the user's runtime directory) and opened
// with the desktop's default text editor. An editor may read the file late or read it again, so
// the files stay until the view goes, which is when the main window closes.
// Thread-safety: UI thread only. Lifetime: owned by the main window; its destructor removes
// every file it wrote.
#pragma once

#include <QString>
#include <QTemporaryFile>

#include <functional>
#include <memory>
#include <vector>

namespace zendo {

class TEditorView {
public:
    // How the file is handed to the editor: the desktop's default application for it unless a
    // test replaces it. Returns false when no editor could be started.
    using TOpener = std::function<bool(const QString& path)>;

    explicit TEditorView(TOpener opener = {});
    ~TEditorView();
    TEditorView(const TEditorView&) = delete;
    TEditorView& operator=(const TEditorView&) = delete;

    // The text of the entry: the key word, an empty line and the explanation, each line ended
    // by a line break.
    static QString EntryText(const QString& key_word, const QString& explanation);

    // Writes the entry to a new private file and opens it in the editor. Returns the file's
    // path. A file that cannot be written raises std::runtime_error with the reason (in UTF-8)
    // and no editor is started; when no editor starts, the file goes at once.
    QString Show(const QString& key_word, const QString& explanation);

    // The directory of the files: the runtime directory, or the temporary one without it.
    static QString Directory();
    // Paths of the files kept for the editors.
    std::vector<QString> Files() const;

private:
    TOpener opener_;
    std::vector<std::unique_ptr<QTemporaryFile>> files_;
};

} // namespace zendo
