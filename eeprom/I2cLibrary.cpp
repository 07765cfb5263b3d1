#include "I2cLibrary.h"

#include <cstdlib>
#include <dlfcn.h>

SI2cLibrary I2cLibrary;

namespace {

template <typename Fn> bool Bind(void* hLibrary, const char* pszName, Fn& entry)
{
    void* p = ::dlsym(hLibrary, pszName);
    if (!p)
        return false;
    entry = reinterpret_cast<Fn>(p);
    return true;
}

} // namespace

int LoadI2cLibraryFrom(const char* pszLibrary)
{
    void* hLibrary = ::dlopen(pszLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!hLibrary)
        return 0;
    if (!Bind(hLibrary, "i2c_start", I2cLibrary.i2c_start) || !Bind(hLibrary, "i2c_stop", I2cLibrary.i2c_stop)
        || !Bind(hLibrary, "i2c_write", I2cLibrary.i2c_write) || !Bind(hLibrary, "i2c_read", I2cLibrary.i2c_read)
        || !Bind(hLibrary, "i2c_connect", I2cLibrary.i2c_connect)
        || !Bind(hLibrary, "i2c_disconnect", I2cLibrary.i2c_disconnect)) {
        ::dlclose(hLibrary);
        return 0;
    }
    I2cLibrary.i2c_last_error = nullptr;
    Bind(hLibrary, "i2c_last_error", I2cLibrary.i2c_last_error);
    return 1;
}

int LoadI2cLibrary()
{
    const char* pszOverride = std::getenv(kI2cLibraryVariable);
    return LoadI2cLibraryFrom(pszOverride && *pszOverride ? pszOverride : I2C_ADAPTER_LIBRARY);
}

const char* I2cLastError()
{
    const char* pszReason = I2cLibrary.i2c_last_error ? I2cLibrary.i2c_last_error() : nullptr;
    return pszReason ? pszReason : "";
}
