#include "controls/db_memo.h"

#include "controls/error_handler.h"
#include "controls/vcl_compat.h"

namespace zendo {

QString MemoText(std::string_view engine_text) {
    QString text = FromCp1254(engine_text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

TDBMemo::TDBMemo(QWidget* parent)
    : QPlainTextEdit(parent) {
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    link_.OnDataChange = [this] { ShowField(); };
    link_.OnActiveChange = [this] { ShowField(); };
}

TDBMemo::~TDBMemo() {
    link_.OnDataChange = nullptr;
    link_.OnActiveChange = nullptr;
    link_.SetDataSource(nullptr);
}

void TDBMemo::SetDataSource(zolvek::TDataSource* source) {
    link_.SetDataSource(source);
    ShowField();
}

void TDBMemo::SetDataField(std::string field_name) {
    link_.SetFieldName(std::move(field_name));
    ShowField();
}

void TDBMemo::ShowField() {
    zolvek::TField* field = link_.Field();
    QString text;
    if (field != nullptr) {
        try {
            text = MemoText(field->AsString());
        } catch (...) {
            // The memo stays empty; the failure is shown once the dataset's notification,
            // which may be in the middle of a move, is over.
            QMetaObject::invokeMethod(
                this, [error = std::current_exception()] { ReportException(error); },
                Qt::QueuedConnection);
        }
    }
    if (text != toPlainText())
        setPlainText(text);
}

} // namespace zendo
