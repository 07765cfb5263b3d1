#include "I2cLibrary.h"

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

SI2cLibrary I2cLibrary;

namespace {

std::string g_loadFailure;

template <typename Fn> bool Bind(void* hLibrary, const char* pszName, Fn& entry)
{
    void* p = ::dlsym(hLibrary, pszName);
    if (!p)
        return false;
    entry = reinterpret_cast<Fn>(p);
    return true;
}

// The folder of the running program, or "" when it cannot be found.
std::string ProgramFolder()
{
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    std::string folder(path, static_cast<size_t>(n));
    return folder.substr(0, folder.rfind('/'));
}

} // namespace

int LoadI2cLibraryFrom(const char* pszLibrary)
{
    g_loadFailure.clear();
    void* hLibrary = ::dlopen(pszLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!hLibrary) {
        const char* pszReason = ::dlerror();
        g_loadFailure = pszReason ? pszReason : pszLibrary;
        return 0;
    }
    if (!Bind(hLibrary, "i2c_start", I2cLibrary.i2c_start) || !Bind(hLibrary, "i2c_stop", I2cLibrary.i2c_stop)
        || !Bind(hLibrary, "i2c_write", I2cLibrary.i2c_write) || !Bind(hLibrary, "i2c_read", I2cLibrary.i2c_read)
        || !Bind(hLibrary, "i2c_connect", I2cLibrary.i2c_connect)
        || !Bind(hLibrary, "i2c_disconnect", I2cLibrary.i2c_disconnect)) {
        const char* pszReason = ::dlerror();
        g_loadFailure = pszReason ? pszReason : std::string(pszLibrary) + ": an entry point is missing";
        ::dlclose(hLibrary);
        return 0;
    }
    I2cLibrary.i2c_last_error = nullptr;
    I2cLibrary.i2c_port_name = nullptr;
    I2cLibrary.i2c_read_block = nullptr;
    Bind(hLibrary, "i2c_last_error", I2cLibrary.i2c_last_error);
    Bind(hLibrary, "i2c_port_name", I2cLibrary.i2c_port_name);
    Bind(hLibrary, "i2c_read_block", I2cLibrary.i2c_read_block);
    return 1;
}

int LoadI2cLibrary()
{
    const char* pszOverride = std::getenv(kI2cLibraryVariable);
    if (pszOverride && *pszOverride)
        return LoadI2cLibraryFrom(pszOverride);
    // The program's own folders first, explicitly: the RUNPATH says the same, but a dlopen()
    // intercepted by a sanitizer runtime searches on behalf of that runtime, not of the program.
    std::string folder = ProgramFolder();
    for (const char* pszSub : { "/", "/" AT24_LIBDIR_FROM_BINDIR "/" }) {
        std::string candidate = folder + pszSub + I2C_ADAPTER_LIBRARY;
        if (!folder.empty() && ::access(candidate.c_str(), F_OK) == 0)
            return LoadI2cLibraryFrom(candidate.c_str());
    }
    return LoadI2cLibraryFrom(I2C_ADAPTER_LIBRARY);
}

const char* I2cLastError()
{
    const char* pszReason = I2cLibrary.i2c_last_error ? I2cLibrary.i2c_last_error() : nullptr;
    return pszReason ? pszReason : "";
}

const char* I2cLibraryLoadFailure()
{
    return g_loadFailure.c_str();
}
