// The program's settings, outcomes, exit statuses and signals, as a user meets them.
#include "CliFixture.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace {

std::string Repeat(const std::string& text, int n)
{
    std::string all;
    for (int i = 0; i < n; ++i)
        all += text;
    return all;
}

// What a job of the settings and device in one row logs, returns and leaves in the EEPROM.
struct JobCase {
    const char* name;
    std::string hex;
    std::vector<std::string> args, env;
    int status;
    Lines body;
    std::string err; // stderr holds this
    std::vector<ImageBytes> image;
    friend void PrintTo(const JobCase& c, std::ostream* os) { *os << c.name; }
};

class JobTest : public CliTest, public testing::WithParamInterface<JobCase> { };

TEST_P(JobTest, LogStatusAndImage)
{
    const JobCase& c = GetParam();
    std::vector<std::string> args = c.args;
    args.push_back(dir.Write("image.hex", c.hex));
    EXPECT_EQ(Run(args, c.env), c.status) << cli.Err();
    ExpectJobBody(cli.Out(), c.body);
    EXPECT_NE(cli.Err().find(c.err), std::string::npos) << cli.Err();
    ExpectImage(c.image);
}

const std::string kTwoRecords = HexData(0x10, Bytes(0x40, 16)) + HexData(0x100, Bytes(0x80, 16)) + HexEnd();

INSTANTIATE_TEST_SUITE_P(Jobs, JobTest,
    testing::Values(JobCase { "written", kTwoRecords, {}, {}, 0, {}, "", { { 0x10, Bytes(0x40, 16) } } },
        JobCase { "upper_half_both_pins_high", HexLinear(1) + kTwoRecords, { "--a0", "high", "--a1=HIGH" },
            { "LOOPBACK_PINS=0x0C" }, 0, {}, "", { { 0x10010, Bytes(0x40, 16) }, { 0x10, Erased(16) } } },
        JobCase { "pins_the_device_does_not_answer", kTwoRecords, { "--a0", "high" }, { "LOOPBACK_PINS=0x08" }, 1,
            { "Verify error Address:000010", "Verify error Address:000010", "Verify error Address:000010",
                "Verify error Address:000010", "Verify error Address:000010", "Write error Address:000010" },
            "", { { 0x10, Erased(16) } } },
        JobCase { "highest_settings", kTwoRecords,
            {
                "--port",
                "20",
                "--wait=100",
                "--attempts",
                "20",
                "--",
            },
            {}, 0, {}, "", { { 0x100, Bytes(0x80, 16) } } },
        JobCase { "port_by_name", kTwoRecords, { "--port=com7" }, {}, 0, {}, "", {} },
        JobCase { "retried_once", kTwoRecords, {}, { "LOOPBACK_CORRUPT=0x105" }, 0,
            { "Verify error Address:000100", "Retry success Address:000100" }, "", { { 0x100, Bytes(0x80, 16) } } },
        JobCase { "never_verifies_with_seven_attempts", kTwoRecords, { "--attempts", "7" }, { "LOOPBACK_STUCK=0x1F" },
            1,
            { "Verify error Address:000010", "Verify error Address:000010", "Verify error Address:000010",
                "Verify error Address:000010", "Verify error Address:000010", "Verify error Address:000010",
                "Verify error Address:000010", "Write error Address:000010" },
            "", { { 0x100, Erased(16) } } },
        JobCase { "port_open_error_with_reason", kTwoRecords, {}, { "LOOPBACK_CONNECT=0" }, 1, { "Port Open Error." },
            "loopback: connect refused by LOOPBACK_CONNECT=0\n", { { 0x10, Erased(16) } } },
        JobCase { "record_error", HexData(0, { 1 }) + ":10000000\n" + HexData(2, { 3 }), {}, {}, 1,
            { "Record error Line:2" }, "", { { 0, { 1, 0xFF, 0xFF } } } },
        JobCase {
            "address_error", HexLinear(2) + HexData(0, { 1 }), {}, {}, 1, { "Address error Address:020000" }, "", {} },
        JobCase { "no_data_records", Repeat("; nothing\n", 3) + HexEnd(), {}, {}, 0, {},
            "image.hex holds no data records; nothing was written\n", {} }),
    [](const auto& info) { return std::string(info.param.name); });

// Command lines that must be refused before anything is loaded or written.
struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    const char* reason;
    friend void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }
};

class UsageTest : public CliTest, public testing::WithParamInterface<UsageCase> { };

