#include "HexRecord.h"

#include <gtest/gtest.h>

namespace {

// Fields read as the %x of scanf reads them.
TEST(HexRecordTest, ParseHexFieldScansLikePercentX)
{
    const struct {
        const char* line;
        size_t offset;
        size_t width;
        int expected;
    } kFields[] = { { "123456", 1, 2, 0x23 }, // stops at the width
        { "ab", 0, 4, 0xAB }, // cut short by the end of the line
        { ":1A", 2, 2, 0x0A }, // only one digit left
        { ":1", 5, 2, 0 }, // begins past the end
        { "", 0, 2, 0 }, { "ZZ", 0, 2, 0 }, { "12Z4", 0, 4, 0x12 }, { " 1F", 0, 4, 0x1F }, { "-1", 0, 2, -1 },
        { "0x1F", 0, 4, 0x1F }, { "0xZ", 0, 4, 0 }, { ":10000000", 1, 2, 0x10 }, { ":10ABCD00", 3, 4, 0xABCD } };
    for (const auto& c : kFields)
        EXPECT_EQ(ParseHexField(c.line, c.offset, c.width), c.expected) << '"' << c.line << "\" @" << c.offset;
}

TEST(HexRecordTest, CheckHexRecordAcceptsOnlyWellFormedRecords)
{
    const struct {
        const char* line;
        bool valid;
    } kRecords[] = { { ":0300300002337A1E", true }, { ":0300300002337a1e", true }, { ":0300300002337A1E\r", true },
        { ":0300300002337A1E  \t", true }, { ":00000001FF", true }, { ":020000040001F9", true },
        { ":020000021000EC", true }, { ":0000000000", true }, { ":0300300002337A1F", false }, // checksum off by one
        { ":0300300002337A", false }, // checksum missing
        { ":0400300002337A1E", false }, // count says more than the line holds
        { ":0200300002337A1E", false }, // count says less
        { ":0300300002337A1", false }, // odd number of digits
        { ":03003000G2337A1E", false }, // not a hex digit
        { ":030030 0002337A1E", false }, // blank inside
        { ":00000001", false }, { ":", false }, { ":\r", false },
        { ":01000004FFFC", false }, // extended linear with one byte
        { ":0300000200100AE1", false }, // extended segment with three bytes
        { "0300300002337A1E", false } };
    for (const auto& c : kRecords)
        EXPECT_EQ(CheckHexRecord(c.line), c.valid) << c.line;
}

} // namespace
