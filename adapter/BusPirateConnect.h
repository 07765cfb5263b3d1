// Bringing a Bus Pirate (or a firmware that speaks its binary protocol) from whatever state it is
// in into raw I2C mode with power and pull-ups on, and back to its terminal afterwards.
#pragma once

#include "AdapterLink.h"
#include "BusPirateBanner.h"

#include <cstdint>
#include <string>

// One command byte answered by one byte; the reply timeout of every short command.
constexpr int kReplyTimeoutMs = 1000;

// speedCommand is one of 0x60..0x63; lineBaud the serial speed to run a v3 (firmware 5.5 or
// later) at, which falls back to the boot speed when the adapter does not follow. false with a
// reason for the user when the adapter cannot be used; the link is then left for the caller to close.
bool EnterI2cMode(
    AdapterLink& link, uint8_t speedCommand, uint32_t lineBaud, AdapterVersion& version, std::string& reason);

// Stop condition, power and pull-ups off, back to the terminal (and a v3 to its boot speed). Does
// nothing on a dead link.
void LeaveI2cMode(AdapterLink& link);
