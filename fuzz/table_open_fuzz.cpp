// Opens a table whose three files hold arbitrary bytes, then reads every record slot and every
// BLOB chain the records name, verifies it, and repairs it. Only engine errors may leave the
// engine, and a repair that goes through must leave a table that verifies clean.
//
// Input: data file length (4 bytes, little-endian), index file length (4 bytes), the data file,
// the index file, and the rest as the BLOB file. The files live in the "Memory" database.
#include "db/base/bytes.h"
#include "db/cursor/cursor.h"
#include "db/cursor/table_repair.h"
#include "db/cursor/table_verifier.h"
#include "db/storage/directory.h"
#include "db/storage/engine.h"
#include "db/storage/records.h"
#include "db/storage/session.h"
#include "db/storage/table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace zolvek;

namespace {

void PutMemoryFile(TDataEngine& engine, const std::string& name, const uint8_t* data, size_t size) {
    TOpenResult result;
    TFileOpenOptions options;
    int32_t handle = engine.OpenFiles().Create(name, true, options, result);
    if (handle < 0)
        abort();
    if (size > 0 && result.file->Write(handle, data, size) != int64_t(size))
        abort();
    engine.OpenFiles().Close(result.file, handle);
}

void ReadEverything(TDataTable& table) {
    TDataFile& data = table.DataFile();
    uint32_t slots = std::min<uint32_t>(data.PhysicalCount(), 512);
    for (uint32_t n = 1; n <= slots; ++n) {
        TPinned<TRecord> record(data.ReadRecord(nullptr, n, true, rdForward));
        if (!record || RecordDeleted(record->Data()))
            continue;
        std::vector<uint8_t> image(record->Data(), record->Data() + record->Size());
        record.Reset();
        for (const FieldDescriptor& field : data.Fields()) {
            uint8_t value[1024];
            if (field.PhysicalSize > sizeof value)
                continue;
            bool is_null = ReadFieldValue(field, image.data(), value);
            if (field.DataType != kTypeBlob || is_null || !table.HasBlobFile())
                continue;
            const uint8_t* reference = FieldValuePointer(field, image.data());
            std::vector<uint8_t> blob;
            try {
                table.BlobFile().LoadChain(
                    nullptr, LoadU32(reference), LoadI32(reference + 4), blob);
            } catch (const EZOLVEKEngineError&) { }
        }
    }
}

// A cursor reads every record in the order of every index, a bounded number of steps.
void WalkEveryIndex(TDataDirectory& directory, TDataTable& table) {
    TDataCursor cursor(directory, table.TableName());
    cursor.OpenTable();
    std::vector<uint8_t> record(cursor.RecordSize());
    int64_t limit = 2 * int64_t(std::min<uint32_t>(table.DataFile().PhysicalCount(), 512)) + 10;
    for (uint8_t slot = 0; slot <= cursor.IndexCount(); ++slot) {
        try {
            cursor.SelectIndex(cursor.GetIndexDescriptor(slot).Name);
            cursor.MoveFirst();
            for (int64_t steps = 0; steps < limit && cursor.ReadNext(record.data()) == 0; ++steps)
                cursor.SequenceNumber();
            cursor.MoveLast();
            for (int64_t steps = 0; steps < limit && cursor.ReadPrior(record.data()) == 0; ++steps)
                cursor.RecordCount();
        } catch (const EZOLVEKEngineError&) { }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    if (size < 8)
        return 0;
    size_t data_length = std::min<size_t>(LoadU32(input), size - 8);
    size_t index_length = std::min<size_t>(LoadU32(input + 4), size - 8 - data_length);
    const uint8_t* data = input + 8;
    const uint8_t* index = data + data_length;
    const uint8_t* blob = index + index_length;
    size_t blob_length = size - 8 - data_length - index_length;

    TDataEngine engine;
    engine.StartEngine();
    PutMemoryFile(engine, "t.dat", data, data_length);
    PutMemoryFile(engine, "t.idx", index, index_length);
    PutMemoryFile(engine, "t.blb", blob, blob_length);
    TDataSession* session = engine.CreateSession();
    session->AddPassword("parola");
    try {
        TDataDirectory* directory = session->OpenDirectory("Memory", "", false);
        TDataTable* table = directory->AcquireTable("t", false, false);
        try {
            ReadEverything(*table);
        } catch (const EZOLVEKEngineError&) { }
        try {
            WalkEveryIndex(*directory, *table);
        } catch (const EZOLVEKEngineError&) { }
        try {
            VerifyTable(*table, 20);
        } catch (const EZOLVEKEngineError&) { }
        directory->ReleaseTable(table);
        bool repaired = false;
        try {
            RepairTable(*directory, "t");
            repaired = true;
        } catch (const EZOLVEKEngineError&) { }
        if (repaired) {
            TDataTable* again = directory->AcquireTable("t", false, false);
            std::vector<std::string> findings = VerifyTable(*again, 5);
            if (!findings.empty()) {
                for (const std::string& finding : findings)
                    fprintf(stderr, "after repair: %s\n", finding.c_str());
                abort();
            }
            directory->ReleaseTable(again);
        }
    } catch (const EZOLVEKEngineError&) {
    } catch (...) {
        abort();
    }
    return 0;
}
