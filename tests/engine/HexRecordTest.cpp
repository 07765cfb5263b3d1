#include "HexRecord.h"

#include <gtest/gtest.h>

namespace {

struct FieldCase {
    const char* line;
    size_t offset;
    size_t width;
    int expected;
    friend void PrintTo(const FieldCase& c, std::ostream* os) { *os << '"' << c.line << "\" @" << c.offset; }
};

class ParseHexFieldTest : public testing::TestWithParam<FieldCase> { };

TEST_P(ParseHexFieldTest, ScansLikePercentX)
{
    const FieldCase& c = GetParam();
    EXPECT_EQ(ParseHexField(c.line, c.offset, c.width), c.expected) << c.line << " @" << c.offset;
}

INSTANTIATE_TEST_SUITE_P(Fields, ParseHexFieldTest,
    testing::Values(FieldCase { ":10000000", 1, 2, 0x10 }, FieldCase { ":10ABCD00", 3, 4, 0xABCD },
        FieldCase { "123456", 1, 2, 0x23 }, // stops at the width
        FieldCase { "ab", 0, 4, 0xAB }, // cut short by the end of the line
        FieldCase { ":1A", 2, 2, 0x0A }, // only one digit left
        FieldCase { ":1", 5, 2, 0 }, // begins past the end
        FieldCase { "", 0, 2, 0 }, FieldCase { "ZZ", 0, 2, 0 }, FieldCase { "12Z4", 0, 4, 0x12 },
        FieldCase { " 1F", 0, 4, 0x1F }, FieldCase { "-1", 0, 2, -1 }, FieldCase { "0x1F", 0, 4, 0x1F },
        FieldCase { "0xZ", 0, 4, 0 }));

struct RecordCase {
    const char* line;
    bool valid;
    friend void PrintTo(const RecordCase& c, std::ostream* os) { *os << '"' << c.line << '"'; }
};

class CheckHexRecordTest : public testing::TestWithParam<RecordCase> { };

TEST_P(CheckHexRecordTest, AcceptsOnlyWellFormedRecords)
{
    EXPECT_EQ(CheckHexRecord(GetParam().line), GetParam().valid) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(Records, CheckHexRecordTest,
    testing::Values(RecordCase { ":0300300002337A1E", true }, RecordCase { ":0300300002337a1e", true },
        RecordCase { ":0300300002337A1E\r", true }, RecordCase { ":0300300002337A1E  \t", true },
        RecordCase { ":00000001FF", true }, RecordCase { ":020000040001F9", true },
        RecordCase { ":020000021000EC", true }, RecordCase { ":0000000000", true },
        RecordCase { ":0300300002337A1F", false }, // checksum off by one
        RecordCase { ":0300300002337A", false }, // checksum missing
        RecordCase { ":0400300002337A1E", false }, // count says more than the line holds
        RecordCase { ":0200300002337A1E", false }, // count says less
        RecordCase { ":0300300002337A1", false }, // odd number of digits
        RecordCase { ":03003000G2337A1E", false }, // not a hex digit
        RecordCase { ":030030 0002337A1E", false }, // blank inside
        RecordCase { ":00000001", false }, RecordCase { ":", false }, RecordCase { ":\r", false },
        RecordCase { ":01000004FFFC", false }, // extended linear with one byte
        RecordCase { ":0300000200100AE1", false }, // extended segment with three bytes
        RecordCase { "0300300002337A1E", false }));

} // namespace
