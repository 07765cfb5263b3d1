// One at24sim on a link of its own, ended (killed if need be) with the object.
#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <string>
#include <vector>

class Emulator {
public:
    // Starts at24sim on folder/link with its image in folder/eeprom.bin and waits until it is ready.
    bool Start(const std::string& folder, const std::vector<std::string>& args);
    const std::string& Link() const { return m_link; }
    // Ends the emulator; its exit status. Its statistics line is in Output() then.
    int Stop();
    const std::string& Output() const { return m_process.Out(); }
    // The device's contents as the emulator left them.
    std::vector<uint8_t> Image() const;

private:
    ChildProcess m_process;
    std::string m_link;
    std::string m_image;
};
