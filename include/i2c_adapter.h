/* The adapter library's entry points: the only interface between the writer and an I2C adapter.
 * The writer binds them by name at start-up; any library that exports these six (plus, optionally,
 * i2c_last_error) can drive the EEPROM. */
#ifndef I2C_ADAPTER_H
#define I2C_ADAPTER_H

#ifdef __cplusplus
extern "C" {
#endif

/* File name searched through the platform's library search. */
#define I2C_ADAPTER_LIBRARY "libi2cadapter.so"

/* Connects the adapter on serial port COM<port> (1..20). Non-zero when connected, 0 on failure. */
unsigned char i2c_connect(unsigned short port);
/* Releases the bus, the adapter and the port. Harmless when not connected. */
void i2c_disconnect(void);
/* Start (or repeated start) and stop conditions. 1 when done, 0 when the link has failed. */
int i2c_start(void);
int i2c_stop(void);
/* Writes the low 8 bits of byte. 0 when the device acknowledged, 1 when it did not. */
int i2c_write(int byte);
/* Reads one byte; last = 0 acknowledges it (more follow), last = 1 does not. The byte is in the low 8 bits. */
int i2c_read(int last);
/* Optional: why the last connect or transfer failed, or "" when nothing failed. */
const char* i2c_last_error(void);

typedef unsigned char (*I2cConnectFn)(unsigned short port);
typedef void (*I2cDisconnectFn)(void);
typedef int (*I2cStartFn)(void);
typedef int (*I2cStopFn)(void);
typedef int (*I2cWriteFn)(int byte);
typedef int (*I2cReadFn)(int last);
typedef const char* (*I2cLastErrorFn)(void);

#ifdef __cplusplus
}
#endif

#endif
