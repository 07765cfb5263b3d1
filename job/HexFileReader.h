// Reads the HEX file as text, one physical line at a time, whatever its length: CR LF reads as
// LF, a UTF-8 byte order mark before the first line is dropped, and a Ctrl-Z byte (which DOS
// tools append) ends the file when nothing but blanks and line ends follow it.
#pragma once

#include <string>
#include <vector>

class HexFileReader {
public:
    // The longest line kept, without its line end; a record needs at most 521 characters.
    static constexpr size_t kMaxLine = 1023;

    HexFileReader() = default;
    HexFileReader(const HexFileReader&) = delete;
    HexFileReader& operator=(const HexFileReader&) = delete;
    ~HexFileReader();

    // Opens a regular file for reading. Directories, FIFOs and devices are refused without
    // blocking on them; reason then says why, for the user.
    bool Open(const std::string& path, std::string& reason);
    void Close();

    enum class Status {
        Line, // the next line, with its LF when it has one
        BadLine, // a line that cannot be a record: a ':' line longer than kMaxLine, or a Ctrl-Z with more after it
        End,
        Error, // the file could not be read further; ErrorReason() says why
    };
    // A line longer than kMaxLine that does not start with ':' comes as its first kMaxLine characters.
    Status ReadLine(std::string& line);
    // The 1-based physical line the last line read is.
    int LineNumber() const { return m_nLine; }
    const std::string& ErrorReason() const { return m_error; }

private:
    // The next byte, or -1 at the end of the file, or -2 on a read error.
    int NextByte();
    bool Fill();
    // After a Ctrl-Z: true when the rest of the file is blanks, line ends and Ctrl-Z only.
    bool RestIsBlank();

    int m_fd = -1;
    std::vector<char> m_buffer;
    size_t m_nPos = 0;
    size_t m_nLen = 0;
    bool m_bEnd = false;
    bool m_bFirstFill = true;
    int m_nLine = 0;
    std::string m_error;
};
