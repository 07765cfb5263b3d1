// The emulator's end of the serial line: a pseudo-terminal whose slave a symlink names.
#pragma once

#include <string>

class PtyLink {
public:
    PtyLink() = default;
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;
    ~PtyLink() { Close(); }

    // Makes the pty, puts its slave in raw mode and points linkPath at it. An existing file at
    // linkPath is replaced only when it is a symlink.
    bool Create(const std::string& linkPath, std::string& error);
    // Closes every fd (the client sees a hang-up) and removes the symlink if it is still ours.
    void Close();

    bool IsOpen() const { return m_master >= 0; }
    int Master() const { return m_master; }
    // Readable when a client has closed the line; then call ClientClosed().
    int CloseWatch() const { return m_watch; }
    // Does what the last close of a real serial port does: clears the exclusive mode (TIOCEXCL)
    // a client may have set, which the slave held here would otherwise keep for good.
    void ClientClosed();
    const std::string& SlaveName() const { return m_slaveName; }
    // The baud rate the client has set its end to (the slave's termios, which the master reads
    // too); 115200 until it sets one, 0 for a rate without a number here.
    unsigned ClientBaud() const;

private:
    int m_master = -1;
    int m_slave = -1; // held so that the master does not read EIO while no client has it open
    int m_watch = -1; // inotify on the slave device
    std::string m_slaveName;
    std::string m_linkPath;
};
