// Reads the HEX file as text, the way the writer has always read it: CR LF reads as LF, a Ctrl-Z
// byte ends the file, and a line longer than the 1024-byte line buffer arrives in pieces.
#pragma once

#include <string>
#include <vector>

class HexFileReader {
public:
    static constexpr size_t kLineBuffer = 1024; // including the terminating NUL of old

    HexFileReader() = default;
    HexFileReader(const HexFileReader&) = delete;
    HexFileReader& operator=(const HexFileReader&) = delete;
    ~HexFileReader();

    // Opens a regular file for reading. Directories, FIFOs and devices are refused without
    // blocking on them.
    bool Open(const std::string& path);
    void Close();

    enum class Status { Line, End, Error };
    // The next line, at most kLineBuffer - 1 characters, with its LF when it has one.
    Status ReadLine(std::string& line);
    // The 1-based physical line the last line read belongs to.
    int LineNumber() const { return m_nLine; }

private:
    // The next byte, or -1 at end of file (also after Ctrl-Z), or -2 on a read error.
    int NextByte();
    int PeekByte();
    bool Fill();

    int m_fd = -1;
    std::vector<char> m_buffer;
    size_t m_nPos = 0;
    size_t m_nLen = 0;
    bool m_bEnd = false;
    bool m_bError = false;
    bool m_bAtLineStart = true;
    int m_nLine = 0;
};
