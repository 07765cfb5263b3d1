// Drives BusPirateModel the way a host does: send bytes, wait for every reply, go on from there.
#pragma once

#include "BusPirateModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

inline Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Names the cases of a parameterised test after their name field.
struct CaseName {
    template <class T> std::string operator()(const testing::TestParamInfo<T>& info) const { return info.param.name; }
};

struct ModelHarness {
    explicit ModelHarness(BusPirateConfig config = {})
        : memory(At24Device::kSize, 0xFF)
        , model(memory.data(), config)
    {
    }

    // Sends bytes in one burst and collects every reply; the clock ends just after the last one left.
    Bytes Send(const Bytes& bytes)
    {
        model.Receive(bytes.data(), bytes.size(), now);
        Bytes out;
        while (model.NextDue() != UINT64_MAX) {
            lastLeave = model.NextDue();
            model.TakeDue(lastLeave, out);
            now = std::max(now, lastLeave + 1);
        }
        return out;
    }
    // One byte at a time, each after the reply to the previous one.
    Bytes SendPaced(const Bytes& bytes)
    {
        Bytes out;
        for (uint8_t byte : bytes)
            out = Cat(out, Send({ byte }));
        return out;
    }
    void WaitMs(uint64_t ms) { now += ms * 1000000; }
    // From the prompt into raw I2C mode, powered, pull-ups on.
    void EnterI2c() { Send(Cat(Bytes(20, 0), { 0x02, 0x4C })); }

    std::vector<uint8_t> memory;
    BusPirateModel model;
    uint64_t now = 1000000;
    uint64_t lastLeave = 0;
};
