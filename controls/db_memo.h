// TDBMemo: a read-only memo that shows one memo field of the dataset's current record and
// follows the record as it changes (a data-aware memo through a field data link). Engine text
// becomes Unicode here; CR LF and lone CR line breaks show as line breaks.
// Thread-safety: UI thread only, the dataset's thread. Lifetime: owned by its parent widget; the
// data source may go before or after it.
#pragma once

#include "db/dataset/data_links.h"

#include <QPlainTextEdit>

#include <string>

namespace zendo {

class TDBMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TDBMemo(QWidget* parent = nullptr);
    ~TDBMemo() override;

    void SetDataSource(zolvek::TDataSource* source);
    void SetDataField(std::string field_name);

private:
    void ShowField();

    zolvek::TFieldDataLink link_;
};

// Engine text of a memo as Qt text: Windows-1254 to Unicode, CR LF and CR to LF.
QString MemoText(std::string_view engine_text);

} // namespace zendo
