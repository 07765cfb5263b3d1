// The fuzz entry run over pseudo-random streams, so that every build checks what the fuzzer checks:
// no crash, an end to every input, replies bounded and in time order.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size);

namespace {

class RandomStreams : public testing::TestWithParam<uint32_t> { };

TEST_P(RandomStreams, NeverCrashOrHang)
{
    std::mt19937 random(GetParam());
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> input(random() % 2000);
        // Mostly command-like bytes, so that the streams reach deep states.
        for (uint8_t& byte : input)
            byte = random() % 4 ? uint8_t(random() % 0x12) : uint8_t(random());
        if (input.size() > 1)
            input[0] = uint8_t(random());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Sim, RandomStreams, testing::Range(1u, 9u));

} // namespace
