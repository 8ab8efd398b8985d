// Engine error codes with their symbolic names and message texts, the error context that a
// raise fills, the mapping of operating-system errors to codes, and EZOLVEKEngineError, the one
// exception type through which every engine failure travels.
// Thread-safety: TEngineErrors guards its context with the error lock; the free functions are
// pure. The process's error state lives as long as the process.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zolvek {

// An engine error code: category (high byte) * 256 + number; 0 means success.
using EngineCode = uint16_t;

inline constexpr EngineCode ZOLVEK_NONE = 0;
inline constexpr EngineCode ZOLVEK_BOF = 8705;
inline constexpr EngineCode ZOLVEK_EOF = 8706;
inline constexpr EngineCode ZOLVEK_KEYORRECDELETED = 8708;
inline constexpr EngineCode ZOLVEK_NOCURRREC = 8709;
inline constexpr EngineCode ZOLVEK_RECNOTFOUND = 8710;
inline constexpr EngineCode ZOLVEK_ENDOFBLOB = 8711;
inline constexpr EngineCode ZOLVEK_HEADERCORRUPT = 8961;
inline constexpr EngineCode ZOLVEK_FILECORRUPT = 8962;
inline constexpr EngineCode ZOLVEK_MEMOCORRUPT = 8963;
inline constexpr EngineCode ZOLVEK_INDEXCORRUPT = 8965;
inline constexpr EngineCode ZOLVEK_READERR = 9217;
inline constexpr EngineCode ZOLVEK_WRITEERR = 9218;
inline constexpr EngineCode ZOLVEK_RECTOOBIG = 9477;
inline constexpr EngineCode ZOLVEK_TABLEFULL = 9479;
inline constexpr EngineCode ZOLVEK_DATABASEFULL = 9480;
inline constexpr EngineCode ZOLVEK_INTERNALLIMIT = 9482;
inline constexpr EngineCode ZOLVEK_INDEXLIMIT = 9487;
inline constexpr EngineCode ZOLVEK_FLDLIMIT = 9492;
inline constexpr EngineCode ZOLVEK_OPENBLOBLIMIT = 9494;
inline constexpr EngineCode ZOLVEK_BLOBLIMIT = 9498;
inline constexpr EngineCode ZOLVEK_KEYVIOL = 9729;
inline constexpr EngineCode ZOLVEK_MINVALERR = 9730;
inline constexpr EngineCode ZOLVEK_MAXVALERR = 9731;
inline constexpr EngineCode ZOLVEK_REQDERR = 9732;
inline constexpr EngineCode ZOLVEK_OUTOFRANGE = 9985;
inline constexpr EngineCode ZOLVEK_PRIMARYKEYREDEFINE = 9993;
inline constexpr EngineCode ZOLVEK_INVALIDBLOBOFFSET = 9998;
inline constexpr EngineCode ZOLVEK_INVALIDFLDTYPE = 10000;
inline constexpr EngineCode ZOLVEK_INVALIDVCHKSTRUCT = 10006;
inline constexpr EngineCode ZOLVEK_INDEXNAMEREQUIRED = 10010;
inline constexpr EngineCode ZOLVEK_INVALIDPASSWORD = 10015;
inline constexpr EngineCode ZOLVEK_INVALIDINDEXNAME = 10022;
inline constexpr EngineCode ZOLVEK_INVALIDIDXDESC = 10023;
inline constexpr EngineCode ZOLVEK_INVALIDKEY = 10026;
inline constexpr EngineCode ZOLVEK_INDEXEXISTS = 10027;
inline constexpr EngineCode ZOLVEK_INVALIDBLOBLEN = 10029;
inline constexpr EngineCode ZOLVEK_INVALIDBLOBHANDLE = 10030;
inline constexpr EngineCode ZOLVEK_TABLEOPEN = 10031;
inline constexpr EngineCode ZOLVEK_INVALIDFIELDNAME = 10038;
inline constexpr EngineCode ZOLVEK_NOSUCHFILTER = 10050;
inline constexpr EngineCode ZOLVEK_INVALIDFILTER = 10051;
inline constexpr EngineCode ZOLVEK_LOCKREADLOCK = 10221;
inline constexpr EngineCode ZOLVEK_LOCKREADUNLOCK = 10222;
inline constexpr EngineCode ZOLVEK_LOCKWRITELOCK = 10223;
inline constexpr EngineCode ZOLVEK_LOCKWRITEUNLOCK = 10224;
inline constexpr EngineCode ZOLVEK_READLOCK = 10225;
inline constexpr EngineCode ZOLVEK_READUNLOCK = 10226;
inline constexpr EngineCode ZOLVEK_WRITELOCK = 10227;
inline constexpr EngineCode ZOLVEK_WRITEUNLOCK = 10228;
inline constexpr EngineCode ZOLVEK_TRANSLOCK = 10229;
inline constexpr EngineCode ZOLVEK_TRANSUNLOCK = 10230;
inline constexpr EngineCode ZOLVEK_LOCKED = 10241;
inline constexpr EngineCode ZOLVEK_UNLOCKFAILED = 10242;
inline constexpr EngineCode ZOLVEK_NEEDEXCLACCESS = 10253;
inline constexpr EngineCode ZOLVEK_RECLOCKFAILED = 10258;
inline constexpr EngineCode ZOLVEK_NOTSUFFTABLERIGHTS = 10498;
inline constexpr EngineCode ZOLVEK_NOTABLOB = 10753;
inline constexpr EngineCode ZOLVEK_OSENOENT = 11010;
inline constexpr EngineCode ZOLVEK_OSEMFILE = 11012;
inline constexpr EngineCode ZOLVEK_OSEACCES = 11013;
inline constexpr EngineCode ZOLVEK_OSEBADF = 11014;
inline constexpr EngineCode ZOLVEK_OSENOMEM = 11016;
inline constexpr EngineCode ZOLVEK_OSENODEV = 11023;
inline constexpr EngineCode ZOLVEK_OSENOTSAM = 11025;
inline constexpr EngineCode ZOLVEK_OSUNKNOWN = 11047;
inline constexpr EngineCode ZOLVEK_REMOTECOMMLOST = 11276;
inline constexpr EngineCode ZOLVEK_REMOTEENCRYPTREQ = 11277;
inline constexpr EngineCode ZOLVEK_REMOTEUNKNOWN = 11279;
inline constexpr EngineCode ZOLVEK_REMOTECONNECT = 11280;
inline constexpr EngineCode ZOLVEK_REMOTENOLOGIN = 11281;
inline constexpr EngineCode ZOLVEK_REMOTEMAXCONNECT = 11282;
inline constexpr EngineCode ZOLVEK_REMOTEADDRESSBLOCK = 11283;
inline constexpr EngineCode ZOLVEK_REMOTECALLBACK = 11284;
inline constexpr EngineCode ZOLVEK_REMOTECALLBACKERR = 11285;
inline constexpr EngineCode ZOLVEK_REMOTEVERSION = 11286;
inline constexpr EngineCode ZOLVEK_REMOTEINVLOGIN = 11287;
inline constexpr EngineCode ZOLVEK_REMOTENOTAUTH = 11288;
inline constexpr EngineCode ZOLVEK_REMOTENOTADMIN = 11289;
inline constexpr EngineCode ZOLVEK_REMOTEINVUSER = 11290;
inline constexpr EngineCode ZOLVEK_REMOTENOUSER = 11291;
inline constexpr EngineCode ZOLVEK_REMOTEDUPUSER = 11292;
inline constexpr EngineCode ZOLVEK_REMOTEINVDB = 11293;
inline constexpr EngineCode ZOLVEK_REMOTENODB = 11294;
inline constexpr EngineCode ZOLVEK_REMOTEDUPDB = 11295;
inline constexpr EngineCode ZOLVEK_REMOTEINVDBUSER = 11296;
inline constexpr EngineCode ZOLVEK_REMOTENODBUSER = 11297;
inline constexpr EngineCode ZOLVEK_REMOTEDUPDBUSER = 11298;
inline constexpr EngineCode ZOLVEK_REMOTEINVREQUEST = 11308;
inline constexpr EngineCode ZOLVEK_IMPORTERROR = 11309;
inline constexpr EngineCode ZOLVEK_EXPORTERROR = 11310;
inline constexpr EngineCode ZOLVEK_LOADSTREAMERROR = 11312;
inline constexpr EngineCode ZOLVEK_SAVESTREAMERROR = 11313;
inline constexpr EngineCode ZOLVEK_TRIGGERERROR = 11314;
inline constexpr EngineCode ZOLVEK_SQLPARSE = 11949;
inline constexpr EngineCode ZOLVEK_SQLEXEC = 11950;
inline constexpr EngineCode ZOLVEK_OLDVERSION = 12035;
inline constexpr EngineCode ZOLVEK_BADSIGNATURE = 12036;
inline constexpr EngineCode ZOLVEK_SEARCHCOLREQD = 12292;
inline constexpr EngineCode ZOLVEK_TABLEEXISTS = 13060;
inline constexpr EngineCode ZOLVEK_COMPRESS = 15001;
inline constexpr EngineCode ZOLVEK_UNCOMPRESS = 15002;
inline constexpr EngineCode ZOLVEK_CANNOTLOADLDDRV = 15878;

