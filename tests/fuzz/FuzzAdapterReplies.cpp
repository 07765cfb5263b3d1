// libFuzzer entry for the adapter library's reply handling: whatever comes back on the line, in
// whatever pieces, every entry point must return within its bound with a value in range. A pty
// stands in for the serial port; a thread at its far end answers each burst the library sends with
// the next chunk of the input, and once they are used up stays silent or hangs up. The first input
// byte chooses the mode; the rest are chunks of [length][bytes].
#include "FuzzCheck.h"
#include "i2c_adapter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// Waits run at a hundredth of their length: silence at every speed the connect tries ends in well
// under a second. A call that takes this long has lost its timeout.
constexpr auto kCallBound = std::chrono::seconds(3);
constexpr int S = -1, P = -2, R = -3, L = -4; // start, stop, read, read the last; others are writes
// A page write of two bytes and a random read of them, as the writer does it.
constexpr int kCalls[] = { S, 0xA0, 0x00, 0x10, 0x55, 0xAA, P, S, 0xA0, 0x00, 0x10, S, 0xA1, R, L, P };
const char* const kBauds[] = { "", "115200", "1000000", "2000000" };

template <class Call> int Timed(Call call)
{
    auto start = std::chrono::steady_clock::now();
    int result = call();
    Check(std::chrono::steady_clock::now() - start < kCallBound);
    return result;
}

// The adapter's end of the line; it owns the master side and closes it when done.
void Answer(int master, const uint8_t* pData, size_t size, bool bHangUp, const std::atomic<bool>& bDone)
{
    uint8_t buffer[4096];
    pollfd pfd { master, POLLIN, 0 };
    for (size_t offset = 0; !bDone;) {
        if (::poll(&pfd, 1, 10) != 1 || ::read(master, buffer, sizeof buffer) <= 0) { // no client yet, or no more
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (offset == size && bHangUp)
            break;
        size_t length = offset < size ? std::min<size_t>(pData[offset], size - offset - 1) : 0;
        if (length && ::write(master, pData + offset + 1, length) < 0)
            break;
        offset = std::min(size, offset + 1 + length);
    }
    ::close(master);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ::setenv("I2CADAPTER_TIMEOUT_SCALE", "0.01", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    char name[64];
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (size < 1 || master < 0 || ::grantpt(master) || ::unlockpt(master) || ::ptsname_r(master, name, sizeof name)) {
        if (master >= 0)
            ::close(master);
        return 0;
    }
    ::setenv("I2CADAPTER_COM1", name, 1);
    ::setenv("I2CADAPTER_PIPELINE", (pData[0] & 0x01) ? "1" : "0", 1);
    ::setenv("I2CADAPTER_BAUD", kBauds[(pData[0] >> 2) & 0x03], 1);
    std::atomic<bool> bDone = false;
    std::thread adapter(Answer, master, pData + 1, size - 1, (pData[0] & 0x02) != 0, std::cref(bDone));
    if (Timed([] { return i2c_connect(1); })) {
        for (int call : kCalls) {
            int result = Timed([call] {
                return call == S ? i2c_start()
                    : call == P  ? i2c_stop()
                    : call >= 0  ? i2c_write(call)
                                 : i2c_read(call == L);
            });
            Check((call <= R && result == I2C_READ_FAILED) || (result >= 0 && result <= (call <= R ? 0xFF : 1)));
        }
    }
    Timed([] { return (i2c_disconnect(), 0); });
    Check(i2c_last_error() != nullptr);
    bDone = true;
    adapter.join();
    return 0;
}
