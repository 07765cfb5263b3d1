// Bringing a Bus Pirate (or a firmware that speaks its binary protocol) from whatever state it is
// in into raw I2C mode with power and pull-ups on, and back to its terminal afterwards.
#pragma once

#include "AdapterLink.h"
#include "BusPirateBanner.h"

#include <cstdint>
#include <string>

// One command byte answered by one byte; the reply timeout of every short command.
constexpr int kReplyTimeoutMs = 1000;

// An I2C clock a user may choose, and the command that sets it on each firmware.
struct BusSpeed {
    const char* pszKHz;
    uint8_t busPirateCommand; // the Bus Pirate's bit-banged clocks: 0x60 about 5 kHz ... 0x63 about 400 kHz
    int hydraBusCommand; // a HydraBus's table (0x60 50 kHz ... 0x63 1 MHz); -1: it has no such clock
    int byteUs; // nine clocks of the bus, generously
};

constexpr BusSpeed kBusSpeeds[] = {
    { "5", 0x60, -1, 2500 },
    { "50", 0x61, 0x60, 250 },
    { "100", 0x62, 0x61, 125 },
    { "400", 0x63, 0x62, 60 },
};

// What a connect found besides the adapter: a warning for the user, or "".
struct ConnectNotes {
    AdapterVersion version;
    std::string warning;
};

// lineBaud is the serial speed to run a v3 (firmware 5.5 or later) at, which falls back to the
// boot speed when the adapter does not follow. false with a reason for the user when the adapter
// cannot be used; the link is then left for the caller to close.
bool EnterI2cMode(
    AdapterLink& link, const BusSpeed& speed, uint32_t lineBaud, ConnectNotes& notes, std::string& reason);

// Stop condition, power and pull-ups off, back to the terminal (and a v3 to its boot speed), as far
// as the firmware can go. Does nothing on a dead link.
void LeaveI2cMode(AdapterLink& link, const AdapterVersion& version);
