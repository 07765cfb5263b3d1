/* An extra entry point of libi2cadapter.so beside those of i2c_adapter.h: how COM<n> maps to a
 * Linux serial device, for front ends that want to list the ports. */
#ifndef I2CADAPTER_PORTS_H
#define I2CADAPTER_PORTS_H

#ifdef __cplusplus
extern "C" {
#endif

/* The device path COM<port> stands for: the environment variable I2CADAPTER_COM<port> when set,
 * otherwise the port-th serial port present (on-board /dev/ttyS* ports with a UART, then
 * /dev/ttyUSB*, then /dev/ttyACM*, each in numeric order). NULL when there is none. The text
 * stays valid until the next call. */
const char* i2c_port_name(unsigned short port);

typedef const char* (*I2cPortNameFn)(unsigned short port);

#ifdef __cplusplus
}
#endif

#endif
