// A faster serial line to a Bus Pirate v3: its FT232R bridge carries up to 3 Mbaud, and the
// terminal's `b` command sets the PIC's UART to 4 000 000 / (divisor + 1) baud until the next reset.
#pragma once

#include "AdapterLink.h"

#include <cstdint>

constexpr uint32_t kFastestBaud = 2000000;

// From the terminal prompt at the boot speed: asks the adapter for baud, follows with the host's
// end once the adapter has switched, and checks that the prompt answers there. false when the adapter refused or did
// not answer at the new speed; the host's end is then back at the boot speed and the adapter may be in the dialog, at
// either speed: the caller finds it again.
bool ChangeLineSpeed(AdapterLink& link, uint32_t baud);
