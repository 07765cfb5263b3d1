#include "Emulator.h"

#include <csignal>
#include <fstream>
#include <iterator>

bool Emulator::Start(const std::string& folder, const std::vector<std::string>& args)
{
    m_link = folder + "/link";
    m_image = folder + "/eeprom.bin";
    std::vector<std::string> argv { SIM_PROGRAM, "--link", m_link, "--image", m_image, "--stats" };
    argv.insert(argv.end(), args.begin(), args.end());
    return m_process.Start(argv) && m_process.WaitFor("ready " + m_link + "\n");
}

int Emulator::Stop()
{
    m_process.Signal(SIGTERM);
    return m_process.Wait(ChildProcess::Ms(5000));
}

std::vector<uint8_t> Emulator::Image() const
{
    std::ifstream file(m_image, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}
