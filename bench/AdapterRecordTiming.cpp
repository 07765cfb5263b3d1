// adapter_record_timing: how long one 16-byte record (page write, write wait, random read) takes
// through libi2cadapter against at24sim, per board, reply latency and transfer mode, against the
// floor of the write wait plus the bus time. A measurement to run by hand:
//   adapter_record_timing [records]
#include "AdapterHarness.h"
#include "EepromBlock.h"
#include "i2c_adapter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChipRecords = 8192; // 128 KiB in 16-byte records
constexpr int kWriteWaitMs = 5; // the harness's
// 39 bytes of nine clocks and the start and stop conditions at 400 kHz.
constexpr double kBusMs = 0.88;

struct Setup {
    const char* board;
    std::vector<std::string> args;
    const char* baud; // I2CADAPTER_BAUD, "" for the default
};

const Setup kSetups[] = {
    { "v3 (rx-fifo 4)", { "--rx-fifo", "4" }, "" },
    { "v3 (rx-fifo 4)", { "--rx-fifo", "4" }, "115200" },
    { "v4", { "--hardware", "v4" }, "" },
};

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Milliseconds per record, or a negative value when the connect failed.
double PerRecord(const Setup& setup, const char* latencyUs, const char* pipeline, int records, double& connectMs)
{
    std::vector<std::string> args = setup.args;
    args.insert(args.end(), { "--latency-us", latencyUs });
    SimProcess sim(args);
    Prepare(sim.link, pipeline, "I2CADAPTER_BAUD", setup.baud);
    Clock::time_point start = Clock::now();
    if (!i2c_connect(1)) {
        std::fprintf(stderr, "connect failed: %s\n", i2c_last_error());
        return -1;
    }
    connectMs = Milliseconds(Clock::now() - start);
    int wrong = 0;
    start = Clock::now();
    for (int i = 0; i < records; ++i) {
        uint32_t address = static_cast<uint32_t>(i) * 16;
        EepromWriteBlock(address, 16, Pattern(address, 16).data());
        wrong += ReadRecord(address, 16) != Pattern(address, 16);
    }
    double ms = Milliseconds(Clock::now() - start) / records;
    i2c_disconnect();
    if (wrong)
        std::fprintf(stderr, "%d records read back wrong\n", wrong);
    if (sim.Finish().find("overrun") != std::string::npos)
        std::fprintf(stderr, "the emulator overran\n");
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    int records = argc > 1 ? std::atoi(argv[1]) : 200;
    if (records <= 0) {
        std::fprintf(stderr, "usage: adapter_record_timing [records]\n");
        return 2;
    }
    const double floorMs = kWriteWaitMs + kBusMs;
    std::printf("floor: %.2f ms per record, %.1f s per chip\n\n", floorMs, floorMs * kChipRecords / 1000);
    std::printf("%-16s %-7s %-8s %-12s %10s %10s %10s %8s\n", "board", "baud", "latency", "mode", "connect", "record",
        "chip", "x floor");
    for (const Setup& setup : kSetups) {
        for (const char* latency : { "0", "1500", "4500" }) {
            for (const char* pipeline : { "1", "0" }) {
                double connectMs = 0;
                // Byte by byte over a slow link takes long: fewer records tell as much.
                int count = *pipeline == '0' && *latency != '0' ? std::max(records / 8, 8) : records;
                double ms = PerRecord(setup, latency, pipeline, count, connectMs);
                if (ms < 0)
                    return 1;
                std::printf("%-16s %-7s %-8s %-12s %8.0f ms %7.2f ms %8.1f s %8.2f\n", setup.board,
                    *setup.baud ? setup.baud : "default", latency, *pipeline == '1' ? "pipelined" : "byte-by-byte",
                    connectMs, ms, ms * kChipRecords / 1000, ms / floorMs);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
