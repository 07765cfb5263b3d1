// The adapter library's entry points, bound once at start-up and kept for the life of the process.
#pragma once

#include "i2c_adapter.h"

struct SI2cLibrary {
    I2cStartFn i2c_start = nullptr;
    I2cStopFn i2c_stop = nullptr;
    I2cWriteFn i2c_write = nullptr;
    I2cReadFn i2c_read = nullptr;
    I2cConnectFn i2c_connect = nullptr;
    I2cDisconnectFn i2c_disconnect = nullptr;
    // Optional; nullptr when the library has none.
    I2cLastErrorFn i2c_last_error = nullptr;
    I2cPortNameFn i2c_port_name = nullptr;
    I2cReadBlockFn i2c_read_block = nullptr;
};

extern SI2cLibrary I2cLibrary;

// Names the environment variable that may point the writer at another adapter library.
constexpr const char* kI2cLibraryVariable = "AT24WRITER_I2C_LIBRARY";

// Loads the adapter library (I2C_ADAPTER_LIBRARY, or the file AT24WRITER_I2C_LIBRARY names) and
// binds its six entry points. 1 on success, 0 when the library is missing or lacks one of them.
int LoadI2cLibrary();
int LoadI2cLibraryFrom(const char* pszLibrary);
// After a failed load: the file tried and the loader's reason.
const char* I2cLibraryLoadFailure();

// The adapter's reason for its last failure, or "" when it cannot say.
const char* I2cLastError();
