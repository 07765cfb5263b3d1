// Which Linux serial device stands for COM<n>.
#pragma once

#include <string>
#include <vector>

// The serial ports present, in COM order: on-board ports that have a UART, then USB serial
// adapters, then USB modems (CDC-ACM), each group in numeric order. The roots are "/dev" and
// "/sys/class/tty" except in tests.
std::vector<std::string> ListSerialPorts(const std::string& devRoot, const std::string& sysTtyRoot);

// The device path for COM<port>, or "" when there is none; reason says why.
std::string ResolvePort(unsigned port, std::string& reason);
