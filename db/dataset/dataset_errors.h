// The fixed English texts of the generic dataset's misuse errors, the helpers that raise them
// as EDatabaseError, EAbort (the silent exception of an aborted operation) and the
// application's error handler, which reports errors that cannot travel to a caller.
// Thread-safety: the texts and raisers are pure; the application handler is set once at
// start-up, before any dataset is used, and lives for the process.
#pragma once

#include "db/base/errors.h"

#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace zolvek {

// The texts; "%s" stands for a field's display name or a value, "%d" for a number.
inline constexpr std::string_view kDataSetClosed
    = "Cannot perform this operation on a closed dataset";
inline constexpr std::string_view kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr std::string_view kDataSetEmpty
    = "Cannot perform this operation on an empty dataset";
inline constexpr std::string_view kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr std::string_view kNotEditing = "Dataset not in edit or insert mode";
inline constexpr std::string_view kFieldNotFound = "Field '%s' not found";
inline constexpr std::string_view kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr std::string_view kFieldRequired = "Field '%s' must have a value";
inline constexpr std::string_view kFieldValueError = "Invalid value for field '%s'";
inline constexpr std::string_view kFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr std::string_view kFieldRangeError
    = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr std::string_view kFieldTypeMismatch
    = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr std::string_view kFieldSizeMismatch
    = "Size mismatch for field '%s', expecting: %s actual: %s";
inline constexpr std::string_view kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr std::string_view kRecordNotFound = "Record not found";
inline constexpr std::string_view kNotSupported = "Capability not supported";
inline constexpr std::string_view kInvalidInteger = "'%s' is not a valid integer value";
inline constexpr std::string_view kInvalidFloat = "'%s' is not a valid floating point value";
inline constexpr std::string_view kInvalidBcd = "'%s' is not a valid BCD value";
inline constexpr std::string_view kInvalidBoolean = "'%s' is not a valid boolean";
inline constexpr std::string_view kInvalidDate = "'%s' is not a valid date";
inline constexpr std::string_view kInvalidTime = "'%s' is not a valid time";
inline constexpr std::string_view kInvalidDateTime = "'%s' is not a valid date and time";

// Replaces each "%s" and "%d" of `text`, in order, with the next argument.
std::string FormatDatabaseText(std::string_view text, std::initializer_list<std::string_view> args);

[[noreturn]] void DatabaseError(std::string_view text);
[[noreturn]] void DatabaseErrorFmt(
    std::string_view text, std::initializer_list<std::string_view> args);

// The silent exception: an operation that an event handler aborted (daAbort). The application's
// error handler ignores it, so nothing is shown to the user.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// The application's general error handler: reports an error that cannot reach a caller (one
// raised inside OnFilterRecord or by a field-change notification of a closing stream). The
// default writes the message to standard error; EAbort is never reported.
using TApplicationExceptionHandler = std::function<void(std::exception_ptr)>;
// Installs `handler` (an empty function restores the default) and returns the previous one.
TApplicationExceptionHandler SetApplicationExceptionHandler(TApplicationExceptionHandler handler);
// Hands `error` to the handler; never throws.
void HandleApplicationException(std::exception_ptr error) noexcept;

} // namespace zolvek
