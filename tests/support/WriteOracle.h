// The promise of a write job, held against the device's image: exit 0 and a log without an error line
// mean the device holds the file; after a failure the log's last line names the record that failed (or
// the port), and the device holds every record before it and nothing from the one after it on.
#pragma once

#include "HexBuilder.h"

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

struct WrittenFile {
    uint32_t address; // of data, written as 16-byte records
    std::vector<uint8_t> data;

    std::string Hex() const
    {
        std::string hex;
        for (uint32_t a = address; a < address + data.size(); a += 16)
            hex += ((a & 0xFFFF) == 0 || a == address ? HexLinear(static_cast<uint16_t>(a >> 16)) : "")
                + HexData(static_cast<uint16_t>(a), { &data[a - address], &data[a - address] + 16 });
        return hex;
    }

    // What is wrong. expect: '0' written, '1' failed, 'R' failed at the record holding faultAddress, 'F' at
    // the file's first record, '?' either way. Without a device there is no image to look at.
    std::vector<std::string> Check(const std::string& out, int status, const std::string& imagePath, char expect = '?',
        uint32_t faultAddress = 0, bool bDevice = true) const
    {
        std::vector<std::string> log, wrong;
        std::string image(std::istreambuf_iterator<char>(std::ifstream(imagePath, std::ios::binary).rdbuf()), {});
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            log.push_back(line);
        size_t n = log.size();
        static const std::regex kFrame(
            R"(Start writing\. \([\d:]{8}\)\nFinish writing\. \([\d:]{8}\)\nProcessing time \d+:\d\d:\d\d \(\d+sec\))");
        if (n < 3 || !std::regex_match(log[0] + "\n" + log[n - 2] + "\n" + log[n - 1], kFrame))
            return { "the log lacks its start or closing lines" };
        std::smatch m;
        std::string last = n > 3 ? log[n - 3] : "";
        bool bFailed = std::regex_match(last, m, std::regex(R"(Write error Address:(\w{6})|Port Open Error\.)"));
        uint32_t end = address + static_cast<uint32_t>(data.size());
        uint32_t good = !bFailed ? end : m[1].matched ? static_cast<uint32_t>(std::stoul(m[1], nullptr, 16)) : address;
        for (size_t i = 1; i + 2 + bFailed < n; ++i)
            if (!std::regex_match(log[i], std::regex(R"((Verify error|Retry success) Address:\w{6})")))
                wrong.push_back("out of place: " + log[i]);
        if (status != bFailed || (expect != '?' && bFailed != (expect != '0')))
            wrong.push_back(std::string(bFailed ? "failed" : "written") + ", exit status " + std::to_string(status));
        if ((m[1].matched && (good < address || good >= end || (good - address) % 16 != 0))
            || (expect == 'R' && good != (faultAddress & ~15u)) || (expect == 'F' && good != address))
            wrong.push_back("failed at no record of the file, or not at the one expected: " + last);
        size_t nWrong = image.size() == 0x20000 || !bDevice ? 0 : 1;
        for (uint32_t a = 0; a < image.size(); ++a) // of a failed record, any bytes may have been written
            nWrong += a >= address && a < good ? static_cast<uint8_t>(image[a]) != data[a - address]
                                               : (a < good || a >= good + 16 * m[1].matched) && image[a] != '\xFF';
        if (nWrong > 0)
            wrong.push_back(std::to_string(nWrong) + " bytes of the device differ from what the log claims");
        return wrong;
    }
};
