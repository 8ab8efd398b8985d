#include "db/base/errors.h"
#include "db/storage/engine_file.h"
#include "support/faulty_os.h"
#include "support/test_support.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zolvek {
namespace {

using testing::ChildProcess;
using testing::CodeOf;
using testing::RunInChild;
using testing::ScratchDir;
using testing::Signal;
using testing::TFaultScope;
using testing::TFaultyOSLayer;

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

class FilesTest : public ::testing::Test {
protected:
    TEngineErrors errors;
    TOpenFileTable files { errors };
    ScratchDir dir;

    std::unique_ptr<TEngineFile> MakeFile(const std::string& name, bool in_memory = false) {
        auto file = std::make_unique<TEngineFile>(files, errors);
        file->SetName(in_memory ? name : dir.File(name));
        file->SetDisplayName(name);
        file->in_memory = in_memory;
        return file;
    }
};

TEST_F(FilesTest, TwoOpensShareOneBaseFileUntilTheLastClose) {
    WriteFile(dir.File("t.dat"), "0123456789");
    auto first = MakeFile("t.dat");
    auto second = MakeFile("t.dat");
    first->Open();
    second->Open();
    EXPECT_EQ(files.Count(false), 1u);
    first->Close();
    EXPECT_EQ(files.Count(false), 1u);
    char bytes[4] = {};
    EXPECT_EQ(second->ReadAt(6, bytes, 4), 4u);
    EXPECT_EQ(std::string(bytes, 4), "6789");
    second->Close();
    EXPECT_EQ(files.Count(false), 0u);
}

TEST_F(FilesTest, ExclusiveConflictsInOneProcessGive11013) {
    WriteFile(dir.File("t.dat"), "x");
    auto shared = MakeFile("t.dat");
    auto exclusive = MakeFile("t.dat");
    exclusive->exclusive = true;
    shared->Open();
    EXPECT_EQ(CodeOf([&] { exclusive->Open(); }), ZOLVEK_OSEACCES);
    shared->Close();
    exclusive->Open();
    EXPECT_EQ(CodeOf([&] { shared->Open(); }), ZOLVEK_OSEACCES);
    // Creating a file that is open is refused too.
    auto creator = MakeFile("t.dat");
    EXPECT_EQ(CodeOf([&] { creator->Create(); }), ZOLVEK_OSEACCES);
}

TEST_F(FilesTest, ExclusiveOpenExcludesOtherProcesses) {
    WriteFile(dir.File("t.dat"), "data");
    auto exclusive = MakeFile("t.dat");
    exclusive->exclusive = true;
    exclusive->Open();
    auto path = dir.File("t.dat");
    auto open_in_child = [&](bool want_exclusive) {
        return RunInChild([&] {
            TEngineErrors child_errors;
            TOpenFileTable child_files(child_errors);
            TEngineFile file(child_files, child_errors);
            file.SetName(path);
            file.exclusive = want_exclusive;
            try {
                file.Open();
            } catch (const EZOLVEKEngineError& error) {
                return error.Code() == ZOLVEK_OSEACCES ? 1 : 2;
            }
            return 0;
        });
    };
    EXPECT_EQ(open_in_child(false), 1);
    exclusive->Close();
    auto shared = MakeFile("t.dat");
    shared->Open();
    EXPECT_EQ(open_in_child(false), 0);
    EXPECT_EQ(open_in_child(true), 1);
    // A create in another process does not empty a file that is open here.
    EXPECT_EQ(RunInChild([&] {
        TEngineErrors child_errors;
        TOpenFileTable child_files(child_errors);
        TEngineFile file(child_files, child_errors);
        file.SetName(path);
        try {
            file.Create();
        } catch (const EZOLVEKEngineError& error) {
            return error.Code() == ZOLVEK_OSEACCES ? 1 : 2;
        }
        return 0;
    }),
        1);
    EXPECT_EQ(shared->Size(), 4);
}

TEST_F(FilesTest, MissingFileShortReadAndTruncation) {
    auto missing = MakeFile("none.dat");
    EXPECT_EQ(CodeOf([&] { missing->Open(); }), ZOLVEK_OSENOENT);
    // A directory is not a file.
    std::filesystem::create_directory(dir.File("sub.dat"));
    auto directory = MakeFile("sub.dat");
    EXPECT_FALSE(directory->Exists());

    auto file = MakeFile("t.dat");
    file->Create();
    file->WriteAt(0, "abcdefgh", 8);
    char buffer[16];
    EXPECT_EQ(CodeOf([&] { file->ReadAt(4, buffer, 8); }), ZOLVEK_READERR);
    EXPECT_EQ(file->ReadAt(4, buffer, 8, true), 4u);
    file->Seek(soBeginning, 3);
    file->Write(nullptr, 0);
    EXPECT_EQ(file->Size(), 3);
    EXPECT_EQ(std::filesystem::file_size(dir.File("t.dat")), 3u);
}

TEST_F(FilesTest, ReadOnlyByPermission) {
    WriteFile(dir.File("ro.dat"), "data");
    chmod(dir.File("ro.dat").c_str(), 0444);
    chmod(dir.Path().c_str(), 0755);
    auto path = dir.File("ro.dat");
    // Root may write anything; check as an unprivileged user then.
    int result = RunInChild([&] {
        if (geteuid() == 0 && setuid(65534) != 0)
            return 3;
        TEngineErrors child_errors;
        TOpenFileTable child_files(child_errors);
        TEngineFile file(child_files, child_errors);
        file.SetName(path);
        file.Open();
        if (!file.OpenedReadOnly() || !file.ReadOnlyByAttribute())
            return 1;
        char bytes[4];
        if (file.ReadAt(0, bytes, 4) != 4)
            return 2;
        try {
            file.WriteAt(0, "x", 1);
        } catch (const EZOLVEKEngineError& error) {
            return error.Code() == ZOLVEK_WRITEERR ? 0 : 4;
        }
        return 5;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(FilesTest, MemoryFilesOutliveHandlesTemporaryFilesDoNot) {
    auto memory = MakeFile("Memory/t.dat", true);
    EXPECT_EQ(CodeOf([&] { memory->Open(); }), ZOLVEK_OSENOENT);
    memory->Create();
    std::string big(TMemoryFile::kChunkSize + 100, 'q');
    memory->WriteAt(10, big.data(), big.size());
    memory->Close();
    EXPECT_EQ(files.Count(true), 1u);
    auto again = MakeFile("MEMORY/T.DAT", true);
    again->Open();
    EXPECT_EQ(again->Size(), int64_t(big.size() + 10));
    std::string back(big.size() + 10, '\0');
    again->ReadAt(0, back.data(), back.size());
    EXPECT_EQ(back, std::string(10, '\0') + big);
    // Shrinking then growing leaves zeros, not the old bytes.
    again->Truncate(20);
    again->WriteAt(40, "z", 1);
    char gap[20];
    again->ReadAt(20, gap, 20);
    EXPECT_EQ(std::string(gap, 20), std::string(20, '\0'));
    again->Close();
    again->Delete();
    EXPECT_EQ(files.Count(true), 0u);

    auto temporary = MakeFile("tmp.dat");
    temporary->temporary = true;
    temporary->Create();
    EXPECT_TRUE(std::filesystem::exists(dir.File("tmp.dat")));
    temporary->Close();
    EXPECT_FALSE(std::filesystem::exists(dir.File("tmp.dat")));
}

TEST_F(FilesTest, RenameAndDeleteAreRefusedWhileOpen) {
    auto file = MakeFile("a.dat");
    file->Create();
    auto other = MakeFile("a.dat");
    EXPECT_EQ(CodeOf([&] { other->Delete(); }), ZOLVEK_OSEACCES);
    EXPECT_EQ(CodeOf([&] { other->Rename(dir.File("b.dat")); }), ZOLVEK_OSEACCES);
    file->Close();
    other->Rename(dir.File("b.dat"));
    EXPECT_TRUE(std::filesystem::exists(dir.File("b.dat")));
    other->Delete();
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.dat")));
}

struct LockCase {
    const char* name;
    uint64_t offset;
    uint64_t length;
};

class LockTest : public FilesTest, public ::testing::WithParamInterface<LockCase> { };

TEST_P(LockTest, RangeHeldBySessionOrProcessIsRefused) {
    const LockCase& c = GetParam();
    WriteFile(dir.File("t.dat"), "data");
    auto session1 = MakeFile("t.dat");
    auto session2 = MakeFile("t.dat");
    session1->Open();
    session2->Open();
    ASSERT_TRUE(session1->LockRange(c.offset, c.length));
    // Another session of this process: the in-process list refuses.
    EXPECT_FALSE(session2->LockRange(c.offset, c.length));
    EXPECT_FALSE(session2->LockRange(c.offset + c.length - 1, 1));
    EXPECT_TRUE(session2->LockRange(c.offset - 1, 1));
    // Another process: the system lock refuses; an untouched neighbour is granted.
    auto path = dir.File("t.dat");
    auto try_in_child = [&](uint64_t offset, uint64_t length) {
        return RunInChild([&] {
            TEngineErrors child_errors;
            TOpenFileTable child_files(child_errors);
            TEngineFile file(child_files, child_errors);
            file.SetName(path);
            file.Open();
            return file.LockRange(offset, length) ? 0 : 1;
        });
    };
    EXPECT_EQ(try_in_child(c.offset, c.length), 1);
    EXPECT_EQ(try_in_child(c.offset - 2, 1), 0);
    // Unlock removes both layers.
    ASSERT_TRUE(session1->UnlockRange(c.offset, c.length));
    EXPECT_EQ(try_in_child(c.offset, c.length), 0);
    EXPECT_TRUE(session2->LockRange(c.offset, c.length));
}

INSTANTIATE_TEST_SUITE_P(Regions, LockTest,
    ::testing::Values(LockCase { "RecordByteBelow4G", 4294967294ull, 1 },
        LockCase { "WholeTableBelow4G", 4094967295ull, 200000000ull },
        LockCase { "LargeFileRecordByte", 9223372036854775806ull, 1 },
        LockCase { "LargeFileRegion", 9223372036854775807ull - 1000000000ull, 1000000000ull }),
    [](const ::testing::TestParamInfo<LockCase>& info) { return info.param.name; });

TEST_F(FilesTest, LockHeldInAnotherProcessIsReleasedWhenItEnds) {
    WriteFile(dir.File("t.dat"), "data");
    auto path = dir.File("t.dat");
    Signal locked, release;
    ChildProcess child([&] {
        TEngineErrors child_errors;
        TOpenFileTable child_files(child_errors);
        TEngineFile file(child_files, child_errors);
        file.SetName(path);
        file.Open();
        if (!file.LockRange(4000000000ull, 10))
            return 1;
        locked.Send();
        release.Wait();
        return 0;
    });
    ASSERT_EQ(locked.Wait(), 1);
    auto file = MakeFile("t.dat");
    file->Open();
    EXPECT_FALSE(file->LockRange(4000000005ull, 1));
    release.Send();
    EXPECT_EQ(child.Join(), 0);
    EXPECT_TRUE(file->LockRange(4000000005ull, 1));
}

TEST_F(FilesTest, CuttingAMemoryFilePastItsEndGrowsItWithZeros) {
    auto memory = MakeFile("Memory/z.dat", true);
    memory->Create();
    memory->WriteAt(0, "abc", 3);
    uint64_t size = 3 * TMemoryFile::kChunkSize + 7;
    memory->Truncate(size);
    ASSERT_EQ(memory->Size(), int64_t(size));
    std::string back(size, 'x');
    EXPECT_EQ(memory->ReadAt(0, back.data(), back.size()), size);
    EXPECT_EQ(back, "abc" + std::string(size - 3, '\0'));
    memory->WriteAt(size, "d", 1);
    char last = 0;
    memory->ReadAt(size, &last, 1);
    EXPECT_EQ(last, 'd');
    memory->Close();
    memory->Delete();
}

// Every system call under a physical file can be made to fail, and each failure reaches the
// caller as its engine code.
TEST_F(FilesTest, EveryKindOfSystemCallFailureHasItsCode) {
    WriteFile(dir.File("t.dat"), "0123456789");
    struct Case {
        TOSCall call;
        int error;
        EngineCode expected;
        std::function<void(TEngineFile&)> action;
    };
    std::vector<Case> cases = {
        { TOSCall::Open, EACCES, ZOLVEK_OSEACCES, [](TEngineFile& f) { f.Open(); } },
        { TOSCall::Open, EMFILE, ZOLVEK_OSEMFILE, [](TEngineFile& f) { f.Open(); } },
        { TOSCall::Read, EIO, ZOLVEK_READERR,
            [](TEngineFile& f) {
                f.Open();
                char bytes[4];
                f.ReadAt(0, bytes, 4);
            } },
        { TOSCall::Write, ENOSPC, ZOLVEK_WRITEERR,
            [](TEngineFile& f) {
                f.Open();
                f.WriteAt(2, "xy", 2);
            } },
        { TOSCall::Truncate, EIO, ZOLVEK_WRITEERR,
            [](TEngineFile& f) {
                f.Open();
                f.Truncate(4);
            } },
        { TOSCall::Sync, EIO, ZOLVEK_WRITEERR,
            [](TEngineFile& f) {
                f.Open();
                f.Flush();
            } },
        { TOSCall::Size, EIO, ZOLVEK_READERR,
            [](TEngineFile& f) {
                f.Open();
                f.Size();
            } },
    };
    TFaultScope faults;
    for (const Case& c : cases) {
        auto file = MakeFile("t.dat");
        // From then on: a refused read-write open must not pass as a read-only one either.
        faults->Arm({ c.call, 1, c.error, TFaultyOSLayer::TAction::FailFromThenOn, "t.dat" });
        EXPECT_EQ(CodeOf([&] { c.action(*file); }), c.expected) << OSCallName(c.call);
        EXPECT_TRUE(faults->Fired()) << OSCallName(c.call);
        faults->Disarm();
        file->Close();
    }
    // Lock calls that fail leave the range unlocked (and free for a later try).
    auto file = MakeFile("t.dat");
    file->Open();
    faults->Arm({ TOSCall::Lock, 1, ENOLCK, TFaultyOSLayer::TAction::Fail, "t.dat" });
    EXPECT_FALSE(file->LockRange(100, 1));
    EXPECT_TRUE(file->LockRange(100, 1));
    faults->Arm({ TOSCall::Unlock, 1, EIO, TFaultyOSLayer::TAction::Fail, "t.dat" });
    EXPECT_FALSE(file->UnlockRange(100, 1));
    EXPECT_TRUE(file->UnlockRange(100, 1));
    // The file itself was never changed by the failed calls.
    file->Close();
    std::ifstream in(dir.File("t.dat"));
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "0123456789");
}

} // namespace
} // namespace zolvek
