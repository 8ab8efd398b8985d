// Throughput of the table cipher on page-sized buffers, of the record digest on record-sized
// buffers, and the cost of keying a context (once per password).
#include "db/storage/cipher.h"
#include "db/storage/digest.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace zolvek;

std::vector<uint8_t> Filled(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 131 + 7);
    return bytes;
}

void BM_EncryptBuffer(benchmark::State& state) {
    TBlowfishContext context(DigestText("parola"));
    std::vector<uint8_t> buffer = Filled(size_t(state.range(0)));
    for (auto _ : state) {
        context.EncryptBuffer(buffer.data(), buffer.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EncryptBuffer)->Arg(4096);

void BM_DecryptBuffer(benchmark::State& state) {
    TBlowfishContext context(DigestText("parola"));
    std::vector<uint8_t> buffer = Filled(size_t(state.range(0)));
    for (auto _ : state) {
        context.DecryptBuffer(buffer.data(), buffer.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecryptBuffer)->Arg(4096);

void BM_DigestRecord(benchmark::State& state) {
    std::vector<uint8_t> record = Filled(size_t(state.range(0)));
    for (auto _ : state) {
        TDigest digest = DigestBuffer(record.data(), record.size());
        benchmark::DoNotOptimize(digest);
        record[0]++;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_DigestRecord)->Arg(256);

void BM_KeySetup(benchmark::State& state) {
    const TDigest key = DigestText("parola");
    for (auto _ : state) {
        TBlowfishContext context(key);
        benchmark::DoNotOptimize(&context);
    }
}
BENCHMARK(BM_KeySetup);

} // namespace

BENCHMARK_MAIN();
