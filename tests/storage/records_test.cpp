#include "db/base/bytes.h"
#include "db/base/value_text.h"
#include "db/storage/records.h"
#include "support/engine_fixture.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace zolvek {
namespace {

using testing::CodeOf;
using testing::EngineFixture;
using testing::Field;
using testing::GlossaryDefinition;
using testing::ReadFileBytes;

bool Contains(const std::vector<uint8_t>& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end())
        != haystack.end();
}

TEST(RecordImage, StorageRulesOfTheTypes) {
    std::vector<FieldDefinition> definitions = {
        Field("S", kTypeString, 175),
        Field("F", kTypeString, 10, kSubTypeFixed),
        Field("B", kTypeBoolean),
        Field("D", kTypeDate),
        Field("M", kTypeBlob, 0, kSubTypeMemo),
    };
    definitions[0].CharCase = fcUpperCase;
    TableDefinition definition;
    definition.Fields = definitions;
    TableLayout layout = ValidateTableDefinition(
        definition, [](uint32_t) { return true; }, "t");
    const auto& fields = layout.Fields;
    std::vector<uint8_t> image(layout.Record.RecordSize, 0);

    WriteStringField(fields[0], image.data(), "abc   ", 0);
    EXPECT_FALSE(FieldIsNull(fields[0], image.data()));
    EXPECT_EQ(StringFieldValue(fields[0], image.data()), "ABC");
    EXPECT_EQ(std::count(image.begin() + fields[0].FieldOffset + 4,
                  image.begin() + fields[0].FieldOffset + 177, 0),
        173);
    WriteStringField(fields[0], image.data(), "   ", 0);
    EXPECT_TRUE(FieldIsNull(fields[0], image.data()));
    WriteStringField(fields[0], image.data(), "", 0);
    EXPECT_TRUE(FieldIsNull(fields[0], image.data()));
    // Upper case follows the table's locale: Turkish i becomes the dotted capital.
    WriteStringField(fields[0], image.data(), "iyi", 1055);
    EXPECT_EQ(StringFieldValue(fields[0], image.data()), "\xDDY\xDD");
    WriteStringField(fields[0], image.data(), std::string(300, 'x'), 0);
    EXPECT_EQ(StringFieldValue(fields[0], image.data()).size(), 175u);

    WriteStringField(fields[1], image.data(), "ab  ", 0);
    EXPECT_EQ(StringFieldValue(fields[1], image.data()), "ab  ");

    uint8_t five[2] = { 5, 0 };
    WriteFieldValue(fields[2], image.data(), five, 2, 0);
    uint8_t value[8] = {};
    EXPECT_FALSE(ReadFieldValue(fields[2], image.data(), value));
    EXPECT_EQ(value[0], 1);

    int32_t day = EncodeDate(2000, 1, 1);
    EXPECT_EQ(day, 730120);
    uint8_t date[4];
    StoreI32(date, day);
    WriteFieldValue(fields[3], image.data(), date, 4, 0);
    ReadFieldValue(fields[3], image.data(), value);
    EXPECT_EQ(LoadI32(value), 730120);
    WriteFieldValue(fields[3], image.data(), nullptr, 0, 0);
    EXPECT_TRUE(ReadFieldValue(fields[3], image.data(), value));

    // A BLOB reference: a positive block is present, a pending handle as its flag says.
    uint8_t block[4];
    StoreI32(block, 7);
    WriteFieldValue(fields[4], image.data(), block, 4, 0);
    EXPECT_FALSE(FieldIsNull(fields[4], image.data()));
    StoreI32(block, -3);
    WriteFieldValue(fields[4], image.data(), block, 4, 0, true);
    EXPECT_TRUE(FieldIsNull(fields[4], image.data()));
    WriteFieldValue(fields[4], image.data(), block, 4, 0, false);
    EXPECT_FALSE(FieldIsNull(fields[4], image.data()));
}

class RecordFileTest : public EngineFixture {
protected:
    TDataTable* table = nullptr;
    void SetUp() override {
        EngineFixture::SetUp();
        auto definition = GlossaryDefinition();
        definition.Fields[1].Compression = 6;
        CreateTable("t", definition);
        table = directory->AcquireTable("t", false, false);
        table->BeginTableWrite();
    }
    void TearDown() override {
        table->FlushTable(false, false, false, false, false);
        table->EndTableWrite();
        directory->ReleaseTable(table);
    }
    uint32_t Insert() {
        TPinned<TRecord> record(table->DataFile().TakeSlot(nullptr));
        SetRecordID(record->Data(), table->DataFile().TakeNextRecordID());
        table->DataFile().IncrementRecordCount();
        return record->Number();
    }
    void Delete(uint32_t n) {
        TPinned<TRecord> record(table->DataFile().ReadRecord(nullptr, n));
        table->DataFile().FreeSlot(record.get());
        table->DataFile().DecrementRecordCount();
    }
};

