// The whole road: at24writer-cli, libi2cadapter.so and at24sim on a real pseudo-terminal, in both transfer
// modes of the library, with the faults a bench meets. Each job's log is held against the device's image.
#include "ChildProcess.h"
#include "WriteOracle.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>
#include <random>

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// at24sim on a pseudo-terminal at the folder's "link", its EEPROM in the folder's "eeprom.bin".
bool StartSim(ChildProcess& sim, const TempDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), { SIM_PROGRAM, "--link", dir.Path() + "/link", "--image", dir.Path() + "/eeprom.bin" });
    return sim.Start(args) && sim.WaitFor("ready ");
}

struct Road {
    const char* name;
    uint32_t address, size; // of random bytes in 16-byte records
    std::vector<std::string> pins, faults; // for at24sim and the writer alike; for at24sim alone
    std::string log; // regular expression for the lines between the start line and the closing lines
    const char* err = ""; // found in stderr
    uint32_t erasedFrom = UINT32_MAX; // the bytes from this offset on are 0xFF, as padding leaves them
    friend void PrintTo(const Road& road, std::ostream* os) { *os << road.name; }
};

struct Mode {
    const char* name;
    std::string pipeline; // I2CADAPTER_PIPELINE
    std::vector<std::string> sim;
    friend void PrintTo(const Mode& mode, std::ostream* os) { *os << mode.name; }
};

using Param = std::tuple<Road, Mode>;

class EndToEnd : public testing::TestWithParam<Param> { };

TEST_P(EndToEnd, Road)
{
    const auto& [road, mode] = GetParam();
    TempDir dir;
    std::mt19937 random(road.size); // the same file on every run
    WrittenFile file { road.address, std::vector<uint8_t>(road.size) };
    std::generate(file.data.begin(), file.data.end(), [&] { return static_cast<uint8_t>(random()); });
    std::fill(file.data.begin() + std::min(road.erasedFrom, road.size), file.data.end(), 0xFF);
    std::vector<std::string> simArgs { "--stats" }, argv { CLI_PROGRAM };
    for (const auto* args : { &road.pins, &road.faults, &mode.sim })
        simArgs.insert(simArgs.end(), args->begin(), args->end());
    ChildProcess sim, cli;
    ASSERT_TRUE(StartSim(sim, dir, simArgs)) << sim.Err();
    argv.insert(argv.end(), road.pins.begin(), road.pins.end());
    argv.push_back(dir.Write("image.hex", file.Hex()));
    ASSERT_TRUE(cli.Start(argv, { "I2CADAPTER_PIPELINE=" + mode.pipeline, "I2CADAPTER_COM1=" + dir.Path() + "/link" }));
    int status = cli.Wait((60 + road.size / 256) * 1000);
    ASSERT_NE(status, ChildProcess::kTimedOut) << "still running:\n" << cli.Out();
    EXPECT_NE(cli.Err().find(road.err), std::string::npos) << cli.Err();
    std::string out = cli.Out();
    EXPECT_TRUE(std::regex_search(out, std::regex(R"(^Start writing[^\n]*\n)" + road.log + "Finish"))) << out;
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(5000), 0);
    EXPECT_EQ(sim.Out().find("overrun"), std::string::npos) << sim.Out(); // it would hang a real v3 for good
    for (const std::string& wrong : file.Check(out, status, dir.Path() + "/eeprom.bin"))
        ADD_FAILURE() << wrong << "\n" << out;
}

const std::string kVerifyErrors = R"((Verify error Address:\w{6}\n){5}Write error Address:\w{6}\n)";
const std::string kRetries = R"(((Verify error Address:\w{6}\n)+Retry success Address:\w{6}\n)*)";

const Road kRoads[] = {
    { "upper_half_both_pins_high", 0x10000, 0x10000, { "--a0", "high", "--a1", "high" }, {}, "" },
    { "a0_pin_high_top_of_device", 0x1FE00, 0x200, { "--a0", "high" }, {}, "" },
    { "a1_pin_high_across_64k", 0xFF00, 0x200, { "--a1", "high" }, {}, "" },
};

