/* The adapter library's entry points: the only interface between the writer and an I2C adapter.
 * The writer binds them by name at start-up; any library that exports these six (plus, optionally,
 * i2c_read_block, i2c_last_error and i2c_port_name) can drive the EEPROM.
 *
 * The writer counts a record as written only when every call of its transactions reported success,
 * so a library must never report success for what it did not see happen:
 * - a byte the device did not acknowledge is reported by i2c_write (1), or, when the library sends
 *   the transaction later than the call, by the i2c_stop that ends it (0);
 * - a read that did not take place (the link failed, or the device refused its select or address
 *   byte, so nobody drove the bus) returns a value outside 0-255.
 * A library that reports less (i2c_stop always 1, reads always 0-255) still works: the writer then
 * relies on the acknowledges of i2c_write and on comparing what it reads back. */
#ifndef I2C_ADAPTER_H
#define I2C_ADAPTER_H

#ifdef __cplusplus
extern "C" {
#endif

/* File name searched through the platform's library search. */
#define I2C_ADAPTER_LIBRARY "libi2cadapter.so"

/* What i2c_read returns for a read that did not take place. */
#define I2C_READ_FAILED (-1)

/* Connects the adapter on serial port COM<port> (1..20). Non-zero when connected, 0 on failure. */
unsigned char i2c_connect(unsigned short port);
/* Releases the bus, the adapter and the port. Harmless when not connected. */
void i2c_disconnect(void);
/* Start (or repeated start) condition. 1 when done, 0 when the link has failed. */
int i2c_start(void);
/* Stop condition: the end of a transaction. 1 when the transaction since its start condition went
 * through with every byte acknowledged, 0 when a byte was not acknowledged or the link has failed. */
int i2c_stop(void);
/* Writes the low 8 bits of byte. 0 when the device acknowledged (or when the library only learns at
 * i2c_stop whether it did), 1 when it did not or the link has failed. */
int i2c_write(int byte);
/* Reads one byte; last = 0 acknowledges it (more follow), last = 1 does not. The byte (0-255), or a
 * value outside 0-255, such as I2C_READ_FAILED, when the read did not take place. */
int i2c_read(int last);
/* Optional: why the last connect or transfer failed, or "" when nothing failed. */
const char* i2c_last_error(void);
/* Optional: count reads into buffer, as count calls of i2c_read would do them (the last one with last);
 * a library may fetch them in fewer round trips. count, or a negative value when the reads did not
 * take place. */
int i2c_read_block(unsigned char* buffer, int count, int last);
/* Optional: the device path COM<port> stands for, or NULL when there is none. The text stays valid
 * until the next call. */
const char* i2c_port_name(unsigned short port);

typedef unsigned char (*I2cConnectFn)(unsigned short port);
typedef void (*I2cDisconnectFn)(void);
typedef int (*I2cStartFn)(void);
typedef int (*I2cStopFn)(void);
typedef int (*I2cWriteFn)(int byte);
typedef int (*I2cReadFn)(int last);
typedef const char* (*I2cLastErrorFn)(void);
typedef const char* (*I2cPortNameFn)(unsigned short port);
typedef int (*I2cReadBlockFn)(unsigned char* buffer, int count, int last);

#ifdef __cplusplus
}
#endif

#endif
