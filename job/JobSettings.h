// The settings of one job and the state the UI thread and the worker share.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct SJobSettings {
    std::string HexFile; // path of the Intel HEX file; any length
    uint8_t AddressMask = 0; // 0x04 "A0 (A1)" pin high, 0x08 "A1 (A2)" pin high
    uint8_t WriteWait = 5; // milliseconds after each page write
    uint8_t RetryMax = 5; // write-and-verify attempts per data record
    int32_t iSerialPort = 0; // 1 = COM1 ... 20 = COM20
};

// How the last job ended; front ends that report an exit status read it instead of the log texts.
enum class JobResult : int {
    None, // no job has ended yet
    Success, // every data record written and verified
    PortOpenError,
    FileOpenError,
    FileReadError,
    Stopped,
    WriteError,
    RecordError,
    AddressError,
    ReadError, // the EEPROM could not be read
    FileWriteError, // the file a read makes could not be written
    Differs, // a verify found records that differ
};

struct SJobRunState {
    std::atomic<int> StopRequest { 0 }; // 1 asks the running job to stop at its next line
    std::atomic<bool> WorkerThread { false }; // running mark: set before the worker starts, cleared by it last
    std::atomic<JobResult> Result { JobResult::None };
    // Why the last job failed, for a front end that can say more than the log line: the adapter's
    // or the system's words, or empty. Written by the worker before it clears the running mark.
    std::string Reason;
};

// What the command line's jobs take beyond the settings above; a dialog job leaves them as they are.
struct SJobOptions {
    bool bBinary = false; // the file is a raw binary image, not Intel HEX
    uint32_t Offset = 0; // where a binary image starts, and where a read starts
    uint32_t Length = 0x20000; // bytes a read takes
    int RecordSize = 16; // data bytes per record of a HEX file a read writes: 16 or 32
};

extern SJobSettings JobSettings;
extern SJobOptions JobOptions;
extern SJobRunState JobRunState;

constexpr uint8_t kAddressMaskA0 = 0x04;
constexpr uint8_t kAddressMaskA1 = 0x08;

// The mask the two pin settings give (index 1 = "High").
uint8_t AddressMaskFromPins(int nA0Pin, int nA1Pin);