// Also on a v3 whose receive FIFO holds only 4 bytes: the library must never overrun it.
const Road kFifoRoads[] = {
    { "full_image", 0, 0x20000, {}, {}, "" },
    { "fails_once", 0, 0x200, {}, { "--corrupt", "0x125" },
        "Verify error Address:000120\nRetry success Address:000120\n" },
    { "never_verifies", 0, 0x200, {}, { "--stuck", "0x125" },
        "(Verify error Address:000120\n){5}Write error Address:000120\n" },
    { "busy_longer_than_wait", 0, 0x200, {}, { "--write-cycle-ms", "12" }, kRetries + "(" + kVerifyErrors + ")?", "",
        0 },
    // Erased bytes read back as 0xFF whether they were written or not: only acknowledges tell.
    { "erased_other_pins", 0, 0x200, {}, { "--a0", "high" }, kVerifyErrors, "", 0 },
    { "erased_no_device", 0, 0x200, {}, { "--no-device" }, kVerifyErrors, "", 0 },
    { "unplugged", 0, 0x1000, {}, { "--hangup-after", "3000" }, kVerifyErrors, "unplugged", 0x200 },
    { "stops_answering", 0, 0x1000, {}, { "--mute-after", "3000" }, kVerifyErrors, "stopped answering", 0x200 },
    { "no_pullups", 0, 0x200, {}, { "--no-pullups" }, "Port Open Error\\.\n", "pull-ups" },
};

const Mode kModes[] = { { "pipelined", "1", {} }, { "byte_by_byte", "0", {} },
    { "pipelined_rx_fifo_4", "1", { "--rx-fifo", "4" } }, { "byte_by_byte_rx_fifo_4", "0", { "--rx-fifo", "4" } } };

// Files as people have them and the jobs beyond writing, through the whole road. What the device must
// hold, and what a read must give, is what srec_cat makes of the files, never our own reading of them.
struct Session {
    const char* name;
    std::string text = ""; // of FILE, given to the writer
    std::vector<std::string> args = { "FILE" }; // FILE, OUT and IMAGE are paths in the test's folder
    std::vector<std::string> image = {}; // srec_cat's input for the device's image at the start; else erased
    std::vector<std::string> sim = {};
    int status = 0;
    std::string log = ""; // between the start line and the closing lines
    std::vector<std::string> meaning = { "FILE", "-intel" }; // srec_cat's input for the image at the end
    std::vector<std::string> out = {}; // srec_cat's arguments that make what OUT must hold; {}: no OUT
    std::string plain = ""; // what srec_cat reads in FILE's place, when it cannot read FILE
    bool bClosedOutput = false; // the writer starts with descriptors 0 and 1 closed
    bool bOutFolder = false; // OUT is a folder already
    friend void PrintTo(const Session& session, std::ostream* os) { *os << session.name; }
};

class Sessions : public testing::TestWithParam<Session> { };

