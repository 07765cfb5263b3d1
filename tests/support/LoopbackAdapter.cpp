// An adapter library for tests of the front ends: the six entry points over the device model in
// this process, with the image in a file. Configured from the environment:
//   LOOPBACK_IMAGE     file of the 131072-byte contents (created erased when missing); no connect without it
//   LOOPBACK_PINS      select bits the device answers to (0x04, 0x08)
//   LOOPBACK_DELAY_MS  a pause in every stop, to make jobs last
#include "At24Device.h"
#include "i2c_adapter.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#define LOOPBACK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

uint8_t* g_pImage = nullptr;
std::unique_ptr<At24Device> g_device;

long EnvNumber(const char* pszName)
{
    const char* pszValue = std::getenv(pszName);
    return pszValue ? std::strtol(pszValue, nullptr, 0) : 0;
}

uint8_t* MapImage(const char* pszPath)
{
    int fd = pszPath ? ::open(pszPath, O_RDWR | O_CREAT | O_CLOEXEC, 0644) : -1;
    if (fd < 0)
        return nullptr;
    struct stat st { };
    bool bFresh = ::fstat(fd, &st) == 0 && st.st_size == 0;
    void* p = MAP_FAILED;
    if (::ftruncate(fd, At24Device::kSize) == 0)
        p = ::mmap(nullptr, At24Device::kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED)
        return nullptr;
    if (bFresh)
        std::fill_n(static_cast<uint8_t*>(p), At24Device::kSize, 0xFF);
    return static_cast<uint8_t*>(p);
}

} // namespace

LOOPBACK_EXPORT unsigned char i2c_connect(unsigned short)
{
    if (!g_pImage && !(g_pImage = MapImage(std::getenv("LOOPBACK_IMAGE"))))
        return 0;
    g_device = std::make_unique<At24Device>(g_pImage);
    g_device->SetWriteCycleUs(0);
    g_device->SetPins(static_cast<uint8_t>(EnvNumber("LOOPBACK_PINS")));
    return 1;
}

LOOPBACK_EXPORT void i2c_disconnect(void)
{
    g_device.reset();
}

LOOPBACK_EXPORT int i2c_start(void)
{
    if (g_device)
        g_device->Start();
    return 1;
}

LOOPBACK_EXPORT int i2c_stop(void)
{
    if (g_device)
        g_device->Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(EnvNumber("LOOPBACK_DELAY_MS")));
    return 1;
}

LOOPBACK_EXPORT int i2c_write(int byte)
{
    return g_device && g_device->Write(static_cast<uint8_t>(byte)) ? 0 : 1;
}

LOOPBACK_EXPORT int i2c_read(int last)
{
    return g_device ? g_device->Read(last == 0) : I2C_READ_FAILED;
}

LOOPBACK_EXPORT const char* i2c_last_error(void)
{
    return "";
}