TEST_P(UsageTest, RefusedWithUsageOnStderr)
{
    // A missing library would give 3: 2 shows the command line was refused first.
    EXPECT_EQ(Run(GetParam().args, { "AT24WRITER_I2C_LIBRARY=/nonexistent/libi2cadapter.so" }), 2);
    EXPECT_EQ(cli.Out(), "");
    EXPECT_NE(cli.Err().find(std::string("at24writer-cli: ") + GetParam().reason + "\nUsage: at24writer-cli"),
        std::string::npos)
        << cli.Err();
}

INSTANTIATE_TEST_SUITE_P(CommandLines, UsageTest,
    testing::Values(UsageCase { "nothing", {}, "no HEX file given" },
        UsageCase { "two_files", { "a.hex", "b.hex" }, "more than one HEX file given" },
        UsageCase { "empty_path", { "" }, "Specify the HEX file" },
        UsageCase { "port_0", { "--port", "0", "a.hex" }, "--port takes 1 to 20 or COM1 to COM20, not \"0\"" },
        UsageCase { "port_21", { "--port=COM21", "a.hex" }, "--port takes 1 to 20 or COM1 to COM20, not \"COM21\"" },
        UsageCase { "port_name", { "--port", "/dev/ttyUSB0", "a.hex" },
            "--port takes 1 to 20 or COM1 to COM20, not \"/dev/ttyUSB0\"" },
        UsageCase { "wait_4", { "--wait", "4", "a.hex" }, "--wait takes 5 to 100, not \"4\"" },
        UsageCase { "wait_101", { "--wait", "101", "a.hex" }, "--wait takes 5 to 100, not \"101\"" },
        UsageCase { "wait_with_unit", { "--wait", "5ms", "a.hex" }, "--wait takes 5 to 100, not \"5ms\"" },
        UsageCase { "wait_negative", { "--wait=-5", "a.hex" }, "--wait takes 5 to 100, not \"-5\"" },
        UsageCase { "attempts_4", { "--attempts", "4", "a.hex" }, "--attempts takes 5 to 20, not \"4\"" },
        UsageCase { "attempts_21", { "--attempts", "21", "a.hex" }, "--attempts takes 5 to 20, not \"21\"" },
        UsageCase { "pin_word", { "--a0", "up", "a.hex" }, "--a0 takes low or high, not \"up\"" },
        UsageCase { "pin_number", { "--a1", "1", "a.hex" }, "--a1 takes low or high, not \"1\"" },
        UsageCase { "value_missing", { "a.hex", "--attempts" }, "--attempts needs a value: 5 to 20" },
        UsageCase { "unknown_option", { "--speed", "9", "a.hex" }, "unknown option --speed" },
        UsageCase { "list_ports_with_file", { "--list-ports", "a.hex" }, "--list-ports takes no FILE" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, HelpGoesToStdout)
{
    EXPECT_EQ(Run({ "--help" }), 0);
    EXPECT_EQ(cli.Out().rfind("Usage: at24writer-cli", 0), 0u);
    EXPECT_EQ(cli.Err(), "");
}

// Adapter libraries the program cannot bind: it ends before any job.
struct LibraryCase {
    const char* name;
    std::string library;
    std::vector<std::string> args;
    int status;
    const char* err;
    friend void PrintTo(const LibraryCase& c, std::ostream* os) { *os << c.name; }
};

class LibraryTest : public CliTest, public testing::WithParamInterface<LibraryCase> { };

TEST_P(LibraryTest, StatusAndMessage)
{
    const LibraryCase& c = GetParam();
    std::vector<std::string> args = c.args;
    if (args.empty())
        args.push_back(dir.Write("image.hex", HexData(0, { 1 })));
    EXPECT_EQ(Run(args, { "AT24WRITER_I2C_LIBRARY=" + c.library }), c.status);
    EXPECT_NE(cli.Err().find(c.err), std::string::npos) << cli.Err();
    EXPECT_EQ(cli.Out(), "");
    ExpectImage({ { 0, Erased(1) } });
}

INSTANTIATE_TEST_SUITE_P(Libraries, LibraryTest,
    testing::Values(LibraryCase { "missing", "/nonexistent/libi2cadapter.so", {}, 3, "DLL Error(i2c.dll)\n" },
        LibraryCase { "lacks_an_entry_point", PARTIAL_LIBRARY, {}, 3, "DLL Error(i2c.dll)\n" },
        LibraryCase { "not_a_library", CLI_PROGRAM, {}, 3, "DLL Error(i2c.dll)\n" },
        LibraryCase {
            "missing_when_listing", "/nonexistent/libi2cadapter.so", { "--list-ports" }, 3, "DLL Error(i2c.dll)\n" },
        LibraryCase { "cannot_list_ports", LOOPBACK_LIBRARY, { "--list-ports" }, 1, "has no i2c_port_name" }),
    [](const auto& info) { return std::string(info.param.name); });

#ifdef ADAPTER_LIBRARY
TEST_F(CliTest, ListPortsShowsWhatEachPortStandsFor)
{
    std::string link = dir.Path() + "/bus pirate";
    ASSERT_TRUE(Start({ "--list-ports" },
        { std::string("AT24WRITER_I2C_LIBRARY=") + ADAPTER_LIBRARY, "I2CADAPTER_COM3=" + link,
            "I2CADAPTER_COM20=/dev/ttyACM7" }));
    EXPECT_EQ(cli.Wait(), 0) << cli.Err();
    EXPECT_NE(cli.Out().find("COM3 " + link + "\n"), std::string::npos) << cli.Out();
    EXPECT_NE(cli.Out().find("COM20 /dev/ttyACM7\n"), std::string::npos) << cli.Out();
}
#endif

TEST_F(CliTest, VerboseShowsEveryRecordOnStderr)
{
    std::string hex = HexLinear(1) + HexData(0xFFF0, { 0xDE, 0xAD }) + HexData(0, Bytes(0, 4));
    EXPECT_EQ(Run({ "-v", dir.Write("image.hex", hex) }), 0);
    EXPECT_EQ(cli.Err(), "01FFF0 : DEAD84\n010000 : 00010203F6\n");
}

TEST_F(CliTest, VerboseOnATerminalKeepsOneProgressLine)
{
    std::string hex;
    for (uint16_t offset = 0; offset < 0x1000; offset += 16)
        hex += HexData(offset, Bytes(static_cast<uint8_t>(offset), 16));
    ASSERT_TRUE(Start({ "--verbose", dir.Write("image.hex", hex) }, {}, true));
    EXPECT_EQ(cli.Wait(), 0);
    ExpectJobBody(cli.Out(), {});
    const std::string& err = cli.Err();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 0);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\r'), 256 + 1); // drawn per record, cleared once
    EXPECT_NE(err.find("\r\x1b[K000FF0 : "), std::string::npos);
    EXPECT_EQ(err.substr(err.size() - 4), "\r\x1b[K");
}

// Stop signals while a record is being written: the first stops the job at its next line, the
// second ends the program at once.
struct SignalCase {
    const char* name;
    int signo;
    int count;
    int status;
    bool bClosed; // the job reached its closing lines
    friend void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }
};