// Texts in the context are cut to this many characters; a built message to one less.
inline constexpr size_t kMaxErrorText = 255;

// The fields of the engine's error context, in their documented order. OSErrorNumber is the
// raw errno behind OSErrorCode (which holds the mapped engine code); message 11047 shows it.
struct TErrorContext {
    uint32_t ErrorCode = 0;
    int32_t OSErrorCode = 0;
    int32_t SocketErrorCode = 0;
    std::string ErrorRemoteName;
    std::string ErrorUserName;
    std::string ErrorDatabaseName;
    std::string ErrorTableName;
    std::string ErrorFieldName;
    std::string ErrorIndexName;
    std::string ErrorMessage;
    std::string ErrorProcedureName;
    std::string ErrorEventName;
    int32_t ErrorLine = 0;
    int32_t ErrorColumn = 0;
    int32_t OSErrorNumber = 0;
};

// Symbolic name of a code ("ZOLVEK_KEYVIOL"), empty for codes without one.
std::string_view GetErrorName(EngineCode code);

// The message of a code filled from a context: at most kMaxErrorText - 1 characters.
// Codes without a message row give "An unknown error occurred".
std::string GetErrorMessage(EngineCode code, const TErrorContext& context);

// "ZOLVEK Engine Error # <code> <text>".
std::string FormatEngineMessage(EngineCode code, std::string_view text);

