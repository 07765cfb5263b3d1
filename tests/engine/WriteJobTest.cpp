#include "WriteJob.h"
#include "HexBuilder.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "RecordingDisplay.h"
#include "StandInAdapter.h"

#include <chrono>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/stat.h>
#include <thread>

namespace {

using Lines = std::vector<std::string>;
using Bus = standin::Bus;
using Display = RecordingDisplay;
using Arrange = void (*)(Bus&, Display&);

std::vector<uint8_t> Bytes(uint8_t first, size_t n)
{
    std::vector<uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

Lines FiveFailed(const std::string& address)
{
    Lines lines(5, "Verify error Address:" + address + "\n");
    lines.push_back("Write error Address:" + address + "\n");
    return lines;
}

void StopAtFirst(Bus&, Display& d)
{
    d.onCurrent = [](const std::string&) { JobRunState.StopRequest = 1; };
}

class WriteJobTest : public testing::Test {
protected:
    void SetUp() override
    {
        bus = &standin::Install();
        JobSettings = SJobSettings();
        JobSettings.WriteWait = 0;
        JobSettings.iSerialPort = 3;
        JobRunState.StopRequest = 0;
    }

    // Runs a whole job on this thread, as the worker would.
    JobResult Run(const std::string& text, int (*job)() = WriteJob)
    {
        JobSettings.HexFile = dir.Write("image.hex", text);
        return RunPath(job);
    }
    JobResult RunPath(int (*job)() = WriteJob)
    {
        JobRunState.WorkerThread = true;
        EXPECT_EQ(job(), 0);
        EXPECT_FALSE(JobRunState.WorkerThread);
        EXPECT_EQ(JobRunState.StopRequest, 0);
        return JobRunState.Result;
    }
    std::vector<uint8_t> Memory(uint32_t address, size_t n) const
    {
        return std::vector<uint8_t>(bus->memory.begin() + address, bus->memory.begin() + address + n);
    }

    Bus* bus = nullptr;
    Display display;
    TempDir dir;
};

// Address handling and the shapes of a file: where the data lands and what the current-record line shows.
// A record the device never stores ends the job: nothing after it is written.
struct PlacementCase {
    const char* name;
    std::string text;
    uint32_t address; // where Bytes(0x40, count) must land
    size_t count;
    std::string lastCurrent; // how the last current-record line begins
    Lines body = {};
    JobResult result = JobResult::Success;
    friend void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }
};

constexpr JobResult kRecordError = JobResult::RecordError, kAddressError = JobResult::AddressError;

class PlacementTest : public WriteJobTest, public testing::WithParamInterface<PlacementCase> { };

PlacementCase Refused(const char* name, const std::string& bad, JobResult result, const std::string& line)
{
    return { name, HexData(0, Bytes(0x40, 1)) + bad + HexData(0x100, { 0x22 }), 0, 1, "000000 : ", { line }, result };
}

TEST_P(PlacementTest, DataLandsWhereTheRecordsSay)
{
    const PlacementCase& c = GetParam();
    EXPECT_EQ(Run(c.text), c.result);
    EXPECT_EQ(Memory(c.address, c.count), Bytes(0x40, c.count));
    std::fill_n(bus->memory.begin() + c.address, c.count, 0xFF);
    EXPECT_TRUE(bus->memory == std::vector<uint8_t>(bus->memory.size(), 0xFF)) << "written outside the record";
    EXPECT_EQ(display.Body(), c.body);
    ASSERT_FALSE(display.Current().empty());
    EXPECT_EQ(display.Current().back().substr(0, c.lastCurrent.size()), c.lastCurrent);
}

INSTANTIATE_TEST_SUITE_P(Addresses, PlacementTest,
    testing::Values(PlacementCase { "plain", HexData(0, Bytes(0x40, 16)), 0, 16, "000000 : " },
        PlacementCase { "linear", HexLinear(1) + HexData(0x10, Bytes(0x40, 2)), 0x10010, 2, "010010 : 40416D\n" },
        PlacementCase { "linear_kept", HexLinear(1) + HexData(0x10, Bytes(0x40, 8)) + HexData(0x18, Bytes(0x48, 8)),
            0x10010, 16, "010018 : " },
        PlacementCase { "segment", HexSegment(0x1001) + HexData(0x10, Bytes(0x40, 16)), 0x10020, 16, "010020 : " },
        PlacementCase {
            "segment_plus_offset", HexSegment(0x1FFF) + HexData(0x08, Bytes(0x40, 8)), 0x1FFF8, 8, "01FFF8 : " },
        PlacementCase { "segment_replaces_linear", HexLinear(1) + HexSegment(0x0010) + HexData(0, Bytes(0x40, 4)),
            0x100, 4, "000100 : " },
        PlacementCase { "linear_replaces_segment", HexSegment(0x1000) + HexLinear(0) + HexData(0xFFF8, Bytes(0x40, 16)),
            0xFFF8, 16, "00FFF8 : " },
        PlacementCase { "across_page", HexData(0x01F8, Bytes(0x40, 255)), 0x1F8, 255, "0001F8 : " },
        PlacementCase { "after_end_of_file", HexEnd() + HexData(0x20, Bytes(0x40, 4)), 0x20, 4, "000020 : " },
        PlacementCase { "skipped_lines",
            "comment\n\n :10000000\n" + HexData(0, { 0, 0, 0, 0 }, 0x03) + HexData(0, { 0, 0, 0, 0 }, 0x05)
                + HexData(0x30, Bytes(0x40, 4)),
            0x30, 4, "000030 : " },
        PlacementCase { "crlf", "\r\n:0400300040414243C6\r\n:00000001FF\r\n", 0x30, 4, "000030 : " },
        PlacementCase { "empty_record_points_anywhere",
            HexLinear(0x0800) + HexData(0x10, {}) + HexLinear(0) + HexData(0x30, Bytes(0x40, 4)), 0x30, 4,
            "000030 : " },
        Refused("checksum", ":0300300002337A1F\n", kRecordError, "Record error Line:2\n"),
        Refused("not_hex", "\n:03003000G2337A1E\n", kRecordError, "Record error Line:3\n"),
        Refused("long_line_counts_once", std::string(3000, 'x') + "\n:00\n", kRecordError, "Record error Line:3\n"),
        Refused("beyond_device", HexLinear(0x0800) + HexData(0x10, { 1 }), kAddressError,
            "Address error Address:8000010\n"),
        Refused("runs_off_the_end", HexLinear(0x0001) + HexData(0xFFF8, Bytes(0, 9)), kAddressError,
            "Address error Address:01FFF8\n"),
        Refused(
            "segment_beyond", HexSegment(0xF000) + HexData(0, { 1 }), kAddressError, "Address error Address:0F0000\n")),
    [](const auto& info) { return std::string(info.param.name); });

// Faults of the device, the link and the user, and what each leaves in the log and the device.
// Erased (0xFF) records read back the same whether they were written or not: only what the adapter
// reports can tell.
struct FaultCase {
    const char* name;
    Arrange arrange;
    JobResult result;
    Lines body;
    int attempts; // at the records, each shown once
    bool bErased = false; // the two records hold 0xFF bytes
    int stored = 0; // 1: the first record is in the device, 2: the second, 3: both
    int flip = -1; // a byte of them stored with bit 0 flipped
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
};

class FaultTest : public WriteJobTest, public testing::WithParamInterface<FaultCase> { };

TEST_P(FaultTest, LogAndDeviceTellWhatHappened)
{
    const FaultCase& c = GetParam();
    c.arrange(*bus, display);
    std::vector<uint8_t> data = c.bErased ? std::vector<uint8_t>(16, 0xFF) : Bytes(0, 16);
    EXPECT_EQ(Run(HexData(0x10, data) + HexData(0x20, data)), c.result);
    EXPECT_EQ(display.Body(), c.body);
    std::vector<uint8_t> memory(32, 0xFF);
    std::copy_n(data.begin(), c.stored & 1 ? 16 : 0, memory.begin());
    std::copy_n(data.begin(), c.stored & 2 ? 16 : 0, memory.begin() + 16);
    if (c.flip >= 0)
        memory[static_cast<size_t>(c.flip)] ^= 0x01;
    EXPECT_EQ(Memory(0x10, 32), memory);
    EXPECT_EQ(std::pair(bus->nLastPort, bus->nDisconnects), std::pair(3, 1));
    // The controls locked and the caption set before the first line; the times, the caption and
    // the controls back at the end, in that order.
    Lines events = display.Events();
    ASSERT_GE(events.size(), 7u);
    Lines frame { events[0], events[1], events[2].substr(0, 18), events[events.size() - 4].substr(0, 19),
        events[events.size() - 3].substr(0, 20), events[events.size() - 2], events.back() };
    EXPECT_EQ(frame,
        (Lines { "disable", "caption Stop", "log Start writing.", "log Finish writing.", "log Processing time ",
            "caption Write", "enable" }));
    EXPECT_EQ(display.Current().size(), static_cast<size_t>(c.attempts));
}

const Lines kRetried { "Verify error Address:000010\n", "Retry success Address:000010\n" };
const JobResult kWriteError = JobResult::WriteError;
constexpr bool kErased = true;

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest,
    testing::Values(FaultCase { "fails_once", [](auto& b, auto&) { b.device->AddCorrupt(0x15, 1); }, JobResult::Success,
                        kRetried, 3, !kErased, 3 },
        FaultCase { "never_verifies", [](auto& b, auto&) { b.device->AddStuck(0x12); }, kWriteError,
            FiveFailed("000010"), 5, !kErased, 1, 2 },
        FaultCase { "other_pins_erased", [](auto& b, auto&) { b.device->SetPins(kAddressMaskA0); }, kWriteError,
            FiveFailed("000010"), 5, kErased },
        FaultCase { "other_pins_erased_acks_at_stop",
            [](auto& b, auto&) { b.bDeferAcks = true, b.device->SetPins(kAddressMaskA0); }, kWriteError,
            FiveFailed("000010"), 5, kErased },
        FaultCase { "reads_fail_erased", [](auto& b, auto&) { b.bReadsFail = true; }, kWriteError, FiveFailed("000010"),
            5, kErased },
        // A millisecond a bus call: busy through the first read back and the second write, which only
        // the device's refusals can tell from a stored one.
        FaultCase { "busy_through_the_retry_erased",
            [](auto& b, auto&) {
                b.device = std::make_unique<At24Device>(b.memory.data(), [&b] { return b.nCalls * 1000; });
                b.device->SetWriteCycleUs(35000);
            },
            kWriteError, FiveFailed("000010"), 5, kErased },
        // 21 calls to write a record, 23 to read it
        FaultCase { "link_lost_after_a_record_erased", [](auto& b, auto&) { b.nCallsLeft = 44; }, kWriteError,
            FiveFailed("000020"), 6, kErased },
        FaultCase { "port_refused", [](auto& b, auto&) { b.bConnectOk = false; }, JobResult::PortOpenError,
            { "Port Open Error." }, 0 },
        FaultCase { "stopped", StopAtFirst, JobResult::Stopped, { "Stop processing." }, 1, !kErased, 1 }),
    [](const auto& info) { return std::string(info.param.name); });

