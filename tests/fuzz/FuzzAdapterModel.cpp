// libFuzzer entry for the adapter model: whatever bytes arrive, in whatever bursts and in whichever
// state, the model must not crash, must finish, and must hand out a bounded, time-ordered reply.
// The first two input bytes choose the configuration; the rest are bursts of
// [gap in 10 us units][host line speed << 6 | length][bytes].
#include "BusPirateModel.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

namespace {

constexpr AdapterState kStates[] = { AdapterState::Terminal, AdapterState::Menu, AdapterState::Bbio, AdapterState::I2c,
    AdapterState::Sniffer, AdapterState::BulkWrite, AdapterState::WriteThenRead, AdapterState::Terminal };
constexpr uint32_t kFifoDepths[] = { 0, 1, 4, 16 };
constexpr uint32_t kHostBauds[] = { 0, 115200, 2000000, 1000000 };
// The most one received byte can cause: a SUMP capture or a write-then-read of 4096 bytes.
constexpr size_t kMaxReplyPerByte = 4200;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    if (size < 2)
        return 0;
    static std::vector<uint8_t> memory(At24Device::kSize);
    std::fill(memory.begin(), memory.end(), 0xFF);
    BusPirateConfig config;
    config.hardware = static_cast<Hardware>((pData[0] & 0x03) % 3);
    config.firmware = static_cast<Firmware>(pData[1] % std::size(kFirmwareBuilds));
    config.rxFifo = kFifoDepths[(pData[0] >> 2) & 0x03];
    config.noPullups = pData[0] & 0x10;
    config.initial = kStates[pData[0] >> 5];
    config.pendingWrites = 1 + pData[1];
    config.latencyNs = uint64_t(pData[1] & 0x0F) * 500000;
    config.initialBaud = (pData[1] & 0x10) ? 2000000 : 115200;
    config.noBaudChange = pData[1] & 0x20;
    BusPirateModel model(memory.data(), config);
    model.Device().SetWriteCycleUs(pData[1] >> 6);
    model.Device().AddCorrupt(0x100, 1);

    uint64_t now = 1000000, lastLeave = 0;
    size_t offset = 2, received = 0;
    std::vector<uint8_t> out;
    while (offset + 2 <= size) {
        now += uint64_t(pData[offset]) * 10000;
        size_t length = std::min<size_t>(pData[offset + 1] & 0x3F, size - offset - 2);
        model.SetHostBaud(kHostBauds[pData[offset + 1] >> 6]);
        model.Receive(pData + offset + 2, length, now);
        received += length;
        offset += 2 + length;
        while (model.NextDue() <= now) {
            Check(model.NextDue() >= std::exchange(lastLeave, model.NextDue()));
            Check(model.TakeDue(now, out) > 0);
        }
    }
    model.TakeDue(UINT64_MAX, out);
    Check(model.NextDue() == UINT64_MAX);
    Check(out.size() <= (received + 1) * kMaxReplyPerByte);
    Check(model.CommandBytes() == received);
    return 0;
}