// Maps an errno value to an engine code:
//   ENOENT, ENOTDIR, ENAMETOOLONG, ELOOP   -> 11010 ZOLVEK_OSENOENT
//   EMFILE, ENFILE                         -> 11012 ZOLVEK_OSEMFILE
//   EACCES, EPERM, EROFS, EEXIST, ETXTBSY,
//   EBUSY, EAGAIN, EISDIR                  -> 11013 ZOLVEK_OSEACCES
//   EBADF                                  -> 11014 ZOLVEK_OSEBADF
//   ENOMEM                                 -> 11016 ZOLVEK_OSENOMEM
//   ENODEV, ENXIO                          -> 11023 ZOLVEK_OSENODEV
//   EXDEV                                  -> 11025 ZOLVEK_OSENOTSAM
//   anything else (ENOSPC, EIO, ...)       -> 11047 ZOLVEK_OSUNKNOWN, which shows the errno
EngineCode MapOSError(int errno_value);

// Base of every database error: the dataset's misuse errors and the engine errors.
class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& message)
        : std::runtime_error(message) { }
};

// The engine's exception: a copy of the error context at the moment of creation and the
// message "ZOLVEK Engine Error # %u %s".
class EZOLVEKEngineError : public EDatabaseError {
public:
    // Takes the code and copies every other field from the process's current error context.
    explicit EZOLVEKEngineError(EngineCode code);
    // Takes the code and every other field from `context`.
    EZOLVEKEngineError(EngineCode code, const TErrorContext& context);

    EngineCode Code() const { return EngineCode(context_.ErrorCode); }
    const TErrorContext& Context() const { return context_; }