TEST_P(Sessions, DeviceAndFilesAreWhatSrecCatSays)
{
    const Session& c = GetParam();
    TempDir dir;
    std::string outPath;
    auto path = [&](const std::string& arg) {
        for (const char* name : { "FILE", "PLAIN", "OUT", "IMAGE" })
            if (arg.rfind(name, 0) == 0)
                return dir.Path() + "/" + (arg.rfind("IMAGE", 0) == 0 ? "eeprom.bin" : arg);
        return arg;
    };
    auto srec = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv { SREC_CAT };
        for (const std::string& arg : args)
            argv.push_back(path(arg == "FILE" && !c.plain.empty() ? "PLAIN" : arg));
        ChildProcess process;
        EXPECT_TRUE(process.Start(argv) && process.Wait() == 0) << process.Err();
    };
    // A whole image of 0xFF and what args put into it.
    auto image = [&](std::vector<std::string> args, const std::string& file) {
        args.insert(args.begin(), "(");
        args.insert(args.end(), { ")", "-fill", "0xFF", "0", "0x20000", "-o", dir.Path() + "/" + file, "-binary" });
        srec(args);
    };
    std::ofstream(path("FILE"), std::ios::binary) << c.text;
    std::ofstream(path("PLAIN"), std::ios::binary) << c.plain;
    if (!c.image.empty())
        image(c.image, "eeprom.bin");

    if (c.bOutFolder)
        std::filesystem::create_directory(dir.Path() + "/OUT");
    ChildProcess sim, cli;
    ASSERT_TRUE(StartSim(sim, dir, c.sim)) << sim.Err();
    std::string before = Slurp(path("IMAGE"));
    std::vector<std::string> argv { CLI_PROGRAM };
    for (const std::string& arg : c.args) {
        argv.push_back(path(arg));
        outPath = arg.rfind("OUT", 0) == 0 ? argv.back() : outPath;
    }
    cli.bCloseInputAndOutput = c.bClosedOutput;
    ASSERT_TRUE(cli.Start(argv, { "I2CADAPTER_COM1=" + dir.Path() + "/link" }));
    EXPECT_EQ(cli.Wait(60000), c.status) << cli.Err();
    std::string log = R"(Start \w+ing\. \([\d:]{8}\)\n)" + c.log + R"(Finish \w+ing[^\n]*\nProcessing time[^\n]*\n)";
    EXPECT_TRUE(c.bClosedOutput || std::regex_match(cli.Out(), std::regex(log))) << cli.Out();
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(5000), 0);

    // A job that writes nothing leaves the device as it found it.
    if (c.meaning.empty()) {
        EXPECT_TRUE(Slurp(path("IMAGE")) == before);
    } else {
        image(c.meaning, "want.bin");
        EXPECT_TRUE(Slurp(path("IMAGE")) == Slurp(dir.Path() + "/want.bin"));
    }
    if (!c.out.empty()) {
        std::vector<std::string> args = c.out;
        args.insert(std::find(args.begin(), args.end(), "-o") + 1, dir.Path() + "/want.out");
        srec(args);
        EXPECT_TRUE(Slurp(outPath) == Slurp(dir.Path() + "/want.out"));
    }
    // Nothing half-made is left in the folder: a read that failed leaves no file at all.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_TRUE(
            std::regex_match(entry.path().filename().string(), std::regex("FILE|PLAIN|OUT.*|eeprom.bin|want.*|link")))
            << entry.path();
    EXPECT_EQ(!outPath.empty() && std::filesystem::is_regular_file(outPath), !c.out.empty());
}

