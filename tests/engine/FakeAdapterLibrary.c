/* A do-nothing adapter library for the binding test; built once whole and once without i2c_read. */
#include "i2c_adapter.h"

unsigned char i2c_connect(unsigned short port)
{
    return (unsigned char)(port == 7 ? 1 : 0);
}
void i2c_disconnect(void)
{
}
int i2c_start(void)
{
    return 1;
}
int i2c_stop(void)
{
    return 2;
}
int i2c_write(int byte)
{
    return byte & 1;
}
#ifndef FAKE_WITHOUT_READ
int i2c_read(int last)
{
    return last ? 0x5A : 0xA5;
}
const char* i2c_last_error(void)
{
    return "fake reason";
}
#endif
