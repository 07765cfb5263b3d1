#include "PortNames.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct NumberedName {
    unsigned long number;
    std::string name;
};

// Names in dir that are prefix followed by digits only, in numeric order (ttyUSB10 after ttyUSB9).
std::vector<std::string> NumberedEntries(const std::string& dir, const std::string& prefix)
{
    std::vector<NumberedName> found;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* entry = ::readdir(d)) {
            std::string name = entry->d_name;
            if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
                continue;
            std::string digits = name.substr(prefix.size());
            if (digits.find_first_not_of("0123456789") != std::string::npos)
                continue;
            found.push_back({ std::stoul(digits), name });
        }
        ::closedir(d);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    std::vector<std::string> names;
    for (const auto& f : found)
        names.push_back(f.name);
    return names;
}

bool Exists(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0;
}

// The 8250 driver registers a placeholder ttyS port for every slot of its table, UART or not;
// the serial core reports those with type 0 (PORT_UNKNOWN).
bool HasUart(const std::string& sysTty)
{
    if (!Exists(sysTty + "/device"))
        return false;
    std::ifstream typeFile(sysTty + "/type");
    int type = -1;
    if (typeFile >> type)
        return type != 0;
    char driver[256] = {};
    ssize_t n = ::readlink((sysTty + "/device/driver").c_str(), driver, sizeof driver - 1);
    std::string driverName = n > 0 ? std::string(driver, static_cast<size_t>(n)) : std::string();
    return driverName.empty() || driverName.substr(driverName.rfind('/') + 1) != "serial8250";
}

} // namespace

std::vector<std::string> ListSerialPorts(const std::string& devRoot, const std::string& sysTtyRoot)
{
    std::vector<std::string> ports;
    for (const auto& name : NumberedEntries(sysTtyRoot, "ttyS"))
        if (HasUart(sysTtyRoot + "/" + name) && Exists(devRoot + "/" + name))
            ports.push_back(devRoot + "/" + name);
    for (const char* prefix : { "ttyUSB", "ttyACM" })
        for (const auto& name : NumberedEntries(devRoot, prefix))
            ports.push_back(devRoot + "/" + name);
    return ports;
}

std::string ResolvePort(unsigned port, std::string& reason)
{
    std::string variable = "I2CADAPTER_COM" + std::to_string(port);
    if (const char* pszPath = std::getenv(variable.c_str()); pszPath && *pszPath)
        return pszPath;
    std::vector<std::string> ports = ListSerialPorts("/dev", "/sys/class/tty");
    if (port >= 1 && port <= ports.size())
        return ports[port - 1];
    reason = "COM" + std::to_string(port) + ": no such serial port (set " + variable + " or plug in the adapter)";
    return "";
}
