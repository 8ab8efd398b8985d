#include "db/dataset/dataset_errors.h"

#include <cstdio>
#include <utility>

namespace zolvek {

namespace {

TApplicationExceptionHandler& InstalledHandler() {
    static TApplicationExceptionHandler handler;
    return handler;
}

void ReportToStandardError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Unknown error\n");
    }
}

} // namespace

std::string FormatDatabaseText(
    std::string_view text, std::initializer_list<std::string_view> args) {
    std::string result;
    result.reserve(text.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd')
            && next != args.end()) {
            result += *next++;
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

void DatabaseError(std::string_view text) {
    throw EDatabaseError(std::string(text));
}

void DatabaseErrorFmt(std::string_view text, std::initializer_list<std::string_view> args) {
    throw EDatabaseError(FormatDatabaseText(text, args));
}

TApplicationExceptionHandler SetApplicationExceptionHandler(TApplicationExceptionHandler handler) {
    return std::exchange(InstalledHandler(), std::move(handler));
}

void HandleApplicationException(std::exception_ptr error) noexcept {
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return;
    } catch (...) { }
    try {
        if (InstalledHandler())
            InstalledHandler()(error);
        else
            ReportToStandardError(error);
    } catch (...) {
        // A handler that fails has nowhere left to report to.
    }
}

} // namespace zolvek
