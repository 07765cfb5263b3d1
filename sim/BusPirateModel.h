// A Bus Pirate v3/v4 (with the firmware build it runs) or a HydraBus in its text terminal, binary
// bitbang (BBIO1) and raw I2C (I2C1) modes, with one AT24C1024 on its I2C bus. Pure and
// time-injected: it is fed received bytes with the time they were read and hands out reply bytes
// when their time to leave has come. Times are nanoseconds on any monotonic clock. It never blocks
// and does a bounded amount of work per byte, whatever it is fed.
#pragma once

#include "At24Device.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

enum class AdapterState {
    Terminal, // the "HiZ>" prompt
    Menu, // a number prompt of a setup menu, where zeros are not counted
    BaudMenu, // the serial speed menu of the `b` command, a number prompt too
    BaudDivisor, // its prompt for a raw baud rate divisor
    BaudConfirm, // the UART runs at the new speed and waits for a space
    Sump, // the logic analyser, entered by five zeros and 0x02 at the prompt
    Bbio, // binary bitbang
    Spi, // binary SPI
    RawWire, // binary raw-wire, entered for its side effect only
    I2c, // binary raw I2C, between commands
    Sniffer, // the I2C sniffer, left by any byte
    BulkWrite, // inside a 0x1x, waiting for its data bytes
    WriteThenRead, // inside a 0x08, waiting for its counts or write bytes
    AuxCommand, // inside a 0x09, waiting for its sub-command
    Arguments, // inside a HydraBus command, waiting for its argument bytes
};

// A v4 and a HydraBus are USB devices: no UART between host and firmware, so no baud rate and no
// overrun. A HydraBus runs firmware of its own.
enum class Hardware { V3, V4, HydraBus };

// The Bus Pirate firmware builds in the field that behave differently here.
enum class Firmware { V6_1, V6_2, V6_3, V7_0, V7_1Of2017, V7_1, V8_0 };

struct FirmwareBuild {
    const char* pszName; // as --firmware takes it
    const char* pszBanner; // the firmware's part of the banner line
    const char* pszWhat; // for --help
    bool bRepeatedStart; // write-then-read with more than one byte to write restarts before reading
    bool bLosesPromptTail; // the v3's speed dialog re-initialises the UART before its last bytes left
    bool bPullUpVoltage; // the v4 has the 0x5x command for its on-board pull-up voltage
    bool bV4StaysBinary; // 0x0F is answered but leaves a v4 in binary mode, without a banner
    bool bRefusesEmpty; // write-then-read with nothing to write or read answers 0x00
};

extern const FirmwareBuild kFirmwareBuilds[7]; // in the order of Firmware
extern const FirmwareBuild kHydraBusFirmware;

struct BusPirateConfig {
    Hardware hardware = Hardware::V3;
    Firmware firmware = Firmware::V6_3; // of a Bus Pirate
    uint32_t rxFifo = 0; // receive FIFO depth of the v3's polled UART; 0: never overruns
    uint32_t initialBaud = 115200; // of the v3's UART: a program may have left it faster
    bool noBaudChange = false; // the terminal has no `b` command, as on old firmware
    // Nothing pulls the bus up: a Bus Pirate's Vpu left open, a HydraBus without resistors.
    bool noPullups = false;
    bool externalVpu = false; // a v4's Vpu is fed from outside, as a v3's must be
    bool noDevice = false; // nobody on the bus: no acknowledge, and the lines stay high
    int bitsPerByte = 8; // as a terminal user may leave it ("0;7"), 1 to 16
    uint64_t latencyNs = 0; // the USB bridge's hold time per reply burst
    uint64_t muteAfter = UINT64_MAX; // bytes received before the adapter stops answering
    uint64_t hangupAfter = UINT64_MAX; // bytes received before the line is closed
    AdapterState initial = AdapterState::Terminal;
    uint32_t pendingWrites = 259; // write bytes still expected in the WriteThenRead initial state
};

class BusPirateModel {
public:
    static constexpr uint32_t kBootBaud = 115200; // the v3's UART after every reset
    static constexpr uint64_t kUartByteNs = 86806; // 10 bits at 115200 baud
    static constexpr uint64_t kUsbByteNs = 1000; // a v4: USB full speed, in 64-byte packets
    static constexpr uint32_t kBaudClock = 4000000; // baud = kBaudClock / (divisor + 1)

    // Ten bits at baud, rounded to the nanosecond.
    static uint64_t UartByteNs(uint32_t baud) { return (10000000000u + baud / 2) / baud; }
    static constexpr uint32_t kMaxTransfer = 4096; // the firmware's buffer for 0x08

    // The version lines of the banner (without the prompt) for this hardware and firmware.
    static std::string VersionText(const BusPirateConfig& config);
    static const FirmwareBuild& Build(const BusPirateConfig& config);

    // memory holds At24Device::kSize bytes and outlives the model.
    BusPirateModel(uint8_t* memory, const BusPirateConfig& config);
    BusPirateModel(const BusPirateModel&) = delete;
    BusPirateModel& operator=(const BusPirateModel&) = delete;

    At24Device& Device() { return m_device; }
    void SetTraceSink(std::function<void(uint64_t, const std::string&)> sink) { m_trace = std::move(sink); }