// A stop asked for during the last line has nothing left to stop; one asked for during the last data
// record is honoured at the end-of-file line after it.
TEST_F(WriteJobTest, StopTakesEffectAtTheNextLineOfAnyKind)
{
    StopAtFirst(*bus, display);
    EXPECT_EQ(Run(HexData(0, { 1 })), JobResult::Success);
    EXPECT_EQ(display.Body(), Lines {});
    Display second;
    StopAtFirst(*bus, second);
    EXPECT_EQ(Run(HexData(0, { 1 }) + HexEnd()), JobResult::Stopped);
    EXPECT_EQ(second.Body(), Lines { "Stop processing." });
}

TEST_F(WriteJobTest, FileThatCannotBeReadAsTextIsRefusedWithoutBlocking)
{
    std::string fifo = dir.Path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    constexpr JobResult kOpen = JobResult::FileOpenError;
    const struct {
        std::string path;
        const char* reason;
        JobResult result = kOpen;
    } kFiles[] = { { dir.Path() + "/missing.hex", "No such file or directory" }, { dir.Path(), "is a directory" },
        { fifo, "is not a regular file" }, { "", "No such file or directory" },
        // A regular file whose first read fails: the kernel has nothing mapped at offset 0.
        { "/proc/self/mem", "Input/output error", JobResult::FileReadError } };
    for (const auto& file : kFiles) {
        Display own;
        JobSettings.HexFile = file.path;
        EXPECT_EQ(RunPath(), file.result) << file.path;
        EXPECT_EQ(own.Body(), Lines { file.result == kOpen ? "File Open Error." : "File Read Error." });
        EXPECT_EQ(JobRunState.Reason, file.path + ": " + file.reason);
    }
    EXPECT_EQ(bus->nDisconnects, 5);
}

