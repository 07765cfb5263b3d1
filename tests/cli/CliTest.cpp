// at24writer-cli as a process on the loopback adapter library: what reaches stdout, stderr, the exit status and
// the EEPROM from command lines, files handed over by mistake, progress and stop signals.
#include "ChildProcess.h"
#include "HexBuilder.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace {

const std::vector<uint8_t> kData { 0xDE, 0xAD, 0xBE, 0xEF, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 };
const std::string kRecords = HexData(0x20, kData) + HexData(0x30, kData);

struct Case {
    const char* name;
    std::function<std::string()> text = nullptr; // of the file given last
    std::vector<std::string> args = {}; // NAME=value goes to the environment; DIR is the test's folder
    int status = 0;
    std::string out = "", err = ""; // regular expressions found in stdout and stderr
    bool bWritten = false; // the EEPROM holds the records at 0x20; else it holds nothing
    std::vector<int> signals = {}; // sent one by one once the record at 0x20 shows
    enum { File, Pipe, Tty } stderrOn = File; // where stderr goes
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

class CliTest : public testing::TestWithParam<Case> { };

TEST_P(CliTest, StatusOutputAndImage)
{
    const Case& c = GetParam();
    TempDir dir;
    // Every file in a folder with blanks and UTF-8 in its name, its path longer than 259 characters.
    std::string path = dir.Path() + "/my files/Prüfung データ/" + std::string(250, 'd') + "/a 1.hex";
    std::vector<std::string> args { CLI_PROGRAM },
        env { std::string("AT24WRITER_I2C_LIBRARY=") + LOOPBACK_LIBRARY,
            "LOOPBACK_IMAGE=" + dir.Path() + "/eeprom.bin" };
    for (const std::string& arg : c.args)
        (std::regex_match(arg, std::regex("[A-Z0-9_]+=.*")) ? env : args)
            .push_back(arg.rfind("DIR", 0) == 0 ? dir.Path() + arg.substr(3) : arg);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (c.text) {
        std::ofstream(path) << c.text();
        args.push_back(path);
    }
    int fds[2] = { -1, -1 }; // what the child's stderr writes to: read end, write end
    if (c.stderrOn == Case::Pipe)
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    else if (c.stderrOn == Case::Tty && ::grantpt(fds[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) == 0
        && ::unlockpt(fds[0]) == 0)
        fds[1] = ::open(::ptsname(fds[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ChildProcess cli;
    ASSERT_TRUE(cli.Start(args, env, fds[1]));
    ::close(fds[1]);
    for (size_t i = 0; i < c.signals.size() && cli.WaitFor("000020 : "); ++i, ::usleep(50000))
        cli.Signal(c.signals[i]);
    EXPECT_EQ(cli.Wait(), c.status) << cli.Err();
    std::string out = cli.Out(), err = cli.Err();
    char buffer[4096];
    for (ssize_t n; fds[0] >= 0 && (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) // until no writer is left
        err.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    EXPECT_TRUE(std::regex_search(out, std::regex(c.out))) << out;
    EXPECT_TRUE(std::regex_search(err, std::regex(c.err))) << err;
    std::vector<uint8_t> image(0x20000, 0xFF), want = image;
    std::ifstream(dir.Path() + "/eeprom.bin").read(reinterpret_cast<char*>(image.data()), 0x20000);
    for (uint32_t at : { 0x20, 0x30 })
        std::copy_n(kData.begin(), c.bWritten ? 16 : 0, want.begin() + at);
    EXPECT_TRUE(image == want) << "the EEPROM holds other than the records at 0x20";
}

const auto kHex = [] { return kRecords + HexEnd(); };
// A record a second, the first of them erased bytes: written or not, the EEPROM looks the same.
const auto kSlow = [] { return HexData(0x20, std::vector<uint8_t>(16, 0xFF)) + kRecords; };
const std::string kAdapter = std::string("AT24WRITER_I2C_LIBRARY=") + ADAPTER_LIBRARY;

INSTANTIATE_TEST_SUITE_P(Cases, CliTest,
    testing::Values(Case { .name = "verbose_pipe",
                        .text = kHex,
                        .args = { "-v" },
                        .err = "^(0000[23]0 : [0-9A-F]{34}\n){2}$",
                        .bWritten = true,
                        .stderrOn = Case::Pipe },
        Case { .name = "verbose_tty",
            .text = kHex,
            .args = { "-v" },
            .err = R"(^(\r\x1b\[K *\d+% \d+ of 32 B  0000[23]0 : \w+)+\r\x1b\[K$)",
            .bWritten = true,
            .stderrOn = Case::Tty },
        Case { .name = "read_progress_tty",
            .args = { "--read", "DIR/chip.bin", "--length", "12000" },
            .err = R"(^(\r\x1b\[K *\d+% [\d.]+ of 11.7 KiB[^\r]*)+\r\x1b\[K$)",
            .stderrOn = Case::Tty },
        Case { .name = "sigint_once",
            .text = kSlow,
            .args = { "-v", "LOOPBACK_DELAY_MS=500" },
            .status = 1,
            .out = "\nStop processing\\.\n",
            .signals = { SIGINT } },
        Case { .name = "sighup_once",
            .text = kSlow,
            .args = { "-v", "LOOPBACK_DELAY_MS=500" },
            .status = 1,
            .out = "\nStop processing\\.\n",
            .signals = { SIGHUP } },
        Case { .name = "sigint_twice",
            .text = kSlow,
            .args = { "-v", "LOOPBACK_DELAY_MS=500" },
            .status = 130,
            .out = "^Start writing[^\n]*\n$",
            .signals = { SIGINT, SIGINT } },
        Case { .name = "highest",
            .text = kHex,
            .args = { "--a0=high", "--a1=HIGH", "--port=com20", "--wait=100", "--attempts=20", "LOOPBACK_PINS=12" },
            .err = "^$",
            .bWritten = true },
        Case { .name = "other_pins_seven_attempts",
            .text = kHex,
            .args = { "--a0", "high", "--attempts", "7", "LOOPBACK_PINS=8" },
            .status = 1,
            .out = R"(\)\n(Verify error Address:000020\n){7}Write error Address:000020\nFinish)" },
        Case { .name = "missing",
            .args = { "/nonexistent/a.hex" },
            .status = 1,
            .out = "File Open Error",
            .err = "^at24writer-cli: /nonexistent/a.hex: No such file or directory\n$" },
        Case { .name = "binary",
            .text = [] { return "\177ELF" + std::string(1 << 20, '\0'); },
            .err = "holds no data records" },
        Case { .name = "50MB_without_newline",
            .text = [] { return ":" + std::string(50 << 20, '0'); },
            .status = 1,
            .out = "Record error Line:1" },
        Case { .name = "library_missing",
            .text = kHex,
            .args = { "AT24WRITER_I2C_LIBRARY=/nonexistent/lib.so" },
            .status = 3,
            .out = "^$",
            .err = "^DLL Error\\(i2c\\.dll\\)\nat24writer-cli: /nonexistent/lib.so: cannot open shared object file" },
        Case { .name = "list_ports",
            .args = { "--list-ports", kAdapter, "I2CADAPTER_COM3=/a b", "I2CADAPTER_COM20=/dev/x" },
            .out = "(^|\n)COM3 /a b\n([^\n]*\n)*COM20 /dev/x\n$" },
        Case { .name = "binary_beyond_the_device",
            .text = [] { return std::string(0x100, 'x'); },
            .args = { "--binary", "--offset", "0x1FF01" },
            .status = 1,
            .err = "^at24writer-cli: [^\n]*: 256 bytes from 0x1FF01 do not fit the EEPROM's 131072\n$" }),
    [](const auto& info) { return std::string(info.param.name); });

// Command lines refused before anything is loaded or run: the reason, then the usage, and status 2.
TEST(CliUsageTest, RefusedWithTheReasonAndTheUsage)
{
    const std::pair<std::vector<std::string>, std::string> kRefused[] = {
        { {}, "no HEX file given" },
        { { "--port", "0", "a" }, "--port takes 1 to 20 or COM1 to COM20, not \"0\"" },
        { { "--port=COM21", "a" }, "--port takes 1 to 20 or COM1 to COM20, not \"COM21\"" },
        { { "--wait", "4", "a" }, "--wait takes 5 to 100, not \"4\"" },
        { { "--wait", "101", "a" }, "--wait takes 5 to 100, not \"101\"" },
        { { "--wait", "5ms", "a" }, "--wait takes 5 to 100, not \"5ms\"" },
        { { "--attempts", "4", "a" }, "--attempts takes 5 to 20, not \"4\"" },
        { { "--attempts", "21", "a" }, "--attempts takes 5 to 20, not \"21\"" },
        { { "--a0", "up", "a" }, "--a0 takes low or high, not \"up\"" },
        { { "a", "--attempts" }, "--attempts needs a value: 5 to 20" },
        { { "--speed", "9", "a" }, "unknown option --speed" },
        { { "--verify", "--binary", "a" }, "--verify takes a file name, not \"--binary\"" },
        { { "--offset", "16", "a.hex" }, "--offset places a binary image \\(--binary\\) or starts a read" },
        { { "--read", "a", "--offset", "0x1FFFF", "--length", "2" },
            "--offset and --length reach beyond the EEPROM's 131072 bytes" },
        { { "--list-ports", "a" }, "--list-ports takes no FILE" },
    };
    for (const auto& [args, reason] : kRefused) {
        std::vector<std::string> argv { CLI_PROGRAM };
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess cli;
        ASSERT_TRUE(cli.Start(argv, { "AT24WRITER_I2C_LIBRARY=/nonexistent/lib.so" }));
        EXPECT_EQ(cli.Wait(), 2) << reason;
        EXPECT_EQ(cli.Out(), "");
        EXPECT_TRUE(std::regex_search(cli.Err(), std::regex("^at24writer-cli: " + reason + "\nUsage: "))) << cli.Err();
    }
}

} // namespace
