// One job of the fault soak: its file and its fault drawn from a seed, and the check of how it ended
// against the file and the device's image. Shared by the command-line soak and the dialog soak.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kSoakJobs = 25;

// What a fault makes of a job, beyond what every job must keep to.
enum class SoakExpect {
    Clean, // success with nothing between the start and the closing lines
    OneRetry, // success after one failed attempt at the record holding the fault address
    FailsAtFault, // "Write error" at the record holding the fault address
    FailsAtFirst, // "Write error" at the file's first record
    Fails, // "Write error" anywhere, or "Port Open Error."
    PortOpenError,
    Any, // success with retries, or "Write error" anywhere
};

struct SoakJob {
    std::string fault;
    SoakExpect expect = SoakExpect::Any;
    uint32_t address = 0; // where the file's data starts
    std::vector<uint8_t> data;
    uint32_t faultAddress = 0;
    std::vector<std::string> simArgs;
    bool bEmulator = true; // false: COM1 names a path where nothing is
};

// Job index (from 0) of the run seed. The writer keeps its defaults: pins low, 5 ms, 5 attempts.
SoakJob PlanSoakJob(uint32_t seed, int index);
// Writes folder/data.bin and turns it into folder/job.hex with objcopy, as users make their files.
// The HEX file's path, or "" when objcopy failed.
std::string WriteSoakFiles(const SoakJob& job, const std::string& folder);
// Everything that is wrong with how the job ended; empty when it kept its promise. status: 0 for
// success, 1 for a logged failure (the command line's exit status); log: the write log's lines
// without line ends; image: the device's contents, empty when there was no emulator.
std::vector<std::string> CheckSoakJob(const SoakJob& job, const std::string& hexText, int status,
    const std::vector<std::string>& log, const std::vector<uint8_t>& image);