std::vector<uint8_t> Ramp(uint8_t first)
{
    std::vector<uint8_t> bytes(16);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

const std::string kFirst = HexData(0x100, Ramp(0x10)), kLast = HexData(0x200, Ramp(0x80)) + HexEnd();
// A device that holds other bytes than the file everywhere; the file's records over them; and the same with
// a byte changed in each of the two records.
const std::vector<std::string> kRandom = { "-generate", "0", "0x20000", "-repeat-string", "Pruefung 7!" };
const std::vector<std::string> kFileOverRandom = { "FILE", "-intel", "(", "-generate", "0", "0x20000", "-repeat-string",
    "Pruefung 7!", "-exclude", "-within", "FILE", "-intel", ")" };
const std::vector<std::string> kChanged = { "FILE", "-intel", "-exclude", "0x105", "0x106", "0x20F", "0x210",
    "-generate", "0x105", "0x106", "-constant", "0", "-generate", "0x20F", "0x210", "-constant", "0" };
const std::string kBinary(40, '\x5A');

INSTANTIATE_TEST_SUITE_P(Jobs, Sessions,
    testing::Values(
        Session { .name = "segment_offset_wraps", .text = HexSegment(0x1000) + HexData(0xFFF8, Ramp(0)) + kLast },
        Session {
            .name = "byte_order_mark", .text = "\xEF\xBB\xBF" + HexLinear(1) + kFirst, .plain = HexLinear(1) + kFirst },
        Session { .name = "ctrl_z_at_the_end", .text = kFirst + kLast + "\x1A\r\n" },
        Session { .name = "ctrl_z_mid_file",
            .text = kFirst + "; done\x1A\n" + kLast,
            .status = 1,
            .log = "Record error Line:2\n",
            .plain = kFirst },
        Session {
            .name = "record_on_a_long_comment_line", .text = std::string(1023, ';') + kFirst + kLast, .plain = kLast },
        Session { .name = "garbage_after_blanks",
            .text = kFirst + kLast.substr(0, 43) + std::string(1100, ' ') + "GARBAGE\n",
            .status = 1,
            .log = "Record error Line:2\n",
            .plain = kFirst },
        Session { .name = "closed_input_and_output", .text = kFirst + kLast, .bClosedOutput = true },
        Session { .name = "pages_merged_split_at_gaps_pages_and_64k",
            .text = kFirst + HexData(0x110, Ramp(0)) + HexData(0x2F8, Ramp(0x20)) + HexLinear(0)
                + HexData(0xFFF8, Ramp(0x30)) + kLast,
            .args = { "--pages", "--wait", "60", "FILE" },
            .sim = { "--write-cycle-ms", "20" } }, // long enough that the poll between two runs of a page is refused
        Session { .name = "binary_across_64k",
            .text = kBinary,
            .args = { "--binary", "--offset=0xFFF0", "FILE" },
            .meaning = { "FILE", "-binary", "-offset", "0xFFF0" } },
        Session { .name = "read_hex",
            .args = { "--read", "OUT.hex" },
            .image = kRandom,
            .meaning = {},
            .out = { "IMAGE", "-binary", "-o", "-intel", "-output_block_size", "16" } },
        Session { .name = "read_range_hex_32",
            .args = { "-r", "OUT.hex", "--offset=0xFFF0", "--length=0x50", "--record-size=32" },
            .image = kRandom,
            .meaning = {},
            .out = { "IMAGE", "-binary", "-crop", "0xFFF0", "0x10040", "-o", "-intel", "-output_block_size", "32" } },
        Session { .name = "read_binary",
            .args = { "--read", "OUT.bin" },
            .image = kRandom,
            .meaning = {},
            .out = { "IMAGE", "-binary", "-o", "-binary" } },
        Session { .name = "read_link_lost",
            .args = { "--read", "OUT.hex" },
            .image = kRandom,
            .sim = { "--hangup-after", "250" },
            .status = 1,
            .log = R"(Read error Address:\w{6}\n)",
            .meaning = {} },
        Session { .name = "read_no_device",
            .args = { "--read", "OUT.bin" },
            .sim = { "--no-device" },
            .status = 1,
            .log = "Read error Address:000000\n",
            .meaning = {} },
        Session { .name = "read_onto_a_folder",
            .args = { "--read", "OUT" },
            .status = 1,
            .log = "File Write Error\\.\n",
            .meaning = {},
            .bOutFolder = true },
        Session { .name = "verify_matches",
            .text = kFirst + HexData(0x111, Ramp(0x40)) + kLast,
            .args = { "--verify", "FILE" },
            .image = kFileOverRandom,
            .log = "0 of 3 records differ\\.\n",
            .meaning = {} },
        Session { .name = "verify_names_what_differs",
            .text = kFirst + kLast,
            .args = { "--verify", "FILE" },
            .image = kChanged,
            .status = 1,
            .log = "Verify error Address:000100\nVerify error Address:000200\n2 of 2 records differ\\.\n",
            .meaning = {} },
        Session { .name = "verify_binary",
            .text = kBinary,
            .args = { "--verify", "FILE", "--binary", "--offset", "0x1FFD8" },
            .image = { "FILE", "-binary", "-offset", "0x1FFD8" },
            .log = "0 of 3 records differ\\.\n",
            .meaning = {} }),
    [](const auto& info) { return std::string(info.param.name); });

std::string Name(const testing::TestParamInfo<Param>& info)
{
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(
    Roads, EndToEnd, testing::Combine(testing::ValuesIn(kRoads), testing::ValuesIn(kModes, kModes + 2)), Name);
INSTANTIATE_TEST_SUITE_P(
    Fifo, EndToEnd, testing::Combine(testing::ValuesIn(kFifoRoads), testing::ValuesIn(kModes)), Name);

} // namespace