    // The context fields, in their documented order.
    uint32_t ErrorCode() const { return context_.ErrorCode; }
    int32_t OSErrorCode() const { return context_.OSErrorCode; }
    int32_t SocketErrorCode() const { return context_.SocketErrorCode; }
    const std::string& ErrorRemoteName() const { return context_.ErrorRemoteName; }
    const std::string& ErrorUserName() const { return context_.ErrorUserName; }
    const std::string& ErrorDatabaseName() const { return context_.ErrorDatabaseName; }
    const std::string& ErrorTableName() const { return context_.ErrorTableName; }
    const std::string& ErrorFieldName() const { return context_.ErrorFieldName; }
    const std::string& ErrorIndexName() const { return context_.ErrorIndexName; }
    const std::string& ErrorMessage() const { return context_.ErrorMessage; }
    const std::string& ErrorProcedureName() const { return context_.ErrorProcedureName; }
    const std::string& ErrorEventName() const { return context_.ErrorEventName; }
    int32_t ErrorLine() const { return context_.ErrorLine; }
    int32_t ErrorColumn() const { return context_.ErrorColumn; }

private:
    TErrorContext context_;
};

// The code of any exception: ErrorCode of an engine error, 11047 for every other exception.
EngineCode GetErrorCode(const std::exception& error);
EngineCode GetErrorCode(const std::exception_ptr& error);

// Destructors close what they own and cannot report a failure. Called inside their catch-all
// handler, this keeps the code of the exception being handled as the process's last swallowed
// failure, so that tests and tools can still see that a close went wrong.
void NoteSwallowedFailure() noexcept;
// The code of the last swallowed failure, 0 when none; taking it clears it.
EngineCode TakeSwallowedFailure() noexcept;

// The error state of an engine core: the context of the last raise, the error lock and the
// pending operating-system and socket errors. The engine core owns one; until an engine
// exists, ProcessEngineErrors() hands out the process's own.
class TEngineErrors {
public:
    // Clears the context, stores the code, the pending errors and the texts (each cut to 255
    // characters), and throws EZOLVEKEngineError. The error lock is released as the exception
    // leaves.
    [[noreturn]] void RaiseError(EngineCode code, std::string_view remote_name,
        std::string_view user_name, std::string_view database_name, std::string_view table_name,
        std::string_view field_name, std::string_view index_name, std::string_view message,
        std::string_view procedure_name, std::string_view event_name, int32_t line, int32_t column);

    // Shorthands for the usual argument sets.
    [[noreturn]] void RaiseTableError(EngineCode code, std::string_view table_name);
    [[noreturn]] void RaiseFieldError(
        EngineCode code, std::string_view field_name, std::string_view table_name);
    [[noreturn]] void RaiseIndexError(
        EngineCode code, std::string_view index_name, std::string_view table_name);
    [[noreturn]] void RaiseDatabaseError(EngineCode code, std::string_view database_name);
    [[noreturn]] void RaiseTextError(EngineCode code, std::string_view table_name,
        std::string_view message, int32_t line, int32_t column);

    // Maps errno (or the given value) with MapOSError, keeps it as the pending operating-system
    // error for the next raise, and returns the code. File calls report failure as the negated
    // code.
    EngineCode CaptureOSError();
    EngineCode CaptureOSError(int errno_value);
    void SetPendingSocketError(int32_t value) { pending_socket_error_ = value; }

    // A copy of the context of the last raise, taken under the error lock.
    TErrorContext Context() const;
    // The message of `code` filled from the current context.
    std::string GetErrorMessage(EngineCode code) const;

private:
    mutable std::recursive_mutex lock_;
    TErrorContext context_;
    // Written by file calls without the error lock, as the pending values always were.
    std::atomic<int32_t> pending_os_error_ = 0;
    std::atomic<int32_t> pending_os_number_ = 0;
    std::atomic<int32_t> pending_socket_error_ = 0;
};

// The error state that EZOLVEKEngineError(code) reads: the current engine core's, or the
// process's own while no engine core has registered its state.
TEngineErrors& ProcessEngineErrors();
// Lets an engine core make its error state the process's current one; nullptr restores the
// process's own.
void SetProcessEngineErrors(TEngineErrors* errors);

// Creates the exception for a code from the current context and throws it.
[[noreturn]] void RaiseEngineError(EngineCode code);

} // namespace zolvek
