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
    std::function<std::string()> text; // of the file given last; FIFO makes a FIFO, SECRET a file nobody may read
    std::vector<std::string> args; // NAME=value goes to the environment; DIR is the test's folder
    int status;
    std::string out, err = ""; // regular expressions found in stdout and stderr
    bool bWritten = false; // the EEPROM holds the records at 0x20; else it holds nothing
    int sigints = 0; // sent once the record at 0x20 shows
    enum { File, Pipe, Tty } stderrOn = File; // where stderr goes
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

class CliTest : public testing::TestWithParam<Case> { };

TEST_P(CliTest, StatusOutputAndImage)
{
    const Case& c = GetParam();
    bool bRefused = c.status == 2 || c.status == 3; // before any job: a usage error, or no library
    TempDir dir;
    // Every file in a folder with blanks and UTF-8 in its name, its path longer than 259 characters.
    std::string path = dir.Path() + "/my files/Prüfung データ/" + std::string(250, 'd') + "/a 1.hex";
    std::vector<std::string> args { CLI_PROGRAM },
        env { std::string("AT24WRITER_I2C_LIBRARY=") + (bRefused ? "/nonexistent/lib.so" : LOOPBACK_LIBRARY),
            "LOOPBACK_IMAGE=" + dir.Path() + "/eeprom.bin" };
    for (const std::string& arg : c.args)
        (std::regex_match(arg, std::regex("[A-Z0-9_]+=.*")) ? env : args).push_back(arg == "DIR" ? dir.Path() : arg);
    std::string text = c.text ? c.text() : "";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (c.text && (text != "FIFO" || ::mkfifo(path.c_str(), 0600) != 0)) // a FIFO, or else a file
        std::ofstream(path) << text;
    if (text == "SECRET" && (::geteuid() == 0 || ::chmod(path.c_str(), 0) != 0))
        GTEST_SKIP() << "root reads every file";
    if (c.text)
        args.push_back(path);
    int fds[2] = { -1, -1 }; // what the child's stderr writes to: read end, write end
    if (c.stderrOn == Case::Pipe)
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    else if (c.stderrOn == Case::Tty && ::grantpt(fds[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) == 0
        && ::unlockpt(fds[0]) == 0)
        fds[1] = ::open(::ptsname(fds[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ChildProcess cli;
    ASSERT_TRUE(cli.Start(args, env, fds[1]));
    ::close(fds[1]);
    for (int i = 0; i < c.sigints && cli.WaitFor("000020 : "); ++i, ::usleep(50000))
        cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(), c.status) << cli.Err();
    std::string out = cli.Out(), err = cli.Err();
    char buffer[4096];
    for (ssize_t n; fds[0] >= 0 && (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) // until no writer is left
        err.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    EXPECT_TRUE(std::regex_search(out, std::regex(bRefused ? "^$" : c.out))) << out;
    EXPECT_TRUE(std::regex_search(err, std::regex(c.status == 2 ? c.err + "\nUsage: " : c.err))) << err;
    std::vector<uint8_t> image(0x20000, 0xFF), want = image;
    std::ifstream(dir.Path() + "/eeprom.bin").read(reinterpret_cast<char*>(image.data()), 0x20000);
    for (uint32_t at : { 0x20, 0x30 })
        std::copy_n(kData.begin(), c.bWritten ? 16 : 0, want.begin() + at);
    EXPECT_TRUE(image == want) << "the EEPROM holds other than the records at 0x20";
}

const auto kHex = [] { return kRecords + HexEnd(); };
// A record a second, the first of them erased bytes: written or not, the EEPROM looks the same.
const auto kSlow = [] { return HexData(0x20, std::vector<uint8_t>(16, 0xFF)) + kRecords; };
const auto kChatty = [] { return std::regex_replace(std::string(200000, '\n'), std::regex("\n"), ";c\n") + kRecords; };
const auto kDos = [] { return std::regex_replace(kHex(), std::regex("\n"), "\r\n") + "\x1A" + HexData(0, kData); };
const std::string kAdapter = std::string("AT24WRITER_I2C_LIBRARY=") + ADAPTER_LIBRARY;

INSTANTIATE_TEST_SUITE_P(Cases, CliTest,
    testing::Values(
        Case { "verbose_pipe", kHex, { "-v" }, 0, "", "^(0000[23]0 : [0-9A-F]{34}\n){2}$", true, 0, Case::Pipe },
        Case { "verbose_tty", kHex, { "-v" }, 0, "", R"(^(\r\x1b\[K0000.0 : \w+){2}\r\x1b\[K$)", true, 0, Case::Tty },
        Case { "sigint_once", kSlow, { "-v", "LOOPBACK_DELAY_MS=500" }, 1, "\nStop processing\\.\n", "", false, 1 },
        Case { "sigint_twice", kSlow, { "-v", "LOOPBACK_DELAY_MS=500" }, 130, "^Start writing[^\n]*\n$", "", false, 2 },
        Case { "highest", kHex,
            { "--a0=high", "--a1=HIGH", "--port=com20", "--wait=100", "--attempts=20", "LOOPBACK_PINS=12" }, 0, "",
            "^$", true },
        Case { "other_pins_seven_attempts", kHex, { "--a0", "high", "--attempts", "7", "LOOPBACK_PINS=8" }, 1,
            R"(\)\n(Verify error Address:000020\n){7}Write error Address:000020\nFinish)" },
        Case { "port_open_error", kHex, { "LOOPBACK_CONNECT=0" }, 1, "\nPort Open Error\\.\n", "^loopback: connect" },
        Case { "missing", nullptr, { "/nonexistent/a.hex" }, 1, "File Open Error", "a.hex: No such file or directory" },
        Case { "directory", nullptr, { "DIR" }, 1, "File Open Error", ": is a directory" },
        Case { "unreadable", [] { return std::string("SECRET"); }, {}, 1, "File Open Error", "Permission denied" },
        Case { "fifo", [] { return std::string("FIFO"); }, {}, 1, "File Open Error", "a 1.hex: is not a regular file" },
        Case { "device_file", nullptr, { "/dev/zero" }, 1, "File Open Error", "/dev/zero: is not a regular file" },
        Case { "binary", [] { return "\177ELF" + std::string(1 << 20, '\0'); }, {}, 0, "", "holds no data records" },
        Case { "50MB_without_newline", [] { return ":" + std::string(50 << 20, '0'); }, {}, 1, "Record error Line:1" },
        Case { "200000_comment_lines", kChatty, {}, 0, "", "", true },
        Case { "crlf_and_ctrl_z", kDos, {}, 0, "", "", true },
        Case { "library_missing", kHex, {}, 3, "", "^DLL Error\\(i2c\\.dll\\)\n$" },
        Case { "list_ports", nullptr, { "--list-ports", kAdapter, "I2CADAPTER_COM3=/a b", "I2CADAPTER_COM20=/dev/x" },
            0, "(^|\n)COM3 /a b\n([^\n]*\n)*COM20 /dev/x\n$" },
        Case { "no_file", nullptr, {}, 2, "", "^at24writer-cli: no HEX file given" },
        Case { "port_0", nullptr, { "--port", "0", "a" }, 2, "", "--port takes 1 to 20 or COM1 to COM20, not \"0\"" },
        Case { "port_21", nullptr, { "--port=COM21", "a" }, 2, "",
            "--port takes 1 to 20 or COM1 to COM20, not \"COM21\"" },
        Case { "wait_4", nullptr, { "--wait", "4", "a" }, 2, "", "--wait takes 5 to 100, not \"4\"" },
        Case { "wait_101", nullptr, { "--wait", "101", "a" }, 2, "", "--wait takes 5 to 100, not \"101\"" },
        Case { "wait_unit", nullptr, { "--wait", "5ms", "a" }, 2, "", "--wait takes 5 to 100, not \"5ms\"" },
        Case { "attempts_4", nullptr, { "--attempts", "4", "a" }, 2, "", "--attempts takes 5 to 20, not \"4\"" },
        Case { "attempts_21", nullptr, { "--attempts", "21", "a" }, 2, "", "--attempts takes 5 to 20, not \"21\"" },
        Case { "pin_word", nullptr, { "--a0", "up", "a" }, 2, "", "--a0 takes low or high, not \"up\"" },
        Case { "value_missing", nullptr, { "a", "--attempts" }, 2, "", "--attempts needs a value: 5 to 20" },
        Case { "unknown_option", nullptr, { "--speed", "9", "a" }, 2, "", "unknown option --speed" },
        Case { "list_ports_with_file", nullptr, { "--list-ports", "a" }, 2, "", "--list-ports takes no FILE" }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
