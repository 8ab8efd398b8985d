#include "controls/error_handler.h"

#include "controls/vcl_compat.h"
#include "db/base/errors.h"
#include "db/dataset/dataset_errors.h"

#include <QWidget>

#include <cstdio>

namespace zendo {

QString ExceptionText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const zolvek::EDatabaseError& e) {
        // Engine and component texts are Windows-1254, like everything the engine holds.
        return FromCp1254(e.what());
    } catch (const std::exception& e) {
        // The program's own failures speak UTF-8.
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Bilinmeyen hata.");
    }
}

void ReportException(std::exception_ptr error) noexcept {
    if (!error)
        return;
    try {
        try {
            std::rethrow_exception(error);
        } catch (const zolvek::EAbort&) {
            return;
        } catch (...) { }
        MessageDlg(QApplication::activeWindow(), ExceptionText(error), TMsgDlgType::mtError);
    } catch (...) {
        // The message box itself failed: the text still reaches the terminal.
        std::fputs("zendo: an error could not be shown\n", stderr);
    }
}

TDatasetErrorRouting::TDatasetErrorRouting() {
    zolvek::SetApplicationExceptionHandler(
        [](std::exception_ptr error) { ReportException(error); });
}

TDatasetErrorRouting::~TDatasetErrorRouting() {
    zolvek::SetApplicationExceptionHandler({});
}

TZendoApplication::TZendoApplication(int& argc, char** argv)
    : QApplication(argc, argv) { }

bool TZendoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportException(std::current_exception());
        return false;
    }
}

} // namespace zendo
