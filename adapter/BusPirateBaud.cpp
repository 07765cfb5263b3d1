#include "BusPirateBaud.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kBaudClock = 4000000; // baud = kBaudClock / (divisor + 1)
constexpr int kPromptTimeoutMs = 1000;
// The adapter has switched by the time its last line arrived; the host's bridge is given a moment.
constexpr int kSwitchSettleMs = 20;
constexpr int kConfirmTries = 2;
constexpr int kConfirmTimeoutMs = 300;

// Sends a line to the terminal and reads the answer up to the next prompt (pszUntil); true when
// it came in time and holds pszExpected. Anything else (a syntax error of firmware without `b`, a
// menu without the raw divisor, "Invalid choice") ends the dialog before a wrong number is sent.
bool Ask(AdapterLink& link, const std::string& line, const char* pszUntil, const char* pszExpected)
{
    std::string answer;
    if (!link.Send(reinterpret_cast<const uint8_t*>(line.data()), line.size()))
        return false;
    link.Collect(answer, MillisecondsFromNow(kPromptTimeoutMs), pszUntil);
    return answer.find(pszUntil) != std::string::npos && answer.find(pszExpected) != std::string::npos
        && answer.find("HiZ>") == std::string::npos;
}

} // namespace

bool ChangeLineSpeed(AdapterLink& link, uint32_t baud)
{
    if (!Ask(link, "b\n", ">", "10. BRG") || !Ask(link, "10\n", ">", "BRG")
        || !Ask(link, std::to_string(kBaudClock / baud - 1) + "\n", "Space to continue", "Adjust"))
        return false;
    link.Drain(5, 50);
    if (!link.SetBaud(baud))
        return false;
    // A space at the new speed proves the switch; the adapter ignores anything else meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(kSwitchSettleMs));
    for (int i = 0; i < kConfirmTries; ++i) {
        std::string answer;
        if (!link.Send(reinterpret_cast<const uint8_t*>(" "), 1))
            break;
        link.Collect(answer, MillisecondsFromNow(kConfirmTimeoutMs), "HiZ>");
        if (answer.find("HiZ>") != std::string::npos)
            return true;
    }
    link.SetBaud(kBootBaud);
    return false;
}
