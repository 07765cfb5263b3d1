#include "BusPirateBaud.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kBaudClock = 4000000; // baud = kBaudClock / (divisor + 1)
constexpr int kPromptTimeoutMs = 1000;
// The adapter has switched its UART by the time its line has been quiet this long.
constexpr int kSwitchQuietMs = 20;
constexpr int kSwitchMaxMs = 200;
// The host's bridge is given a moment at the new speed.
constexpr int kSwitchSettleMs = 20;
constexpr int kConfirmTries = 2;
constexpr int kConfirmTimeoutMs = 300;

bool SendText(AdapterLink& link, const std::string& text)
{
    return link.Send(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Sends a line to the terminal and reads the answer up to the next prompt (pszUntil); true when
// it came in time and holds pszExpected. Anything else (a syntax error of firmware without `b`, a
// menu without the raw divisor, "Invalid choice") ends the dialog before a wrong number is sent.
bool Ask(AdapterLink& link, const std::string& line, const char* pszUntil, const char* pszExpected)
{
    std::string answer;
    if (!SendText(link, line))
        return false;
    link.Collect(answer, MillisecondsFromNow(kPromptTimeoutMs), { pszUntil });
    return answer.find(pszUntil) != std::string::npos && answer.find(pszExpected) != std::string::npos
        && answer.find("HiZ>") == std::string::npos;
}

} // namespace

bool ChangeLineSpeed(AdapterLink& link, uint32_t baud)
{
    if (!Ask(link, "b\n", ">", "10. BRG") || !Ask(link, "10\n", ">", "BRG")
        || !Ask(link, std::to_string(kBaudClock / baud - 1) + "\n", "Adjust your terminal", "Adjust your terminal"))
        return false;
    // "Space to continue" follows, but firmware 6.x re-initialises its UART while the end of it is
    // still queued, and those bytes never come. Once the line is quiet the UART runs at the new speed.
    link.Drain(kSwitchQuietMs, kSwitchMaxMs);
    if (!link.SetBaud(baud))
        return false;
    // A space at the new speed proves the switch; the adapter ignores anything else meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(kSwitchSettleMs));
    for (int i = 0; i < kConfirmTries; ++i) {
        std::string answer;
        if (!SendText(link, " "))
            break;
        link.Collect(answer, MillisecondsFromNow(kConfirmTimeoutMs), { "HiZ>" });
        if (answer.find("HiZ>") != std::string::npos)
            return true;
    }
    link.SetBaud(kBootBaud);
    return false;
}
