// An at24sim process on a pty for the length of a test: started with its link in a temporary
// folder, waited for until it says "ready", and killed on every way out (also when the test
// process itself dies).
#pragma once

#include "HexBuilder.h"

#include <string>
#include <sys/types.h>
#include <vector>

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Ready() const { return m_bReady; }
    const std::string& Link() const { return m_link; }
    // Ends the emulator with SIGTERM and returns what it printed after "ready".
    std::string Finish();

private:
    TempDir m_dir;
    std::string m_link;
    pid_t m_pid = -1;
    int m_out = -1;
    bool m_bReady = false;
    std::string m_output;
};

// The number after "key=" in the emulator's stats line, or -1.
long StatValue(const std::string& output, const std::string& key);
