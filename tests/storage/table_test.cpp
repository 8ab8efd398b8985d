#include "db/storage/records.h"
#include "support/engine_fixture.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace zolvek {
namespace {

using testing::CodeOf;
using testing::EngineFixture;
using testing::GlossaryDefinition;

class TableTest : public EngineFixture {
protected:
    std::vector<uint8_t> ReadFileBytes(const std::string& name) {
        std::ifstream in(dir.File(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    void WriteFileBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(dir.File(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
};

TEST_F(TableTest, NewGlossaryTableHasItsFilesAndReopens) {
    CreateTable("datalar", GlossaryDefinition());
    EXPECT_EQ(std::filesystem::file_size(dir.File("datalar.dat")), 512u + 3 * 768);
    EXPECT_EQ(std::filesystem::file_size(dir.File("datalar.idx")), 25088u);
    EXPECT_EQ(std::filesystem::file_size(dir.File("datalar.blb")), 512u);

    // Opened with and without the data extension, it is the same table.
    TDataTable* table = directory->AcquireTable("datalar.dat", false, false);
    const DataFileHeader& header = table->DataFile().Header();
    EXPECT_EQ(header.NextRecordNo, 1);
    EXPECT_EQ(header.RecordCount, 0);
    EXPECT_EQ(header.FirstFreeRecord, 0);
    EXPECT_EQ(header.LocaleID, 1055u);
    EXPECT_EQ(header.BlobFieldCount, 1);
    EXPECT_EQ(header.RecordSize, 216);
    const auto& fields = table->DataFile().Fields();
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].FieldOffset, 25);
    EXPECT_EQ(fields[1].FieldOffset, 202);
    EXPECT_EQ(fields[2].FieldOffset, 211);
    const IndexSlots& index = table->IndexFile().Index();
    EXPECT_EQ(index.SecondaryIndexCount(), 2);
    EXPECT_TRUE(index.Slots[0].IsDefaultPrimary());
    EXPECT_EQ(index.FindSecondary("indexx"), 1);
    EXPECT_EQ(index.FindSecondary("ANAHTAR"), 2);
    EXPECT_EQ(index.Slots[31].Name, "Sys Text");
    directory->ReleaseTable(table);
    EXPECT_TRUE(directory->TableExists("datalar", false, false));
    EXPECT_FALSE(directory->TableExists("datalar", true, false));
}

TEST_F(TableTest, DamagedHeadersAreRefusedWithTheirCodes) {
    CreateTable("t", GlossaryDefinition());
    auto original = ReadFileBytes("t.dat");
    struct Damage {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> apply;
        EngineCode code;
    };
    const Damage damages[] = {
        { "version 4", [](auto& b) { b[8] = 4; }, ZOLVEK_OLDVERSION },
        { "version 200", [](auto& b) { b[8] = 200; }, ZOLVEK_BADSIGNATURE },
        { "signature", [](auto& b) { b[9] ^= 0xFF; }, ZOLVEK_BADSIGNATURE },
        { "size not a record multiple", [](auto& b) { b.push_back(0); }, ZOLVEK_HEADERCORRUPT },
        { "NextRecordNo", [](auto& b) { b[29] = 5; }, ZOLVEK_HEADERCORRUPT },
        { "field count 2000",
            [](auto& b) {
                b[47] = 0xD0;
                b[48] = 0x07;
            },
            ZOLVEK_HEADERCORRUPT },
        { "descriptor offset", [](auto& b) { b[512 + 768 + 172] = 99; }, ZOLVEK_HEADERCORRUPT },
        { "truncated descriptors", [](auto& b) { b.resize(600); }, ZOLVEK_READERR },
    };
    for (const Damage& damage : damages) {
        auto bytes = original;
        damage.apply(bytes);
        WriteFileBytes("t.dat", bytes);
        EXPECT_EQ(CodeOf([&] { directory->AcquireTable("t", false, false); }), damage.code)
            << damage.what;
        EXPECT_EQ(directory->FindTable("t"), nullptr) << damage.what;
    }
    WriteFileBytes("t.dat", original);
    auto index = ReadFileBytes("t.idx");
    index[25] = 7; // FirstFreePage of an index without pages
    WriteFileBytes("t.idx", index);
    EXPECT_EQ(CodeOf([&] { directory->AcquireTable("t", false, false); }), ZOLVEK_HEADERCORRUPT);
}

TEST_F(TableTest, MissingIndexFileIsRecreatedAndMissingBlobFileRefused) {
    CreateTable("t", GlossaryDefinition());
    std::filesystem::remove(dir.File("t.idx"));
    TDataTable* table = directory->AcquireTable("t", false, false);
    EXPECT_TRUE(table->IndexFileRecreated());
    EXPECT_EQ(table->IndexFile().Index().SecondaryIndexCount(), 0);
    directory->ReleaseTable(table);
    std::filesystem::remove(dir.File("t.blb"));
    EXPECT_EQ(CodeOf([&] { directory->AcquireTable("t", false, false); }), ZOLVEK_OSENOENT);
}

TEST_F(TableTest, SignatureRulesAcrossEngines) {
    CreateTable("plain", GlossaryDefinition());
    {
        TDataEngine other;
        other.SetEngineSignature("OTHER_SIG");
        other.StartEngine();
        TDataSession* other_session = other.CreateSession();
        TDataDirectory* other_directory = other_session->OpenDirectory("other", dir.Path(), false);
        // Tables of the default signature open under any signature.
        TDataTable* table = other_directory->AcquireTable("plain", false, false);
        other_directory->ReleaseTable(table);
        other_directory->ReleaseTable(other_directory->CreateTable("signed", GlossaryDefinition()));
    }
    EXPECT_EQ(
        CodeOf([&] { directory->AcquireTable("signed", false, false); }), ZOLVEK_BADSIGNATURE);
}

TEST_F(TableTest, PasswordsOpenEncryptedTables) {
    auto definition = GlossaryDefinition();
    definition.Encrypted = true;
    definition.Password = "Gizli";
    CreateTable("secret", definition);
    auto bytes = ReadFileBytes("secret.dat");
    EXPECT_NE(bytes[172], 0);
    EXPECT_EQ(
        std::search(bytes.begin(), bytes.end(), std::begin("ANAHTAR"), std::end("ANAHTAR") - 1),
        bytes.end());

    TDataSession* other = engine.CreateSession();
    TDataDirectory* other_directory = other->OpenDirectory("other", dir.Path(), false);
    EXPECT_EQ(CodeOf([&] { other_directory->AcquireTable("secret", false, false); }),
        ZOLVEK_NOTSUFFTABLERIGHTS);
    other->AddPassword("gizli"); // letter case matters
    EXPECT_EQ(CodeOf([&] { other_directory->AcquireTable("secret", false, false); }),
        ZOLVEK_NOTSUFFTABLERIGHTS);
    int asked = 0;
    other->SetPasswordCallback([&](TDataSession& s) {
        ++asked;
        s.AddPassword("Gizli");
        return true;
    });
    TDataTable* table = other_directory->AcquireTable("secret", false, false);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(table->DataFile().Fields()[0].Name, "ANAHTAR");
    // Removing the password does not stop a table that already uses it.
    other->RemovePassword("Gizli");
    EXPECT_EQ(table->IndexFile().Index().FindSecondary("INDEXX"), 1);
    other_directory->ReleaseTable(table);

    auto bad = GlossaryDefinition();
    bad.Encrypted = true;
    bad.Password = "   ";
    EXPECT_EQ(CodeOf([&] { directory->CreateTable("bad", bad); }), ZOLVEK_INVALIDPASSWORD);
}

TEST_F(TableTest, DirectoriesAreSharedByPath) {
    TDataDirectory* again = session->OpenDirectory("other name", dir.Path() + "/", false);
    EXPECT_EQ(again, directory);
    EXPECT_EQ(again->ReferenceCount(), 2u);
    session->CloseDirectory(again);
    EXPECT_EQ(session->Directories().size(), 1u);
    session->CloseDirectory(directory);
    EXPECT_TRUE(session->Directories().empty());
}

TEST_F(TableTest, ExclusiveUseRefusesOtherOpens) {
    CreateTable("t", GlossaryDefinition());
    TDataTable* shared = directory->AcquireTable("t", false, false);
    EXPECT_EQ(CodeOf([&] { directory->AcquireTable("t", true, false); }), ZOLVEK_OSEACCES);
    TDataTable* second = directory->AcquireTable("t", false, false);
    EXPECT_EQ(second, shared);
    EXPECT_EQ(shared->OpenCount(), 2);
    directory->ReleaseTable(second);
    directory->ReleaseTable(shared);
    TDataTable* exclusive = directory->AcquireTable("t", true, false);
    TDataSession* other = engine.CreateSession();
    TDataDirectory* other_directory = other->OpenDirectory("other", dir.Path(), false);
    EXPECT_EQ(CodeOf([&] { other_directory->AcquireTable("t", false, false); }), ZOLVEK_OSEACCES);
    directory->ReleaseTable(exclusive);
    other_directory->ReleaseTable(other_directory->AcquireTable("t", false, false));
}

TEST_F(TableTest, CreationValidationCodes) {
    auto too_many = GlossaryDefinition();
    too_many.Fields.resize(1025, testing::Field("F", kTypeInteger));
    for (size_t i = 0; i < too_many.Fields.size(); ++i)
        too_many.Fields[i].Name = "F" + std::to_string(i);
    too_many.SecondaryIndexes.clear();
    EXPECT_EQ(CodeOf([&] { directory->CreateTable("t", too_many); }), ZOLVEK_FLDLIMIT);
    auto pseudo = GlossaryDefinition();
    pseudo.Fields[2].Name = "RecordID";
    EXPECT_EQ(CodeOf([&] { directory->CreateTable("t", pseudo); }), ZOLVEK_INVALIDFIELDNAME);
    auto compression = GlossaryDefinition();
    compression.Fields[1].Compression = 10;
    EXPECT_EQ(CodeOf([&] { directory->CreateTable("t", compression); }), ZOLVEK_INVALIDFLDTYPE);
    EXPECT_FALSE(std::filesystem::exists(dir.File("t.dat")));
}

TEST_F(TableTest, MemoryTablesLiveUntilDeletedOrTheEngineStops) {
    TDataDirectory* memory = session->OpenDirectory("Memory", "", false);
    EXPECT_TRUE(memory->InMemory());
    memory->ReleaseTable(memory->CreateTable("m", GlossaryDefinition()));
    session->CloseDirectory(memory);
    memory = session->OpenDirectory("memory", "", false);
    EXPECT_TRUE(memory->TableExists("m", false, false));
    EXPECT_FALSE(std::filesystem::exists(dir.File("m.dat")));
    memory->DeleteTable("m");
    EXPECT_FALSE(memory->TableExists("m", false, false));
    memory->ReleaseTable(memory->CreateTable("m", GlossaryDefinition()));
    engine.StopEngine();
    engine.StartEngine();
    session = engine.CreateSession();
    memory = session->OpenDirectory("Memory", "", false);
    EXPECT_FALSE(memory->TableExists("m", false, false));
}

TEST_F(TableTest, DeleteRenameAndEmpty) {
    CreateTable("t", GlossaryDefinition());
    TDataTable* open = directory->AcquireTable("t", false, false);
    EXPECT_EQ(CodeOf([&] { directory->DeleteTable("t"); }), ZOLVEK_OSEACCES);
    EXPECT_EQ(CodeOf([&] { directory->RenameTable("t", "u"); }), ZOLVEK_OSEACCES);
    directory->ReleaseTable(open);
    directory->RenameTable("t", "u");
    for (const char* name : { "u.dat", "u.idx", "u.blb" })
        EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
    EXPECT_FALSE(std::filesystem::exists(dir.File("t.dat")));

    TDataTable* table = directory->AcquireTable("u", true, false);
    std::string memo(3000, 'z');
    table->BlobFile().StoreChain(
        nullptr, 0, reinterpret_cast<const uint8_t*>(memo.data()), memo.size(), 1);
    { TPinned<TRecord> record(table->DataFile().TakeSlot(nullptr)); }
    table->DataFile().IncrementRecordCount();
    table->FlushTable(false, false, false, false, false);
    EXPECT_GT(std::filesystem::file_size(dir.File("u.blb")), 512u);
    table->EmptyTableFiles();
    table->FlushTable(false, false, false, false, false);
    EXPECT_EQ(table->DataFile().Header().RecordCount, 0);
    EXPECT_EQ(std::filesystem::file_size(dir.File("u.dat")), 512u + 3 * 768);
    EXPECT_EQ(std::filesystem::file_size(dir.File("u.blb")), 512u);
    directory->ReleaseTable(table);
    directory->DeleteTable("u");
    EXPECT_TRUE(
        std::filesystem::is_empty(dir.Path()) || !std::filesystem::exists(dir.File("u.dat")));
}

TEST_F(TableTest, EveryFlushThatWritesMovesTheDataChangeCount) {
    CreateTable("t", GlossaryDefinition());
    TDataTable* table = directory->AcquireTable("t", false, false);
    uint32_t stamp = table->DataFile().Header().ChangeCount;
    table->BeginTableWrite();
    table->FlushTable(false, false, false, false, false); // nothing to write
    EXPECT_EQ(table->DataFile().Header().ChangeCount, stamp);
    std::string memo(100, 'b');
    table->BlobFile().StoreChain(
        nullptr, 0, reinterpret_cast<const uint8_t*>(memo.data()), memo.size(), 1);
    table->FlushTable(false, false, false, false, false); // only the BLOB file changed
    table->EndTableWrite();
    EXPECT_GT(table->DataFile().Header().ChangeCount, stamp);
    directory->ReleaseTable(table);

    TDataSession* other = engine.CreateSession();
    TDataTable* seen
        = other->OpenDirectory("o", dir.Path(), false)->AcquireTable("t", false, false);
    EXPECT_EQ(seen->DataFile().Header().ChangeCount,
        table == seen ? 0u : seen->DataFile().Header().ChangeCount);
    EXPECT_EQ(seen->BlobFile().UnitCount(), 1u);
}

TEST_F(TableTest, ExclusiveTablesWriteTheirDeferredChangesAtClose) {
    CreateTable("t", GlossaryDefinition());
    TDataTable* table = directory->AcquireTable("t", true, false);
    { TPinned<TRecord> record(table->DataFile().TakeSlot(nullptr)); }
    table->DataFile().IncrementRecordCount();
    table->MarkTableHeaders(true, false, false);
    EXPECT_EQ(std::filesystem::file_size(dir.File("t.dat")), 512u + 3 * 768);
    directory->ReleaseTable(table);
    EXPECT_EQ(std::filesystem::file_size(dir.File("t.dat")), 512u + 3 * 768 + 216);
}

// A directory transaction keeps every change in the caches: the files change at the commit, and
// a rollback leaves them as they were.
TEST_F(TableTest, DirectoryTransactionsKeepTheFilesUntilCommit) {
    CreateTable("t", GlossaryDefinition());
    TDataTable* table = directory->AcquireTable("t", false, false);
    auto snapshot = [&] {
        return std::make_pair(
            testing::ReadFileBytes(dir.File("t.dat")), testing::ReadFileBytes(dir.File("t.blb")));
    };
    auto insert_word = [&](const char* word) {
        table->BeginTableWrite();
        {
            TPinned<TRecord> record(table->DataFile().TakeSlot(nullptr));
            WriteStringField(table->DataFile().Fields()[0], record->Data(), word, 1055);
        }
        table->DataFile().IncrementRecordCount();
        std::string memo(2000, 'm');
        table->BlobFile().StoreChain(
            nullptr, 0, reinterpret_cast<const uint8_t*>(memo.data()), memo.size(), 1);
        table->FlushTable(false, true, false, true, false);
        table->EndTableWrite();
    };
    auto before = snapshot();
    directory->StartTransaction({});
    insert_word("bir");
    insert_word("iki");
    EXPECT_EQ(snapshot(), before);
    directory->RollbackTransaction();
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(table->DataFile().Header().RecordCount, 0);
    EXPECT_EQ(table->DataFile().PhysicalCount(), 0u);

    directory->StartTransaction({ "t" });
    insert_word("bir");
    EXPECT_EQ(snapshot(), before);
    directory->CommitTransaction(true);
    EXPECT_NE(snapshot(), before);
    directory->ReleaseTable(table);
    TDataTable* reopened = directory->AcquireTable("t", false, false);
    EXPECT_EQ(reopened->DataFile().Header().RecordCount, 1);
    directory->ReleaseTable(reopened);
}

TEST(DataEngine, UniqueTemporaryNamesSkipExistingFiles) {
    testing::ScratchDir scratch;
    TDataEngine engine;
    engine.StartEngine();
    std::string first = engine.UniqueTempName(scratch.Path(), ".dat", false);
    EXPECT_EQ(first.rfind(scratch.Path() + "/", 0), 0u);
    std::ofstream(first) << "x";
    std::string second = engine.UniqueTempName(scratch.Path(), ".dat", false);
    EXPECT_NE(first, second);
    EXPECT_EQ(second.substr(second.size() - 4), ".dat");
    EXPECT_EQ(engine.Locales().Locale(0).Name, "ANSI Standard");
}

} // namespace
} // namespace zolvek
