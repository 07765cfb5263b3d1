// The per-record cost of reading and checking the HEX file, against the ~6 ms a record costs on
// the bus: it must stay negligible.
#include "HexFileReader.h"
#include "HexRecord.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string kRecord = ":10FFF000000102030405060708090A0B0C0D0E0F89";

void BM_CheckRecord(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(CheckHexRecord(kRecord));
}
BENCHMARK(BM_CheckRecord);

void BM_CheckAndDecodeRecord(benchmark::State& state)
{
    uint8_t data[256];
    for (auto _ : state) {
        bool bValid = CheckHexRecord(kRecord);
        int count = ParseHexField(kRecord, 1, 2);
        for (int j = 0; j < count; ++j)
            data[j] = static_cast<uint8_t>(ParseHexField(kRecord, 9 + 2 * static_cast<size_t>(j), 2));
        benchmark::DoNotOptimize(bValid);
        benchmark::DoNotOptimize(data);
    }
}
BENCHMARK(BM_CheckAndDecodeRecord);

// Reading a whole-chip file (8192 records) line by line, per record.
void BM_ReadFileLines(benchmark::State& state)
{
    char path[] = "/tmp/at24bench.XXXXXX";
    int fd = ::mkstemp(path);
    std::string text;
    for (int i = 0; i < 8192; ++i)
        text += kRecord + "\r\n";
    if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        state.SkipWithError("cannot write the file");
    ::close(fd);
    std::string line, reason;
    for (auto _ : state) {
        HexFileReader reader;
        reader.Open(path, reason);
        while (reader.ReadLine(line) == HexFileReader::Status::Line)
            benchmark::DoNotOptimize(CheckHexRecord(line));
    }
    state.SetItemsProcessed(state.iterations() * 8192);
    ::unlink(path);
}
BENCHMARK(BM_ReadFileLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