TEST_F(WriteJobTest, WorkerThreadRoadClearsAStaleStopAndTheMark)
{
    // On a thread, and run to its end before the start returns: the mark must be set before either.
    for (WorkerLauncher launcher : { WorkerLauncher(nullptr), WorkerLauncher([](int (*routine)()) { routine(); }) }) {
        JobSettings.HexFile = dir.Write("image.hex", HexData(0, { 7 }));
        bus->memory[0] = 0xFF;
        JobRunState.StopRequest = 1; // confirmed after the previous job had ended
        SetWorkerLauncher(launcher);
        ASSERT_TRUE(StartWriteJob());
        SetWorkerLauncher(nullptr);
        for (int i = 0; i < 500 && JobRunState.WorkerThread; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ReleaseWorker();
        EXPECT_FALSE(JobRunState.WorkerThread);
        EXPECT_EQ(JobRunState.Result, JobResult::Success);
        EXPECT_EQ(bus->memory[0], 7);
    }
}

// A page at a time: the file's bytes merged within each page, split at page boundaries and at gaps,
// written over a device that holds other bytes everywhere, so that a byte written where the file has
// none shows; the log still names records.
struct PageCase {
    const char* name;
    Arrange arrange;
    JobResult result;
    Lines body = {};
    uint32_t failedPage = UINT32_MAX; // before it the file is in the device, after it nothing of it
    std::string extra = ""; // after the records
    friend void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }
};

