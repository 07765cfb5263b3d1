// Pipelined, the library must read exactly what a byte-by-byte run reads, for the engine's
// pattern and for call sequences that do not fit it.
#include "AdapterHarness.h"
#include "JobSettings.h"
#include "i2c_adapter.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

// "S" start, "P" stop, "Rn" read with last = n, "Rn*k" k such reads, hex: a write.
const char* const kSequences[] = {
    "S A0 01 00 P S A1 R0 R0 R1 P", // current-address read after setting the address
    "S A0 00 10 S A1 R0*4 R1 P", // random read
    "S A0 00 20 S A1 R0*40 R1 P", // longer than the read before it
    "S A0 00 30 S A1 R1 P", // shorter
    "S A0 00 40 S A3 R0 R1 P", // read select with another page bit
    "S A0 00 50 R0 R1 P", // reads without a repeated start
    "S A4 00 00 S A5 R0 R1 P", // nobody answers
    "R1 P", // a read outside any transaction
    "S A0 00 60 S A1 R1 S A0 00 70 S A1 R0 R1 P", // a new random read without a stop between
};

std::vector<int> RunCalls(const std::string& sequence)
{
    std::vector<int> reads;
    std::istringstream tokens(sequence);
    for (std::string token; tokens >> token;) {
        if (token == "S") {
            i2c_start();
        } else if (token == "P") {
            i2c_stop();
        } else if (token[0] == 'R') {
            int count = token.size() > 3 ? std::stoi(token.substr(3)) : 1;
            for (int i = 0; i < count; ++i)
                reads.push_back(i2c_read(token[1] - '0'));
        } else {
            i2c_write(std::stoi(token, nullptr, 16));
        }
    }
    return reads;
}

} // namespace

class Equivalence : public testing::TestWithParam<const char*> { };

TEST_P(Equivalence, PipelinedReadsWhatByteByByteReads)
{
    JobSettings.AddressMask = 0;
    SimProcess sim({ "--firmware", GetParam() });
    std::vector<std::vector<int>> results[2];
    for (int pipelined = 0; pipelined < 2; ++pipelined) {
        ScopedEnv env;
        ASSERT_TRUE(ConnectTo(sim, env, std::to_string(pipelined))) << i2c_last_error();
        for (uint32_t address = 0; address < 0x120 && !pipelined; address += 16)
            WriteRecord(address, Pattern(address, 16), 5);
        for (const char* sequence : kSequences)
            results[pipelined].push_back(RunCalls(sequence));
        i2c_disconnect();
        EXPECT_STREQ(i2c_last_error(), "");
    }
    for (size_t i = 0; i < std::size(kSequences); ++i)
        EXPECT_EQ(results[1][i], results[0][i]) << kSequences[i];
    std::vector<uint8_t> stored = Pattern(0x10, 5);
    EXPECT_EQ(results[0][1], std::vector<int>(stored.begin(), stored.end()));
}

INSTANTIATE_TEST_SUITE_P(Adapter, Equivalence, testing::Values("6", "7"));
