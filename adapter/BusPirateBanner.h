// What the text banner of a Bus Pirate (or a HydraBus) says about the hardware and firmware behind
// the link.
#pragma once

#include <string_view>

struct AdapterVersion {
    int hardware = 0; // major version of the board: 3, 4; 0 when the banner did not say
    int firmware = 0; // major version of the firmware: 6, 7, 8; 0 when the banner did not say
    int firmwareMinor = 0; // 5 in "v5.5", 10 in "v5.10"
    bool bHydraBus = false; // a HydraBus, whose firmware speaks the binary protocol with a few differences
    // A v4 whose community firmware (October 2018 to July 2025) answers 0x0F but stays in binary
    // mode, so that it prints no banner and never returns to its terminal.
    bool bStaysBinary = false;
    bool FirmwareAtLeast(int major, int minor) const
    {
        return firmware > major || (firmware == major && firmwareMinor >= minor);
    }
};

// Reads "Bus Pirate v3.5" / "Firmware v6.1 r1676" / "Community Firmware v7.1" lines, or a
// HydraBus's "Hydrabus", out of the text the adapter prints when it leaves binary mode; junk around
// them is ignored.
AdapterVersion ParseBanner(std::string_view text);