class SignalTest : public CliTest, public testing::WithParamInterface<SignalCase> { };

TEST_P(SignalTest, StopsOrEnds)
{
    const SignalCase& c = GetParam();
    std::string hex;
    for (uint16_t offset = 0; offset < 0x400; offset += 16)
        hex += HexData(offset, Bytes(0, 16));
    // Each record takes about a second, so every signal lands inside the first one.
    // ThreadSanitizer's _exit sleeps a second and reports the abandoned worker, which is the point here.
    const char* pszTsan = std::getenv("TSAN_OPTIONS");
    std::string tsan
        = std::string("TSAN_OPTIONS=") + (pszTsan ? pszTsan : "") + " atexit_sleep_ms=0 report_thread_leaks=0";
    ASSERT_TRUE(Start({ "-v", dir.Write("image.hex", hex) }, { "LOOPBACK_DELAY_MS=500", tsan }));
    ASSERT_TRUE(cli.WaitFor("000000 : ", true));
    for (int i = 0; i < c.count; ++i) {
        cli.Signal(c.signo);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(cli.Wait(), c.status);
    if (c.bClosed)
        ExpectJobBody(cli.Out(), { "Stop processing." });
    else
        EXPECT_TRUE(cli.Out().find('\n') == cli.Out().size() - 1 && cli.Out().rfind("Start writing.", 0) == 0)
            << cli.Out();
    ExpectImage({ { 0x10, Erased(16) } });
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalTest,
    testing::Values(SignalCase { "sigint_once", SIGINT, 1, 1, true },
        SignalCase { "sigint_twice", SIGINT, 2, 130, false }, SignalCase { "sigterm_once", SIGTERM, 1, 1, true },
        SignalCase { "sigterm_twice", SIGTERM, 2, 143, false }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