TEST_F(RecordFileTest, DeletedSlotsAreReusedLastFreedFirst) {
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Insert(), uint32_t(i + 1));
    Delete(3);
    Delete(7);
    EXPECT_EQ(table->DataFile().Header().FirstFreeRecord, 7);
    {
        TPinned<TRecord> deleted(table->DataFile().ReadRecord(nullptr, 3));
        EXPECT_TRUE(RecordDeleted(deleted->Data()));
    }
    EXPECT_EQ(Insert(), 7u);
    EXPECT_EQ(Insert(), 3u);
    EXPECT_EQ(Insert(), 9u);
    EXPECT_EQ(table->DataFile().Header().RecordCount, 9);
    EXPECT_EQ(table->DataFile().PhysicalCount(), 9u);
    table->FlushTable(false, false, false, false, false);
    EXPECT_EQ(std::filesystem::file_size(dir.File("t.dat")), 512u + 3 * 768 + 9 * 216);
}

TEST_F(RecordFileTest, FreeListHeadThatIsNotDeletedIsRefused) {
    Insert();
    Insert();
    table->DataFile().SetFirstFreeRecord(2); // a live record: the free list is damaged
    EXPECT_EQ(CodeOf([&] { table->DataFile().TakeSlot(nullptr); }), ZOLVEK_FILECORRUPT);
    table->DataFile().SetFirstFreeRecord(0);
}

TEST_F(RecordFileTest, ChainsUseBlocksAndReuseFreedOnesLastFirst) {
    TBlobFile& blobs = table->BlobFile();
    ASSERT_EQ(blobs.BlockPayloadCapacity(), 494u);
    std::vector<uint8_t> value(1000);
    for (size_t i = 0; i < value.size(); ++i)
        value[i] = uint8_t(i * 7);
    int32_t serial = table->DataFile().TakeNextBlobSerial();
    uint32_t first = blobs.StoreChain(nullptr, 0, value.data(), value.size(), serial);
    EXPECT_EQ(blobs.UnitCount(), 3u);
    {
        TPinned<TBlock> head(blobs.GetBlock(nullptr, first));
        EXPECT_EQ(head->TotalSize(), 1000u);
        EXPECT_EQ(head->Used(), 494);
        TPinned<TBlock> last(blobs.GetBlock(nullptr, head->Next()));
        TPinned<TBlock> third(blobs.GetBlock(nullptr, last->Next()));
        EXPECT_EQ(third->Used(), 12);
        EXPECT_EQ(third->Next(), 0u);
    }
    std::vector<uint8_t> back;
    EXPECT_EQ(blobs.LoadChain(nullptr, first, serial, back), TBlobFile::TLoadResult::Loaded);
    EXPECT_EQ(back, value);
    EXPECT_EQ(blobs.LoadChain(nullptr, first, serial + 1, back), TBlobFile::TLoadResult::Changed);

    // Exactly one payload fits one block; one byte more takes two.
    uint32_t one = blobs.StoreChain(nullptr, 0, value.data(), 494, serial);
    EXPECT_EQ(blobs.UnitCount(), 4u);
    uint32_t two = blobs.StoreChain(nullptr, 0, value.data(), 495, serial);
    EXPECT_EQ(blobs.UnitCount(), 6u);

    // Shortening the first value to one block frees its second and third blocks; the next
    // blocks taken are the third (freed last), then the second.
    int32_t shorter = table->DataFile().TakeNextBlobSerial();
    EXPECT_EQ(blobs.StoreChain(nullptr, first, value.data(), 100, shorter), first);
    EXPECT_EQ(blobs.LoadChain(nullptr, first, shorter, back), TBlobFile::TLoadResult::Loaded);
    EXPECT_EQ(back, std::vector<uint8_t>(value.begin(), value.begin() + 100));
    {
        TPinned<TBlock> a(blobs.TakeBlock(nullptr));
        TPinned<TBlock> b(blobs.TakeBlock(nullptr));
        EXPECT_EQ(a->Number(), 3u);
        EXPECT_EQ(b->Number(), 2u);
    }
    EXPECT_EQ(blobs.UnitCount(), 6u);
    blobs.FreeChain(nullptr, two, serial);
    blobs.FreeChain(nullptr, one, serial);
    EXPECT_EQ(blobs.Header().FirstFreeBlock, int32_t(one));
}

