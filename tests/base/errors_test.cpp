#include "db/base/errors.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace zolvek {
namespace {

EZOLVEKEngineError CatchRaise(
    const std::function<void(TEngineErrors&)>& raise, TEngineErrors& errors) {
    try {
        raise(errors);
    } catch (const EZOLVEKEngineError& error) {
        return error;
    }
    ADD_FAILURE() << "nothing was raised";
    return EZOLVEKEngineError(0, {});
}

struct MessageCase {
    EngineCode code;
    const char* expected;
};

TEST(ErrorMessages, TableRowsFilledFromTheTableName) {
    const MessageCase cases[] = {
        { ZOLVEK_BOF,
            "ZOLVEK Engine Error # 8705 Beginning of table 'datalar' unexpectedly encountered" },
        { ZOLVEK_NOCURRREC, "ZOLVEK Engine Error # 8709 No current record in the table 'datalar'" },
        { ZOLVEK_HEADERCORRUPT,
            "ZOLVEK Engine Error # 8961 Header information corrupt in the table 'datalar'" },
        { ZOLVEK_OSEACCES,
            "ZOLVEK Engine Error # 11013 Access denied to table or backup file 'datalar'" },
        { ZOLVEK_OSENOMEM,
            "ZOLVEK Engine Error # 11016 There is insufficient operating system memory available "
            "for the current operation" },
        { ZOLVEK_COMPRESS, "ZOLVEK Engine Error # 15001 Error compressing data" },
        { ZOLVEK_OLDVERSION,
            "ZOLVEK Engine Error # 12035 The table 'datalar' is not the correct version" },
        { 12345, "ZOLVEK Engine Error # 12345 An unknown error occurred" },
        { ZOLVEK_NONE, "ZOLVEK Engine Error # 0 An unknown error occurred" },
        { ZOLVEK_REMOTECALLBACK, "ZOLVEK Engine Error # 11284 An unknown error occurred" },
    };
    TEngineErrors errors;
    for (const MessageCase& c : cases) {
        auto error
            = CatchRaise([&](TEngineErrors& e) { e.RaiseTableError(c.code, "datalar"); }, errors);
        EXPECT_STREQ(error.what(), c.expected) << c.code;
        EXPECT_EQ(error.Code(), c.code);
    }
}

TEST(ErrorMessages, RowsWithSeveralArgumentsTakeThemInOrder) {
    TEngineErrors errors;
    auto filter = CatchRaise(
        [](TEngineErrors& e) {
            e.RaiseTextError(ZOLVEK_INVALIDFILTER, "datalar", "Expected string constant", 1, 5);
        },
        errors);
    EXPECT_STREQ(filter.what(),
        "ZOLVEK Engine Error # 10051 Filter error for the table 'datalar' - Expected string "
        "constant at line 1, column 5");
    EXPECT_EQ(filter.Context().ErrorLine, 1);
    EXPECT_EQ(filter.Context().ErrorColumn, 5);

    auto keyviol = CatchRaise(
        [](TEngineErrors& e) { e.RaiseIndexError(ZOLVEK_KEYVIOL, "ANAHTAR", "datalar"); }, errors);
    EXPECT_STREQ(keyviol.what(),
        "ZOLVEK Engine Error # 9729 Duplicate key found in the index 'ANAHTAR' of the table "
        "'datalar'");

    auto idxdesc = CatchRaise(
        [](TEngineErrors& e) {
            e.RaiseError(
                ZOLVEK_INVALIDIDXDESC, "", "", "", "datalar", "7", "INDEXX", "", "", "", 0, 0);
        },
        errors);
    EXPECT_STREQ(idxdesc.what(),
        "ZOLVEK Engine Error # 10023 Invalid field number '7' specified in the index 'INDEXX' "
        "for the table 'datalar'");

    auto remote = CatchRaise(
        [](TEngineErrors& e) {
            e.RaiseError(
                ZOLVEK_REMOTEUNKNOWN, "10.0.0.1", "", "", "", "", "", "socket reset", "", "", 0, 0);
        },
        errors);
    EXPECT_STREQ(remote.what(),
        "ZOLVEK Engine Error # 11279 An unknown error ('socket reset') occurred with the "
        "connection to the database server at '10.0.0.1', please check the server log");

    auto database = CatchRaise(
        [](TEngineErrors& e) { e.RaiseDatabaseError(ZOLVEK_LOCKREADLOCK, "/data/glossary/"); },
        errors);
    EXPECT_STREQ(database.what(),
        "ZOLVEK Engine Error # 10221 Cannot read lock the lock file for the database "
        "'/data/glossary/'");
}

TEST(ErrorMessages, PlaceholdersInContextTextsAreNotInterpreted) {
    TEngineErrors errors;
    auto error = CatchRaise(
        [](TEngineErrors& e) {
            e.RaiseTextError(ZOLVEK_INVALIDFILTER, "%s%u%n", "50% off %s", 2, 1);
        },
        errors);
    EXPECT_STREQ(error.what(),
        "ZOLVEK Engine Error # 10051 Filter error for the table '%s%u%n' - 50% off %s at "
        "line 2, column 1");
}

TEST(ErrorMessages, LongTextsAreCut) {
    TEngineErrors errors;
    std::string long_name(300, 'x');
    auto error
        = CatchRaise([&](TEngineErrors& e) { e.RaiseTableError(ZOLVEK_BOF, long_name); }, errors);
    EXPECT_EQ(error.ErrorTableName(), std::string(255, 'x'));
    // The filled text is cut to 254 characters before the prefix is added.
    std::string text = GetErrorMessage(ZOLVEK_BOF, error.Context());
    EXPECT_EQ(text.size(), 254u);
    EXPECT_EQ(text, ("Beginning of table '" + std::string(255, 'x')).substr(0, 254));
    EXPECT_EQ(std::string(error.what()), FormatEngineMessage(ZOLVEK_BOF, text));
}

TEST(ErrorMessages, RaiseClearsThePreviousContext) {
    TEngineErrors errors;
    CatchRaise(
        [](TEngineErrors& e) { e.RaiseFieldError(ZOLVEK_REQDERR, "ANAHTAR", "datalar"); }, errors);
    EXPECT_EQ(errors.Context().ErrorFieldName, "ANAHTAR");
    auto error
        = CatchRaise([](TEngineErrors& e) { e.RaiseTableError(ZOLVEK_EOF, "other"); }, errors);
    EXPECT_EQ(error.Context().ErrorFieldName, "");
    EXPECT_EQ(errors.Context().ErrorTableName, "other");
    EXPECT_EQ(errors.Context().ErrorCode, ZOLVEK_EOF);
}

TEST(ErrorNames, NamedUnnamedAndUnknown) {
    EXPECT_EQ(GetErrorName(ZOLVEK_KEYVIOL), "ZOLVEK_KEYVIOL");
    EXPECT_EQ(GetErrorName(11300), "");
    EXPECT_EQ(GetErrorName(11307), "");
    EXPECT_EQ(GetErrorName(0), "ZOLVEK_NONE");
    EXPECT_EQ(GetErrorName(11284), "ZOLVEK_REMOTECALLBACK");
    EXPECT_EQ(GetErrorName(12345), "");
    EXPECT_EQ(GetErrorName(15878), "ZOLVEK_CANNOTLOADLDDRV");
}

TEST(OSErrors, MappingAndPendingError) {
    const std::pair<int, EngineCode> mapping[] = {
        { ENOENT, ZOLVEK_OSENOENT },
        { ENOTDIR, ZOLVEK_OSENOENT },
        { EMFILE, ZOLVEK_OSEMFILE },
        { ENFILE, ZOLVEK_OSEMFILE },
        { EACCES, ZOLVEK_OSEACCES },
        { EPERM, ZOLVEK_OSEACCES },
        { EROFS, ZOLVEK_OSEACCES },
        { EEXIST, ZOLVEK_OSEACCES },
        { EBADF, ZOLVEK_OSEBADF },
        { ENOMEM, ZOLVEK_OSENOMEM },
        { ENODEV, ZOLVEK_OSENODEV },
        { EXDEV, ZOLVEK_OSENOTSAM },
        { EIO, ZOLVEK_OSUNKNOWN },
        { ENOSPC, ZOLVEK_OSUNKNOWN },
    };
    for (auto [value, code] : mapping)
        EXPECT_EQ(MapOSError(value), code) << value;

    TEngineErrors errors;
    EXPECT_EQ(errors.CaptureOSError(EACCES), ZOLVEK_OSEACCES);
    auto error = CatchRaise(
        [](TEngineErrors& e) { e.RaiseTableError(ZOLVEK_OSEACCES, "datalar"); }, errors);
    EXPECT_EQ(error.Context().OSErrorCode, ZOLVEK_OSEACCES);
    EXPECT_STREQ(error.what(),
        "ZOLVEK Engine Error # 11013 Access denied to table or backup file 'datalar'");
    // The pending error is consumed by the raise.
    auto next
        = CatchRaise([](TEngineErrors& e) { e.RaiseTableError(ZOLVEK_EOF, "datalar"); }, errors);
    EXPECT_EQ(next.Context().OSErrorCode, 0);

    // An unknown OS error shows its errno.
    errors.CaptureOSError(EIO);
    auto unknown = CatchRaise(
        [](TEngineErrors& e) { e.RaiseTableError(ZOLVEK_OSUNKNOWN, "datalar.dat"); }, errors);
    EXPECT_EQ(std::string(unknown.what()),
        "ZOLVEK Engine Error # 11047 An unknown operating system error " + std::to_string(EIO)
            + " occurred with the table or backup file 'datalar.dat'");
}

TEST(EngineException, GetErrorCodeOfForeignExceptionsIs11047) {
    EXPECT_EQ(GetErrorCode(std::runtime_error("x")), ZOLVEK_OSUNKNOWN);
    EXPECT_EQ(GetErrorCode(std::make_exception_ptr(42)), ZOLVEK_OSUNKNOWN);
    EXPECT_EQ(GetErrorCode(std::make_exception_ptr(EZOLVEKEngineError(ZOLVEK_KEYVIOL, {}))),
        ZOLVEK_KEYVIOL);
    try {
        ProcessEngineErrors().RaiseTableError(ZOLVEK_TABLEFULL, "datalar");
    } catch (const EDatabaseError& error) {
        EXPECT_EQ(GetErrorCode(error), ZOLVEK_TABLEFULL);
    }
}

TEST(EngineException, FromCodeReadsTheRegisteredContext) {
    TEngineErrors engine_errors;
    SetProcessEngineErrors(&engine_errors);
    CatchRaise([](TEngineErrors& e) { e.RaiseIndexError(ZOLVEK_INDEXEXISTS, "INDEXX", "datalar"); },
        engine_errors);
    EZOLVEKEngineError again(ZOLVEK_INDEXEXISTS);
    EXPECT_EQ(again.Context().ErrorIndexName, "INDEXX");
    EXPECT_STREQ(again.what(),
        "ZOLVEK Engine Error # 10027 The secondary index 'INDEXX' already exists for the table "
        "'datalar'");
    SetProcessEngineErrors(nullptr);
    EXPECT_NE(&ProcessEngineErrors(), &engine_errors);
}

TEST(EngineException, ConcurrentRaisesNeverMixTheirContexts) {
    TEngineErrors errors;
    std::vector<std::thread> threads;
    std::atomic<int> mixed = 0;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::string table = "table" + std::to_string(t);
            std::string field = "field" + std::to_string(t);
            for (int i = 0; i < 500; ++i) {
                try {
                    errors.RaiseFieldError(ZOLVEK_REQDERR, field, table);
                } catch (const EZOLVEKEngineError& error) {
                    if (error.Context().ErrorTableName != table
                        || error.Context().ErrorFieldName != field)
                        ++mixed;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mixed, 0);
}

} // namespace
} // namespace zolvek
