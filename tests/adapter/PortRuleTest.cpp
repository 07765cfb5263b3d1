// The COMn rule and the reasons a connect gives when there is no adapter to talk to.
#include "AdapterHarness.h"
#include "BusPirateBanner.h"
#include "PortNames.h"
#include "i2c_adapter.h"
#include "i2cadapter_ports.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

// A /dev and /sys/class/tty of our own: on-board ports with and without a UART, USB ports
// whose numbers sort wrongly as text, and a name that is no port.
TEST(PortRule, OrdersOnBoardThenUsbThenAcmNumerically)
{
    TempDir root;
    std::string dev = root.Path() + "/dev", sys = root.Path() + "/sys";
    struct Tty {
        const char* name;
        const char* type; // nullptr: no type attribute
        const char* driver; // nullptr: no device
    };
    const Tty ttys[] = { { "ttyS0", "4", "port" }, { "ttyS1", "0", "serial8250" }, { "ttyS2", nullptr, nullptr },
        { "ttyS3", nullptr, "serial8250" }, { "ttyS4", nullptr, "serial" }, { "ttyS10", "4", "serial8250" } };
    fs::create_directories(dev);
    for (const Tty& tty : ttys) {
        std::ofstream(dev + "/" + tty.name).put('\n');
        fs::create_directories(sys + "/" + tty.name);
        if (tty.type)
            std::ofstream(sys + "/" + tty.name + "/type") << tty.type << "\n";
        if (tty.driver) {
            fs::create_directories(root.Path() + "/drivers/" + tty.driver);
            fs::create_directories(sys + "/" + tty.name + "/device");
            fs::create_directory_symlink(
                root.Path() + "/drivers/" + tty.driver, sys + "/" + tty.name + "/device/driver");
        }
    }
    for (const char* name : { "ttyUSB10", "ttyUSB2", "ttyACM1", "ttyACM0", "ttyUSBx" })
        std::ofstream(dev + "/" + name).put('\n');

    std::vector<std::string> expected;
    for (const char* name : { "ttyS0", "ttyS4", "ttyS10", "ttyUSB2", "ttyUSB10", "ttyACM0", "ttyACM1" })
        expected.push_back(dev + "/" + name);
    EXPECT_EQ(ListSerialPorts(dev, sys), expected);
}

TEST(PortRule, EnvironmentNamesThePort)
{
    ScopedEnv env;
    env.Set("I2CADAPTER_COM7", "/dev/serial/by-id/usb-Bus_Pirate");
    ASSERT_NE(i2c_port_name(7), nullptr);
    EXPECT_STREQ(i2c_port_name(7), "/dev/serial/by-id/usb-Bus_Pirate");
}

struct RefusedConnect {
    const char* variable;
    const char* value;
    const char* reason;
};

class ConnectRefused : public testing::TestWithParam<RefusedConnect> { };

TEST_P(ConnectRefused, ReturnsZeroWithItsReason)
{
    ScopedEnv env;
    if (*GetParam().variable)
        env.Set(GetParam().variable, GetParam().value);
    EXPECT_EQ(i2c_connect(20), 0);
    EXPECT_EQ(i2c_last_error(), std::string(GetParam().reason));
    i2c_disconnect();
}

INSTANTIATE_TEST_SUITE_P(Adapter, ConnectRefused,
    testing::Values(
        RefusedConnect { "", "", "COM20: no such serial port (set I2CADAPTER_COM20 or plug in the adapter)" },
        RefusedConnect { "I2CADAPTER_COM20", "/nonexistent/ttyUSB9", "/nonexistent/ttyUSB9: no such serial port" },
        RefusedConnect { "I2CADAPTER_COM20", "/dev/null", "/dev/null: not a serial port" },
        RefusedConnect { "I2CADAPTER_SPEED", "1000", "I2CADAPTER_SPEED=1000: choose 5, 50, 100 or 400 (kHz)" },
        RefusedConnect { "I2CADAPTER_BAUD", "9600", "I2CADAPTER_BAUD=9600: choose 115200, 1000000 or 2000000" },
        RefusedConnect {
            "I2CADAPTER_BAUD", "2000000x", "I2CADAPTER_BAUD=2000000x: choose 115200, 1000000 or 2000000" }));

struct Banner {
    const char* text;
    int hardware;
    int firmware;
    int firmwareMinor;
};

class BannerVersions : public testing::TestWithParam<Banner> { };

TEST_P(BannerVersions, AreRead)
{
    AdapterVersion version = ParseBanner(GetParam().text);
    EXPECT_EQ(version.hardware, GetParam().hardware);
    EXPECT_EQ(version.firmware, GetParam().firmware);
    EXPECT_EQ(version.firmwareMinor, GetParam().firmwareMinor);
}

INSTANTIATE_TEST_SUITE_P(Adapter, BannerVersions,
    testing::Values(Banner { "\x01\xff\r\nBus Pirate v3.5\r\nFirmware v6.1 r1676  Bootloader v4.4\r\nHiZ>", 3, 6, 1 },
        Banner {
            "Bus Pirate v3b\r\nCommunity Firmware v7.1 - goo.gl/gCzQnW [HiZ 1-WIRE UART I2C SPI]\r\nHiZ>", 3, 7, 1 },
        Banner { "Bus Pirate v4.0\r\nElderlyPirate Firmware v8.0\r\nHiZ>", 4, 8, 0 },
        // The minor number is a number: 5.10 comes after 5.5.
        Banner { "Bus Pirate v3a\r\nFirmware v5.10 (r559)  Bootloader v4.4\r\n", 3, 5, 10 },
        Banner { "Bus Pirate v3.5\r\nFirmware v5.\r\n", 3, 5, 0 }, Banner { "Hydrabus\r\n", 0, 0, 0 },
        Banner { "", 0, 0, 0 }));