TEST_F(RecordFileTest, DamagedChainsAreRefused) {
    TBlobFile& blobs = table->BlobFile();
    std::vector<uint8_t> value(1200, 'x');
    uint32_t first = blobs.StoreChain(nullptr, 0, value.data(), value.size(), 9);
    std::vector<uint8_t> back;
    {
        TPinned<TBlock> head(blobs.GetBlock(nullptr, first));
        head->SetNext(first); // a chain that runs into itself
    }
    EXPECT_EQ(CodeOf([&] { blobs.LoadChain(nullptr, first, 9, back); }), ZOLVEK_MEMOCORRUPT);
    EXPECT_EQ(CodeOf([&] { blobs.FreeChain(nullptr, first, 9); }), ZOLVEK_MEMOCORRUPT);
    {
        TPinned<TBlock> head(blobs.GetBlock(nullptr, first));
        head->SetNext(99); // beyond the file
    }
    EXPECT_EQ(CodeOf([&] { blobs.LoadChain(nullptr, first, 9, back); }), ZOLVEK_MEMOCORRUPT);
    {
        TPinned<TBlock> head(blobs.GetBlock(nullptr, first));
        head->SetNext(0); // ends before the size is reached
    }
    EXPECT_EQ(CodeOf([&] { blobs.LoadChain(nullptr, first, 9, back); }), ZOLVEK_ENDOFBLOB);
    {
        TPinned<TBlock> head(blobs.GetBlock(nullptr, first));
        head->SetTotalSize(0xFFFFFFF0u); // a size no file of this length can hold
    }
    EXPECT_EQ(CodeOf([&] { blobs.LoadChain(nullptr, first, 9, back); }), ZOLVEK_MEMOCORRUPT);
    uint8_t payload[600] = {};
    TPinned<TBlock> head(blobs.GetBlock(nullptr, first));
    EXPECT_EQ(CodeOf([&] { blobs.WritePayload(head.get(), 600, payload); }), ZOLVEK_INVALIDBLOBLEN);
    EXPECT_EQ(CodeOf([&] { blobs.ReadPayload(head.get(), 600, payload); }), ZOLVEK_INVALIDBLOBLEN);
}

TEST(BlobCompression, RepetitiveTextShrinksAndComesBackExactly) {
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "kalem: yaz\xFD yazmaya yarayan ara\xE7. ";
    auto packed
        = CompressBlobValue(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 6, "t");
    EXPECT_LT(packed.size(), text.size() / 10);
    auto unpacked = DecompressBlobValue(packed.data(), packed.size(), "t");
    EXPECT_EQ(std::string(unpacked.begin(), unpacked.end()), text);
    packed[packed.size() / 2] ^= 0x55;
    EXPECT_EQ(
        CodeOf([&] { DecompressBlobValue(packed.data(), packed.size(), "t"); }), ZOLVEK_UNCOMPRESS);
    EXPECT_EQ(CodeOf([&] { DecompressBlobValue(packed.data(), 3, "t"); }), ZOLVEK_UNCOMPRESS);
}

TEST_F(EngineFixture, EncryptedBlobFileHoldsNoPlainText) {
    auto definition = GlossaryDefinition();
    definition.Encrypted = true;
    definition.Password = "parola";
    TDataTable* table = directory->CreateTable("secret", definition);
    std::string memo = "Bu a\xE7\xFDklama d\xFCz metin olarak g\xF6r\xFCnmemeli";
    int32_t serial = table->DataFile().TakeNextBlobSerial();
    uint32_t first = table->BlobFile().StoreChain(
        nullptr, 0, reinterpret_cast<const uint8_t*>(memo.data()), memo.size(), serial);
    {
        TPinned<TRecord> record(table->DataFile().TakeSlot(nullptr));
        WriteStringField(table->DataFile().Fields()[0], record->Data(), "gizli kelime", 1055);
    }
    table->DataFile().IncrementRecordCount();
    directory->ReleaseTable(table);
    EXPECT_FALSE(Contains(ReadFileBytes(dir.File("secret.blb")), "metin olarak"));
    EXPECT_FALSE(Contains(ReadFileBytes(dir.File("secret.dat")), "gizli kelime"));

    TDataTable* again = directory->AcquireTable("secret", false, false);
    std::vector<uint8_t> back;
    again->BlobFile().LoadChain(nullptr, first, serial, back);
    EXPECT_EQ(std::string(back.begin(), back.end()), memo);
    TPinned<TRecord> record(again->DataFile().ReadRecord(nullptr, 1));
    EXPECT_EQ(StringFieldValue(again->DataFile().Fields()[0], record->Data()), "gizli kelime");
    record.Reset();
    directory->ReleaseTable(again);
}

} // namespace
} // namespace zolvek
