// A Bus Pirate v3/v4 in its text terminal, binary bitbang (BBIO1) and raw I2C (I2C1) modes, with one
// AT24C1024 on its I2C bus. Pure and time-injected: it is fed received bytes with the time they were
// read and hands out reply bytes when their time to leave has come. Times are nanoseconds on any
// monotonic clock. It never blocks and does a bounded amount of work per byte, whatever it is fed.
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
    I2c, // binary raw I2C, between commands
    Sniffer, // the I2C sniffer, left by any byte
    BulkWrite, // inside a 0x1x, waiting for its data bytes
    WriteThenRead, // inside a 0x08, waiting for its counts or write bytes
    AuxCommand, // inside a 0x09, waiting for its sub-command
};

struct BusPirateConfig {
    int firmware = 7; // 6: write-then-read without the automatic repeated start
    bool bV4 = false; // USB: no UART between host and firmware, so no baud rate and no overrun
    uint32_t rxFifo = 0; // receive FIFO depth of the v3's polled UART; 0: never overruns
    uint32_t initialBaud = 115200; // of the v3's UART: a program may have left it faster
    bool bNoBaudChange = false; // the terminal has no `b` command, as on old firmware
    bool bNoPullups = false;
    bool bNoDevice = false; // nobody on the bus: no acknowledge, and the lines stay high
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

    // Terminal side (BusPirateTerminal.cpp).
    void TerminalByte(uint8_t byte);
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
    void I2cByte(uint8_t byte);
    void BulkWriteByte(uint8_t byte);
    void WriteThenReadByte(uint8_t byte);
    void RunWriteThenRead();
    void SetPeripherals(bool bPower, bool bPullups);
    void BinReset();

    // The I2C bus, clocked at the speed the host set.
    bool PullupsWork() const { return m_bPullups && !m_config.bNoPullups; }
    bool DeviceLive() const { return PullupsWork() && m_bPower && !m_config.bNoDevice; }
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
    bool m_bAux = false;
    int m_speed = 3;
    bool m_bReadAckDue = false;
    // Commands that take more bytes.
    uint32_t m_bulkLeft = 0;
    uint8_t m_header[4] {};
    uint32_t m_headerGot = 0;
    uint32_t m_writeCount = 0;
    uint32_t m_readCount = 0;
    std::vector<uint8_t> m_writeBytes;
};
