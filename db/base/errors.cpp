// Engine error codes, messages and the error context.
#include "db/base/errors.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <initializer_list>

namespace zolvek {
namespace {

// The context field that fills one placeholder of a message.
enum ErrorArgument : uint8_t {
    kNone,
    kRemote,
    kUser,
    kDatabase,
    kTable,
    kField,
    kIndex,
    kMessage,
    kProcedure,
    kEvent,
    kLine,
    kColumn,
    kOSError,
};

struct ErrorRow {
    EngineCode code;
    const char* name;
    const char* format;
    std::array<ErrorArgument, 4> arguments;
};

// Sorted by code. Placeholders are filled by FillMessage, never by printf: the texts of the
// context come from tables, users and other processes.
constexpr ErrorRow kErrorRows[] = {
    { 8705, "ZOLVEK_BOF", "Beginning of table '%s' unexpectedly encountered", { kTable } },
    { 8706, "ZOLVEK_EOF", "End of table '%s' unexpectedly encountered", { kTable } },
    { 8708, "ZOLVEK_KEYORRECDELETED",
        "Record has been changed or deleted by another user, session, or table cursor in the table "
        "'%s'",
        { kTable } },
    { 8709, "ZOLVEK_NOCURRREC", "No current record in the table '%s'", { kTable } },
    { 8710, "ZOLVEK_RECNOTFOUND", "Record not found in the table '%s'", { kTable } },
    { 8711, "ZOLVEK_ENDOFBLOB", "End of BLOB field in the table '%s' reached prematurely",
        { kTable } },
    { 8961, "ZOLVEK_HEADERCORRUPT", "Header information corrupt in the table '%s'", { kTable } },
    { 8962, "ZOLVEK_FILECORRUPT", "Data record buffers corrupt in the table '%s'", { kTable } },
    { 8963, "ZOLVEK_MEMOCORRUPT", "BLOB block buffers corrupt in the table '%s'", { kTable } },
    { 8965, "ZOLVEK_INDEXCORRUPT", "Index page buffers corrupt in the table '%s'", { kTable } },
    { 9217, "ZOLVEK_READERR", "Error reading from the table or backup file '%s'", { kTable } },
    { 9218, "ZOLVEK_WRITEERR", "Error writing to the table or backup file '%s'", { kTable } },
    { 9477, "ZOLVEK_RECTOOBIG", "Maximum record size exceeded in the table '%s'", { kTable } },
    { 9479, "ZOLVEK_TABLEFULL", "The table '%s' is full and cannot contain any more data",
        { kTable } },
    { 9480, "ZOLVEK_DATABASEFULL", "The database '%s' is full and cannot contain any more tables",
        { kDatabase } },
    { 9482, "ZOLVEK_INTERNALLIMIT", "Too many filters defined for the table '%s'", { kTable } },
    { 9487, "ZOLVEK_INDEXLIMIT",
        "Maximum or minimum limits on the index page size, the number of indexes, or the number of "
        "fields in an index exceeded in the table '%s'",
        { kTable } },
    { 9492, "ZOLVEK_FLDLIMIT",
        "Maximum or minimum limits on number of fields exceeded in the table '%s'", { kTable } },
    { 9494, "ZOLVEK_OPENBLOBLIMIT", "Too many BLOBs opened in the table '%s'", { kTable } },
    { 9498, "ZOLVEK_BLOBLIMIT",
        "Too many BLOB fields or invalid BLOB block size specified for the table '%s'",
        { kTable } },
    { 9729, "ZOLVEK_KEYVIOL", "Duplicate key found in the index '%s' of the table '%s'",
        { kIndex, kTable } },
    { 9730, "ZOLVEK_MINVALERR",
        "The value for the field '%s' in the table '%s' is below the minimum allowable value",
        { kField, kTable } },
    { 9731, "ZOLVEK_MAXVALERR",
        "The value for the field '%s' in the table '%s' is above the maximum allowable value",
        { kField, kTable } },
    { 9732, "ZOLVEK_REQDERR", "A value must be provided for the field '%s' in the table '%s'",
        { kField, kTable } },
    { 9985, "ZOLVEK_OUTOFRANGE", "Invalid field number or name '%s' specified for the table '%s'",
        { kField, kTable } },
    { 9993, "ZOLVEK_PRIMARYKEYREDEFINE",
        "A primary index is already defined for the table '%s' and cannot be added again",
        { kTable } },
    { 9998, "ZOLVEK_INVALIDBLOBOFFSET", "Invalid BLOB offset into the table '%s' specified",
        { kTable } },
    { 10000, "ZOLVEK_INVALIDFLDTYPE",
        "Invalid field definition specified for the field '%s' in the table '%s'",
        { kField, kTable } },
    { 10006, "ZOLVEK_INVALIDVCHKSTRUCT",
        "Invalid default expression or min/max constraint specified for the field '%s' in the "
        "table '%s'",
        { kField, kTable } },
    { 10010, "ZOLVEK_INDEXNAMEREQUIRED",
        "The secondary index name is missing or not specified for the table '%s'", { kTable } },
    { 10015, "ZOLVEK_INVALIDPASSWORD", "Password provided for the table '%s' is invalid",
        { kTable } },
    { 10022, "ZOLVEK_INVALIDINDEXNAME",
        "Invalid secondary index name '%s' specified for the table '%s'", { kIndex, kTable } },
    { 10023, "ZOLVEK_INVALIDIDXDESC",
        "Invalid field number '%s' specified in the index '%s' for the table '%s'",
        { kField, kIndex, kTable } },
    { 10026, "ZOLVEK_INVALIDKEY", "Invalid key size specified in the index '%s' for the table '%s'",
        { kIndex, kTable } },
    { 10027, "ZOLVEK_INDEXEXISTS", "The secondary index '%s' already exists for the table '%s'",
        { kIndex, kTable } },
    { 10029, "ZOLVEK_INVALIDBLOBLEN", "Invalid BLOB length in the table '%s'", { kTable } },
    { 10030, "ZOLVEK_INVALIDBLOBHANDLE", "Invalid BLOB handle for the table '%s' specified",
        { kTable } },
    { 10031, "ZOLVEK_TABLEOPEN", "The table '%s' is already in use", { kTable } },
    { 10038, "ZOLVEK_INVALIDFIELDNAME",
        "Invalid or duplicate field name '%s' specified for the table '%s'", { kField, kTable } },
    { 10050, "ZOLVEK_NOSUCHFILTER", "Invalid filter handle specified for the table '%s'",
        { kTable } },
    { 10051, "ZOLVEK_INVALIDFILTER", "Filter error for the table '%s' - %s at line %u, column %u",
        { kTable, kMessage, kLine, kColumn } },
    { 10221, "ZOLVEK_LOCKREADLOCK", "Cannot read lock the lock file for the database '%s'",
        { kDatabase } },
    { 10222, "ZOLVEK_LOCKREADUNLOCK", "Cannot read unlock the lock file for the database '%s'",
        { kDatabase } },
    { 10223, "ZOLVEK_LOCKWRITELOCK", "Cannot write lock the lock file for the database '%s'",
        { kDatabase } },
    { 10224, "ZOLVEK_LOCKWRITEUNLOCK", "Cannot write unlock the lock file for the database '%s'",
        { kDatabase } },
    { 10225, "ZOLVEK_READLOCK", "Cannot read lock the table '%s'", { kTable } },
    { 10226, "ZOLVEK_READUNLOCK", "Cannot read unlock the table '%s'", { kTable } },
    { 10227, "ZOLVEK_WRITELOCK", "Cannot write lock the table '%s'", { kTable } },
    { 10228, "ZOLVEK_WRITEUNLOCK", "Cannot write unlock the table '%s'", { kTable } },
    { 10229, "ZOLVEK_TRANSLOCK", "Transaction cannot lock the database '%s'", { kDatabase } },
    { 10230, "ZOLVEK_TRANSUNLOCK", "Transaction cannot unlock the database '%s'", { kDatabase } },
    { 10241, "ZOLVEK_LOCKED", "Cannot lock the table '%s'", { kTable } },
    { 10242, "ZOLVEK_UNLOCKFAILED", "Cannot unlock the table or record in the table '%s'",
        { kTable } },
    { 10253, "ZOLVEK_NEEDEXCLACCESS", "The table '%s' must be opened exclusively", { kTable } },
    { 10258, "ZOLVEK_RECLOCKFAILED", "Cannot lock record in the table '%s'", { kTable } },
    { 10498, "ZOLVEK_NOTSUFFTABLERIGHTS",
        "Insufficient rights to the table '%s', a password is required", { kTable } },
    { 10753, "ZOLVEK_NOTABLOB", "Invalid BLOB field '%s' specified for the table '%s'",
        { kField, kTable } },
    { 11010, "ZOLVEK_OSENOENT", "Table or backup file '%s' does not exist", { kTable } },
    { 11012, "ZOLVEK_OSEMFILE",
        "Too many operating system files open while attempting to open the table '%s'",
        { kTable } },
    { 11013, "ZOLVEK_OSEACCES", "Access denied to table or backup file '%s'", { kTable } },
    { 11014, "ZOLVEK_OSEBADF", "Invalid operating system file handle for the table '%s'",
        { kTable } },
    { 11016, "ZOLVEK_OSENOMEM",
        "There is insufficient operating system memory available for the current operation", {} },
    { 11023, "ZOLVEK_OSENODEV",
        "Access denied to logical operating system device for the table '%s'", { kTable } },
    { 11025, "ZOLVEK_OSENOTSAM", "The table or backup file '%s' has been moved", { kTable } },
    { 11047, "ZOLVEK_OSUNKNOWN",
        "An unknown operating system error %u occurred with the table or backup file '%s'",
        { kOSError, kTable } },
    { 11276, "ZOLVEK_REMOTECOMMLOST", "The connection to the database server at '%s' has been lost",
        { kRemote } },
    { 11277, "ZOLVEK_REMOTEENCRYPTREQ",
        "The database server at '%s' requires an encrypted connection", { kRemote } },
    { 11279, "ZOLVEK_REMOTEUNKNOWN",
        "An unknown error ('%s') occurred with the connection to the database server at '%s', "
        "please check the server log",
        { kMessage, kRemote } },
    { 11280, "ZOLVEK_REMOTECONNECT",
        "A connection to the database server at '%s' cannot be established", { kRemote } },
    { 11281, "ZOLVEK_REMOTENOLOGIN",
        "A connection to the database server at '%s' cannot be established, the server is not "
        "accepting new logins",
        { kRemote } },
    { 11282, "ZOLVEK_REMOTEMAXCONNECT",
        "A connection to the database server at '%s' cannot be established, the maximum number of "
        "server or user connections has been reached",
        { kRemote } },
    { 11283, "ZOLVEK_REMOTEADDRESSBLOCK",
        "A connection to the database server at '%s' cannot be established, the client address is "
        "blocked",
        { kRemote } },
    { 11285, "ZOLVEK_REMOTECALLBACKERR",
        "A server callback error occurred for the database server at '%s'", { kRemote } },
    { 11286, "ZOLVEK_REMOTEVERSION",
        "A call to the database server at '%s' failed, the client engine version does not match "
        "the server",
        { kRemote } },
    { 11287, "ZOLVEK_REMOTEINVLOGIN",
        "A connection to the database server at '%s' cannot be established, the login information "
        "provided is invalid",
        { kRemote } },
    { 11288, "ZOLVEK_REMOTENOTAUTH",
        "The user '%s' is not authorized to perform this operation with the database '%s' on the "
        "database server at '%s'",
        { kUser, kDatabase, kRemote } },
    { 11289, "ZOLVEK_REMOTENOTADMIN",
        "The user '%s' is not authorized to perform administration functions on the database "
        "server at '%s'",
        { kUser, kRemote } },
    { 11290, "ZOLVEK_REMOTEINVUSER", "The user name is either invalid or blank", {} },
    { 11291, "ZOLVEK_REMOTENOUSER", "The user '%s' does not exist on the database server at '%s'",
        { kUser, kRemote } },
    { 11292, "ZOLVEK_REMOTEDUPUSER", "The user '%s' already exists on the database server at '%s'",
        { kUser, kRemote } },
    { 11293, "ZOLVEK_REMOTEINVDB", "The database name or directory is either invalid or blank",
        {} },
    { 11294, "ZOLVEK_REMOTENODB", "The database '%s' does not exist on the database server at '%s'",
        { kDatabase, kRemote } },
    { 11295, "ZOLVEK_REMOTEDUPDB",
        "The database '%s' already exists on the database server at '%s'", { kDatabase, kRemote } },
    { 11296, "ZOLVEK_REMOTEINVDBUSER", "The database user name is either invalid or blank", {} },
    { 11297, "ZOLVEK_REMOTENODBUSER",
        "The database user '%s' does not exist for the database '%s' on the database server at "
        "'%s'",
        { kUser, kDatabase, kRemote } },
    { 11298, "ZOLVEK_REMOTEDUPDBUSER",
        "The database user '%s' already exists for the database '%s' on the database server at "
        "'%s'",
        { kUser, kDatabase, kRemote } },
    { 11299, "", "The procedure name is either invalid or blank", {} },
    { 11300, "", "The procedure '%s' does not exist on the database server at '%s'",
        { kProcedure, kRemote } },
    { 11301, "", "The procedure '%s' already exists on the database server at '%s'",
        { kProcedure, kRemote } },
    { 11302, "", "The procedure user name is either invalid or blank", {} },
    { 11303, "",
        "The procedure user '%s' does not exist for the database '%s' on the database server at "
        "'%s'",
        { kUser, kProcedure, kRemote } },
    { 11304, "",
        "The procedure user '%s' already exists for the database '%s' on the database server at "
        "'%s'",
        { kUser, kProcedure, kRemote } },
    { 11305, "", "The event name is either invalid or blank", {} },
    { 11306, "", "The event '%s' does not exist on the database server at '%s'",
        { kEvent, kRemote } },
    { 11307, "", "The event '%s' already exists on the database server at '%s'",
        { kEvent, kRemote } },
    { 11308, "ZOLVEK_REMOTEINVREQUEST",
        "An invalid or unknown request was made to the database server at '%s'", { kRemote } },
    { 11309, "ZOLVEK_IMPORTERROR", "An error occurred during the import into the table '%s' - %s",
        { kTable, kMessage } },
    { 11310, "ZOLVEK_EXPORTERROR", "An error occurred during the export from the table '%s' - %s",
        { kTable, kMessage } },
    { 11312, "ZOLVEK_LOADSTREAMERROR",
        "An error occurred during the loading of a stream into the table '%s' - %s",
        { kTable, kMessage } },
    { 11313, "ZOLVEK_SAVESTREAMERROR",
        "An error occurred during the saving of the table '%s' to a stream - %s",
        { kTable, kMessage } },
    { 11314, "ZOLVEK_TRIGGERERROR", "An error occurred during a trigger on the table '%s' - %s",
        { kTable, kMessage } },
    { 11949, "ZOLVEK_SQLPARSE", "SQL parsing error - %s at line %u, column %u",
        { kMessage, kLine, kColumn } },
    { 11950, "ZOLVEK_SQLEXEC", "SQL execution error - %s", { kMessage } },
    { 12035, "ZOLVEK_OLDVERSION", "The table '%s' is not the correct version", { kTable } },
    { 12036, "ZOLVEK_BADSIGNATURE", "The table or backup file '%s' is not valid", { kTable } },
    { 12292, "ZOLVEK_SEARCHCOLREQD",
        "Invalid field '%s' specified for the index '%s' in the table '%s'",
        { kField, kIndex, kTable } },
    { 13060, "ZOLVEK_TABLEEXISTS", "The table '%s' already exists", { kTable } },
    { 15001, "ZOLVEK_COMPRESS", "Error compressing data", {} },
    { 15002, "ZOLVEK_UNCOMPRESS", "Error uncompressing data", {} },
    { 15878, "ZOLVEK_CANNOTLOADLDDRV",
        "The locale support for the table '%s' is not available or installed", { kTable } },
};

// Codes that have a name but no message row.
constexpr ErrorRow kNameOnlyRows[] = {
    { ZOLVEK_NONE, "ZOLVEK_NONE", nullptr, {} },
    { ZOLVEK_REMOTECALLBACK, "ZOLVEK_REMOTECALLBACK", nullptr, {} },
};

constexpr std::string_view kUnknownError = "An unknown error occurred";

constexpr bool RowsAreSorted() {
    for (size_t i = 1; i < std::size(kErrorRows); ++i) {
        if (kErrorRows[i - 1].code >= kErrorRows[i].code)
            return false;
    }
    return true;
}
static_assert(RowsAreSorted(), "FindRow searches the rows by binary search");

const ErrorRow* FindRow(EngineCode code) {
    auto it = std::lower_bound(std::begin(kErrorRows), std::end(kErrorRows), code,
        [](const ErrorRow& row, EngineCode value) { return row.code < value; });
    if (it != std::end(kErrorRows) && it->code == code)
        return &*it;
    return nullptr;
}

std::string_view Cut(std::string_view text, size_t limit) {
    return text.substr(0, std::min(text.size(), limit));
}

void AppendUnsigned(std::string& out, uint32_t value) {
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void AppendArgument(std::string& out, ErrorArgument argument, const TErrorContext& context) {
    switch (argument) {
    case kRemote:
        out += context.ErrorRemoteName;
        break;
    case kUser:
        out += context.ErrorUserName;
        break;
    case kDatabase:
        out += context.ErrorDatabaseName;
        break;
    case kTable:
        out += context.ErrorTableName;
        break;
    case kField:
        out += context.ErrorFieldName;
        break;
    case kIndex:
        out += context.ErrorIndexName;
        break;
    case kMessage:
        out += context.ErrorMessage;
        break;
    case kProcedure:
        out += context.ErrorProcedureName;
        break;
    case kEvent:
        out += context.ErrorEventName;
        break;
    case kLine:
        AppendUnsigned(out, uint32_t(context.ErrorLine));
        break;
    case kColumn:
        AppendUnsigned(out, uint32_t(context.ErrorColumn));
        break;
    case kOSError:
        AppendUnsigned(out, uint32_t(context.OSErrorNumber));
        break;
    case kNone:
        break;
    }
}

// Replaces each %s or %u of the row's format, in order, by the next argument.
std::string FillMessage(const ErrorRow& row, const TErrorContext& context) {
    std::string out;
    size_t next_argument = 0;
    for (const char* p = row.format; *p != '\0'; ++p) {
        if (p[0] == '%' && (p[1] == 's' || p[1] == 'u') && next_argument < row.arguments.size()) {
            AppendArgument(out, row.arguments[next_argument++], context);
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

void StoreText(std::string& field, std::string_view text) {
    field.assign(Cut(text, kMaxErrorText));
}

std::mutex registry_lock;
TEngineErrors* registered_errors = nullptr;

} // namespace

std::string_view GetErrorName(EngineCode code) {
    if (const ErrorRow* row = FindRow(code))
        return row->name;
    for (const ErrorRow& row : kNameOnlyRows) {
        if (row.code == code)
            return row.name;
    }
    return {};
}

std::string GetErrorMessage(EngineCode code, const TErrorContext& context) {
    const ErrorRow* row = FindRow(code);
    if (row == nullptr)
        return std::string(kUnknownError);
    std::string text = FillMessage(*row, context);
    text.resize(std::min(text.size(), kMaxErrorText - 1));
    return text;
}

std::string FormatEngineMessage(EngineCode code, std::string_view text) {
    std::string message = "ZOLVEK Engine Error # ";
    AppendUnsigned(message, code);
    message += ' ';
    message += text;
    return message;
}

EngineCode MapOSError(int errno_value) {
    switch (errno_value) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ZOLVEK_OSENOENT;
    case EMFILE:
    case ENFILE:
        return ZOLVEK_OSEMFILE;
    case EACCES:
    case EPERM:
    case EROFS:
    case EEXIST:
    case ETXTBSY:
    case EBUSY:
    case EAGAIN:
    case EISDIR:
        return ZOLVEK_OSEACCES;
    case EBADF:
        return ZOLVEK_OSEBADF;
    case ENOMEM:
        return ZOLVEK_OSENOMEM;
    case ENODEV:
    case ENXIO:
        return ZOLVEK_OSENODEV;
    case EXDEV:
        return ZOLVEK_OSENOTSAM;
    default:
        return ZOLVEK_OSUNKNOWN;
    }
}

EZOLVEKEngineError::EZOLVEKEngineError(EngineCode code, const TErrorContext& context)
    : EDatabaseError(FormatEngineMessage(code, GetErrorMessage(code, context)))
    , context_(context) {
    context_.ErrorCode = code;
}

EZOLVEKEngineError::EZOLVEKEngineError(EngineCode code)
    : EZOLVEKEngineError(code, ProcessEngineErrors().Context()) { }

EngineCode GetErrorCode(const std::exception& error) {
    if (auto engine_error = dynamic_cast<const EZOLVEKEngineError*>(&error))
        return engine_error->Code();
    return ZOLVEK_OSUNKNOWN;
}

EngineCode GetErrorCode(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return GetErrorCode(e);
    } catch (...) {
        return ZOLVEK_OSUNKNOWN;
    }
}

namespace {
std::atomic<EngineCode> swallowed_failure { 0 };
} // namespace

void NoteSwallowedFailure() noexcept {
    EngineCode code = ZOLVEK_OSUNKNOWN;
    try {
        code = GetErrorCode(std::current_exception());
    } catch (...) {
        // The rethrow inside GetErrorCode failed (no memory): the unknown code stands.
    }
    swallowed_failure.store(code);
}

EngineCode TakeSwallowedFailure() noexcept {
    return swallowed_failure.exchange(0);
}

void TEngineErrors::RaiseError(EngineCode code, std::string_view remote_name,
    std::string_view user_name, std::string_view database_name, std::string_view table_name,
    std::string_view field_name, std::string_view index_name, std::string_view message,
    std::string_view procedure_name, std::string_view event_name, int32_t line, int32_t column) {
    std::unique_lock guard(lock_);
    context_ = TErrorContext {};
    context_.ErrorCode = code;
    context_.OSErrorCode = pending_os_error_;
    context_.OSErrorNumber = pending_os_number_;
    context_.SocketErrorCode = pending_socket_error_;
    StoreText(context_.ErrorRemoteName, remote_name);
    StoreText(context_.ErrorUserName, user_name);
    StoreText(context_.ErrorDatabaseName, database_name);
    StoreText(context_.ErrorTableName, table_name);
    StoreText(context_.ErrorFieldName, field_name);
    StoreText(context_.ErrorIndexName, index_name);
    StoreText(context_.ErrorMessage, message);
    StoreText(context_.ErrorProcedureName, procedure_name);
    StoreText(context_.ErrorEventName, event_name);
    context_.ErrorLine = line;
    context_.ErrorColumn = column;
    pending_os_error_ = 0;
    pending_os_number_ = 0;
    pending_socket_error_ = 0;
    EZOLVEKEngineError error(code, context_);
    guard.unlock();
    throw error;
}

void TEngineErrors::RaiseTableError(EngineCode code, std::string_view table_name) {
    RaiseError(code, {}, {}, {}, table_name, {}, {}, {}, {}, {}, 0, 0);
}

void TEngineErrors::RaiseFieldError(
    EngineCode code, std::string_view field_name, std::string_view table_name) {
    RaiseError(code, {}, {}, {}, table_name, field_name, {}, {}, {}, {}, 0, 0);
}

void TEngineErrors::RaiseIndexError(
    EngineCode code, std::string_view index_name, std::string_view table_name) {
    RaiseError(code, {}, {}, {}, table_name, {}, index_name, {}, {}, {}, 0, 0);
}

void TEngineErrors::RaiseDatabaseError(EngineCode code, std::string_view database_name) {
    RaiseError(code, {}, {}, database_name, {}, {}, {}, {}, {}, {}, 0, 0);
}

void TEngineErrors::RaiseTextError(EngineCode code, std::string_view table_name,
    std::string_view message, int32_t line, int32_t column) {
    RaiseError(code, {}, {}, {}, table_name, {}, {}, message, {}, {}, line, column);
}

EngineCode TEngineErrors::CaptureOSError() {
    return CaptureOSError(errno);
}

EngineCode TEngineErrors::CaptureOSError(int errno_value) {
    EngineCode code = MapOSError(errno_value);
    pending_os_error_ = code;
    pending_os_number_ = errno_value;
    return code;
}

TErrorContext TEngineErrors::Context() const {
    std::lock_guard guard(lock_);
    return context_;
}

std::string TEngineErrors::GetErrorMessage(EngineCode code) const {
    std::lock_guard guard(lock_);
    return zolvek::GetErrorMessage(code, context_);
}

TEngineErrors& ProcessEngineErrors() {
    static TEngineErrors process_errors;
    std::lock_guard guard(registry_lock);
    return registered_errors != nullptr ? *registered_errors : process_errors;
}

void SetProcessEngineErrors(TEngineErrors* errors) {
    std::lock_guard guard(registry_lock);
    registered_errors = errors;
}

void RaiseEngineError(EngineCode code) {
    throw EZOLVEKEngineError(code);
}

} // namespace zolvek