    // The speed the host's end of the line is set to; 0 when it is not known, and then every byte
    // counts. Bytes sent at a speed other than the v3's UART runs at are lost to framing errors.
    void SetHostBaud(uint32_t baud) { m_hostBaud = baud; }
    void Receive(const uint8_t* pData, size_t count, uint64_t readNs);
    // Appends the reply bytes due by nowNs to out; returns how many.
    size_t TakeDue(uint64_t nowNs, std::vector<uint8_t>& out);
    // When the next reply byte is due; UINT64_MAX when none is waiting.
    uint64_t NextDue() const { return m_replies.empty() ? UINT64_MAX : m_replies.front().leaveNs; }

    AdapterState State() const { return m_state; }
    uint32_t LineBaud() const { return m_baud; }
    uint32_t I2cBaud() const { return m_i2cBaud; } // when raw I2C mode was last entered; 0: never
    uint64_t LineByteNs() const { return m_byteNs; }
    bool Hung() const { return m_bHung; } // muted or overrun: answers nothing more
    bool Overrun() const { return m_bOverrun; }
    bool HangUp() const { return m_bHangUp; } // the line is to be closed
    bool Powered() const { return m_bPower; }
    uint64_t CommandBytes() const { return m_received; }
    uint64_t RoundTrips() const { return m_roundTrips; }
    uint64_t BusBytes() const { return m_busBytes; }
    uint64_t PageWrites() const { return m_device.PageWrites(); }
    uint64_t DroppedBytes() const { return m_dropped; }

private:
    struct Reply {
        uint8_t byte;
        uint64_t leaveNs;
    };

    void Accept(uint8_t byte, uint64_t arrivalNs);
    void Process(uint8_t byte);
    void Finish(); // the command is done once its replies have left the UART
    void Emit(uint8_t byte);
    void EmitText(const char* pszText);
    void Trace(const std::string& text);
    void SetBaud(uint32_t baud);
    bool IsUsb() const { return m_config.hardware != Hardware::V3; }
    bool IsHydraBus() const { return m_config.hardware == Hardware::HydraBus; }
    const FirmwareBuild& Build() const { return Build(m_config); }

    // Terminal side (BusPirateTerminal.cpp).
    void TerminalByte(uint8_t byte);
    void ConsoleByte(uint8_t byte); // a HydraBus's
    void ExecuteLine();
    void MenuByte(uint8_t byte);
    void MenuChoice(const std::string& digits);
    void NewBaud(uint32_t baud);
    void BaudConfirmByte(uint8_t byte);
    void SumpByte(uint8_t byte);
    void EmitBanner(); // the version lines and the prompt
    void EnterBbio();
    void ResetToTerminal();

    // Binary side (BusPirateBinary.cpp).
    void BbioByte(uint8_t byte);
    void SpiByte(uint8_t byte);
    void RawWireByte(uint8_t byte);
    void LeaveBbio();
    void EnterI2c();
    void I2cByte(uint8_t byte);
    void HydraBusI2cByte(uint8_t byte);
    void AuxByte(uint8_t byte);
    void ArgumentByte();
    void BulkWriteByte(uint8_t byte);
    void WriteThenReadByte(uint8_t byte);
    void RunWriteThenRead();
    void SetPeripherals(bool bPower, bool bPullups);
    void BinReset();

    // The I2C bus, clocked at the speed the host set.
    bool PullupsWork() const;
    bool DeviceLive() const;
    uint64_t ClockNs() const;
    void BusStart();
    void BusStop();
    bool BusWrite(uint8_t byte); // true on ACK
    uint8_t BusRead();
    void BusAck(bool bAck);
    void BusClocks(uint32_t clocks);
    void SettleReadAck(bool bAck);

    BusPirateConfig m_config;
    At24Device m_device;
    std::function<void(uint64_t, const std::string&)> m_trace;

    AdapterState m_state;
    // Line and firmware timing.
    uint32_t m_baud = kBootBaud;
    uint32_t m_i2cBaud = 0;
    uint64_t m_byteNs = kUartByteNs;
    uint32_t m_hostBaud = 0;
    bool m_bArrived = false;
    uint64_t m_lastArrival = 0;
    uint64_t m_now = 0; // the firmware's own time while it works on a byte
    uint64_t m_freeAt = 0; // when the firmware takes the next byte
    uint64_t m_txFree = 0; // when the UART transmitter is idle
    std::deque<uint64_t> m_waiting; // when each received byte not yet taken will be taken
    // Reply bursts.
    std::deque<Reply> m_replies;
    bool m_bReplied = false;
    uint64_t m_commandArrival = 0; // of the byte being worked on
    uint64_t m_burstLeave = 0;
    // Counters and faults.
    uint64_t m_received = 0;
    uint64_t m_roundTrips = 0;
    uint64_t m_busBytes = 0;
    uint64_t m_dropped = 0;
    bool m_bHung = false;
    bool m_bOverrun = false;
    bool m_bHangUp = false;
    // Terminal.
    std::string m_line;
    int m_zeros = 0;
    std::string m_menuDigits;
    int m_sumpParams = 0;
    // Adapter peripherals and the bus.
    bool m_bPower = false;
    bool m_bPullups = false;
    bool m_bVpu = false; // the v4's on-board pull-up voltage
    bool m_bAux = false;
    int m_speed = 3;
    int m_bitsPerByte = 8;
    bool m_bReadAckDue = false;
    // Commands that take more bytes.
    uint32_t m_bulkLeft = 0;
    uint32_t m_argumentsLeft = 0;
    uint8_t m_header[4] {};
    uint32_t m_headerGot = 0;
    uint32_t m_writeCount = 0;
    uint32_t m_readCount = 0;
    std::vector<uint8_t> m_writeBytes;
};
