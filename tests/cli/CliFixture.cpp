#include "CliFixture.h"

#include <fstream>
#include <iterator>

std::vector<uint8_t> Bytes(uint8_t first, size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

std::vector<uint8_t> Erased(size_t n)
{
    return std::vector<uint8_t>(n, 0xFF);
}

std::vector<std::string> CliTest::Env(const std::vector<std::string>& extra) const
{
    std::vector<std::string> env { std::string("AT24WRITER_I2C_LIBRARY=") + LOOPBACK_LIBRARY,
        "LOOPBACK_IMAGE=" + imagePath };
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

bool CliTest::Start(const std::vector<std::string>& args, const std::vector<std::string>& env, bool bStderrTerminal)
{
    std::vector<std::string> argv { CLI_PROGRAM };
    argv.insert(argv.end(), args.begin(), args.end());
    return cli.Start(argv, Env(env), bStderrTerminal);
}

int CliTest::Run(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    return Start(args, env) ? cli.Wait() : ChildProcess::kTimedOut;
}

void CliTest::ExpectImage(const std::vector<ImageBytes>& image) const
{
    std::ifstream file(imagePath, std::ios::binary);
    std::vector<uint8_t> contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (contents.empty())
        contents = Erased(0x20000); // never connected: the device was never touched
    ASSERT_EQ(contents.size(), 0x20000u);
    for (const ImageBytes& expected : image)
        EXPECT_EQ(std::vector<uint8_t>(contents.begin() + expected.address,
                      contents.begin() + expected.address + static_cast<long>(expected.bytes.size())),
            expected.bytes)
            << "at " << std::hex << expected.address;
}
