// The fixed English texts of the database components' misuse errors (engine, session, database
// and table components). They are raised as the dataset's database error (DatabaseError and
// DatabaseErrorFmt of dataset_errors.h); engine failures travel as EZOLVEKEngineError instead.
// Thread-safety: constants only.
#pragma once

#include <string_view>

namespace zolvek {

// Engine component.
inline constexpr std::string_view kEngineExists = "An engine component already exists";
inline constexpr std::string_view kEngineActive
    = "Cannot perform this operation when the engine is active";
inline constexpr std::string_view kRemoteSessionWithServer
    = "Cannot activate a remote session with the server engine";

// Session component.
inline constexpr std::string_view kSessionNameMissing = "Session name is missing";
inline constexpr std::string_view kSessionNameInvalid = "Session name '%s' is not valid";
inline constexpr std::string_view kSessionNameExists = "Session name '%s' already exists";
inline constexpr std::string_view kSessionActive
    = "Cannot perform this operation on an active session";
inline constexpr std::string_view kSessionInactive
    = "Cannot perform this operation on an inactive session";
inline constexpr std::string_view kAutoSessionActive
    = "Cannot perform this operation on the active auto-session";
inline constexpr std::string_view kAutoSessionOnly
    = "The active auto-session can be the only active session";
inline constexpr std::string_view kAutoSessionExists = "This auto-session already exists";

// Database component.
inline constexpr std::string_view kDatabaseNameMissing = "Database name is missing";
inline constexpr std::string_view kDatabaseNameInvalid = "Database name '%s' is not valid";
inline constexpr std::string_view kDatabaseNameExists = "Database name '%s' already exists";
inline constexpr std::string_view kDatabaseOpen
    = "Cannot perform this operation on an open database";
inline constexpr std::string_view kDatabaseClosed
    = "Cannot perform this operation on a closed database";
inline constexpr std::string_view kTransactionActive
    = "Database '%s' already has an active transaction";
inline constexpr std::string_view kNoTransaction = "Database '%s' has no active transaction";

// Table dataset.
inline constexpr std::string_view kMissingTableName = "Missing table name";
inline constexpr std::string_view kCreateHandleError = "Error creating table handle";
inline constexpr std::string_view kTableNotEditing = "Table is not in edit or insert mode";
inline constexpr std::string_view kFieldNotInIndex = "Field '%s' is not in the current index";
inline constexpr std::string_view kFieldIndexOutOfRange = "Field index out of range";
inline constexpr std::string_view kIndexFieldAccess = "Cannot access index field '%s'";
inline constexpr std::string_view kTooManyLocateFields = "Too many fields for locate";
inline constexpr std::string_view kNoLocateFields = "No fields specified for locate";
inline constexpr std::string_view kBlobFieldInLocate
    = "Blob field '%s' not allowed in locate or lookup";
inline constexpr std::string_view kNoIndexForFields = "No index for fields '%s'";
inline constexpr std::string_view kInvalidClassTypecast = "Invalid class typecast";

} // namespace zolvek