class PageTest : public WriteJobTest, public testing::WithParamInterface<PageCase> { };

TEST_P(PageTest, PagesHoldTheFileAndNothingElse)
{
    const PageCase& c = GetParam();
    const struct {
        uint32_t address;
        uint8_t first, n;
    } kRecords[] = { { 0x00F8, 0x10, 16 }, { 0x0108, 0x20, 8 }, { 0x0120, 0x30, 16 }, { 0xFFF0, 0x40, 32 } };
    std::string text;
    std::vector<int> file(bus->memory.size(), -1);
    for (const auto& r : kRecords) {
        text += HexLinear(static_cast<uint16_t>(r.address >> 16))
            + HexData(static_cast<uint16_t>(r.address), Bytes(r.first, r.n));
        std::iota(file.begin() + r.address, file.begin() + r.address + r.n, r.first);
    }
    std::fill(bus->memory.begin(), bus->memory.end(), 0x55);
    Lines writes; // each page write the device stored: where its bytes begin, and how many
    bus->device->SetCommitHook([&writes](uint32_t first, uint32_t count) {
        char text[16];
        std::snprintf(text, sizeof text, "%04X+%u", first & 0xFFFF, count);
        writes.push_back(text);
    });
    c.arrange(*bus, display);
    EXPECT_EQ(Run(text + c.extra, PageWriteJob), c.result);
    EXPECT_EQ(display.Body(), c.body);
    size_t wrong = 0;
    for (uint32_t a = 0; a < file.size(); ++a) {
        uint32_t page = a & ~0xFFu;
        int want = page < c.failedPage && file[a] >= 0 ? file[a] : page == c.failedPage ? -1 : 0x55;
        wrong += want >= 0 && bus->memory[a] != want;
    }
    EXPECT_EQ(wrong, 0u);
    if (c.result == JobResult::Success && c.body.empty()) {
        EXPECT_EQ(writes, (Lines { "00F8+8", "0100+16", "0120+16", "FFF0+16", "0000+16" }));
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, PageTest,
    testing::Values(
        PageCase { .name = "merged_and_split", .arrange = [](auto&, auto&) {}, .result = JobResult::Success },
        PageCase { .name = "corrupt_once",
            .arrange = [](auto& b, auto&) { b.device->AddCorrupt(0x125, 1); },
            .result = JobResult::Success,
            .body = { "Verify error Address:000120\n", "Retry success Address:000120\n" } },
        PageCase { .name = "stuck_ends_the_job",
            .arrange = [](auto& b, auto&) { b.device->AddStuck(0x105); },
            .result = JobResult::WriteError,
            .body = FiveFailed("0000F8"),
            .failedPage = 0x100 },
        PageCase { .name = "never_ready",
            .arrange = [](auto& b, auto&) { b.device->SetWriteCycleUs(60000000); },
            .result = JobResult::WriteError,
            .body = FiveFailed("0000F8"),
            .failedPage = 0 },
        PageCase { .name = "stop_between_pages",
            .arrange = StopAtFirst,
            .result = JobResult::Stopped,
            .body = { "Stop processing." },
            .failedPage = 0x100 },
        PageCase { .name = "bad_record_writes_nothing",
            .arrange = [](auto&, auto&) {},
            .result = JobResult::RecordError,
            .body = { "Record error Line:9\n" },
            .failedPage = 0,
            .extra = ":0300300002337A1F\n" }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
